#include "platform/linux/linux_diskpart.h"

#include <fcntl.h>
#include <libfdisk.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <vector>

#include "common/disktools/diskpart_script.h"
#include "common/disktools/tool_commands.h"

namespace quib::platform {
namespace {

using disktools::DiskpartCommand;
using Op = DiskpartCommand::Op;

constexpr std::uint64_t kMiB = 1048576;
constexpr std::uint64_t kReservedPartitionBytes = 16 * kMiB;
constexpr const char* kBasicDataType = "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7";
constexpr const char* kReservedType = "E3C9E316-0B5C-4DB8-817D-F92DF00215AE";
constexpr unsigned kMbrDataType = 0x07;  // what the tool gives a new primary partition

std::uint64_t alignUp(std::uint64_t value, std::uint64_t unit) {
    return (value + unit - 1) / unit * unit;
}

struct ContextFree {
    void operator()(fdisk_context* c) const { fdisk_unref_context(c); }
};
struct PartitionFree {
    void operator()(fdisk_partition* p) const { fdisk_unref_partition(p); }
};
struct TableFree {
    void operator()(fdisk_table* t) const { fdisk_unref_table(t); }
};
using Partition = std::unique_ptr<fdisk_partition, PartitionFree>;

// One partition as the table holds it.
struct Slot {
    std::size_t number = 0;  // 0-based entry
    std::uint64_t start = 0, sectors = 0;
    bool reserved = false;  // the GPT's reserved partition
};

// The selected disk, opened exclusively: the kernel refuses that while one of its partitions is mounted.
class SelectedDisk {
  public:
    SelectedDisk(std::uint32_t number, DiskpartMachine::Disk disk)
        : m_number(number), m_disk(std::move(disk)) {}
    ~SelectedDisk() {
        m_context.reset();  // libfdisk lets go of the descriptor before it closes
        if (m_fd >= 0) ::close(m_fd);
    }
    SelectedDisk(const SelectedDisk&) = delete;
    SelectedDisk& operator=(const SelectedDisk&) = delete;

    std::uint32_t number() const { return m_number; }

    bool open(std::string& failure) {
        m_fd = ::open(m_disk.node.c_str(), O_RDWR | O_EXCL | O_CLOEXEC);
        if (m_fd >= 0) return true;
        failure = errno == EBUSY    ? "the disk is in use"
                  : errno == EACCES ? "access denied"
                                    : "cannot open the disk";
        return false;
    }

    // A fresh view of the disk's table (libfdisk reads it at the assignment).
    fdisk_context* context(std::string& failure) {
        m_context.reset(fdisk_new_context());
        if (!m_context) return failure = "out of memory", nullptr;
        fdisk_disable_dialogs(m_context.get(), 1);
        if (m_disk.sectorSize)
            fdisk_save_user_sector_size(m_context.get(), m_disk.sectorSize, m_disk.sectorSize);
        // Starts and lengths are the script's own (aligned as the tool aligns them), not libfdisk's.
        fdisk_save_user_grain(m_context.get(), 512);
        if (fdisk_assign_device_by_fd(m_context.get(), m_fd, m_disk.node.c_str(), 0) != 0)
            return failure = "cannot read the disk", nullptr;
        return m_context.get();
    }

    std::vector<Slot> slots(fdisk_context* cxt) {
        std::vector<Slot> out;
        if (!fdisk_has_label(cxt)) return out;
        fdisk_table* raw = nullptr;
        if (fdisk_get_partitions(cxt, &raw) != 0) return out;
        const std::unique_ptr<fdisk_table, TableFree> table(raw);
        for (std::size_t i = 0; i < fdisk_table_get_nents(table.get()); ++i) {
            fdisk_partition* p = fdisk_table_get_partition(table.get(), i);
            if (!p || !fdisk_partition_has_start(p)) continue;
            const fdisk_parttype* type = fdisk_partition_get_type(p);
            const char* typeText = type ? fdisk_parttype_get_string(type) : nullptr;
            out.push_back({fdisk_partition_get_partno(p), fdisk_partition_get_start(p),
                           fdisk_partition_get_size(p), typeText && std::string(typeText) == kReservedType});
        }
        std::sort(out.begin(), out.end(), [](const Slot& a, const Slot& b) { return a.number < b.number; });
        return out;
    }

    bool write(fdisk_context* cxt, std::string& failure, DiskpartMachine& machine) {
        if (fdisk_write_disklabel(cxt) != 0 || ::fsync(m_fd) != 0) return failure = "write failed", false;
        machine.tableWritten(m_disk, m_fd);
        return true;
    }

    // Zeroes the first and last MiB: the tables and the GPT's backup.
    bool clean(std::string& failure) {
        const off_t end = ::lseek(m_fd, 0, SEEK_END);
        if (end <= 0) return failure = "cannot read the disk", false;
        const std::uint64_t bs = m_disk.sectorSize ? m_disk.sectorSize : 512;
        const std::uint64_t span =
            std::min<std::uint64_t>(kMiB, static_cast<std::uint64_t>(end) / 2) / bs * bs;
        const std::vector<char> zeros(span, 0);
        for (const std::uint64_t at : {std::uint64_t{0}, static_cast<std::uint64_t>(end) - span})
            if (::pwrite(m_fd, zeros.data(), zeros.size(), static_cast<off_t>(at)) !=
                static_cast<ssize_t>(span))
                return failure = "write failed", false;
        return true;
    }

    const DiskpartMachine::Disk& disk() const { return m_disk; }
    int fd() const { return m_fd; }

  private:
    std::uint32_t m_number;
    DiskpartMachine::Disk m_disk;
    int m_fd = -1;
    std::unique_ptr<fdisk_context, ContextFree> m_context;
};

bool addPartition(fdisk_context* cxt, std::uint64_t start, std::uint64_t sectors, const char* gptType,
                  unsigned mbrType, const char* name, std::size_t& number) {
    fdisk_label* label = fdisk_get_label(cxt, nullptr);
    fdisk_parttype* type = gptType ? fdisk_label_get_parttype_from_string(label, gptType)
                                   : fdisk_label_get_parttype_from_code(label, mbrType);
    const Partition p(fdisk_new_partition());
    if (!type || !p) return false;
    fdisk_partition_set_start(p.get(), start);
    fdisk_partition_set_size(p.get(), sectors);
    fdisk_partition_partno_follow_default(p.get(), 1);
    fdisk_partition_set_type(p.get(), type);
    fdisk_unref_parttype(type);
    if (name) fdisk_partition_set_name(p.get(), name);
    return fdisk_add_partition(cxt, p.get(), &number) == 0;
}

}  // namespace

DiskpartOutcome runDiskpartScript(const std::string& text, DiskpartMachine& machine) {
    const disktools::DiskpartScript script = disktools::parseDiskpartScript(text);
    std::unique_ptr<SelectedDisk> selected;
    std::size_t partition = 0;  // selected partition number, 1-based
    std::string failure;

    auto carryOut = [&](const DiskpartCommand& c) -> bool {
        if (c.op == Op::ListDisk) return true;
        if (c.op == Op::SelectDisk) {
            const auto disk = machine.disk(c.number);
            if (!disk) return failure = "no such disk", false;
            selected = std::make_unique<SelectedDisk>(c.number, *disk);
            partition = 0;
            return true;
        }
        if (!selected) return failure = "no disk selected", false;
        if (c.op == Op::OnlineDisk || c.op == Op::ClearReadOnly) return true;
        if (!selected->disk().ours) return failure = "not allowed on the system disk", false;
        if (selected->fd() < 0 && !selected->open(failure)) return false;
        if (c.op == Op::Clean) {
            partition = 0;
            return selected->clean(failure);
        }
        fdisk_context* cxt = selected->context(failure);
        if (!cxt) return false;
        const std::vector<Slot> slots = selected->slots(cxt);
        const std::uint64_t bs = fdisk_get_sector_size(cxt), sectors = fdisk_get_nsectors(cxt);
        const bool gpt = fdisk_has_label(cxt) && fdisk_is_label(cxt, GPT);
        const bool mbr = fdisk_has_label(cxt) && fdisk_is_label(cxt, DOS);
        switch (c.op) {
            case Op::ConvertMbr:
            case Op::ConvertGpt: {
                if (!slots.empty()) return failure = "the disk is not empty", false;
                const std::uint64_t firstUsable = 2 + 16384 / bs;  // after the header and 128 entries
                if (c.op == Op::ConvertGpt) fdisk_set_first_lba(cxt, firstUsable);
                if (fdisk_create_disklabel(cxt, c.op == Op::ConvertGpt ? "gpt" : "dos") != 0)
                    return failure = "cannot make the table", false;
                if (c.op == Op::ConvertGpt) {
                    // The reserved partition comes with the conversion, as partition 1.
                    const std::uint64_t count = kReservedPartitionBytes / bs;
                    if (firstUsable + count + kMiB / bs > fdisk_get_last_lba(cxt))
                        return failure = "the disk is too small", false;
                    std::size_t number = 0;
                    if (!addPartition(cxt, firstUsable, count, kReservedType, 0,
                                      "Microsoft reserved partition", number))
                        return failure = "cannot make the reserved partition", false;
                }
                return selected->write(cxt, failure, machine);
            }
            case Op::CreatePrimary: {
                if (!gpt && !mbr) return failure = "the disk has no table", false;
                std::uint64_t end = 0;
                for (const Slot& s : slots) end = std::max(end, s.start + s.sectors);
                std::uint64_t first = 0, count = 0;
                if (mbr) {
                    if (slots.size() >= 4) return failure = "no free entry", false;
                    first = end ? alignUp(end, kMiB / bs) : kMiB / bs;
                    const std::uint64_t last = std::min<std::uint64_t>(sectors, 0x100000000ull);
                    if (first >= last) return failure = "no usable free extent", false;
                    count = last - first;
                } else {
                    first = alignUp(std::max<std::uint64_t>(end, fdisk_get_first_lba(cxt)), kMiB / bs);
                    const std::uint64_t last = fdisk_get_last_lba(cxt);
                    if (first > last) return failure = "no usable free extent", false;
                    count = last - first + 1;
                }
                std::size_t number = 0;
                if (!addPartition(cxt, first, count, gpt ? kBasicDataType : nullptr, kMbrDataType,
                                  gpt ? "Basic data partition" : nullptr, number))
                    return failure = "cannot make the partition", false;
                partition = number + 1;
                return selected->write(cxt, failure, machine);
            }
            case Op::Active: {
                if (!mbr) return failure = "not an MBR disk", false;
                if (partition == 0) return failure = "no partition selected", false;
                for (const Slot& s : slots) {
                    fdisk_partition* raw = nullptr;
                    if (fdisk_get_partition(cxt, s.number, &raw) != 0) continue;
                    const Partition p(raw);
                    if ((s.number + 1 == partition) != (fdisk_partition_is_bootable(p.get()) != 0))
                        fdisk_toggle_partition_flag(cxt, s.number, DOS_FLAG_ACTIVE);
                }
                return selected->write(cxt, failure, machine);
            }
            case Op::SelectPartition:
                if (std::none_of(slots.begin(), slots.end(),
                                 [&](const Slot& s) { return s.number + 1 == c.number; }))
                    return failure = "no such partition", false;
                partition = c.number;
                return true;
            case Op::AssignLetter: {
                const auto chosen = std::find_if(slots.begin(), slots.end(),
                                                 [&](const Slot& s) { return s.number + 1 == partition; });
                if (partition == 0 || chosen == slots.end() || chosen->reserved)
                    return failure = "no volume selected", false;
                return machine.assignLetter(selected->number(), chosen->start * bs / 512, c.letter, failure);
            }
            default:
                return true;
        }
    };

    for (const DiskpartCommand& c : script.commands) {
        if (carryOut(c) || c.noerr) continue;
        return {disktools::kDiskpartFailed, c.line, failure};
    }
    if (script.badLine)
        return {disktools::kDiskpartSyntax, script.badLine, "not understood: " + script.badText};
    return {};
}

}  // namespace quib::platform
