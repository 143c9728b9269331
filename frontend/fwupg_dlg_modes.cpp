// The device scan and the run modes that follow it: version check, connection status, silent update.
#include <string>

#include "common/log/debug_log.h"
#include "frontend/dlg_log_names.h"
#include "frontend/fwupg_dlg.h"
#include "frontend/message_boxes.h"
#include "frontend/program_texts.h"
#include "frontend/run_rules.h"
#include "frontend/text_helpers.h"
#include "frontend/version_report.h"

using namespace quib::frontend;

namespace {
// The scan accepts every chip type.
constexpr const char* kAnyChipType = "0";
constexpr std::size_t kUsbStatusBufferSize = 128;
}  // namespace

// False when the dialog was closed because the scan found nothing usable.
bool CKRV610xFWUpgDlg::bScanDevices() {
    const char* const kFn = logname::kOnInitDialog;
    const std::int32_t pcieBridges = m_strFWBinFile.find(L"TV_PCIE_") != std::wstring::npos ? 1 : 0;
    const int nRet = m_DllScanUSBPort(m_pDevList.get(), kAnyChipType, pcieBridges);
    if (nRet == 0) return true;

    if (nRet == QUIB_DEVICE_NOT_FOUND)
        LogError(L"%s:%d: QUIB_DEVICE_NOT_FOUND!!!!", kFn, __LINE__);
    else
        LogError(L"%s:%d: Error nRet=%d!!!!", kFn, __LINE__, nRet);
    if (m_bCheckFWVersion || m_bSilentMode) vExitRoutine(nRet);

    vRemoveExtractedFiles();
    showNotice(nRet == QUIB_DEVICE_NOT_FOUND ? std::wstring(kTextInsertDevice)
                                             : formatText(kFormatScanFailed, nRet));
    EndDialog(IDCANCEL);
    m_nExitCode = nRet;
    return false;
}

void CKRV610xFWUpgDlg::vDispatchRunMode() {
    if (m_bCheckFWVersion) vCheckFirmwareVersion();
    if (m_bShowUSBStatus) vShowUSBStatus();
    if (m_bSilentMode) {
        if (m_bOutputVersion) {
            LogMessage(L"%s:%d:  Output Firmware Version to file", logname::kOnInitDialog, __LINE__);
            nOutputVerTextFile(m_szCurDir, *m_pDevList);
            vExitRoutine(0);
        }
        if (m_strFWBinFile.empty()) m_strFWBinFile = strSearchFirmwareFile();
        LogMessage(L"%s:%d: SearchFile: m_strFWBinFile: [%ls]", logname::kOnInitDialog, __LINE__,
                   m_strFWBinFile.c_str());
        vUseFirmwareFile(m_strFWBinFile);
        if (pExchangeData->ucCheckFwVersion && !bMatchSettingsVersions())
            vExitRoutine(bAnyVersionUnread() ? QUIB_FAIL : QUIB_CHECK_FAILED);
    }
    // The START button's command, sent synchronously: the update runs before the dialog is shown.
    OnBnClickedStartButton();
}

void CKRV610xFWUpgDlg::vCheckFirmwareVersion() {
    const char* const kFn = logname::kOnInitDialog;
    LogMessage(L"%s:%d:  Firmware Version Check", kFn, __LINE__);
    const int count = deviceCount(*m_pDevList);
    for (int i = 0; i < count; ++i) {
        const std::wstring strTargetFwVer = fieldText(m_pDevList->Devs[i].cFwVersion);
        if (equalsNoCase(strTargetFwVer, m_strInputChkFWVer)) vExitRoutine(0);
        LogError(
            L"%s:%d:  iTarget[%d], Firmware Version Check Failed: strTargetFwVer[%ls], "
            L"m_strInputChkFWVer[%ls]",
            kFn, __LINE__, i, strTargetFwVer.c_str(), m_strInputChkFWVer.c_str());
    }
    vExitRoutine(bAnyVersionUnread() ? QUIB_FAIL : QUIB_CHECK_FAILED);
}

// A bridge whose version could not be read may run any version: "no bridge has it" cannot be said then.
bool CKRV610xFWUpgDlg::bAnyVersionUnread() {
    const int count = deviceCount(*m_pDevList);
    bool unread = false;
    for (int i = 0; i < count; ++i) {
        if (!fieldText(m_pDevList->Devs[i].cFwVersion).empty()) continue;
        LogError(L"%s:%d: Dev[%d] PhysicalDrive %d: its firmware version could not be read",
                 logname::kOnInitDialog, __LINE__, i,
                 static_cast<int>(m_pDevList->Devs[i].m_ucPhysicalAddress));
        unread = true;
    }
    return unread;
}

void CKRV610xFWUpgDlg::vShowUSBStatus() {
    char status[kUsbStatusBufferSize] = {};
    const int nRet = m_DllShowUSBStatus(0, status);
    if (nRet != 0) vExitRoutine(nRet);
    status[kUsbStatusBufferSize - 1] = '\0';
    vExitRoutine(exitCodeForLinkStatus(status));
}

// Every pair of settings version and device is visited, even after a match.
bool CKRV610xFWUpgDlg::bMatchSettingsVersions() {
    const char* const kFn = logname::kOnInitDialog;
    const auto versions = splitVersionList(fieldText(pExchangeData->cFwVersion));
    const int count = deviceCount(*m_pDevList);
    bool matched = false;
    for (const std::wstring& version : versions) {
        for (int i = 0; i < count; ++i) {
            const std::wstring deviceVersion = fieldText(m_pDevList->Devs[i].cFwVersion);
            LogMessage(L"%s:%d: %ls", kFn, __LINE__,
                       formatText(L"Dev[%d]: FW version(%ls), strParameter[iCountPara]=(%ls)", i,
                                  deviceVersion.c_str(), version.c_str())
                           .c_str());
            if (!version.empty() && equalsNoCase(version, deviceVersion)) {
                LogMessage(L"%s:%d: %ls", kFn, __LINE__,
                           formatText(L"Dev[%d]: FW version(%ls) match!", i, deviceVersion.c_str()).c_str());
                matched = true;
            }
        }
    }
    if (!matched) LogError(L"%s:%d: %ls", kFn, __LINE__, L"FW version match fail");
    return matched;
}
