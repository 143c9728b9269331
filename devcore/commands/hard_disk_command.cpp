// Sector writes to the drive behind a SATA bridge, wrapped in the vendor command 0xE6.
#include <cstring>

#include "common/log/debug_log.h"
#include "devcore/device/quib_usb_dev.h"
#include "devcore/transport/scsi_request.h"

using namespace quib;
using namespace quib::devcore;

namespace {
constexpr std::uint32_t kSectorSize = 512;
constexpr std::uint32_t kMaxHardDiskBytes = 32768;
constexpr std::uint32_t kHardDiskTimeOut = 10;
constexpr std::uint8_t kAtaWriteDmaExt = 0x35;
constexpr std::uint8_t kAtaDeviceLbaMode = 0x40;
}  // namespace

int CQuibUSBDev::SCSI7120_AccessHardDisk(DeviceHandle hDev, std::uint8_t ucReadWrite, std::uint32_t dwLbaLow,
                                         std::uint32_t dwLbaHigh, const std::uint8_t* pData,
                                         std::uint32_t dwSectorCount) {
    constexpr auto kFn = "CQuibUSBDev::SCSI7120_AccessHardDisk";
    if (!platform::isValid(hDev)) {
        LogError("%s:%d: INVALID_PARAM! hDev:%x , ReadWrite:%x , dwErrorCode:%d  ", kFn, __LINE__,
                 handleText(hDev), ucReadWrite, platform::lastErrorCode());
        return -10;
    }
    // Only writing is built; a read request sends nothing.
    if (ucReadWrite != 1) return 0;
    if (dwLbaHigh > 0xFFFF) {
        LogError("%s:%d: INVALID_PARAM! Access LBA[0x%x]", kFn, __LINE__, dwLbaHigh);
        return -10;
    }
    const std::uint64_t qwBytes = static_cast<std::uint64_t>(dwSectorCount) * kSectorSize;
    // A count of 0 would mean 65536 sectors to the drive while no data travel: refused like an oversize one.
    if (qwBytes == 0 || qwBytes > kMaxHardDiskBytes || pData == nullptr) {
        LogError("%s:%d: INVALID_PARAM! buffer size:[%d]Bytes", kFn, __LINE__, static_cast<int>(qwBytes));
        return -10;
    }

    ScsiCommand command;
    command.cdbLength = 16;
    command.cdb = {0xE6,
                   0,
                   0,
                   0,
                   kAtaWriteDmaExt,
                   0,
                   static_cast<std::uint8_t>(dwLbaLow),
                   static_cast<std::uint8_t>(dwLbaLow >> 8),
                   static_cast<std::uint8_t>(dwLbaLow >> 16),
                   kAtaDeviceLbaMode,
                   static_cast<std::uint8_t>(dwLbaLow >> 24),
                   static_cast<std::uint8_t>(dwLbaHigh),
                   static_cast<std::uint8_t>(dwLbaHigh >> 8),
                   0,
                   static_cast<std::uint8_t>(dwSectorCount),
                   static_cast<std::uint8_t>(dwSectorCount >> 8)};
    command.dataIn = records::kScsiDataOut;
    command.transferLength = static_cast<std::uint32_t>(qwBytes);
    command.timeOutSeconds = kHardDiskTimeOut;
    records::ScsiPassThroughWithBuffers sptwb;
    const ScsiOutcome outcome =
        sendBuffered(hDev, sptwb, command, std::span<const std::uint8_t>(pData, command.transferLength));
    if (!outcome.succeeded()) {
        LogError(
            "%s:%d: SCSI7120_AccessHardDisk: (status = FAIL) hDev:%x , status:%x , ScsiStatus:%x , "
            "dwErrorCode:%x  ",
            kFn, __LINE__, handleText(hDev), outcome.controlOk ? 1u : 0u, outcome.scsiStatus,
            outcome.errorCode);
        return -1;
    }
    return 0;
}
