// The update: the handler of the hidden START button. Serial-number image, PD/MCU update, the bridges,
// the registry stamp, and the outcome as exit code or in the dialog.
#include <exception>
#include <vector>

#include "common/log/debug_log.h"
#include "frontend/dlg_log_names.h"
#include "frontend/fwupg_dlg.h"
#include "frontend/library_entry_points.h"
#include "frontend/message_boxes.h"
#include "frontend/packaged_file_names.h"
#include "frontend/program_texts.h"
#include "frontend/registry_stamp.h"
#include "frontend/run_rules.h"
#include "frontend/serial_record.h"
#include "frontend/text_helpers.h"
#include "platform/platform.h"

using namespace quib::frontend;

namespace {
constexpr int kProgressStart = 10;
constexpr int kProgressDone = 100;
}  // namespace

void CKRV610xFWUpgDlg::OnBnClickedStartButton() {
    const char* const kFn = logname::kOnBnClickedStartButton;
    try {
        LogMessage(L"%s:%d:  Entry...", kFn, __LINE__);
        m_window.status(kStatusOnGoing);
        m_window.progressRange(0, kProgressDone, 1);
        m_window.progress(0);
        m_window.barColour(kBarGreen);
        m_window.progress(kProgressStart);

        if (m_strFWBinFile.empty()) m_strFWBinFile = strSearchFirmwareFile();
        LogMessage(L"%s:%d: SearchFile: m_strFWBinFile: [%ls]", kFn, __LINE__, m_strFWBinFile.c_str());
        vUseFirmwareFile(m_strFWBinFile);

        if (m_bUpdateSerialNumber && !m_strInputSerialNumber.empty()) {
            if (const auto failed = nBuildSerialNumberImage()) {
                vEndUpdate(*failed);
                return;
            }
        }
        if (pExchangeData->ucUpdatePD || pExchangeData->ucUpdateMCU) {
            if (const auto failed = nUpdatePDMCU()) {
                vEndUpdate(*failed);
                return;
            }
        }

        const int nOutcome = nUpdateBridgeFirmware();
        // The stamp says the new version is in place: it is written only when the update succeeded.
        if (pExchangeData->ucRegEditEnable && nOutcome >= 0) vRegLiveUpdate(m_Settings);
        vEndUpdate(nOutcome);
    } catch (const std::exception&) {
        LogError(L"%s:%d: DBG: OnBnClickedStartButton Fail Error=0x%x", kFn, __LINE__,
                 static_cast<unsigned>(quib::platform::lastError()));
        // Without this the hidden dialog of a silent run would stay open with no way to end it. A dialog-mode
        // run returns to its window, which the user closes.
        if (m_bSilentMode) vExitRoutine(QUIB_FAIL);
        m_nExitCode = QUIB_FAIL;
        vWaitForUser();
    }
}

std::optional<int> CKRV610xFWUpgDlg::nBuildSerialNumberImage() {
    const char* const kFn = logname::kOnBnClickedStartButton;
    LogMessage(L"%s:%d:  vBuildBinFile SN[%ls]", kFn, __LINE__, m_strInputSerialNumber.c_str());
    if (m_strInputSerialNumber.size() > kSerialNumberField)
        LogWarning(L"%s:%d: serial number [%ls] is longer than %d characters: the first %d are carried", kFn,
                   __LINE__, m_strInputSerialNumber.c_str(), static_cast<int>(kSerialNumberField),
                   static_cast<int>(kSerialNumberField));
    const SerialNumberRecord record = buildSerialNumberRecord(m_strInputSerialNumber, *m_pDevList);
    const int nResult = m_DllBuildBinFile(pExchangeData->cFwPath, &record);
    auto failed = [&](int nOutcome) {
        if (!m_bSilentMode) showErrorBox(kTextBuildBinFileFailed);
        m_window.status(kStatusBuildFailed);
        return nOutcome;
    };
    if (nResult != 0) return failed(nResult);

    LogMessage(L"%s:%d:  Delete Original F/W path: [%ls]", kFn, __LINE__, m_strFWPath.c_str());
    const std::wstring strNewName = serialImageName(m_strFWBinFile);
    const std::wstring strSource =
        strInToolFolder(std::wstring(kLibraryTempFolderName) +
                        static_cast<wchar_t>(quib::platform::get().files.separator()) + strNewName);
    const std::wstring strTarget = strInToolFolder(strNewName);
    LogMessage(L"%s:%d:  New F/W path: [%ls]", kFn, __LINE__, strTarget.c_str());
    // A file of that name in the tool folder is the user's, not ours: it is neither replaced nor, at the end,
    // deleted, and the run stops as for a copy that failed.
    if (quib::platform::get().files.exists(toNarrow(strTarget)) ||
        quib::platform::get().files.isLink(toNarrow(strTarget))) {
        LogError(
            L"%s:%d: copying the serial-number image [%ls] to [%ls] refused: a file of that name is already "
            L"in the tool folder",
            kFn, __LINE__, strSource.c_str(), strTarget.c_str());
        return failed(QUIB_FILE_NOT_FOUND);
    }
    // Without the copy the update would program whatever the old path names: stop here instead.
    if (!quib::platform::get().files.copyFile(toNarrow(strSource), toNarrow(strTarget), false)) {
        LogError(L"%s:%d: copying the serial-number image [%ls] to [%ls] failed, dwErrorCode %d", kFn,
                 __LINE__, strSource.c_str(), strTarget.c_str(), quib::platform::lastErrorCode());
        return failed(QUIB_FILE_NOT_FOUND);
    }
    m_strSerialImagePath = strTarget;
    vArmInterruptCleanup();
    m_strFWBinFile = strNewName;
    m_strFWPath = strTarget;
    if (!storePath(pExchangeData->cFwPath, m_strFWPath)) {
        LogError(L"%s:%d: firmware path too long: %ls", kFn, __LINE__, m_strFWPath.c_str());
        return failed(QUIB_FILE_NOT_FOUND);
    }
    return std::nullopt;
}

std::optional<int> CKRV610xFWUpgDlg::nUpdatePDMCU() {
    const int nVersion = m_DllShowPDVersion(0, pExchangeData.get());
    if (nVersion != 0) {
        if (!m_bSilentMode) showErrorBox(kTextShowPDVersionFailed);
        m_window.status(kStatusInitialPDFailed);
        return nVersion;
    }
    m_window.status(kStatusUpdatePD);
    const int nUpdate = m_DllUpdatePDFirmware(0, pExchangeData.get());
    if (nUpdate != 0) {
        if (!m_bSilentMode) showErrorBox(pdUpdateFailureText(nUpdate));
        m_window.status(kStatusUpdatePDFailed);
        return nUpdate;
    }
    return std::nullopt;
}

int CKRV610xFWUpgDlg::nUpdateBridgeFirmware() {
    const char* const kFn = logname::kOnBnClickedStartButton;
    LogMessage(L"%s:%d: g_pFWUpgDlg->pExchangeData->cFwPath: [%ls]", kFn, __LINE__,
               fieldText(pExchangeData->cFwPath).c_str());
    m_window.status(kStatusUpdateBridges);

    const int count = deviceCount(*m_pDevList);
    if (m_ucPhysicalDrive == kAllDevices) {
        std::vector<int> results(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            results[i] =
                m_DllUpdateFirmware(static_cast<std::uint8_t>(i), pExchangeData.get(), kUpdateFirmwareTag);
            m_BridgeResults.record(i, results[i]);
            if (results[i] < 0)
                LogWarning(L"%s:%d: Dev[%d] UpdateFirmware fail, iReturn=%d", kFn, __LINE__, i, results[i]);
            else
                LogMessage(L"%s:%d: Dev[%d] UpdateFirmware, iReturn=%d", kFn, __LINE__, i, results[i]);
        }
        return allDevicesOutcome(results);
    }

    for (int i = 0; i < count; ++i) {
        if (m_pDevList->Devs[i].m_ucPhysicalAddress != m_ucPhysicalDrive) continue;
        const int iReturn =
            m_DllUpdateFirmware(static_cast<std::uint8_t>(i), pExchangeData.get(), kUpdateFirmwareTag);
        m_BridgeResults.record(i, iReturn);
        if (iReturn < 0) {
            LogError(L"%s:%d: m_DllUpdateFirmware Failed , iReturn=%d", kFn, __LINE__, iReturn);
            if (!m_bSilentMode) showErrorBox(updateFailureText(iReturn));
        }
        return iReturn;
    }
    // A chosen drive that carries no bridge is no device found, never a success with nothing programmed.
    LogError(L"%s:%d: QUIB_DEVICE_NOT_FOUND!!!! no device carries PhysicalDrive %d: nothing programmed", kFn,
             __LINE__, static_cast<int>(m_ucPhysicalDrive));
    if (!m_bSilentMode) showNotice(kTextInsertDevice);
    return QUIB_DEVICE_NOT_FOUND;
}

void CKRV610xFWUpgDlg::vEndUpdate(int nOutcome) {
    vUnloadQuibUSBLib();
    if (m_bSilentMode) vExitRoutine(nOutcome);

    vRemoveExtractedFiles();
    if (nOutcome < 0) {
        m_window.status(formatText(L"%ls %d", std::wstring(kStatusFail).c_str(), nOutcome));
        m_window.barColour(kBarRed);
    } else {
        m_window.status(kStatusSuccess);
    }
    m_window.progress(kProgressDone);
    m_window.summary(bridgeSummaryLines(*this));
    m_nExitCode = nOutcome;
    vWaitForUser();
}

void CKRV610xFWUpgDlg::vWaitForUser() {
    if (m_window.showUntilClosed() == quib::platform::kIdOk)
        OnOK();
    else
        OnClose();
}

void CKRV610xFWUpgDlg::OnOK() {
    vRemoveExtractedFiles();
    EndDialog(IDOK);
}

void CKRV610xFWUpgDlg::OnClose() {
    vRemoveExtractedFiles();
    EndDialog(IDCANCEL);
}
