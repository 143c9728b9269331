#include "platform/bench/bench_backend.h"

namespace quib::platform {
namespace {

constexpr std::uint64_t kTag = 0x51;
constexpr int kAccessShift = 48;
constexpr int kByNumberShift = 50;

}  // namespace

DeviceHandle benchHandleOf(const bench::Target& t, std::uint32_t access) {
    const std::uint64_t value = (kTag << 40) | (std::uint64_t{static_cast<std::uint8_t>(t.kind)} << 32) |
                                (std::uint64_t{t.incarnation & 0xFFFF} << 16) | (t.index & 0xFFFF) |
                                (std::uint64_t{access & (kAccessRead | kAccessWrite)} << kAccessShift) |
                                (std::uint64_t{t.byNumber ? 1u : 0u} << kByNumberShift);
    return static_cast<DeviceHandle>(value);
}

std::optional<bench::Target> benchTargetOf(DeviceHandle handle) {
    const auto value = static_cast<std::uint64_t>(handle);
    if (((value >> 40) & 0xFF) != kTag || (value >> 51) != 0) return std::nullopt;
    const auto kind = static_cast<std::uint8_t>(value >> 32);
    if (kind < static_cast<std::uint8_t>(bench::Target::Kind::Disk) ||
        kind > static_cast<std::uint8_t>(bench::Target::Kind::UsbDevice))
        return std::nullopt;
    return bench::Target{static_cast<bench::Target::Kind>(kind), static_cast<std::uint32_t>(value & 0xFFFF),
                         static_cast<std::uint32_t>((value >> 16) & 0xFFFF),
                         ((value >> kByNumberShift) & 1) != 0};
}

std::uint32_t benchAccessOf(DeviceHandle handle) {
    return static_cast<std::uint32_t>((static_cast<std::uint64_t>(handle) >> kAccessShift) & 3);
}

}  // namespace quib::platform
