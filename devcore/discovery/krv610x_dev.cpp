#include "devcore/discovery/krv610x_dev.h"

#include "common/log/debug_log.h"
#include "devcore/discovery/register_decoding.h"

using namespace quib::devcore;

int CKRV610xDev::vScanUSBPort(std::uint8_t ucTargetDevType) {
    constexpr auto kFn = "CKRV610xDev::vScanUSBPort";
    if (m_pDevList == nullptr) return 0;
    try {
        m_ucTargetDevType = ucTargetDevType;
        m_iBridgeType = ucTargetDevType < 6 ? 0 : 1;
        m_strTargetChipType.assign(1, '0');  // every chip type
        m_bFullScan = true;
        m_pDevList->resetEntries();
        Enum();
    } catch (...) {
        LogError("%s:%d: catch(...) vScanUSBPort: dwErrorCode : %d", kFn, __LINE__,
                 quib::platform::lastErrorCode());
    }
    return m_pDevList->nDevCount;
}

bool CKRV610xDev::bChipAccepted(DeviceHandle hDev, const std::string& strChip) {
    constexpr auto kFn = "CKRV610xDev::vTestHandleFromPhysicalAddress";
    if (strChip != strChipNumberOfBridgeType(m_iBridgeType)) return false;
    const std::uint8_t ucDevType = ucGetDeviceType(hDev, strChip);
    if (ucDevType != m_ucTargetDevType) {
        LogError("%s:%d: ChipType not match: m_ucDevType[%d], ucDevType[%d]", kFn, __LINE__,
                 m_ucTargetDevType, ucDevType);
        return false;
    }
    return true;
}
