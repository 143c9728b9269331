// Reading the settings file into the exchange record and the program's own copies.
#include <exception>

#include "common/log/debug_log.h"
#include "frontend/dlg_log_names.h"
#include "frontend/fwupg_dlg.h"
#include "frontend/message_boxes.h"
#include "frontend/program_texts.h"
#include "frontend/text_helpers.h"
#include "platform/platform.h"

using namespace quib::frontend;
using quib::platform::get;

bool CKRV610xFWUpgDlg::vLoadINIFile(const std::wstring& strINIFilePath) {
    const char* const kFn = logname::kLoadINIFile;
    try {
        // A file that cannot be read leaves every check and the registry stamp off.
        const auto bytes = get().files.readFile(toNarrow(strINIFilePath));
        if (!bytes) return false;
        const SettingsReadOutcome outcome =
            readSettingsText(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()),
                             *pExchangeData, m_Settings);

        for (const std::wstring& key : outcome.cutKeys)
            LogWarning(L"%s:%d: value of %ls is longer than %d characters and was cut", kFn, __LINE__,
                       key.c_str(), static_cast<int>(kMaxSettingsText));
        if (outcome.understood()) return true;

        std::wstring keys;
        for (const std::wstring& key : outcome.unknownKeys) {
            LogWarning(L"%s:%d: unknown key [%ls] in %ls", kFn, __LINE__, key.c_str(),
                       strINIFilePath.c_str());
            keys += (keys.empty() ? L"" : L", ") + key;
        }
        // Shown in silent mode too: a settings file the program does not fully understand is worth a stop.
        showNotice(formatText(kFormatUnknownSettings, keys.c_str()));
        return false;
    } catch (const std::exception&) {
        LogError(L"%s:%d: vLoadINIFile: strINIFilePath : %ls , dwErrorCode %d", kFn, __LINE__,
                 strINIFilePath.c_str(), quib::platform::lastErrorCode());
        return false;
    }
}
