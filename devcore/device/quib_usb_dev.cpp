#include "devcore/device/quib_usb_dev.h"

#include "common/log/debug_log.h"
#include "devcore/frame/working_folder.h"

CQuibUSBDev::~CQuibUSBDev() {
    try {
        const std::string strFolder = quib::devcore::programFolder();
        if (!strFolder.empty()) quib::devcore::removeFolderTree(quib::devcore::tempFolderOf(strFolder));
    } catch (...) {
        LogError("%s:%d: catch(...): removing %s", "CQuibUSBDev::~CQuibUSBDev", __LINE__,
                 quib::devcore::kTempFolderName);
    }
}
