// The bench: the USB tree, device interfaces, the device installation set and ejection.
#include <cstdio>

#include "bench/bench_internal.h"
#include "bench/hex_text.h"

namespace bench {
namespace {

constexpr std::uint16_t kLanguageEnglishUs = 0x0409;

std::uint8_t speedCode(LinkSpeed link) {
    switch (link) {
        case LinkSpeed::Full:
            return 1;
        case LinkSpeed::High:
            return 2;
        default:
            return 3;
    }
}

std::uint16_t bcdUsbOf(LinkSpeed link) {
    switch (link) {
        case LinkSpeed::Full:
            return 0x0200;
        case LinkSpeed::High:
            return 0x0210;
        default:
            return 0x0320;
    }
}

// Connection of a bridge or another USB device: both describe themselves with the same fields.
template <typename Description>
ConnectionEntry connectedDevice(const Description& d) {
    ConnectionEntry c;
    c.status = ConnectionEntry::Status::Connected;
    c.speed = speedCode(d.link);
    c.identity = {bcdUsbOf(d.link), 0, d.vid, d.pid, d.bcdDevice, !d.manufacturer.empty(), !d.product.empty(),
                  !d.serial.empty()};
    return c;
}

std::string usbHardwareId(std::uint16_t vid, std::uint16_t pid, std::uint16_t rev) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "USB\\VID_%04X&PID_%04X&REV_%04X", vid, pid, rev);
    return buf;
}

std::vector<std::uint8_t> stringDescriptor(const std::string& text) {
    std::vector<std::uint8_t> d = {0, 3};
    const auto utf16 = utf16le(text);
    d.insert(d.end(), utf16.begin(), utf16.end());
    d[0] = static_cast<std::uint8_t>(d.size());
    return d;
}

std::vector<std::uint8_t> deviceDescriptor(const UsbIdentity& id) {
    return {18,
            1,
            static_cast<std::uint8_t>(id.bcdUsb),
            static_cast<std::uint8_t>(id.bcdUsb >> 8),
            id.deviceClass,
            0,
            0,
            static_cast<std::uint8_t>(id.bcdUsb >= 0x0300 ? 9 : 64),
            static_cast<std::uint8_t>(id.vid),
            static_cast<std::uint8_t>(id.vid >> 8),
            static_cast<std::uint8_t>(id.pid),
            static_cast<std::uint8_t>(id.pid >> 8),
            static_cast<std::uint8_t>(id.bcdDevice),
            static_cast<std::uint8_t>(id.bcdDevice >> 8),
            static_cast<std::uint8_t>(id.hasManufacturer ? 1 : 0),
            static_cast<std::uint8_t>(id.hasProduct ? 2 : 0),
            static_cast<std::uint8_t>(id.hasSerial ? 3 : 0),
            1};
}

// A mass-storage configuration: one interface (SCSI, UAS or bulk-only) with a bulk pair whose packet size
// is the one the link allows (64 bytes at full speed, 512 at high speed, 1024 above).
std::vector<std::uint8_t> massStorageConfiguration(bool uas, LinkSpeed link) {
    const std::uint16_t packet = link == LinkSpeed::Full ? 64 : link == LinkSpeed::High ? 512 : 1024;
    const std::uint8_t low = static_cast<std::uint8_t>(packet), high = static_cast<std::uint8_t>(packet >> 8);
    return {9,  2, 32,   0, 1,   1,    0, 0x80,
            48,  // configuration
            9,  4, 0,    0, 2,   8,    6, static_cast<std::uint8_t>(uas ? 0x62 : 0x50),
            0,                              // interface
            7,  5, 0x81, 2, low, high, 0,   // bulk in
            7,  5, 0x02, 2, low, high, 0};  // bulk out
}

std::map<std::string, std::string> propertiesOf(const std::string& description, const std::string& hardwareId,
                                                const std::string& className, const std::string& classGuid,
                                                const std::string& driverKey, const std::string& manufacturer,
                                                const std::string& service, const std::string& location) {
    std::map<std::string, std::string> p = {{"DeviceDesc", description}, {"HardwareID", hardwareId},
                                            {"Class", className},        {"ClassGUID", classGuid},
                                            {"Driver", driverKey},       {"Mfg", manufacturer},
                                            {"Service", service},        {"FriendlyName", description}};
    if (!location.empty()) p["LocationInformation"] = location;
    return p;
}

std::string classGuidOfKey(const std::string& driverKey) {
    return toUpper(driverKey.substr(0, 38));
}

}  // namespace

std::optional<int> Bench::hubTarget(const Target& t, std::uint32_t& error) const {
    if (t.kind != Target::Kind::Hub) {
        error = err::kInvalidFunction;
        return std::nullopt;
    }
    if (t.index >= m_description.hubs.size() || !hubReachable(static_cast<int>(t.index))) {
        error = err::kDeviceNotConnected;
        return std::nullopt;
    }
    return static_cast<int>(t.index);
}

std::optional<std::string> Bench::controllerDriverKey(const Target& t, std::uint32_t& error) {
    return transact([&]() -> std::optional<std::string> {
        if (t.kind != Target::Kind::Controller || t.index >= m_names.controllers.size()) {
            error = err::kInvalidFunction;
            return std::nullopt;
        }
        return m_names.controllers[t.index].driverKey;
    });
}

std::optional<std::string> Bench::rootHubName(const Target& t, std::uint32_t& error) {
    return transact([&]() -> std::optional<std::string> {
        if (t.kind != Target::Kind::Controller || t.index >= m_description.controllers.size()) {
            error = err::kInvalidFunction;
            return std::nullopt;
        }
        return m_description.hubs[static_cast<std::size_t>(m_description.controllers[t.index].rootHub)].name;
    });
}

std::optional<std::uint32_t> Bench::hubPortCount(const Target& t, std::uint32_t& error) {
    return transact([&]() -> std::optional<std::uint32_t> {
        const auto hub = hubTarget(t, error);
        if (!hub) return std::nullopt;
        return static_cast<std::uint32_t>(m_description.hubs[static_cast<std::size_t>(*hub)].ports.size());
    });
}

std::optional<ConnectionEntry> Bench::connection(const Target& t, std::uint32_t port, std::uint32_t& error) {
    return transact([&]() -> std::optional<ConnectionEntry> {
        const auto hub = hubTarget(t, error);
        if (!hub) return std::nullopt;
        const PortSlot* slot = slotAt(*hub, port);
        if (!slot) {
            error = err::kInvalidParameter;
            return std::nullopt;
        }
        ConnectionEntry c;
        if (portFailsEnumeration(*hub, port)) {
            c.status = ConnectionEntry::Status::FailedEnumeration;
            return c;
        }
        switch (slot->kind) {
            case PortSlot::Kind::Empty:
            case PortSlot::Kind::Failed:
                return c;
            case PortSlot::Kind::Hub: {
                const HubDescription& h = m_description.hubs[static_cast<std::size_t>(slot->index)];
                c.status = ConnectionEntry::Status::Connected;
                c.isHub = true;
                c.speed = 2;
                c.identity = {0x0210, 9, h.vid, h.pid, 0x0100, false, false, false};
                return c;
            }
            case PortSlot::Kind::Bridge: {
                if (!bridgeReachable(slot->index)) return c;
                const BridgeDescription& b = m_description.bridges[static_cast<std::size_t>(slot->index)];
                ConnectionEntry bridge = connectedDevice(b);
                // The speed the link trained at, which a restart may have capped.
                const LinkSpeed trained = m_chips[static_cast<std::size_t>(slot->index)]->usbLink().speed;
                bridge.speed = speedCode(trained);
                bridge.identity.bcdUsb = bcdUsbOf(trained);
                return bridge;
            }
            case PortSlot::Kind::Device: {
                if (m_state->devicesEjected[static_cast<std::size_t>(slot->index)]) return c;
                const UsbDeviceDescription& d = m_description.devices[static_cast<std::size_t>(slot->index)];
                return connectedDevice(d);
            }
        }
        return c;
    });
}

std::optional<std::string> Bench::connectionName(const Target& t, std::uint32_t port, std::uint32_t& error) {
    return transact([&]() -> std::optional<std::string> {
        const auto hub = hubTarget(t, error);
        if (!hub) return std::nullopt;
        const PortSlot* slot = slotAt(*hub, port);
        if (!slot || slot->kind != PortSlot::Kind::Hub || portFailsEnumeration(*hub, port)) {
            error = err::kInvalidParameter;
            return std::nullopt;
        }
        return m_description.hubs[static_cast<std::size_t>(slot->index)].name;
    });
}

std::optional<Bench::ConnectedPort> Bench::connectedPort(const Target& t, std::uint32_t port,
                                                         std::uint32_t& error) {
    const auto c = connection(t, port, error);
    if (!c) return std::nullopt;
    if (c->status != ConnectionEntry::Status::Connected) {
        error = err::kDeviceNotConnected;
        return std::nullopt;
    }
    return ConnectedPort{*c, slotAt(*hubTarget(t, error), port)};
}

std::optional<std::string> Bench::connectionDriverKey(const Target& t, std::uint32_t port,
                                                      std::uint32_t& error) {
    return transact([&]() -> std::optional<std::string> {
        const auto connected = connectedPort(t, port, error);
        if (!connected) return std::nullopt;
        const PortSlot* slot = connected->slot;
        switch (slot->kind) {
            case PortSlot::Kind::Hub:
                return m_names.hubs[static_cast<std::size_t>(slot->index)].driverKey;
            case PortSlot::Kind::Bridge:
                return m_names.bridges[static_cast<std::size_t>(slot->index)].driverKey;
            case PortSlot::Kind::Device:
                return m_names.devices[static_cast<std::size_t>(slot->index)].driverKey;
            default:
                break;
        }
        error = err::kDeviceNotConnected;
        return std::nullopt;
    });
}

std::optional<std::vector<std::uint8_t>> Bench::descriptor(const Target& t, std::uint32_t port,
                                                           const ControlRequest& request,
                                                           std::uint32_t& error) {
    return transact([&]() -> std::optional<std::vector<std::uint8_t>> {
        ControlTraceRecord traced;
        traced.port = port;
        traced.bmRequest = request.bmRequest;
        traced.bRequest = request.bRequest;
        traced.wValue = request.wValue;
        traced.wIndex = request.wIndex;
        traced.wLength = request.wLength;
        const auto answer = answerDescriptor(t, port, request, error, traced.device);
        traced.ok = answer.has_value();
        traced.systemError = answer ? 0 : error;
        traced.bytes = answer ? static_cast<std::uint32_t>(answer->size()) : 0;
        recordControl(std::move(traced));
        return answer;
    });
}

std::optional<std::vector<std::uint8_t>> Bench::answerDescriptor(const Target& t, std::uint32_t port,
                                                                 const ControlRequest& request,
                                                                 std::uint32_t& error, std::string& device) {
    device = "port" + std::to_string(port);
    const auto connected = connectedPort(t, port, error);
    if (!connected) return std::nullopt;
    const PortSlot* slot = connected->slot;
    std::string manufacturer, product, serial;
    const BridgeDescription* bridge = nullptr;
    if (slot->kind == PortSlot::Kind::Bridge) {
        bridge = &m_description.bridges[static_cast<std::size_t>(slot->index)];
        device = bridge->id;
        manufacturer = bridge->manufacturer;
        product = bridge->product;
        serial = bridge->serial;
    } else if (slot->kind == PortSlot::Kind::Device) {
        const auto& d = m_description.devices[static_cast<std::size_t>(slot->index)];
        device = d.id;
        manufacturer = d.manufacturer;
        product = d.product;
        serial = d.serial;
    } else if (slot->kind == PortSlot::Kind::Hub) {
        device = "hub" + std::to_string(slot->index);
    }
    // The hub driver needs room for the answer: a request without data is refused before it is sent.
    if (request.wLength == 0) {
        error = err::kInvalidParameter;
        return std::nullopt;
    }
    std::optional<std::vector<std::uint8_t>> answer;
    if (request.bmRequest == 0x80 && request.bRequest == 6) {
        const std::uint8_t type = static_cast<std::uint8_t>(request.wValue >> 8);
        const std::uint8_t index = static_cast<std::uint8_t>(request.wValue);
        if (type == 1 && index == 0 && request.wIndex == 0) {
            answer = deviceDescriptor(connected->connection.identity);
        } else if (type == 2 && index == 0 && request.wIndex == 0 && bridge) {
            answer = massStorageConfiguration(
                bridge->uas, m_chips[static_cast<std::size_t>(slot->index)]->usbLink().speed);
        } else if (type == 3) {
            // String 0 (the language list) is asked for with language 0; the strings in the one
            // language the device lists. Anything else stalls.
            const bool english = request.wIndex == kLanguageEnglishUs;
            if (index == 0 && request.wIndex == 0)
                answer = std::vector<std::uint8_t>{4, 3, kLanguageEnglishUs & 0xFF, kLanguageEnglishUs >> 8};
            else if (index == 1 && english && !manufacturer.empty())
                answer = stringDescriptor(manufacturer);
            else if (index == 2 && english && !product.empty())
                answer = stringDescriptor(product);
            else if (index == 3 && english && !serial.empty())
                answer = stringDescriptor(serial);
            // The on-the-go status: the 16 raw status bytes, without a descriptor header.
            else if (index == 0xFF && request.wIndex == 1 && bridge && bridge->otbStatus)
                answer = std::vector<std::uint8_t>(bridge->otbStatus->begin(), bridge->otbStatus->end());
        }
    }
    if (!answer) {
        error = err::kGenFailure;  // the device stalls the request
        return std::nullopt;
    }
    if (answer->size() > request.wLength) answer->resize(request.wLength);
    return answer;
}

std::vector<InterfaceEntry> Bench::interfaces(const std::string& interfaceGuid) {
    return transact([&] {
        std::vector<InterfaceEntry> out;
        const std::string guid = toUpper(interfaceGuid);
        if (guid == kHostControllerInterfaceGuid) {
            for (std::size_t h = 0; h < m_description.controllers.size(); ++h) {
                const auto& c = m_description.controllers[h];
                const auto& n = m_names.controllers[h];
                out.push_back({n.interfacePath, n.instanceId,
                               propertiesOf(c.description, c.hardwareId, "USB", kUsbClassGuid, n.driverKey,
                                            "(Standard USB Host Controller)", "USBXHCI", "")});
            }
        } else if (guid == kUsbDeviceInterfaceGuid) {
            for (std::size_t k = 0; k < m_description.hubs.size(); ++k) {
                const auto& h = m_description.hubs[k];
                if (h.parentHub < 0 || !hubReachable(static_cast<int>(k))) continue;
                const auto& n = m_names.hubs[k];
                out.push_back({n.interfacePath, n.instanceId,
                               propertiesOf(h.description, usbHardwareId(h.vid, h.pid, 0x0100), "USB",
                                            kUsbClassGuid, n.driverKey, "(Generic USB Hub)", "USBHUB3",
                                            locationText(h.parentHub, h.parentPort))});
            }
            for (std::size_t b = 0; b < m_chips.size(); ++b) {
                if (!bridgeReachable(static_cast<int>(b))) continue;
                const auto& d = m_description.bridges[b];
                const auto& n = m_names.bridges[b];
                out.push_back(
                    {n.interfacePath, n.instanceId,
                     propertiesOf(d.description, usbHardwareId(d.vid, d.pid, d.bcdDevice),
                                  d.diskDriverClass ? "DiskDrive" : "USB", classGuidOfKey(n.driverKey),
                                  n.driverKey, "Compatible USB storage device",
                                  d.uas ? "UASPStor" : "USBSTOR", locationText(d.hub, d.port))});
            }
            for (std::size_t i = 0; i < m_description.devices.size(); ++i) {
                const auto& d = m_description.devices[i];
                if (m_state->devicesEjected[i] || !hubReachable(d.hub) || portFailsEnumeration(d.hub, d.port))
                    continue;
                const auto& n = m_names.devices[i];
                out.push_back(
                    {n.interfacePath, n.instanceId,
                     propertiesOf(d.description, usbHardwareId(d.vid, d.pid, d.bcdDevice),
                                  d.diskDriverClass ? "DiskDrive" : "USB", classGuidOfKey(n.driverKey),
                                  n.driverKey, d.manufacturer, "usbccgp", locationText(d.hub, d.port))});
            }
        } else if (guid == kDiskInterfaceGuid || guid == kCdromInterfaceGuid) {
            const bool cdrom = guid == kCdromInterfaceGuid;
            if (!cdrom) {
                for (std::size_t i = 0; i < m_description.systemDisks.size(); ++i) {
                    const auto& s = m_description.systemDisks[i];
                    const auto& n = m_names.systemDisks[i];
                    out.push_back({n.interfacePath, n.instanceId,
                                   propertiesOf("Disk drive", "SCSI\\Disk" + s.vendor + s.product,
                                                "DiskDrive", kDiskDriveClassGuid, n.driverKey,
                                                "(Standard disk drives)", "disk", "")});
                }
            }
            for (std::size_t b = 0; b < m_chips.size(); ++b) {
                const auto& d = m_description.bridges[b];
                if (d.cdrom != cdrom || !bridgeReachable(static_cast<int>(b))) continue;
                const auto& n = m_names.bridgeStorage[b];
                const std::string friendly = d.inquiryVendor + " " + d.inquiryProduct + " USB Device";
                auto props =
                    propertiesOf(cdrom ? "CD-ROM Drive" : "Disk drive",
                                 std::string("USBSTOR\\") + (cdrom ? "CdRom" : "Disk") + d.inquiryVendor +
                                     d.inquiryProduct + d.inquiryRevision,
                                 cdrom ? "CDROM" : "DiskDrive", cdrom ? kCdromClassGuid : kDiskDriveClassGuid,
                                 n.driverKey, cdrom ? "(Standard CD-ROM drives)" : "(Standard disk drives)",
                                 cdrom ? "cdrom" : "disk", "");
                props["FriendlyName"] = friendly;
                out.push_back({n.interfacePath, n.instanceId, props});
            }
        }
        return out;
    });
}

std::vector<DeviceEntry> Bench::allDevices() {
    return transact([&] {
        std::vector<DeviceEntry> out;
        for (const std::string guid : {kHostControllerInterfaceGuid, kUsbDeviceInterfaceGuid,
                                       kDiskInterfaceGuid, kCdromInterfaceGuid}) {
            for (auto& i : interfaces(guid)) {
                const std::string classGuid = i.properties["ClassGUID"];
                out.push_back({i.instanceId, classGuid, std::move(i.properties)});
            }
            if (guid == kHostControllerInterfaceGuid) {
                for (std::size_t h = 0; h < m_description.controllers.size(); ++h) {
                    const auto& root =
                        m_description.hubs[static_cast<std::size_t>(m_description.controllers[h].rootHub)];
                    const auto& n =
                        m_names.hubs[static_cast<std::size_t>(m_description.controllers[h].rootHub)];
                    out.push_back({n.instanceId, kUsbClassGuid,
                                   propertiesOf(root.description, "USB\\ROOT_HUB30", "USB", kUsbClassGuid,
                                                n.driverKey, "(Standard USB HUBs)", "USBHUB3", "")});
                }
            }
        }
        return out;
    });
}

std::optional<std::string> Bench::descriptionByDriverKey(const std::string& driverKey) {
    return propertyByDriverKey(driverKey, "DeviceDesc");
}

std::optional<std::string> Bench::hardwareIdByDriverKey(const std::string& driverKey) {
    return propertyByDriverKey(driverKey, "HardwareID");
}

std::optional<std::string> Bench::propertyByDriverKey(const std::string& driverKey,
                                                      const std::string& property) {
    return transact([&]() -> std::optional<std::string> {
        for (const auto& d : allDevices()) {
            const auto it = d.properties.find("Driver");
            if (it == d.properties.end() || !equalsIgnoreCase(it->second, driverKey)) continue;
            const auto value = d.properties.find(property);
            if (value != d.properties.end()) return value->second;
            return std::nullopt;
        }
        return std::nullopt;
    });
}

bool Bench::requestEject(const std::string& instanceId, std::uint32_t& error) {
    return transact([&] {
        auto vetoed = [&](int bridge) {
            for (std::size_t i = 0; i < m_description.faults.size(); ++i)
                if (m_description.faults[i].kind == FaultDescription::Kind::EjectVeto &&
                    faultMatches(i, bridge))
                    return true;
            return false;
        };
        for (std::size_t b = 0; b < m_chips.size(); ++b) {
            if (!bridgeReachable(static_cast<int>(b))) continue;
            if (!equalsIgnoreCase(instanceId, m_names.bridges[b].instanceId) &&
                !equalsIgnoreCase(instanceId, m_names.bridgeStorage[b].instanceId))
                continue;
            if (vetoed(static_cast<int>(b))) {
                error = err::kGenFailure;
                return false;
            }
            m_state->bridges[b].ejected = true;
            m_dirty = true;
            updateDiskEnum();
            return true;
        }
        for (std::size_t i = 0; i < m_names.devices.size(); ++i) {
            if (m_state->devicesEjected[i] || !equalsIgnoreCase(instanceId, m_names.devices[i].instanceId))
                continue;
            m_state->devicesEjected[i] = true;
            m_dirty = true;
            return true;
        }
        error = err::kFileNotFound;
        return false;
    });
}

}  // namespace bench
