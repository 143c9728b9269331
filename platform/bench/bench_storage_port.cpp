#include "platform/bench/bench_storage_port.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/ata_translation.h"
#include "platform/bench/bench_backend.h"
#include "platform/pass_through_rules.h"

namespace quib::platform {
namespace {

using records::kSptHeaderAndSense;
using records::kSptWholeRecord;
using records::ScsiPassThrough;

constexpr std::uint32_t kHeaderSize = sizeof(ScsiPassThrough);  // 44

// The device receives only the CdbLength bytes of the CDB.
bench::ScsiCommand commandOf(const ScsiPassThrough& spt) {
    bench::ScsiCommand c;
    std::memcpy(c.cdb.data(), spt.Cdb, std::min<std::size_t>(spt.CdbLength, sizeof spt.Cdb));
    c.cdbLength = spt.CdbLength;
    c.dataIn = spt.DataIn;
    c.transferLength = spt.DataTransferLength;
    c.timeoutSeconds = spt.TimeOutValue;
    return c;
}

bench::RequestHeader headerOf(const ScsiPassThrough& spt) {
    bench::RequestHeader h;
    h.length = spt.Length;
    h.pathId = spt.PathId;
    h.targetId = spt.TargetId;
    h.lun = spt.Lun;
    h.senseInfoLength = spt.SenseInfoLength;
    h.senseInfoOffset = spt.SenseInfoOffset;
    h.dataBufferOffset = spt.DataBufferOffset;
    return h;
}

// Pass-through needs a handle opened for reading and writing (its control code asks for both).
std::uint32_t judgeAccess(DeviceHandle handle) {
    const std::uint32_t both = kAccessRead | kAccessWrite;
    return (benchAccessOf(handle) & both) == both ? 0u : std::uint32_t{kErrorAccessDenied};
}

// Fills status, the moved length and sense data into the header area of a record copy.
void answerInto(std::uint8_t* record, std::uint32_t recordSize, const bench::ScsiOutcome& outcome) {
    auto* spt = reinterpret_cast<ScsiPassThrough*>(record);
    spt->ScsiStatus = outcome.scsiStatus;
    spt->DataTransferLength = outcome.bytesMoved;
    if (outcome.scsiStatus != bench::kStatusGood && spt->SenseInfoLength > 0 &&
        spt->SenseInfoOffset >= kHeaderSize) {
        const std::uint32_t length = std::min<std::uint32_t>(spt->SenseInfoLength, outcome.sense.size());
        if (std::uint64_t{spt->SenseInfoOffset} + length <= recordSize) {
            std::memcpy(record + spt->SenseInfoOffset, outcome.sense.data(), length);
            spt->SenseInfoLength = static_cast<std::uint8_t>(length);
        }
    } else {
        spt->SenseInfoLength = 0;
    }
}

}  // namespace

std::optional<bench::Target> BenchStorage::targetOf(DeviceHandle handle) {
    const auto target = benchTargetOf(handle);
    if (!target) setLastError(kErrorInvalidHandle);
    return target;
}

DeviceHandle BenchStorage::open(const std::string& path, std::uint32_t access) {
    std::uint32_t error = 0;
    const auto target = m_bench->open(path, error);
    if (!target) {
        setLastError(error);
        return kInvalidHandle;
    }
    ++m_open;
    const DeviceHandle handle = benchHandleOf(*target, access);
    std::lock_guard lock(m_handlesLock);
    ++m_opens[handle];
    return handle;
}

void BenchStorage::close(DeviceHandle handle) {
    const auto target = benchTargetOf(handle);
    if (!target) {
        setLastError(kErrorInvalidHandle);
        return;
    }
    --m_open;
    bool last = false;
    {
        std::lock_guard lock(m_handlesLock);
        const auto it = m_opens.find(handle);
        if (it != m_opens.end() && --it->second <= 0) {
            m_opens.erase(it);
            last = true;
        }
    }
    // Closing the handle that locked a volume ends the lock.
    std::uint32_t error = 0;
    if (last && target->kind == bench::Target::Kind::Volume)
        m_bench->volumeControl(*target, bench::Bench::VolumeControl::Release, false, error);
}

ScsiResult BenchStorage::scsiPassThrough(DeviceHandle handle, records::ScsiPassThroughWithBuffers& record,
                                         std::uint32_t inputSize, std::uint32_t outputSize) {
    const auto target = targetOf(handle);
    if (!target) return {};
    const ScsiPassThrough& spt = record.spt;
    bench::ScsiRequest request;
    request.command = commandOf(spt);
    request.header = headerOf(spt);
    request.inputSize = inputSize;
    request.outputSize = outputSize;
    request.refusedWith = judgeAccess(handle);
    if (!request.refusedWith) request.refusedWith = judgeBufferedRequest(spt, inputSize, outputSize);

    // The device works on its own copy; what comes back into the caller's record is limited to the
    // output size, as the I/O manager copies back only that much.
    std::vector<std::uint8_t> data;
    if (!request.refusedWith && spt.DataTransferLength > 0) {
        const std::uint8_t* area = reinterpret_cast<const std::uint8_t*>(&record) + spt.DataBufferOffset;
        if (spt.DataIn == records::kScsiDataIn)
            data.assign(spt.DataTransferLength, 0);
        else
            data.assign(area, area + spt.DataTransferLength);
    }
    const bench::ScsiOutcome outcome = m_bench->executeScsi(*target, request, data);
    if (!outcome.controlOk) {
        setLastError(outcome.systemError);
        return {};
    }
    std::vector<std::uint8_t> answer(kSptWholeRecord);
    std::memcpy(answer.data(), &record, kSptWholeRecord);
    answerInto(answer.data(), kSptWholeRecord, outcome);
    std::uint32_t returned = kSptHeaderAndSense;
    if (spt.DataIn == records::kScsiDataIn && spt.DataTransferLength > 0) {
        std::memcpy(answer.data() + spt.DataBufferOffset, data.data(),
                    std::min<std::size_t>(outcome.bytesMoved, data.size()));
        returned = spt.DataBufferOffset + outcome.bytesMoved;
    }
    returned = std::min(returned, outputSize);
    std::memcpy(&record, answer.data(), returned);
    setLastError(kErrorSuccess);
    return {true, returned};
}

ScsiResult BenchStorage::scsiPassThroughDirect(DeviceHandle handle, records::ScsiPassThroughDirect& record,
                                               std::span<std::uint8_t> data) {
    const auto target = targetOf(handle);
    if (!target) return {};
    const ScsiPassThrough& spt = record.spt;
    bench::ScsiRequest request;
    request.command = commandOf(spt);
    request.header = headerOf(spt);
    request.inputSize = sizeof record;
    request.outputSize = sizeof record;
    request.direct = true;
    request.refusedWith = judgeAccess(handle);
    if (!request.refusedWith) request.refusedWith = judgeDirectRequest(spt, data.size());
    const std::span<std::uint8_t> transfer =
        request.refusedWith ? std::span<std::uint8_t>() : data.first(spt.DataTransferLength);
    const bench::ScsiOutcome outcome = m_bench->executeScsi(*target, request, transfer);
    if (!outcome.controlOk) {
        setLastError(outcome.systemError);
        return {};
    }
    answerInto(reinterpret_cast<std::uint8_t*>(&record), sizeof record, outcome);
    setLastError(kErrorSuccess);
    return {true, static_cast<std::uint32_t>(sizeof record)};
}

ScsiResult BenchStorage::ataPassThroughDirect(DeviceHandle handle, AtaRequest& request,
                                              std::span<std::uint8_t> data) {
    return ata::carryOverSat(request, data, [&](records::ScsiPassThroughDirect& record, auto bytes) {
        return scsiPassThroughDirect(handle, record, bytes);
    });
}

std::optional<StorageDeviceNumber> BenchStorage::deviceNumber(DeviceHandle handle) {
    const auto target = targetOf(handle);
    if (!target) return std::nullopt;
    std::uint32_t error = 0;
    const auto n = m_bench->deviceNumber(*target, error);
    if (!n) {
        setLastError(error);
        return std::nullopt;
    }
    return StorageDeviceNumber{n->deviceType, n->number, 0};
}

std::optional<StorageDescriptor> BenchStorage::storageDescriptor(DeviceHandle handle) {
    const auto target = targetOf(handle);
    if (!target) return std::nullopt;
    std::uint32_t error = 0;
    const auto info = m_bench->storageInfo(*target, error);
    if (!info) {
        setLastError(error);
        return std::nullopt;
    }
    return StorageDescriptor{info->busType, info->removable, info->vendor,
                             info->product, info->revision,  info->serial};
}

std::optional<DriveGeometry> BenchStorage::driveGeometry(DeviceHandle handle) {
    const auto target = targetOf(handle);
    if (!target) return std::nullopt;
    std::uint32_t error = 0;
    const auto g = m_bench->geometry(*target, error);
    if (!g) {
        setLastError(error);
        return std::nullopt;
    }
    return DriveGeometry{g->cylinders, g->tracksPerCylinder, g->sectorsPerTrack, g->bytesPerSector,
                         g->diskSize};
}

std::optional<std::uint32_t> BenchStorage::readAt(DeviceHandle handle, std::uint64_t offset,
                                                  std::span<std::uint8_t> data) {
    const auto target = targetOf(handle);
    if (!target) return std::nullopt;
    if (!(benchAccessOf(handle) & kAccessRead)) {
        setLastError(kErrorAccessDenied);
        return std::nullopt;
    }
    std::uint32_t error = 0;
    const auto moved = m_bench->transfer(*target, offset, data, false, error);
    setLastError(moved ? kErrorSuccess : error);
    return moved;
}

std::optional<std::uint32_t> BenchStorage::writeAt(DeviceHandle handle, std::uint64_t offset,
                                                   std::span<const std::uint8_t> data) {
    const auto target = targetOf(handle);
    if (!target) return std::nullopt;
    if (!(benchAccessOf(handle) & kAccessWrite)) {
        setLastError(kErrorAccessDenied);
        return std::nullopt;
    }
    // The device works on its own copy of what is written.
    std::vector<std::uint8_t> copy(data.begin(), data.end());
    std::uint32_t error = 0;
    const auto moved = m_bench->transfer(*target, offset, copy, true, error);
    setLastError(moved ? kErrorSuccess : error);
    return moved;
}

bool BenchStorage::volumeControl(DeviceHandle volume, bench::Bench::VolumeControl op) {
    const auto target = targetOf(volume);
    if (!target) return false;
    bool others = false;
    {
        std::lock_guard lock(m_handlesLock);
        int open = 0;
        for (const auto& [h, n] : m_opens)
            if (const auto t = benchTargetOf(h); t && *t == *target) open += n;
        others = open > 1;
    }
    std::uint32_t error = 0;
    const bool ok = m_bench->volumeControl(*target, op, others, error);
    setLastError(ok ? kErrorSuccess : error);
    return ok;
}

bool BenchStorage::lockVolume(DeviceHandle volume) {
    return volumeControl(volume, bench::Bench::VolumeControl::Lock);
}
bool BenchStorage::dismountVolume(DeviceHandle volume) {
    return volumeControl(volume, bench::Bench::VolumeControl::Dismount);
}
bool BenchStorage::unlockVolume(DeviceHandle volume) {
    return volumeControl(volume, bench::Bench::VolumeControl::Unlock);
}

template <class Ask>
auto BenchStorage::onTarget(DeviceHandle handle, Ask&& ask) {
    using Answer = decltype(ask(std::declval<const bench::Target&>(), std::declval<std::uint32_t&>()));
    const auto target = targetOf(handle);
    if (!target) return Answer{};
    std::uint32_t error = 0;
    Answer answer = ask(*target, error);
    setLastError(answer ? kErrorSuccess : error);
    return answer;
}

bool BenchStorage::updateProperties(DeviceHandle disk) {
    return onTarget(disk, [this](const bench::Target& t, std::uint32_t& error) {
        return m_bench->updateProperties(t, error);
    });
}

std::optional<PartitionInfo> BenchStorage::partitionInfo(DeviceHandle handle) {
    const auto target = targetOf(handle);
    if (!target) return std::nullopt;
    std::uint32_t error = 0;
    const auto facts = m_bench->partitionFacts(*target, error);
    if (!facts) {
        setLastError(error);
        return std::nullopt;
    }
    PartitionInfo info;
    switch (facts->style) {
        case bench::DiskLayout::Style::Raw:
            info.style = PartitionStyle::Raw;
            break;
        case bench::DiskLayout::Style::Mbr:
            info.style = PartitionStyle::Mbr;
            break;
        case bench::DiskLayout::Style::Gpt:
            info.style = PartitionStyle::Gpt;
            break;
    }
    info.startingOffset = static_cast<std::int64_t>(facts->slot.offset);
    info.partitionLength = static_cast<std::int64_t>(facts->slot.length);
    info.partitionNumber = facts->slot.number;
    info.mbrType = facts->slot.mbrType;
    info.bootIndicator = facts->slot.active;
    info.hiddenSectors = static_cast<std::uint32_t>(facts->slot.offset / facts->bytesPerSector);
    info.gptType = facts->slot.gptType;
    setLastError(kErrorSuccess);
    return info;
}

bool BenchStorage::setPartitionType(DeviceHandle volume, std::uint8_t type) {
    return onTarget(volume, [this, type](const bench::Target& t, std::uint32_t& error) {
        return m_bench->setPartitionType(t, type, error);
    });
}

std::optional<std::uint32_t> BenchStorage::partitionCount(DeviceHandle disk) {
    return onTarget(disk, [this](const bench::Target& t, std::uint32_t& error) {
        return m_bench->partitionCount(t, error);
    });
}

}  // namespace quib::platform
