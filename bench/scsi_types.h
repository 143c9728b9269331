// One SCSI command as a bench device receives it, and its answer.
#pragma once

#include <array>
#include <cstdint>

namespace bench {

struct ScsiCommand {
    std::array<std::uint8_t, 16> cdb{};
    std::uint8_t cdbLength = 0;
    std::uint8_t dataIn = 0;  // 1 data from the device, 0 to the device or none, 2 unspecified
    std::uint32_t transferLength = 0;
    std::uint32_t timeoutSeconds = 0;
};

inline constexpr std::uint8_t kStatusGood = 0;
inline constexpr std::uint8_t kStatusCheckCondition = 2;

// Fixed-format sense data (18 bytes).
using SenseData = std::array<std::uint8_t, 18>;
SenseData makeSense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq = 0);
inline constexpr std::uint8_t kSenseIllegalRequest = 0x05;
inline constexpr std::uint8_t kAscInvalidOpcode = 0x20;
inline constexpr std::uint8_t kAscInvalidFieldInCdb = 0x24;
inline constexpr std::uint8_t kAscLbaOutOfRange = 0x21;

// What the device did besides answering.
enum class ChipEvent { None, Restart, PowerLoss };

struct ScsiReply {
    std::uint8_t status = kStatusGood;
    std::uint32_t bytesMoved = 0;
    SenseData sense{};
    ChipEvent event = ChipEvent::None;
    int restartMode = 0;

    static ScsiReply good(std::uint32_t bytes = 0) {
        ScsiReply r;
        r.bytesMoved = bytes;
        return r;
    }
    static ScsiReply check(std::uint8_t asc) {
        ScsiReply r;
        r.status = kStatusCheckCondition;
        r.sense = makeSense(kSenseIllegalRequest, asc);
        return r;
    }
};

inline SenseData makeSense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
    SenseData s{};
    s[0] = 0x70;
    s[2] = key;
    s[7] = 10;
    s[12] = asc;
    s[13] = ascq;
    return s;
}

}  // namespace bench
