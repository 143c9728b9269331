// SMART logs (512 bytes each): the log directory (address 0x00), the summary error log (0x01) and the
// self-test log (0x06), decoded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/quibdiag/bytes.h"

namespace quibdiag {

struct LogDirectoryEntry {
    std::uint8_t address = 0;
    std::uint16_t pages = 0;
};
struct LogDirectory {
    std::uint16_t version = 0;
    std::vector<LogDirectoryEntry> logs;  // addresses 0x01..0xFF with at least one page
};
LogDirectory decodeLogDirectory(ByteView data);

struct ErrorLogEntry {
    std::uint8_t slot = 0;     // 1..5 in the log
    std::uint8_t command = 0;  // the command the error ended (the last of the five recorded)
    std::uint8_t features = 0;
    std::uint32_t commandTimestampMs = 0;
    std::uint8_t error = 0, status = 0, count = 0, device = 0, state = 0;
    std::uint32_t lba = 0;  // 28 bits
    std::uint16_t lifetimeHours = 0;
};
struct SummaryErrorLog {
    std::uint8_t version = 0;
    std::uint8_t latestSlot = 0;  // 0: no error logged
    std::uint16_t errorCount = 0;
    std::vector<ErrorLogEntry> entries;  // most recent first; slots that hold nothing are left out
    bool checksumValid = false;
};
SummaryErrorLog decodeSummaryErrorLog(ByteView data);

struct SelfTestEntry {
    std::uint8_t test = 0;  // the self-test run (LBA low of its SMART EXECUTE OFF-LINE)
    std::string testName;
    std::uint8_t status = 0;  // bits 7-4 result, bits 3-0 tenths remaining
    std::string result;
    std::uint8_t remainingPercent = 0;
    std::uint16_t lifetimeHours = 0;
    std::uint8_t checkpoint = 0;
    std::uint32_t failingLba = 0;
};
struct SelfTestLog {
    std::uint16_t revision = 0;
    std::uint8_t latestSlot = 0;         // 1..21; 0: no test logged
    std::vector<SelfTestEntry> entries;  // most recent first
    bool checksumValid = false;
};
SelfTestLog decodeSelfTestLog(ByteView data);

std::string selfTestName(std::uint8_t test);
std::string ataCommandName(std::uint8_t command);

}  // namespace quibdiag
