#include "services/smart_service.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "common/log/debug_log.h"
#include "devcore/device/usb_dev_list.h"
#include "devcore/frame/library_objects.h"
#include "devcore/transport/device_path.h"
#include "include/quibusb.h"
#include "platform/platform.h"
#include "services/ata_commands.h"
#include "services/nvme_service.h"

namespace quib::services {
namespace {

constexpr std::uint32_t kLargestAtaLogAddress = 0xFF;
constexpr std::uint32_t kAtaWordLogicalSector = 106;

// The bridge of a list entry. An entry whose type could not be read is never sent a family's vendor
// command: on the other family the same operation code does something else (0xE6 writes to a 7120's drive).
struct Drive {
    enum class Kind { NoEntry, UnknownType, Sata, Nvme } kind = Kind::NoEntry;
    std::uint8_t physical = 0;
};
Drive driveOf(const char* kFn, int iLine, std::uint8_t ucTargetNumber) {
    const devcore::USBDevEntry* entry = devcore::deviceEntry(kFn, iLine, ucTargetNumber);
    // A cleared entry (past the count) has no disk to open.
    if (entry == nullptr || entry->m_ucPhysicalAddress == devcore::kNoNumber) return {};
    if (entry->m_ucDevType == devcore::DEV_UNKNOW) {
        LogError("%s:%d: Dev[%d] device type unknown", kFn, iLine, ucTargetNumber);
        return {Drive::Kind::UnknownType, entry->m_ucPhysicalAddress};
    }
    return {entry->m_ucDevType >= kFirstNvmeDevType ? Drive::Kind::Nvme : Drive::Kind::Sata,
            entry->m_ucPhysicalAddress};
}

// What an export gives before any command: the code for a device it cannot open, -1 for one it may not
// command, nothing when it may go on.
std::optional<int> refusalFor(const Drive& drive, int notOpened) {
    if (drive.kind == Drive::Kind::NoEntry) return notOpened;
    if (drive.kind == Drive::Kind::UnknownType) return QUIB_FAIL;
    return std::nullopt;
}

int resultOf(AtaOutcome outcome, int notOpened) {
    switch (outcome) {
        case AtaOutcome::Done:
            return QUIB_SUCCESS;
        case AtaOutcome::NotOpened:
            return notOpened;
        default:
            return QUIB_FAIL;
    }
}

std::uint16_t wordAt(const std::uint8_t* page, std::uint32_t word) {
    return static_cast<std::uint16_t>(page[2 * word] | (page[2 * word + 1] << 8));
}

// Word 106 valid (bits 15-14 = 01) and no logical sector longer than 256 words (bit 12 clear).
bool has512ByteLogicalSectors(const std::uint8_t* identify) {
    const std::uint16_t w = wordAt(identify, kAtaWordLogicalSector);
    return (w & 0xC000) == 0x4000 && !(w & 0x1000);
}

}  // namespace

int identifyDevice(std::uint8_t ucTargetNumber, std::uint8_t* pBuffer) {
    if (pBuffer == nullptr) return QUIB_INVALID_PARAMETER;
    const Drive drive = driveOf("QuibUSBLib_IdentifyDevice", __LINE__, ucTargetNumber);
    if (const auto refused = refusalFor(drive, QUIB_FAIL)) return *refused;
    return resultOf(bSendIdentifyBySCSICMD(pBuffer, drive.physical), QUIB_FAIL);
}

int getSmartAttribute(std::uint8_t ucTargetNumber, std::uint8_t* pBuffer) {
    if (pBuffer == nullptr) return QUIB_INVALID_PARAMETER;
    const Drive drive = driveOf("QuibUSBLib_GetSmartAttribute", __LINE__, ucTargetNumber);
    if (const auto refused = refusalFor(drive, QUIB_FAIL)) return *refused;
    return resultOf(bSendATAPassThroughBySCSICMD(pBuffer, drive.physical, kSmartReadData, 0, 0, kSmartLbaMid,
                                                 kSmartLbaHigh, kAtaSmart),
                    QUIB_FAIL);
}

int readSmartLog(std::uint8_t ucTargetNumber, std::uint8_t* pBuffer, std::uint32_t dwLogAddress) {
    if (pBuffer == nullptr) return QUIB_INVALID_PARAMETER;
    const Drive drive = driveOf("QuibUSBLib_ReadSmartLog", __LINE__, ucTargetNumber);
    if (const auto refused = refusalFor(drive, QUIB_FILE_NOT_FOUND)) return *refused;
    if (drive.kind == Drive::Kind::Nvme) return nvmeGetLogPage(ucTargetNumber, pBuffer, dwLogAddress);
    if (dwLogAddress > kLargestAtaLogAddress) return QUIB_INVALID_PARAMETER;
    return resultOf(bSendATAPassThroughBySCSICMD(pBuffer, drive.physical, kSmartReadLog, 1,
                                                 static_cast<std::uint8_t>(dwLogAddress), kSmartLbaMid,
                                                 kSmartLbaHigh, kAtaSmart),
                    QUIB_FILE_NOT_FOUND);
}

int writeSmartLog(std::uint8_t ucTargetNumber, const std::uint8_t* pBuffer, std::uint32_t dwLogAddress) {
    constexpr auto kFn = "QuibUSBLib_WriteSmartLog";
    if (pBuffer == nullptr) return QUIB_INVALID_PARAMETER;
    const Drive drive = driveOf(kFn, __LINE__, ucTargetNumber);
    if (const auto refused = refusalFor(drive, QUIB_FILE_NOT_FOUND)) return *refused;
    if (drive.kind == Drive::Kind::Nvme) {
        LogError("%s:%d: Dev[%d] KRV8502 does not support Smart log write", kFn, __LINE__, ucTargetNumber);
        return QUIB_INVALID_PARAMETER;
    }
    if (dwLogAddress > kLargestAtaLogAddress) return QUIB_INVALID_PARAMETER;
    // The command only reads from the buffer; a copy keeps the caller's const promise.
    std::uint8_t sector[kAtaBlock];
    std::copy_n(pBuffer, kAtaBlock, sector);
    return resultOf(bSendATAPassThroughBySCSICMD(sector, drive.physical, kSmartWriteLog, 1,
                                                 static_cast<std::uint8_t>(dwLogAddress), kSmartLbaMid,
                                                 kSmartLbaHigh, kAtaSmart),
                    QUIB_FILE_NOT_FOUND);
}

int readWriteLastSector(std::uint8_t ucTargetNumber, std::uint8_t ucWrite, std::uint8_t* pBuffer) {
    constexpr auto kFn = "QuibUSBLib_vReadWriteSmartLogPage_LastSector";
    if (pBuffer == nullptr || ucWrite > 1) return 0;
    const Drive drive = driveOf(kFn, __LINE__, ucTargetNumber);
    if (refusalFor(drive, 0)) return 0;
    char path[40];
    std::snprintf(path, sizeof path, "\\\\.\\physicaldrive%d", drive.physical);
    devcore::ScopedDevice disk(devcore::openDevice(path));
    if (!disk.valid()) {
        LogError("%s:%d: CreateFile [%d] Failed, dwErrorCode %d", kFn, __LINE__, drive.physical,
                 platform::lastErrorCode());
        return 0;
    }
    const auto geometry = platform::get().storage.driveGeometry(disk.get());
    if (!geometry || geometry->bytesPerSector == 0) {
        LogError("%s:%d: strPhysicalAddress:[%s] IOCTL_DISK_GET_DRIVE_GEOMETRY_EX Fail , Error:%d", kFn,
                 __LINE__, path, platform::lastErrorCode());
        return 0;
    }
    std::uint64_t lba = geometry->diskSize / geometry->bytesPerSector;
    std::uint16_t count = 1;
    const std::uint32_t length = geometry->bytesPerSector;
    if (length != kAtaBlock && length != 4096) {
        LogError("%s:%d: ucPhysicalAddress[%d] sector size %u not supported", kFn, __LINE__, drive.physical,
                 length);
        return 0;
    }
    std::uint8_t identify[kAtaBlock];
    const bool identified = bSendIdentifyATAPassThrough(disk.get(), identify);
    if (length != kAtaBlock) {
        // Which LBA is the sector past the end depends on the drive's own sector size: without it, a
        // write could land anywhere on the drive.
        if (!identified) {
            LogError("%s:%d: ucPhysicalAddress[%d] IDENTIFY DEVICE Failed, dwErrorCode %d", kFn, __LINE__,
                     drive.physical, platform::lastErrorCode());
            return 0;
        }
        if (has512ByteLogicalSectors(identify)) {
            lba *= length / kAtaBlock;
            count = static_cast<std::uint16_t>(length / kAtaBlock);
        }
    }
    const std::uint8_t command = ucWrite ? kAtaWriteDmaExt : kAtaReadDmaExt;
    if (!bSendATAPassThrough16BySCSICMD(disk.get(), pBuffer, length, lba, count, command)) {
        LogError("%s:%d: vReadWriteSmartLogPage_LastSector ucPhysicalAddress[%d] Failed, dwErrorCode %d", kFn,
                 __LINE__, drive.physical, platform::lastErrorCode());
        return 0;
    }
    return 1;
}

}  // namespace quib::services
