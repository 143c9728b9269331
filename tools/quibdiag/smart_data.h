// SMART READ DATA (512 bytes): the attribute table, decoded. Thresholds come with SMART READ THRESHOLDS,
// which the library does not offer, so they are not part of this.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/quibdiag/bytes.h"

namespace quibdiag {

struct SmartAttribute {
    std::uint8_t id = 0;
    std::string name;  // the common name, "Unknown" for an id without one
    std::uint16_t flags = 0;
    bool prefailure = false;  // flags bit 0: a value at or below its threshold predicts failure
    bool online = false;      // flags bit 1: updated during normal operation
    std::uint8_t value = 0, worst = 0;
    std::uint64_t raw = 0;  // 48 bits
};

struct SmartData {
    std::uint16_t revision = 0;
    std::vector<SmartAttribute> attributes;  // slots with id 0 are empty and left out
    std::uint8_t offlineStatus = 0;
    std::uint8_t selfTestStatus = 0;  // bits 7-4 the last result, bits 3-0 tenths remaining
    std::uint16_t offlineSeconds = 0;
    std::uint8_t shortTestMinutes = 0, extendedTestMinutes = 0;
    bool checksumValid = false;
};

SmartData decodeSmartData(ByteView data);

// Commonly used names of attribute ids; vendors differ on some, so these are a guide, not a promise.
std::string smartAttributeName(std::uint8_t id);

// Result of a self-test as bits 7-4 of its status byte give it.
std::string selfTestResultText(std::uint8_t status);

}  // namespace quibdiag
