// The partitioning tool's script language, as far as the system's scripts use it: the commands that prepare a
// whole disk for one volume. Anything else is refused, as the tool refuses what it does not know.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quib::disktools {

struct DiskpartCommand {
    enum class Op {
        ListDisk,
        SelectDisk,
        OnlineDisk,
        ClearReadOnly,  // attributes disk clear readonly
        Clean,
        ConvertMbr,
        ConvertGpt,
        CreatePrimary,
        Active,
        SelectPartition,
        AssignLetter,
    };
    Op op = Op::ListDisk;
    bool noerr = false;        // a failure of this command does not end the script
    std::uint32_t number = 0;  // SelectDisk, SelectPartition
    char letter = 0;           // AssignLetter, upper case
    int line = 0;              // 1-based
};

struct DiskpartScript {
    std::vector<DiskpartCommand> commands;  // up to the first line that is not understood
    int badLine = 0;                        // that line; 0 when every line is understood
    std::string badText;
};

// The words of a line, as the system's tools split their command lines: at blanks (none kept).
std::vector<std::string> blankSeparatedWords(std::string_view line);

// Words are separated by blanks and compared without regard to case; empty lines and "rem" lines are
// skipped; "noerr" may end any command.
DiskpartScript parseDiskpartScript(std::string_view text);

}  // namespace quib::disktools
