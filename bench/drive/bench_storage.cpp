// The bench: opening device paths, SCSI commands, storage queries and volumes.
#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "bench/bench_internal.h"
#include "bench/hex_text.h"

namespace bench {
namespace {

constexpr std::uint32_t kUsbDeviceOfDevice = 0x4000;  // UsbDevice target indices: bridges, devices, hubs
constexpr std::uint32_t kUsbDeviceOfHub = 0x8000;

// The CDB byte a command fault's "subcommand" names: the NVMe packet phase of 0xEA/0xEB, the ATA command of
// an ATA pass-through, else byte 1 (the PD controller's sub-command of 0xEC).
std::size_t subcommandByte(std::uint8_t op) {
    switch (op) {
        case 0xEA:
        case 0xEB:
            return 2;
        case 0xA1:
            return 9;
        case 0x85:
            return 14;
        default:
            return 1;
    }
}

std::optional<std::uint32_t> numberAfter(const std::string& text, const std::string& prefix) {
    if (text.size() <= prefix.size() || text.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
    std::uint32_t n = 0;
    for (std::size_t i = prefix.size(); i < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i])) || n > 100000) return std::nullopt;
        n = n * 10 + static_cast<std::uint32_t>(text[i] - '0');
    }
    return n;
}

std::string volumeGuidOf(char letter) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "{6b1e5c0d-0000-4000-8000-0000000000%02x}", static_cast<unsigned>(letter));
    return buf;
}

std::uint32_t driveTypeOf(VolumeType t) {
    switch (t) {
        case VolumeType::Fixed:
            return 3;
        case VolumeType::Removable:
            return 2;
        case VolumeType::Remote:
            return 4;
        case VolumeType::Cdrom:
            return 5;
        case VolumeType::RamDisk:
            return 6;
    }
    return 0;
}

// A disk that is not behind a bridge answers only the standard commands.
ScsiReply answerAsSystemDisk(const SystemDiskDescription& disk, const ScsiCommand& c,
                             std::span<std::uint8_t> data) {
    if (c.cdb[0] == 0x00 || c.cdb[0] == 0x35) return ScsiReply::good();
    if (c.cdb[0] == 0x12 && !(c.cdb[1] & 1)) {
        std::vector<std::uint8_t> a(36, ' ');
        a[0] = 0;
        a[1] = 0;
        a[2] = 6;
        a[3] = 2;
        a[4] = 31;
        a[5] = a[6] = a[7] = 0;
        auto put = [&a](std::size_t at, std::size_t n, const std::string& t) {
            for (std::size_t i = 0; i < n && i < t.size(); ++i) a[at + i] = static_cast<std::uint8_t>(t[i]);
        };
        put(8, 8, disk.vendor.empty() ? "ATA" : disk.vendor);
        put(16, 16, disk.product);
        put(32, 4, disk.revision);
        const std::size_t n = std::min({a.size(), data.size(), std::size_t{c.cdb[4]}});
        std::copy_n(a.begin(), n, data.begin());
        return ScsiReply::good(static_cast<std::uint32_t>(n));
    }
    return ScsiReply::check(kAscInvalidOpcode);
}

}  // namespace

std::optional<Target> Bench::open(const std::string& path, std::uint32_t& error) {
    return transact([&]() -> std::optional<Target> {
        const std::string lower = toLower(path);
        std::string rest;
        if (lower.rfind("\\\\.\\", 0) == 0 || lower.rfind("\\\\?\\", 0) == 0) rest = lower.substr(4);
        if (!rest.empty()) {
            if (const auto n = numberAfter(rest, "physicaldrive"); n && diskPresent(static_cast<int>(*n))) {
                const int b = bridgeOnDisk(static_cast<int>(*n));
                return Target{Target::Kind::Disk, *n,
                              b >= 0 ? m_state->bridges[static_cast<std::size_t>(b)].incarnation : 0, true};
            }
            if (const auto n = numberAfter(rest, "cdrom")) {
                const int b = bridgeOnCdrom(static_cast<int>(*n));
                if (b >= 0)
                    return Target{Target::Kind::Cdrom, *n,
                                  m_state->bridges[static_cast<std::size_t>(b)].incarnation, true};
            }
            if (rest.size() == 2 && rest[1] == ':') {
                for (std::size_t v = 0; v < m_description.volumes.size(); ++v) {
                    if (std::tolower(static_cast<unsigned char>(volumeLetter(v))) == rest[0] &&
                        volumeShown(v))
                        return Target{Target::Kind::Volume, static_cast<std::uint32_t>(v), 0};
                }
            }
            for (std::size_t v = 0; v < m_description.volumes.size(); ++v) {
                const auto& vol = m_description.volumes[v];
                if ((rest == "volume" + volumeGuidOf(vol.letter) ||
                     rest == "volume" + volumeGuidOf(vol.letter) + "\\") &&
                    volumeShown(v))
                    return Target{Target::Kind::Volume, static_cast<std::uint32_t>(v), 0};
            }
            for (std::size_t k = 0; k < m_description.hubs.size(); ++k)
                if (rest == toLower(m_description.hubs[k].name) && hubReachable(static_cast<int>(k)))
                    return Target{Target::Kind::Hub, static_cast<std::uint32_t>(k), 0};
        }
        for (std::size_t h = 0; h < m_names.controllers.size(); ++h)
            if (lower == m_names.controllers[h].interfacePath)
                return Target{Target::Kind::Controller, static_cast<std::uint32_t>(h), 0};
        for (std::size_t i = 0; i < m_names.systemDisks.size(); ++i)
            if (lower == m_names.systemDisks[i].interfacePath)
                return Target{Target::Kind::Disk, static_cast<std::uint32_t>(i), 0};
        for (std::size_t b = 0; b < m_chips.size(); ++b) {
            if (!bridgeReachable(static_cast<int>(b))) continue;
            const BridgeSlot& slot = m_state->bridges[b];
            if (lower == m_names.bridgeStorage[b].interfacePath) {
                if (m_description.bridges[b].cdrom)
                    return Target{Target::Kind::Cdrom, static_cast<std::uint32_t>(slot.cdromNumber),
                                  slot.incarnation};
                return Target{Target::Kind::Disk, static_cast<std::uint32_t>(slot.diskNumber),
                              slot.incarnation};
            }
            if (lower == m_names.bridges[b].interfacePath)
                return Target{Target::Kind::UsbDevice, static_cast<std::uint32_t>(b), slot.incarnation};
        }
        for (std::size_t d = 0; d < m_names.devices.size(); ++d)
            if (lower == m_names.devices[d].interfacePath && !m_state->devicesEjected[d] &&
                hubReachable(m_description.devices[d].hub) &&
                !portFailsEnumeration(m_description.devices[d].hub, m_description.devices[d].port))
                return Target{Target::Kind::UsbDevice, kUsbDeviceOfDevice + static_cast<std::uint32_t>(d), 0};
        for (std::size_t k = 0; k < m_names.hubs.size(); ++k)
            if (!m_names.hubs[k].interfacePath.empty() && lower == m_names.hubs[k].interfacePath &&
                hubReachable(static_cast<int>(k)))
                return Target{Target::Kind::UsbDevice, kUsbDeviceOfHub + static_cast<std::uint32_t>(k), 0};
        error = err::kFileNotFound;
        return std::nullopt;
    });
}

bool Bench::targetPresent(const Target& t) {
    return transact([&] {
        switch (t.kind) {
            case Target::Kind::Disk: {
                if (t.index < m_description.systemDisks.size()) return t.incarnation == 0;
                const int b = bridgeOnDisk(static_cast<int>(t.index));
                return b >= 0 && m_state->bridges[static_cast<std::size_t>(b)].incarnation == t.incarnation;
            }
            case Target::Kind::Cdrom: {
                const int b = bridgeOnCdrom(static_cast<int>(t.index));
                return b >= 0 && m_state->bridges[static_cast<std::size_t>(b)].incarnation == t.incarnation;
            }
            case Target::Kind::Controller:
                return t.index < m_description.controllers.size();
            case Target::Kind::Hub:
                return t.index < m_description.hubs.size() && hubReachable(static_cast<int>(t.index));
            case Target::Kind::Volume: {
                return t.index < m_description.volumes.size() && volumeShown(t.index);
            }
            case Target::Kind::UsbDevice: {
                if (t.index < kUsbDeviceOfDevice)
                    return t.index < m_chips.size() && bridgeReachable(static_cast<int>(t.index)) &&
                           m_state->bridges[t.index].incarnation == t.incarnation;
                if (t.index < kUsbDeviceOfHub) {
                    const std::size_t d = t.index - kUsbDeviceOfDevice;
                    return d < m_description.devices.size() && !m_state->devicesEjected[d];
                }
                return t.index - kUsbDeviceOfHub < m_description.hubs.size() &&
                       hubReachable(static_cast<int>(t.index - kUsbDeviceOfHub));
            }
        }
        return false;
    });
}

ScsiOutcome Bench::executeScsi(const Target& target, const ScsiRequest& request,
                               std::span<std::uint8_t> data) {
    return transact([&] {
        const std::string device = deviceNameOf(target);
        ScsiOutcome outcome;
        if (!targetPresent(target)) {
            outcome.systemError = err::kDeviceNotConnected;
        } else if (request.refusedWith) {
            outcome.systemError = request.refusedWith;
        } else if (target.kind == Target::Kind::Disk && target.index < m_description.systemDisks.size()) {
            const ScsiReply reply =
                answerAsSystemDisk(m_description.systemDisks[target.index], request.command, data);
            outcome = {true, 0, reply.status, reply.bytesMoved, reply.sense};
        } else if (target.kind == Target::Kind::Disk || target.kind == Target::Kind::Cdrom) {
            const int b = target.kind == Target::Kind::Disk ? bridgeOnDisk(static_cast<int>(target.index))
                                                            : bridgeOnCdrom(static_cast<int>(target.index));
            outcome = runOnBridge(b, request, data);
        } else {
            outcome.systemError = err::kInvalidFunction;
        }
        record(device, request, outcome);
        return outcome;
    });
}

ScsiOutcome Bench::runOnBridge(int bridge, const ScsiRequest& request, std::span<std::uint8_t> data) {
    const ScsiCommand& c = request.command;
    const std::uint8_t op = c.cdb[0];
    ScsiOutcome outcome;
    // The adapter behind the bridge limits one direct transfer.
    if (request.direct &&
        c.transferLength > m_description.bridges[static_cast<std::size_t>(bridge)].maxTransfer) {
        outcome.systemError = err::kInvalidParameter;
        return outcome;
    }

    // Command faults: every matching fault counts the command; the first that fires decides.
    std::optional<std::size_t> firing;
    std::optional<std::size_t> hung;  // the drive never answers: the request times out
    BridgeChip::CommandFaults armed;
    for (std::size_t i = 0; i < m_description.faults.size(); ++i) {
        const FaultDescription& f = m_description.faults[i];
        switch (f.kind) {
            case FaultDescription::Kind::Command: {
                if (f.opcode != op) break;
                if (f.subcommand && c.cdb[subcommandByte(op)] != *f.subcommand) break;
                if (f.ataFeature && c.cdb[op == 0x85 ? 4 : 3] != *f.ataFeature) break;
                if (f.reg) {
                    const std::uint16_t address = static_cast<std::uint16_t>((c.cdb[3] << 8) | c.cdb[4]);
                    const std::uint32_t length = op == 0xE4 ? (c.cdb[1] == 0 ? 256u : c.cdb[1]) : 1u;
                    if (*f.reg < address || *f.reg >= address + length) break;
                }
                if (faultMatches(i, bridge) && !firing) firing = i;
                break;
            }
            case FaultDescription::Kind::Hold:
                // The process stops inside this command until a signal ends it (tests of interrupts).
                if (f.opcode == op && faultMatches(i, bridge)) {
                    if (f.notifyFd >= 0) {
                        const char held = 'H';
#if defined(_WIN32)
                        [[maybe_unused]] const auto n = ::_write(f.notifyFd, &held, 1);
                    }
                    for (;;) ::Sleep(INFINITE);
#else
                        [[maybe_unused]] const auto n = ::write(f.notifyFd, &held, 1);
                    }
                    for (;;) ::pause();
#endif
                }
                break;
            case FaultDescription::Kind::ReadbackCorrupt:
                if (f.subcommand ? op != kPdOpcode || c.cdb[1] != *f.subcommand : op != 0xE2 || c.cdb[1] > 1)
                    break;
                if (faultMatches(i, bridge) && !armed.corruptReadOffset) armed.corruptReadOffset = f.offset;
                break;
            case FaultDescription::Kind::DriveHang:
                if (BridgeChip::isDriveCommand(
                        op, m_description.bridges[static_cast<std::size_t>(bridge)].family == "8500") &&
                    faultMatches(i, bridge) && !firing && !hung)
                    hung = i;
                break;
            case FaultDescription::Kind::CompletionLost:
                if ((op == 0xEA || op == 0xEB) && c.cdb[2] == 0x81 && faultMatches(i, bridge))
                    armed.loseNvmeCompletion = true;
                break;
            case FaultDescription::Kind::PowerLoss:
                if (op == 0xE3 && c.cdb[1] <= 1 && !m_state->faults[i].fired &&
                    (f.bridge.empty() || m_description.bridgeIndex(f.bridge) == bridge) &&
                    !armed.powerLossAfterBytes)
                    armed.powerLossAfterBytes = f.afterBytes;
                break;
            default:
                break;
        }
    }
    if (firing) {
        const FaultDescription& f = m_description.faults[*firing];
        if (f.asCheckCondition) {
            outcome.controlOk = true;
            outcome.scsiStatus = kStatusCheckCondition;
            outcome.sense = makeSense(0x04, 0x44);  // hardware error, internal target failure
            m_chips[static_cast<std::size_t>(bridge)]->noteSense(outcome.sense);
            if (m_store) m_dirty = true;
        } else {
            outcome.systemError = f.error;
        }
        return outcome;
    }

    if (hung) {
        // The host waits the whole time-out it gave, then gives up on the request.
        m_state->clockMs += std::uint64_t{c.timeoutSeconds} * 1000;
        outcome.systemError = err::kSemTimeout;
        return outcome;
    }

    BridgeChip& chip = *m_chips[static_cast<std::size_t>(bridge)];
    // Only a folder saves state: an in-memory bench need not learn whether the chip's small state changed.
    nlohmann::json before;
    if (m_store) before = chip.runtimeToJson();
    const ScsiReply reply = chip.execute(c, data, m_state->clockMs, armed);
    if (m_store && chip.runtimeToJson() != before) m_dirty = true;

    if (reply.event == ChipEvent::PowerLoss) {
        for (std::size_t i = 0; i < m_description.faults.size(); ++i) {
            const FaultDescription& f = m_description.faults[i];
            if (f.kind == FaultDescription::Kind::PowerLoss && !m_state->faults[i].fired &&
                (f.bridge.empty() || m_description.bridgeIndex(f.bridge) == bridge)) {
                m_state->faults[i].fired = true;
                ++m_state->faults[i].matched;
                break;
            }
        }
        dropOffBus(bridge, false);
        outcome.systemError = err::kDeviceNotConnected;
        outcome.bytesMoved = reply.bytesMoved;
        return outcome;
    }
    if (reply.event == ChipEvent::Restart) {
        const auto& modes = m_description.bridges[static_cast<std::size_t>(bridge)].romResetModes;
        dropOffBus(bridge, std::find(modes.begin(), modes.end(), reply.restartMode) != modes.end());
    }
    outcome.controlOk = true;
    outcome.scsiStatus = reply.status;
    outcome.bytesMoved = reply.bytesMoved;
    outcome.sense = reply.sense;
    return outcome;
}

std::optional<StorageNumber> Bench::deviceNumber(const Target& t, std::uint32_t& error) {
    return transact([&]() -> std::optional<StorageNumber> {
        if (!targetPresent(t)) {
            error = err::kDeviceNotConnected;
            return std::nullopt;
        }
        if (t.kind == Target::Kind::Disk || t.kind == Target::Kind::Cdrom) {
            StorageNumber n{t.kind == Target::Kind::Disk ? 7u : 2u, t.index};
            const int b = t.kind == Target::Kind::Disk ? bridgeOnDisk(static_cast<int>(t.index))
                                                       : bridgeOnCdrom(static_cast<int>(t.index));
            if (t.byNumber && b >= 0) {
                const auto& reported =
                    m_description.bridges[static_cast<std::size_t>(b)].reportedDeviceNumber;
                if (reported) n.number = static_cast<std::uint32_t>(*reported);
            }
            return n;
        }
        error = err::kInvalidFunction;
        return std::nullopt;
    });
}

std::optional<StorageInfo> Bench::storageInfo(const Target& t, std::uint32_t& error) {
    return transact([&]() -> std::optional<StorageInfo> {
        if (!targetPresent(t)) {
            error = err::kDeviceNotConnected;
            return std::nullopt;
        }
        if (t.kind == Target::Kind::Disk && t.index < m_description.systemDisks.size()) {
            const auto& s = m_description.systemDisks[t.index];
            return StorageInfo{11, false, s.vendor, s.product, s.revision, s.serial};
        }
        if (t.kind == Target::Kind::Disk || t.kind == Target::Kind::Cdrom) {
            const int b = t.kind == Target::Kind::Disk ? bridgeOnDisk(static_cast<int>(t.index))
                                                       : bridgeOnCdrom(static_cast<int>(t.index));
            const auto& d = m_description.bridges[static_cast<std::size_t>(b)];
            return StorageInfo{
                7, d.cdrom, d.inquiryVendor, d.inquiryProduct, d.inquiryRevision, d.storageSerial};
        }
        error = err::kInvalidFunction;
        return std::nullopt;
    });
}

std::optional<GeometryInfo> Bench::geometry(const Target& t, std::uint32_t& error) {
    return transact([&]() -> std::optional<GeometryInfo> {
        if (!targetPresent(t)) {
            error = err::kDeviceNotConnected;
            return std::nullopt;
        }
        std::uint64_t sectors = 0;
        std::uint32_t bytesPerSector = 512;
        if (t.kind == Target::Kind::Disk && t.index < m_description.systemDisks.size()) {
            sectors = m_description.systemDisks[t.index].sectors;
        } else if (t.kind == Target::Kind::Disk) {
            const auto& d =
                m_description.bridges[static_cast<std::size_t>(bridgeOnDisk(static_cast<int>(t.index)))];
            // What the bridge reports of its drive, as the disk driver reads it with READ CAPACITY.
            if (d.drive) {
                sectors = d.drive->reportedBlocks();
                bytesPerSector = d.drive->reportedBytesPerSector;
            }
        } else if (t.kind == Target::Kind::Cdrom) {
            bytesPerSector = 2048;
        } else if (const auto place = t.kind == Target::Kind::Volume ? volumePlace(t.index) : std::nullopt) {
            // A volume answers with the geometry of the disk it lies on, as the volume manager passes the
            // request down.
            if (place->bridge >= 0) {
                const auto& d = *m_description.bridges[static_cast<std::size_t>(place->bridge)].drive;
                sectors = d.reportedBlocks();
                bytesPerSector = d.reportedBytesPerSector;
            } else {
                sectors = m_description.systemDisks[static_cast<std::size_t>(place->systemDisk)].sectors;
            }
        } else {
            error = err::kInvalidFunction;
            return std::nullopt;
        }
        GeometryInfo g;
        g.bytesPerSector = bytesPerSector;
        g.cylinders = sectors / (std::uint64_t{g.tracksPerCylinder} * g.sectorsPerTrack);
        g.diskSize = sectors * bytesPerSector;
        return g;
    });
}

std::optional<std::string> Bench::volumeNameForMountPoint(const std::string& mountPoint,
                                                          std::uint32_t& error) {
    return transact([&]() -> std::optional<std::string> {
        const char letter = letterOfMountPoint(mountPoint);
        for (std::size_t v = 0; v < m_description.volumes.size(); ++v)
            if (volumeLetter(v) == letter && volumeShown(v))
                return "\\\\?\\Volume" + volumeGuidOf(m_description.volumes[v].letter) + "\\";
        error = err::kFileNotFound;
        return std::nullopt;
    });
}

std::optional<std::vector<ExtentInfo>> Bench::diskExtents(const Target& t, std::uint32_t& error) {
    return transact([&]() -> std::optional<std::vector<ExtentInfo>> {
        if (t.kind != Target::Kind::Volume) {
            error = err::kInvalidFunction;
            return std::nullopt;
        }
        if (!targetPresent(t)) {
            error = err::kDeviceNotConnected;
            return std::nullopt;
        }
        if (const auto place = volumePlace(t.index)) {
            const std::uint32_t disk =
                place->systemDisk >= 0
                    ? static_cast<std::uint32_t>(place->systemDisk)
                    : static_cast<std::uint32_t>(
                          m_state->bridges[static_cast<std::size_t>(place->bridge)].diskNumber);
            return std::vector<ExtentInfo>{
                {disk, static_cast<std::int64_t>(place->offset), static_cast<std::int64_t>(place->length)}};
        }
        error = err::kInvalidFunction;  // a remote or CD-ROM volume lies on no disk
        return std::nullopt;
    });
}

std::uint32_t Bench::driveType(const std::string& rootPath) {
    return transact([&]() -> std::uint32_t {
        const char letter = letterOfMountPoint(rootPath);
        for (std::size_t v = 0; v < m_description.volumes.size(); ++v)
            if (volumeLetter(v) == letter && volumeShown(v))
                return driveTypeOf(m_description.volumes[v].type);
        return 1;  // DRIVE_NO_ROOT_DIR
    });
}

}  // namespace bench
