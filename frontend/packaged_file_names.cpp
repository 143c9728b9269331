#include "frontend/packaged_file_names.h"

#include "frontend/text_helpers.h"

namespace quib::frontend {

std::wstring packagedImageName(std::string_view firmwareList) {
    const std::wstring list = toWide(firmwareList);
    const std::size_t bin = list.find(L"bin");
    if (bin == std::wstring::npos) return {};
    std::wstring name = trimmed(std::wstring_view(list).substr(0, bin + 3));
    // The name lands in the tool folder; anything that would lead out of it is refused.
    if (name.find_first_of(L"/\\:") != std::wstring::npos || name == L"." || name == L"..") return {};
    return name;
}

}  // namespace quib::frontend
