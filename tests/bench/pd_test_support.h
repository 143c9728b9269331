// The 0xEC sub-commands as the host sends them, and a bench with one PD bridge.
#pragma once

#include <array>

#include "bench_test_support.h"

namespace bench::testing {

inline ScsiCommand pdCommand(std::uint8_t sub, std::array<std::uint8_t, 6> bytes, std::uint8_t dataIn,
                             std::uint32_t transferLength) {
    return command({0xEC, sub, bytes[0], bytes[1], bytes[2], bytes[3], bytes[4], bytes[5]}, 8, dataIn,
                   transferLength);
}

inline std::uint8_t hi(std::size_t v) {
    return static_cast<std::uint8_t>(v >> 8);
}
inline std::uint8_t lo(std::size_t v) {
    return static_cast<std::uint8_t>(v);
}

inline ScsiCommand pdInitI2c() {
    return pdCommand(0x04, {}, 0, 0);
}
inline ScsiCommand pdControl() {
    return pdCommand(0x07, {0x10, 0}, 1, 16);
}
inline ScsiCommand rtErase() {
    return pdCommand(0x00, {0, 0, 0x3F, 0xFF, 0, 0}, 0, 0);
}
inline ScsiCommand rtWord(std::size_t index, std::array<std::uint8_t, 4> d) {
    return pdCommand(0x01, {hi(index), lo(index), d[0], d[1], d[2], d[3]}, 0, 0);
}
inline ScsiCommand rtVersion() {
    return pdCommand(0x03, {}, 1, 2);
}
inline ScsiCommand rtRead(std::size_t offset) {
    return pdCommand(0x06, {0x10, 0, hi(offset), lo(offset), 0, 0x20}, 1, 32);
}
inline ScsiCommand ccgVersion() {
    return pdCommand(0x21, {0x10, 0}, 1, 16);
}
inline ScsiCommand ccgFw2Version() {
    return pdCommand(0x2C, {0x10, 0}, 1, 16);
}
inline ScsiCommand ccg2FlashMode() {
    return pdCommand(0x22, {}, 0, 0);
}
inline ScsiCommand ccg2Write(std::uint8_t row) {
    return pdCommand(0x23, {row, 0}, 0, 128);
}
inline ScsiCommand ccg2Read(std::uint8_t row) {
    return pdCommand(0x24, {row, 0}, 1, 128);
}
inline ScsiCommand ccgDeviceMode() {
    return pdCommand(0x29, {0x01, 0x00}, 1, 1);
}
inline ScsiCommand ccg3Read(std::size_t row) {
    return pdCommand(0x2A, {lo(row), hi(row)}, 1, 128);
}
inline ScsiCommand ccgWrite(std::size_t row, bool ccg4) {
    return pdCommand(0x2B, {lo(row), hi(row), static_cast<std::uint8_t>(ccg4 ? 1 : 0), 0}, 0,
                     ccg4 ? 256 : 128);
}
inline ScsiCommand ccgFlashMode() {
    return pdCommand(0x2D, {}, 0, 0);
}
inline ScsiCommand mcuBootloader() {
    return pdCommand(0x32, {}, 0, 0);
}
inline ScsiCommand mcuFlashMode() {
    return pdCommand(0x33, {}, 0, 0);
}
inline ScsiCommand mcuWrite(std::size_t offset, std::uint8_t n) {
    return pdCommand(0x34, {0x08, 0x00, hi(offset), lo(offset), n, 0}, 0, n);
}
inline ScsiCommand mcuRead(std::size_t offset, std::uint8_t n) {
    return pdCommand(0x35, {0x08, 0x00, hi(offset), lo(offset), n, 0}, 1, n);
}

// A bench whose bridge "b0" (disk 1) has the given PD entry; `bridge` adds keys of the bridge.
inline std::shared_ptr<Bench> pdBench(nlohmann::json pd, nlohmann::json bridge = nlohmann::json::object(),
                                      nlohmann::json faults = nlohmann::json::array()) {
    bridge["id"] = "b0";
    bridge["pd"] = std::move(pd);
    auto json = benchWithBridges({bridge});
    json["faults"] = std::move(faults);
    return Bench::fromJson(json);
}

inline bool good(const Sent& s) {
    return s.outcome.controlOk && s.outcome.scsiStatus == kStatusGood;
}
// The additional sense code of a CHECK CONDITION; -1 for any other outcome.
inline int refusal(const Sent& s) {
    if (!s.outcome.controlOk || s.outcome.scsiStatus != kStatusCheckCondition) return -1;
    return s.outcome.sense[12];
}

inline PdController snapshotPd(Bench& bench, const std::string& id = "b0") {
    std::optional<PdController> copy;
    bench.withChip(id, [&copy](BridgeChip& chip) { copy = *chip.pd(); });
    return *copy;
}

}  // namespace bench::testing
