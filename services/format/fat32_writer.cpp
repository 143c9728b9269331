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

void zeroSectors(SectorWriter& writer, std::uint32_t bps, std::uint64_t first, std::uint64_t count,
                 WriteResult& result) {
    const Bytes zeros(std::size_t{kZeroSectorsPerWrite} * bps, 0);
    const auto started = std::chrono::steady_clock::now();
    for (std::uint64_t done = 0; done < count; done += kZeroSectorsPerWrite) {
        const std::uint64_t n = std::min<std::uint64_t>(kZeroSectorsPerWrite, count - done);
        writeSectors(writer, first + done, std::span(zeros).first(n * bps), result);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    LogMessage("%s:%d: vZeroSectors: Wrote %lld bytes in %.2f seconds, %.2f Megabytes/sec",
               "CFat32Format::vZeroSectors", __LINE__, static_cast<long long>(count * bps), seconds,
               seconds > 0 ? static_cast<double>(count * bps) / (seconds * 1024 * 1024) : 0.0);
}

WriteResult writeVolume(SectorWriter& writer, const Layout& layout, const VolumeGeometry& geometry,
                        std::uint32_t volumeId, std::string_view label, const LocalTime& time) {
    WriteResult result;
    zeroSectors(writer, layout.bytesPerSector, 0, layout.systemAreaSectors(), result);

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
