#include "frontend/serial_record.h"

#include <cstring>

#include "frontend/text_helpers.h"

namespace quib::frontend {
namespace {

std::uint16_t hexNumber(const char* text, std::size_t width) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < width && text[i]; ++i) {
        const char c = text[i];
        unsigned d;
        if (c >= '0' && c <= '9')
            d = static_cast<unsigned>(c - '0');
        else if (c >= 'a' && c <= 'f')
            d = static_cast<unsigned>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            d = static_cast<unsigned>(c - 'A' + 10);
        else
            break;
        value = (value * 16 + d) & 0xFFFF;
    }
    return static_cast<std::uint16_t>(value);
}

}  // namespace

std::optional<std::wstring> serialNumberFault(std::wstring_view serial) {
    if (serial.empty()) return L"the serial number is empty";
    for (wchar_t c : serial)
        if (c < 0x20 || c > 0x7E) return L"the serial number holds a character outside printable ASCII";
    return std::nullopt;
}

SerialNumberRecord buildSerialNumberRecord(std::wstring_view serial, const USBDevListExp& list) {
    SerialNumberRecord record;
    std::memset(&record, 0xFF, sizeof record);
    const std::string narrow = toNarrow(serial);
    std::memcpy(record.cSerialNumber, narrow.data(), std::min(narrow.size(), kSerialNumberField));
    const USBDevInfoExp& first = list.Devs[0];
    std::memcpy(record.cManufacturer, first.cManufacturer, sizeof record.cManufacturer);
    std::memcpy(record.cProduct, first.cProduct, sizeof record.cProduct);
    record.wVendorId = hexNumber(first.cVid, sizeof first.cVid);
    record.wProductId = hexNumber(first.cPid, sizeof first.cPid);
    record.wDeviceRelease = hexNumber(first.cDeviceRelease, sizeof first.cDeviceRelease);
    return record;
}

std::wstring serialImageName(std::wstring_view imageName) {
    std::wstring name(imageName);
    for (std::size_t at = name.find(L"bin"); at != std::wstring::npos; at = name.find(L"bin", at + 3))
        name.replace(at, 3, L"rom");
    return L"Config_" + name;
}

}  // namespace quib::frontend
