// The two scans: they walk the USB tree, fill the internal list and hand a copy to the caller.
#include <cstring>

#include "common/records/exchange_records.h"
#include "devcore/exports/export_guard.h"
#include "devcore/frame/library_objects.h"

using namespace quib;
using namespace quib::devcore;

namespace {

void logRecordSizes(const char* kFn, int iLine, const USBDevListExp& list) {
    LogMessage("%s:%d: sizeof(pDevListExp->Devs[0])=%d, sizeof(USBDevInfoExp)=%d", kFn, iLine,
               static_cast<int>(sizeof list.Devs[0]), static_cast<int>(sizeof(USBDevInfoExp)));
    LogMessage("%s:%d: sizeof(pDevListExp->Devs[1])=%d, sizeof(USBDevInfoExp)=%d", kFn, iLine,
               static_cast<int>(sizeof list.Devs[1]), static_cast<int>(sizeof(USBDevInfoExp)));
}

}  // namespace

extern "C" {

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_Function_vScanUSBPort(USBDevListExp* pDevListExp,
                                                                  const char* pTargetChipType,
                                                                  int32_t iBridgeType) {
    constexpr auto kFn = "QuibUSBLib_Function_vScanUSBPort";
    return guardedExport(kFn, __LINE__, [&]() -> int32_t {
        if (pDevListExp == nullptr || pTargetChipType == nullptr) {
            LogError("%s:%d: pDevListExp or pTargetChipType is NULL", kFn, __LINE__);
            return QUIB_INVALID_PARAMETER;
        }
        LibraryObjects& objects = libraryObjects();
        objects.createDevList();
        for (auto& record : pDevListExp->Devs) records::resetExportedRecord(record);
        pDevListExp->nDevCount = 0;

        CQuibUSBDev& dev = objects.m_QuibUSBDev;
        const int32_t iResult = dev.Open(pTargetChipType, iBridgeType);
        dev.vExportDevList(*pDevListExp);
        if (iResult == QUIB_SUCCESS) logRecordSizes(kFn, __LINE__, *pDevListExp);
        return iResult;
    });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_vScanUSBPort(USBDevListExp* pDevListExp,
                                                         uint8_t ucTargetDevType) {
    constexpr auto kFn = "QuibUSBLib_vScanUSBPort";
    return guardedExport(kFn, __LINE__, [&]() -> int32_t {
        if (pDevListExp == nullptr) {
            LogError("%s:%d: pDevListExp is NULL", kFn, __LINE__);
            return QUIB_INVALID_PARAMETER;
        }
        std::memset(static_cast<void*>(pDevListExp), 0, sizeof(USBDevListExp));
        LogMessage("%s:%d: ::memset( (void *)pDevListExp, NULL, sizeof(USBDevListExp))", kFn, __LINE__);

        LibraryObjects& objects = libraryObjects();
        if (objects.devList() == nullptr) {
            objects.createDevList();
            LogMessage("%s:%d: g_DevList = new USBDevList;", kFn, __LINE__);
        }
        CKRV610xDev& dev = objects.m_KRV610xDev;
        if (dev.vScanUSBPort(ucTargetDevType) == 0) {
            objects.releaseDevList();
            LogError("%s:%d: QUIB_DEVICE_NOT_FOUND", kFn, __LINE__);
            return QUIB_DEVICE_NOT_FOUND;
        }
        dev.vExportDevList(*pDevListExp);
        logRecordSizes(kFn, __LINE__, *pDevListExp);
        return QUIB_SUCCESS;
    });
}

}  // extern "C"
