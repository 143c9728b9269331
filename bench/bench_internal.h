// Private to the Bench implementation files: the bench's changing state and the operation frame.
#pragma once

#include <cctype>
#include <type_traits>

#include "bench/bench.h"
#include "bench/store/folder_store.h"

namespace bench {

struct Bench::BridgeSlot {
    bool onBus = true;
    bool ejected = false;
    bool stuckOff = false;  // restarted and never came back
    std::optional<std::uint64_t> returnAtMs;
    bool romCodeOnReturn = false;
    bool powerCycleOnReturn = false;  // off the bus by a power cycle: the PD side boots on return
    int diskNumber = -1;              // last number given; kept while off the bus
    int cdromNumber = -1;
    std::uint32_t incarnation = 0;
    std::uint32_t restarts = 0;
};

struct Bench::State {
    std::uint64_t clockMs = 0;
    std::uint32_t clockUs = 0;  // microseconds past clockMs (transfers take less than a millisecond)
    int highestDisk = -1;
    int highestCdrom = -1;
    std::size_t answersUsed = 0;
    std::vector<BridgeSlot> bridges;
    std::vector<bool> devicesEjected;
    std::vector<FaultCounter> faults;
    RegistryStore registry;
    // Letters assigned by the partitioning tool, per described volume; 0 keeps the description's.
    std::vector<char> volumeLetters;
};

// "E:\\", "e:" -> 'E'; 0 when the text names no drive.
inline char letterOfMountPoint(const std::string& mountPoint) {
    if (mountPoint.size() < 2 || mountPoint[1] != ':' ||
        !std::isalpha(static_cast<unsigned char>(mountPoint[0])))
        return 0;
    return static_cast<char>(std::toupper(static_cast<unsigned char>(mountPoint[0])));
}

// Where a volume on a drive without a partition table lies (descriptions that name a volume on a blank
// drive): one partition from 1 MiB to the end.
inline constexpr std::uint64_t kImplicitPartitionOffset = 1048576;

template <class F>
auto Bench::transact(F&& f) -> decltype(f()) {
    std::lock_guard guard(m_mutex);
    const bool outer = m_depth == 0;
    ++m_depth;
    struct Exit {
        Bench& bench;
        bool outer;
        bool locked = false;
        ~Exit() {
            --bench.m_depth;
            if (locked) bench.m_store->unlock();
        }
    } exit{*this, outer};
    if (outer) {
        if (m_store) {
            m_store->lock();
            exit.locked = true;
            syncIn();
        }
        settle();
    }
    if constexpr (std::is_void_v<decltype(f())>) {
        f();
        if (outer) syncOut();
    } else {
        auto result = f();
        if (outer) syncOut();
        return result;
    }
}

}  // namespace bench
