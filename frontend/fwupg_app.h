// The application object: captures the command line and runs the main dialog.
#pragma once

#include <memory>
#include <string>
#include <string_view>

class CKRV610xFWUpgDlg;

class CKRV610xFWUpgApp {
  public:
    CKRV610xFWUpgApp();
    ~CKRV610xFWUpgApp();

    // The raw command line: the text after the program's name. Linux hands over separate arguments, so
    // they are joined again with single spaces.
    static std::wstring rawCommandLine(int argc, const char* const* argv);
    // The raw line split at tabs and line feeds and joined again without separator; spaces stay.
    static std::wstring captureCommandLine(std::wstring_view raw);

    // Runs the one dialog of the process; returns the exit code once it has closed.
    int InitInstance(int argc, const char* const* argv);

    std::wstring m_strCmdLine;

  private:
    std::unique_ptr<CKRV610xFWUpgDlg> m_pMainDlg;
};
