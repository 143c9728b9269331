#include "frontend/command_switches.h"

#include <cwchar>

#include "frontend/text_helpers.h"

namespace quib::frontend {
namespace {

constexpr std::ptrdiff_t kNotFound = -1;

std::ptrdiff_t findIn(const std::wstring& text, std::wstring_view what) {
    const std::size_t at = text.find(what);
    return at == std::wstring::npos ? kNotFound : static_cast<std::ptrdiff_t>(at);
}

// Unsigned decimal reading as strtoul does it: no number reads 0, a minus sign wraps around.
unsigned long readUnsigned(const std::wstring& text) {
    return std::wcstoul(text.c_str(), nullptr, 10);
}

}  // namespace

std::wstring takeSpan(std::wstring& cmdLine, std::size_t start, std::ptrdiff_t length,
                      std::wstring_view switchText) {
    std::wstring span;
    if (length > 0 && start < cmdLine.size()) span = cmdLine.substr(start, static_cast<std::size_t>(length));
    removeAll(cmdLine, span);
    removeAll(span, switchText);
    return trimmed(span);
}

bool takeSwitch(std::wstring& cmdLine, std::wstring_view switchText) {
    if (findIn(cmdLine, switchText) == kNotFound) return false;
    removeAll(cmdLine, switchText);
    return true;
}

std::optional<std::wstring> takeFixedSpan(std::wstring& cmdLine, std::wstring_view switchText,
                                          std::size_t spanLength) {
    const std::ptrdiff_t at = findIn(cmdLine, switchText);
    if (at == kNotFound) return std::nullopt;
    return takeSpan(cmdLine, static_cast<std::size_t>(at), static_cast<std::ptrdiff_t>(spanLength),
                    switchText);
}

std::optional<std::wstring> takeThroughSuffix(std::wstring& cmdLine, std::wstring_view switchText,
                                              std::wstring_view suffix) {
    const std::ptrdiff_t at = findIn(cmdLine, switchText);
    if (at == kNotFound) return std::nullopt;
    const std::ptrdiff_t suffixAt = findIn(cmdLine, suffix);
    if (suffixAt == kNotFound) return std::wstring();
    const auto length = suffixAt - at + static_cast<std::ptrdiff_t>(suffix.size());
    return takeSpan(cmdLine, static_cast<std::size_t>(at), length, switchText);
}

// "/PD:" names a Cypress ".cyacd" image, or a RichTek ".bin" one: without any ".cyacd" in the line, the span
// runs to the first ".bin" after the switch, unless another switch starts inside it.
std::optional<std::wstring> takePdFile(std::wstring& cmdLine) {
    constexpr std::wstring_view kSwitch = L"/PD:";
    constexpr std::wstring_view kRichTek = L".bin";
    const std::ptrdiff_t at = findIn(cmdLine, kSwitch);
    if (at == kNotFound || findIn(cmdLine, L".cyacd") != kNotFound)
        return takeThroughSuffix(cmdLine, kSwitch, L".cyacd");
    const std::size_t start = static_cast<std::size_t>(at);
    const std::size_t bin = cmdLine.find(kRichTek, start + kSwitch.size());
    if (bin == std::wstring::npos || cmdLine.find(L" /", start) < bin)
        return takeThroughSuffix(cmdLine, kSwitch, L".cyacd");
    return takeSpan(cmdLine, start, static_cast<std::ptrdiff_t>(bin + kRichTek.size() - start), kSwitch);
}

std::optional<std::wstring> takeToken(std::wstring& cmdLine, std::wstring_view switchText) {
    const std::ptrdiff_t at = findIn(cmdLine, switchText);
    if (at == kNotFound) return std::nullopt;
    const auto start = static_cast<std::size_t>(at);
    const std::size_t space = cmdLine.find(L' ', start);
    const std::size_t end = space == std::wstring::npos ? cmdLine.size() : space;
    return takeSpan(cmdLine, start, static_cast<std::ptrdiff_t>(end - start), switchText);
}

std::optional<std::wstring> takeFirmwareFile(std::wstring& cmdLine) {
    constexpr std::wstring_view kSwitch = L"/U:";
    const std::ptrdiff_t at = findIn(cmdLine, kSwitch);
    if (at == kNotFound) return std::nullopt;
    std::ptrdiff_t length = static_cast<std::ptrdiff_t>(cmdLine.size()) - at;
    for (std::wstring_view suffix : {std::wstring_view(L".bin"), std::wstring_view(L".rom")}) {
        const std::ptrdiff_t suffixAt = findIn(cmdLine, suffix);
        if (suffixAt != kNotFound) {
            length = suffixAt - at + static_cast<std::ptrdiff_t>(suffix.size());
            break;
        }
    }
    return takeSpan(cmdLine, static_cast<std::size_t>(at), length, kSwitch);
}

RunSwitches takeRunSwitches(std::wstring& cmdLine) {
    using Error = RunSwitches::Error;
    RunSwitches sw;

    // One character only: "/DBG:12" reads 1 and leaves the 2 behind.
    if (auto level = takeFixedSpan(cmdLine, L"/DBG:", 6)) {
        if (level->size() == 1 && (*level)[0] >= L'0' && (*level)[0] <= L'9')
            sw.debugLevel = (*level)[0] - L'0';
    }

    if (auto version = takeFixedSpan(cmdLine, L"/C:", 15)) {
        sw.checkFwVersion = true;
        sw.checkVersion = *version;
    } else if (auto hubVersion = takeFixedSpan(cmdLine, L"/E:", 15)) {
        sw.checkFwVersion = true;
        sw.checkEnablesHub = true;
        sw.checkVersion = *hubVersion;
    }
    if (sw.checkFwVersion && sw.checkVersion.empty()) {
        sw.error = Error::MissingVersion;
        return sw;
    }

    if (!sw.checkFwVersion) {
        // "/D" stays in the line; it only keeps "/P:" from being read.
        sw.showUsbStatus = cmdLine.find(L"/D") != std::wstring::npos;
        if (!sw.showUsbStatus) {
            if (auto drive = takeFixedSpan(cmdLine, L"/P:", 5)) {
                sw.physicalDrive = readUnsigned(*drive);
                if (*sw.physicalDrive > kMaxPhysicalDrive) {
                    sw.error = Error::InvalidDrive;
                    return sw;
                }
            }
        }
    }

    if (auto pdFile = takePdFile(cmdLine)) {
        sw.updatePD = true;
        sw.pdFile = *pdFile;
        if (sw.pdFile.empty()) {
            sw.error = Error::MissingPDFile;
            return sw;
        }
    }
    if (auto mcuFile = takeThroughSuffix(cmdLine, L"/MCU:", L".hex")) {
        sw.updateMCU = true;
        sw.mcuFile = *mcuFile;
        if (sw.mcuFile.empty()) {
            sw.error = Error::MissingMCUFile;
            return sw;
        }
    }
    if (auto serial = takeToken(cmdLine, L"/N:")) {
        sw.updateSerialNumber = true;
        sw.serialNumber = *serial;
        if (sw.serialNumber.empty()) {
            sw.error = Error::MissingSerialNumber;
            return sw;
        }
    }
    if (auto firmware = takeFirmwareFile(cmdLine)) {
        sw.firmwareFileGiven = true;
        sw.firmwareFile = *firmware;
    }
    sw.outputVersion = takeSwitch(cmdLine, L"/O");
    return sw;
}

}  // namespace quib::frontend
