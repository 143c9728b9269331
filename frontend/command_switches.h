// Recognition of the command-line switches.
//
// A switch is found by a case-sensitive search anywhere in the command line, and each switch that takes
// effect deletes its own text (every occurrence) so that a later search does not meet it again. A switch
// with an argument "takes" a span that begins at the switch: the span's text is deleted from the command
// line, the switch text is deleted from the span, and the trimmed rest is the argument.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace quib::frontend {

// Takes the span [start, start + length) (cut at the end of the line; a negative length is empty).
std::wstring takeSpan(std::wstring& cmdLine, std::size_t start, std::ptrdiff_t length,
                      std::wstring_view switchText);

// A switch without argument ("/?", "/S", "/O"): true when present, and then deleted.
bool takeSwitch(std::wstring& cmdLine, std::wstring_view switchText);

// The argument of a switch whose span has a fixed length, switch text included. Empty optional when the
// switch is absent.
std::optional<std::wstring> takeFixedSpan(std::wstring& cmdLine, std::wstring_view switchText,
                                          std::size_t spanLength);

// The argument of a switch whose span ends with the first `suffix` of the line ("/PD:" ... ".cyacd").
// Without the suffix anywhere the argument is empty.
std::optional<std::wstring> takeThroughSuffix(std::wstring& cmdLine, std::wstring_view switchText,
                                              std::wstring_view suffix);

// The argument of a switch whose span is the first space-delimited token from the switch on ("/N:").
std::optional<std::wstring> takeToken(std::wstring& cmdLine, std::wstring_view switchText);

// "/U:": the span ends with the first ".bin" of the line, else the first ".rom", else the line's end.
std::optional<std::wstring> takeFirmwareFile(std::wstring& cmdLine);

// What the switches after the library binding ask for, read in their fixed order. Reading stops at the
// first switch whose argument is refused; `error` names it and nothing after it is read.
struct RunSwitches {
    enum class Error {
        None,
        MissingVersion,
        InvalidDrive,
        MissingPDFile,
        MissingMCUFile,
        MissingSerialNumber
    };

    std::optional<int> debugLevel;  // "/DBG:" with a digit

    bool checkFwVersion = false;   // "/C:" or "/E:"
    bool checkEnablesHub = false;  // the version came with "/E:"
    std::wstring checkVersion;

    bool showUsbStatus = false;  // "/D"

    std::optional<unsigned long> physicalDrive;  // "/P:" as read, before the range check

    bool updatePD = false;  // "/PD:"
    std::wstring pdFile;
    bool updateMCU = false;  // "/MCU:"
    std::wstring mcuFile;
    bool updateSerialNumber = false;  // "/N:"
    std::wstring serialNumber;
    bool firmwareFileGiven = false;  // "/U:"
    std::wstring firmwareFile;
    bool outputVersion = false;  // "/O"

    Error error = Error::None;
};

inline constexpr unsigned long kMaxPhysicalDrive = 255;

RunSwitches takeRunSwitches(std::wstring& cmdLine);

}  // namespace quib::frontend
