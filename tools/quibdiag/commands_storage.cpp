// Production-line tests of the volume on a bridge's drive: the raw speed test.
#include <array>
#include <memory>

#include "tools/quibdiag/bridges.h"
#include "tools/quibdiag/command_support.h"
#include "tools/quibdiag/diag_error.h"

namespace quibdiag {
namespace {

Report speedTest(int index, std::uint32_t sectorSize, std::int32_t readMin, std::int32_t writeMin) {
    const Bridge b = selectBridge(index);
    if (b.driveLetter == 0)
        throw DiagError(ExitCode::DeviceFailure,
                        "bridge " + std::to_string(index) + " has no volume to test");
    QuibRWTestRecord record{};
    record.dwSectorSize = sectorSize;
    const std::string volume = std::string(1, b.driveLetter) + ":";
    const std::string thresholds =
        "read " + std::to_string(readMin) + " MB/s, write " + std::to_string(writeMin) + " MB/s";
    if (QuibUSBLib_ReadWritePerfomanceTest(b.driveLetter, record, readMin, writeMin) != 1)
        throw DiagError(ExitCode::DeviceFailure, "speed test of " + volume + " failed (thresholds " +
                                                     thresholds +
                                                     "); the library's log holds the speeds measured");
    Report r;
    r.data = {{"bridge", bridgeJson(b)},
              {"volume", volume},
              {"read_min_mb_per_s", readMin},
              {"write_min_mb_per_s", writeMin},
              {"passed", true}};
    Fields f;
    f.add("volume", volume);
    f.add("thresholds", thresholds);
    f.add("result", "PASS");
    r.text = f.text();
    return r;
}

}  // namespace

void addStorageCommands(Registry reg) {
    auto* rwtest =
        reg.app.add_subcommand("rwtest", "production-line tests of the volume on the bridge's drive");
    rwtest->require_subcommand(1);
    auto o = std::make_shared<std::array<std::string, 4>>();
    auto* c = rwtest->add_subcommand(
        "speed", "write and read back 256 KiB at three places (contents saved and put back), timed");
    addBridgeOption(c, (*o)[0]);
    c->add_option("--read-min", (*o)[1], "read speed to reach, MB/s (default 0)");
    c->add_option("--write-min", (*o)[2], "reported write speed to reach, MB/s (default 0)");
    c->add_option("--sector-size", (*o)[3], "the drive's sector size (default 512)");
    c->callback([o, &chosen = reg.chosen] {
        const int index = bridgeIndex((*o)[0]);
        auto number = [](const std::string& option, const std::string& text, std::uint64_t fallback,
                         std::uint64_t max) {
            return text.empty() ? fallback : numberOption(option, text, 0, max);
        };
        const auto readMin = static_cast<std::int32_t>(number("--read-min", (*o)[1], 0, 100000));
        const auto writeMin = static_cast<std::int32_t>(number("--write-min", (*o)[2], 0, 100000));
        const auto sectorSize = static_cast<std::uint32_t>(number("--sector-size", (*o)[3], 512, 65536));
        chosen = [=] { return speedTest(index, sectorSize, readMin, writeMin); };
    });
}

}  // namespace quibdiag
