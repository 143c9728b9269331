#include <algorithm>
#include <cctype>
#include <cstdio>
#include <set>

#include "bench/bench_error.h"
#include "bench/bridge/firmware_image.h"
#include "bench/description.h"
#include "bench/hex_text.h"
#include "bench/json_reader.h"

namespace bench {
namespace {

constexpr std::size_t kFactoryConfigSize = 124;
constexpr std::size_t kMaxPorts = 255;
constexpr std::uint8_t kPdOpcode = 0xEC;

std::string formatted(const char* format, unsigned a, unsigned b = 0) {
    char buf[160];
    std::snprintf(buf, sizeof buf, format, a, b);
    return buf;
}

LinkSpeed parseLink(const JsonReader& r, const std::string& key, LinkSpeed fallback) {
    if (!r.has(key)) return fallback;
    const std::string v = r.text(key, "");
    if (v == "full") return LinkSpeed::Full;
    if (v == "high") return LinkSpeed::High;
    if (v == "super") return LinkSpeed::Super;
    if (v == "plus") return LinkSpeed::Plus;
    r.child(key).fail("expected \"full\", \"high\", \"super\" or \"plus\", found \"" + v + "\"");
}

std::vector<std::uint8_t> parseByteList(const JsonReader& r) {
    if (r.value().is_string() && r.value().get<std::string>().rfind("0x", 0) == 0)
        return {static_cast<std::uint8_t>(r.asNumber(0xFF))};
    if (r.value().is_string()) {
        auto bytes = parseHexBytes(r.value().get<std::string>());
        if (!bytes) r.fail("\"" + r.value().get<std::string>() + "\" is not a hex byte string");
        return *bytes;
    }
    if (r.value().is_number()) return {static_cast<std::uint8_t>(r.asNumber(0xFF))};
    r.requireArray();
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i < r.size(); ++i)
        out.push_back(static_cast<std::uint8_t>(r.element(i).asNumber(0xFF)));
    return out;
}

char parseLetter(const JsonReader& r) {
    if (!r.value().is_string() || r.value().get<std::string>().size() != 1 ||
        !std::isalpha(static_cast<unsigned char>(r.value().get<std::string>()[0])))
        r.fail("expected a drive letter such as \"E\"");
    return static_cast<char>(std::toupper(static_cast<unsigned char>(r.value().get<std::string>()[0])));
}

bool isSafeId(const std::string& id) {
    if (id.empty() || id.size() > 64) return false;
    return std::all_of(id.begin(), id.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-';
    });
}

class Parser {
  public:
    Parser(BenchDescription& out, std::string source) : m_out(out), m_source(std::move(source)) {}

    void parseTop(const nlohmann::json& json) {
        const JsonReader top(json, m_source, "");
        top.requireObject({"controllers", "system_disks", "volumes", "registry", "message_box_answers",
                           "dialog_answer", "faults", "processor_architecture", "clock_start_unix",
                           "system_volume_letter", "registry_read_only", "host_registry"});
        m_out.hostRegistry = top.flag("host_registry", false);
        m_out.processorArchitecture =
            static_cast<std::uint32_t>(top.integer("processor_architecture", 9, 0, 0xFFFF));
        m_out.clockStartUnix = top.integer("clock_start_unix", 1700000000, 0, 1LL << 40);
        parseSystemDisks(top);
        if (top.has("controllers")) {
            const JsonReader controllers = top.child("controllers");
            controllers.requireArray();
            for (std::size_t i = 0; i < controllers.size(); ++i) parseController(controllers.element(i));
        }
        checkBridgeNumbers();
        parseVolumes(top);
        if (top.has("registry")) parseRegistry(top.child("registry"));
        if (top.has("registry_read_only")) {
            const JsonReader readOnly = top.child("registry_read_only");
            readOnly.requireArray();
            for (std::size_t i = 0; i < readOnly.size(); ++i) {
                const JsonReader k = readOnly.element(i);
                if (!k.value().is_string() || k.value().get<std::string>().empty())
                    k.fail("expected a key path");
                m_out.registryReadOnly.push_back(k.value().get<std::string>());
            }
        }
        if (top.has("message_box_answers")) {
            const JsonReader answers = top.child("message_box_answers");
            answers.requireArray();
            for (std::size_t i = 0; i < answers.size(); ++i) {
                const JsonReader a = answers.element(i);
                if (!a.value().is_number_integer())
                    a.fail("expected an integer answer (1 IDOK, 2 IDCANCEL, 6 IDYES, 7 IDNO)");
                m_out.messageBoxAnswers.push_back(a.value().get<int>());
            }
        }
        const std::string dialogAnswer = top.text("dialog_answer", "ok");
        if (dialogAnswer != "ok" && dialogAnswer != "close" && dialogAnswer != "window")
            top.child("dialog_answer").fail("expected \"ok\", \"close\" or \"window\"");
        m_out.dialogClosedByUser = dialogAnswer == "close";
        m_out.dialogLeftToWindow = dialogAnswer == "window";
        if (top.has("faults")) {
            const JsonReader faults = top.child("faults");
            faults.requireArray();
            for (std::size_t i = 0; i < faults.size(); ++i) parseFault(faults.element(i));
        }
    }

  private:
    void parseSystemDisks(const JsonReader& top) {
        std::vector<JsonReader> listed;
        std::size_t count = 1;
        if (top.has("system_disks")) {
            const JsonReader disks = top.child("system_disks");
            if (disks.value().is_array()) {
                count = disks.size();
                for (std::size_t i = 0; i < count; ++i) listed.push_back(disks.element(i));
            } else {
                count = static_cast<std::size_t>(top.integer("system_disks", 1, 0, 64));
            }
        }
        for (std::size_t i = 0; i < count; ++i) {
            SystemDiskDescription d;
            d.product = "BENCH SYSTEM SSD";
            d.revision = "1.0";
            d.serial = formatted("SYSDISK%04u", static_cast<unsigned>(i));
            d.sectors = 976773168;
            if (i < listed.size()) {
                const JsonReader& r = listed[i];
                r.requireObject({"vendor", "product", "revision", "serial", "sectors"});
                d.vendor = r.text("vendor", d.vendor);
                d.product = r.text("product", d.product);
                d.revision = r.text("revision", d.revision);
                d.serial = r.text("serial", d.serial);
                d.sectors = r.number("sectors", d.sectors, 1ull << 48);
            }
            m_out.systemDisks.push_back(d);
        }
        const std::string letter = top.text("system_volume_letter", "C");
        if (!letter.empty() && !m_out.systemDisks.empty()) {
            VolumeDescription v;
            const nlohmann::json given = letter;
            v.letter =
                parseLetter(top.has("system_volume_letter") ? top.child("system_volume_letter")
                                                            : JsonReader(given, "", "system_volume_letter"));
            v.systemDisk = 0;
            m_out.volumes.push_back(v);
        }
    }

    void parseController(const JsonReader& r) {
        r.requireObject({"hardware_id", "description", "ports", "port_count"});
        const int h = static_cast<int>(m_out.controllers.size());
        ControllerDescription c;
        c.hardwareId =
            r.text("hardware_id", formatted("PCI\\VEN_8086&DEV_A36D&SUBSYS_%04X8086&REV_10", 0x7270u + h));
        c.description = r.text("description", "USB 3.1 eXtensible Host Controller - 1.10 (Microsoft)");
        m_out.controllers.push_back(c);
        // The root hub is described either by the controller's own "port_count"/"ports" or by an object
        // under "ports" that holds them.
        int root;
        if (r.has("ports") && r.child("ports").value().is_object()) {
            if (r.has("port_count")) r.fail("give \"port_count\" inside \"ports\" or beside it, not both");
            root = parseHub(r.child("ports"), h, -1, 0, 0);
        } else {
            root = parseHubBody(r, h, -1, 0, 0);
        }
        m_out.controllers[static_cast<std::size_t>(h)].rootHub = root;
    }

    int parseHub(const JsonReader& r, int controller, int parent, std::uint32_t parentPort, int depth) {
        r.requireObject({"port_count", "ports", "vid", "pid", "description"});
        return parseHubBody(r, controller, parent, parentPort, depth);
    }

    int parseHubBody(const JsonReader& r, int controller, int parent, std::uint32_t parentPort, int depth) {
        const int index = static_cast<int>(m_out.hubs.size());
        m_out.hubs.emplace_back();
        {
            HubDescription& hub = m_out.hubs.back();
            hub.controller = controller;
            hub.parentHub = parent;
            hub.parentPort = parentPort;
            hub.depth = depth;
            if (parent < 0) {
                hub.name = formatted("USB#ROOT_HUB30#4&%08x&0&0#{f18a0e88-c30c-11d0-8815-00a0c906bed8}",
                                     0x2a4f1c00u + static_cast<unsigned>(controller));
                hub.description = "USB Root Hub (USB 3.0)";
            } else {
                hub.vid = static_cast<std::uint16_t>(r.number("vid", 0x05E3, 0xFFFF));
                hub.pid = static_cast<std::uint16_t>(r.number("pid", 0x0610, 0xFFFF));
                hub.description = r.text("description", hub.description);
                char buf[160];
                std::snprintf(buf, sizeof buf,
                              "USB#VID_%04X&PID_%04X#5&%08x&0&%u#{f18a0e88-c30c-11d0-8815-00a0c906bed8}",
                              hub.vid, hub.pid, 0x1c3b5e00u + static_cast<unsigned>(index),
                              static_cast<unsigned>(parentPort));
                hub.name = buf;
            }
        }
        std::vector<JsonReader> portEntries;
        std::uint32_t highest = 0;
        if (r.has("ports")) {
            const JsonReader ports = r.child("ports");
            ports.requireArray();
            for (std::size_t i = 0; i < ports.size(); ++i) {
                const JsonReader p = ports.element(i);
                p.requireObject({"port", "empty", "failed", "hub", "bridge", "device"});
                const auto number = static_cast<std::uint32_t>(p.child("port").asNumber(kMaxPorts));
                if (number == 0) p.child("port").fail("port numbers start at 1");
                highest = std::max(highest, number);
                portEntries.push_back(p);
            }
        }
        const auto portCount = static_cast<std::uint32_t>(
            r.integer("port_count", std::max<std::int64_t>(4, highest), 1, kMaxPorts));
        if (highest > portCount)
            r.fail("port " + std::to_string(highest) + " is above port_count " + std::to_string(portCount));
        m_out.hubs[static_cast<std::size_t>(index)].ports.assign(portCount, PortSlot{});

        std::sort(portEntries.begin(), portEntries.end(), [](const JsonReader& a, const JsonReader& b) {
            return a.child("port").asNumber(kMaxPorts) < b.child("port").asNumber(kMaxPorts);
        });
        std::set<std::uint32_t> seen;
        for (const JsonReader& p : portEntries) {
            const auto number = static_cast<std::uint32_t>(p.child("port").asNumber(kMaxPorts));
            if (!seen.insert(number).second) p.fail("port " + std::to_string(number) + " is listed twice");
            int kinds = 0;
            for (const char* k : {"empty", "failed", "hub", "bridge", "device"}) kinds += p.has(k) ? 1 : 0;
            if (kinds != 1)
                p.fail("a port holds exactly one of \"empty\", \"failed\", \"hub\", \"bridge\", \"device\"");
            PortSlot slot;
            if (p.has("empty")) {
                if (!p.flag("empty", true)) p.child("empty").fail("only true is meaningful");
            } else if (p.has("failed")) {
                if (!p.flag("failed", true)) p.child("failed").fail("only true is meaningful");
                slot.kind = PortSlot::Kind::Failed;
            } else if (p.has("hub")) {
                slot.kind = PortSlot::Kind::Hub;
                slot.index = parseHub(p.child("hub"), controller, index, number, depth + 1);
            } else if (p.has("bridge")) {
                slot.kind = PortSlot::Kind::Bridge;
                slot.index = parseBridge(p.child("bridge"), index, number);
            } else {
                slot.kind = PortSlot::Kind::Device;
                slot.index = parseDevice(p.child("device"), index, number);
            }
            m_out.hubs[static_cast<std::size_t>(index)].ports[number - 1] = slot;
        }
        return index;
    }

    int parseBridge(const JsonReader& r, int hub, std::uint32_t port) {
        r.requireObject({"id",
                         "family",
                         "device_type",
                         "msignature",
                         "firmware_version",
                         "firmware_image_size",
                         "vid",
                         "pid",
                         "bcd_device",
                         "manufacturer",
                         "product",
                         "serial",
                         "configured_serial",
                         "instance_serial",
                         "storage_serial",
                         "description",
                         "driver_class",
                         "inquiry_vendor",
                         "inquiry_product",
                         "inquiry_revision",
                         "drive",
                         "link",
                         "lanes",
                         "uas",
                         "cc_orientation",
                         "package",
                         "generation",
                         "cdrom",
                         "disk_number",
                         "cdrom_number",
                         "volume_letter",
                         "registers",
                         "register_noise",
                         "reported_device_number",
                         "otb_status",
                         "restart_delay_ms",
                         "restart_number",
                         "rom_reset_modes",
                         "readback_shift",
                         "factory_config",
                         "max_transfer",
                         "firmware_area_size",
                         "pd"});
        const int index = static_cast<int>(m_out.bridges.size());
        BridgeDescription b;
        b.hub = hub;
        b.port = port;
        b.id = r.text("id", "bridge" + std::to_string(index));
        if (!isSafeId(b.id)) r.child("id").fail("an id is 1..64 letters, digits, '_' or '-'");
        for (const auto& other : m_out.bridges)
            if (other.id == b.id) r.child("id").fail("bridge id \"" + b.id + "\" is used twice");

        b.family = r.text("family", "7120");
        if (b.family != "7120" && b.family != "8500") r.child("family").fail("expected \"7120\" or \"8500\"");
        const bool pcie = b.family == "8500";
        b.deviceType =
            static_cast<int>(pcie ? r.integer("device_type", 7, 6, 7) : r.integer("device_type", 1, 0, 5));
        b.msignature = static_cast<int>(r.integer("msignature", 2, 0, 15));
        b.firmwareVersion = r.text("firmware_version", "12042391F000");
        if (!b.firmwareVersion.empty() && !parseVersion(b.firmwareVersion))
            r.child("firmware_version")
                .fail("expected twelve hex digits such as \"12042391F000\" (or \"\" for none)");
        b.firmwareVersion = toUpper(b.firmwareVersion);
        b.firmwareImageSize =
            static_cast<std::size_t>(r.integer("firmware_image_size", 60902, kMinimumImageSize, 1 << 20));
        b.vid = static_cast<std::uint16_t>(r.number("vid", 0x3F10, 0xFFFF));
        b.pid = static_cast<std::uint16_t>(r.number("pid", pcie ? 0x8500 : 0x7120, 0xFFFF));
        b.bcdDevice = static_cast<std::uint16_t>(r.number("bcd_device", 0x0100, 0xFFFF));
        b.manufacturer = r.text("manufacturer", "KRV");
        b.product = r.text("product", pcie ? "USB3.1 NVMe Bridge" : "USB3.0 SATA Bridge");
        b.serial = r.text("serial", formatted("KRVB%08u", static_cast<unsigned>(index + 1)));
        b.configuredSerial = r.text("configured_serial", b.serial);
        if (b.configuredSerial.size() > 20)
            r.child("configured_serial").fail("the configuration area holds 20 characters");
        b.instanceSerial = r.text("instance_serial", b.serial);
        b.storageSerial = r.text("storage_serial", b.instanceSerial);
        b.description = r.text("description", b.description);
        const std::string driverClass = r.text("driver_class", "usb");
        if (driverClass != "usb" && driverClass != "disk")
            r.child("driver_class").fail("expected \"usb\" or \"disk\"");
        b.diskDriverClass = driverClass == "disk";
        b.inquiryVendor = r.text("inquiry_vendor", b.inquiryVendor);
        b.inquiryProduct = r.text("inquiry_product", b.inquiryProduct);
        b.inquiryRevision = r.text("inquiry_revision", b.inquiryRevision);
        if (b.inquiryVendor.size() > 8) r.child("inquiry_vendor").fail("at most 8 characters");
        if (b.inquiryProduct.size() > 16) r.child("inquiry_product").fail("at most 16 characters");
        if (b.inquiryRevision.size() > 4) r.child("inquiry_revision").fail("at most 4 characters");

        b.cdrom = r.flag("cdrom", false);
        if (!(r.has("drive") && r.value().at("drive").is_boolean() && !r.value().at("drive").get<bool>()) &&
            !b.cdrom) {
            DriveDescription d;
            d.kind = pcie ? "nvme" : "sata";
            d.serial = formatted(pcie ? "S5GXNF0R%06u" : "WD-WXB%08u", static_cast<unsigned>(index + 1));
            d.model = pcie ? "BENCH NVMe SSD 1TB" : "BENCH SATA SSD 1TB";
            d.firmware = "BN01";
            d.sectors = 1953525168;
            if (r.has("drive")) {
                const JsonReader dr = r.child("drive");
                dr.requireObject({"kind", "serial", "model", "firmware", "sectors", "bytes_per_sector"});
                d.kind = dr.text("kind", d.kind);
                if (d.kind != "sata" && d.kind != "nvme")
                    dr.child("kind").fail("expected \"sata\" or \"nvme\"");
                d.serial = dr.text("serial", d.serial);
                d.model = dr.text("model", d.model);
                d.firmware = dr.text("firmware", d.firmware);
                if (d.serial.size() > 20) dr.child("serial").fail("an ATA serial holds 20 characters");
                if (d.model.size() > 40) dr.child("model").fail("an ATA model holds 40 characters");
                if (d.firmware.size() > 8)
                    dr.child("firmware").fail("an ATA firmware revision holds 8 characters");
                d.sectors = dr.number("sectors", d.sectors, 1ull << 48);
                d.bytesPerSector = static_cast<std::uint32_t>(dr.integer("bytes_per_sector", 512, 512, 4096));
                if (d.bytesPerSector != 512 && d.bytesPerSector != 4096)
                    dr.child("bytes_per_sector").fail("expected 512 or 4096");
            }
            b.drive = d;
        }

        b.link = parseLink(r, "link", LinkSpeed::Super);
        b.lanes = static_cast<int>(r.integer("lanes", 1, 1, 2));
        b.uas = r.flag("uas", true);
        b.ccOrientation = static_cast<int>(r.integer("cc_orientation", 0, 0, 1));
        if (r.has("package")) b.package = static_cast<int>(r.number("package", 0, 0xFF));
        b.generation = static_cast<int>(r.integer("generation", 5, 3, 5));
        if (r.has("disk_number")) b.diskNumber = static_cast<int>(r.integer("disk_number", 0, 0, 255));
        if (r.has("cdrom_number")) b.cdromNumber = static_cast<int>(r.integer("cdrom_number", 0, 0, 255));
        if (b.cdrom && b.diskNumber) r.child("disk_number").fail("a CD-ROM bridge has no disk number");
        if (!b.cdrom && b.cdromNumber)
            r.child("cdrom_number").fail("only a CD-ROM bridge has a CD-ROM number");
        if (r.has("volume_letter")) b.volumeLetter = parseLetter(r.child("volume_letter"));

        if (r.has("registers")) {
            const JsonReader regs = r.child("registers");
            regs.requireMap();
            for (const auto& [key, value] : regs.value().items()) {
                (void)value;
                if (key.empty() || key[0] == '_' || key == "comment") continue;
                const auto address = parseHexNumber(key);
                if (!address || *address > 0xFFFF)
                    regs.fail("register address \"" + key + "\" is not a 16-bit hex number");
                auto bytes = parseByteList(regs.child(key));
                if (bytes.empty() || *address + bytes.size() > 0x10000)
                    regs.child(key).fail("expected 1.. bytes inside the register space");
                b.registers[static_cast<std::uint16_t>(*address)] = std::move(bytes);
            }
        }
        if (r.has("register_noise")) {
            const JsonReader noise = r.child("register_noise");
            noise.requireMap();
            for (const auto& [key, value] : noise.value().items()) {
                (void)value;
                if (key.empty() || key[0] == '_' || key == "comment") continue;
                const auto address = parseHexNumber(key);
                if (!address || *address > 0xFFFF)
                    noise.fail("register address \"" + key + "\" is not a 16-bit hex number");
                b.registerNoise[static_cast<std::uint16_t>(*address)] =
                    static_cast<std::uint8_t>(noise.child(key).asNumber(0xFF));
            }
        }
        if (r.has("reported_device_number"))
            b.reportedDeviceNumber = static_cast<int>(r.integer("reported_device_number", 0, 0, 255));
        if (r.has("otb_status")) {
            const auto bytes = parseByteList(r.child("otb_status"));
            if (bytes.size() != 16) r.child("otb_status").fail("expected 16 bytes");
            std::array<std::uint8_t, 16> status{};
            std::copy(bytes.begin(), bytes.end(), status.begin());
            b.otbStatus = status;
        }
        b.restartDelayMs = static_cast<std::uint32_t>(r.integer("restart_delay_ms", 2000, 0, 3600 * 1000));
        const std::string numbering = r.text("restart_number", "next");
        if (numbering != "lowest" && numbering != "next" && numbering != "same")
            r.child("restart_number").fail("expected \"lowest\", \"next\" or \"same\"");
        b.restartNumbering = numbering == "same"     ? BridgeDescription::RestartNumbering::Same
                             : numbering == "lowest" ? BridgeDescription::RestartNumbering::Lowest
                                                     : BridgeDescription::RestartNumbering::Next;
        if (r.has("rom_reset_modes")) {
            const JsonReader modes = r.child("rom_reset_modes");
            modes.requireArray();
            for (std::size_t i = 0; i < modes.size(); ++i)
                b.romResetModes.push_back(static_cast<int>(modes.element(i).asNumber(0xFF)));
        }
        b.readbackShift = r.flag("readback_shift", false);
        b.factoryConfig.assign(kFactoryConfigSize, 0xFF);
        if (r.has("factory_config")) {
            if (!pcie) r.child("factory_config").fail("only the 8500 family has a factory configuration");
            const JsonReader fc = r.child("factory_config");
            std::vector<std::uint8_t> bytes;
            if (fc.value().is_string()) {
                const std::string t = fc.value().get<std::string>();
                bytes.assign(t.begin(), t.end());
            } else {
                fc.requireObject({"hex"});
                bytes = parseByteList(fc.child("hex"));
            }
            if (bytes.size() > kFactoryConfigSize) fc.fail("the factory configuration block holds 124 bytes");
            std::copy(bytes.begin(), bytes.end(), b.factoryConfig.begin());
        }
        b.maxTransfer = static_cast<std::uint32_t>(r.integer("max_transfer", b.maxTransfer, 65536, 64 << 20));
        b.firmwareAreaSize = static_cast<std::size_t>(
            r.integer("firmware_area_size", static_cast<std::int64_t>(b.firmwareAreaSize), 65536, 16 << 20));
        if (r.has("pd")) b.pd = parsePd(r.child("pd"));
        m_out.bridges.push_back(std::move(b));
        return index;
    }

    static PdDescription parsePd(const JsonReader& r) {
        r.requireObject({"kind", "device_mode", "version", "marker", "user_power_cycles", "mcu"});
        PdDescription pd;
        pd.kind = static_cast<int>(r.integer("kind", 1, 0, 255));
        const bool cypress = pd.kind == 2 || pd.kind == 4 || pd.kind == 5;
        const bool modes = pd.kind == 4 || pd.kind == 5;
        pd.deviceMode = static_cast<int>(r.integer("device_mode", 1, 1, 2));
        if (!modes && pd.deviceMode != 1)
            r.child("device_mode").fail("only kinds 4 and 5 have device mode 2");
        const std::size_t digits = pd.kind == 1 ? 4 : cypress ? 16 : 0;
        if (digits == 0) {
            if (r.has("version"))
                r.child("version").fail("kind " + std::to_string(pd.kind) +
                                        " holds no firmware to carry a version");
        } else {
            pd.version = toUpper(r.text("version", pd.kind == 1 ? "0100" : "1100000000000001"));
            if (!pd.version.empty() && (pd.version.size() != digits || !parseHexBytes(pd.version)))
                r.child("version").fail("expected " + std::to_string(digits) + " hex digits for kind " +
                                        std::to_string(pd.kind) + " (or \"\" for a blank flash)");
        }
        pd.marker = r.flag("marker", true);
        pd.userPowerCycles = r.flag("user_power_cycles", true);
        if (r.has("mcu")) {
            const JsonReader mcu = r.child("mcu");
            if (mcu.value().is_boolean()) {
                pd.mcu = mcu.value().get<bool>();
            } else {
                mcu.requireObject({"bootloader"});
                pd.mcu = true;
                pd.mcuBootloader = mcu.flag("bootloader", false);
            }
        }
        return pd;
    }

    int parseDevice(const JsonReader& r, int hub, std::uint32_t port) {
        r.requireObject({"id", "vid", "pid", "bcd_device", "manufacturer", "product", "serial", "description",
                         "driver_class", "link"});
        const int index = static_cast<int>(m_out.devices.size());
        UsbDeviceDescription d;
        d.hub = hub;
        d.port = port;
        d.id = r.text("id", "device" + std::to_string(index));
        d.vid = static_cast<std::uint16_t>(r.number("vid", 0x046D, 0xFFFF));
        d.pid = static_cast<std::uint16_t>(r.number("pid", 0xC31C, 0xFFFF));
        d.bcdDevice = static_cast<std::uint16_t>(r.number("bcd_device", 0x0100, 0xFFFF));
        d.manufacturer = r.text("manufacturer", "");
        d.product = r.text("product", "");
        d.serial = r.text("serial", "");
        d.description = r.text("description", d.description);
        const std::string driverClass = r.text("driver_class", "usb");
        if (driverClass != "usb" && driverClass != "disk")
            r.child("driver_class").fail("expected \"usb\" or \"disk\"");
        d.diskDriverClass = driverClass == "disk";
        d.link = parseLink(r, "link", LinkSpeed::Full);
        m_out.devices.push_back(d);
        return index;
    }

    void checkBridgeNumbers() {
        std::set<int> disks, cdroms;
        for (std::size_t i = 0; i < m_out.systemDisks.size(); ++i) disks.insert(static_cast<int>(i));
        for (const auto& b : m_out.bridges) {
            if (b.diskNumber && !disks.insert(*b.diskNumber).second)
                throw BenchError(m_source + ": bridge \"" + b.id + "\": disk_number " +
                                 std::to_string(*b.diskNumber) +
                                 " is already taken (system disks take the first numbers)");
            if (b.cdromNumber && !cdroms.insert(*b.cdromNumber).second)
                throw BenchError(m_source + ": bridge \"" + b.id + "\": cdrom_number " +
                                 std::to_string(*b.cdromNumber) + " is already taken");
        }
    }

    void parseVolumes(const JsonReader& top) {
        for (const auto& b : m_out.bridges) {
            if (!b.volumeLetter) continue;
            VolumeDescription v;
            v.letter = *b.volumeLetter;
            v.type = b.cdrom ? VolumeType::Cdrom : VolumeType::Fixed;
            v.bridge = m_out.bridgeIndex(b.id);
            m_out.volumes.push_back(v);
        }
        if (top.has("volumes")) {
            const JsonReader volumes = top.child("volumes");
            volumes.requireArray();
            for (std::size_t i = 0; i < volumes.size(); ++i) {
                const JsonReader r = volumes.element(i);
                r.requireObject({"letter", "system_disk", "bridge", "type"});
                VolumeDescription v;
                v.letter = parseLetter(r.child("letter"));
                const std::string type = r.text("type", "fixed");
                static const std::map<std::string, VolumeType> kTypes = {{"fixed", VolumeType::Fixed},
                                                                         {"removable", VolumeType::Removable},
                                                                         {"remote", VolumeType::Remote},
                                                                         {"cdrom", VolumeType::Cdrom},
                                                                         {"ramdisk", VolumeType::RamDisk}};
                const auto t = kTypes.find(type);
                if (t == kTypes.end())
                    r.child("type").fail("expected fixed, removable, remote, cdrom or ramdisk");
                v.type = t->second;
                if (r.has("system_disk")) {
                    v.systemDisk = static_cast<int>(r.integer("system_disk", 0, 0, 255));
                    if (static_cast<std::size_t>(*v.systemDisk) >= m_out.systemDisks.size())
                        r.child("system_disk").fail("there is no such system disk");
                }
                if (r.has("bridge")) {
                    const int b = m_out.bridgeIndex(r.text("bridge", ""));
                    if (b < 0) r.child("bridge").fail("there is no bridge \"" + r.text("bridge", "") + "\"");
                    v.bridge = b;
                }
                if (v.systemDisk && v.bridge)
                    r.fail("a volume lies on a system disk or on a bridge, not both");
                m_out.volumes.push_back(v);
            }
        }
        std::set<char> letters;
        for (const auto& v : m_out.volumes)
            if (!letters.insert(v.letter).second)
                throw BenchError(m_source + ": drive letter " + std::string(1, v.letter) + " is given twice");
    }

    void parseRegistry(const JsonReader& r) {
        r.requireMap();
        for (const auto& [key, values] : r.value().items()) {
            (void)values;
            const JsonReader k = r.child(key);
            k.requireMap();
            for (const auto& [name, value] : k.value().items()) {
                (void)value;
                m_out.registry[key][name] =
                    registryEntryFromJson(k.value().at(name), m_source + ": registry." + key + "." + name);
            }
        }
    }

    void parseFault(const JsonReader& r) {
        r.requireObject({"kind", "bridge", "opcode", "subcommand", "register", "nth", "times", "as", "error",
                         "offset", "after_bytes", "controller", "ports", "notify_fd"});
        FaultDescription f;
        static const std::map<std::string, FaultDescription::Kind> kKinds = {
            {"command", FaultDescription::Kind::Command},
            {"enumeration", FaultDescription::Kind::Enumeration},
            {"never_returns", FaultDescription::Kind::NeverReturns},
            {"readback_corrupt", FaultDescription::Kind::ReadbackCorrupt},
            {"power_loss", FaultDescription::Kind::PowerLoss},
            {"eject_veto", FaultDescription::Kind::EjectVeto},
            {"hold", FaultDescription::Kind::Hold}};
        const std::string kind = r.text("kind", "");
        const auto k = kKinds.find(kind);
        if (k == kKinds.end())
            r.fail(
                "\"kind\" must be command, enumeration, never_returns, readback_corrupt, power_loss, "
                "eject_veto or hold");
        f.kind = k->second;
        f.bridge = r.text("bridge", "");
        if (!f.bridge.empty() && m_out.bridgeIndex(f.bridge) < 0)
            r.child("bridge").fail("there is no bridge \"" + f.bridge + "\"");
        f.nth = static_cast<std::uint32_t>(r.integer("nth", 1, 1, 1 << 30));
        f.times = static_cast<std::uint32_t>(r.integer("times", 1, 0, 1 << 30));
        if (r.has("subcommand") && f.kind != FaultDescription::Kind::Command &&
            f.kind != FaultDescription::Kind::ReadbackCorrupt)
            r.child("subcommand").fail("only command and readback_corrupt faults name a sub-command");
        switch (f.kind) {
            case FaultDescription::Kind::Command: {
                if (!r.has("opcode")) r.fail("a command fault names its \"opcode\"");
                f.opcode = static_cast<std::uint8_t>(r.number("opcode", 0, 0xFF));
                if (r.has("register")) f.reg = static_cast<std::uint16_t>(r.number("register", 0, 0xFFFF));
                if (r.has("subcommand")) {
                    if (f.opcode != kPdOpcode)
                        r.child("subcommand").fail("only opcode 0xEC has sub-commands");
                    f.subcommand = static_cast<std::uint8_t>(r.number("subcommand", 0, 0xFF));
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

    BenchDescription& m_out;
    std::string m_source;
};

}  // namespace

int BenchDescription::bridgeIndex(const std::string& id) const {
    for (std::size_t i = 0; i < bridges.size(); ++i)
        if (bridges[i].id == id) return static_cast<int>(i);
    return -1;
}

BenchDescription parseDescription(const nlohmann::json& json, const std::string& source) {
    BenchDescription out;
    Parser(out, source).parseTop(json);
    return out;
}

RegistryEntry registryEntryFromJson(const nlohmann::json& value, const std::string& where) {
    RegistryEntry e;
    if (value.is_number_integer()) {
        const auto v = value.get<std::int64_t>();
        if (v < 0 || v > 0xFFFFFFFFll) throw BenchError(where + ": a DWORD lies in 0..4294967295");
        e.type = 4;
        for (int i = 0; i < 4; ++i) e.data.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    } else if (value.is_string()) {
        e.type = 1;
        e.data = utf16le(value.get<std::string>());
        e.data.push_back(0);
        e.data.push_back(0);
    } else if (value.is_object() && value.contains("binary") && value.at("binary").is_string()) {
        auto bytes = parseHexBytes(value.at("binary").get<std::string>());
        if (!bytes) throw BenchError(where + ": \"binary\" is not a hex byte string");
        e.type = 3;
        e.data = *bytes;
    } else if (value.is_object() && value.contains("type") && value.at("type").is_number_integer() &&
               value.contains("hex") && value.at("hex").is_string()) {
        auto bytes = parseHexBytes(value.at("hex").get<std::string>());
        if (!bytes) throw BenchError(where + ": \"hex\" is not a hex byte string");
        e.type = value.at("type").get<std::uint32_t>();
        e.data = *bytes;
    } else {
        throw BenchError(
            where + ": expected a number (DWORD), a text, {\"binary\": hex} or {\"type\": n, \"hex\": hex}");
    }
    return e;
}

nlohmann::json registryEntryToJson(const RegistryEntry& entry) {
    if (entry.type == 4 && entry.data.size() == 4)
        return entry.data[0] | (entry.data[1] << 8) | (entry.data[2] << 16) |
               (std::uint32_t{entry.data[3]} << 24);
    if (entry.type == 1) {
        // Stored with its terminator; a text that holds more than that is kept byte for byte.
        const std::string text = fromUtf16le(entry.data);
        auto again = utf16le(text);
        again.push_back(0);
        again.push_back(0);
        if (again == entry.data) return text;
    }
    if (entry.type == 3) return {{"binary", hexBytes(entry.data)}};
    return {{"type", entry.type}, {"hex", hexBytes(entry.data)}};
}

}  // namespace bench
