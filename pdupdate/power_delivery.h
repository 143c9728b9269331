// The PD controller and the microcontroller behind a bridge: what was detected, which images were given
// and parsed, and what the last update achieved per device. One object per library.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "devcore/device/usb_dev_list.h"
#include "pdupdate/image_tables.h"
#include "pdupdate/pd_kinds.h"
#include "platform/platform.h"

class CPowerDelivery {
  public:
    using DeviceHandle = quib::platform::DeviceHandle;

    explicit CPowerDelivery(quib::devcore::USBDevList* pDevList) : m_pDevList(pDevList) {}
    virtual ~CPowerDelivery() = default;
    CPowerDelivery(const CPowerDelivery&) = delete;
    CPowerDelivery& operator=(const CPowerDelivery&) = delete;

    // The library's device list may be created after this object, and replaced by a later scan.
    void vBindDevList(quib::devcore::USBDevList* pDevList) { m_pDevList = pDevList; }

    // Back to the empty state; the path and version texts are kept.
    void vReset();

    // ---- the tunnel ------------------------------------------------------------------------------------
    // One 0xEC command: 0, -1 (transport or device failure), -10 (bad handle or length over 256).
    static int SCSI7120_PDVendorCmd(std::uint8_t* pBuf, DeviceHandle hDev, std::uint8_t ReadWrite,
                                    std::uint8_t ucSubCmd, std::uint16_t wParam1, std::uint16_t wParam2,
                                    std::uint32_t BufLen);

    // ---- detection and versions -----------------------------------------------------------------------
    int nInitializedPDI2CBus(std::uint8_t ucDevIndex);
    int nGetPDChipVendor(std::uint8_t ucDevIndex);
    int nGetCCG3DeviceMode(std::uint8_t ucDevIndex);
    int nGetPDFWVersion(std::uint8_t ucDevIndex);
    std::string strGetPDFWVersionFromFile(const std::string& strPath);

    // ---- images and programming -----------------------------------------------------------------------
    int nCreatePDSPIROMBuffer(const std::string& strPath);
    int nPDFWVerify();
    int nConfigMTPArea(std::uint8_t ucKind, std::uint8_t ucDevIndex);
    int nPDFWUpdate(std::uint8_t ucKind, std::uint8_t ucDevIndex);
    int nPDFWRead(std::uint8_t ucKind, std::uint8_t ucDevIndex, std::span<std::uint8_t> buffer);
    int vPDFWUpdate(std::uint8_t ucDevIndex);

    // ---- state -----------------------------------------------------------------------------------------
    quib::pdupdate::CypressImage m_cypress;
    quib::pdupdate::McuImage m_STMMCUFW;
    std::vector<std::uint8_t> ucRichTekImage;  // kRichTekImageSize once a RichTek image is read
    bool bUpdateMCU = false;
    bool bUpdatePD = false;
    std::array<std::uint8_t, 4> ucMCUResult{};
    std::array<std::uint8_t, 4> ucPDResult{};
    bool bMCUBootloaderEntered = false;
    std::string strMCUFwPath;
    std::string strPDFwPath;
    std::string strPDFileVersion;
    std::uint8_t m_nPDChipVendor = 0;
    std::uint8_t ucPDImageKind = 0;
    std::uint8_t m_nMCUChipVendor = 0;
    std::uint8_t ucMCUImageKind = 0;
    std::uint8_t ucCCGDeviceMode = 0;
    std::string strPDDeviceVersion;

  private:
    // The list entry of a device index; nullptr when there is none.
    const quib::devcore::USBDevEntry* entryOf(std::uint8_t ucDevIndex) const;
    // "\\\\.\\PhysicalDrive<n>" of the device's disk number ("" when the index names no device).
    std::string strPhysicalAddressOf(std::uint8_t ucDevIndex) const;
    // Opens the device's disk; an invalid handle (logged under kFn) when it cannot be opened.
    DeviceHandle hOpenDrive(const char* kFn, int iLine, const std::string& strPhysicalAddress) const;

    int nProgramRows(std::uint8_t ucKind, DeviceHandle hDev, const std::string& strPhysicalAddress);
    int nProgramMcu(DeviceHandle hDev, const std::string& strPhysicalAddress);
    int nReadRows(std::uint8_t ucKind, DeviceHandle hDev, const std::string& strPhysicalAddress,
                  std::span<std::uint8_t> buffer);
    int nReadMcu(DeviceHandle hDev, const std::string& strPhysicalAddress, std::span<std::uint8_t> buffer);
    int nVerifyMcu(std::uint8_t ucDevIndex);
    int nVerifyRows(std::uint8_t ucDevIndex);
    int nVerifyRichTek(std::uint8_t ucDevIndex);
    int nWaitRelink(std::uint8_t ucDevIndex);
    // After a power cycle: finds the bridge again by its USB serial number and location, rescanning when
    // the list no longer holds it under its old disk number. True when the entry is current.
    bool bFindAgain(std::uint8_t ucDevIndex, const quib::devcore::USBDevEntry& before);
    // The row a kind-4 controller keeps its own data in, in the running device mode.
    std::uint16_t wMetadataRow() const;
    std::size_t rowSizeOfKind() const;

    quib::devcore::USBDevList* m_pDevList = nullptr;
};
