// The registry stamp: one configured value written under HKEY_LOCAL_MACHINE after an update.
#pragma once

#include <optional>
#include <string>

#include "frontend/settings_file.h"
#include "platform/platform.h"

namespace quib::frontend {

inline constexpr std::size_t kRegistryBufferChars = 8192;

// Runs of backslashes in a key path collapsed to one (the shipped settings double them).
std::wstring collapsedSubKey(std::wstring_view subKey);
// A DWORD from decimal text or hexadecimal text with a "0x" prefix; none for anything else.
std::optional<std::uint32_t> parseDword(std::wstring_view text);

// Reads (bWrite false) the value into `buffer` (at most 8192 bytes of it), or writes (bWrite true) the text
// in `buffer` with `type` (REG_SZ or REG_DWORD). False when the key or value could not be opened or set.
bool bRegistryReadWrite(const std::wstring& szSubKey, const std::wstring& valueName, std::wstring& buffer,
                        platform::RegistryType type, bool bWrite);

// Reads the current value, then writes reg_edit_value with the type reg_edit_type names. Only logs.
void vRegLiveUpdate(const SettingsCopies& settings);

}  // namespace quib::frontend
