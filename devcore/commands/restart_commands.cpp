// Processor restart, the 8504 speed selection built on it, and the drive's cache flush.
#include "common/log/debug_log.h"
#include "devcore/device/quib_usb_dev.h"
#include "devcore/transport/scsi_request.h"

using namespace quib;
using namespace quib::devcore;

int CQuibUSBDev::SCSI7120_CPURST(DeviceHandle hDev, std::uint8_t ucMode) {
    constexpr auto kFn = "CQuibUSBDev::SCSI7120_CPURST";
    // An invalid handle is only reported: the command goes out and fails like any other.
    if (!platform::isValid(hDev))
        LogError("%s:%d: SCSI7120_CPURST: hDev not valid , dwErrorCode %d", kFn, __LINE__,
                 platform::lastErrorCode());

    ScsiCommand command;
    command.cdbLength = 12;
    command.cdb[0] = 0xE8;
    command.cdb[1] = ucMode;
    command.dataIn = records::kScsiDataIn;
    command.transferLength = 0;
    command.timeOutSeconds = kReadTimeOut;
    records::ScsiPassThroughWithBuffers sptwb;
    const ScsiOutcome outcome = sendBuffered(hDev, sptwb, command);
    if (!outcome.succeeded()) {
        LogError("%s:%d: SCSI7120_CPURST: IOCTL_SCSI_PASS_THROUGH Fail , dwErrorCode %d", kFn, __LINE__,
                 static_cast<int>(outcome.errorCode));
        return -1;
    }
    return 0;
}

int CQuibUSBDev::nSetUSBMaxSpeedbyKRV8504VendorCmd(DeviceHandle hDev, std::uint8_t ucSpeed) {
    constexpr auto kFn = "CQuibUSBDev::nSetUSBMaxSpeedbyKRV8504VendorCmd";
    if (!platform::isValid(hDev)) {
        LogError("%s:%d: fHandle==NULL", kFn, __LINE__);
        return -10;
    }
    // Speeds 1..5 select restart modes 7..3.
    std::uint8_t ucMode = ucSpeed;
    if (ucSpeed >= 1 && ucSpeed <= 5) ucMode = static_cast<std::uint8_t>(8 - ucSpeed);
    const int iResult = SCSI7120_CPURST(hDev, ucMode);
    if (iResult != 0) LogError("%s:%d: SCSI7120_CPURST Failed", kFn, __LINE__);
    return iResult;
}

int CQuibUSBDev::SCSI_SyncCache10(DeviceHandle hDev) {
    constexpr auto kFn = "CQuibUSBDev::SCSI_SyncCache10";
    if (!platform::isValid(hDev))
        LogError("%s:%d: SCSI_SyncCache10: hDev not valid , dwErrorCode %d", kFn, __LINE__,
                 platform::lastErrorCode());

    ScsiCommand command;
    command.cdbLength = 10;
    command.cdb[0] = 0x35;
    command.dataIn = records::kScsiDataUnspecified;
    command.transferLength = 0;
    command.timeOutSeconds = kWriteTimeOut;
    records::ScsiPassThroughWithBuffers sptwb;
    prepareRecord(sptwb, command);
    // The output covers the header and the sense area: the OS returns the device's status (and sense)
    // only within it, and refuses a request whose sense area lies beyond it.
    const ScsiOutcome outcome = sendRecord(hDev, sptwb, records::kSptHeaderAndSense);
    if (!outcome.succeeded()) {
        LogError("%s:%d: SCSI_SyncCache10: IOCTL_SCSI_PASS_THROUGH Fail , dwErrorCode %d", kFn, __LINE__,
                 static_cast<int>(outcome.errorCode));
        return -1;
    }
    return 0;
}
