// The device object of the USB-to-PCIe (NVMe) bridges: NVMe commands carried in vendor SCSI commands.
#pragma once

#include <cstdint>

#include "devcore/device/quib_usb_dev.h"

class CKRV850xNVME : public CQuibUSBDev {
  public:
    static constexpr std::uint32_t kIdentifyLength = 4096;
    static constexpr std::uint32_t kLogPageLength = 512;
    static constexpr std::uint32_t kSubmissionEntryLength = 64;
    static constexpr std::uint32_t kCompletionEntryLength = 16;
    static constexpr std::uint32_t kMaxPacketDataLength = 0x4000000;  // 64 MiB
    static constexpr std::uint8_t kGenerationUnknown = 0xFF;          // PCIEGEN_UNKNOW
    static constexpr std::uint8_t kWidthUnknown = 0xFF;               // PCIELANE_UNKNOW

    // Packet phases.
    static constexpr std::uint8_t kSendCommand = 0x80;    // NVMEPACKET_SENDCMD_OPCODE
    static constexpr std::uint8_t kDataPhase = 0x81;      // NVMEPACKET_DATAPHASE_OPCODE
    static constexpr std::uint8_t kGetCompletion = 0x82;  // NVMEPACKET_GETCOMPLETION_OPCODE
    static constexpr std::uint8_t kResetPhase = 0x01;
    static constexpr std::uint8_t kLedPhase = 0x03;
    // What a packet command moves besides its entries.
    enum class PacketData : std::uint8_t { None = 0, In = 1, Out = 2 };

    // ---- fixed commands: 0, or -1 when the transfer or the device failed ---------------------------------
    int NVME_GetIdentify(DeviceHandle hDev, std::uint8_t* pIdentify, std::uint8_t ucSelector);
    int NVME_GetLogPage(DeviceHandle hDev, std::uint8_t* pLog, std::uint32_t dwValue);
    int NVME_SecurityProtocolIN(DeviceHandle hDev, std::uint8_t* pData, std::uint32_t dwValue);

    // ---- the packet protocol -----------------------------------------------------------------------------
    // One phase: dwLength bytes out of (bWrite) or into pBuffer. Phases of more than one request's data
    // area go as one direct request on the caller's buffer.
    int NVMePacket_Access(DeviceHandle hDev, bool bWrite, std::uint8_t ucPhase, std::uint8_t ucParameter,
                          PacketData kind, std::uint8_t* pBuffer, std::uint32_t dwLength);
    // Submission entry, data phase and completion entry. 0; -1 a phase failed or the completion entry was
    // never written; -10 a data length above 64 MiB or not a multiple of 512.
    int NVMePacket_Command(DeviceHandle hDev, std::uint8_t ucParameter, const std::uint8_t* pSubmission,
                           PacketData kind, std::uint8_t* pData, std::uint32_t dwLength);
    int NVMePacket_Reset(DeviceHandle hDev);
    int NVMePacket_LEDControl(DeviceHandle hDev, std::uint8_t ucDirection, std::uint8_t ucValue);

    // ---- the PCIe link: generation then width -------------------------------------------------------------
    int nWritePCIESpeedByVendorCmd(DeviceHandle hDev, const std::uint8_t* pMode);
    int nReadPCIESpeedbyRegister(DeviceHandle hDev, std::uint8_t* pMode);
};
