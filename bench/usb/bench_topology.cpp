// The bench: what is on the bus, disk and CD-ROM numbering, restarts and faults.
#include <algorithm>

#include "bench/bench_internal.h"
#include "bench/hex_text.h"

namespace bench {

const PortSlot* Bench::slotAt(int hub, std::uint32_t port) const {
    if (hub < 0 || static_cast<std::size_t>(hub) >= m_description.hubs.size()) return nullptr;
    const auto& ports = m_description.hubs[static_cast<std::size_t>(hub)].ports;
    if (port == 0 || port > ports.size()) return nullptr;
    return &ports[port - 1];
}

bool Bench::portFailsEnumeration(int hub, std::uint32_t port) const {
    const PortSlot* slot = slotAt(hub, port);
    if (!slot) return false;
    if (slot->kind == PortSlot::Kind::Failed) return true;
    for (const auto& f : m_description.faults) {
        if (f.kind != FaultDescription::Kind::Enumeration) continue;
        if (!f.bridge.empty()) {
            const int b = m_description.bridgeIndex(f.bridge);
            if (b >= 0 && m_description.bridges[static_cast<std::size_t>(b)].hub == hub &&
                m_description.bridges[static_cast<std::size_t>(b)].port == port)
                return true;
            continue;
        }
        int h = m_description.controllers[static_cast<std::size_t>(f.controller)].rootHub;
        for (std::size_t i = 0; i + 1 < f.ports.size(); ++i) h = slotAt(h, f.ports[i])->index;
        if (h == hub && f.ports.back() == port) return true;
    }
    return false;
}

bool Bench::hubReachable(int hub) const {
    const HubDescription& h = m_description.hubs[static_cast<std::size_t>(hub)];
    if (h.parentHub < 0) return true;
    return hubReachable(h.parentHub) && !portFailsEnumeration(h.parentHub, h.parentPort);
}

bool Bench::bridgeReachable(int bridge) const {
    const BridgeSlot& slot = m_state->bridges[static_cast<std::size_t>(bridge)];
    const BridgeDescription& d = m_description.bridges[static_cast<std::size_t>(bridge)];
    return slot.onBus && !slot.ejected && !slot.stuckOff && hubReachable(d.hub) &&
           !portFailsEnumeration(d.hub, d.port);
}

int Bench::bridgeOnDisk(int disk) const {
    for (std::size_t b = 0; b < m_chips.size(); ++b)
        if (!m_description.bridges[b].cdrom && m_state->bridges[b].diskNumber == disk &&
            bridgeReachable(static_cast<int>(b)))
            return static_cast<int>(b);
    return -1;
}

int Bench::bridgeOnCdrom(int cdrom) const {
    for (std::size_t b = 0; b < m_chips.size(); ++b)
        if (m_description.bridges[b].cdrom && m_state->bridges[b].cdromNumber == cdrom &&
            bridgeReachable(static_cast<int>(b)))
            return static_cast<int>(b);
    return -1;
}

bool Bench::diskPresent(int disk) const {
    if (disk < 0) return false;
    if (static_cast<std::size_t>(disk) < m_description.systemDisks.size()) return true;
    return bridgeOnDisk(disk) >= 0;
}

std::vector<int> Bench::diskNumbersPresent() {
    return transact([&] {
        std::vector<int> out;
        for (std::size_t i = 0; i < m_description.systemDisks.size(); ++i) out.push_back(static_cast<int>(i));
        for (std::size_t b = 0; b < m_chips.size(); ++b)
            if (!m_description.bridges[b].cdrom && bridgeReachable(static_cast<int>(b)))
                out.push_back(m_state->bridges[b].diskNumber);
        std::sort(out.begin(), out.end());
        return out;
    });
}

int Bench::nextFreeNumber(bool cdrom) const {
    int highest = cdrom ? m_state->highestCdrom : m_state->highestDisk;
    for (std::size_t b = 0; b < m_chips.size(); ++b)
        if (m_description.bridges[b].cdrom == cdrom && bridgeReachable(static_cast<int>(b)))
            highest =
                std::max(highest, cdrom ? m_state->bridges[b].cdromNumber : m_state->bridges[b].diskNumber);
    return highest + 1;
}

// Gives a bridge its disk or CD-ROM number. At creation: its fixed number, else the lowest number not
// given yet. On return from a restart, by its numbering: the lowest number nobody holds; one above the
// highest ever used; or its old number when nobody holds it (else one above the highest).
void Bench::placeBridge(int bridge, bool initial) {
    const BridgeDescription& d = m_description.bridges[static_cast<std::size_t>(bridge)];
    BridgeSlot& slot = m_state->bridges[static_cast<std::size_t>(bridge)];
    int& number = d.cdrom ? slot.cdromNumber : slot.diskNumber;
    int& highest = d.cdrom ? m_state->highestCdrom : m_state->highestDisk;
    auto taken = [&](int n) {
        if (!d.cdrom && static_cast<std::size_t>(n) < m_description.systemDisks.size()) return true;
        for (std::size_t b = 0; b < m_chips.size(); ++b) {
            if (static_cast<int>(b) == bridge || m_description.bridges[b].cdrom != d.cdrom) continue;
            const int other = d.cdrom ? m_state->bridges[b].cdromNumber : m_state->bridges[b].diskNumber;
            if (other == n && (initial || bridgeReachable(static_cast<int>(b)))) return true;
        }
        return false;
    };
    using Numbering = BridgeDescription::RestartNumbering;
    if (initial || d.restartNumbering == Numbering::Lowest) {
        if (!initial || number < 0) {
            number = d.cdrom ? 0 : static_cast<int>(m_description.systemDisks.size());
            while (taken(number)) ++number;
        }
    } else if (!(d.restartNumbering == Numbering::Same && number >= 0 && !taken(number))) {
        number = nextFreeNumber(d.cdrom);
    }
    highest = std::max(highest, number);
}

void Bench::updateDiskEnum() {
    struct Disk {
        int number;
        std::string instance;
    };
    std::vector<Disk> disks;
    for (std::size_t i = 0; i < m_description.systemDisks.size(); ++i)
        disks.push_back({static_cast<int>(i), m_names.systemDisks[i].instanceId});
    for (std::size_t b = 0; b < m_chips.size(); ++b)
        if (!m_description.bridges[b].cdrom && bridgeReachable(static_cast<int>(b)))
            disks.push_back({m_state->bridges[b].diskNumber, m_names.bridgeStorage[b].instanceId});
    std::sort(disks.begin(), disks.end(), [](const Disk& a, const Disk& b) { return a.number < b.number; });

    RegistryStore& reg = m_state->registry;
    for (const auto& [name, entry] : reg.values(kDiskEnumKey)) {
        (void)entry;
        if (!name.empty() &&
            std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; }))
            reg.removeValue(kDiskEnumKey, name);
    }
    auto dword = [](std::uint32_t v) {
        return RegistryEntry{4,
                             {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                              static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)}};
    };
    for (std::size_t i = 0; i < disks.size(); ++i) {
        RegistryEntry text{1, utf16le(disks[i].instance)};
        text.data.insert(text.data.end(), {0, 0});
        reg.write(kDiskEnumKey, std::to_string(i), text);
    }
    reg.write(kDiskEnumKey, "Count", dword(static_cast<std::uint32_t>(disks.size())));
    reg.write(kDiskEnumKey, "NextInstance", dword(static_cast<std::uint32_t>(disks.size())));
    m_registryDirty = true;
}

bool Bench::faultMatches(std::size_t index, int bridge) {
    const FaultDescription& f = m_description.faults[index];
    if (!f.bridge.empty() && m_description.bridgeIndex(f.bridge) != bridge) return false;
    FaultCounter& counter = m_state->faults[index];
    ++counter.matched;
    m_dirty = true;
    const bool fires = counter.matched >= f.nth && (f.times == 0 || counter.matched < f.nth + f.times);
    if (fires) counter.fired = true;
    return fires;
}

void Bench::dropOffBus(int bridge, bool forceRomCodeOnReturn) {
    BridgeSlot& slot = m_state->bridges[static_cast<std::size_t>(bridge)];
    slot.onBus = false;
    slot.romCodeOnReturn = forceRomCodeOnReturn;
    slot.returnAtMs =
        m_state->clockMs + m_description.bridges[static_cast<std::size_t>(bridge)].restartDelayMs;
    for (std::size_t i = 0; i < m_description.faults.size(); ++i)
        if (m_description.faults[i].kind == FaultDescription::Kind::NeverReturns && faultMatches(i, bridge)) {
            slot.stuckOff = true;
            slot.returnAtMs.reset();
        }
    m_dirty = true;
    updateDiskEnum();
}

// A bridge that is off the bus (restarting, ejected, stuck) gets the power cycle on its return.
void Bench::powerCycleBridge(int bridge) {
    m_state->bridges[static_cast<std::size_t>(bridge)].powerCycleOnReturn = true;
    m_dirty = true;
    if (bridgeReachable(bridge)) dropOffBus(bridge, false);
}

void Bench::settle() {
    bool changed = false;
    for (std::size_t b = 0; b < m_chips.size(); ++b) {
        BridgeSlot& slot = m_state->bridges[b];
        if (slot.onBus || !slot.returnAtMs || m_state->clockMs < *slot.returnAtMs) continue;
        slot.returnAtMs.reset();
        slot.onBus = true;
        ++slot.incarnation;
        ++slot.restarts;
        if (slot.powerCycleOnReturn && m_chips[b]->pd()) m_chips[b]->pd()->powerOn();
        m_chips[b]->boot(slot.romCodeOnReturn);
        slot.romCodeOnReturn = false;
        slot.powerCycleOnReturn = false;
        placeBridge(static_cast<int>(b), false);
        changed = true;
    }
    if (changed) {
        m_dirty = true;
        updateDiskEnum();
    }
}

std::string Bench::deviceNameOf(const Target& t) const {
    switch (t.kind) {
        case Target::Kind::Disk: {
            if (t.index < m_description.systemDisks.size()) return "system_disk" + std::to_string(t.index);
            const int b = bridgeOnDisk(static_cast<int>(t.index));
            return b >= 0 ? m_description.bridges[static_cast<std::size_t>(b)].id
                          : "disk" + std::to_string(t.index);
        }
        case Target::Kind::Cdrom: {
            const int b = bridgeOnCdrom(static_cast<int>(t.index));
            return b >= 0 ? m_description.bridges[static_cast<std::size_t>(b)].id
                          : "cdrom" + std::to_string(t.index);
        }
        case Target::Kind::Controller:
            return "controller" + std::to_string(t.index);
        case Target::Kind::Hub:
            return "hub" + std::to_string(t.index);
        case Target::Kind::Volume:
            return "volume" + std::to_string(t.index);
        case Target::Kind::UsbDevice:
            return "usb_device" + std::to_string(t.index);
    }
    return "unknown";
}

}  // namespace bench
