#include "tools/quibdiag/log_report.h"

#include "tools/quibdiag/hex_text.h"
#include "tools/quibdiag/nvme_logs.h"
#include "tools/quibdiag/smart_logs.h"

namespace quibdiag {
namespace {

using nlohmann::json;

std::string checksumText(bool valid) {
    return std::string("checksum: ") + (valid ? "valid" : "INVALID") + "\n";
}

Report directoryReport(ByteView data) {
    const LogDirectory dir = decodeLogDirectory(data);
    Report r;
    json logs = json::array();
    Table table({"ADDRESS", "PAGES"});
    for (const auto& e : dir.logs) {
        logs.push_back({{"address", e.address}, {"pages", e.pages}});
        table.add({hexNumber(e.address), std::to_string(e.pages)});
    }
    r.data["decoded"] = {{"kind", "log_directory"}, {"version", dir.version}, {"logs", logs}};
    r.text = "log directory, version " + std::to_string(dir.version) + "\n" + table.text();
    return r;
}

Report errorLogReport(ByteView data) {
    const SummaryErrorLog log = decodeSummaryErrorLog(data);
    Report r;
    json entries = json::array();
    Table table({"SLOT", "COMMAND", "ERROR", "STATUS", "LBA", "COUNT", "STATE", "HOURS"});
    for (const auto& e : log.entries) {
        entries.push_back({{"slot", e.slot},
                           {"command", e.command},
                           {"command_name", ataCommandName(e.command)},
                           {"features", e.features},
                           {"command_timestamp_ms", e.commandTimestampMs},
                           {"error", e.error},
                           {"status", e.status},
                           {"lba", e.lba},
                           {"count", e.count},
                           {"device", e.device},
                           {"state", e.state},
                           {"lifetime_hours", e.lifetimeHours}});
        table.add({std::to_string(e.slot), ataCommandName(e.command), hexNumber(e.error), hexNumber(e.status),
                   std::to_string(e.lba), std::to_string(e.count), hexNumber(e.state),
                   std::to_string(e.lifetimeHours)});
    }
    r.data["decoded"] = {
        {"kind", "summary_error_log"},   {"version", log.version}, {"error_count", log.errorCount},
        {"latest_slot", log.latestSlot}, {"entries", entries},     {"checksum_valid", log.checksumValid}};
    r.text = "summary error log: " + std::to_string(log.errorCount) + " errors counted\n" +
             (log.entries.empty() ? std::string("no error logged\n") : table.text()) +
             checksumText(log.checksumValid);
    return r;
}

Report selfTestReport(ByteView data) {
    const SelfTestLog log = decodeSelfTestLog(data);
    Report r;
    json entries = json::array();
    Table table({"TEST", "RESULT", "REMAINING", "HOURS", "FAILING LBA"});
    for (const auto& e : log.entries) {
        entries.push_back({{"test", e.test},
                           {"test_name", e.testName},
                           {"status", e.status},
                           {"result", e.result},
                           {"remaining_percent", e.remainingPercent},
                           {"lifetime_hours", e.lifetimeHours},
                           {"checkpoint", e.checkpoint},
                           {"failing_lba", e.failingLba}});
        table.add({e.testName, e.result, std::to_string(e.remainingPercent) + "%",
                   std::to_string(e.lifetimeHours), std::to_string(e.failingLba)});
    }
    r.data["decoded"] = {{"kind", "self_test_log"},
                         {"revision", log.revision},
                         {"latest_slot", log.latestSlot},
                         {"entries", entries},
                         {"checksum_valid", log.checksumValid}};
    r.text = "self-test log\n" + (log.entries.empty() ? std::string("no self-test logged\n") : table.text()) +
             checksumText(log.checksumValid);
    return r;
}

Report nvmeHealthReport(ByteView data) {
    const NvmeHealth h = decodeNvmeHealth(data);
    Report r;
    const bool hasTemperature = h.temperatureKelvin != 0;
    r.data["decoded"] = {{"kind", "nvme_health"},
                         {"critical_warning", h.criticalWarning},
                         {"warnings", h.warnings},
                         {"temperature_kelvin", h.temperatureKelvin},
                         {"temperature_celsius", hasTemperature ? json(h.temperatureCelsius) : json(nullptr)},
                         {"available_spare_percent", h.availableSpare},
                         {"spare_threshold_percent", h.spareThreshold},
                         {"percentage_used", h.percentageUsed},
                         {"data_units_read", counterJson(h.dataUnitsRead)},
                         {"data_units_written", counterJson(h.dataUnitsWritten)},
                         {"host_read_commands", counterJson(h.hostReads)},
                         {"host_write_commands", counterJson(h.hostWrites)},
                         {"controller_busy_minutes", counterJson(h.busyMinutes)},
                         {"power_cycles", counterJson(h.powerCycles)},
                         {"power_on_hours", counterJson(h.powerOnHours)},
                         {"unsafe_shutdowns", counterJson(h.unsafeShutdowns)},
                         {"media_errors", counterJson(h.mediaErrors)},
                         {"error_log_entries", counterJson(h.errorLogEntries)}};
    std::string warnings;
    for (const auto& w : h.warnings) warnings += (warnings.empty() ? "" : ", ") + w;
    Fields f;
    f.add("critical warning",
          hexNumber(h.criticalWarning) + (warnings.empty() ? " (none)" : " (" + warnings + ")"));
    f.add("temperature", hasTemperature ? std::to_string(h.temperatureCelsius) + " °C" : "not reported");
    f.add("available spare",
          std::to_string(h.availableSpare) + "% (threshold " + std::to_string(h.spareThreshold) + "%)");
    f.add("percentage used", std::to_string(h.percentageUsed) + "%");
    f.add("data units read", grouped(h.dataUnitsRead.decimal()) + " (x 512,000 bytes)");
    f.add("data units written", grouped(h.dataUnitsWritten.decimal()) + " (x 512,000 bytes)");
    f.add("power cycles", grouped(h.powerCycles.decimal()));
    f.add("power-on hours", grouped(h.powerOnHours.decimal()));
    f.add("unsafe shutdowns", grouped(h.unsafeShutdowns.decimal()));
    f.add("media errors", grouped(h.mediaErrors.decimal()));
    f.add("error log entries", grouped(h.errorLogEntries.decimal()));
    r.text = "SMART / health information\n" + f.text();
    return r;
}

Report nvmeErrorReport(ByteView data) {
    const auto entries = decodeNvmeErrors(data);
    Report r;
    json list = json::array();
    Table table({"ERROR COUNT", "QUEUE", "COMMAND ID", "STATUS", "LBA", "NAMESPACE"});
    for (const auto& e : entries) {
        list.push_back({{"error_count", e.errorCount},
                        {"queue_id", e.queueId},
                        {"command_id", e.commandId},
                        {"status_type", e.status.type},
                        {"status_code", e.status.code},
                        {"status", e.status.text},
                        {"do_not_retry", e.status.doNotRetry},
                        {"parameter_location", e.parameterLocation},
                        {"lba", e.lba},
                        {"namespace", e.namespaceId}});
        table.add({std::to_string(e.errorCount), std::to_string(e.queueId), std::to_string(e.commandId),
                   e.status.text, std::to_string(e.lba), std::to_string(e.namespaceId)});
    }
    r.data["decoded"] = {{"kind", "nvme_error_information"}, {"entries", list}};
    r.text = "error information\n" + (entries.empty() ? std::string("no error logged\n") : table.text());
    return r;
}

}  // namespace

Report logReport(bool nvme, std::uint8_t address, ByteView data) {
    if (nvme) {
        if (address == 0x01) return nvmeErrorReport(data);
        if (address == 0x02) return nvmeHealthReport(data);
        return {};
    }
    if (address == 0x00) return directoryReport(data);
    if (address == 0x01) return errorLogReport(data);
    if (address == 0x06) return selfTestReport(data);
    return {};
}

}  // namespace quibdiag
