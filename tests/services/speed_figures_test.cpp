// The speed test's figures: positions, MB/s of a timed block, and the reported write speed that production
// lines set their thresholds against.
#include "services/rwtest/speed_figures.h"

#include <gtest/gtest.h>

namespace r = quib::services::rwtest;

TEST(SpeedFigures, AdjustedWriteSpeed) {
    struct Row {
        double read, write, reported;
    };
    const Row rows[] = {
        {300, 100, 200},      // R >= W: halfway up to R
        {100, 100, 100},      // equal
        {100, 300, 100},      // x = 400 mod 10 = 0
        {90.5, 101.2, 89.4},  // x = 191 mod 10 = 1: 90.5 - (1 + 0.1)
        {40, 47.9, 37.3},     // x = 87 mod 10 = 7: 40 - (2 + 0.7)
        {0, 12.5, -2.2},      // x = 12 mod 10 = 2: 0 - (2 + 0.2)
    };
    for (const Row& row : rows)
        EXPECT_NEAR(r::adjustedWriteSpeed(row.read, row.write), row.reported, 1e-9)
            << row.read << " " << row.write;
}

TEST(SpeedFigures, PositionsAndSpeedOfATimedBlock) {
    EXPECT_EQ(r::testPosition(0), 0x41000u);
    EXPECT_EQ(r::testPosition(1), 0xF000u);
    EXPECT_EQ(r::testPosition(2), 0x28000u);
    EXPECT_FALSE(r::testPosition(3));
    EXPECT_FALSE(r::testPosition(-1));
    EXPECT_DOUBLE_EQ(*r::transferSpeed(0.0025), 100.0);  // 256 KiB in 2.5 ms
    EXPECT_FALSE(r::transferSpeed(0));
    EXPECT_FALSE(r::transferSpeed(-1));
}
