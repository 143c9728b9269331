// The partitioning tool's script carried out on Linux with libfdisk: one disk cleaned, given an MBR or a GPT
// (with its reserved partition, as the tool makes one) and one primary partition reaching to the disk's end.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quib::platform {

// What carrying out a script needs of the machine.
class DiskpartMachine {
  public:
    struct Disk {
        std::string node;              // the whole disk's block node (an image file in tests)
        std::uint32_t sectorSize = 0;  // 0: the device's own
        bool ours = false;             // a disk behind USB; the machine's own disks are refused
    };
    virtual ~DiskpartMachine() = default;
    virtual std::optional<Disk> disk(std::uint32_t number) = 0;
    // The partition starting at `startSector` of disk `number` takes `letter`; false with `failure` set
    // when another volume has it.
    virtual bool assignLetter(std::uint32_t number, std::uint64_t startSector, char letter,
                              std::string& failure) = 0;
    // After the table was written: the kernel told to read it again, and its partitions' nodes awaited.
    virtual void tableWritten(const Disk& disk, int fd) = 0;
};

struct DiskpartOutcome {
    std::uint32_t code = 0;  // 0, or the tool's exit code (common/disktools/tool_commands.h)
    int line = 0;            // the line that failed or was not understood
    std::string failure;
};

DiskpartOutcome runDiskpartScript(const std::string& text, DiskpartMachine& machine);

}  // namespace quib::platform
