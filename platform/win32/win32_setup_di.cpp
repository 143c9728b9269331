#include "platform/win32/win32_setup_di.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/win32_control.h"

namespace quib::platform::win32 {
namespace {

struct NamedProperty {
    const char* name;
    DWORD code;
};
constexpr NamedProperty kProperties[] = {
    {"DeviceDesc", SPDRP_DEVICEDESC},
    {"HardwareID", SPDRP_HARDWAREID},
    {"Service", SPDRP_SERVICE},
    {"Class", SPDRP_CLASS},
    {"ClassGUID", SPDRP_CLASSGUID},
    {"Driver", SPDRP_DRIVER},
    {"Mfg", SPDRP_MFG},
    {"FriendlyName", SPDRP_FRIENDLYNAME},
    {"LocationInformation", SPDRP_LOCATION_INFORMATION},
};

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// `count` hex digits of `text` from `at`.
std::optional<std::uint32_t> hexField(const std::string& text, std::size_t at, std::size_t count) {
    std::uint32_t value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        const int digit = hexDigit(text[i]);
        if (digit < 0) return std::nullopt;
        value = (value << 4) | static_cast<std::uint32_t>(digit);
    }
    return value;
}

}  // namespace

std::optional<GUID> guidOf(const std::string& text) {
    // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
    if (text.size() != 38 || text.front() != '{' || text.back() != '}' || text[9] != '-' || text[14] != '-' ||
        text[19] != '-' || text[24] != '-')
        return std::nullopt;
    const auto d1 = hexField(text, 1, 8), d2 = hexField(text, 10, 4), d3 = hexField(text, 15, 4);
    if (!d1 || !d2 || !d3) return std::nullopt;
    GUID guid{};
    guid.Data1 = *d1;
    guid.Data2 = static_cast<std::uint16_t>(*d2);
    guid.Data3 = static_cast<std::uint16_t>(*d3);
    constexpr std::size_t kByteAt[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (std::size_t i = 0; i < 8; ++i) {
        const auto b = hexField(text, kByteAt[i], 2);
        if (!b) return std::nullopt;
        guid.Data4[i] = static_cast<std::uint8_t>(*b);
    }
    return guid;
}

std::string textOf(const GUID& g) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2],
                  g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

DeviceInfoSet::DeviceInfoSet(const GUID* guid, DWORD flags)
    : m_set(deviceCalls().setupDiGetClassDevs(guid, nullptr, nullptr, flags)) {
    if (!valid()) carryLastError();
}

DeviceInfoSet::~DeviceInfoSet() {
    if (valid()) deviceCalls().setupDiDestroyDeviceInfoList(m_set);
}

std::optional<std::string> interfacePath(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& data,
                                         SP_DEVINFO_DATA& device) {
    constexpr DWORD kPathAt = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath);
    DWORD required = 0;
    // The first question only learns the size.
    if (!deviceCalls().setupDiGetDeviceInterfaceDetail(set, &data, nullptr, 0, &required, nullptr) &&
        deviceCalls().getLastError() != ERROR_INSUFFICIENT_BUFFER) {
        carryLastError();
        return std::nullopt;
    }
    for (int attempt = 0; attempt < kGrowthAttempts; ++attempt) {
        if (required <= kPathAt || required > kLargestAnswer) return failWith<std::string>(kErrorGenFailure);
        std::vector<DWORD> room((required + sizeof(DWORD) - 1) / sizeof(DWORD), 0);  // aligned as the detail
        auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(room.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        const DWORD size = required;
        if (deviceCalls().setupDiGetDeviceInterfaceDetail(set, &data, detail, size, &required, &device)) {
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(room.data());
            return wideText(std::span<const std::uint8_t>(bytes + kPathAt, size - kPathAt));
        }
        if (deviceCalls().getLastError() != ERROR_INSUFFICIENT_BUFFER || required <= size) {
            carryLastError();
            return std::nullopt;
        }
    }
    return failWith<std::string>(kErrorInsufficientBuffer);
}

std::optional<std::string> instanceIdOf(HDEVINFO set, SP_DEVINFO_DATA& device) {
    DWORD chars = MAX_DEVICE_ID_LEN;
    for (int attempt = 0; attempt < kGrowthAttempts; ++attempt) {
        std::vector<wchar_t> text(chars, L'\0');
        DWORD required = 0;
        if (deviceCalls().setupDiGetDeviceInstanceId(set, &device, text.data(), chars, &required))
            return wideText(std::span<const wchar_t>(text));
        if (deviceCalls().getLastError() != ERROR_INSUFFICIENT_BUFFER || required <= chars ||
            required > kLargestAnswer / sizeof(wchar_t)) {
            carryLastError();
            return std::nullopt;
        }
        chars = required;
    }
    return failWith<std::string>(kErrorInsufficientBuffer);
}

std::optional<std::string> propertyOf(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
    DWORD size = 256;
    for (int attempt = 0; attempt < kGrowthAttempts; ++attempt) {
        std::vector<std::uint8_t> value(size, 0);
        DWORD type = 0, required = 0;
        if (deviceCalls().setupDiGetDeviceRegistryProperty(set, &device, property, &type, value.data(), size,
                                                           &required)) {
            if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ)
                return failWith<std::string>(kErrorInvalidParameter);
            // On success the required size is the size written.
            return wideText(std::span<const std::uint8_t>(value).first(std::min(required, size)));
        }
        if (deviceCalls().getLastError() != ERROR_INSUFFICIENT_BUFFER || required <= size ||
            required > kLargestAnswer) {
            carryLastError();
            return std::nullopt;
        }
        size = required;
    }
    return failWith<std::string>(kErrorInsufficientBuffer);
}

std::map<std::string, std::string> propertiesOf(HDEVINFO set, SP_DEVINFO_DATA& device) {
    std::map<std::string, std::string> out;
    for (const NamedProperty& p : kProperties)
        if (auto value = propertyOf(set, device, p.code)) out[p.name] = std::move(*value);
    return out;
}

}  // namespace quib::platform::win32
