// Dialog initialisation: the common start of every run, up to the device scan.
#include <cstdlib>
#include <exception>

#include "common/log/debug_log.h"
#include "frontend/command_switches.h"
#include "frontend/dlg_log_names.h"
#include "frontend/fwupg_dlg.h"
#include "frontend/message_boxes.h"
#include "frontend/program_texts.h"
#include "frontend/serial_record.h"
#include "frontend/text_helpers.h"
#include "platform/platform.h"

using namespace quib::frontend;
using quib::platform::get;

CKRV610xFWUpgDlg* g_pFWUpgDlg = nullptr;

namespace {
constexpr int kFrontEndLogLevel = 2;
}  // namespace

CKRV610xFWUpgDlg::CKRV610xFWUpgDlg(std::wstring strCapturedCmdLine)
    : m_strCapturedCmdLine(std::move(strCapturedCmdLine)) {}

int CKRV610xFWUpgDlg::DoModal() {
    m_nModalResult = 0;
    try {
        OnInitDialog();
    } catch (const std::exception& e) {
        // Once the tool folder is known, even an unexpected failure leaves through the exit routine so
        // that the packaged files do not outlive the run.
        if (m_szCurDir.empty()) throw;
        LogError(L"%s:%d: run failed: %ls", logname::kOnInitDialog, __LINE__, toWide(e.what()).c_str());
        vExitRoutine(QUIB_FAIL);
    }
    // Every run ends inside the initialisation: through the exit routine or by closing the dialog.
    return m_nModalResult == 0 ? IDCANCEL : m_nModalResult;
}

void CKRV610xFWUpgDlg::EndDialog(int nResult) {
    m_nModalResult = nResult;
}

bool CKRV610xFWUpgDlg::OnInitDialog() {
    vResetRunState();
    vTakeToolFolder();
    pExchangeData = std::make_unique<ExchangeData>();
    m_pDevList = std::make_unique<USBDevListExp>();
    m_strWindowTitle = kWindowTitle;

    // The usage box comes before "/S" is looked at, so it shows even in silent mode.
    if (takeSwitch(m_strCmdLine, L"/?")) {
        showNotice(kUsageText);
        vExitRoutine(0);
    }
    if (takeSwitch(m_strCmdLine, L"/S")) {
        m_window.setVisible(false);
        m_bSilentMode = true;
    }

    vExtractResourceFiles();
    if (m_strFWBinFile.empty()) m_strFWBinFile = strSearchFirmwareFile();

    vBindQuibUSBLib();
    quib::log::setLevel(kFrontEndLogLevel);

    vApplyRunSwitches();

    vLoadINIFile(strInToolFolder(kSettingsFileName));
    m_strWindowTitle = kWindowTitle;
    m_window.caption(m_strWindowTitle);
    m_window.status(kStatusEmpty);
    m_window.statusColour(kStatusRed);

    if (!bScanDevices()) return true;
    vDispatchRunMode();
    return true;
}

void CKRV610xFWUpgDlg::vResetRunState() {
    m_strCmdLine = m_strCapturedCmdLine;
    m_ucPhysicalDrive = kAllDevices;
    m_bCheckFWVersion = m_bShowUSBStatus = m_bSilentMode = m_bOutputVersion = m_bUpdateSerialNumber = false;
    m_hQuibUSBLib = nullptr;
    m_szCurDir.clear();
    m_strFWPath.clear();
    m_strPDPath.clear();
    m_strMCUPath.clear();
    m_strInputChkFWVer.clear();
    m_strInputSerialNumber.clear();
    m_strPDFile.clear();
    m_strMCUFile.clear();
    m_strInputFWFile.clear();
    m_strFWBinFile.clear();
    m_window.setVisible(true);
    m_strSerialImagePath.clear();
    m_Settings = {};
}

// The program's folder becomes the current directory, so every relative name is a file beside it.
void CKRV610xFWUpgDlg::vTakeToolFolder() {
    auto& platform = get();
    const std::string programPath = platform.module.executablePath();
    const std::size_t cut = programPath.find_last_of(platform.files.separator());
    const std::string folder = cut == std::string::npos ? std::string() : programPath.substr(0, cut);
    platform.files.setCurrentDirectory(folder.empty() ? std::string(1, platform.files.separator()) : folder);
    m_szCurDir = toWide(folder);
}

std::wstring CKRV610xFWUpgDlg::strInToolFolder(std::wstring_view name) const {
    return m_szCurDir + static_cast<wchar_t>(get().files.separator()) + std::wstring(name);
}

void CKRV610xFWUpgDlg::vApplyRunSwitches() {
    using Error = RunSwitches::Error;
    const char* const kFn = logname::kOnInitDialog;
    const RunSwitches sw = takeRunSwitches(m_strCmdLine);

    if (sw.debugLevel) {
        quib::log::setLevel(*sw.debugLevel);
        m_DllSetDllDebugLevel(*sw.debugLevel);
    }

    if (sw.checkFwVersion) {
        m_bCheckFWVersion = true;
        m_strInputChkFWVer = sw.checkVersion;
        LogMessage(
            sw.checkEnablesHub ? L"%s:%d: EE: Checked Firmware: %ls" : L"%s:%d: AA: Checked Firmware: %ls",
            kFn, __LINE__, m_strInputChkFWVer.c_str());
        if (sw.error == Error::MissingVersion) {
            if (!m_bSilentMode) showErrorBox(kTextInputFwVersion);
            vExitRoutine(QUIB_INVALID_PARAMETER);
        }
    }

    m_bShowUSBStatus = sw.showUsbStatus;
    if (sw.error == Error::InvalidDrive) {
        if (!m_bSilentMode) {
            showErrorBox(kTextInvalidDrive);
            EndDialog(IDCANCEL);
        }
        vExitRoutine(QUIB_INVALID_PARAMETER);
    }
    if (sw.physicalDrive) m_ucPhysicalDrive = static_cast<std::uint8_t>(*sw.physicalDrive);

    pExchangeData->ucUpdatePD = sw.updatePD ? 1 : 0;
    if (sw.updatePD) {
        m_strPDFile = sw.pdFile;
        LogMessage(L"%s:%d:  PD Firmware: %ls", kFn, __LINE__, m_strPDFile.c_str());
        m_strPDPath = strInToolFolder(m_strPDFile);
        if (!storePath(pExchangeData->cPDFwPath, m_strPDPath))
            LogError(L"%s:%d: PD firmware path too long: %ls", kFn, __LINE__, m_strPDPath.c_str());
        if (sw.error == Error::MissingPDFile) {
            if (!m_bSilentMode) showErrorBox(kTextInputPDVersion);
            vExitRoutine(QUIB_INVALID_PARAMETER);
        }
    }

    pExchangeData->ucUpdateMCU = sw.updateMCU ? 1 : 0;
    if (sw.updateMCU) {
        m_strMCUFile = sw.mcuFile;
        LogMessage(L"%s:%d:  MCU Firmware: %ls", kFn, __LINE__, m_strMCUFile.c_str());
        m_strMCUPath = strInToolFolder(m_strMCUFile);
        if (!storePath(pExchangeData->cMCUFwPath, m_strMCUPath))
            LogError(L"%s:%d: MCU firmware path too long: %ls", kFn, __LINE__, m_strMCUPath.c_str());
        if (sw.error == Error::MissingMCUFile) {
            if (!m_bSilentMode) showErrorBox(kTextInputMCUVersion);
            vExitRoutine(QUIB_INVALID_PARAMETER);
        }
    }

    if (sw.updateSerialNumber) {
        m_bUpdateSerialNumber = true;
        m_strInputSerialNumber = sw.serialNumber;
        LogMessage(L"%s:%d: AA: m_strInputSerialNumber: %ls", kFn, __LINE__, m_strInputSerialNumber.c_str());
        if (sw.error == Error::MissingSerialNumber) {
            if (!m_bSilentMode) showErrorBox(kTextInputFwVersion);
            vExitRoutine(QUIB_INVALID_PARAMETER);
        }
        // The configuration block carries 8-bit text: anything else would reach the bridge garbled.
        if (const auto fault = serialNumberFault(m_strInputSerialNumber)) {
            LogError(L"%s:%d: serial number [%ls] refused: %ls", kFn, __LINE__,
                     m_strInputSerialNumber.c_str(), fault->c_str());
            if (!m_bSilentMode) showErrorBox(kTextInputFwVersion);
            vExitRoutine(QUIB_INVALID_PARAMETER);
        }
    }

    if (sw.firmwareFileGiven) {
        m_strInputFWFile = sw.firmwareFile;
        LogMessage(L"%s:%d:  Input Firmware: %ls", kFn, __LINE__, m_strInputFWFile.c_str());
        if (!bFileInToolFolder(m_strInputFWFile)) {
            if (!m_bSilentMode) showErrorBox(kTextFileNotFound);
            vExitRoutine(QUIB_FILE_NOT_FOUND);
        }
        vUseFirmwareFile(m_strInputFWFile);
    }

    m_bOutputVersion = sw.outputVersion;
}

// Every early end of a run comes here, so the packaged files never outlive it.
void CKRV610xFWUpgDlg::vExitRoutine(int nExitCode) {
    vUnloadQuibUSBLib();
    vRemoveExtractedFiles();
    // The parent sees the code modulo 256 on Linux (-4 arrives as 252).
    std::exit(nExitCode);
}
