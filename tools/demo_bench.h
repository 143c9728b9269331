// Bench descriptions made from a few choices; the defaults make the demo bench.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace bench::tool {

struct BenchChoices {
    int bridges = 1;
    std::string family = "7120";
    int deviceType = -1;  // -1: the family's usual type (1 for 7120, 7 for 8500)
    int msignature = 2;
    std::string version = "12042391F000";
    std::string link = "super";
    int lanes = 1;
    bool uas = true;
    bool cdrom = false;
    int controllers = 1;
    int systemDisks = 1;
    int restartDelayMs = 2000;
};

// One controller holding the bridges on its root ports 1..N (further controllers empty), volumes D:, E:,
// ... on the bridges' disks. Throws BenchError for choices no bench can have.
nlohmann::json describeBench(const BenchChoices& choices);

}  // namespace bench::tool
