#include "frontend/program_texts.h"

#include "frontend/text_helpers.h"
#include "include/quibusb.h"

namespace quib::frontend {

std::wstring updateFailureText(int result) {
    switch (result) {
        case QUIB_FAIL:
            return L"Can not update Firmware !";
        case QUIB_IMAGE_MISMATCH:
            return L"The FW mismatch.";
        case QUIB_CHECK_FAILED:
            return L"Configuration mismatch.";
        case QUIB_RELOAD_FAIL:
            return L"Reload fail.";
        case QUIB_INVALID_PARAMETER:
            return L"Invalid parameter";
        default:
            return formatText(L"vUpdateFirmware fail, ErrorCode %d", result);
    }
}

std::wstring pdUpdateFailureText(int result) {
    switch (result) {
        case QUIB_FAIL:
            return L"Can not update PD Firmware !";
        case QUIB_CHECK_FAILED:
            return L"Configuration mismatch.";
        case QUIB_INVALID_PARAMETER:
            return L"Invalid parameter";
        default:
            return formatText(L"vUpdatePDFirmware fail, ErrorCode %d", result);
    }
}

}  // namespace quib::frontend
