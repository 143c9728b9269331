// Formatting the new volume and checking it, and the export that partitions and formats a bridge's drive.
#include <algorithm>
#include <cctype>
#include <memory>
#include <mutex>

#include "common/log/debug_log.h"
#include "devcore/device/quib_usb_dev.h"
#include "devcore/frame/library_objects.h"
#include "devcore/frame/usb_utility.h"
#include "devcore/transport/device_path.h"
#include "services/format/fat32_format.h"
#include "services/volume/bridge_volume.h"
#include "services/volume/disk_queries.h"

namespace quib::services {
namespace {

constexpr int kFormatTries = 2;
constexpr std::int64_t kLargestFat32DiskMiB = 0x7FFFFF;  // 8 TiB: larger disks get NTFS

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

std::unique_ptr<CFat32Format>& formatter() {
    static std::unique_ptr<CFat32Format> g_pFat32Format;
    return g_pFat32Format;
}

}  // namespace

int CFat32Format::vCheckFileSystemCapacity(std::uint8_t ucPhysicalAddress) {
    constexpr auto kFn = "CFat32Format::vCheckFileSystemCapacity";
    platform::Storage& storage = platform::get().storage;
    const std::string path = physicalDrivePath(ucPhysicalAddress);
    const devcore::ScopedDevice disk(path, platform::kAccessRead);
    if (!disk.valid()) {
        LogError("%s:%d: vCheckFileSystemCapacity: CreateFile[%s] Fail, ErrorCode:%d", kFn, __LINE__,
                 path.c_str(), platform::lastErrorCode());
        return kNotAvailable;
    }
    const auto geometry = storage.driveGeometry(disk.get());
    if (!geometry) {
        LogError("%s:%d: vCheckFileSystemCapacity: [%s] not support  , ErrorCode:%d", kFn, __LINE__,
                 path.c_str(), platform::lastErrorCode());
        return kNotAvailable;
    }
    return static_cast<std::int64_t>(geometry->diskSize / 1048576) > kLargestFat32DiskMiB ? kNtfsOnly
                                                                                          : kAnyFileSystem;
}

bool CFat32Format::vLowLevelFormatTracks(std::uint8_t ucPhysicalAddress, std::uint8_t ucFileSystem, bool bGpt,
                                         const std::string& strLabel, char cDriveLetter) {
    constexpr auto kFn = "CFat32Format::vLowLevelFormatTracks";
    platform::Platform& os = platform::get();
    const int iFSCapacity = vCheckFileSystemCapacity(ucPhysicalAddress);
    if (static_cast<std::uint8_t>(cDriveLetter) == CUSBUtility::kNoFreeDriveLetter) return false;
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(cDriveLetter)));
    const std::string strTestLogicalDrive = volumePath(letter);
    // The letter must name the volume on this very disk: never C, never another disk's volume.
    const auto disk = letter == 'C' ? std::nullopt : diskOfVolume(letter);
    if (iFSCapacity == kNotAvailable || devcore::theUtility().vCheckFilePathExists(strTestLogicalDrive) ||
        disk != std::optional<std::uint32_t>(ucPhysicalAddress)) {
        LogError(
            "%s:%d: vLowLevelFormatTracks: Pre-Check Fail , ucPhysicalAddress:[%d] , m_cDriveLetter:[%c] ,  "
            "strTestLogicalDrive: %s , iFSCapacity : %d ",
            kFn, __LINE__, ucPhysicalAddress, letter, strTestLogicalDrive.c_str(), iFSCapacity);
        return false;
    }
    std::string fileSystem = "NTFS";
    if (iFSCapacity == kAnyFileSystem) {
        if (ucFileSystem == kExFat)
            fileSystem = "EXFAT";
        else if (ucFileSystem != kNtfs) {
            fileSystem = "FAT32";
            if (ucFileSystem != kFat32)
                LogError("%s:%d: vLowLevelFormatTracks: Pre-Set Format Param Impossible , ucFileSystem %d",
                         kFn, __LINE__, ucFileSystem);
        }
    }
    const std::string root = std::string(1, letter) + ":\\";
    for (int iTry = 0; iTry < kFormatTries; ++iTry) {
        if (fileSystem == "FAT32") {
            const int spc =
                static_cast<int>(fat32::clusterRequestForDisk(vGetDiskPhysicalSize(ucPhysicalAddress)));
            if (bSetFormatParam(letter, spc, bGpt)) bFormatVolume(strLabel);  // the post-check decides
        } else {
            os.process.runHidden("format.com", " " + std::string(1, letter) + ":/Q /FS:" + fileSystem + " /y",
                                 kToolWaitMs);
        }
        bool passed = false;
        const std::string strTestDirectory = root + "tmp";
        if (!os.files.createDirectory(strTestDirectory) || !os.files.removeDirectory(strTestDirectory)) {
            os.clock.sleepMs(1000);
            LogError(
                "%s:%d: vLowLevelFormatTracks: Post-Check (CreateDirectory) Fail , ucPhysicalAddress:[%d] , "
                "m_cDriveLetter:[%c] ,  strTestDirectory : %s , dwErrorCode %d",
                kFn, __LINE__, ucPhysicalAddress, letter, strTestDirectory.c_str(),
                platform::lastErrorCode());
        } else {
            if (fileSystem != "FAT32" && !os.volumes.setVolumeLabel(root, strLabel)) {
                LogError(
                    "%s:%d: vLowLevelFormatTracks: SetVolumeLabel Fail , strLogicalAddress: %s , "
                    "strDriveLabelName %s , "
                    "bResult %d",
                    kFn, __LINE__, root.c_str(), strLabel.c_str(), 0);
                os.process.runHidden("label.exe", " " + std::string(1, letter) + ": " + strLabel,
                                     kLabelWaitMs);
            }
            const auto info = os.volumes.volumeInformation(root);
            if (!info)
                LogError(
                    "%s:%d: vLowLevelFormatTracks: GetVolumeInformation Fail , strLogicalAddress:[%s] , "
                    "dwErrorCode %d",
                    kFn, __LINE__, root.c_str(), platform::lastErrorCode());
            passed = info && equalsIgnoringCase(info->fileSystem, fileSystem) &&
                     equalsIgnoringCase(info->label, strLabel);
            if (info && !passed)
                LogError(
                    "%s:%d: vLowLevelFormatTracks: Post-Check Fail , ucPhysicalAddress:[%d] , "
                    "m_cDriveLetter:[%c] , "
                    "file system %s , label %s",
                    kFn, __LINE__, ucPhysicalAddress, letter, info->fileSystem.c_str(), info->label.c_str());
        }
        if (passed) return true;
        const devcore::ScopedDevice disk(physicalDrivePath(ucPhysicalAddress), platform::kAccessRead);
        if (!disk.valid() || !os.storage.updateProperties(disk.get()))
            LogError("%s:%d: [%c] IOCTL_DISK_UPDATE_PROPERTIES Fail , dwErrorCode %d", kFn, __LINE__, letter,
                     platform::lastErrorCode());
    }
    return false;
}

int partitionFormat(std::uint8_t ucTargetNumber, bool bGpt, std::uint8_t ucFileSystem, char cDriveLetter,
                    const char* pLabel) {
    constexpr auto kFn = "QuibUSBLib_vPartitionFormat";
    const devcore::USBDevList* list = devcore::libraryObjects().devList();
    const int count = list ? std::clamp(list->nDevCount, 0, devcore::kMaxDevList) : 0;
    if (ucTargetNumber >= count) {
        LogError("%s:%d: Dev[%d] not in the device list , dwErrorCode = %d", kFn, __LINE__, ucTargetNumber,
                 platform::lastErrorCode());
        return -1;
    }
    const devcore::USBDevEntry& entry = list->Devs[ucTargetNumber];
    if (entry.ucIsCdrom || entry.m_ucPhysicalAddress == devcore::kNoNumber) {
        LogError("%s:%d: Dev[%d] has no disk , dwErrorCode = %d", kFn, __LINE__, ucTargetNumber,
                 platform::lastErrorCode());
        return -1;
    }
    const std::string strLabel = pLabel ? pLabel : "";
    auto& pFormat = formatter();
    pFormat = std::make_unique<CFat32Format>();
    int result = 0;
    if (!pFormat->vCreatePartition(cDriveLetter, entry.m_ucPhysicalAddress, bGpt, entry.dwBytesPerSector)) {
        LogError("%s:%d: Dev[%d] vCreatePartition fail, dwErrorCode = %d", kFn, __LINE__, ucTargetNumber,
                 platform::lastErrorCode());
        result = -1;
    } else {
        CUSBUtility& utility = devcore::theUtility();
        utility.m_bJobIdle = false;
        const bool formatted = pFormat->vLowLevelFormatTracks(entry.m_ucPhysicalAddress, ucFileSystem, bGpt,
                                                              strLabel, cDriveLetter);
        utility.m_bJobIdle = true;
        if (!formatted) {
            LogError("%s:%d: Dev[%d] vLowLevelFormatTracks fail, dwErrorCode = %d", kFn, __LINE__,
                     ucTargetNumber, platform::lastErrorCode());
            result = -1;
        }
    }
    pFormat.reset();
    return result;
}

}  // namespace quib::services
