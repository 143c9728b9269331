// Commands on the drive behind a bridge: ATA IDENTIFY, SMART attributes, SMART logs, the sector past the
// reported capacity.
#include <vector>

#include "tools/quibdiag/ata_identify.h"
#include "tools/quibdiag/bridges.h"
#include "tools/quibdiag/command_support.h"
#include "tools/quibdiag/diag_error.h"
#include "tools/quibdiag/file_io.h"
#include "tools/quibdiag/hex_text.h"
#include "tools/quibdiag/log_report.h"
#include "tools/quibdiag/read_capacity.h"
#include "tools/quibdiag/smart_data.h"

namespace quibdiag {
namespace {

using nlohmann::json;

constexpr std::uint64_t kLargestSector = 4096;
// SMART WRITE LOG is offered for the host's own logs only: the addresses the standard leaves to the host.
constexpr std::uint64_t kHostLogFirst = 0x80, kHostLogLast = 0x9F;

Report identify(int index, const std::string& out) {
    const Bridge b = selectBridge(index);
    std::vector<std::uint8_t> data(kAtaBlock);
    requireSuccess(QuibUSBLib_IdentifyDevice(b.libraryIndex, data.data()), "IDENTIFY DEVICE");
    saveIfAsked(out, data);
    const AtaIdentity id = decodeAtaIdentity(data);
    Report r;
    r.data = {{"bridge", bridgeJson(b)},
              {"identify",
               {{"model", id.model},
                {"serial", id.serial},
                {"firmware", id.firmware},
                {"sectors", id.sectors},
                {"capacity_bytes", id.capacityBytes},
                {"lba48", id.lba48},
                {"logical_sector_size", id.logicalSectorSize},
                {"physical_sector_size", id.physicalSectorSize},
                {"smart_supported", id.smartSupported},
                {"smart_enabled", id.smartEnabled},
                {"checksum_present", id.checksumPresent},
                {"checksum_valid", id.checksumValid}}}};
    Fields f;
    f.add("model", id.model);
    f.add("serial", id.serial);
    f.add("firmware", id.firmware);
    f.add("capacity", grouped(id.sectors) + " sectors, " + grouped(id.capacityBytes) + " bytes" +
                          (id.lba48 ? " (48-bit addressing)" : " (28-bit addressing)"));
    f.add("sector size", std::to_string(id.logicalSectorSize) + " bytes logical, " +
                             std::to_string(id.physicalSectorSize) + " bytes physical");
    f.add("SMART", id.smartSupported ? (id.smartEnabled ? "supported, enabled" : "supported, disabled")
                                     : "not supported");
    f.add("checksum", id.checksumPresent ? (id.checksumValid ? "valid" : "INVALID") : "not present");
    r.text = f.text();
    return r;
}

Report smartAttributes(int index, const std::string& out) {
    const Bridge b = selectBridge(index);
    std::vector<std::uint8_t> data(kAtaBlock);
    requireSuccess(QuibUSBLib_GetSmartAttribute(b.libraryIndex, data.data()), "SMART READ DATA");
    saveIfAsked(out, data);
    const SmartData smart = decodeSmartData(data);
    Report r;
    json attributes = json::array();
    Table table({"ID", "ATTRIBUTE", "FLAGS", "VALUE", "WORST", "RAW", "TYPE", "UPDATED"});
    for (const SmartAttribute& a : smart.attributes) {
        attributes.push_back({{"id", a.id},
                              {"name", a.name},
                              {"flags", a.flags},
                              {"prefailure", a.prefailure},
                              {"online", a.online},
                              {"value", a.value},
                              {"worst", a.worst},
                              {"raw", a.raw}});
        table.add({std::to_string(a.id), a.name, hexNumber(a.flags, 4), std::to_string(a.value),
                   std::to_string(a.worst), std::to_string(a.raw), a.prefailure ? "pre-fail" : "old-age",
                   a.online ? "always" : "offline"});
    }
    r.data = {{"bridge", bridgeJson(b)},
              {"smart",
               {{"revision", smart.revision},
                {"checksum_valid", smart.checksumValid},
                {"attributes", attributes},
                {"self_test_status", smart.selfTestStatus},
                {"self_test_result", selfTestResultText(smart.selfTestStatus)},
                {"short_test_minutes", smart.shortTestMinutes},
                {"extended_test_minutes", smart.extendedTestMinutes},
                {"thresholds_available", false}}}};
    r.text = table.text() + "\nchecksum: " + (smart.checksumValid ? "valid" : "INVALID") +
             "\nlast self-test: " + selfTestResultText(smart.selfTestStatus) +
             "\nthresholds: not available (the library offers no SMART READ THRESHOLDS)\n";
    return r;
}

Report logRead(int index, std::uint32_t address, const std::string& out) {
    const Bridge b = selectBridge(index);
    std::vector<std::uint8_t> data(kAtaBlock);
    requireSuccess(QuibUSBLib_ReadSmartLog(b.libraryIndex, data.data(), address),
                   "reading log " + hexNumber(address));
    saveIfAsked(out, data);
    Report r = logReport(b.pcie(), static_cast<std::uint8_t>(address), data);
    r.data["bridge"] = bridgeJson(b);
    r.data["address"] = address;
    r.data["data"] = hexString(data);
    r.text = "log " + hexNumber(address) + " of bridge " + std::to_string(index) + "\n" + hexDump(data) +
             (r.text.empty() ? "" : "\n" + r.text);
    return r;
}

Report logWrite(int index, std::uint32_t address, std::vector<std::uint8_t> data, const std::string& in) {
    const Bridge b = selectBridge(index);
    if (b.pcie())
        throw DiagError(ExitCode::Usage, "bridge " + std::to_string(index) +
                                             " is a PCIe bridge: SMART logs are written on SATA drives only");
    requireSuccess(QuibUSBLib_WriteSmartLog(b.libraryIndex, data.data(), address),
                   "writing log " + hexNumber(address));
    Report r;
    r.data = {{"bridge", bridgeJson(b)}, {"address", address}, {"bytes", data.size()}, {"file", in}};
    r.text = "bridge " + std::to_string(index) + ": " + in + " written to log " + hexNumber(address) + "\n";
    return r;
}

// The library transfers one sector as the bridge reports it; the size is asked first so that a file is
// checked against it, and the buffer always holds the largest sector so nothing can run past it.
Capacity reportedCapacity(const Bridge& b) {
    int result = 0;
    const auto capacity = readCapacity(b.libraryIndex, result);
    if (!capacity)
        throw DiagError(
            ExitCode::DeviceFailure,
            "READ CAPACITY failed (is the drive powered?): library result " + std::to_string(result));
    if (capacity->sectorSize != 512 && capacity->sectorSize != 4096)
        throw DiagError(ExitCode::DeviceFailure, "the bridge reports " +
                                                     std::to_string(capacity->sectorSize) +
                                                     "-byte sectors; only 512 and 4096 are handled");
    return *capacity;
}

Report lastSectorRead(int index, const std::string& out) {
    const Bridge b = selectBridge(index);
    const Capacity capacity = reportedCapacity(b);
    std::vector<std::uint8_t> buffer(kLargestSector);
    if (QuibUSBLib_vReadWriteSmartLogPage_LastSector(b.libraryIndex, 0, buffer.data()) != 1)
        throw DiagError(ExitCode::DeviceFailure, "reading the sector past the capacity failed");
    buffer.resize(capacity.sectorSize);
    saveIfAsked(out, buffer);
    Report r;
    r.data = {{"bridge", bridgeJson(b)},
              {"lba", capacity.sectors()},
              {"sector_size", capacity.sectorSize},
              {"data", hexString(buffer)}};
    r.text = "sector " + grouped(capacity.sectors()) + " (past the reported capacity), " +
             std::to_string(capacity.sectorSize) + " bytes\n" + (out.empty() ? hexDump(buffer) : "");
    return r;
}

Report lastSectorWrite(int index, std::vector<std::uint8_t> data, const std::string& in) {
    const Bridge b = selectBridge(index);
    const Capacity capacity = reportedCapacity(b);
    if (data.size() != capacity.sectorSize)
        throw DiagError(ExitCode::Usage, "--in: " + in + " is " + std::to_string(data.size()) +
                                             " bytes; the bridge's sectors are " +
                                             std::to_string(capacity.sectorSize));
    std::vector<std::uint8_t> buffer(kLargestSector);
    std::copy(data.begin(), data.end(), buffer.begin());
    if (QuibUSBLib_vReadWriteSmartLogPage_LastSector(b.libraryIndex, 1, buffer.data()) != 1)
        throw DiagError(ExitCode::DeviceFailure, "writing the sector past the capacity failed");
    Report r;
    r.data = {{"bridge", bridgeJson(b)},
              {"lba", capacity.sectors()},
              {"sector_size", capacity.sectorSize},
              {"file", in}};
    r.text = "bridge " + std::to_string(index) + ": " + in + " written to sector " +
             grouped(capacity.sectors()) + "\n";
    return r;
}

}  // namespace

void addDriveCommands(Registry reg) {
    {
        auto o = std::make_shared<std::pair<std::string, std::string>>();
        auto* c = reg.app.add_subcommand("identify", "ATA IDENTIFY DEVICE of the drive, decoded");
        addBridgeOption(c, o->first);
        c->add_option("--out", o->second, "also save the 512 bytes to a file");
        c->callback([o, &chosen = reg.chosen] {
            const int index = bridgeIndex(o->first);
            const std::string out = o->second;
            chosen = [=] { return identify(index, out); };
        });
    }
    {
        auto o = std::make_shared<std::pair<std::string, std::string>>();
        auto* c = reg.app.add_subcommand("smart", "SMART attribute table of the drive, decoded");
        addBridgeOption(c, o->first);
        c->add_option("--out", o->second, "also save the 512 bytes to a file");
        c->callback([o, &chosen = reg.chosen] {
            const int index = bridgeIndex(o->first);
            const std::string out = o->second;
            chosen = [=] { return smartAttributes(index, out); };
        });
    }

    auto* logCmd = reg.app.add_subcommand("log", "SMART logs of the drive (512 bytes each)");
    logCmd->require_subcommand(1);
    {
        auto o = std::make_shared<std::array<std::string, 3>>();
        auto* c = logCmd->add_subcommand("read", "read a log: hex dump, decoded for 0x00, 0x01 and 0x06");
        addBridgeOption(c, (*o)[0]);
        c->add_option("--address", (*o)[1], "log address 0..0xFF")->required();
        c->add_option("--out", (*o)[2], "also save the 512 bytes to a file");
        c->callback([o, &chosen = reg.chosen] {
            const int index = bridgeIndex((*o)[0]);
            const auto address = static_cast<std::uint32_t>(numberOption("--address", (*o)[1], 0, 0xFF));
            const std::string out = (*o)[2];
            chosen = [=] { return logRead(index, address, out); };
        });
    }
    {
        auto o = std::make_shared<std::array<std::string, 3>>();
        auto* c = logCmd->add_subcommand("write", "write a 512-byte file to a host log (0x80..0x9F)");
        addBridgeOption(c, (*o)[0]);
        c->add_option("--address", (*o)[1], "log address 0x80..0x9F")->required();
        c->add_option("--in", (*o)[2], "file of exactly 512 bytes")->required();
        c->callback([o, &chosen = reg.chosen] {
            const int index = bridgeIndex((*o)[0]);
            const auto address =
                static_cast<std::uint32_t>(numberOption("--address", (*o)[1], kHostLogFirst, kHostLogLast));
            auto data = readExactFile("--in", (*o)[2], kAtaBlock);
            const std::string in = (*o)[2];
            chosen = [=] { return logWrite(index, address, data, in); };
        });
    }

    auto* sectorCmd =
        reg.app.add_subcommand("last-sector", "the sector just past the capacity the bridge reports");
    sectorCmd->require_subcommand(1);
    {
        auto o = std::make_shared<std::pair<std::string, std::string>>();
        auto* c = sectorCmd->add_subcommand("read", "read it (hex dump, or to a file)");
        addBridgeOption(c, o->first);
        c->add_option("--out", o->second, "file for the sector");
        c->callback([o, &chosen = reg.chosen] {
            const int index = bridgeIndex(o->first);
            const std::string out = o->second;
            chosen = [=] { return lastSectorRead(index, out); };
        });
    }
    {
        auto o = std::make_shared<std::pair<std::string, std::string>>();
        auto* c = sectorCmd->add_subcommand("write", "write a file of exactly one sector to it");
        addBridgeOption(c, o->first);
        c->add_option("--in", o->second, "file of one sector (512 or 4096 bytes, as the bridge reports)")
            ->required();
        c->callback([o, &chosen = reg.chosen] {
            const int index = bridgeIndex(o->first);
            auto data = readInputFile("--in", o->second, kLargestSector);
            const std::string in = o->second;
            chosen = [=] { return lastSectorWrite(index, data, in); };
        });
    }
}

}  // namespace quibdiag
