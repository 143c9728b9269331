// The update of one bridge: the programming path chosen by the image name, then, when asked, a restart
// and a wait until the bridge answers with a firmware version.
#include "common/log/debug_log.h"
#include "common/records/exchange_records.h"
#include "devcore/device/text_helpers.h"
#include "devcore/frame/library_objects.h"
#include "devcore/transport/device_path.h"
#include "fwupdate/image_name.h"
#include "fwupdate/relink.h"
#include "fwupdate/update_context.h"
#include "fwupdate/update_paths.h"
#include "platform/platform.h"

namespace quib::fwupdate {
namespace {

constexpr std::uint32_t kPollPauseMs = 1000;
constexpr std::uint64_t kPollLimitSeconds = 60;

// Waits for the restarted bridge to answer with the image's own version. Any other version (six zero bytes:
// its ROM code; the old one: the new firmware did not boot) is waited for like no answer at all.
int waitForVersion(const char* kFn, std::uint8_t ucTargetNumber, const std::string& strExpected) {
    platform::Platform& os = platform::get();
    CQuibUSBDev& dev = devcore::theDevice();
    const std::uint64_t startSeconds = os.clock.tickMs() / 1000;
    for (;;) {
        os.clock.sleepMs(kPollPauseMs);
        const devcore::USBDevEntry* entry = listEntry(dev, ucTargetNumber);
        const std::string strPath = devicePathOf(*entry);
        devcore::ScopedDevice device(strPath, platform::kAccessRead | platform::kAccessWrite);
        if (!device.valid()) {
            LogError("%s:%d: ucTargetNumber[%d] CreateFile[%s] Fail , dwErrorCode %d", kFn, __LINE__,
                     ucTargetNumber, strPath.c_str(), platform::lastErrorCode());
            LogError("%s:%d: Reset fail !", kFn, __LINE__);
            return QUIB_RELOAD_FAIL;
        }
        LogMessage("%s:%d: Get FW Version [%s]", kFn, __LINE__, strPath.c_str());
        const std::string strFw = dev.strGetFirmwareVersion(device.get());
        if (!strFw.empty()) {
            LogMessage("%s:%d: strFw %s", kFn, __LINE__, strFw.c_str());
            if (devcore::equalsIgnoreCase(strFw, strExpected)) return QUIB_SUCCESS;
        }
        if (os.clock.tickMs() / 1000 - startSeconds > kPollLimitSeconds) {
            LogError("%s:%d: ucTargetNumber[%d] runs [%s], not the image's version [%s]", kFn, __LINE__,
                     ucTargetNumber, strFw.c_str(), strExpected.c_str());
            LogError("%s:%d: Reset fail !", kFn, __LINE__);
            return QUIB_RELOAD_FAIL;
        }
    }
}

}  // namespace

int updateFirmware(std::uint8_t ucTargetNumber, const ExchangeData& exchange) {
    constexpr auto kFn = "QuibUSBLib_Function_vUpdateFirmware";
    const std::string strFwPath(records::readText(exchange.cFwPath));
    LogMessage("%s:%d: ucTargetNumber[%d] cFwPath[%s]", kFn, __LINE__, ucTargetNumber, strFwPath.c_str());
    const devcore::USBDevEntry* entry = devcore::deviceEntry(kFn, __LINE__, ucTargetNumber);
    if (entry == nullptr) return QUIB_INVALID_PARAMETER;
    // Whether the image suits a bridge that could not be read is unknown: that is a failure, not a "no".
    if (entry->bIdentityUnread) {
        LogError(
            "%s:%d: Dev[%d] %s USB serial [%s]: its chip type or firmware version could not be read when "
            "it was found; not updated",
            kFn, __LINE__, ucTargetNumber, devicePathOf(*entry).c_str(), entry->strSerialNumber.c_str());
        return QUIB_FAIL;
    }
    const std::string strName = fileNameOf(strFwPath);
    const bool bPCIe = strName.find(kMarkerPcie) != std::string::npos;

    int iResult;
    if (strName.find(kMarkerPacked) != std::string::npos)
        iResult = vUpdateFW_WPacked_740QS(exchange, ucTargetNumber);
    else if (strName.find(kMarkerConfigRom) != std::string::npos)
        iResult = vUpdateFW_ROM(exchange, ucTargetNumber);
    else
        iResult = vUpdateFW_BIN(exchange, ucTargetNumber);
    if (iResult < 0) return iResult;
    if (!exchange.ucEnableReLinkAfterFWUpgrade) return QUIB_SUCCESS;

    LogMessage("%s:%d: pExchangeData->ucEnableReLinkAfterFWUpgrade", kFn, __LINE__);
    const int iRestart = restartAndFindAgain(kFn, ucTargetNumber, kPlainResetMode, bPCIe ? 1 : 0);
    if (iRestart != QUIB_SUCCESS) return iRestart;
    return waitForVersion(kFn, ucTargetNumber, expectedRunningVersion(strFwPath));
}

}  // namespace quib::fwupdate
