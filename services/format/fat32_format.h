// Partitioning a bridge's drive as one volume and formatting it: NTFS and exFAT with the system's format
// program, FAT32 with our own writer (not held to the 32 GiB the system's program allows for FAT32).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/platform.h"
#include "services/format/fat32_layout.h"
#include "services/format/fat32_writer.h"

namespace quib::services {

class CFat32Format : public fat32::SectorWriter {
  public:
    // What the disk's size allows (vCheckFileSystemCapacity).
    enum Capacity : int { kNtfsOnly = 0, kAnyFileSystem = 1, kNotAvailable = 2 };
    enum FileSystem : std::uint8_t { kNtfs = 0, kFat32 = 1, kExFat = 2 };
    static constexpr std::uint32_t kToolWaitMs = 12'000'000, kLabelWaitMs = 1'000'000;
    // How long the new volume may take to receive its letter.
    static constexpr std::uint64_t kLetterWaitMs = 60'000;

    CFat32Format() = default;
    ~CFat32Format() override;
    CFat32Format(const CFat32Format&) = delete;
    CFat32Format& operator=(const CFat32Format&) = delete;

    // Repartitions the whole disk as one volume with the system's partitioning tool and waits until the
    // caller's letter is taken; false when any step failed.
    bool vCreatePartition(char cDriveLetter, std::uint8_t ucPhysicalAddress, bool bGpt,
                          std::uint32_t dwSectorSize);
    // Writes the partitioning script for the disk, naming `cDriveLetter` for the new volume.
    bool vSetDiskPartSetupInfo(char cDriveLetter, std::uint8_t ucPhysicalAddress, bool bGpt);
    // Formats the volume at `cDriveLetter` on the disk and checks that it mounts with the file system and
    // label asked for; two tries.
    bool vLowLevelFormatTracks(std::uint8_t ucPhysicalAddress, std::uint8_t ucFileSystem, bool bGpt,
                               const std::string& strLabel, char cDriveLetter);
    int vCheckFileSystemCapacity(std::uint8_t ucPhysicalAddress);
    bool bSetFormatParam(char cDriveLetter, int iClusterSize, bool bGpt);
    // Reads the volume's geometry and partition and plans the FAT32; false when FAT32 cannot hold it.
    bool bPreCheckFat32FormatParam(platform::DeviceHandle volume);
    bool bFormatVolume(const std::string& strLabel);
    void vZeroSectors(std::uint64_t firstSector, std::uint64_t count);
    bool vWriteSect(std::uint64_t sector, std::span<const std::uint8_t> data);

    // fat32::SectorWriter: the formatter's writes go to the open volume.
    bool write(std::uint64_t firstSector, std::span<const std::uint8_t> data) override {
        return vWriteSect(firstSector, data);
    }

    // The script file of a disk: "DiskPartTarget3.sc" in the library's working folder.
    static std::string scriptPath(std::uint8_t ucPhysicalAddress);

  private:
    void resetFormatState();

    int m_iSectorsPerClusterRequest = 0;
    char m_cDriveLetter = 0;
    bool m_bGpt = false;
    fat32::VolumeGeometry m_geometry;
    std::optional<fat32::Layout> m_layout;
    std::uint32_t m_dwVolumeId = 0;
    fat32::LocalTime m_time;
    platform::DeviceHandle m_hVolume = platform::kInvalidHandle;
    fat32::WriteResult m_written;
};

// The export's body: 0 success, -1 partitioning or formatting failed, -10 unexpected failure.
int partitionFormat(std::uint8_t ucTargetNumber, bool bGpt, std::uint8_t ucFileSystem, char cDriveLetter,
                    const char* pLabel);

}  // namespace quib::services
