#include "platform/linux/usbfs_control.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace quib::platform::usbfs {
namespace {

constexpr std::uint32_t kControlTimeOutMs = 5000;

int kernelControl(const std::string& node, usbdevfs_ctrltransfer& transfer) {
    const int fd = ::open(node.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return -1;
    const int moved = ::ioctl(fd, USBDEVFS_CONTROL, &transfer);
    const int error = errno;
    ::close(fd);
    errno = error;
    return moved;
}

ControlCall& controlCall() {
    static ControlCall call = &kernelControl;
    return call;
}

std::uint32_t errorOf(int errnoValue) {
    switch (errnoValue) {
        case EPIPE:
        case EPROTO:
        case EILSEQ:
            return kErrorGenFailure;  // the device stalled the request or answered garbage
        case ENODEV:
        case ENOENT:
        case ESHUTDOWN:
        case ENXIO:
            return kErrorDeviceNotConnected;
        case EACCES:
        case EPERM:
            return kErrorAccessDenied;
        case ETIMEDOUT:
            return kErrorSemTimeout;
        case EINVAL:
            return kErrorInvalidParameter;
        default:
            return kErrorGenFailure;
    }
}

}  // namespace

ControlCall setControlCall(ControlCall call) {
    const ControlCall previous = controlCall();
    controlCall() = call != nullptr ? call : &kernelControl;
    return previous;
}

std::string nodeOf(const std::string& devRoot, std::uint32_t bus, std::uint32_t address) {
    char tail[32];
    std::snprintf(tail, sizeof tail, "/bus/usb/%03u/%03u", bus, address);
    return devRoot + tail;
}

std::optional<std::vector<std::uint8_t>> request(const std::string& node, const SetupPacket& setup) {
    if (setup.wLength == 0 || (setup.bmRequest & 0x80) == 0) {
        setLastError(kErrorInvalidParameter);
        return std::nullopt;
    }
    std::vector<std::uint8_t> answer(setup.wLength);
    usbdevfs_ctrltransfer transfer{};
    transfer.bRequestType = setup.bmRequest;
    transfer.bRequest = setup.bRequest;
    transfer.wValue = setup.wValue;
    transfer.wIndex = setup.wIndex;
    transfer.wLength = setup.wLength;
    transfer.timeout = kControlTimeOutMs;
    transfer.data = answer.data();
    const int moved = controlCall()(node, transfer);
    if (moved < 0) {
        setLastError(errorOf(errno));
        return std::nullopt;
    }
    answer.resize(std::min<std::size_t>(static_cast<std::size_t>(moved), answer.size()));
    setLastError(kErrorSuccess);
    return answer;
}

}  // namespace quib::platform::usbfs
