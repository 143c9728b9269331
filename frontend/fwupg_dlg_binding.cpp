// Loading the library from the tool folder and binding its entry points by name.
#include "common/log/debug_log.h"
#include "frontend/dlg_log_names.h"
#include "frontend/fwupg_dlg.h"
#include "frontend/message_boxes.h"
#include "frontend/packaged_file_names.h"
#include "frontend/program_texts.h"
#include "frontend/text_helpers.h"
#include "platform/platform.h"

using namespace quib::frontend;
using quib::platform::get;

namespace {

template <typename Fn>
bool bindEntryPoint(void* library, const char* name, Fn& entryPoint) {
    void* symbol = get().module.findSymbol(library, name);
    if (!symbol) return false;
    entryPoint = reinterpret_cast<Fn>(symbol);
    return true;
}

}  // namespace

void CKRV610xFWUpgDlg::vBindQuibUSBLib() {
    const char* const kFn = logname::kOnInitDialog;
    // By full path: the tool folder, never the loader's search path.
    m_hQuibUSBLib = get().module.loadLibrary(toNarrow(strInToolFolder(kLibraryFileName)));
    if (!m_hQuibUSBLib) {
        LogError(L"%s:%d: LoadLibrary Failed, GetLastError= %d", kFn, __LINE__,
                 quib::platform::lastErrorCode());
        if (!m_bSilentMode) showErrorBox(kTextLibraryNotLoadable);
        vExitRoutine(QUIB_FILE_NOT_FOUND);
    }

    const bool bound =
        bindEntryPoint(m_hQuibUSBLib, "QuibUSBLib_Function_vScanUSBPort", m_DllScanUSBPort) &&
        bindEntryPoint(m_hQuibUSBLib, "QuibUSBLib_Function_BuildBinFile", m_DllBuildBinFile) &&
        bindEntryPoint(m_hQuibUSBLib, "QuibUSBLib_Function_vUpdateFirmware", m_DllUpdateFirmware) &&
        bindEntryPoint(m_hQuibUSBLib, "QuibUSBLib_Function_vSetDllDebugLevel", m_DllSetDllDebugLevel) &&
        bindEntryPoint(m_hQuibUSBLib, "QuibUSBLib_Function_vShowPDVersion", m_DllShowPDVersion) &&
        bindEntryPoint(m_hQuibUSBLib, "QuibUSBLib_Function_vUpdatePDFirmware", m_DllUpdatePDFirmware) &&
        bindEntryPoint(m_hQuibUSBLib, "QuibUSBLib_vShowUSBStatus", m_DllShowUSBStatus);
    if (!bound) {
        LogError(L"%s:%d: GetProcAddress FAIL, GetLastError: %d", kFn, __LINE__,
                 quib::platform::lastErrorCode());
        vUnloadQuibUSBLib();
        vExitRoutine(QUIB_FAIL);
    }
}

// An unloaded library is never called again in the same run.
void CKRV610xFWUpgDlg::vUnloadQuibUSBLib() {
    if (!m_hQuibUSBLib) return;
    get().module.freeLibrary(m_hQuibUSBLib);
    m_hQuibUSBLib = nullptr;
    m_DllScanUSBPort = nullptr;
    m_DllBuildBinFile = nullptr;
    m_DllUpdateFirmware = nullptr;
    m_DllSetDllDebugLevel = nullptr;
    m_DllShowPDVersion = nullptr;
    m_DllUpdatePDFirmware = nullptr;
    m_DllShowUSBStatus = nullptr;
}
