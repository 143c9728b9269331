// What a host's disk driver sends on its own while it probes and reads a bridge's disk: the answers, the
// sense data kept for REQUEST SENSE, and reads within and beyond the drive.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "bench_test_support.h"

namespace bench::testing {
namespace {

ScsiCommand requestSense(std::uint8_t length = 18) {
    return command({0x03, 0, 0, 0, length, 0}, 6, 1, length);
}
ScsiCommand read10(std::uint32_t lba, std::uint16_t blocks, std::uint32_t blockSize = 512) {
    return command({0x28, 0, static_cast<std::uint8_t>(lba >> 24), static_cast<std::uint8_t>(lba >> 16),
                    static_cast<std::uint8_t>(lba >> 8), static_cast<std::uint8_t>(lba), 0,
                    static_cast<std::uint8_t>(blocks >> 8), static_cast<std::uint8_t>(blocks), 0},
                   10, 1, blocks * blockSize);
}
ScsiCommand modeSense6(std::uint8_t page, std::uint8_t length = 192) {
    return command({0x1A, 0, page, 0, length, 0}, 6, 1, length);
}
// READ or WRITE (10) or (16) of `blocks` blocks at `lba`.
ScsiCommand blockCommand(bool write, int size, std::uint64_t lba, std::uint32_t blocks,
                         std::uint32_t blockSize) {
    ScsiCommand c = command({}, static_cast<std::uint8_t>(size), write ? 0 : 1, blocks * blockSize);
    const auto put = [&](std::size_t at, std::size_t length, std::uint64_t value) {
        for (std::size_t i = 0; i < length; ++i)
            c.cdb[at + i] = static_cast<std::uint8_t>(value >> (8 * (length - 1 - i)));
    };
    if (size == 10) {
        c.cdb[0] = write ? 0x2A : 0x28;
        put(2, 4, lba);
        put(7, 2, blocks);
    } else {
        c.cdb[0] = write ? 0x8A : 0x88;
        put(2, 8, lba);
        put(10, 4, blocks);
    }
    return c;
}

std::shared_ptr<Bench> smallDiskBench(std::uint32_t bytesPerSector = 512) {
    return Bench::fromJson(benchWithBridges(
        {{{"id", "b"},
          {"drive", {{"kind", "sata"}, {"sectors", 100}, {"bytes_per_sector", bytesPerSector}}}}}));
}

TEST(DiskCommands, RequestSenseReportsTheLastCheckConditionOnce) {
    auto bench = smallDiskBench();
    const Target d = disk(*bench, 1);
    const Sent refused = send(*bench, d, command({0xF7}, 6, 0, 0));
    ASSERT_EQ(refused.outcome.scsiStatus, kStatusCheckCondition);

    const Sent first = send(*bench, d, requestSense());
    EXPECT_EQ(first.outcome.scsiStatus, kStatusGood);
    ASSERT_EQ(first.outcome.bytesMoved, 18u);
    EXPECT_EQ(first.data[0], 0x70);
    EXPECT_EQ(first.data[2], kSenseIllegalRequest);
    EXPECT_EQ(first.data[12], kAscInvalidOpcode);

    // Read once: the next REQUEST SENSE finds nothing pending.
    const Sent second = send(*bench, d, requestSense());
    EXPECT_EQ(second.data[2], 0x00);
    EXPECT_EQ(second.data[12], 0x00);
}

TEST(DiskCommands, AnyOtherCommandDropsThePendingSense) {
    auto bench = smallDiskBench();
    const Target d = disk(*bench, 1);
    send(*bench, d, command({0xF7}, 6, 0, 0));
    EXPECT_EQ(send(*bench, d, command({0x00}, 6, 0, 0)).outcome.scsiStatus, kStatusGood);
    EXPECT_EQ(send(*bench, d, requestSense()).data[2], 0x00);
}

TEST(DiskCommands, RequestSenseIsCutToItsAllocationLength) {
    auto bench = smallDiskBench();
    const Target d = disk(*bench, 1);
    send(*bench, d, command({0xF7}, 6, 0, 0));
    const Sent s = send(*bench, d, requestSense(8));
    EXPECT_EQ(s.outcome.bytesMoved, 8u);
    EXPECT_EQ(s.data[2], kSenseIllegalRequest);
}

TEST(DiskCommands, AnInjectedCheckConditionLeavesItsSenseForRequestSense) {
    auto description = benchWithBridges({{{"id", "b"}}});
    description["faults"] = {{{"kind", "command"}, {"opcode", "0xE4"}, {"as", "check_condition"}}};
    auto bench = Bench::fromJson(description);
    const Target d = disk(*bench, 1);
    ASSERT_EQ(send(*bench, d, registerRead(0x07F0, 7)).outcome.scsiStatus, kStatusCheckCondition);
    const Sent s = send(*bench, d, requestSense());
    EXPECT_EQ(s.data[2], 0x04);  // hardware error
    EXPECT_EQ(s.data[12], 0x44);
}

TEST(DiskCommands, ARestartForgetsThePendingSense) {
    auto bench = Bench::fromJson(benchWithBridges({{{"id", "b"}, {"restart_delay_ms", 10}}}));
    send(*bench, disk(*bench, 1), command({0xF7}, 6, 0, 0));
    bench->withChip("b", [](BridgeChip& chip) { chip.boot(false); });
    EXPECT_EQ(send(*bench, disk(*bench, 1), requestSense()).data[2], 0x00);
}

TEST(DiskCommands, ReadReturnsWhatWasWrittenAndZerosElsewhere) {
    auto bench = smallDiskBench();
    const Target d = disk(*bench, 1);
    std::vector<std::uint8_t> sector(512);
    for (std::size_t i = 0; i < sector.size(); ++i) sector[i] = static_cast<std::uint8_t>(i * 7 + 1);
    // ATA WRITE DMA EXT of one sector at LBA 5.
    const Sent written =
        send(*bench, d, command({0x85, 0x17, 0x06, 0, 0, 0, 1, 0, 5, 0, 0, 0, 0, 0x40, 0x35, 0}, 16, 0, 512),
             sector);
    ASSERT_EQ(written.outcome.scsiStatus, kStatusGood);

    const Sent r = send(*bench, d, read10(4, 2));
    ASSERT_EQ(r.outcome.scsiStatus, kStatusGood);
    EXPECT_EQ(r.outcome.bytesMoved, 1024u);
    EXPECT_TRUE(std::all_of(r.data.begin(), r.data.begin() + 512, [](std::uint8_t b) { return b == 0; }));
    EXPECT_TRUE(std::equal(sector.begin(), sector.end(), r.data.begin() + 512));
}

TEST(DiskCommands, ReadBeyondTheDriveIsRefusedWithLbaOutOfRange) {
    auto bench = smallDiskBench();
    const Target d = disk(*bench, 1);
    EXPECT_EQ(send(*bench, d, read10(98, 2)).outcome.scsiStatus, kStatusGood);  // the last two blocks
    const Sent beyond = send(*bench, d, read10(99, 2));
    EXPECT_EQ(beyond.outcome.scsiStatus, kStatusCheckCondition);
    EXPECT_EQ(beyond.outcome.sense[2], kSenseIllegalRequest);
    EXPECT_EQ(beyond.outcome.sense[12], kAscLbaOutOfRange);
    EXPECT_EQ(beyond.outcome.bytesMoved, 0u);
}

TEST(DiskCommands, ReadCountsInTheDrivesBlockSize) {
    auto bench = smallDiskBench(4096);
    const Target d = disk(*bench, 1);
    EXPECT_EQ(send(*bench, d, read10(0, 1, 4096)).outcome.scsiStatus, kStatusGood);
    // The same block count with a 512-byte transfer does not fit the CDB.
    const Sent wrong = send(*bench, d, read10(0, 1, 512));
    EXPECT_EQ(wrong.outcome.scsiStatus, kStatusCheckCondition);
    EXPECT_EQ(wrong.outcome.sense[12], kAscInvalidFieldInCdb);
}

TEST(DiskCommands, ReadCapacity16GivesTheLastBlockAndBlockSize) {
    auto bench = smallDiskBench(4096);
    const Sent s = send(*bench, disk(*bench, 1),
                        command({0x9E, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 32, 0, 0}, 16, 1, 32));
    ASSERT_EQ(s.outcome.scsiStatus, kStatusGood);
    EXPECT_EQ(s.outcome.bytesMoved, 32u);
    EXPECT_EQ(s.data[7], 99);     // last LBA, big-endian in bytes 0..7
    EXPECT_EQ(s.data[10], 0x10);  // 4096 in bytes 8..11
    EXPECT_EQ(s.data[11], 0x00);
}

TEST(DiskCommands, ModeSenseAllPagesHasCachingAndControlWithoutWriteProtect) {
    auto bench = smallDiskBench();
    const Sent s = send(*bench, disk(*bench, 1), modeSense6(0x3F));
    ASSERT_EQ(s.outcome.scsiStatus, kStatusGood);
    ASSERT_EQ(s.outcome.bytesMoved, 36u);
    EXPECT_EQ(s.data[0], 35);        // mode data length
    EXPECT_EQ(s.data[2] & 0x80, 0);  // not write protected
    EXPECT_EQ(s.data[3], 0);         // no block descriptors
    EXPECT_EQ(s.data[4], 0x08);      // caching page
    EXPECT_EQ(s.data[6] & 0x04, 0);  // write cache off: nothing for a host to flush
    EXPECT_EQ(s.data[24], 0x0A);     // control page
}

TEST(DiskCommands, ModeSense10HasAnEightByteHeader) {
    auto bench = smallDiskBench();
    const Sent s = send(*bench, disk(*bench, 1), command({0x5A, 0, 0x08, 0, 0, 0, 0, 0, 64, 0}, 10, 1, 64));
    ASSERT_EQ(s.outcome.scsiStatus, kStatusGood);
    ASSERT_EQ(s.outcome.bytesMoved, 28u);
    EXPECT_EQ(s.data[1], 26);
    EXPECT_EQ(s.data[8], 0x08);
}

TEST(DiskCommands, ModeSenseRefusesUnknownPagesAndSavedValues) {
    auto bench = smallDiskBench();
    const Target d = disk(*bench, 1);
    EXPECT_EQ(send(*bench, d, modeSense6(0x1C)).outcome.sense[12], kAscInvalidFieldInCdb);
    EXPECT_EQ(send(*bench, d, modeSense6(0xC0 | 0x3F)).outcome.sense[12], 0x39);
}

TEST(DiskCommands, StartStopAndMediumRemovalAreAccepted) {
    auto bench = smallDiskBench();
    const Target d = disk(*bench, 1);
    EXPECT_EQ(send(*bench, d, command({0x1B, 1, 0, 0, 1, 0}, 6, 0, 0)).outcome.scsiStatus, kStatusGood);
    EXPECT_EQ(send(*bench, d, command({0x1E, 0, 0, 0, 1, 0}, 6, 0, 0)).outcome.scsiStatus, kStatusGood);
    // A power condition is not something this bridge does.
    EXPECT_EQ(send(*bench, d, command({0x1B, 0, 0, 0, 0x10, 0}, 6, 0, 0)).outcome.scsiStatus,
              kStatusCheckCondition);
}

// A bench folder keeps the drive in a sparse image of its full size: READ and WRITE (10) and (16) reach it
// at the block the CDB names, another process sees what was written, and blocks past the reported capacity
// are refused. A bench without a folder keeps what was written in memory.
TEST(DiskCommands, BlocksAreWrittenAndReadOnTheDrivesImage) {
    struct Row {
        std::uint32_t blockSize;
        int writeSize, readSize;
        std::uint64_t lba, blocks;
    };
    // 8 TiB of 512-byte blocks; just under 16 TiB of 4096-byte blocks (the most an ext4 file holds).
    const Row rows[] = {{512, 10, 16, 5, 0x4'0000'0000ull},
                        {512, 16, 10, 0xFFFFFFF0ull, 0x4'0000'0000ull},
                        {512, 16, 16, 0x2'0000'0000ull, 0x4'0000'0000ull},
                        {4096, 10, 16, 7, 0xFFFF'FF00ull},
                        {4096, 16, 16, 0xFFFF'FE00ull, 0xFFFF'FF00ull}};
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.blockSize) + " " + std::to_string(row.lba));
        TempFolder folder;
        const std::uint64_t blocks = row.blocks;
        auto bench = Bench::createFolder(
            folder.path(),
            benchWithBridges(
                {{{"id", "b"},
                  {"drive", {{"kind", "sata"}, {"sectors", blocks}, {"bytes_per_sector", row.blockSize}}}}}));
        const auto image = folder.path() / "chips" / "b" / "drive.img";
        ASSERT_TRUE(std::filesystem::exists(image));
        EXPECT_EQ(std::filesystem::file_size(image), blocks * row.blockSize);
        std::vector<std::uint8_t> data(2 * row.blockSize);
        for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 13 + row.lba);
        const Target d = disk(*bench, 1);
        ASSERT_EQ(send(*bench, d, blockCommand(true, row.writeSize, row.lba, 2, row.blockSize), data)
                      .outcome.scsiStatus,
                  kStatusGood);
        // The bytes lie in the image at the block's offset.
        std::ifstream file(image, std::ios::binary);
        file.seekg(static_cast<std::streamoff>(row.lba * row.blockSize));
        std::vector<std::uint8_t> onImage(data.size());
        file.read(reinterpret_cast<char*>(onImage.data()), static_cast<std::streamsize>(onImage.size()));
        EXPECT_EQ(onImage, data);
        // Another process of the bench reads them back, with the blocks around them still zero.
        auto other = Bench::openFolder(folder.path());
        const Sent back =
            send(*other, disk(*other, 1), blockCommand(false, row.readSize, row.lba - 1, 4, row.blockSize));
        ASSERT_EQ(back.outcome.scsiStatus, kStatusGood);
        EXPECT_TRUE(std::equal(data.begin(), data.end(), back.data.begin() + row.blockSize));
        EXPECT_EQ(std::count(back.data.begin(), back.data.end(), 0),
                  std::count(data.begin(), data.end(), 0) + 2 * static_cast<long>(row.blockSize));
        // Past the end, or a length the CDB does not name: refused, nothing written.
        const Sent beyond = send(*bench, d, blockCommand(true, 16, blocks - 1, 2, row.blockSize), data);
        EXPECT_EQ(beyond.outcome.sense[12], kAscLbaOutOfRange);
        const Sent misfit = send(*bench, d, blockCommand(true, 10, 1, 1, row.blockSize), data);
        EXPECT_EQ(misfit.outcome.sense[12], kAscInvalidFieldInCdb);
    }
    // Without a folder the drive is memory.
    auto bench = smallDiskBench();
    const Target d = disk(*bench, 1);
    std::vector<std::uint8_t> data(512, 0xA5);
    ASSERT_EQ(send(*bench, d, blockCommand(true, 10, 99, 1, 512), data).outcome.scsiStatus, kStatusGood);
    EXPECT_EQ(send(*bench, d, blockCommand(false, 16, 99, 1, 512)).data, data);
}

}  // namespace
}  // namespace bench::testing
