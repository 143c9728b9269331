#include "services/ata_commands.h"

#include <cstring>

#include "common/log/debug_log.h"
#include "devcore/transport/ata_pass_through_12.h"
#include "devcore/transport/device_path.h"
#include "devcore/transport/scsi_request.h"

namespace quib::services {
namespace {

constexpr std::uint8_t kSense16 = 32;
constexpr std::uint8_t kDownloadMicrocode = 0x92;
constexpr std::uint8_t kDeviceLbaMode = 0x50;

bool isWrite(std::uint8_t ucCommand, std::uint8_t ucFeatures) {
    return (ucCommand == kAtaSmart && ucFeatures == kSmartWriteLog) || ucCommand == kDownloadMicrocode;
}

}  // namespace

AtaOutcome bSendATAPassThroughBySCSICMD(std::uint8_t* pBuffer, std::uint8_t ucPhysicalDrive,
                                        std::uint8_t ucFeatures, std::uint8_t ucSectorCount,
                                        std::uint8_t ucLbaLow, std::uint8_t ucLbaMid, std::uint8_t ucLbaHigh,
                                        std::uint8_t ucCommand) {
    constexpr auto kFn = "bSendATAPassThroughBySCSICMD";
    const bool write = isWrite(ucCommand, ucFeatures);
    if (!write) std::memset(pBuffer, 0, 4);
    devcore::ScopedDevice drive(devcore::openDevice(devcore::makeDevicePath(false, ucPhysicalDrive)));
    if (!drive.valid()) {
        LogError("%s:%d: bSendATAPassThroughBySCSICMD: CreateFile Fail [%d] , dwErrorCode %d", kFn, __LINE__,
                 ucPhysicalDrive, platform::lastErrorCode());
        return AtaOutcome::NotOpened;
    }
    const devcore::AtaRegisters12 registers{ucFeatures, ucSectorCount, ucLbaLow,
                                            ucLbaMid,   ucLbaHigh,     ucCommand};
    const std::uint8_t direction = write ? records::kScsiDataOut : records::kScsiDataIn;
    // DOWNLOAD MICROCODE goes as PIO data-out without a length field; the rest as PIO with the length in
    // the sector count, counted in blocks.
    const devcore::ScsiCommand command = ucCommand == kDownloadMicrocode
                                             ? devcore::ataPassThrough12(registers, 0x06, 0x00, direction)
                                         : write ? devcore::ataPassThrough12(registers, 0x0A, 0x06, direction)
                                                 : devcore::ataPioDataIn12(registers);
    records::ScsiPassThroughWithBuffers sptwb;
    const devcore::ScsiOutcome outcome = devcore::sendBuffered(
        drive.get(), sptwb, command,
        write ? std::span<const std::uint8_t>(pBuffer, kAtaBlock) : std::span<const std::uint8_t>());
    if (!outcome.succeeded()) {
        LogError("%s:%d: bSendATAPassThroughBySCSICMD: IOCTL_SCSI_PASS_THROUGH Fail [%d] , dwErrorCode %d",
                 kFn, __LINE__, ucPhysicalDrive, static_cast<int>(outcome.errorCode));
        return AtaOutcome::Failed;
    }
    if (!write) std::memcpy(pBuffer, sptwb.ucDataBuf, kAtaBlock);
    return AtaOutcome::Done;
}

AtaOutcome bSendIdentifyBySCSICMD(std::uint8_t* pIdentify, std::uint8_t ucPhysicalDrive) {
    return bSendATAPassThroughBySCSICMD(pIdentify, ucPhysicalDrive, 0, 1, 0, 0, 0, kAtaIdentifyDevice);
}

bool bSendATAPassThrough16BySCSICMD(platform::DeviceHandle hDev, std::uint8_t* pBuffer,
                                    std::uint32_t dwLength, std::uint64_t ullLba, std::uint16_t usSectorCount,
                                    std::uint8_t ucCommand) {
    const bool write = ucCommand == kAtaWriteDmaExt;
    devcore::ScsiCommand command;
    command.cdbLength = 16;
    command.senseInfoLength = kSense16;
    const auto byteOf = [&](int shift) { return static_cast<std::uint8_t>(ullLba >> shift); };
    // UDMA data-in or data-out with the extended (48-bit) registers; the LBA in the SAT register order.
    // The count is in 512-byte blocks, unless each sector the count names is longer (a drive of 4096-byte
    // logical sectors): then T_TYPE says so, or the bridge would move 512 bytes of the 4096.
    const bool logicalBlocks = usSectorCount != 0 && dwLength / usSectorCount != kAtaBlock;
    command.cdb = {0x85,
                   static_cast<std::uint8_t>(write ? 0x17 : 0x15),
                   static_cast<std::uint8_t>((write ? 0x06 : 0x0E) | (logicalBlocks ? 0x10 : 0x00)),
                   0x00,
                   0x00,
                   static_cast<std::uint8_t>(usSectorCount >> 8),
                   static_cast<std::uint8_t>(usSectorCount),
                   byteOf(24),
                   byteOf(0),
                   byteOf(32),
                   byteOf(8),
                   byteOf(40),
                   byteOf(16),
                   kDeviceLbaMode,
                   ucCommand,
                   0x00};
    command.dataIn = write ? records::kScsiDataOut : records::kScsiDataIn;
    command.transferLength = dwLength;
    command.timeOutSeconds = devcore::kAtaPassThroughTimeOut;
    records::ScsiPassThroughWithBuffers sptwb;
    const devcore::ScsiOutcome outcome = devcore::sendBuffered(
        hDev, sptwb, command,
        write ? std::span<const std::uint8_t>(pBuffer, dwLength) : std::span<const std::uint8_t>());
    if (!outcome.succeeded()) {
        platform::setLastError(outcome.errorCode);
        return false;
    }
    if (!write) std::memcpy(pBuffer, sptwb.ucDataBuf, dwLength);
    return true;
}

bool bSendIdentifyATAPassThrough(platform::DeviceHandle hDev, std::uint8_t* pIdentify) {
    platform::AtaRequest request;
    request.dataIn = true;
    request.taskFile.command = kAtaIdentifyDevice;
    const platform::ScsiResult result = platform::get().storage.ataPassThroughDirect(
        hDev, request, std::span<std::uint8_t>(pIdentify, kAtaBlock));
    if (!result.ok) return false;
    if (request.taskFile.command & platform::kAtaStatusError) {
        LogError("%s:%d: IDENTIFY DEVICE aborted, error 0x%02X , status 0x%02X",
                 "bSendIdentifyATAPassThrough", __LINE__, request.taskFile.features,
                 request.taskFile.command);
        return false;
    }
    return true;
}

}  // namespace quib::services
