// The partitioning side of the formatter: the script for the system's partitioning tool, running it, and
// putting the new partition where the formatter wants it.
#include <cctype>
#include <cstdio>
#include <mutex>
#include <vector>

#include "common/log/debug_log.h"
#include "devcore/frame/library_objects.h"
#include "devcore/frame/usb_utility.h"
#include "devcore/transport/device_path.h"
#include "services/format/fat32_format.h"
#include "services/volume/bridge_volume.h"
#include "services/volume/disk_queries.h"

namespace quib::services {
namespace {

constexpr int kPartitionTries = 3, kLockTries = 5;
constexpr std::uint8_t kActive = 0x80, kGptGuard = 0xEE;
constexpr std::size_t kFirstEntry = 446;

std::uint32_t le32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
void put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// The first sector again, with the one partition of an MBR moved to the formatter's alignment: a start at
// sector 63 goes to 64; otherwise the partition reaches to the disk's end, in whole 64-sector steps. Nothing
// when the sector holds no MBR with exactly one partition; nothing with `refused` set (and logged) when the
// numbers do not fit its 32-bit fields.
std::optional<std::vector<std::uint8_t>> alignedMbr(std::vector<std::uint8_t> sector,
                                                    std::uint64_t diskSectors, std::uint8_t ucPhysicalAddress,
                                                    bool& refused) {
    constexpr auto kFn = "CFat32Format::vCreatePartition";
    if (sector.size() < 512 || sector[510] != 0x55 || sector[511] != 0xAA) return std::nullopt;
    int used = 0;
    for (int i = 0; i < 4; ++i) used += sector[kFirstEntry + 16 * i + 4] != 0;
    std::uint8_t* entry = &sector[kFirstEntry];
    if (used != 1 || entry[4] == 0 || entry[4] == kGptGuard) return std::nullopt;
    const std::uint32_t start = le32(entry + 8), length = le32(entry + 12);
    if (entry[0] == kActive && entry[8] == 63) {
        if (length <= 64) return std::nullopt;
        put32(entry + 8, 64);
        put32(entry + 12, (length - 1) & ~std::uint32_t{63});
        return sector;
    }
    const std::uint64_t reach = diskSectors > start ? (diskSectors - start) & ~std::uint64_t{63} : 0;
    if (reach == 0 || reach > 0xFFFFFFFFull || start + reach > 0x100000000ull) {
        LogError(
            "%s:%d: ucPhysicalAddress[%d] disk of %llu sectors: a partition from %u cannot be recorded in an "
            "MBR",
            kFn, __LINE__, ucPhysicalAddress, static_cast<unsigned long long>(diskSectors), start);
        refused = true;
        return std::nullopt;
    }
    put32(entry + 12, static_cast<std::uint32_t>(reach));
    return sector;
}

}  // namespace

std::string CFat32Format::scriptPath(std::uint8_t ucPhysicalAddress) {
    return devcore::theUtility().strDiskPartSetupInfoPath(ucPhysicalAddress);
}

bool CFat32Format::vSetDiskPartSetupInfo(char cDriveLetter, std::uint8_t ucPhysicalAddress, bool bGpt) {
    constexpr auto kFn = "CFat32Format::vSetDiskPartSetupInfo";
    if (ucPhysicalAddress == 0) {
        LogError("%s:%d:  ucPhysicalAddress is invalid, m_ucPhysicalAddress : %d , dwErrorCode %d", kFn,
                 __LINE__, ucPhysicalAddress, platform::lastErrorCode());
        return false;
    }
    platform::FileSystem& files = platform::get().files;
    const std::string path = scriptPath(ucPhysicalAddress);
    if (files.exists(path) && !files.deleteFile(path))
        LogError("%s:%d: vSetDiskPartSetupInfo: No strDiskPartFileName[%s] to Delete  ", kFn, __LINE__,
                 path.c_str());
    char script[512];
    if (bGpt)
        std::snprintf(
            script, sizeof script,
            " list disk\n select disk %d\n online disk noerr \n clean \n convert gpt\ncreate partition "
            "primary \n select partition 2\n assign letter=%c\n",
            ucPhysicalAddress, cDriveLetter);
    else
        std::snprintf(
            script, sizeof script,
            " list disk\n select disk %d\n online disk noerr \n attributes disk clear readonly noerr \n "
            "clean \nconvert mbr \ncreate partition primary \n active\n select partition 1\n assign "
            "letter=%c\n",
            ucPhysicalAddress, cDriveLetter);
    const std::string text(script);
    if (!files.writeFile(path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()))) {
        LogError("%s:%d: ucPhysicalAddress[%d] CreateFile[%s] Script Fail, ErrorCode:%d", kFn, __LINE__,
                 ucPhysicalAddress, path.c_str(), platform::lastErrorCode());
        return false;
    }
    if (!files.exists(path)) {
        LogError("%s:%d: ucPhysicalAddress[%d] ScriptFile[%s] Not Exist, ErrorCode:%d", kFn, __LINE__,
                 ucPhysicalAddress, path.c_str(), platform::lastErrorCode());
        return false;
    }
    return true;
}

bool CFat32Format::vCreatePartition(char cDriveLetter, std::uint8_t ucPhysicalAddress, bool bGpt,
                                    std::uint32_t dwSectorSize) {
    constexpr auto kFn = "CFat32Format::vCreatePartition";
    CUSBUtility& utility = devcore::theUtility();
    std::lock_guard guard(utility.m_PartitionCriticalSection);
    utility.m_bPartitionJobRunning = true;
    utility.m_bJobIdle = false;
    struct JobEnd {
        CUSBUtility& utility;
        ~JobEnd() {
            utility.m_bPartitionJobRunning = false;
            utility.m_bJobIdle = true;
        }
    } jobEnd{utility};
    platform::Platform& os = platform::get();
    const bool done = [&]() {
        const std::uint8_t next = utility.ucGetNextFreeDriveLetter();
        if (next == CUSBUtility::kNoFreeDriveLetter) {
            LogError("%s:%d: vCreatePartition: [%d] no free drive letter", kFn, __LINE__, ucPhysicalAddress);
            return false;
        }
        if (!vSetDiskPartSetupInfo(static_cast<char>(next), ucPhysicalAddress, bGpt)) {
            LogError("%s:%d: vCreatePartition: [%d] Script File Not Exist , ErrorCode:%d", kFn, __LINE__,
                     ucPhysicalAddress, platform::lastErrorCode());
            return false;
        }
        const std::string arguments = " /s " + scriptPath(ucPhysicalAddress);
        int count = -1;
        for (int iTry = 0; iTry < kPartitionTries && count < 0; ++iTry) {
            if (!os.process.runHidden("diskpart.exe", arguments, kToolWaitMs)) {
                LogError(
                    "%s:%d: vCreatePartition: ucPhysicalAddress[%d] PartitionParam:%s Fail, ErrorCode:%d ",
                    kFn, __LINE__, ucPhysicalAddress, arguments.c_str(), platform::lastErrorCode());
                os.clock.sleepMs(500);
                continue;
            }
            os.clock.sleepMs(1500);
            count = vGetPartitionCount(ucPhysicalAddress);
            if (count < 0)
                LogError("%s:%d: vCreatePartition: Fail ucPhysicalAddress [%d] Check Partition Count %d", kFn,
                         __LINE__, ucPhysicalAddress, count);
        }
        if (count < 0) return false;

        const devcore::ScopedDevice disk(physicalDrivePath(ucPhysicalAddress),
                                         platform::kAccessRead | platform::kAccessWrite);
        if (!disk.valid()) {
            LogError("%s:%d: vCreatePartition: CreateFile[%s] Fail, ErrorCode:%d", kFn, __LINE__,
                     physicalDrivePath(ucPhysicalAddress).c_str(), platform::lastErrorCode());
            return false;
        }
        os.storage.updateProperties(disk.get());
        // One partition: an MBR's four slots are listed whether used or not, so its own entries are counted.
        std::optional<std::vector<std::uint8_t>> mbr;
        bool tooLarge = false;
        if (!bGpt || count == 1) {
            std::vector<std::uint8_t> first(dwSectorSize ? dwSectorSize : 512, 0);
            const auto read = os.storage.readAt(disk.get(), 0, first);
            const auto geometry = os.storage.driveGeometry(disk.get());
            if (read && *read == first.size() && geometry && geometry->bytesPerSector)
                mbr = alignedMbr(std::move(first), geometry->diskSize / geometry->bytesPerSector,
                                 ucPhysicalAddress, tooLarge);
        }
        if (tooLarge) return false;
        if (mbr) {
            const std::string volume = volumePath(static_cast<char>(next));
            const devcore::ScopedDevice locked(volume, platform::kAccessRead | platform::kAccessWrite);
            bool isLocked = false;
            for (int iTry = 0; iTry < kLockTries && locked.valid() && !isLocked; ++iTry) {
                isLocked = os.storage.lockVolume(locked.get());
                if (!isLocked) os.clock.sleepMs(200);
            }
            if (!isLocked)
                LogError("%s:%d: FSCTL_LOCK_VOLUME Fail , strPhysicalAddress %s , dwErrorCode:%d", kFn,
                         __LINE__, volume.c_str(), platform::lastErrorCode());
            const auto written = os.storage.writeAt(disk.get(), 0, *mbr);
            if (!written || *written != mbr->size()) {
                LogError("%s:%d: m_ucPhysicalAddress= %c, Write MBR  Fail , dwErrorCode %d", kFn, __LINE__,
                         static_cast<char>(next), platform::lastErrorCode());
                return false;
            }
            if (locked.valid()) {
                if (!os.storage.dismountVolume(locked.get()))
                    LogError("%s:%d: FSCTL_DISMOUNT_VOLUME Fail , dwErrorCode:%d", kFn, __LINE__,
                             platform::lastErrorCode());
                if (isLocked && !os.storage.unlockVolume(locked.get()))
                    LogError("%s:%d: FSCTL_UNLOCK_VOLUME Fail , dwErrorCode:%d", kFn, __LINE__,
                             platform::lastErrorCode());
            }
        }
        // The new volume takes the caller's letter; the wait for it has a bound.
        const std::uint64_t started = os.clock.tickMs();
        std::uint8_t free = 0;
        do {
            os.storage.updateProperties(disk.get());
            os.clock.sleepMs(500);
            free = utility.ucGetNextFreeDriveLetter();
            LogMessage(
                "%s:%d: Update DiskLetter, m_ucPhysicalAddress[%d], Partition 1=[%c], Partition 2=[%c]", kFn,
                __LINE__, ucPhysicalAddress, cDriveLetter, static_cast<char>(free));
            if (free == static_cast<std::uint8_t>(cDriveLetter) &&
                os.clock.tickMs() - started >= kLetterWaitMs) {
                LogError(
                    "%s:%d: vCreatePartition: ucPhysicalAddress[%d] drive letter %c still free after %llu ms",
                    kFn, __LINE__, ucPhysicalAddress, cDriveLetter,
                    static_cast<unsigned long long>(kLetterWaitMs));
                return false;
            }
        } while (free == static_cast<std::uint8_t>(cDriveLetter));
        return true;
    }();
    const bool deleted = utility.vDelDiskPartSetupInfo(ucPhysicalAddress);
    return done && deleted;
}

}  // namespace quib::services
