// uiprobe: watches the upgrade program's window from outside, for test scripts.
//
//   uiprobe [--title-prefix TEXT] [--png FILE] [--press-ok] [--interval-ms N] [--timeout-ms N]
//
// Finds the top-level dialog (class #32770) whose caption begins with the prefix (default "Torvane USB
// Mass Storage Firmware Upgrade Tool"), then prints one JSON line each time what it reads changes: the
// status line (control 1002), the progress bar's position, range and colour (1001), whether OK (1) can
// be pressed and whether the window is visible. When OK becomes pressable the run is over: the window is
// saved as a PNG (--png), OK is pressed (--press-ok), and the probe ends once the window is gone (or at
// once without --press-ok).
//
// Exit codes: 0 done; 1 no such window within the time; 2 the window did not finish within the time;
// 3 the picture could not be taken or written; 4 bad arguments.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "platform/backends.h"
#include "platform/win32/win32_dialog_ids.h"
#include "tools/uiprobe/common_controls.h"
#include "tools/uiprobe/png_writer.h"
#include "tools/uiprobe/window_capture.h"

namespace {

using quib::uiprobe::captureWindow;
using quib::uiprobe::encodePng;

struct Options {
    std::wstring titlePrefix = L"Torvane USB Mass Storage Firmware Upgrade Tool";
    std::string png;
    bool pressOk = false;
    DWORD intervalMs = 50;
    std::chrono::milliseconds timeout{180000};
};

std::wstring widen(const char* text) {
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size > 0 ? size - 1 : 0), L'\0');
    if (size > 1) ::MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), size);
    return wide;
}

std::optional<Options> parse(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--title-prefix" && hasValue)
            options.titlePrefix = widen(argv[++i]);
        else if (arg == "--png" && hasValue)
            options.png = argv[++i];
        else if (arg == "--press-ok")
            options.pressOk = true;
        else if (arg == "--interval-ms" && hasValue)
            options.intervalMs = static_cast<DWORD>(std::strtoul(argv[++i], nullptr, 10));
        else if (arg == "--timeout-ms" && hasValue)
            options.timeout = std::chrono::milliseconds(std::strtoul(argv[++i], nullptr, 10));
        else
            return std::nullopt;
    }
    return options;
}

// JSON string of a UTF-16 text (UTF-8, with quotes, backslashes and control characters escaped).
std::string jsonString(const std::wstring& text) {
    return nlohmann::json(quib::platform::wideToUtf8(text)).dump();
}

// Read through SendMessageTimeout: a window that stopped answering shows as such, the probe goes on.
std::optional<LRESULT> ask(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    DWORD_PTR answer = 0;
    if (!::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, 2000, &answer))
        return std::nullopt;
    return static_cast<LRESULT>(answer);
}

std::optional<std::wstring> textOf(HWND window) {
    const auto length = ask(window, WM_GETTEXTLENGTH);
    if (!length) return std::nullopt;
    // The text may grow between the two questions: a buffer filled to the brim is asked again, larger.
    std::size_t room = static_cast<std::size_t>(*length) + 2;
    for (;;) {
        std::wstring text(room, L'\0');
        const auto copied = ask(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
        if (!copied) return std::nullopt;
        if (static_cast<std::size_t>(*copied) + 1 < room) {
            text.resize(static_cast<std::size_t>(*copied));
            return text;
        }
        room *= 2;
    }
}

struct Search {
    const std::wstring* prefix;
    HWND found = nullptr;
};

BOOL CALLBACK matchWindow(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<Search*>(context);
    wchar_t className[16] = {};
    ::GetClassNameW(window, className, 16);
    if (std::wstring(className) != L"#32770") return TRUE;
    const auto title = textOf(window);
    if (!title || title->rfind(*search->prefix, 0) != 0) return TRUE;
    search->found = window;
    return FALSE;
}

HWND findWindow(const std::wstring& prefix) {
    Search search{&prefix};
    ::EnumWindows(&matchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

struct Reading {
    std::optional<std::wstring> status;
    std::optional<LRESULT> position;
    PBRANGE range{};
    std::optional<LRESULT> barColour;
    bool okEnabled = false;
    bool visible = false;

    bool operator==(const Reading& other) const {
        return status == other.status && position == other.position && range.iLow == other.range.iLow &&
               range.iHigh == other.range.iHigh && barColour == other.barColour &&
               okEnabled == other.okEnabled && visible == other.visible;
    }
};

Reading read(HWND window) {
    Reading r;
    HWND bar = ::GetDlgItem(window, QUIB_IDC_PROGRESS);
    r.status = textOf(::GetDlgItem(window, QUIB_IDC_STATUS));
    r.position = ask(bar, PBM_GETPOS);
    // Without a structure: the window is in another process, a pointer would be written into its memory.
    r.range.iLow = static_cast<int>(ask(bar, PBM_GETRANGE, TRUE, 0).value_or(0));
    r.range.iHigh = static_cast<int>(ask(bar, PBM_GETRANGE, FALSE, 0).value_or(0));
    r.barColour = ask(bar, PBM_GETBARCOLOR);
    r.okEnabled = ::IsWindowEnabled(::GetDlgItem(window, QUIB_IDC_OK)) != FALSE;
    r.visible = ::IsWindowVisible(window) != FALSE;
    return r;
}

std::string colourText(std::optional<LRESULT> colour) {
    if (!colour) return "null";
    const auto c = static_cast<COLORREF>(*colour);
    char text[16];
    std::snprintf(text, sizeof text, "\"#%02X%02X%02X\"", GetRValue(c), GetGValue(c), GetBValue(c));
    return text;
}

class Clock {
  public:
    long long ms() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                     m_start)
            .count();
    }
    bool over(std::chrono::milliseconds limit) const {
        return std::chrono::steady_clock::now() - m_start > limit;
    }

  private:
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

void printReading(const Clock& clock, const Reading& r) {
    std::printf(
        "{\"t_ms\":%lld,\"status\":%s,\"pos\":%s,\"low\":%d,\"high\":%d,\"bar\":%s,\"ok_enabled\":%s,"
        "\"visible\":%s}\n",
        clock.ms(), r.status ? jsonString(*r.status).c_str() : "null",
        r.position ? std::to_string(*r.position).c_str() : "null", r.range.iLow, r.range.iHigh,
        colourText(r.barColour).c_str(), r.okEnabled ? "true" : "false", r.visible ? "true" : "false");
    std::fflush(stdout);
}

void printEvent(const Clock& clock, const char* event, const std::string& more = {}) {
    std::printf("{\"t_ms\":%lld,\"event\":\"%s\"%s}\n", clock.ms(), event, more.c_str());
    std::fflush(stdout);
}

int savePicture(const Clock& clock, HWND window, const std::string& path) {
    const auto picture = captureWindow(window);
    if (!picture || !quib::uiprobe::writeFile(path, encodePng(*picture))) {
        printEvent(clock, "screenshot_failed");
        return 3;
    }
    printEvent(
        clock, "screenshot",
        ",\"width\":" + std::to_string(picture->width) + ",\"height\":" + std::to_string(picture->height));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const auto options = parse(argc, argv);
    if (!options) {
        std::fprintf(stderr,
                     "usage: uiprobe [--title-prefix TEXT] [--png FILE] [--press-ok] [--interval-ms N] "
                     "[--timeout-ms N]\n");
        return 4;
    }
    const Clock clock;
    HWND window = nullptr;
    while (!(window = findWindow(options->titlePrefix))) {
        if (clock.over(options->timeout)) {
            printEvent(clock, "not_found");
            return 1;
        }
        ::Sleep(options->intervalMs);
    }
    const auto title = textOf(window);
    printEvent(clock, "found", ",\"title\":" + jsonString(title.value_or(L"")));

    std::optional<Reading> last;
    while (::IsWindow(window)) {
        const Reading now = read(window);
        if (!last || !(*last == now)) printReading(clock, now);
        last = now;
        if (now.okEnabled) {
            if (!options->png.empty())
                if (const int failed = savePicture(clock, window, options->png)) return failed;
            if (!options->pressOk) return 0;
            printEvent(clock, "press_ok");
            ask(::GetDlgItem(window, QUIB_IDC_OK), BM_CLICK);
            while (::IsWindow(window) && !clock.over(options->timeout)) ::Sleep(options->intervalMs);
            break;
        }
        if (clock.over(options->timeout)) {
            printEvent(clock, "timeout");
            return 2;
        }
        ::Sleep(options->intervalMs);
    }
    if (::IsWindow(window)) {
        printEvent(clock, "timeout");
        return 2;
    }
    printEvent(clock, "gone");
    return 0;
}
