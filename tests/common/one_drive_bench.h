// A bench description with one bridge whose SATA drive has the given size and sector size, and a volume
// letter E for the bridge's disk.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>

namespace quib::testing {

inline nlohmann::json benchOfOneDrive(std::uint64_t bytes, std::uint32_t sectorSize) {
    const nlohmann::json drive = {{"kind", "sata"},
                                  {"sectors", bytes / sectorSize},
                                  {"bytes_per_sector", sectorSize},
                                  {"physical_bytes_per_sector", sectorSize},
                                  {"reported_bytes_per_sector", sectorSize}};
    return {{"controllers",
             {{{"ports",
                {{{"port", 1}, {"bridge", {{"id", "b"}, {"volume_letter", "E"}, {"drive", drive}}}}}}}}}};
}

}  // namespace quib::testing
