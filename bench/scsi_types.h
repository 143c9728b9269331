// One SCSI command as a bench device receives it, and its answer.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>

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

// Sense data as a device returns them: 18 bytes of fixed format, or descriptor format (an ATA PASS-THROUGH
// answer carries its ATA registers in a descriptor), at most kMaxSenseLength bytes.
class SenseData {
  public:
    static constexpr std::size_t kMaxSenseLength = 32;
    static constexpr std::size_t kFixedLength = 18;

    SenseData() : m_length(kFixedLength) {}
    SenseData(std::initializer_list<std::uint8_t> bytes) : m_length(std::min(bytes.size(), kMaxSenseLength)) {
        std::copy_n(bytes.begin(), m_length, m_bytes.begin());
    }
    // Bytes past the longest sense data are dropped.
    static SenseData fromBytes(const std::uint8_t* bytes, std::size_t length) {
        SenseData s;
        s.m_length = std::min(length, kMaxSenseLength);
        std::copy_n(bytes, s.m_length, s.m_bytes.begin());
        return s;
    }

    std::size_t size() const { return m_length; }
    const std::uint8_t* data() const { return m_bytes.data(); }
    std::uint8_t* data() { return m_bytes.data(); }
    const std::uint8_t* begin() const { return m_bytes.data(); }
    const std::uint8_t* end() const { return m_bytes.data() + m_length; }
    std::uint8_t* begin() { return m_bytes.data(); }
    std::uint8_t* end() { return m_bytes.data() + m_length; }
    std::uint8_t operator[](std::size_t i) const { return m_bytes[i]; }
    std::uint8_t& operator[](std::size_t i) { return m_bytes[i]; }
    bool operator==(const SenseData& o) const {
        return m_length == o.m_length && std::equal(begin(), end(), o.begin());
    }

  private:
    std::array<std::uint8_t, kMaxSenseLength> m_bytes{};
    std::size_t m_length;
};

SenseData makeSense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq = 0);
inline constexpr std::uint8_t kSenseIllegalRequest = 0x05;
inline constexpr std::uint8_t kAscInvalidOpcode = 0x20;
inline constexpr std::uint8_t kAscInvalidFieldInCdb = 0x24;
inline constexpr std::uint8_t kAscLbaOutOfRange = 0x21;
inline constexpr std::uint8_t kAscMediumNotPresent = 0x3A;
inline constexpr std::uint8_t kSenseNoSense = 0x00;
inline constexpr std::uint8_t kSenseRecoveredError = 0x01;
inline constexpr std::uint8_t kSenseHardwareError = 0x04;
inline constexpr std::uint8_t kSenseAbortedCommand = 0x0B;

// What the device did besides answering.
// DriveHang: the drive behind the bridge never finished the command; the host's request times out.
enum class ChipEvent { None, Restart, PowerLoss, DriveHang };

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
