#include "frontend/registry_stamp.h"

#include <cwctype>

#include "common/log/debug_log.h"
#include "frontend/text_helpers.h"

namespace quib::frontend {
namespace {

constexpr const char* kReadWriteFn = "CKRV610xFWUpgDlg::bRegistryReadWrite";
constexpr const char* kStampFn = "CKRV610xFWUpgDlg::vRegLiveUpdate";

std::vector<std::uint8_t> utf16WithTerminator(std::wstring_view text) {
    std::vector<std::uint8_t> bytes;
    for (wchar_t c : text) {
        const auto unit = static_cast<std::uint16_t>(c);
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

std::wstring textOfValue(const platform::RegistryValue& value) {
    std::wstring text;
    if (value.type == platform::RegistryType::Dword && value.data.size() == 4) {
        const std::uint32_t v = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                                (static_cast<std::uint32_t>(value.data[3]) << 24);
        return std::to_wstring(v);
    }
    for (std::size_t i = 0; i + 1 < value.data.size(); i += 2) {
        const wchar_t c = static_cast<wchar_t>(value.data[i] | (value.data[i + 1] << 8));
        if (c == 0) break;
        text += c;
    }
    return text;
}

}  // namespace

std::wstring collapsedSubKey(std::wstring_view subKey) {
    std::wstring out;
    for (wchar_t c : subKey)
        if (!(c == L'\\' && !out.empty() && out.back() == L'\\')) out += c;
    return out;
}

std::optional<std::uint32_t> parseDword(std::wstring_view text) {
    const std::wstring t = trimmed(text);
    if (t.empty()) return std::nullopt;
    const bool hex = t.size() > 2 && t[0] == L'0' && (t[1] == L'x' || t[1] == L'X');
    const std::wstring_view digits = hex ? std::wstring_view(t).substr(2) : std::wstring_view(t);
    std::uint64_t value = 0;
    for (wchar_t c : digits) {
        unsigned d;
        if (c >= L'0' && c <= L'9')
            d = static_cast<unsigned>(c - L'0');
        else if (hex && std::iswxdigit(static_cast<wint_t>(c)))
            d = static_cast<unsigned>(std::towlower(static_cast<wint_t>(c)) - L'a' + 10);
        else
            return std::nullopt;
        value = value * (hex ? 16 : 10) + d;
        if (value > 0xFFFFFFFFull) return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

bool bRegistryReadWrite(const std::wstring& szSubKey, const std::wstring& valueName, std::wstring& buffer,
                        platform::RegistryType type, bool bWrite) {
    platform::Registry& registry = platform::get().registry;
    const std::string key = toNarrow(collapsedSubKey(szSubKey));
    const std::string name = toNarrow(valueName);
    if (!bWrite) {
        if (!registry.keyExists(key)) {
            LogMessage(L"%s:%d: RegOpenKeyEx fail, szSubKey=%ls, iReturn=%d, dwErrorCode=%d", kReadWriteFn,
                       __LINE__, szSubKey.c_str(), 2, platform::lastErrorCode());
            return false;
        }
        const auto value = registry.readValue(key, name);
        if (!value) return false;
        buffer = textOfValue(*value).substr(0, kRegistryBufferChars / sizeof(char16_t));
        return true;
    }
    if (!registry.createKey(key)) {
        const int error = platform::lastErrorCode();
        LogMessage(L"%s:%d: RegCreateKeyEx fail, szSubKey=%ls, iReturn=%d, dwErrorCode=%d", kReadWriteFn,
                   __LINE__, szSubKey.c_str(), error, error);
        return false;
    }
    platform::RegistryValue value;
    value.type = type;
    if (type == platform::RegistryType::Dword) {
        const auto number = parseDword(buffer);
        if (!number) {
            LogError(L"%s:%d: reg_edit_value [%ls] is no REG_DWORD number (decimal, or hexadecimal with 0x)",
                     kReadWriteFn, __LINE__, buffer.c_str());
            return false;
        }
        for (int i = 0; i < 4; ++i) value.data.push_back(static_cast<std::uint8_t>(*number >> (8 * i)));
    } else {
        value.data = utf16WithTerminator(buffer);
    }
    if (!registry.writeValue(key, name, value)) {
        LogMessage(L"%s:%d: RegSetValueEx fail, lResult%d, Reg[%ls], dwErrorCode%d", kReadWriteFn, __LINE__,
                   -1, valueName.c_str(), platform::lastErrorCode());
        return false;
    }
    return true;
}

void vRegLiveUpdate(const SettingsCopies& settings) {
    std::wstring buffer;
    if (!bRegistryReadWrite(settings.reg_edit_subkey, settings.reg_edit_keyname, buffer,
                            platform::RegistryType::String, false))
        LogMessage(L"%s:%d: ......", kStampFn, __LINE__);
    const platform::RegistryType type = equalsNoCase(settings.reg_edit_type, L"REG_DWORD")
                                            ? platform::RegistryType::Dword
                                            : platform::RegistryType::String;
    buffer = settings.reg_edit_value;
    if (!bRegistryReadWrite(settings.reg_edit_subkey, settings.reg_edit_keyname, buffer, type, true))
        LogMessage(L"%s:%d: ......", kStampFn, __LINE__);
}

}  // namespace quib::frontend
