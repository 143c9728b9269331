// The FAT32 side of the formatter: the parameters, the pre-check and writing the volume.
#include "services/format/fat32_format.h"

#include <cctype>
#include <ctime>

#include "common/log/debug_log.h"
#include "devcore/transport/device_path.h"
#include "services/volume/bridge_volume.h"
#include "services/volume/disk_queries.h"

namespace quib::services {
namespace {

constexpr std::uint8_t kFat32LbaType = 0x0C;

fat32::LocalTime localNow() {
    platform::Clock& clock = platform::get().clock;
    const std::time_t now = static_cast<std::time_t>(clock.unixSeconds());
    std::tm t{};
#if defined(_WIN32)
    localtime_s(&t, &now);
#else
    localtime_r(&now, &t);
#endif
    return {t.tm_year + 1900,
            t.tm_mon + 1,
            t.tm_mday,
            t.tm_hour,
            t.tm_min,
            t.tm_sec,
            static_cast<int>(clock.tickMs() % 1000)};
}

}  // namespace

CFat32Format::~CFat32Format() {
    if (platform::isValid(m_hVolume)) platform::get().storage.close(m_hVolume);
}

void CFat32Format::resetFormatState() {
    m_geometry = {};
    m_layout.reset();
    m_dwVolumeId = 0;
    m_written = {};
}

bool CFat32Format::bSetFormatParam(char cDriveLetter, int iClusterSize, bool bGpt) {
    if (iClusterSize < 0 || iClusterSize > 128) {
        LogError("%s:%d: bSetFormatParam: cDriveLetter %c , iClusterSize %d", "CFat32Format::bSetFormatParam",
                 __LINE__, cDriveLetter, iClusterSize);
        return false;
    }
    m_iSectorsPerClusterRequest = iClusterSize;
    m_cDriveLetter = static_cast<char>(std::toupper(static_cast<unsigned char>(cDriveLetter)));
    m_bGpt = bGpt;
    return true;
}

bool CFat32Format::bPreCheckFat32FormatParam(platform::DeviceHandle volume) {
    constexpr auto kFn = "CFat32Format::bPreCheckFat32FormatParam";
    platform::Storage& storage = platform::get().storage;
    const std::string path = volumePath(m_cDriveLetter);
    const auto geometry = storage.driveGeometry(volume);
    const auto partition = geometry ? storage.partitionInfo(volume) : std::nullopt;
    if (!geometry || !partition || geometry->bytesPerSector == 0) {
        LogError("%s:%d: bPreCheckFat32FormatParam:[%s] geometry or partition query Fail , dwErrorCode:%d",
                 kFn, __LINE__, path.c_str(), platform::lastErrorCode());
        return false;
    }
    const std::uint32_t bps = geometry->bytesPerSector;
    const std::uint64_t totalCheck = static_cast<std::uint64_t>(partition->partitionLength) / bps;
    if (totalCheck <= 0xFFFF || totalCheck >= 0xFFFFFFFFull) {
        LogError(
            "%s:%d: bPreCheckFat32FormatParam:[%s] This drive is too small(64K Clusters) or too large(2TB) "
            "[%llu] for a FAT32 volume , strLogicalAddress %s , dwErrorCode:%d",
            kFn, __LINE__, path.c_str(), static_cast<unsigned long long>(totalCheck), path.c_str(),
            platform::lastErrorCode());
        return false;
    }
    // The boot sector keeps the partition's start in 32 bits: a start beyond that is not written cut short.
    const std::uint64_t start = m_bGpt || partition->style == platform::PartitionStyle::Gpt
                                    ? static_cast<std::uint64_t>(partition->startingOffset) / bps
                                    : partition->hiddenSectors;
    if (start > 0xFFFFFFFFull) {
        LogError(
            "%s:%d: bPreCheckFat32FormatParam:[%s] partition starts at sector %llu, past what FAT32 records",
            kFn, __LINE__, path.c_str(), static_cast<unsigned long long>(start));
        return false;
    }
    m_geometry.bytesPerSector = bps;
    m_geometry.sectorsPerTrack = geometry->sectorsPerTrack;
    m_geometry.heads = geometry->tracksPerCylinder;
    m_geometry.hiddenSectors = static_cast<std::uint32_t>(start);
    m_geometry.partitionBytes = static_cast<std::uint64_t>(partition->partitionLength);
    const fat32::Plan plan =
        fat32::planVolume(m_geometry, static_cast<std::uint32_t>(m_iSectorsPerClusterRequest));
    for (const std::string& change : plan.changes)
        LogError("%s:%d: Drive has more than 2^28 clusters or at least 65536 clusters , %s", kFn, __LINE__,
                 change.c_str());
    if (!plan.layout) {
        LogError("%s:%d: bPreCheckFat32FormatParam:[%s] %s , strLogicalAddress %s", kFn, __LINE__,
                 path.c_str(), plan.refusal.c_str(), path.c_str());
        return false;
    }
    m_layout = plan.layout;
    return true;
}

bool CFat32Format::bFormatVolume(const std::string& strLabel) {
    constexpr auto kFn = "CFat32Format::bFormatVolume";
    resetFormatState();
    if (m_cDriveLetter == 'C') {
        LogError("%s:%d: bFormatVolume: Force not to Do Format %c", kFn, __LINE__, m_cDriveLetter);
        return false;
    }
    m_time = localNow();
    m_dwVolumeId = fat32::volumeIdFrom(m_time);
    platform::Storage& storage = platform::get().storage;
    const std::string path = volumePath(m_cDriveLetter);
    m_hVolume = storage.open(path, platform::kAccessRead | platform::kAccessWrite);
    if (!platform::isValid(m_hVolume)) {
        LogError("%s:%d: bFormatVolume: CreateFile[%s] Fail , dwErrorCode:%d", kFn, __LINE__, path.c_str(),
                 platform::lastErrorCode());
        return false;
    }
    if (!storage.lockVolume(m_hVolume)) {
        LogError("%s:%d: bFormatVolume:[%s] FSCTL_LOCK_VOLUME Fail , strLogicalAddress %s , dwErrorCode:%d",
                 kFn, __LINE__, path.c_str(), path.c_str(), platform::lastErrorCode());
        storage.close(m_hVolume);
        m_hVolume = platform::kInvalidHandle;
        return false;
    }
    const bool planned = bPreCheckFat32FormatParam(m_hVolume);
    if (planned) {
        const fat32::Layout& l = *m_layout;
        LogMessage(
            "%s:%d: Size : %.2fGB %u sectors, %u Bytes Per Sector, Cluster size %u bytes, Volume ID is "
            "%04x:%04x, "
            "%u Reserved Sectors, %u Sectors per FAT, %u fats, %llu Total clusters, %u Free Clusters",
            kFn, __LINE__, static_cast<double>(m_geometry.partitionBytes) / (1024.0 * 1024 * 1024),
            l.totalSectors, l.bytesPerSector, l.sectorsPerCluster * l.bytesPerSector, m_dwVolumeId >> 16,
            m_dwVolumeId & 0xFFFF, fat32::kReservedSectors, l.fatSize, fat32::kNumberOfFats,
            static_cast<unsigned long long>(l.clusterCount), l.freeClusters());
        m_written = fat32::writeVolume(*this, l, m_geometry, m_dwVolumeId, strLabel, m_time);
        if (!storage.setPartitionType(m_hVolume, kFat32LbaType) && !m_bGpt)
            LogError("%s:%d: bFormatVolume:[%s] IOCTL_DISK_SET_PARTITION_INFO Fail , dwErrorCode:%d", kFn,
                     __LINE__, path.c_str(), platform::lastErrorCode());
    }
    const auto disk = platform::get().volumes.diskExtents(m_hVolume);
    if (!storage.dismountVolume(m_hVolume))
        LogError("%s:%d: bFormatVolume:[%s] FSCTL_DISMOUNT_VOLUME Fail , dwErrorCode:%d", kFn, __LINE__,
                 path.c_str(), platform::lastErrorCode());
    if (!storage.unlockVolume(m_hVolume))
        LogError("%s:%d: bFormatVolume:[%s] FSCTL_UNLOCK_VOLUME Fail , dwErrorCode:%d", kFn, __LINE__,
                 path.c_str(), platform::lastErrorCode());
    storage.close(m_hVolume);
    m_hVolume = platform::kInvalidHandle;
    if (disk && disk->size() == 1) {
        const devcore::ScopedDevice h(physicalDrivePath(static_cast<std::uint8_t>(disk->front().diskNumber)),
                                      platform::kAccessRead);
        if (h.valid()) storage.updateProperties(h.get());
    }
    return planned && m_written.failedWrites == 0;
}

void CFat32Format::vZeroSectors(std::uint64_t firstSector, std::uint64_t count) {
    if (m_layout) fat32::zeroSectors(*this, m_layout->bytesPerSector, firstSector, count, m_written);
}

bool CFat32Format::vWriteSect(std::uint64_t sector, std::span<const std::uint8_t> data) {
    if (!platform::isValid(m_hVolume) || !m_layout) return false;
    const auto written = platform::get().storage.writeAt(m_hVolume, sector * m_layout->bytesPerSector, data);
    return written && *written == data.size();
}

}  // namespace quib::services
