#include "frontend/version_report.h"

#include <cstring>

#include "common/log/debug_log.h"
#include "frontend/run_rules.h"
#include "frontend/text_helpers.h"
#include "platform/platform.h"

namespace quib::frontend {
namespace {
constexpr std::size_t kVersionWidth = 12;
}

std::string versionReportText(const USBDevListExp& list) {
    std::string text;
    const int count = deviceCount(list);
    for (int i = 0; i < count; ++i) {
        const char* field = list.Devs[i].cFwVersion;
        const std::string version(field, strnlen(field, sizeof list.Devs[i].cFwVersion));
        text += std::to_string(i) + ":";
        if (version.size() < kVersionWidth) text.append(kVersionWidth - version.size(), '0');
        text += version + "\r\n";
    }
    return text;
}

int nOutputVerTextFile(const std::wstring& strToolFolder, const USBDevListExp& list) {
    constexpr auto kFn = "CKRV610xFWUpgDlg::nOutputVerTextFile";
    platform::FileSystem& files = platform::get().files;
    const std::string path = toNarrow(strToolFolder) + files.separator() + toNarrow(kVersionReportFileName);
    if (files.exists(path)) files.deleteFile(path);
    const std::string text = versionReportText(list);
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(text.data()),
                                              text.size());
    if (!files.writeFile(path, bytes)) {
        LogError(L"%s:%d:   CreateFile Failed,OUTPUT_VERSION_FILE_NAME=%ls,Erroe=%d", kFn, __LINE__,
                 std::wstring(kVersionReportFileName).c_str(), platform::lastErrorCode());
        return QUIB_FAIL;
    }
    return QUIB_SUCCESS;
}

}  // namespace quib::frontend
