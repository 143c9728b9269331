#include "tools/bench_report.h"

#include <cstdio>
#include <sstream>

#include "bench/hex_text.h"
#include "tools/drive_report.h"

namespace bench::tool {
namespace {

std::string linkText(const BridgeDescription& b) {
    std::string text = b.link == LinkSpeed::Full    ? "FULL"
                       : b.link == LinkSpeed::High  ? "HIGH"
                       : b.link == LinkSpeed::Super ? "SUPER"
                                                    : "PLUS";
    if (b.deviceType == 7) text += b.lanes == 2 ? " x2" : " x1";
    return text + (b.uas ? ", UAS" : ", BOT");
}

std::string pdKindText(int kind) {
    switch (kind) {
        case 1:
            return "RichTek";
        case 2:
            return "CCG2";
        case 4:
            return "CCG3";
        case 5:
            return "CCG4";
        default:
            return "unknown";
    }
}

}  // namespace

std::string describePd(const PdController& pd) {
    std::ostringstream out;
    out << "PD controller: kind " << pd.kind() << " (" << pdKindText(pd.kind()) << ")";
    if (pd.kind() == 4 || pd.kind() == 5) out << ", device mode " << pd.deviceMode();
    if (!pd.runningVersionText().empty()) out << ", running " << pd.runningVersionText();
    out << ", " << (pd.hasMcu() ? (pd.mcuInBootloader() ? "MCU (in its bootloader)" : "MCU") : "no MCU");
    out << ", power cycles " << pd.powerCycles();
    return out.str();
}

std::string chipTypeText(int deviceType) {
    static const char* kTypes[] = {"A", "B", "C", "D", "D", "E", "850A", "850B"};
    return deviceType >= 0 && deviceType < 8 ? kTypes[deviceType] : "Not Defined";
}

nlohmann::json stateJson(Bench& bench) {
    nlohmann::json bridges = nlohmann::json::array();
    const auto& d = bench.description();
    for (const auto& s : bench.bridgeStatus()) {
        nlohmann::json b = {{"id", s.id},
                            {"on_bus", s.onBus},
                            {"disk_number", s.diskNumber},
                            {"cdrom_number", s.cdromNumber},
                            {"running_version", s.runningVersion},
                            {"rom_code", s.romCode},
                            {"restarts", s.restarts}};
        const auto& drive = d.bridges[static_cast<std::size_t>(d.bridgeIndex(s.id))].drive;
        if (drive) b["drive"] = driveJson(*drive);
        bridges.push_back(b);
    }
    return {{"clock_ms", bench.nowMs()}, {"bridges", bridges}, {"trace_records", bench.traceAll().size()}};
}

std::string describeState(Bench& bench) {
    std::ostringstream out;
    const auto folder = bench.folder();
    out << "bench " << (folder ? folder->string() : std::string("(in memory)")) << "\n";
    out << "clock: " << bench.nowMs() << " ms\n";
    out << "disks present:";
    for (int n : bench.diskNumbersPresent()) out << " " << n;
    out << "\n";
    const auto& d = bench.description();
    for (const auto& status : bench.bridgeStatus()) {
        const auto& b = d.bridges[static_cast<std::size_t>(d.bridgeIndex(status.id))];
        out << "bridge " << status.id << " (" << b.family << "): ";
        if (status.onBus) {
            out << (b.cdrom ? "CD-ROM " + std::to_string(status.cdromNumber)
                            : "disk " + std::to_string(status.diskNumber));
        } else if (status.ejected) {
            out << "ejected";
        } else if (status.stuckOff) {
            out << "off the bus, not coming back";
        } else {
            out << "restarting, back at " << status.returnAtMs.value_or(0) << " ms";
        }
        out << ", " << (status.romCode ? std::string("ROM code") : "running " + status.runningVersion);
        out << ", chip type " << chipTypeText(b.deviceType) << " (device type " << b.deviceType
            << ", MSignature " << hexNumber(static_cast<std::uint64_t>(b.msignature), 1, false) << ")";
        out << ", " << linkText(b) << ", serial " << b.serial << ", restarts " << status.restarts << "\n";
        if (b.pd)
            bench.withChip(status.id,
                           [&out](BridgeChip& chip) { out << "  " << describePd(*chip.pd()) << "\n"; });
    }
    out << "trace records: " << bench.traceAll().size() << "\n";
    const auto boxes = bench.messageBoxes();
    out << "message boxes shown: " << boxes.size() << "\n";
    for (const auto& box : boxes)
        out << "  [" << box.caption << "] " << box.text << " -> " << box.answer << "\n";
    return out.str();
}

std::string describeTrace(const std::vector<TraceRecord>& trace) {
    std::ostringstream out;
    for (const auto& r : trace) {
        char line[160];
        std::snprintf(line, sizeof line, "%10llu ms  %-12s ", static_cast<unsigned long long>(r.timeMs),
                      r.device.c_str());
        out << line << hexBytes(r.cdb) << "  "
            << (r.dataIn == 1   ? "in"
                : r.dataIn == 0 ? "out"
                                : "none")
            << " " << r.transferLength << " t/o " << r.timeoutSeconds << "s  in/out " << r.inputSize << "/"
            << r.outputSize << (r.direct ? " direct" : "") << "  -> ";
        if (r.controlOk)
            out << "status " << int{r.scsiStatus} << ", " << r.bytesMoved << " bytes\n";
        else
            out << "failed, error " << r.systemError << "\n";
    }
    return out.str();
}

}  // namespace bench::tool
