#include "services/format/fat32_writer.h"

#include <algorithm>
#include <chrono>

#include "common/log/debug_log.h"
#include "platform/platform.h"

namespace quib::services::fat32 {
namespace {

bool writeSectors(SectorWriter& writer, std::uint64_t sector, std::span<const std::uint8_t> data,
                  WriteResult& result) {
    if (writer.write(sector, data)) {
        result.bytesWritten += data.size();
        return true;
    }
    ++result.failedWrites;
    LogError("%s:%d: vWriteSect: WriteFile Fail , dwErrorCode %d", "CFat32Format::vWriteSect", __LINE__,
             platform::lastErrorCode());
    return false;
}

}  // namespace

WriteResult writeVolume(SectorWriter& writer, const Layout& layout, const VolumeGeometry& geometry,
                        std::uint32_t volumeId, std::string_view label, const LocalTime& time) {
    WriteResult result;
    const std::uint32_t bps = layout.bytesPerSector;
    const Bytes zeros(std::size_t{kZeroSectorsPerWrite} * bps, 0);
    const auto started = std::chrono::steady_clock::now();
    const std::uint64_t systemArea = layout.systemAreaSectors();
    for (std::uint64_t sector = 0; sector < systemArea; sector += kZeroSectorsPerWrite) {
        const std::uint64_t count = std::min<std::uint64_t>(kZeroSectorsPerWrite, systemArea - sector);
        writeSectors(writer, sector, std::span(zeros).first(count * bps), result);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    LogMessage("%s:%d: vZeroSectors: Wrote %lld bytes in %.2f seconds, %.2f Megabytes/sec",
               "CFat32Format::vZeroSectors", __LINE__, static_cast<long long>(systemArea * bps), seconds,
               seconds > 0 ? static_cast<double>(systemArea * bps) / (seconds * 1024 * 1024) : 0.0);

    const Bytes boot = makeBootSector(layout, geometry, volumeId, label);
    const Bytes info = makeFsInfoSector(layout);
    for (std::uint64_t copy : {std::uint64_t{0}, std::uint64_t{kBackupBootSector}}) {
        writeSectors(writer, copy, boot, result);
        writeSectors(writer, copy + kFsInfoSector, info, result);
    }
    const Bytes fat = makeFirstFatSector(layout);
    for (std::uint32_t i = 0; i < kNumberOfFats; ++i) {
        writeSectors(writer, kReservedSectors + std::uint64_t{i} * layout.fatSize, fat, result);
    }
    writeSectors(writer, layout.rootDirectorySector(), makeRootDirectoryBlock(label, time), result);
    return result;
}

}  // namespace quib::services::fat32
