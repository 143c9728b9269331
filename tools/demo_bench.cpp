#include "tools/demo_bench.h"

#include "bench/bench_error.h"
#include "bench/description.h"

namespace bench::tool {

nlohmann::json describeBench(const BenchChoices& c) {
    if (c.bridges < 0 || c.bridges > 127) throw BenchError("--bridges: 0..127");
    if (c.controllers < 1) throw BenchError("--controllers: at least 1");
    nlohmann::json ports = nlohmann::json::array();
    char letter = 'D';
    for (int i = 0; i < c.bridges; ++i) {
        nlohmann::json b = {{"id", "bridge" + std::to_string(i)},
                            {"family", c.family},
                            {"msignature", c.msignature},
                            {"firmware_version", c.version},
                            {"link", c.link},
                            {"lanes", c.lanes},
                            {"uas", c.uas},
                            {"restart_delay_ms", c.restartDelayMs},
                            // Restarted bridges take the lowest free disk number, as Windows gives them.
                            {"restart_number", "lowest"}};
        if (c.deviceType >= 0) b["device_type"] = c.deviceType;
        if (c.cdrom) b["cdrom"] = true;
        if (!c.cdrom && letter <= 'Z') b["volume_letter"] = std::string(1, letter++);
        ports.push_back({{"port", i + 1}, {"bridge", b}});
    }
    nlohmann::json controllers = nlohmann::json::array();
    controllers.push_back({{"port_count", std::max(4, c.bridges)}, {"ports", ports}});
    for (int i = 1; i < c.controllers; ++i) controllers.push_back({{"port_count", 4}});
    nlohmann::json json = {{"controllers", controllers}, {"system_disks", c.systemDisks}};
    parseDescription(json, "the chosen bench");  // refuse bad choices with the description's own message
    return json;
}

}  // namespace bench::tool
