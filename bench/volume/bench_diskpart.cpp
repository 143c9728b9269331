// The bench: the partitioning tool carrying out a script on a disk, as far as the script language reaches
// (see diskpart_script.h). Tables are written through the bridge like any other write.
#include <algorithm>

#include "bench/bench_internal.h"
#include "bench/volume/disk_tables.h"
#include "common/disktools/diskpart_script.h"

namespace bench {
using quib::disktools::DiskpartCommand;
using quib::disktools::DiskpartScript;
using quib::disktools::parseDiskpartScript;
namespace {

constexpr std::uint64_t kMiB = 1048576;
constexpr std::uint64_t kReservedPartitionBytes = 16 * kMiB;
const std::u16string kReservedName = u"Microsoft reserved partition";
const std::u16string kDataName = u"Basic data partition";

std::uint64_t alignUp(std::uint64_t value, std::uint64_t unit) {
    return (value + unit - 1) / unit * unit;
}

}  // namespace

std::uint32_t Bench::runDiskpart(const std::string& text) {
    using Op = DiskpartCommand::Op;
    const DiskpartScript script = parseDiskpartScript(text);
    int disk = -1;                // selected disk number
    std::uint32_t partition = 0;  // selected partition number
    std::string failure;
    auto event = [this](const std::string& what) { m_volumeEvents.push_back("diskpart " + what); };

    // One command on the selected disk; false (with `failure`) when it fails.
    auto carryOut = [&](const DiskpartCommand& c) -> bool {
        if (c.op == Op::ListDisk) return true;
        if (c.op == Op::SelectDisk) {
            if (!diskPresent(static_cast<int>(c.number))) return failure = "no such disk", false;
            disk = static_cast<int>(c.number);
            partition = 0;
            return true;
        }
        if (disk < 0) return failure = "no disk selected", false;
        if (c.op == Op::OnlineDisk || c.op == Op::ClearReadOnly) return true;
        const int bridge = bridgeOnDisk(disk);
        if (bridge < 0) {
            // The disk the system runs from: the tool refuses to change it.
            event("refused disk " + std::to_string(disk));
            return failure = "not allowed on the system disk", false;
        }
        const DriveDescription& drive = *m_description.bridges[static_cast<std::size_t>(bridge)].drive;
        const std::uint32_t bs = drive.reportedBytesPerSector;
        const std::uint64_t sectors = drive.reportedBlocks();
        const DiskLayout layout = layoutOf(bridge);
        auto write = [&](const std::vector<SectorImage>& images) {
            for (const SectorImage& image : images) {
                std::vector<std::uint8_t> bytes = image.bytes;
                std::uint32_t error = 0;
                if (!driveTransfer(bridge, image.lba * bs, bytes, true, error))
                    return failure = "write failed", false;
            }
            return true;
        };
        // The table as it stands, ready to be written again with a change.
        std::vector<TablePartition> parts;
        for (const PartitionSlot& slot : layout.partitions) {
            TablePartition p{slot.offset / bs, slot.length / bs, slot.mbrType, slot.active, slot.gptType, {}};
            p.name = slot.gptType == kGptMsrType ? kReservedName : kDataName;
            parts.push_back(p);
        }
        const std::uint32_t signature = static_cast<std::uint32_t>(nowUs() * 2654435761u) | 1u;
        std::array<std::uint8_t, 16> guid{};
        for (std::size_t i = 0; i < guid.size(); ++i)
            guid[i] = static_cast<std::uint8_t>(signature >> (i % 4 * 8));
        guid[7] = static_cast<std::uint8_t>((guid[7] & 0x0F) | 0x40);
        auto rewrite = [&]() {
            return write(layout.style == DiskLayout::Style::Gpt ? gptTable(guid, parts, sectors, bs)
                                                                : mbrTable(signature, parts, bs));
        };
        switch (c.op) {
            case Op::Clean: {
                // The first and last MiB: the tables and the GPT's backup.
                const std::uint64_t span = std::min<std::uint64_t>(kMiB, sectors * bs / 2) / bs * bs;
                std::vector<std::uint8_t> zeros(static_cast<std::size_t>(span), 0);
                std::uint32_t error = 0;
                if (!driveTransfer(bridge, 0, zeros, true, error) ||
                    !driveTransfer(bridge, sectors * bs - span, zeros, true, error))
                    return failure = "write failed", false;
                partition = 0;
                event("clean " + std::to_string(disk));
                return true;
            }
            case Op::ConvertMbr:
            case Op::ConvertGpt: {
                if (!layout.partitions.empty()) return failure = "the disk is not empty", false;
                parts.clear();
                if (c.op == Op::ConvertMbr) return write(mbrTable(signature, parts, bs));
                // The reserved partition comes with the conversion, as partition 1.
                const std::uint64_t first = gptFirstUsableLba(bs), count = kReservedPartitionBytes / bs;
                if (first + count + kMiB / bs > gptLastUsableLba(sectors, bs))
                    return failure = "the disk is too small", false;
                parts.push_back({first, count, 0, false, kGptMsrType, kReservedName});
                return write(gptTable(guid, parts, sectors, bs));
            }
            case Op::CreatePrimary: {
                if (layout.style == DiskLayout::Style::Raw) return failure = "the disk has no table", false;
                std::uint64_t end = 0;
                for (const TablePartition& p : parts) end = std::max(end, p.firstLba + p.sectors);
                TablePartition p;
                if (layout.style == DiskLayout::Style::Mbr) {
                    if (parts.size() >= 4) return failure = "no free entry", false;
                    const std::uint64_t first =
                        end ? alignUp(end, kMiB / bs)
                            : (m_description.diskpartMbrFirstSector ? m_description.diskpartMbrFirstSector
                                                                    : kMiB / bs);
                    const std::uint64_t last = std::min<std::uint64_t>(sectors, 0x100000000ull);
                    if (first >= last) return failure = "no usable free extent", false;
                    p = {first, last - first, 0x07, false, {}, {}};
                } else {
                    const std::uint64_t first = alignUp(std::max(end, gptFirstUsableLba(bs)), kMiB / bs);
                    const std::uint64_t last = gptLastUsableLba(sectors, bs);
                    if (first > last) return failure = "no usable free extent", false;
                    p = {first, last - first + 1, 0, false, kGptBasicDataType, kDataName};
                }
                parts.push_back(p);
                partition = static_cast<std::uint32_t>(parts.size());
                event("create " + std::to_string(disk) + " " + std::to_string(p.firstLba) + " " +
                      std::to_string(p.sectors));
                return rewrite();
            }
            case Op::Active:
                if (layout.style != DiskLayout::Style::Mbr) return failure = "not an MBR disk", false;
                if (partition == 0 || partition > parts.size())
                    return failure = "no partition selected", false;
                for (std::size_t i = 0; i < parts.size(); ++i) parts[i].active = i + 1 == partition;
                return rewrite();
            case Op::SelectPartition:
                if (c.number == 0 || c.number > parts.size()) return failure = "no such partition", false;
                partition = c.number;
                return true;
            case Op::AssignLetter: {
                const PartitionSlot* data = dataPartition(layout);
                if (partition == 0 || !data || data->number != partition)
                    return failure = "no volume selected", false;
                std::optional<std::size_t> mine;
                for (std::size_t v = 0; v < m_description.volumes.size(); ++v) {
                    if (m_description.volumes[v].bridge == bridge)
                        mine = v;
                    else if (volumeLetter(v) == c.letter && volumeShown(v))
                        return failure = "the letter is in use", false;
                }
                if (!mine || c.letter < 'C') return failure = "no volume to assign", false;
                m_state->volumeLetters[*mine] = c.letter;
                m_dirty = true;
                event(std::string("assign ") + c.letter);
                return true;
            }
            default:
                return true;
        }
    };

    for (const DiskpartCommand& c : script.commands) {
        if (carryOut(c) || c.noerr) continue;
        event("failed line " + std::to_string(c.line) + ": " + failure);
        return kDiskpartFailed;
    }
    if (script.badLine) {
        event("syntax line " + std::to_string(script.badLine));
        return kDiskpartSyntax;
    }
    return 0;
}

}  // namespace bench
