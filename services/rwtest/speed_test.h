// The production line's raw speed test on a bridge's volume: a 256 KiB block of 0x55 written and read back
// at a fixed place, timed, with what was there saved first and written back after, pass or fail.
#pragma once

#include <cstdint>
#include <mutex>
#include <span>

namespace quib::services::rwtest {

// The read and write speeds of the test that runs now, MB/s; one for the whole library.
struct SpeedAccumulators {
    double dReadSpeed = 0, dWriteSpeed = 0;
    void clear() { dReadSpeed = dWriteSpeed = 0; }
};

class CReadWriteSpeedTest {
  public:
    enum Result : int { kPass = 0, kFail = -1, kNotRestored = -2, kNoSectorSize = -4 };

    // One run at test position `iTestIndex` (0..2): 0 with the speeds measured, -4 for a sector size of 0,
    // -1 when a step failed. Whatever happens after the pattern may have reached the volume, the saved
    // contents are written back; -2 when that write-back failed (the volume no longer holds what it held).
    int vReadWriteSpeedTest(char cDriveLetter, int iTestIndex, std::uint32_t dwSectorSize);
    // Reads or writes 256 KiB at a volume sector (512-byte units): two rounds, the second one timed into
    // the accumulators when bCount is set. Writing refuses drive C.
    bool vReadSectors(char cDriveLetter, std::span<std::uint8_t> buffer, std::uint64_t dwlSector,
                      bool bCount);
    bool vWriteSectors(char cDriveLetter, std::span<const std::uint8_t> buffer, std::uint64_t dwlSector,
                       bool bCount);

    // What the last run measured: read speed and the reported (adjusted) write speed.
    double readSpeed() const { return m_dReadSpeed; }
    double writeSpeed() const { return m_dWriteSpeed; }

  private:
    double m_dReadSpeed = 0, m_dWriteSpeed = 0;
};

// The accumulators and the lock that keeps two speed tests from running at once.
SpeedAccumulators& speedAccumulators();
std::mutex& speedTestLock();

// The export: up to three runs at positions 0, 1, 2; 1 when a run passes both thresholds, else 0.
int readWritePerformanceTest(char cDriveLetter, std::uint32_t dwSectorSize, std::int32_t iReadThreshold,
                             std::int32_t iWriteThreshold);

}  // namespace quib::services::rwtest
