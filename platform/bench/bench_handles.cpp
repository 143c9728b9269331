#include "platform/bench/bench_backend.h"

namespace quib::platform {
namespace {

constexpr std::uint64_t kTag = 0x51;
constexpr std::uint64_t kTag32 = 0x5;
constexpr int kAccessShift = 48;
constexpr int kByNumberShift = 50;

}  // namespace

// 64-bit builds carry every field whole; 32-bit builds (Windows x86) pack them into 31 bits: device
// numbers below 256 and the chip's incarnation modulo 16384, enough for any bench.
DeviceHandle benchHandleOf(const bench::Target& t, std::uint32_t access) {
    const std::uint64_t kind = static_cast<std::uint8_t>(t.kind);
    const std::uint64_t rights = access & (kAccessRead | kAccessWrite);
    const std::uint64_t byNumber = t.byNumber ? 1u : 0u;
    if constexpr (sizeof(DeviceHandle) < 8) {
        if (t.index > 0xFF || kind > 7) return kInvalidHandle;
        return static_cast<DeviceHandle>((kTag32 << 28) | (kind << 25) | (byNumber << 24) | (rights << 22) |
                                         (std::uint64_t{t.index} << 14) | (t.incarnation & 0x3FFF));
    }
    const std::uint64_t value = (kTag << 40) | (kind << 32) | (std::uint64_t{t.incarnation & 0xFFFF} << 16) |
                                (t.index & 0xFFFF) | (rights << kAccessShift) | (byNumber << kByNumberShift);
    return static_cast<DeviceHandle>(value);
}

namespace {
struct HandleFields {
    std::uint8_t kind;
    std::uint32_t index, incarnation, access;
    bool byNumber;
};
std::optional<HandleFields> fieldsOf(DeviceHandle handle) {
    if constexpr (sizeof(DeviceHandle) < 8) {
        const auto value = static_cast<std::uint32_t>(handle);
        if ((value >> 28) != kTag32) return std::nullopt;
        return HandleFields{static_cast<std::uint8_t>((value >> 25) & 7), (value >> 14) & 0xFF,
                            value & 0x3FFF, (value >> 22) & 3, ((value >> 24) & 1) != 0};
    }
    const auto value = static_cast<std::uint64_t>(handle);
    if (((value >> 40) & 0xFF) != kTag || (value >> 51) != 0) return std::nullopt;
    return HandleFields{static_cast<std::uint8_t>(value >> 32), static_cast<std::uint32_t>(value & 0xFFFF),
                        static_cast<std::uint32_t>((value >> 16) & 0xFFFF),
                        static_cast<std::uint32_t>((value >> kAccessShift) & 3),
                        ((value >> kByNumberShift) & 1) != 0};
}
}  // namespace

std::optional<bench::Target> benchTargetOf(DeviceHandle handle) {
    const auto f = fieldsOf(handle);
    if (!f) return std::nullopt;
    if (f->kind < static_cast<std::uint8_t>(bench::Target::Kind::Disk) ||
        f->kind > static_cast<std::uint8_t>(bench::Target::Kind::UsbDevice))
        return std::nullopt;
    return bench::Target{static_cast<bench::Target::Kind>(f->kind), f->index, f->incarnation, f->byNumber};
}

std::uint32_t benchAccessOf(DeviceHandle handle) {
    const auto f = fieldsOf(handle);
    return f ? f->access : 0;
}

}  // namespace quib::platform
