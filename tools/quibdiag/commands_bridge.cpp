// Commands on the bridge itself: the list, pins, UART line, drive power, EEPROM, vendor CDBs, link speed.
#include <array>
#include <vector>

#include "tools/quibdiag/bridge_names.h"
#include "tools/quibdiag/bridges.h"
#include "tools/quibdiag/command_support.h"
#include "tools/quibdiag/diag_error.h"
#include "tools/quibdiag/file_io.h"
#include "tools/quibdiag/hex_text.h"
#include "tools/quibdiag/read_capacity.h"

namespace quibdiag {
namespace {

using nlohmann::json;

constexpr std::uint32_t kEepromSize = 0x10000;
// Vendor transfers are held in memory whole; 64 MiB is far beyond any vendor command's data.
constexpr std::uint64_t kVendorLimit = 64ull << 20;
constexpr std::size_t kCdbSize = 16;

// The USB speed code of an entry of the library's current list; 255 when it cannot be read.
std::uint8_t usbSpeed(std::uint8_t libraryIndex) {
    std::uint8_t speed = 0xFF;
    if (QuibUSBLib_USB_GetSpeed(libraryIndex, &speed) != QUIB_SUCCESS) speed = 0xFF;
    return speed;
}

Report listBridges() {
    const auto bridges = scanBridges();
    Report r;
    r.data["bridges"] = json::array();
    Table table({"INDEX", "FAMILY", "CHIP", "DISK", "VID:PID", "FIRMWARE", "SERIAL", "LINK", "USB SPEED"});
    // The speed is read per family, while that family's scan is the library's list.
    // The last scan was of PCIe bridges; when it found none, the list may hold nothing usable.
    std::string scannedFamily = (!bridges.empty() && bridges.back().pcie()) ? "8500" : "";
    for (const Bridge& b : bridges) {
        if (b.family != scannedFamily) {
            selectBridge(b.index);
            scannedFamily = b.family;
        }
        const std::uint8_t speed = usbSpeed(b.libraryIndex);
        json entry = bridgeJson(b);
        entry["usb_speed"] = speed;
        entry["usb_speed_name"] = usbSpeedName(speed);
        r.data["bridges"].push_back(entry);
        table.add({std::to_string(b.index), b.family, b.chipType, std::to_string(b.diskNumber),
                   b.vid + ":" + b.pid, b.firmware, b.serial, b.linkStatus, usbSpeedName(speed)});
    }
    r.text = bridges.empty() ? "no bridge found\n" : table.text();
    return r;
}

std::uint8_t pinMask(const std::string& text) {
    return static_cast<std::uint8_t>(1u << numberOption("--pin", text, 0, 7));
}

Report gpio(int index, std::uint8_t mask, std::optional<std::uint8_t> level) {
    const Bridge b = selectBridge(index);
    std::uint8_t value = level.value_or(0);
    requireSuccess(QuibUSBLib_K610X_ControlGPIO(b.libraryIndex, level ? 1 : 0, mask, &value),
                   level ? "setting the GPIO pin" : "reading the GPIO pin");
    Report r;
    int pin = 0;
    while ((1u << pin) != mask) ++pin;
    r.data = {{"bridge", bridgeJson(b)},
              {"pin", pin},
              {"direction", level ? "output" : "input"},
              {"level", level ? *level : value}};
    r.text = "bridge " + std::to_string(index) + " GPIO " + std::to_string(pin) + ": " +
             (level ? "driven " : "input, level ") + std::to_string(level ? *level : value) + "\n";
    return r;
}

Report uartRx(int index) {
    const Bridge b = selectBridge(index);
    std::uint8_t value = 0;
    requireSuccess(QuibUSBLib_K610X_OEM_GetUartRX(b.libraryIndex, &value), "reading the UART receive line");
    Report r;
    r.data = {{"bridge", bridgeJson(b)}, {"uart_rx", value}};
    r.text = "bridge " + std::to_string(index) + " UART receive line: " + std::to_string(value) + "\n";
    return r;
}

Report setPower(int index, bool on) {
    const Bridge b = selectBridge(index);
    std::uint8_t value = on ? 1 : 0;
    requireSuccess(QuibUSBLib_K610X_OEM_SetHDDPC(b.libraryIndex, &value), "switching the drive's power");
    Report r;
    r.data = {{"bridge", bridgeJson(b)}, {"power", on ? "on" : "off"}};
    r.text = "bridge " + std::to_string(index) + ": drive power switched " + (on ? "on" : "off") + "\n";
    return r;
}

// No export reads the power-control registers back, so the state is what the drive shows: a powered drive
// answers READ CAPACITY, a switched-off one does not.
Report powerState(int index) {
    const Bridge b = selectBridge(index);
    int result = 0;
    const auto capacity = readCapacity(b.libraryIndex, result);
    Report r;
    r.data = {{"bridge", bridgeJson(b)}, {"drive_answers", capacity.has_value()}};
    if (capacity) {
        r.data["sectors"] = capacity->sectors();
        r.data["sector_size"] = capacity->sectorSize;
        r.text = "bridge " + std::to_string(index) + ": the drive answers (powered), " +
                 grouped(capacity->sectors()) + " sectors of " + std::to_string(capacity->sectorSize) +
                 " bytes\n";
    } else {
        r.data["library_result"] = result;
        r.text = "bridge " + std::to_string(index) + ": the drive does not answer (switched off or absent; " +
                 "READ CAPACITY gave library result " + libraryResultText(result) + ")\n";
    }
    return r;
}

Report eepromDump(int index, std::uint32_t length, const std::string& out) {
    const Bridge b = selectBridge(index);
    std::vector<std::uint8_t> data(length);
    requireSuccess(QuibUSBLib_K610X_OEM_AccessEEPROM(b.libraryIndex, 0, data.data(), length, 0),
                   "reading the EEPROM");
    writeOutputFile(out, data);
    Report r;
    r.data = {{"bridge", bridgeJson(b)}, {"bytes", length}, {"file", out}};
    r.text = "bridge " + std::to_string(index) + ": " + std::to_string(length) + " EEPROM bytes written to " +
             out + "\n";
    return r;
}

Report eepromWrite(int index, std::vector<std::uint8_t> data, const std::string& in) {
    const Bridge b = selectBridge(index);
    requireSuccess(QuibUSBLib_K610X_OEM_AccessEEPROM(b.libraryIndex, 1, data.data(),
                                                     static_cast<std::uint32_t>(data.size()), 0),
                   "writing the EEPROM");
    Report r;
    r.data = {{"bridge", bridgeJson(b)}, {"bytes", data.size()}, {"file", in}};
    r.text = "bridge " + std::to_string(index) + ": " + std::to_string(data.size()) + " bytes of " + in +
             " written to the EEPROM\n";
    return r;
}

// A CDB of 1..16 bytes; the library always sends 16, so a shorter one is padded with zeros.
std::array<std::uint8_t, kCdbSize> parseCdb(const std::string& text) {
    std::string fault;
    const auto bytes = parseHexBytes(text, fault);
    if (!bytes) throw DiagError(ExitCode::Usage, "--cdb: " + fault);
    if (bytes->empty() || bytes->size() > kCdbSize)
        throw DiagError(ExitCode::Usage,
                        "--cdb: " + std::to_string(bytes->size()) + " bytes given; a CDB is 1 to 16 bytes");
    std::array<std::uint8_t, kCdbSize> cdb{};
    std::copy(bytes->begin(), bytes->end(), cdb.begin());
    return cdb;
}

Report vendorCommand(int index, const std::array<std::uint8_t, kCdbSize>& cdb, bool write,
                     std::vector<std::uint8_t> data, const std::string& file) {
    const Bridge b = selectBridge(index);
    requireSuccess(
        QuibUSBLib_VENDOR_CMD(b.libraryIndex, write ? 1 : 0, cdb[0], cdb[1], cdb[2], cdb.data() + 3,
                              data.data(), static_cast<std::uint32_t>(data.size())),
        "the vendor command");
    Report r;
    r.data = {{"bridge", bridgeJson(b)},
              {"cdb", hexString(cdb)},
              {"direction", write ? "out" : "in"},
              {"bytes", data.size()}};
    r.text = "bridge " + std::to_string(index) + ": vendor command " + hexString(cdb) + " done, " +
             std::to_string(data.size()) + " bytes " + (write ? "sent" : "received") + "\n";
    if (!write) {
        saveIfAsked(file, data);
        r.data["data"] = hexString(data);
        if (file.empty()) r.text += hexDump(data);
    }
    return r;
}

Report speedGet(int index) {
    const Bridge b = selectBridge(index);
    std::uint8_t speed = 0xFF;
    requireSuccess(QuibUSBLib_USB_GetSpeed(b.libraryIndex, &speed), "reading the USB speed");
    Report r;
    r.data = {{"bridge", bridgeJson(b)}, {"usb_speed", speed}, {"usb_speed_name", usbSpeedName(speed)}};
    r.text = "bridge " + std::to_string(index) + " USB link: " + usbSpeedName(speed) + " (code " +
             std::to_string(speed) + ")\n";
    if (b.pcie()) {
        std::uint8_t mode[2] = {0xFF, 0xFF};
        requireSuccess(QuibUSBLib_NVME_SpeedMode(b.libraryIndex, 0, mode), "reading the PCIe link");
        r.data["pcie_generation"] = mode[0];
        r.data["pcie_width"] = mode[1];
        r.data["pcie_link"] = pcieGenerationName(mode[0]) + " " + pcieWidthName(mode[1]);
        r.text += "bridge " + std::to_string(index) + " PCIe link: " + pcieGenerationName(mode[0]) + " " +
                  pcieWidthName(mode[1]) + "\n";
    }
    return r;
}

Report speedSetUsb(int index, std::uint8_t mode) {
    const Bridge b = selectBridge(index);
    requireSuccess(QuibUSBLib_USB_SetSpeedModeByVendor(b.libraryIndex, mode), "setting the USB speed mode");
    Report r;
    r.data = {{"bridge", bridgeJson(b)}, {"usb_speed_mode", mode}};
    r.text = "bridge " + std::to_string(index) + ": restarted with maximum USB speed mode " +
             std::to_string(mode) + "\n";
    return r;
}

Report speedSetPcie(int index, std::uint8_t generation, std::uint8_t width) {
    const Bridge b = selectBridge(index);
    if (!b.pcie())
        throw DiagError(ExitCode::Usage, "bridge " + std::to_string(index) + " is a " + b.family +
                                             " (SATA) bridge; the PCIe link belongs to 8500 bridges");
    std::uint8_t mode[2] = {generation, width};
    requireSuccess(QuibUSBLib_NVME_SpeedMode(b.libraryIndex, 1, mode), "setting the PCIe link");
    Report r;
    r.data = {{"bridge", bridgeJson(b)}, {"pcie_generation", generation}, {"pcie_width", width}};
    r.text = "bridge " + std::to_string(index) + ": PCIe link set to " + pcieGenerationName(generation) +
             " " + pcieWidthName(width) + "\n";
    return r;
}

std::uint8_t pcieWidthCode(const std::string& text) {
    const auto lanes = numberOption("--width", text, 1, 4);
    if (lanes == 3) throw DiagError(ExitCode::Usage, "--width: 3 lanes is not a PCIe width; use 1, 2 or 4");
    return static_cast<std::uint8_t>(lanes == 1 ? 0 : lanes == 2 ? 1 : 2);
}

}  // namespace

void addBridgeCommands(Registry reg) {
    reg.app.add_subcommand("list", "list the bridges of both families")->callback([&chosen = reg.chosen] {
        chosen = listBridges;
    });

    auto* gpioCmd = reg.app.add_subcommand("gpio", "one general-purpose pin of the bridge");
    gpioCmd->require_subcommand(1);
    {
        auto o = std::make_shared<std::pair<std::string, std::string>>();
        auto* c = gpioCmd->add_subcommand("read", "make the pin an input GPIO and read its level");
        addBridgeOption(c, o->first);
        c->add_option("--pin", o->second, "pin 0..7")->required();
        c->callback([o, &chosen = reg.chosen] {
            const int index = bridgeIndex(o->first);
            const auto mask = pinMask(o->second);
            chosen = [=] { return gpio(index, mask, std::nullopt); };
        });
    }
    {
        auto o = std::make_shared<std::array<std::string, 3>>();
        auto* c = gpioCmd->add_subcommand("write", "make the pin an output GPIO and drive it");
        addBridgeOption(c, (*o)[0]);
        c->add_option("--pin", (*o)[1], "pin 0..7")->required();
        c->add_option("--level", (*o)[2], "0 or 1")->required();
        c->callback([o, &chosen = reg.chosen] {
            const int index = bridgeIndex((*o)[0]);
            const auto mask = pinMask((*o)[1]);
            const auto level = static_cast<std::uint8_t>(numberOption("--level", (*o)[2], 0, 1));
            chosen = [=] { return gpio(index, mask, level); };
        });
    }

    {
        auto o = std::make_shared<std::string>();
        auto* c = reg.app.add_subcommand("uart", "make the UART receive line an input and read its level");
        addBridgeOption(c, *o);
        c->callback([o, &chosen = reg.chosen] {
            const int index = bridgeIndex(*o);
            chosen = [=] { return uartRx(index); };
        });
    }

    auto* powerCmd = reg.app.add_subcommand("power", "the drive's power control");
    powerCmd->require_subcommand(1);
    for (const char* name : {"on", "off", "state"}) {
        auto o = std::make_shared<std::string>();
        const std::string what = name;
        auto* c = powerCmd->add_subcommand(
            name, what == "state" ? "whether the drive answers" : "switch the drive " + what);
        addBridgeOption(c, *o);
        c->callback([o, what, &chosen = reg.chosen] {
            const int index = bridgeIndex(*o);
            if (what == "state")
                chosen = [=] { return powerState(index); };
            else
                chosen = [=] { return setPower(index, what == "on"); };
        });
    }

    auto* eepromCmd = reg.app.add_subcommand("eeprom", "the bridge's firmware EEPROM (64 KiB)");
    eepromCmd->require_subcommand(1);
    {
        auto o = std::make_shared<std::array<std::string, 3>>();
        (*o)[2] = "65536";
        auto* c = eepromCmd->add_subcommand("dump", "read the EEPROM into a file");
        addBridgeOption(c, (*o)[0]);
        c->add_option("--out", (*o)[1], "file to write")->required();
        c->add_option("--length", (*o)[2], "bytes to read, 1..65536 (default 65536)");
        c->callback([o, &chosen = reg.chosen] {
            const int index = bridgeIndex((*o)[0]);
            const auto length = static_cast<std::uint32_t>(numberOption("--length", (*o)[2], 1, kEepromSize));
            const std::string out = (*o)[1];
            chosen = [=] { return eepromDump(index, length, out); };
        });
    }
    {
        auto o = std::make_shared<std::pair<std::string, std::string>>();
        auto* c =
            eepromCmd->add_subcommand("write", "write a file (1..65536 bytes) to the EEPROM from offset 0");
        addBridgeOption(c, o->first);
        c->add_option("--in", o->second, "file to write to the EEPROM")->required();
        c->callback([o, &chosen = reg.chosen] {
            const int index = bridgeIndex(o->first);
            auto data = readInputFile("--in", o->second, kEepromSize);
            if (data.empty()) throw DiagError(ExitCode::Usage, "--in: " + o->second + " is empty");
            const std::string in = o->second;
            chosen = [=] { return eepromWrite(index, data, in); };
        });
    }

    auto* vendorCmd = reg.app.add_subcommand("vendor", "a vendor CDB sent to the bridge as it is");
    vendorCmd->require_subcommand(1);
    {
        auto o = std::make_shared<std::array<std::string, 4>>();
        auto* c = vendorCmd->add_subcommand("read", "send the CDB and read its data (data-in)");
        addBridgeOption(c, (*o)[0]);
        c->add_option("--cdb", (*o)[1], "1..16 CDB bytes in hex (padded with zeros to 16)")->required();
        c->add_option("--length", (*o)[2], "bytes to read (0 for none)")->required();
        c->add_option("--out", (*o)[3], "file for the data (default: shown)");
        c->callback([o, &chosen = reg.chosen] {
            const int index = bridgeIndex((*o)[0]);
            const auto cdb = parseCdb((*o)[1]);
            const auto length = numberOption("--length", (*o)[2], 0, kVendorLimit);
            const std::string out = (*o)[3];
            chosen = [=] { return vendorCommand(index, cdb, false, std::vector<std::uint8_t>(length), out); };
        });
    }
    {
        auto o = std::make_shared<std::array<std::string, 3>>();
        auto* c = vendorCmd->add_subcommand("write", "send the CDB with a file's bytes (data-out)");
        addBridgeOption(c, (*o)[0]);
        c->add_option("--cdb", (*o)[1], "1..16 CDB bytes in hex (padded with zeros to 16)")->required();
        c->add_option("--in", (*o)[2], "file whose bytes are sent")->required();
        c->callback([o, &chosen = reg.chosen] {
            const int index = bridgeIndex((*o)[0]);
            const auto cdb = parseCdb((*o)[1]);
            auto data = readInputFile("--in", (*o)[2], kVendorLimit);
            if (data.empty()) throw DiagError(ExitCode::Usage, "--in: " + (*o)[2] + " is empty");
            const std::string in = (*o)[2];
            chosen = [=] { return vendorCommand(index, cdb, true, data, in); };
        });
    }

    auto* speedCmd = reg.app.add_subcommand("speed", "the USB link and, on 8500 bridges, the PCIe link");
    speedCmd->require_subcommand(1);
    {
        auto o = std::make_shared<std::string>();
        auto* c = speedCmd->add_subcommand("get", "read the link speeds");
        addBridgeOption(c, *o);
        c->callback([o, &chosen = reg.chosen] {
            const int index = bridgeIndex(*o);
            chosen = [=] { return speedGet(index); };
        });
    }
    {
        auto o = std::make_shared<std::pair<std::string, std::string>>();
        auto* c = speedCmd->add_subcommand("set-usb", "restart the bridge with a maximum USB speed mode");
        addBridgeOption(c, o->first);
        c->add_option("--mode", o->second, "speed mode 1..5")->required();
        c->callback([o, &chosen = reg.chosen] {
            const int index = bridgeIndex(o->first);
            const auto mode = static_cast<std::uint8_t>(numberOption("--mode", o->second, 1, 5));
            chosen = [=] { return speedSetUsb(index, mode); };
        });
    }
    {
        auto o = std::make_shared<std::array<std::string, 3>>();
        auto* c = speedCmd->add_subcommand("set-pcie", "set the PCIe link of an 8500 bridge");
        addBridgeOption(c, (*o)[0]);
        c->add_option("--gen", (*o)[1], "generation 1..3")->required();
        c->add_option("--width", (*o)[2], "lanes 1, 2 or 4")->required();
        c->callback([o, &chosen = reg.chosen] {
            const int index = bridgeIndex((*o)[0]);
            const auto generation = static_cast<std::uint8_t>(numberOption("--gen", (*o)[1], 1, 3) - 1);
            const auto width = pcieWidthCode((*o)[2]);
            chosen = [=] { return speedSetPcie(index, generation, width); };
        });
    }
}

}  // namespace quibdiag
