// The USB tree: "controllers", their root hubs, hubs and ports, and the USB devices that are not
// bridges.
#include <algorithm>
#include <set>

#include "bench/description/parser.h"

namespace bench::description_reader {

void Parser::parseController(const JsonReader& r) {
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

int Parser::parseHub(const JsonReader& r, int controller, int parent, std::uint32_t parentPort, int depth) {
    r.requireObject({"port_count", "ports", "vid", "pid", "description"});
    return parseHubBody(r, controller, parent, parentPort, depth);
}

int Parser::parseHubBody(const JsonReader& r, int controller, int parent, std::uint32_t parentPort,
                         int depth) {
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
                          "USB#VID_%04X&PID_%04X#5&%08x&0&%u#{f18a0e88-c30c-11d0-8815-00a0c906bed8}", hub.vid,
                          hub.pid, 0x1c3b5e00u + static_cast<unsigned>(index),
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
    const auto portCount =
        static_cast<std::uint32_t>(r.integer("port_count", std::max<std::int64_t>(4, highest), 1, kMaxPorts));
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

int Parser::parseDevice(const JsonReader& r, int hub, std::uint32_t port) {
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

}  // namespace bench::description_reader
