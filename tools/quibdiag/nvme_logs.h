// NVMe log pages (512 bytes as the bridge returns them): SMART / health information (0x02) and error
// information (0x01), and the status field NVMe completions and error entries carry.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/quibdiag/bytes.h"
#include "tools/quibdiag/wide_counter.h"

namespace quibdiag {

inline constexpr std::size_t kNvmeLogSize = 512;

struct NvmeHealth {
    std::uint8_t criticalWarning = 0;
    std::vector<std::string> warnings;  // the names of the bits set
    std::uint16_t temperatureKelvin = 0;
    int temperatureCelsius = 0;  // meaningful when temperatureKelvin is not 0
    std::uint8_t availableSpare = 0, spareThreshold = 0, percentageUsed = 0;
    WideCounter dataUnitsRead, dataUnitsWritten;  // units of 1000 512-byte blocks
    WideCounter hostReads, hostWrites, busyMinutes, powerCycles, powerOnHours, unsafeShutdowns, mediaErrors,
        errorLogEntries;
};
NvmeHealth decodeNvmeHealth(ByteView data);

struct NvmeStatus {
    std::uint8_t type = 0;  // status code type
    std::uint8_t code = 0;
    bool more = false, doNotRetry = false;
    std::string text;
};
// The 15 status bits (bits 15-1 of the completion's last word, phase tag excluded).
NvmeStatus decodeNvmeStatus(std::uint16_t statusField);

struct NvmeErrorEntry {
    std::uint64_t errorCount = 0;
    std::uint16_t queueId = 0, commandId = 0;
    NvmeStatus status;
    std::uint16_t parameterLocation = 0;
    std::uint64_t lba = 0;
    std::uint32_t namespaceId = 0;
};
// Entries of the page whose error count is not zero, in page order (the most recent first).
std::vector<NvmeErrorEntry> decodeNvmeErrors(ByteView data);

}  // namespace quibdiag
