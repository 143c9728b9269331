// The program's main dialog. Its initialisation performs the whole run: switches, packaged files, the
// library binding, the settings, the device scan, and then a query answered or the update started.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "frontend/bridge_summary.h"
#include "frontend/library_entry_points.h"
#include "frontend/main_window.h"
#include "frontend/settings_file.h"
#include "include/quibusb.h"

class CKRV610xFWUpgDlg {
  public:
    // Modal results, as the framework numbers them.
    static constexpr int IDOK = 1;
    static constexpr int IDCANCEL = 2;

    explicit CKRV610xFWUpgDlg(std::wstring strCapturedCmdLine);
    CKRV610xFWUpgDlg(const CKRV610xFWUpgDlg&) = delete;
    CKRV610xFWUpgDlg& operator=(const CKRV610xFWUpgDlg&) = delete;

    // Runs the dialog; returns IDOK or IDCANCEL once it is closed.
    int DoModal();
    bool OnInitDialog();
    // Handler of the hidden START button: the update of the bridges.
    void OnBnClickedStartButton();
    // The window's OK button and its close request: both remove the packaged files.
    void OnOK();
    void OnClose();

    // Packaged files.
    bool vExtractResourceFiles();
    bool vRemoveExtractedFiles();
    std::wstring vSearchKRV610xFirmware(std::wstring_view pattern);
    bool vLoadINIFile(const std::wstring& strINIFilePath);

    // What the process should end with once the dialog has closed.
    int nExitCode() const { return m_nExitCode; }

    // ---- run state ----
    std::wstring m_strCmdLine;
    std::uint8_t m_ucPhysicalDrive = kAllDevices;
    bool m_bCheckFWVersion = false;
    bool m_bShowUSBStatus = false;
    bool m_bSilentMode = false;
    bool m_bOutputVersion = false;
    bool m_bUpdateSerialNumber = false;
    void* m_hQuibUSBLib = nullptr;
    std::wstring m_szCurDir;
    std::wstring m_strFWPath;
    std::wstring m_strPDPath;
    std::wstring m_strMCUPath;
    std::wstring m_strInputChkFWVer;
    std::wstring m_strInputSerialNumber;
    std::wstring m_strPDFile;
    std::wstring m_strMCUFile;
    std::wstring m_strInputFWFile;
    std::wstring m_strFWBinFile;
    std::unique_ptr<USBDevListExp> m_pDevList;
    std::unique_ptr<ExchangeData> pExchangeData;

    quib::frontend::PfnScanUSBPort m_DllScanUSBPort = nullptr;
    quib::frontend::PfnBuildBinFile m_DllBuildBinFile = nullptr;
    quib::frontend::PfnUpdateFirmware m_DllUpdateFirmware = nullptr;
    quib::frontend::PfnSetDllDebugLevel m_DllSetDllDebugLevel = nullptr;
    quib::frontend::PfnShowPDVersion m_DllShowPDVersion = nullptr;
    quib::frontend::PfnUpdatePDFirmware m_DllUpdatePDFirmware = nullptr;
    quib::frontend::PfnShowUSBStatus m_DllShowUSBStatus = nullptr;

    quib::frontend::SettingsCopies m_Settings;
    // What the update did with each bridge, for the closing summary.
    quib::frontend::BridgeResults m_BridgeResults;

    static constexpr std::uint8_t kAllDevices = 255;

  private:
    void vResetRunState();
    void vTakeToolFolder();
    void vBindQuibUSBLib();
    void vUnloadQuibUSBLib();
    void vApplyRunSwitches();
    void vUseFirmwareFile(const std::wstring& strFileName);
    std::wstring strSearchFirmwareFile();
    std::wstring strInToolFolder(std::wstring_view name) const;
    bool bFileInToolFolder(std::wstring_view name);
    void vDeleteFromToolFolder(std::wstring_view name);
    bool bScanDevices();
    void vDispatchRunMode();
    void vCheckFirmwareVersion();
    void vShowUSBStatus();
    bool bMatchSettingsVersions();
    bool bAnyVersionUnread();
    int nUpdateBridgeFirmware();
    // The steps before the bridges; a failure's outcome ends the update.
    std::optional<int> nBuildSerialNumberImage();
    std::optional<int> nUpdatePDMCU();
    // The files an interrupt must remove: those written so far, and the library's working folder.
    void vArmInterruptCleanup();
    void vEndUpdate(int nOutcome);
    // Shows the window until the user leaves it; both ways remove the packaged files.
    void vWaitForUser();
    void EndDialog(int nResult);
    [[noreturn]] void vExitRoutine(int nExitCode);

    std::wstring m_strCapturedCmdLine;
    quib::frontend::MainWindow m_window;
    // The serial-number image copied into the tool folder (removed with the packaged files).
    std::wstring m_strSerialImagePath;
    std::wstring m_strWindowTitle;
    int m_nModalResult = 0;
    int m_nExitCode = 0;
};

// The one dialog of the process, set by the application object before the dialog runs.
extern CKRV610xFWUpgDlg* g_pFWUpgDlg;
