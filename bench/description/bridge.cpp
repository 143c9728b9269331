// A bridge on a port ("bridge"), and the disk and CD-ROM numbers the bridges ask for.
#include <algorithm>
#include <set>

#include "bench/bench_error.h"
#include "bench/bridge/bridge_registers.h"
#include "bench/bridge/firmware_image.h"
#include "bench/description/parser.h"
#include "bench/hex_text.h"

namespace bench::description_reader {

namespace {

constexpr std::size_t kFactoryConfigSize = 124;

}  // namespace

int Parser::parseBridge(const JsonReader& r, int hub, std::uint32_t port) {
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
                     "gpio_inputs",
                     "uart_rx",
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
        b.drive = parseDrive(r, pcie, index);
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
    if (!b.cdrom && b.cdromNumber) r.child("cdrom_number").fail("only a CD-ROM bridge has a CD-ROM number");
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
    // What the outside world drives on the input pins. A raw value of the level registers serves as the
    // level when the key is absent; an idle UART line is high.
    const auto rawRegister = [&](std::uint16_t address) -> std::optional<std::uint8_t> {
        const auto it = b.registers.find(address);
        if (it == b.registers.end()) return std::nullopt;
        return it->second.front();
    };
    b.gpioInputs = static_cast<std::uint8_t>(
        r.integer("gpio_inputs", rawRegister(reg::kGpioInputLevel).value_or(0), 0, 255));
    const auto rawUart = rawRegister(reg::kUartInputLevel);
    b.uartRx = r.flag("uart_rx", rawUart ? (*rawUart & reg::kUartRxBit) != 0 : true);
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

void Parser::checkBridgeNumbers() {
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

}  // namespace bench::description_reader
