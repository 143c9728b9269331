// Injected faults ("faults").
#include <map>

#include "bench/description/parser.h"

namespace bench::description_reader {

namespace {

constexpr std::uint8_t kPdOpcode = 0xEC;
constexpr std::uint8_t kNvmePacketWrite = 0xEA, kNvmePacketRead = 0xEB;

bool isAtaPassThrough(std::uint8_t opcode) { return opcode == 0xA1 || opcode == 0x85; }

}  // namespace

void Parser::parseFault(const JsonReader& r) {
    r.requireObject({"kind", "bridge", "opcode", "subcommand", "feature", "register", "nth", "times", "as",
                     "error", "offset", "after_bytes", "controller", "ports", "notify_fd"});
    FaultDescription f;
    static const std::map<std::string, FaultDescription::Kind> kKinds = {
        {"command", FaultDescription::Kind::Command},
        {"enumeration", FaultDescription::Kind::Enumeration},
        {"never_returns", FaultDescription::Kind::NeverReturns},
        {"readback_corrupt", FaultDescription::Kind::ReadbackCorrupt},
        {"power_loss", FaultDescription::Kind::PowerLoss},
        {"eject_veto", FaultDescription::Kind::EjectVeto},
        {"hold", FaultDescription::Kind::Hold},
        {"completion_lost", FaultDescription::Kind::CompletionLost},
        {"drive_hang", FaultDescription::Kind::DriveHang}};
    const std::string kind = r.text("kind", "");
    const auto k = kKinds.find(kind);
    if (k == kKinds.end())
        r.fail(
            "\"kind\" must be command, enumeration, never_returns, readback_corrupt, power_loss, "
            "eject_veto, hold, completion_lost or drive_hang");
    f.kind = k->second;
    f.bridge = r.text("bridge", "");
    if (!f.bridge.empty() && m_out.bridgeIndex(f.bridge) < 0)
        r.child("bridge").fail("there is no bridge \"" + f.bridge + "\"");
    f.nth = static_cast<std::uint32_t>(r.integer("nth", 1, 1, 1 << 30));
    // A drive that hangs stays hung unless told otherwise.
    const bool hang = f.kind == FaultDescription::Kind::DriveHang;
    f.times = static_cast<std::uint32_t>(r.integer("times", hang ? 0 : 1, 0, 1 << 30));
    if (r.has("feature") && f.kind != FaultDescription::Kind::Command)
        r.child("feature").fail("only command faults name a feature");
    if (r.has("subcommand") && f.kind != FaultDescription::Kind::Command &&
        f.kind != FaultDescription::Kind::ReadbackCorrupt)
        r.child("subcommand").fail("only command and readback_corrupt faults name a sub-command");
    switch (f.kind) {
        case FaultDescription::Kind::Command: {
            if (!r.has("opcode")) r.fail("a command fault names its \"opcode\"");
            f.opcode = static_cast<std::uint8_t>(r.number("opcode", 0, 0xFF));
            if (r.has("register")) f.reg = static_cast<std::uint16_t>(r.number("register", 0, 0xFFFF));
            if (r.has("subcommand")) {
                if (f.opcode != kPdOpcode && f.opcode != kNvmePacketWrite && f.opcode != kNvmePacketRead &&
                    !isAtaPassThrough(*f.opcode))
                    r.child("subcommand").fail("only opcodes 0xEC, 0xEA, 0xEB, 0xA1 and 0x85 have sub-commands");
                f.subcommand = static_cast<std::uint8_t>(r.number("subcommand", 0, 0xFF));
            }
            if (r.has("feature")) {
                if (!isAtaPassThrough(*f.opcode))
                    r.child("feature").fail("only the ATA pass-through opcodes 0xA1 and 0x85 carry a feature");
                f.ataFeature = static_cast<std::uint8_t>(r.number("feature", 0, 0xFF));
            }
            const std::string as = r.text("as", "control");
            if (as != "control" && as != "check_condition")
                r.child("as").fail("expected \"control\" or \"check_condition\"");
            f.asCheckCondition = as == "check_condition";
            f.error = static_cast<std::uint32_t>(r.integer("error", 1117, 1, 0xFFFFFFFF));
            break;
        }
        case FaultDescription::Kind::Enumeration:
            if (f.bridge.empty()) {
                if (!r.has("controller") || !r.has("ports"))
                    r.fail(
                        "an enumeration fault names a \"bridge\" or a \"controller\" and its \"ports\" "
                        "path");
                f.controller = static_cast<int>(r.integer("controller", 0, 0, 255));
                const JsonReader ports = r.child("ports");
                ports.requireArray();
                for (std::size_t i = 0; i < ports.size(); ++i)
                    f.ports.push_back(static_cast<std::uint32_t>(ports.element(i).asNumber(kMaxPorts)));
                if (f.ports.empty()) ports.fail("expected the port numbers from the root hub down");
            }
            break;
        case FaultDescription::Kind::PowerLoss:
            if (!r.has("after_bytes")) r.fail("a power_loss fault gives \"after_bytes\"");
            f.afterBytes = static_cast<std::size_t>(r.integer("after_bytes", 0, 0, 1 << 30));
            break;
        case FaultDescription::Kind::ReadbackCorrupt:
            if (r.has("subcommand")) {
                f.subcommand = static_cast<std::uint8_t>(r.number("subcommand", 0, 0xFF));
                if (*f.subcommand != 0x06 && *f.subcommand != 0x24 && *f.subcommand != 0x2A &&
                    *f.subcommand != 0x35)
                    r.child("subcommand").fail("expected a PD or MCU read: 0x06, 0x24, 0x2A or 0x35");
            }
            f.offset = static_cast<std::size_t>(r.integer("offset", f.subcommand ? 0 : 128, 0, 1 << 30));
            break;
        case FaultDescription::Kind::Hold:
            if (!r.has("opcode")) r.fail("a hold fault names its \"opcode\"");
            f.opcode = static_cast<std::uint8_t>(r.number("opcode", 0, 0xFF));
            f.notifyFd = static_cast<int>(r.integer("notify_fd", -1, -1, 1 << 20));
            break;
        default:
            break;
    }
    m_out.faults.push_back(f);
}

}  // namespace bench::description_reader
