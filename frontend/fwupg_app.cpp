#include "frontend/fwupg_app.h"

#include "frontend/fwupg_dlg.h"
#include "frontend/text_helpers.h"

CKRV610xFWUpgApp::CKRV610xFWUpgApp() = default;
CKRV610xFWUpgApp::~CKRV610xFWUpgApp() = default;

std::wstring CKRV610xFWUpgApp::rawCommandLine(int argc, const char* const* argv) {
    std::wstring raw;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) raw += L' ';
        raw += quib::frontend::toWide(argv[i]);
    }
    return raw;
}

std::wstring CKRV610xFWUpgApp::captureCommandLine(std::wstring_view raw) {
    std::wstring joined;
    joined.reserve(raw.size());
    for (wchar_t c : raw)
        if (c != L'\t' && c != L'\n') joined += c;
    return joined;
}

int CKRV610xFWUpgApp::InitInstance(int argc, const char* const* argv) {
    m_strCmdLine = captureCommandLine(rawCommandLine(argc, argv));
    // The common control classes need no registration here: the dialog has no window of its own yet.
    m_pMainDlg = std::make_unique<CKRV610xFWUpgDlg>(m_strCmdLine);
    g_pFWUpgDlg = m_pMainDlg.get();
    m_pMainDlg->DoModal();
    return m_pMainDlg->nExitCode();
}
