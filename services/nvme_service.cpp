#include "services/nvme_service.h"

#include "common/log/debug_log.h"
#include "devcore/frame/library_objects.h"
#include "devcore/nvme/krv850x_nvme.h"
#include "include/quibusb.h"
#include "platform/platform.h"
#include "services/service_device.h"

namespace quib::services {
namespace {

constexpr std::uint32_t kAfterResetMs = 200;

CKRV850xNVME& nvme() {
    return devcore::libraryObjects().m_KRV850xNVME;
}

devcore::ScopedDevice openDisk(const char* kFn, std::uint8_t ucTargetNumber) {
    return openListEntry(kFn, ucTargetNumber, EntryPath::Disk);
}

}  // namespace

int nvmeGetIdentify(std::uint8_t ucTargetNumber, std::uint8_t* pIdentify, std::uint8_t ucSelector) {
    if (pIdentify == nullptr) return QUIB_INVALID_PARAMETER;
    devcore::ScopedDevice device = openDisk("QuibUSBLib_NVME_GetIdentify", ucTargetNumber);
    if (!device.valid()) return QUIB_FILE_NOT_FOUND;
    return nvme().NVME_GetIdentify(device.get(), pIdentify, ucSelector);
}

int nvmeGetLogPage(std::uint8_t ucTargetNumber, std::uint8_t* pLog, std::uint32_t dwValue) {
    if (pLog == nullptr) return QUIB_INVALID_PARAMETER;
    devcore::ScopedDevice device = openDisk("QuibUSBLib_NVME_GetLogPage", ucTargetNumber);
    if (!device.valid()) return QUIB_FILE_NOT_FOUND;
    return nvme().NVME_GetLogPage(device.get(), pLog, dwValue);
}

int nvmeSecurityReceive(std::uint8_t ucTargetNumber, std::uint8_t* pData, std::uint32_t dwValue) {
    if (pData == nullptr) return QUIB_INVALID_PARAMETER;
    devcore::ScopedDevice device = openDisk("QuibUSBLib_NVME_SecurityProtocolIn", ucTargetNumber);
    if (!device.valid()) return QUIB_FILE_NOT_FOUND;
    return nvme().NVME_SecurityProtocolIN(device.get(), pData, dwValue);
}

int nvmePacketCommand(std::uint8_t ucTargetNumber, std::uint8_t ucParameter, const std::uint8_t* pSubmission,
                      std::uint8_t kind, std::uint8_t* pData, std::uint32_t dwLength) {
    constexpr auto kFn = "QuibUSBLib_NVMePacket";
    const auto data = static_cast<CKRV850xNVME::PacketData>(kind);
    if (data != CKRV850xNVME::PacketData::None &&
        (dwLength > CKRV850xNVME::kMaxPacketDataLength || dwLength % 512 != 0 || pData == nullptr)) {
        LogError("%s:%d: Invaild NVMe Buffer Length(%d)", kFn, __LINE__, static_cast<int>(dwLength));
        return QUIB_INVALID_PARAMETER;
    }
    if (pSubmission == nullptr) return QUIB_INVALID_PARAMETER;
    devcore::ScopedDevice device = openDisk(kFn, ucTargetNumber);
    if (!device.valid()) return QUIB_FILE_NOT_FOUND;
    return nvme().NVMePacket_Command(device.get(), ucParameter, pSubmission, data, pData, dwLength);
}

int nvmeReset(std::uint8_t ucTargetNumber) {
    devcore::ScopedDevice device = openDisk("QuibUSBLib_NVME_Reset", ucTargetNumber);
    if (!device.valid()) return QUIB_FILE_NOT_FOUND;
    const int iResult = nvme().NVMePacket_Reset(device.get());
    platform::get().clock.sleepMs(kAfterResetMs);
    return iResult;
}

int nvmeSpeedMode(std::uint8_t ucTargetNumber, std::uint8_t ucSet, std::uint8_t* pMode) {
    constexpr auto kFn = "QuibUSBLib_NVME_SpeedMode";
    if (pMode == nullptr) {
        LogError("%s:%d: pPCIEMode==NULL", kFn, __LINE__);
        return QUIB_INVALID_PARAMETER;
    }
    // A mode that cannot be set is refused before the device is opened.
    if (ucSet && (pMode[0] == CKRV850xNVME::kGenerationUnknown || pMode[1] == CKRV850xNVME::kWidthUnknown))
        return nvme().nWritePCIESpeedByVendorCmd(platform::kInvalidHandle, pMode);
    devcore::ScopedDevice device = openDisk(kFn, ucTargetNumber);
    if (!device.valid()) return QUIB_FILE_NOT_FOUND;
    if (ucSet) {
        const int iResult = nvme().nWritePCIESpeedByVendorCmd(device.get(), pMode);
        if (iResult != 0) LogError("%s:%d: nWritePCIESpeedByVendorCmd Failed", kFn, __LINE__);
        return iResult;
    }
    const int iResult = nvme().nReadPCIESpeedbyRegister(device.get(), pMode);
    if (iResult != 0) LogError("%s:%d: nReadPCIESpeedbyRegister Failed", kFn, __LINE__);
    return iResult;
}

int nvmeLedControl(std::uint8_t ucTargetNumber, std::uint8_t ucDirection, std::uint8_t ucValue) {
    constexpr auto kFn = "QuibUSBLib_NVME_LEDControl";
    // Only 0 and 1 name a direction; anything else would send a command of no defined meaning.
    if (ucDirection > 1) {
        LogError("%s:%d: invalid LED direction[%d]", kFn, __LINE__, ucDirection);
        return QUIB_INVALID_PARAMETER;
    }
    devcore::ScopedDevice device = openDisk(kFn, ucTargetNumber);
    if (!device.valid()) return QUIB_FILE_NOT_FOUND;
    const int iResult = nvme().NVMePacket_LEDControl(device.get(), ucDirection, ucValue);
    if (iResult != 0) LogError("%s:%d: NVMePacket_LEDControl Failed", kFn, __LINE__);
    return iResult;
}

}  // namespace quib::services
