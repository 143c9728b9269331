#include <atomic>
#include <cctype>
#include <cstdlib>
#include <cwchar>
#include <mutex>
#include <stdexcept>

#include "common/log/debug_log.h"
#include "platform/backends.h"

namespace quib::platform {
namespace {

std::mutex g_selectLock;
std::unique_ptr<Backend> g_backend;
std::atomic<Platform*> g_current{nullptr};  // read by the log sinks without the selection lock
thread_local std::uint32_t t_lastError = 0;

void narrowSink(std::string_view line) {
    if (Platform* p = g_current.load()) p->ui.debugOutput(line);
}
void wideSink(std::wstring_view line) {
    if (Platform* p = g_current.load()) p->ui.debugOutput(wideToUtf8(line));
}

}  // namespace

std::uint32_t lastError() {
    return t_lastError;
}
void setLastError(std::uint32_t code) {
    t_lastError = code;
}

Platform& get() {
    std::lock_guard lock(g_selectLock);
    if (!g_backend) {
        const char* bench = std::getenv("QUIB_BENCH");
        g_backend = (bench && *bench) ? makeBenchBackend(bench) : makeNativeBackend();
        g_current = &g_backend->platform();
        log::setSinks(narrowSink, wideSink);
    }
    return g_backend->platform();
}

std::unique_ptr<Backend> install(std::unique_ptr<Backend> backend) {
    std::lock_guard lock(g_selectLock);
    std::unique_ptr<Backend> previous = std::move(g_backend);
    g_backend = std::move(backend);
    g_current = g_backend ? &g_backend->platform() : nullptr;
    if (g_backend) log::setSinks(narrowSink, wideSink);
    return previous;
}

std::string wideToUtf8(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<std::uint32_t>(text[i]);
        // Where wchar_t is UTF-16 (Windows), a surrogate pair is one character.
        if constexpr (sizeof(wchar_t) == 2) {
            if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size()) {
                const auto low = static_cast<std::uint32_t>(text[i + 1]);
                if (low >= 0xDC00 && low < 0xE000) {
                    c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                    ++i;
                }
            }
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::wstring utf8ToWide(std::string_view text) {
    std::wstring out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        auto c = static_cast<unsigned char>(text[i]);
        std::uint32_t cp = c;
        std::size_t extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        if (i + extra >= text.size()) extra = 0;  // a cut sequence keeps its lead byte as it is
        if (extra) cp = c & (0x3F >> extra);
        for (std::size_t k = 1; k <= extra; ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        if (sizeof(wchar_t) == 2 && cp >= 0x10000) {
            out += static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10));
            out += static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            out += static_cast<wchar_t>(cp);
        }
        i += 1 + extra;
    }
    return out;
}

}  // namespace quib::platform

namespace quib::platform {
namespace {
std::mutex g_resourceLock;
std::vector<PackagedResource> g_resources;

bool sameTypeName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}
}  // namespace

void registerPackagedResources(std::vector<PackagedResource> resources) {
    std::lock_guard lock(g_resourceLock);
    g_resources = std::move(resources);
}

std::optional<std::span<const std::uint8_t>> findPackagedResource(std::string_view type, int id) {
    std::lock_guard lock(g_resourceLock);
    for (const auto& r : g_resources)
        if (r.id == id && sameTypeName(r.type, type)) return r.bytes;
    setLastError(1813);  // ERROR_RESOURCE_TYPE_NOT_FOUND
    return std::nullopt;
}

}  // namespace quib::platform
