// The device object of the USB-to-PCIe (NVMe) bridges.
#pragma once

#include "devcore/device/quib_usb_dev.h"

class CKRV850xNVME : public CQuibUSBDev {};
