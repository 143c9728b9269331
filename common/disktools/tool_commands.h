// The command lines the system gives its disk tools ("diskpart.exe /s <script>", "format.com E:/Q /FS:NTFS
// /y", "label.exe E: <label>"), read the way those tools read them, for whatever carries them out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quib::disktools {

// The tools' exit codes: the partitioning tool's for a failed command, a missing script and a line it does
// not understand; the format tool's for bad parameters and a fatal error.
inline constexpr std::uint32_t kDiskpartFailed = 2, kDiskpartNoScript = 3, kDiskpartSyntax = 5;
inline constexpr std::uint32_t kFormatBadParameters = 1, kFormatFatal = 4;

// "C:\Windows\system32\format.com" -> "format.com" (lower case).
std::string programName(const std::string& program);

// The words of a command line, a switch starting a word of its own ("E:/Q" -> "E:", "/Q").
std::vector<std::string> switchWords(const std::string& arguments);

// "E:" -> 'E' (upper case); 0 when the word names no drive.
char driveWord(const std::string& word);

// The script of "/s <script>": the rest of the line is its path (it may hold blanks and slashes).
std::optional<std::string> diskpartScriptPath(const std::string& arguments);

struct FormatRequest {
    char letter = 0;         // 0: no drive named
    std::string fileSystem;  // lower case: "ntfs", "exfat", "fat32"; empty when none was given
    bool confirmed = false;  // "/y": without it the tool would wait for an answer no one gives
    bool unknownSwitch = false;
};
FormatRequest parseFormatArguments(const std::string& arguments);

struct LabelRequest {
    char letter = 0;
    std::string label;  // the words after the drive, one blank between them
};
LabelRequest parseLabelArguments(const std::string& arguments);

}  // namespace quib::disktools
