// The settings file "fwupgrade.ini": one "key = value" per line, keys compared without regard to case,
// everything after the first "/" of a value ignored, section lines skipped wherever they stand.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "include/quibusb.h"

namespace quib::frontend {

inline constexpr std::wstring_view kSettingsFileName = L"fwupgrade.ini";

// The program's own wide copies of the text settings (the registry stamp works from these).
struct SettingsCopies {
    std::wstring fw_version;
    std::wstring MSignature;
    std::wstring manufacture_string;
    std::wstring product_string;
    std::wstring vid;
    std::wstring pid;
    std::wstring part_of_fw_version;
    std::wstring bounding_option1;
    std::wstring bounding_option2;
    std::wstring start_address_of_part_of_fw_version;
    std::wstring part_of_fw_version_length;
    std::wstring MSignature_BiggerThen;
    std::wstring MSignature_SmallerThen;
    std::wstring reg_edit_subkey;
    std::wstring reg_edit_keyname;
    std::wstring reg_edit_type;
    std::wstring reg_edit_value;
};

struct SettingsReadOutcome {
    std::vector<std::wstring> unknownKeys;  // in file order; their lines were ignored
    std::vector<std::wstring> cutKeys;      // text values longer than their field, stored cut
    bool understood() const { return unknownKeys.empty(); }
};

// The longest text value a settings field holds.
inline constexpr std::size_t kMaxSettingsText = QUIB_TEXT_FIELD - 1;

// Reads the file's text (8-bit, lines ending in CR LF or LF) into the exchange record and the copies.
// Known keys are stored wherever they stand; an unknown key does not stop the reading.
SettingsReadOutcome readSettingsText(std::string_view fileText, ExchangeData& exchange,
                                     SettingsCopies& copies);

}  // namespace quib::frontend
