#include "services/rwtest/speed_test.h"

#include <vector>

#include "common/log/debug_log.h"
#include "devcore/transport/device_path.h"
#include "platform/platform.h"
#include "services/rwtest/speed_figures.h"
#include "services/volume/bridge_volume.h"

namespace quib::services::rwtest {
namespace {

constexpr std::uint32_t kMaxPerCall = 32u << 20;  // at most 32 MiB per ReadFile/WriteFile

// The volume open for one transfer: locked (a failed lock is only logged), and for writing dismounted.
class OpenVolume {
  public:
    OpenVolume(const char* kFn, char cDriveLetter, bool bWrite)
        : m_device(volumePath(cDriveLetter), platform::kAccessRead | platform::kAccessWrite),
          m_bWrite(bWrite) {
        if (!m_device.valid()) return;
        platform::Storage& storage = platform::get().storage;
        if (!storage.lockVolume(m_device.get()))
            LogError("%s:%d: FSCTL_LOCK_VOLUME Fail , cDriveLetter %c , dwErrorCode:%d", kFn, __LINE__,
                     cDriveLetter, platform::lastErrorCode());
        if (bWrite && !storage.dismountVolume(m_device.get()))
            LogError("%s:%d: FSCTL_DISMOUNT_VOLUME Fail , cDriveLetter %c , dwErrorCode:%d", kFn, __LINE__,
                     cDriveLetter, platform::lastErrorCode());
    }
    ~OpenVolume() {
        if (!m_device.valid()) return;
        if (m_bWrite) {
            platform::Storage& storage = platform::get().storage;
            storage.unlockVolume(m_device.get());
            storage.updateProperties(m_device.get());
        }
    }
    bool valid() const { return m_device.valid(); }
    platform::DeviceHandle get() const { return m_device.get(); }

  private:
    devcore::ScopedDevice m_device;
    bool m_bWrite;
};

// Seconds of a performance-counter interval.
double secondsBetween(std::int64_t start, std::int64_t end) {
    const std::int64_t frequency = platform::get().clock.performanceFrequency();
    return frequency > 0 ? static_cast<double>(end - start) / static_cast<double>(frequency) : 0.0;
}

// Moves 256 KiB in pieces of at most 32 MiB; the bytes moved.
template <typename Span, typename Transfer>
std::uint64_t moveAll(Span buffer, std::uint64_t offset, Transfer transfer) {
    std::uint64_t done = 0;
    while (done < buffer.size()) {
        const std::size_t piece = std::min<std::size_t>(kMaxPerCall, buffer.size() - done);
        const auto moved = transfer(offset + done, buffer.subspan(done, piece));
        if (!moved || *moved == 0) break;
        done += *moved;
    }
    return done;
}

}  // namespace

SpeedAccumulators& speedAccumulators() {
    static SpeedAccumulators accumulators;
    return accumulators;
}

std::mutex& speedTestLock() {
    static std::mutex lock;
    return lock;
}

bool CReadWriteSpeedTest::vReadSectors(char cDriveLetter, std::span<std::uint8_t> buffer,
                                       std::uint64_t dwlSector, bool bCount) {
    constexpr auto kFn = "CReadWriteSpeedTest::vReadSectors";
    OpenVolume volume(kFn, cDriveLetter, false);
    if (!volume.valid()) {
        LogError("%s:%d: CreateFile Fail , cDriveLetter : %c , dwErrorCode [%d]", kFn, __LINE__, cDriveLetter,
                 platform::lastErrorCode());
        return false;
    }
    platform::Platform& os = platform::get();
    bool bRead = false;
    for (int iRound = 0; iRound < 2; ++iRound) {
        std::vector<std::uint8_t> ucpReadBuffer(buffer.size(), 0);
        const std::int64_t start = os.clock.performanceCounter();
        const std::uint64_t done = moveAll(std::span<std::uint8_t>(ucpReadBuffer), dwlSector * kPositionUnit,
                                           [&](std::uint64_t at, std::span<std::uint8_t> part) {
                                               return os.storage.readAt(volume.get(), at, part);
                                           });
        const std::int64_t end = os.clock.performanceCounter();
        if (done != buffer.size()) {
            LogError("%s:%d: ReadFile  Error, uiReadLogicalSector[%d] , dwRpt[%d] , dwErrorCode [%d]", kFn,
                     __LINE__, static_cast<int>(dwlSector), iRound, platform::lastErrorCode());
            bRead = false;
            continue;
        }
        bRead = true;
        std::copy(ucpReadBuffer.begin(), ucpReadBuffer.end(), buffer.begin());
        if (iRound == 1 && bCount) {
            const auto speed = transferSpeed(secondsBetween(start, end));
            if (speed) speedAccumulators().dReadSpeed += *speed;
            LogMessage(
                "%s:%d: vReadSectors: COUNTING!ucpReadBuffer : %x , dwlReadLocationSector : %lld , "
                "m_fsdif_R: %f",
                kFn, __LINE__, static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(ucpReadBuffer.data())),
                static_cast<long long>(dwlSector), secondsBetween(start, end));
        }
    }
    return bRead;
}

bool CReadWriteSpeedTest::vWriteSectors(char cDriveLetter, std::span<const std::uint8_t> buffer,
                                        std::uint64_t dwlSector, bool bCount) {
    constexpr auto kFn = "CReadWriteSpeedTest::vWriteSectors";
    if (cDriveLetter == 'C' || cDriveLetter == 'c') {
        LogError("%s:%d:  cDriveLetter : %c , It will damage System", kFn, __LINE__, cDriveLetter);
        return false;
    }
    OpenVolume volume(kFn, cDriveLetter, true);
    if (!volume.valid()) {
        LogError("%s:%d: CreateFile Fail , cDriveLetter : %c , dwErrorCode [%d]", kFn, __LINE__, cDriveLetter,
                 platform::lastErrorCode());
        return false;
    }
    platform::Platform& os = platform::get();
    for (int iRound = 0; iRound < 2; ++iRound) {
        std::vector<std::uint8_t> ucpWriteBuffer(buffer.begin(), buffer.end());
        const std::int64_t start = os.clock.performanceCounter();
        const std::uint64_t done =
            moveAll(std::span<const std::uint8_t>(ucpWriteBuffer), dwlSector * kPositionUnit,
                    [&](std::uint64_t at, std::span<const std::uint8_t> part) {
                        return os.storage.writeAt(volume.get(), at, part);
                    });
        const std::int64_t end = os.clock.performanceCounter();
        if (done != buffer.size()) {
            LogError("%s:%d: WriteFile Error : %d , uiWriteLogicalSector[%d] , dwRpt[%d] , dwErrorCode [%d]",
                     kFn, __LINE__, static_cast<int>(done), static_cast<int>(dwlSector), iRound,
                     platform::lastErrorCode());
            return false;
        }
        if (iRound == 1 && bCount) {
            const auto speed = transferSpeed(secondsBetween(start, end));
            if (speed) speedAccumulators().dWriteSpeed += *speed;
        }
    }
    return true;
}

int CReadWriteSpeedTest::vReadWriteSpeedTest(char cDriveLetter, int iTestIndex, std::uint32_t dwSectorSize) {
    constexpr auto kFn = "CReadWriteSpeedTest::vReadWriteSpeedTest";
    SpeedAccumulators& speeds = speedAccumulators();
    speeds.clear();
    m_dReadSpeed = m_dWriteSpeed = 0;
    LogMessage("%s:%d:  Entering WR Speed Test", kFn, __LINE__);
    if (dwSectorSize == 0) {
        LogError("%s:%d: Sector size == 0", kFn, __LINE__);
        return kNoSectorSize;
    }
    const auto position = testPosition(iTestIndex);
    if (!position || !volumeOnListedBridge(kFn, cDriveLetter)) return kFail;

    std::vector<std::uint8_t> saved(kTestBlockBytes), pattern(kTestBlockBytes, kTestPattern),
        readBack(kTestBlockBytes);
    for (int iPass = 0; iPass < 2; ++iPass) {
        const bool bTimed = iPass == 1;
        if (!vReadSectors(cDriveLetter, saved, *position, false)) {
            LogError("%s:%d: 1ST::backup data Fail", kFn, __LINE__);
            speeds.clear();
            return kFail;
        }
        // From here the pattern may be on the volume: the saved data go back whatever follows.
        bool bOk = vWriteSectors(cDriveLetter, pattern, *position, bTimed);
        if (!bOk) LogError("%s:%d: OD R/W Test , TestCount[%d], Fail", kFn, __LINE__, iPass);
        if (bOk) {
            bOk = vReadSectors(cDriveLetter, readBack, *position, bTimed) && readBack == pattern;
            if (!bOk) LogError("%s:%d:  OD R/W Test , TestCount[%d], Fail", kFn, __LINE__, iPass);
        }
        if (!vWriteSectors(cDriveLetter, saved, *position, false)) {
            LogError("%s:%d: recovery data Fail", kFn, __LINE__);
            speeds.clear();
            return kNotRestored;
        }
        if (!bOk) {
            speeds.clear();
            return kFail;
        }
    }
    const double W = speeds.dWriteSpeed, R = speeds.dReadSpeed;
    LogMessage("%s:%d: Test Write Speed = %f, Test Read Speed = %f", kFn, __LINE__, W, R);
    speeds.clear();
    m_dReadSpeed = R;
    m_dWriteSpeed = adjustedWriteSpeed(R, W);
    LogMessage("%s:%d:  Leaving WR Speed Test", kFn, __LINE__);
    return kPass;
}

int readWritePerformanceTest(char cDriveLetter, std::uint32_t dwSectorSize, std::int32_t iReadThreshold,
                             std::int32_t iWriteThreshold) {
    constexpr auto kFn = "QuibUSBLib_ReadWritePerfomanceTest";
    std::lock_guard guard(speedTestLock());
    CReadWriteSpeedTest test;
    for (int iTestIndex = 0; iTestIndex < 3; ++iTestIndex) {
        const int result = test.vReadWriteSpeedTest(cDriveLetter, iTestIndex, dwSectorSize);
        if (result == CReadWriteSpeedTest::kPass && test.readSpeed() >= iReadThreshold &&
            test.writeSpeed() >= iWriteThreshold) {
            LogMessage(
                "%s:%d: vReadWriteSpeedTest, cDriveLetter[%d] Success: dReadSpeed %.2f, dWriteSpeed %.2f",
                kFn, __LINE__, cDriveLetter, test.readSpeed(), test.writeSpeed());
            return 1;
        }
        // No further runs on a volume whose contents could not be put back, nor without a sector size.
        if (result == CReadWriteSpeedTest::kNoSectorSize || result == CReadWriteSpeedTest::kNotRestored)
            break;
    }
    LogError("%s:%d: vReadWriteSpeedTest,  cDriveLetter[%d] FAIL: dReadSpeed %.2f, dWriteSpeed %.2f", kFn,
             __LINE__, cDriveLetter, test.readSpeed(), test.writeSpeed());
    return 0;
}

}  // namespace quib::services::rwtest
