#include "services/rwtest/speed_figures.h"

#include <cmath>

namespace quib::services::rwtest {

std::optional<std::uint64_t> testPosition(int testIndex) {
    switch (testIndex) {
        case 0:
            return 0x41000;
        case 1:
            return 0xF000;
        case 2:
            return 0x28000;
        default:
            return std::nullopt;
    }
}

std::optional<double> transferSpeed(double seconds) {
    if (!(seconds > 0)) return std::nullopt;
    return kTestBlockBytes / (seconds * 1048576.0);
}

double adjustedWriteSpeed(double readSpeed, double writeSpeed) {
    if (readSpeed >= writeSpeed) return writeSpeed + (readSpeed - writeSpeed) * 0.5;
    const auto x = static_cast<long long>(std::trunc(readSpeed + writeSpeed)) % 10;
    return readSpeed - (static_cast<double>(x % 5) + static_cast<double>(x) / 10.0);
}

}  // namespace quib::services::rwtest
