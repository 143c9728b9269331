#include "frontend/settings_file.h"

#include <array>
#include <climits>
#include <cstdint>
#include <cwchar>

#include "frontend/text_helpers.h"

namespace quib::frontend {
namespace {

struct SettingsKey {
    std::wstring_view name;
    std::uint8_t ExchangeData::*flag = nullptr;             // "int" keys: low 8 bits of the number
    char (ExchangeData::*text)[QUIB_TEXT_FIELD] = nullptr;  // "text" keys: 8-bit field ...
    std::wstring SettingsCopies::*copy = nullptr;           // ... and the wide copy
};

constexpr SettingsKey flagKey(std::wstring_view name, std::uint8_t ExchangeData::*field) {
    return SettingsKey{name, field, nullptr, nullptr};
}
constexpr SettingsKey textKey(std::wstring_view name, char (ExchangeData::*field)[QUIB_TEXT_FIELD],
                              std::wstring SettingsCopies::*copy) {
    return SettingsKey{name, nullptr, field, copy};
}

// In the order they are tested.
constexpr std::array kKeys = {
    flagKey(L"check_fw_version", &ExchangeData::ucCheckFwVersion),
    flagKey(L"check_MSignature", &ExchangeData::ucCheckMSignature),
    flagKey(L"check_product_string", &ExchangeData::ucCheckProductString),
    flagKey(L"check_manufacture_string", &ExchangeData::ucCheckManufactureString),
    flagKey(L"check_vid", &ExchangeData::ucCheckVid),
    flagKey(L"check_pid", &ExchangeData::ucCheckPid),
    flagKey(L"check_part_of_fw_version", &ExchangeData::ucCheckPartOfFwVersion),
    flagKey(L"check_bounding_option", &ExchangeData::ucCheckBoundingOption),
    flagKey(L"check_MSignature_BiggerThen", &ExchangeData::ucCheckMSignatureBiggerThen),
    flagKey(L"enableRelinkToRomCode", &ExchangeData::ucEnableRelinkToRomCode),
    flagKey(L"enableRelinkAfterFWUpg", &ExchangeData::ucEnableReLinkAfterFWUpgrade),
    flagKey(L"check_MSignature_SmallerThen", &ExchangeData::ucCheckMSignatureSmallerThen),
    flagKey(L"enableDualImage", &ExchangeData::ucEnableDualImage),
    textKey(L"fw_version", &ExchangeData::cFwVersion, &SettingsCopies::fw_version),
    textKey(L"MSignature", &ExchangeData::cMSignature, &SettingsCopies::MSignature),
    textKey(L"manufacture_string", &ExchangeData::cManufactureString, &SettingsCopies::manufacture_string),
    textKey(L"product_string", &ExchangeData::cProductString, &SettingsCopies::product_string),
    textKey(L"vid", &ExchangeData::cVid, &SettingsCopies::vid),
    textKey(L"pid", &ExchangeData::cPid, &SettingsCopies::pid),
    textKey(L"part_of_fw_version", &ExchangeData::cPartOfFwVersion, &SettingsCopies::part_of_fw_version),
    textKey(L"bounding_option1", &ExchangeData::cBoundingOption1, &SettingsCopies::bounding_option1),
    textKey(L"bounding_option2", &ExchangeData::cBoundingOption2, &SettingsCopies::bounding_option2),
    textKey(L"start_address_of_part_of_fw_version", &ExchangeData::cStartAddressOfPartOfFwVersion,
            &SettingsCopies::start_address_of_part_of_fw_version),
    textKey(L"part_of_fw_version_length", &ExchangeData::cPartOfFwVersionLength,
            &SettingsCopies::part_of_fw_version_length),
    textKey(L"MSignature_BiggerThen", &ExchangeData::cMSignatureBiggerThen,
            &SettingsCopies::MSignature_BiggerThen),
    textKey(L"MSignature_SmallerThen", &ExchangeData::cMSignatureSmallerThen,
            &SettingsCopies::MSignature_SmallerThen),
    flagKey(L"reg_edit_enable", &ExchangeData::ucRegEditEnable),
    textKey(L"reg_edit_subkey", &ExchangeData::cRegEditSubkey, &SettingsCopies::reg_edit_subkey),
    textKey(L"reg_edit_keyname", &ExchangeData::cRegEditKeyname, &SettingsCopies::reg_edit_keyname),
    textKey(L"reg_edit_type", &ExchangeData::cRegEditType, &SettingsCopies::reg_edit_type),
    textKey(L"reg_edit_value", &ExchangeData::cRegEditValue, &SettingsCopies::reg_edit_value),
};

constexpr std::array<std::wstring_view, 3> kSections = {L"[chk_item]", L"[chk_value]", L"[regEdit]"};

// Decimal reading as atoi does it: no number reads 0, out-of-range numbers saturate.
int readDecimal(const std::wstring& text) {
    const long long value = std::wcstoll(text.c_str(), nullptr, 10);
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

const SettingsKey* findKey(std::wstring_view key) {
    for (const SettingsKey& known : kKeys)
        if (equalsNoCase(known.name, key)) return &known;
    return nullptr;
}

bool isSection(std::wstring_view key) {
    for (std::wstring_view section : kSections)
        if (equalsNoCase(section, key)) return true;
    return false;
}

void storeValue(const SettingsKey& key, const std::wstring& value, ExchangeData& exchange,
                SettingsCopies& copies, SettingsReadOutcome& outcome) {
    if (key.flag) {
        exchange.*key.flag = static_cast<std::uint8_t>(readDecimal(value) & 0xFF);
        return;
    }
    std::wstring text = value.substr(0, kMaxSettingsText);
    const bool cut = text.size() < value.size();
    const bool fitted = storeCutText(exchange.*key.text, text);
    if (cut || !fitted) {
        outcome.cutKeys.emplace_back(key.name);
        // Keep the wide copy equal to what the field holds.
        text = fieldText(exchange.*key.text);
    }
    copies.*key.copy = std::move(text);
}

}  // namespace

SettingsReadOutcome readSettingsText(std::string_view fileText, ExchangeData& exchange,
                                     SettingsCopies& copies) {
    SettingsReadOutcome outcome;
    std::size_t lineStart = 0;
    while (lineStart < fileText.size()) {
        std::size_t lineEnd = fileText.find('\n', lineStart);
        if (lineEnd == std::string_view::npos) lineEnd = fileText.size();
        std::string_view rawLine = fileText.substr(lineStart, lineEnd - lineStart);
        lineStart = lineEnd + 1;
        if (!rawLine.empty() && rawLine.back() == '\r') rawLine.remove_suffix(1);
        if (rawLine.empty()) continue;

        const std::wstring line = toWide(rawLine);
        const std::size_t equals = line.find(L'=');
        const std::wstring key = trimmed(std::wstring_view(line).substr(0, equals));
        std::wstring value;
        if (equals != std::wstring::npos) {
            std::wstring_view rest = std::wstring_view(line).substr(equals + 1);
            value = trimmed(rest.substr(0, rest.find(L'/')));
        }

        if (isSection(key)) continue;
        // A line without "=" is never a setting, even when it spells a known key.
        const SettingsKey* known = equals == std::wstring::npos ? nullptr : findKey(key);
        if (known) {
            storeValue(*known, value, exchange, copies, outcome);
        } else {
            outcome.unknownKeys.push_back(key);
        }
    }
    return outcome;
}

}  // namespace quib::frontend
