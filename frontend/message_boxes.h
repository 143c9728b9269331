// The two kinds of message box the program shows.
#pragma once

#include <string>
#include <string_view>

namespace quib::frontend {

// The framework's plain box: OK button, exclamation icon, the program's name as caption.
int showNotice(std::wstring_view text);

// The dialog's error box: OK button, error icon, caption "Error".
int showErrorBox(std::wstring_view text);

}  // namespace quib::frontend
