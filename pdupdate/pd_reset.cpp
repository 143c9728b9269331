#include "pdupdate/power_delivery.h"

void CPowerDelivery::vReset() {
    m_cypress.clear(quib::pdupdate::kCypressRowSize);
    m_STMMCUFW.records.clear();
    ucRichTekImage.clear();
    bUpdateMCU = false;
    bUpdatePD = false;
    ucMCUResult.fill(0);
    ucPDResult.fill(0);
    bMCUBootloaderEntered = false;
    m_nPDChipVendor = 0;
    ucPDImageKind = 0;
    m_nMCUChipVendor = 0;
    ucMCUImageKind = 0;
    ucCCGDeviceMode = 0;
}
