// The device object of the older scan, which selects bridges by device type.
#pragma once

#include "devcore/device/quib_usb_dev.h"

class CKRV610xDev : public CQuibUSBDev {
  public:
    // Full scan for one device type (below 6 the "7120" family, else "8500"); the number of devices recorded.
    int vScanUSBPort(std::uint8_t ucTargetDevType);

  protected:
    bool bChipAccepted(DeviceHandle hDev, const std::string& strChipNumber) override;

  private:
    std::uint8_t m_ucTargetDevType = 0;
};
