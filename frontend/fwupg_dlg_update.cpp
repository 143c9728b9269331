// The update of the bridges: the handler of the hidden START button.
#include <exception>
#include <vector>

#include "common/log/debug_log.h"
#include "frontend/dlg_log_names.h"
#include "frontend/fwupg_dlg.h"
#include "frontend/library_entry_points.h"
#include "frontend/message_boxes.h"
#include "frontend/program_texts.h"
#include "frontend/run_rules.h"
#include "frontend/text_helpers.h"
#include "platform/platform.h"

using namespace quib::frontend;

void CKRV610xFWUpgDlg::OnBnClickedStartButton() {
    const char* const kFn = logname::kOnBnClickedStartButton;
    try {
        LogMessage(L"%s:%d:  Entry...", kFn, __LINE__);
        // Status line " On going " and the progress bar (0 to 100, at 10) belong to the dialog display.

        if (m_strFWBinFile.empty()) m_strFWBinFile = strSearchFirmwareFile();
        LogMessage(L"%s:%d: SearchFile: m_strFWBinFile: [%ls]", kFn, __LINE__, m_strFWBinFile.c_str());
        vUseFirmwareFile(m_strFWBinFile);

        // The serial-number image and the PD/MCU update run here, before the bridges are programmed.

        const int nOutcome = nUpdateBridgeFirmware();

        // The registry stamp runs here when the settings enable it.

        vEndUpdate(nOutcome);
    } catch (const std::exception&) {
        LogError(L"%s:%d: DBG: OnBnClickedStartButton Fail Error=0x%x", kFn, __LINE__,
                 static_cast<unsigned>(quib::platform::lastError()));
        // Without this the hidden dialog of a silent run would stay open with no way to end it.
        vExitRoutine(QUIB_FAIL);
    }
}

int CKRV610xFWUpgDlg::nUpdateBridgeFirmware() {
    const char* const kFn = logname::kOnBnClickedStartButton;
    LogMessage(L"%s:%d: g_pFWUpgDlg->pExchangeData->cFwPath: [%ls]", kFn, __LINE__,
               fieldText(pExchangeData->cFwPath).c_str());
    // Status line "Update KRV610x Firmware...".

    const int count = deviceCount(*m_pDevList);
    if (m_ucPhysicalDrive == kAllDevices) {
        std::vector<int> results(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            results[i] =
                m_DllUpdateFirmware(static_cast<std::uint8_t>(i), pExchangeData.get(), kUpdateFirmwareTag);
            if (results[i] < 0)
                LogWarning(L"%s:%d: Dev[%d] UpdateFirmware fail, iReturn=%d", kFn, __LINE__, i, results[i]);
        }
        return allDevicesOutcome(results);
    }

    for (int i = 0; i < count; ++i) {
        if (m_pDevList->Devs[i].m_ucPhysicalAddress != m_ucPhysicalDrive) continue;
        const int iReturn =
            m_DllUpdateFirmware(static_cast<std::uint8_t>(i), pExchangeData.get(), kUpdateFirmwareTag);
        if (iReturn < 0) {
            LogError(L"%s:%d: m_DllUpdateFirmware Failed , iReturn=%d", kFn, __LINE__, iReturn);
            if (!m_bSilentMode) showErrorBox(updateFailureText(iReturn));
        }
        return iReturn;
    }
    // No device carries that drive number: nothing to program.
    return 0;
}

void CKRV610xFWUpgDlg::vEndUpdate(int nOutcome) {
    vUnloadQuibUSBLib();
    if (m_bSilentMode) vExitRoutine(nOutcome);

    vRemoveExtractedFiles();
    // The dialog shows the outcome here ("Fail!" with the code, or "Success! Please Relink the USB
    // Device!") and waits for OK; until it is displayed the run ends with the outcome.
    vExitRoutine(nOutcome);
}
