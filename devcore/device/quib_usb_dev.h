// The device object: vendor commands on an open handle, register decoding and discovery.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "devcore/device/usb_dev_list.h"
#include "include/quibusb.h"
#include "platform/platform.h"

namespace quib::devcore {
struct UsbPortDevice;
}

class CQuibUSBDev {
  public:
    using DeviceHandle = quib::platform::DeviceHandle;
    using USBDevList = quib::devcore::USBDevList;
    using USBDevEntry = quib::devcore::USBDevEntry;

    static constexpr std::uint32_t kInquiryLength = 38;
    static constexpr std::uint32_t kMaxRegisterLength = 256;
    static constexpr std::uint32_t kFactoryConfigBlockSize = 124;
    static constexpr std::uint32_t kFactoryConfigReadSize = 512;
    static constexpr std::uint32_t kAtaSectorSize = 512;
    static constexpr std::uint32_t kVendorCdbTailSize = 13;

    CQuibUSBDev() = default;
    // Removes the working sub-folder, so nothing of an update outlives the library.
    virtual ~CQuibUSBDev();
    CQuibUSBDev(const CQuibUSBDev&) = delete;
    CQuibUSBDev& operator=(const CQuibUSBDev&) = delete;

    // ---- vendor commands: 0 success, -1 transfer failed, -10 arguments refused --------------------------
    int SCSI7120_Inquiry(std::uint8_t* pInquiry, DeviceHandle hDev);
    // The INQUIRY of discovery: a failed one is sent again, a few times, 20 ms apart.
    int nInquiryTried(std::uint8_t* pInquiry, DeviceHandle hDev);
    // ucReadWrite 1 writes the first byte of pBuffer; anything else reads dwLength (1..256) bytes.
    int SCSI7120_AccessRegister(DeviceHandle hDev, std::uint8_t* pBuffer, std::uint8_t ucReadWrite,
                                std::uint16_t wAddress, std::uint32_t dwLength);
    // ucReadWrite 0 reads, otherwise writes; always 128 bytes.
    int SCSI7120_AccessConfigEEPROM(DeviceHandle hDev, std::uint8_t ucReadWrite, std::uint8_t* pBuffer,
                                    std::uint8_t ucSelector);
    // ucReadWrite 1 writes in 64 KiB pieces; 0 reads at most 64 KiB.
    int SCSI7120_AccessFirmwareEEPROM(std::uint8_t* pBuffer, DeviceHandle hDev, std::uint8_t ucReadWrite,
                                      std::uint32_t dwLength, std::uint8_t ucSelector);
    int SCSI7120_AccessFirmwareEEPROM_Direct(std::uint32_t dwLength, DeviceHandle hDev,
                                             std::uint8_t ucReadWrite, std::uint8_t* pBuffer,
                                             std::uint8_t ucSelector);
    // Writes sectors to the drive behind the bridge (ATA WRITE DMA EXT); a read request sends nothing.
    int SCSI7120_AccessHardDisk(DeviceHandle hDev, std::uint8_t ucReadWrite, std::uint32_t dwLbaLow,
                                std::uint32_t dwLbaHigh, const std::uint8_t* pData,
                                std::uint32_t dwSectorCount);
    int SCSI7120_CPURST(DeviceHandle hDev, std::uint8_t ucMode);
    int nSetUSBMaxSpeedbyKRV8504VendorCmd(DeviceHandle hDev, std::uint8_t ucSpeed);
    int SCSI_SyncCache10(DeviceHandle hDev);
    int SCSI850X_PCIeConfiguration_ReadDword(std::uint16_t wBufLen, DeviceHandle hDev, std::uint16_t wOffset,
                                             std::uint8_t* pBuffer);
    int SCSI850X_PCIeConfiguration_WriteDword(std::uint16_t wOffset, DeviceHandle hDev,
                                              const std::uint8_t* pData, std::uint16_t wBufLen);
    int SCSI8502_FactoryConfigure_Write(const std::uint8_t* pBlock, DeviceHandle hDev);
    int SCSI8502_FactoryConfigure_Read(DeviceHandle hDev, std::uint8_t* pResult);
    // ucReadWrite 0 reads, otherwise writes; the CDB is opcode, byte1, byte2 and the 13 tail bytes.
    int SCSI_VEN_PASSTHROUGH_CMD(const std::uint8_t* pCdbTail, DeviceHandle hDev, std::uint8_t ucReadWrite,
                                 std::uint8_t ucOpcode, std::uint8_t ucByte1, std::uint8_t ucByte2,
                                 std::uint8_t* pBuffer, std::uint32_t dwLength);

    // ATA PASS-THROUGH(12) IDENTIFY DEVICE: 512 bytes of identify data from the drive behind the bridge.
    bool ATAPassThrough_Identify(DeviceHandle hDev, std::uint8_t* pIdentify);
    // The drive's serial number (IDENTIFY words 10-19), trimmed.
    bool ATAPassThrough_GetHDSerialNumber(DeviceHandle hDev, std::string& strSerialNumber);
    bool ATAPassThrough_GetSSDSerialNumber(DeviceHandle hDev, std::string& strSerialNumber);

    // ---- chip registers, decoded ----------------------------------------------------------------------
    // One register byte; none when the read failed.
    std::optional<std::uint8_t> readRegisterByte(DeviceHandle hDev, std::uint16_t wAddress);
    // "7120" or "8500" from bytes 37 and 36 of the INQUIRY data.
    static std::string strChipNumber(const std::uint8_t* pInquiry);
    std::uint8_t ucGetDeviceType(DeviceHandle hDev, const std::string& strChipNumber);
    std::string strGetChipType(DeviceHandle hDev);
    std::string strGetFirmwareVersion(DeviceHandle hDev);
    std::uint8_t ucGetUSBMode(DeviceHandle hDev, std::uint8_t ucDevType);
    // Stores the link status text of the entry's chip type in the entry.
    void vGetUsbConnectionStatus(DeviceHandle hDev, USBDevEntry& entry);
    // Speed code into ucSpeed; returns 0 or the failed read's result.
    int ucGetUsbSpeed(DeviceHandle hDev, std::uint8_t ucDevType, std::uint8_t& ucSpeed);
    int nGetCCOrientation(DeviceHandle hDev, std::uint8_t ucDevType);

    // ---- discovery ---------------------------------------------------------------------------------------
    void vBindDevList(USBDevList* pDevList) { m_pDevList = pDevList; }
    USBDevList* pDevList() const { return m_pDevList; }
    // Full scan for one bridge type (0 "7120", 1 "8500"); 0 when a device was recorded, else -4.
    int Open(const std::string& strTargetChipType, int iBridgeType);
    void Enum();
    // Disk (class 7) or CD-ROM (class 2) number whose identity carries the serial number; 255 when none.
    std::uint8_t ucGetPhysicalAddressFromSN(const std::string& strSerialNumber, int iDevClass,
                                            int iBridgeType);
    // Drive letter of the disk's first volume; 127 when there is none.
    char vGetLogicalAddressFromPhysicalAddress(std::uint8_t ucPhysicalAddress);
    // Re-finds entry ucTargetNumber after a restart by its relink signature and rewrites the entry.
    bool bDetectTargetUSBDevice(std::uint8_t ucTargetNumber, std::uint8_t ucMaxNumberOfPhysicalAddress,
                                int iBridgeType);
    // The 16 on-the-go status bytes of an entry, read through its hub.
    bool bGetOTBStatusByStorageDescriptor(std::uint8_t ucTargetNumber, std::uint8_t* pStatus);
    // Fills drive letters and copies the recorded entries into the caller's list.
    void vExportDevList(USBDevListExp& exported);

    // Device path of an entry: its CD-ROM or its disk.
    static std::string strDevicePathOf(const USBDevEntry& entry);

    // The chip-type selector text that discovery recorded last ("-****- ChipType:[%s]").
    std::string m_strDevChipType;

    // ---- bridge firmware update (defined in fwupdate/) ---------------------------------------------------
    // The programming stream "TempBinData.bin" of m_strFWBinFilePath; ucType 1 for a "TV_PCIE_" image.
    bool vCreateTempBinDataFile(std::string strFWPath, std::uint8_t ucType);
    // The stream, and "Config_<name>.rom": m_ucConfigBuffer followed by the stream.
    bool vCreateConfigRomFile(std::string strFWPath, std::uint8_t ucType);
    // Writes "TempBinData.bin" into firmware bank ucBank of an entry's bridge, in one command with up to
    // ten attempts, and reads it back when bVerify. False when any attempt or comparison failed.
    bool vUpdateFirmware(std::uint8_t ucTargetNumber, std::uint8_t ucBank, bool bVerify);
    // The same for a packed image, moved with the piecewise firmware command.
    bool vUpdateWPackedFirmware(std::uint8_t ucTargetNumber, std::uint8_t ucBank, bool bVerify);
    // Reads (ucReadWrite 0) or writes (1) the 128-byte configuration area of bank ucBank.
    bool bWrRdConfiguration(std::uint8_t ucTargetNumber, std::uint8_t ucReadWrite, std::uint8_t* pBlock,
                            std::uint8_t ucBank);
    // Restarts an entry's bridge behind its relink signature, finds it again and restores the signature
    // registers. ucDetectCount: disks 1 .. ucDetectCount + 1 are probed.
    bool vCPURST(std::uint8_t ucTargetNumber, std::uint8_t ucDetectCount, std::uint8_t ucResetMode,
                 int iBridgeType);
    bool vSetRelinkSignature(std::uint8_t ucSignature, DeviceHandle hDev);
    bool vSafeRemoveUSB(std::uint8_t ucTargetNumber);
    bool vForceEjectUSB(const std::string& strInstanceId);

    // The image being prepared and the configuration block that goes in front of its stream.
    std::string m_strFWBinFilePath;
    std::array<std::uint8_t, quib::devcore::kConfigBlockSize> m_ucConfigBuffer{};

  protected:
    // Bridge type for the disk search and the chip number it requires.
    static std::string strChipNumberOfBridgeType(int iBridgeType);
    // Whether a proven bridge fits this scan's target.
    virtual bool bChipAccepted(DeviceHandle hDev, const std::string& strChipNumber);

    // Called by the walk for every USB device that may be a bridge.
    void vExaminePortDevice(const quib::devcore::UsbPortDevice& device);
    // Whether an entry recorded so far already holds this disk (or CD-ROM) number.
    bool bNumberInList(std::uint8_t ucNumber, bool bCdrom) const;
    bool vTestHandleFromPhysicalAddress(const quib::devcore::UsbPortDevice& device, std::uint8_t ucNumber,
                                        bool bCdrom);
    void vFillEntry(USBDevEntry& entry, DeviceHandle hDev, const quib::devcore::UsbPortDevice& device,
                    const std::string& strChipNumber);

    USBDevList* m_pDevList = nullptr;
    bool m_bFullScan = false;
    std::string m_strTargetChipType = "0";
    int m_iBridgeType = 0;
};
