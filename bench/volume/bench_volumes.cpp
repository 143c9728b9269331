// The bench: reading and writing disks and volumes, volume locks, partition queries and what the file
// system on a volume reports.
#include <algorithm>
#include <cstdio>

#include "bench/bench_internal.h"

namespace bench {
namespace {

ScsiCommand blockCommand(bool write, std::uint64_t lba, std::uint32_t blocks, std::uint32_t bytes) {
    ScsiCommand c;
    if (lba + blocks <= 0xFFFFFFFFull && blocks <= 0xFFFF) {
        c.cdb[0] = write ? 0x2A : 0x28;
        for (int i = 0; i < 4; ++i) c.cdb[2 + i] = static_cast<std::uint8_t>(lba >> (24 - 8 * i));
        c.cdb[7] = static_cast<std::uint8_t>(blocks >> 8);
        c.cdb[8] = static_cast<std::uint8_t>(blocks);
        c.cdbLength = 10;
    } else {
        c.cdb[0] = write ? 0x8A : 0x88;
        for (int i = 0; i < 8; ++i) c.cdb[2 + i] = static_cast<std::uint8_t>(lba >> (56 - 8 * i));
        for (int i = 0; i < 4; ++i) c.cdb[10 + i] = static_cast<std::uint8_t>(blocks >> (24 - 8 * i));
        c.cdbLength = 16;
    }
    c.dataIn = write ? 0 : 1;
    c.transferLength = bytes;
    c.timeoutSeconds = 60;
    return c;
}

std::string hex2(unsigned v) {
    char b[4];
    std::snprintf(b, sizeof b, "%02X", v & 0xFF);
    return b;
}

}  // namespace

DiskLayout Bench::layoutOf(int bridge) const {
    const BridgeChip& chip = *m_chips[static_cast<std::size_t>(bridge)];
    const DriveDescription& d = *m_description.bridges[static_cast<std::size_t>(bridge)].drive;
    return readDiskLayout(
        [&](std::uint64_t at, std::span<std::uint8_t> out) { return chip.readDrive(at, out); },
        d.reportedBytesPerSector, d.reportedBlocks() * d.reportedBytesPerSector);
}

char Bench::volumeLetter(std::size_t volume) const {
    const char assigned = volume < m_state->volumeLetters.size() ? m_state->volumeLetters[volume] : 0;
    return assigned ? assigned : m_description.volumes[volume].letter;
}

std::optional<Bench::VolumePlace> Bench::volumePlace(std::size_t volume) const {
    const VolumeDescription& vol = m_description.volumes[volume];
    VolumePlace place;
    place.letter = volumeLetter(volume);
    if (vol.systemDisk) {
        const auto& disk = m_description.systemDisks[static_cast<std::size_t>(*vol.systemDisk)];
        place.systemDisk = *vol.systemDisk;
        place.offset = kImplicitPartitionOffset;
        place.length = disk.sectors * 512 - kImplicitPartitionOffset;
        place.style = DiskLayout::Style::Mbr;
        return place;
    }
    if (!vol.bridge || !bridgeReachable(*vol.bridge)) return std::nullopt;
    const BridgeDescription& b = m_description.bridges[static_cast<std::size_t>(*vol.bridge)];
    if (b.cdrom || !b.drive) return std::nullopt;
    place.bridge = *vol.bridge;
    const DiskLayout layout = layoutOf(*vol.bridge);
    place.style = layout.style;
    if (layout.style == DiskLayout::Style::Raw) {
        std::vector<std::uint8_t> first(b.drive->reportedBytesPerSector);
        const bool blank = m_chips[static_cast<std::size_t>(*vol.bridge)]->readDrive(0, first) &&
                           std::all_of(first.begin(), first.end(), [](std::uint8_t v) { return v == 0; });
        if (!blank) return std::nullopt;  // something other than a partition table
        place.offset = kImplicitPartitionOffset;
        place.length = b.drive->reportedBlocks() * b.drive->reportedBytesPerSector - kImplicitPartitionOffset;
        place.slot = {1, place.offset, place.length, 0x07, false, {}, 0};
        place.style = DiskLayout::Style::Mbr;  // as the table it stands for would be read
        return place;
    }
    const PartitionSlot* data = dataPartition(layout);
    if (!data) return std::nullopt;
    place.slot = *data;
    place.offset = data->offset;
    place.length = data->length;
    return place;
}

std::optional<std::uint32_t> Bench::driveTransfer(int bridge, std::uint64_t offset,
                                                  std::span<std::uint8_t> data, bool write,
                                                  std::uint32_t& error) {
    const BridgeDescription& b = m_description.bridges[static_cast<std::size_t>(bridge)];
    const std::uint32_t bs = b.drive->reportedBytesPerSector;
    const std::uint32_t maxPiece = std::max<std::uint32_t>(b.maxTransfer / bs * bs, bs);
    std::uint32_t moved = 0;
    while (moved < data.size()) {
        const std::uint32_t piece =
            std::min<std::uint32_t>(maxPiece, static_cast<std::uint32_t>(data.size() - moved));
        ScsiRequest request;
        request.command = blockCommand(write, (offset + moved) / bs, piece / bs, piece);
        request.inputSize = request.outputSize = 56;
        request.direct = true;
        const std::span<std::uint8_t> part = data.subspan(moved, piece);
        const ScsiOutcome outcome = runOnBridge(bridge, request, part);
        record(b.id, request, outcome);
        if (!outcome.controlOk || outcome.scsiStatus != kStatusGood || outcome.bytesMoved != piece) {
            error = outcome.controlOk ? err::kIoDevice : outcome.systemError;
            return std::nullopt;
        }
        const double speed = write ? b.drive->writeMiBps : b.drive->readMiBps;
        if (speed > 0) advanceUs(static_cast<std::uint64_t>(piece / (speed * 1048576.0) * 1e6 + 0.5));
        moved += piece;
    }
    return moved;
}

std::optional<std::uint32_t> Bench::transfer(const Target& t, std::uint64_t offset,
                                             std::span<std::uint8_t> data, bool write, std::uint32_t& error) {
    return transact([&]() -> std::optional<std::uint32_t> {
        if (!targetPresent(t)) {
            error = err::kDeviceNotConnected;
            return std::nullopt;
        }
        int bridge = -1;
        std::uint64_t base = 0, limit = 0;
        if (t.kind == Target::Kind::Disk && t.index >= m_description.systemDisks.size()) {
            bridge = bridgeOnDisk(static_cast<int>(t.index));
            const auto& d = m_description.bridges[static_cast<std::size_t>(bridge)].drive;
            if (!d) {
                error = err::kNotReady;
                return std::nullopt;
            }
            limit = d->reportedBlocks() * d->reportedBytesPerSector;
        } else if (t.kind == Target::Kind::Volume) {
            const auto place = volumePlace(t.index);
            if (!place) {
                error = err::kDeviceNotConnected;
                return std::nullopt;
            }
            bridge = place->bridge;
            base = place->offset;
            limit = place->length;
            if (bridge < 0) {
                m_volumeEvents.push_back(std::string("refused ") + (write ? "write" : "read") +
                                         " system_disk" + std::to_string(place->systemDisk));
                error = err::kAccessDenied;
                return std::nullopt;
            }
        } else if (t.kind == Target::Kind::Disk) {
            m_volumeEvents.push_back(std::string("refused ") + (write ? "write" : "read") + " system_disk" +
                                     std::to_string(t.index));
            error = err::kAccessDenied;
            return std::nullopt;
        } else {
            error = err::kInvalidFunction;
            return std::nullopt;
        }
        const std::uint32_t bs =
            m_description.bridges[static_cast<std::size_t>(bridge)].drive->reportedBytesPerSector;
        if (offset % bs != 0 || data.size() % bs != 0) {
            error = err::kInvalidParameter;  // unbuffered transfers are whole sectors
            return std::nullopt;
        }
        if (offset > limit || data.size() > limit - offset) {
            error = err::kSectorNotFound;
            return std::nullopt;
        }
        if (data.empty()) return 0u;
        return driveTransfer(bridge, base + offset, data, write, error);
    });
}

bool Bench::volumeControl(const Target& t, VolumeControl op, bool otherHandles, std::uint32_t& error) {
    return transact([&] {
        if (t.kind != Target::Kind::Volume) {
            error = err::kInvalidFunction;
            return false;
        }
        const auto place = volumePlace(t.index);
        if (!place) {
            error = err::kDeviceNotConnected;
            return false;
        }
        const char letter = place->letter;
        const std::string name(1, letter);
        switch (op) {
            case VolumeControl::Lock:
                if (otherHandles || m_description.volumes[t.index].held || m_lockedVolumes.count(letter)) {
                    error = err::kAccessDenied;
                    m_volumeEvents.push_back("lock refused " + name);
                    return false;
                }
                m_lockedVolumes.insert(letter);
                m_volumeEvents.push_back("lock " + name);
                return true;
            case VolumeControl::Dismount:
                m_volumeEvents.push_back("dismount " + name);
                return true;
            case VolumeControl::Unlock:
                if (!m_lockedVolumes.erase(letter)) {
                    error = err::kNotLocked;
                    return false;
                }
                m_volumeEvents.push_back("unlock " + name);
                return true;
            case VolumeControl::Release:
                if (m_lockedVolumes.erase(letter)) m_volumeEvents.push_back("unlock " + name);
                return true;
        }
        return false;
    });
}

bool Bench::updateProperties(const Target& t, std::uint32_t& error) {
    return transact([&] {
        if (t.kind != Target::Kind::Disk || !targetPresent(t)) {
            error = t.kind != Target::Kind::Disk ? err::kInvalidFunction : err::kDeviceNotConnected;
            return false;
        }
        m_volumeEvents.push_back("update " + std::to_string(t.index));
        return true;
    });
}

std::optional<Bench::PartitionFacts> Bench::partitionFacts(const Target& t, std::uint32_t& error) {
    return transact([&]() -> std::optional<PartitionFacts> {
        if (!targetPresent(t)) {
            error = err::kDeviceNotConnected;
            return std::nullopt;
        }
        PartitionFacts facts;
        if (t.kind == Target::Kind::Volume) {
            const auto place = volumePlace(t.index);
            if (!place) {
                error = err::kDeviceNotConnected;
                return std::nullopt;
            }
            facts.style = place->style;
            facts.slot = place->slot;
            if (place->systemDisk >= 0) facts.slot = {1, place->offset, place->length, 0x07, true, {}, 0};
            if (place->bridge >= 0)
                facts.bytesPerSector = m_description.bridges[static_cast<std::size_t>(place->bridge)]
                                           .drive->reportedBytesPerSector;
            return facts;
        }
        if (t.kind == Target::Kind::Disk && t.index >= m_description.systemDisks.size()) {
            const int bridge = bridgeOnDisk(static_cast<int>(t.index));
            const auto& d = m_description.bridges[static_cast<std::size_t>(bridge)].drive;
            if (!d) {
                error = err::kNotReady;
                return std::nullopt;
            }
            facts.style = layoutOf(bridge).style;
            facts.slot.length = d->reportedBlocks() * d->reportedBytesPerSector;
            facts.bytesPerSector = d->reportedBytesPerSector;
            return facts;
        }
        error = err::kInvalidFunction;
        return std::nullopt;
    });
}

bool Bench::setPartitionType(const Target& t, std::uint8_t type, std::uint32_t& error) {
    return transact([&] {
        const auto place = t.kind == Target::Kind::Volume ? volumePlace(t.index) : std::nullopt;
        if (!place || place->bridge < 0 || place->style != DiskLayout::Style::Mbr ||
            place->slot.entryOffset == 0) {
            error = place ? err::kInvalidFunction : err::kDeviceNotConnected;
            return false;
        }
        BridgeChip& chip = *m_chips[static_cast<std::size_t>(place->bridge)];
        const std::uint32_t bs =
            m_description.bridges[static_cast<std::size_t>(place->bridge)].drive->reportedBytesPerSector;
        std::vector<std::uint8_t> mbr(bs);
        if (!chip.readDrive(0, mbr)) {
            error = err::kIoDevice;
            return false;
        }
        mbr[place->slot.entryOffset + 4] = type;
        chip.writeDrive(0, mbr);
        m_volumeEvents.push_back(std::string("type ") + place->letter + " " + hex2(type));
        return true;
    });
}

std::optional<std::uint32_t> Bench::partitionCount(const Target& t, std::uint32_t& error) {
    return transact([&]() -> std::optional<std::uint32_t> {
        if (t.kind == Target::Kind::Disk && t.index < m_description.systemDisks.size())
            return 4u;  // the system disk's MBR, as the system lists it
        if (t.kind != Target::Kind::Disk || !targetPresent(t)) {
            error = t.kind != Target::Kind::Disk ? err::kInvalidFunction : err::kDeviceNotConnected;
            return std::nullopt;
        }
        const DiskLayout layout = layoutOf(bridgeOnDisk(static_cast<int>(t.index)));
        switch (layout.style) {
            case DiskLayout::Style::Raw:
                return 0u;
            case DiskLayout::Style::Mbr:
                return 4u;
            case DiskLayout::Style::Gpt:
                return static_cast<std::uint32_t>(layout.partitions.size());
        }
        return std::nullopt;
    });
}

std::optional<VolumeFacts> Bench::volumeFacts(const std::string& rootPath, std::uint32_t& error) {
    return transact([&]() -> std::optional<VolumeFacts> {
        const char letter = letterOfMountPoint(rootPath);
        for (std::size_t v = 0; v < m_description.volumes.size(); ++v) {
            if (volumeLetter(v) != letter) continue;
            const auto place = volumePlace(v);
            if (!place) break;
            if (place->bridge < 0) return VolumeFacts{"NTFS", "", 0x5EBE0001, std::nullopt};
            const BridgeChip& chip = *m_chips[static_cast<std::size_t>(place->bridge)];
            const auto facts = probeVolume(
                [&](std::uint64_t at, std::span<std::uint8_t> out) {
                    return at <= place->length && out.size() <= place->length - at &&
                           chip.readDrive(place->offset + at, out);
                },
                place->length);
            if (!facts) error = err::kUnrecognizedVolume;
            return facts;
        }
        error = err::kPathNotFound;
        return std::nullopt;
    });
}

std::vector<std::string> Bench::volumeEvents() {
    return transact([&] { return m_volumeEvents; });
}

std::vector<std::uint8_t> Bench::driveBytes(const std::string& bridgeId, std::uint64_t offset,
                                            std::size_t length) {
    return transact([&] {
        const int b = m_description.bridgeIndex(bridgeId);
        if (b < 0) throw BenchError("no bridge \"" + bridgeId + "\"");
        std::vector<std::uint8_t> out(length);
        if (!m_chips[static_cast<std::size_t>(b)]->readDrive(offset, out))
            throw BenchError("bridge \"" + bridgeId + "\": those bytes are past its drive's end");
        return out;
    });
}

}  // namespace bench
