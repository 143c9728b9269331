// NVMe commands of the PCIe (8500) bridges: Identify, log pages, packet commands from a submission entry.
#include <fstream>
#include <sstream>
#include <vector>

#include "tools/quibdiag/bridges.h"
#include "tools/quibdiag/command_support.h"
#include "tools/quibdiag/diag_error.h"
#include "tools/quibdiag/file_io.h"
#include "tools/quibdiag/hex_text.h"
#include "tools/quibdiag/log_report.h"
#include "tools/quibdiag/nvme_identify.h"
#include "tools/quibdiag/nvme_logs.h"
#include "tools/quibdiag/submission_entry.h"

namespace quibdiag {
namespace {

using nlohmann::json;

constexpr std::uint64_t kPacketLimit = 0x4000000;  // 64 MiB, the library's own limit
constexpr std::uint64_t kPacketUnit = 512;
constexpr std::uintmax_t kEntryFileLimit = 64 * 1024;  // a hex text of 64 bytes with comments

Bridge selectPcieBridge(int index) {
    Bridge b = selectBridge(index);
    if (!b.pcie())
        throw DiagError(ExitCode::Usage, "bridge " + std::to_string(index) + " is a " + b.family +
                                             " (SATA) bridge; NVMe commands need an 8500 bridge");
    return b;
}

std::string sizeText(const WideCounter& bytes) {
    return bytes == WideCounter{} ? "not reported" : grouped(bytes.decimal()) + " bytes";
}

Report identify(int index, bool nameSpace, const std::string& out) {
    const Bridge b = selectPcieBridge(index);
    std::vector<std::uint8_t> data(kNvmeIdentifySize);
    requireSuccess(QuibUSBLib_NVME_GetIdentify(b.libraryIndex, data.data(), nameSpace ? 0 : 1),
                   "NVMe Identify");
    saveIfAsked(out, data);
    Report r;
    r.data["bridge"] = bridgeJson(b);
    Fields f;
    if (nameSpace) {
        const NvmeNamespace n = decodeNvmeNamespace(data);
        r.data["namespace"] = {{"size_blocks", n.sizeBlocks},       {"capacity_blocks", n.capacityBlocks},
                               {"used_blocks", n.usedBlocks},       {"block_size", n.blockSize},
                               {"metadata_bytes", n.metadataBytes}, {"formats", n.formats},
                               {"format_in_use", n.formatInUse},    {"size_bytes", counterJson(n.sizeBytes)}};
        f.add("size", grouped(n.sizeBlocks) + " blocks of " + std::to_string(n.blockSize) + " bytes, " +
                          sizeText(n.sizeBytes));
        f.add("capacity", grouped(n.capacityBlocks) + " blocks");
        f.add("used", grouped(n.usedBlocks) + " blocks");
        f.add("LBA format", std::to_string(n.formatInUse) + " of " + std::to_string(n.formats));
    } else {
        const NvmeController c = decodeNvmeController(data);
        r.data["controller"] = {{"model", c.model},
                                {"serial", c.serial},
                                {"firmware", c.firmware},
                                {"pci_vendor", c.pciVendor},
                                {"subsystem_vendor", c.subsystemVendor},
                                {"version", c.versionText},
                                {"controller_id", c.controllerId},
                                {"namespaces", c.namespaces},
                                {"max_transfer_pages_log2", c.maxTransferPages},
                                {"total_capacity_bytes", counterJson(c.totalCapacityBytes)},
                                {"warning_temperature_kelvin", c.warningTempKelvin},
                                {"critical_temperature_kelvin", c.criticalTempKelvin}};
        f.add("model", c.model);
        f.add("serial", c.serial);
        f.add("firmware", c.firmware);
        f.add("PCI vendor",
              hexNumber(c.pciVendor, 4) + " (subsystem " + hexNumber(c.subsystemVendor, 4) + ")");
        f.add("NVMe version", c.versionText.empty() ? "not reported" : c.versionText);
        f.add("namespaces", std::to_string(c.namespaces));
        f.add("total capacity", sizeText(c.totalCapacityBytes));
        if (c.warningTempKelvin)
            f.add("temperature limits", std::to_string(c.warningTempKelvin - 273) + " °C warning, " +
                                            std::to_string(c.criticalTempKelvin - 273) + " °C critical");
    }
    r.text = f.text();
    return r;
}

Report logPage(int index, std::uint32_t page, const std::string& out) {
    const Bridge b = selectPcieBridge(index);
    std::vector<std::uint8_t> data(kNvmeLogSize);
    requireSuccess(QuibUSBLib_NVME_GetLogPage(b.libraryIndex, data.data(), 0, page),
                   "NVMe Get Log Page " + hexNumber(page));
    saveIfAsked(out, data);
    Report r = logReport(true, static_cast<std::uint8_t>(page), data);
    r.data["bridge"] = bridgeJson(b);
    r.data["page"] = page;
    r.data["data"] = hexString(data);
    if (r.text.empty()) r.text = "log page " + hexNumber(page) + "\n" + hexDump(data);
    return r;
}

enum class Phase { None, In, Out };

Report packet(int index, const SubmissionEntry& entry, std::uint8_t parameter, Phase phase,
              std::vector<std::uint8_t> data, const std::string& file) {
    const Bridge b = selectPcieBridge(index);
    const auto length = static_cast<std::uint32_t>(data.size());
    int result = 0;
    switch (phase) {
        case Phase::None:
            result = QuibUSBLib_NVMePacket_NonDataPhaseCmd(b.libraryIndex, parameter, entry.data());
            break;
        case Phase::In:
            result = QuibUSBLib_NVMePacket_DataInPhaseCmd(b.libraryIndex, parameter, entry.data(),
                                                          data.data(), length);
            break;
        case Phase::Out:
            result = QuibUSBLib_NVMePacket_DataOutPhaseCmd(b.libraryIndex, parameter, entry.data(),
                                                           data.data(), length);
            break;
    }
    requireSuccess(result, "the NVMe packet command");
    if (phase == Phase::In) writeOutputFile(file, data);
    const std::uint8_t opcode = entry[0];
    const auto commandId = static_cast<std::uint16_t>(readLe(entry, 2, 2));
    const auto nsid = static_cast<std::uint32_t>(readLe(entry, 4, 4));
    Report r;
    r.data = {{"bridge", bridgeJson(b)},
              {"opcode", opcode},
              {"command_id", commandId},
              {"namespace", nsid},
              {"direction", phase == Phase::None ? "none"
                            : phase == Phase::In ? "in"
                                                 : "out"},
              {"bytes", length}};
    if (!file.empty()) r.data["file"] = file;
    r.text = "bridge " + std::to_string(index) + ": NVMe command " + hexNumber(opcode) + " (identifier " +
             std::to_string(commandId) + ", namespace " + std::to_string(nsid) + ") done";
    if (phase == Phase::In) r.text += ", " + std::to_string(length) + " bytes written to " + file;
    if (phase == Phase::Out) r.text += ", " + std::to_string(length) + " bytes of " + file + " sent";
    r.text += "\n(the library does not return the completion entry: its status is not shown)\n";
    return r;
}

SubmissionEntry readEntryFile(const std::string& path) {
    const auto bytes = readInputFile("--entry", path, kEntryFileLimit);
    std::string fault;
    const auto entry = parseSubmissionEntry(std::string(bytes.begin(), bytes.end()), fault);
    if (!entry) throw DiagError(ExitCode::Usage, "--entry: " + path + ": " + fault);
    return *entry;
}

std::uint64_t packetLength(const std::string& option, std::uint64_t length) {
    if (length == 0 || length % kPacketUnit != 0 || length > kPacketLimit)
        throw DiagError(ExitCode::Usage,
                        option + ": " + std::to_string(length) +
                            " bytes; a data phase is a multiple of 512 bytes, at most 64 MiB");
    return length;
}

struct PacketOptions {
    std::string bridge, entry, parameter = "0", length, file;
};

void addPacketCommand(CLI::App* parent, Action& chosen, const std::string& name, Phase phase) {
    auto o = std::make_shared<PacketOptions>();
    const char* what = phase == Phase::None ? "a command without data"
                       : phase == Phase::In ? "a command reading data into a file"
                                            : "a command writing a file's data";
    auto* c = parent->add_subcommand(name, what);
    addBridgeOption(c, o->bridge);
    c->add_option("--entry", o->entry, "hex text file of the 64-byte submission entry")->required();
    c->add_option("--param", o->parameter, "the bridge's packet parameter byte (default 0)");
    if (phase == Phase::In) {
        c->add_option("--length", o->length, "bytes to read: a multiple of 512, at most 64 MiB")->required();
        c->add_option("--out", o->file, "file for the data")->required();
    }
    if (phase == Phase::Out)
        c->add_option("--in", o->file, "file to send: a multiple of 512 bytes")->required();
    c->callback([o, phase, &chosen] {
        const int index = bridgeIndex(o->bridge);
        const auto parameter = static_cast<std::uint8_t>(numberOption("--param", o->parameter, 0, 0xFF));
        const SubmissionEntry entry = readEntryFile(o->entry);
        std::vector<std::uint8_t> data;
        if (phase == Phase::In)
            data.resize(packetLength("--length", numberOption("--length", o->length, 0, kPacketLimit)));
        if (phase == Phase::Out) {
            data = readInputFile("--in", o->file, kPacketLimit);
            packetLength("--in: " + o->file, data.size());
        }
        const std::string file = o->file;
        chosen = [=] { return packet(index, entry, parameter, phase, data, file); };
    });
}

}  // namespace

void addNvmeCommands(Registry reg) {
    auto* nvme = reg.app.add_subcommand("nvme", "NVMe commands of the PCIe (8500) bridges");
    nvme->require_subcommand(1);
    {
        auto o = std::make_shared<std::pair<std::string, std::string>>();
        auto nameSpace = std::make_shared<bool>(false);
        auto* c =
            nvme->add_subcommand("identify", "Identify data, decoded (the controller unless --namespace)");
        addBridgeOption(c, o->first);
        c->add_flag("--namespace", *nameSpace, "the namespace structure instead of the controller's");
        c->add_option("--out", o->second, "also save the 4096 bytes to a file");
        c->callback([o, nameSpace, &chosen = reg.chosen] {
            const int index = bridgeIndex(o->first);
            const bool ns = *nameSpace;
            const std::string out = o->second;
            chosen = [=] { return identify(index, ns, out); };
        });
    }
    {
        auto o = std::make_shared<std::array<std::string, 3>>();
        auto* c = nvme->add_subcommand("log", "a log page (512 bytes), decoded for 0x01 and 0x02");
        addBridgeOption(c, (*o)[0]);
        c->add_option("--page", (*o)[1], "log page identifier 0..0xFF")->required();
        c->add_option("--out", (*o)[2], "also save the 512 bytes to a file");
        c->callback([o, &chosen = reg.chosen] {
            const int index = bridgeIndex((*o)[0]);
            const auto page = static_cast<std::uint32_t>(numberOption("--page", (*o)[1], 0, 0xFF));
            const std::string out = (*o)[2];
            chosen = [=] { return logPage(index, page, out); };
        });
    }
    auto* packetCmd = nvme->add_subcommand("packet", "an NVMe admin command from a submission entry file");
    packetCmd->require_subcommand(1);
    addPacketCommand(packetCmd, reg.chosen, "none", Phase::None);
    addPacketCommand(packetCmd, reg.chosen, "read", Phase::In);
    addPacketCommand(packetCmd, reg.chosen, "write", Phase::Out);
}

}  // namespace quibdiag
