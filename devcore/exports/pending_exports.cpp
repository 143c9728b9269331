// Entry points whose operations are not built into this library yet. They exist so that callers binding
// them by name succeed, and answer every call with a failure.
#include "devcore/exports/export_guard.h"

namespace {

int32_t notBuiltYet(const char* kFn, int iLine) {
    return quib::devcore::guardedExport(kFn, iLine, [&]() -> int32_t {
        LogError("%s:%d: operation not built yet", kFn, iLine);
        return QUIB_FAIL;
    });
}

}  // namespace

extern "C" {

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_Function_vShowPDVersion(uint8_t, ExchangeData*) {
    return notBuiltYet("QuibUSBLib_Function_vShowPDVersion", __LINE__);
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_Function_vUpdatePDFirmware(uint8_t, ExchangeData*) {
    return notBuiltYet("QuibUSBLib_Function_vUpdatePDFirmware", __LINE__);
}

}  // extern "C"
