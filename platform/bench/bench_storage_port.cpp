#include "platform/bench/bench_storage_port.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/bench/bench_backend.h"

namespace quib::platform {
namespace {

using records::kMaxScsiLen;
using records::kSptHeaderAndSense;
using records::kSptWholeRecord;
using records::ScsiPassThrough;

constexpr std::uint32_t kHeaderSize = sizeof(ScsiPassThrough);                       // 44
constexpr std::uint32_t kDirectRecordSize = sizeof(records::ScsiPassThroughDirect);  // 80
constexpr std::uint32_t kMaxTimeOutSeconds = 30 * 60 * 60;

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

// Checks both forms share: the header, the CDB, the direction, the time-out, and a sense area that lies
// inside the record behind the header (`senseLimit`: where the record's sense room ends).
std::uint32_t judgeHeader(const ScsiPassThrough& spt, std::uint64_t senseLimit) {
    if (spt.Length != kHeaderSize) return kErrorInvalidParameter;
    if (spt.CdbLength == 0 || spt.CdbLength > sizeof spt.Cdb) return kErrorInvalidParameter;
    if (spt.DataIn > records::kScsiDataUnspecified) return kErrorInvalidParameter;
    if (spt.TimeOutValue == 0 || spt.TimeOutValue > kMaxTimeOutSeconds) return kErrorInvalidParameter;
    if (spt.SenseInfoLength > 0 && (spt.SenseInfoOffset < kHeaderSize ||
                                    std::uint64_t{spt.SenseInfoOffset} + spt.SenseInfoLength > senseLimit))
        return kErrorInvalidParameter;
    return 0;
}

// Reasons the OS refuses a buffered request before any device sees it.
std::uint32_t judgeBuffered(const ScsiPassThrough& spt, std::uint32_t inputSize, std::uint32_t outputSize) {
    if (inputSize < kHeaderSize) return kErrorInvalidParameter;
    if (inputSize > kSptWholeRecord || outputSize > kSptWholeRecord)
        return kErrorInvalidParameter;  // beyond the record
    // The sense data come back in the output: the sense area ends within it, and before the data.
    std::uint64_t senseLimit = outputSize;
    if (spt.DataTransferLength > 0) senseLimit = std::min<std::uint64_t>(senseLimit, spt.DataBufferOffset);
    if (const std::uint32_t refused = judgeHeader(spt, senseLimit)) return refused;
    if (spt.DataTransferLength == 0) return 0;
    if (spt.DataTransferLength > kMaxScsiLen) return kErrorInvalidParameter;
    if (spt.DataBufferOffset < kSptHeaderAndSense ||
        std::uint64_t{spt.DataBufferOffset} + spt.DataTransferLength > kSptWholeRecord)
        return kErrorInvalidParameter;
    const std::uint64_t end = std::uint64_t{spt.DataBufferOffset} + spt.DataTransferLength;
    if (spt.DataIn == records::kScsiDataIn && outputSize < end) return kErrorInvalidParameter;
    if (spt.DataIn != records::kScsiDataIn && inputSize < end) return kErrorInvalidParameter;
    return 0;
}

std::uint32_t judgeDirect(const ScsiPassThrough& spt, std::size_t dataSize) {
    if (const std::uint32_t refused = judgeHeader(spt, kDirectRecordSize)) return refused;
    if (spt.DataTransferLength > dataSize) return kErrorInvalidParameter;
    return 0;
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
    return benchHandleOf(*target, access);
}

void BenchStorage::close(DeviceHandle handle) {
    if (!benchTargetOf(handle)) {
        setLastError(kErrorInvalidHandle);
        return;
    }
    --m_open;
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
    if (!request.refusedWith) request.refusedWith = judgeBuffered(spt, inputSize, outputSize);

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
    if (!request.refusedWith) request.refusedWith = judgeDirect(spt, data.size());
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

}  // namespace quib::platform
