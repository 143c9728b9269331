#include "platform/linux/linux_sg_io.h"

#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/pass_through_rules.h"

namespace quib::platform::sgio {
namespace {

using records::ScsiPassThrough;

constexpr std::uint32_t kMsPerSecond = 1000;
constexpr std::uint16_t kHostNoConnect = 0x01;  // DID_NO_CONNECT: the device is gone
constexpr std::uint16_t kHostBadTarget = 0x04;  // DID_BAD_TARGET
constexpr std::uint16_t kHostTimeOut = 0x03;    // DID_TIME_OUT
constexpr std::uint16_t kDriverSense = 0x08;    // DRIVER_SENSE: sense data are valid, not a failure
constexpr std::uint16_t kDriverTimeOut = 0x06;  // DRIVER_TIMEOUT
constexpr std::uint32_t kErrorGenFailure = 31;
constexpr std::uint32_t kErrorNotEnoughMemory = 8;
constexpr std::uint32_t kErrorBusy = 170;

int kernelSgIo(int fd, sg_io_hdr_t& header) {
    return ::ioctl(fd, SG_IO, &header);
}

SgIoCall& sgIoCall() {
    static SgIoCall call = &kernelSgIo;
    return call;
}

int directionOf(const ScsiPassThrough& spt) {
    if (spt.DataTransferLength == 0) return SG_DXFER_NONE;
    if (spt.DataIn == records::kScsiDataIn) return SG_DXFER_FROM_DEV;
    if (spt.DataIn == records::kScsiDataOut) return SG_DXFER_TO_DEV;
    return SG_DXFER_TO_FROM_DEV;  // unspecified: the data go both ways
}

// Runs one command. `record` is the request's own memory: the header, and the sense area at its offset.
// False (with the last error set) when the kernel or the transport failed; the device's status otherwise.
bool run(int fd, ScsiPassThrough& spt, std::uint8_t* record, std::uint8_t* data) {
    sg_io_hdr_t header{};
    header.interface_id = 'S';
    header.dxfer_direction = directionOf(spt);
    header.cmd_len = spt.CdbLength;
    header.cmdp = spt.Cdb;
    header.dxfer_len = spt.DataTransferLength;
    header.dxferp = spt.DataTransferLength > 0 ? data : nullptr;
    header.mx_sb_len = spt.SenseInfoLength;
    header.sbp = spt.SenseInfoLength > 0 ? record + spt.SenseInfoOffset : nullptr;
    header.timeout = spt.TimeOutValue * kMsPerSecond;

    if (sgIoCall()(fd, header) != 0) {
        setLastError(systemErrorOf(errno));
        return false;
    }
    if (header.host_status == kHostNoConnect || header.host_status == kHostBadTarget) {
        setLastError(kErrorDeviceNotConnected);
        return false;
    }
    if (header.host_status == kHostTimeOut || (header.driver_status & 0x0F) == kDriverTimeOut) {
        setLastError(kErrorSemTimeout);
        return false;
    }
    if (header.host_status != 0 || (header.driver_status & ~kDriverSense & 0xFF) != 0) {
        setLastError(kErrorIoDevice);
        return false;
    }
    spt.ScsiStatus = header.status;
    spt.SenseInfoLength = spt.ScsiStatus != 0 ? std::min(header.sb_len_wr, spt.SenseInfoLength) : 0;
    const int moved = static_cast<int>(header.dxfer_len) - std::max(header.resid, 0);
    spt.DataTransferLength = static_cast<std::uint32_t>(std::max(moved, 0));
    setLastError(kErrorSuccess);
    return true;
}

}  // namespace

SgIoCall setSgIoCall(SgIoCall call) {
    const SgIoCall previous = sgIoCall();
    sgIoCall() = call != nullptr ? call : &kernelSgIo;
    return previous;
}

std::uint32_t systemErrorOf(int errnoValue) {
    switch (errnoValue) {
        case 0:
            return kErrorSuccess;
        case ENOENT:
            return kErrorFileNotFound;
        case EACCES:
        case EPERM:
        case EROFS:
            return kErrorAccessDenied;
        case EBADF:
            return kErrorInvalidHandle;
        case ENOMEM:
            return kErrorNotEnoughMemory;
        case EINVAL:
        case EFAULT:
        case ENOTTY:
            return kErrorInvalidParameter;
        case ENODEV:
        case ENXIO:
        case ESHUTDOWN:
            return kErrorDeviceNotConnected;
        case EIO:
            return kErrorIoDevice;
        case ETIMEDOUT:
            return kErrorSemTimeout;
        case EBUSY:
            return kErrorBusy;
        default:
            return kErrorGenFailure;
    }
}

ScsiResult passThrough(int fd, records::ScsiPassThroughWithBuffers& record, std::uint32_t inputSize,
                       std::uint32_t outputSize) {
    if (const std::uint32_t refused = judgeBufferedRequest(record.spt, inputSize, outputSize)) {
        setLastError(refused);
        return {};
    }
    // The kernel works on a copy holding what the input carried; the caller's record receives no more than
    // the output size, as the I/O manager copies back only that much.
    auto answer = std::make_unique<records::ScsiPassThroughWithBuffers>();
    std::memset(answer.get(), 0, sizeof *answer);
    std::memcpy(answer.get(), &record, inputSize);
    auto* bytes = reinterpret_cast<std::uint8_t*>(answer.get());
    if (!run(fd, answer->spt, bytes, bytes + record.spt.DataBufferOffset)) return {};

    std::uint32_t returned = records::kSptHeaderAndSense;
    if (record.spt.DataIn == records::kScsiDataIn && record.spt.DataTransferLength > 0)
        returned = record.spt.DataBufferOffset + answer->spt.DataTransferLength;
    returned = std::min(returned, outputSize);
    std::memcpy(&record, answer.get(), returned);
    return {true, returned};
}

ScsiResult passThroughDirect(int fd, records::ScsiPassThroughDirect& record, std::span<std::uint8_t> data) {
    if (const std::uint32_t refused = judgeDirectRequest(record.spt, data.size())) {
        setLastError(refused);
        return {};
    }
    if (!run(fd, record.spt, reinterpret_cast<std::uint8_t*>(&record), data.data())) return {};
    return {true, static_cast<std::uint32_t>(sizeof record)};
}

}  // namespace quib::platform::sgio
