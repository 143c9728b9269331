// Storage services on a bridge's drive: partitioning and formatting it, and the production-line tests of its
// volume (the raw speed test, the file test).
#include <array>
#include <cctype>
#include <memory>

#include "tools/quibdiag/bridges.h"
#include "tools/quibdiag/command_support.h"
#include "tools/quibdiag/diag_error.h"
#include "tools/quibdiag/progress.h"

namespace quibdiag {
namespace {

Report speedTest(int index, std::uint32_t sectorSize, std::int32_t readMin, std::int32_t writeMin) {
    const Bridge b = selectBridge(index);
    if (b.driveLetter == 0)
        throw DiagError(ExitCode::DeviceFailure,
                        "bridge " + std::to_string(index) + " has no volume to test");
    QuibRWTestRecord record{};
    record.dwSectorSize = sectorSize;
    const std::string volume = std::string(1, b.driveLetter) + ":";
    const std::string thresholds =
        "read " + std::to_string(readMin) + " MB/s, write " + std::to_string(writeMin) + " MB/s";
    if (QuibUSBLib_ReadWritePerfomanceTest(b.driveLetter, record, readMin, writeMin) != 1)
        throw DiagError(ExitCode::DeviceFailure, "speed test of " + volume + " failed (thresholds " +
                                                     thresholds +
                                                     "); the library's log holds the speeds measured");
    Report r;
    r.data = {{"bridge", bridgeJson(b)},
              {"volume", volume},
              {"read_min_mb_per_s", readMin},
              {"write_min_mb_per_s", writeMin},
              {"passed", true}};
    Fields f;
    f.add("volume", volume);
    f.add("thresholds", thresholds);
    f.add("result", "PASS");
    r.text = f.text();
    return r;
}

Report fileTest(int index, std::int32_t rounds) {
    const Bridge b = selectBridge(index);
    if (b.driveLetter == 0)
        throw DiagError(ExitCode::DeviceFailure,
                        "bridge " + std::to_string(index) + " has no volume to test");
    const std::string volume = std::string(1, b.driveLetter) + ":";
    int result = 0;
    {
        const Progress progress("copying rwtestbin.txt to " + volume);
        result = QuibUSBLib_vReadWriteTest(b.driveLetter, rounds);
    }
    if (result != 0)
        throw DiagError(ExitCode::DeviceFailure,
                        "file test of " + volume + " failed; the library's log tells which step");
    Report r;
    r.data = {{"bridge", bridgeJson(b)}, {"volume", volume}, {"rounds", rounds}, {"passed", true}};
    Fields f;
    f.add("volume", volume);
    f.add("rounds", std::to_string(rounds));
    f.add("result", "PASS");
    r.text = f.text();
    return r;
}

struct FormatChoice {
    const char* name;
    std::uint8_t code;  // the export's file-system choice
};
constexpr FormatChoice kFileSystems[] = {{"ntfs", 0}, {"fat32", 1}, {"exfat", 2}};

Report format(int index, const FormatChoice& fs, bool gpt, char letter, const std::string& label) {
    const Bridge b = selectBridge(index);
    const std::string volume = std::string(1, letter) + ":";
    int result = 0;
    {
        const Progress progress(std::string("partitioning and formatting ") + fs.name + " as " + volume);
        result = QuibUSBLib_vPartitionFormat(b.libraryIndex, gpt, fs.code, letter, label.c_str());
    }
    if (result != 0)
        throw DiagError(ExitCode::DeviceFailure, "formatting bridge " + std::to_string(index) +
                                                     "'s drive failed (" + std::to_string(result) +
                                                     "); the library's log tells which step");
    Report r;
    r.data = {{"bridge", bridgeJson(b)},      {"volume", volume}, {"file_system", fs.name},
              {"table", gpt ? "gpt" : "mbr"}, {"label", label},   {"formatted", true}};
    Fields f;
    f.add("volume", volume);
    f.add("file system", fs.name);
    f.add("table", gpt ? "GPT" : "MBR");
    f.add("label", label);
    f.add("result", "formatted");
    r.text = f.text();
    return r;
}

}  // namespace

void addStorageCommands(Registry reg) {
    auto f = std::make_shared<std::array<std::string, 5>>();
    auto* formatCommand = reg.app.add_subcommand(
        "format", "repartition the bridge's drive as one volume and format it (everything on it is lost)");
    addBridgeOption(formatCommand, (*f)[0]);
    formatCommand->add_option("--fs", (*f)[1], "fat32, exfat or ntfs (drives above 8 TiB: always ntfs)")
        ->required();
    formatCommand
        ->add_option("--letter", (*f)[2], "the letter the new volume receives: the first free from E")
        ->required();
    formatCommand->add_option("--label", (*f)[3], "the volume's label (default none)");
    formatCommand->add_flag(
        "--gpt", [f](std::int64_t) { (*f)[4] = "gpt"; }, "a GPT disk (default MBR)");
    formatCommand->callback([f, &chosen = reg.chosen] {
        const int index = bridgeIndex((*f)[0]);
        std::string fs = (*f)[1];
        for (char& c : fs) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const FormatChoice* choice = nullptr;
        for (const FormatChoice& c : kFileSystems)
            if (fs == c.name) choice = &c;
        if (!choice)
            throw DiagError(ExitCode::Usage, "--fs: expected fat32, exfat or ntfs, not \"" + (*f)[1] + "\"");
        const std::string& letterText = (*f)[2];
        if (letterText.size() != 1 && !(letterText.size() == 2 && letterText[1] == ':'))
            throw DiagError(ExitCode::Usage, "--letter: expected one drive letter such as F");
        const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letterText[0])));
        if (letter < 'D' || letter > 'Z')
            throw DiagError(ExitCode::Usage,
                            "--letter: " + letterText + " is not a letter a bridge's volume takes");
        const FormatChoice picked = *choice;
        const bool gpt = (*f)[4] == "gpt";
        const std::string label = (*f)[3];
        chosen = [=] { return format(index, picked, gpt, letter, label); };
    });

    auto* rwtest =
        reg.app.add_subcommand("rwtest", "production-line tests of the volume on the bridge's drive");
    rwtest->require_subcommand(1);
    auto o = std::make_shared<std::array<std::string, 4>>();
    auto* c = rwtest->add_subcommand(
        "speed", "write and read back 256 KiB at three places (contents saved and put back), timed");
    addBridgeOption(c, (*o)[0]);
    c->add_option("--read-min", (*o)[1], "read speed to reach, MB/s (default 0)");
    c->add_option("--write-min", (*o)[2], "reported write speed to reach, MB/s (default 0)");
    c->add_option("--sector-size", (*o)[3], "the drive's sector size (default 512)");
    c->callback([o, &chosen = reg.chosen] {
        const int index = bridgeIndex((*o)[0]);
        auto number = [](const std::string& option, const std::string& text, std::uint64_t fallback,
                         std::uint64_t max) {
            return text.empty() ? fallback : numberOption(option, text, 0, max);
        };
        const auto readMin = static_cast<std::int32_t>(number("--read-min", (*o)[1], 0, 100000));
        const auto writeMin = static_cast<std::int32_t>(number("--write-min", (*o)[2], 0, 100000));
        const auto sectorSize = static_cast<std::uint32_t>(number("--sector-size", (*o)[3], 512, 65536));
        chosen = [=] { return speedTest(index, sectorSize, readMin, writeMin); };
    });
    auto r = std::make_shared<std::array<std::string, 2>>();
    auto* file = rwtest->add_subcommand(
        "file", "copy rwtestbin.txt from the library's folder to the volume and compare, COUNT times");
    addBridgeOption(file, (*r)[0]);
    file->add_option("--count", (*r)[1], "copy-and-compare rounds, 1..1000 (default 1)");
    file->callback([r, &chosen = reg.chosen] {
        const int index = bridgeIndex((*r)[0]);
        const auto rounds =
            static_cast<std::int32_t>((*r)[1].empty() ? 1 : numberOption("--count", (*r)[1], 1, 1000));
        chosen = [=] { return fileTest(index, rounds); };
    });
}

}  // namespace quibdiag
