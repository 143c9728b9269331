// Entry points of the storage services: partition and format, the speed test and the file test.
#include <cstdint>
#include <cstring>

#include "devcore/exports/export_guard.h"
#include "include/quibusb.h"
#include "services/format/fat32_format.h"
#include "services/rwtest/file_test.h"
#include "services/rwtest/speed_figures.h"
#include "services/rwtest/speed_test.h"

using namespace quib;
using namespace quib::devcore;
using namespace quib::services;

static_assert(sizeof(QuibRWTestRecord) == sizeof(rwtest::TestRecord));
static_assert(offsetof(QuibRWTestRecord, dwSectorSize) == offsetof(rwtest::TestRecord, sectorSize));

extern "C" {

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_ReadWritePerfomanceTest(char cDriveLetter,
                                                                    QuibRWTestRecord record,
                                                                    int32_t iReadThreshold,
                                                                    int32_t iWriteThreshold) {
    // 1 is the pass here, so a failure that throws gives 0.
    return guardedExport("QuibUSBLib_ReadWritePerfomanceTest", __LINE__, 0, [&]() -> int32_t {
        return rwtest::readWritePerformanceTest(cDriveLetter, record.dwSectorSize, iReadThreshold,
                                                iWriteThreshold);
    });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_vReadWriteTest(char cDriveLetter, int32_t iTestCount) {
    return guardedExport("QuibUSBLib_vReadWriteTest", __LINE__,
                         [&]() -> int32_t { return rwtest::vReadWriteTest(cDriveLetter, iTestCount); });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_vPartitionFormat(uint8_t ucTargetNumber, int32_t bGpt,
                                                             uint8_t ucFileSystem, char cDriveLetter,
                                                             const char* pLabel) {
    constexpr auto kFn = "QuibUSBLib_vPartitionFormat";
    return guardedExport(kFn, __LINE__, -10, [&]() -> int32_t {
        try {
            return services::partitionFormat(ucTargetNumber, bGpt != 0, ucFileSystem, cDriveLetter, pLabel);
        } catch (...) {
            LogError("%s:%d: Dev[%d] QuibUSBLib_vPartitionFormat error, dwErrorCode = %d", kFn, __LINE__,
                     ucTargetNumber, platform::lastErrorCode());
            return -10;
        }
    });
}

}  // extern "C"
