#include "tools/drive_report.h"

namespace bench::tool {
namespace {

const char* powerModeText(DriveDescription::PowerMode mode) {
    switch (mode) {
        case DriveDescription::PowerMode::Idle:
            return "idle";
        case DriveDescription::PowerMode::Standby:
            return "standby";
        case DriveDescription::PowerMode::Active:
            break;
    }
    return "active";
}

nlohmann::json smartJson(const DriveDescription& drive) {
    const SmartDescription& s = drive.smart;
    nlohmann::json attributes = nlohmann::json::array();
    for (const auto& a : s.attributes)
        attributes.push_back({{"id", a.id},
                              {"flags", a.flags},
                              {"value", a.value},
                              {"worst", a.worst},
                              {"threshold", a.threshold},
                              {"raw", a.raw}});
    nlohmann::json selfTests = nlohmann::json::array();
    for (const auto& t : s.selfTests) {
        nlohmann::json e = {{"type", t.type}, {"status", t.status}, {"remaining", t.remaining}, {"hours", t.hours}};
        if (t.failingLba) e["lba"] = *t.failingLba;
        selfTests.push_back(e);
    }
    nlohmann::json errors = nlohmann::json::array();
    for (const auto& e : s.errors)
        errors.push_back({{"hours", e.hours},
                          {"command", e.command},
                          {"features", e.features},
                          {"count", e.count},
                          {"lba", e.lba},
                          {"error", e.error},
                          {"status", e.status},
                          {"state", e.state}});
    return {{"healthy", drive.smartHealthy()},
            {"attributes", attributes},
            {"self_tests", selfTests},
            {"errors", errors},
            {"error_count", s.errorCount}};
}

}  // namespace

nlohmann::json driveJson(const DriveDescription& drive) {
    nlohmann::json j = {{"kind", drive.kind},
                        {"model", drive.model},
                        {"serial", drive.serial},
                        {"firmware", drive.firmware},
                        {"sectors", drive.sectors},
                        {"logical_bytes_per_sector", drive.bytesPerSector},
                        {"physical_bytes_per_sector", drive.physicalBytesPerSector},
                        {"reported_blocks", drive.reportedBlocks()},
                        {"reported_bytes_per_sector", drive.reportedBytesPerSector},
                        {"hidden_sectors", drive.hiddenBlocks},
                        {"power_mode", powerModeText(drive.powerMode)}};
    if (drive.kind == "sata") j["smart"] = smartJson(drive);
    return j;
}

}  // namespace bench::tool
