#include "platform/win32/win32_control.h"

#include <cstring>

#include "platform/backends.h"

namespace quib::platform::win32 {

std::uint32_t carryLastError() {
    const std::uint32_t error = deviceCalls().getLastError();
    setLastError(error);
    return error;
}

bool ioControl(DeviceHandle device, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
               DWORD& returned) {
    returned = 0;
    if (deviceCalls().deviceIoControl(toHandle(device), code, in, inSize, out, outSize, &returned, nullptr))
        return true;
    carryLastError();
    return false;
}

std::string wideText(std::span<const std::uint8_t> bytes) {
    std::wstring text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto c = static_cast<wchar_t>(bytes[i] | (bytes[i + 1] << 8));
        if (c == L'\0') break;
        text += c;
    }
    return wideToUtf8(text);
}

std::string wideText(std::span<const wchar_t> chars) {
    std::size_t length = 0;
    while (length < chars.size() && chars[length] != L'\0') ++length;
    return wideToUtf8(std::wstring_view(chars.data(), length));
}

std::string asciiAt(std::span<const std::uint8_t> bytes, std::uint32_t offset) {
    if (offset == 0 || offset >= bytes.size()) return {};
    std::string text;
    for (std::size_t i = offset; i < bytes.size() && bytes[i] != 0; ++i) text += static_cast<char>(bytes[i]);
    return text;
}

}  // namespace quib::platform::win32
