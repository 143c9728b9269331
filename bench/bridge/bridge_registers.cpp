#include "bench/bridge/bridge_registers.h"

#include <algorithm>

namespace bench {

std::uint8_t familyMemberOf(int deviceType) {
    switch (deviceType) {
        case 0:
            return 0;
        case 1:
            return 1;
        case 2:
            return 2;
        case 3:
        case 4:
            return 3;  // told apart by bit 1 of the package register
        case 5:
            return 5;
        case 6:
            return 0;
        case 7:
            return 1;
        default:
            return 7;
    }
}

void deriveRegisters(const BridgeDescription& b, const VersionBytes* running, std::span<std::uint8_t> space) {
    std::fill(space.begin(), space.end(), 0);
    if (running) std::copy(running->begin(), running->end(), space.begin() + reg::kFirmwareVersion);

    const bool type7 = b.deviceType == 7;
    space[reg::kTransport] = type7 ? (b.uas ? 0x01 : 0x00) : (b.uas ? 0x80 : 0x00);
    space[reg::kChipFamily] =
        static_cast<std::uint8_t>((familyMemberOf(b.deviceType) << 4) | (b.msignature & 0xF));

    std::uint8_t package = static_cast<std::uint8_t>(b.package.value_or(0));
    if (b.deviceType == 3) package |= 0x02;
    if (b.deviceType == 4) package &= static_cast<std::uint8_t>(~0x02);
    space[reg::kPackage] = package;

    if (type7) space[reg::kGeneration] = b.generation == 3 ? 0x14 : b.generation == 4 ? 0x10 : 0x00;
    space[reg::kCcOrientation] = static_cast<std::uint8_t>(b.ccOrientation & 1);

    const std::uint8_t speed = b.link == LinkSpeed::Full ? 0 : b.link == LinkSpeed::High ? 1 : 2;
    if (type7) {
        space[reg::kLinkSpeed850B] = speed;
        space[reg::kLinkFlags850B] =
            static_cast<std::uint8_t>((b.link == LinkSpeed::Plus ? 0x04 : 0) | (b.lanes == 2 ? 0x10 : 0));
    } else {
        space[reg::kLinkSpeed] = speed;
        space[reg::kLinkPlus] = b.link == LinkSpeed::Plus ? 1 : 0;
    }

    for (const auto& [address, bytes] : b.registers)
        std::copy(bytes.begin(), bytes.end(), space.begin() + address);
    for (const auto& [address, bits] : b.registerNoise) space[address] |= bits;
}

}  // namespace bench
