#include "devcore/nvme/krv850x_nvme.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/log/debug_log.h"
#include "devcore/transport/scsi_request.h"

using namespace quib;
using namespace quib::devcore;
using quib::platform::DeviceHandle;

namespace {

constexpr std::uint32_t kNvmeTimeOut = 60;
constexpr std::uint8_t kPacketRead = 0xEB, kPacketWrite = 0xEA, kPacketMarker = 0x5A;
constexpr std::uint16_t kRegPcieLink = 0xB4AE;

void putBe32(std::uint8_t* at, std::uint32_t value) {
    at[0] = static_cast<std::uint8_t>(value >> 24);
    at[1] = static_cast<std::uint8_t>(value >> 16);
    at[2] = static_cast<std::uint8_t>(value >> 8);
    at[3] = static_cast<std::uint8_t>(value);
}

// A fixed data-in command (input 80 + the data length, output the whole record); its data go to pOut. 0, or
// -1 after the failure line: Identify logs at message level, the log-page form at error level.
enum class FailureLine { Identify, LogPage };
int sendFixedRead(DeviceHandle hDev, const ScsiCommand& command, std::uint8_t* pOut, const char* kFn,
                  int iLine, FailureLine line) {
    records::ScsiPassThroughWithBuffers sptwb;
    prepareRecord(sptwb, command);
    const ScsiOutcome outcome = sendRecord(hDev, sptwb, records::kSptWholeRecord,
                                           records::kSptHeaderAndSense + command.transferLength);
    if (outcome.succeeded()) {
        std::memcpy(pOut, sptwb.ucDataBuf, command.transferLength);
        return 0;
    }
    const unsigned status = outcome.controlOk ? 1u : 0u;
    if (line == FailureLine::Identify)
        LogMessage(
            "%s:%d: NVME_GetIdentify: (status = FAIL) hDev:%x , status:%x , ScsiStatus:%x , dwErrorCode:%x  ",
            kFn, iLine, handleText(hDev), status, outcome.scsiStatus, outcome.errorCode);
    else
        LogError(
            "%s:%d: NVME_GetLogPage: (status = FAIL) hDev:%x , status:%x , ScsiStatus:%x , dwErrorCode:0x%x "
            " ",
            kFn, iLine, handleText(hDev), status, outcome.scsiStatus, outcome.errorCode);
    return -1;
}

ScsiCommand dataInCommand(std::uint8_t cdbLength, std::uint32_t transferLength) {
    ScsiCommand command;
    command.cdbLength = cdbLength;
    command.dataIn = records::kScsiDataIn;
    command.transferLength = transferLength;
    command.timeOutSeconds = kNvmeTimeOut;
    return command;
}

}  // namespace

int CKRV850xNVME::NVME_GetIdentify(DeviceHandle hDev, std::uint8_t* pIdentify, std::uint8_t ucSelector) {
    constexpr auto kFn = "CKRV850xNVME::NVME_GetIdentify";
    ScsiCommand command = dataInCommand(16, kIdentifyLength);
    command.cdb[0] = 0xE6;
    command.cdb[1] = 0x06;
    command.cdb[3] = ucSelector;
    return sendFixedRead(hDev, command, pIdentify, kFn, __LINE__, FailureLine::Identify);
}

int CKRV850xNVME::NVME_GetLogPage(DeviceHandle hDev, std::uint8_t* pLog, std::uint32_t dwValue) {
    constexpr auto kFn = "CKRV850xNVME::NVME_GetLogPage";
    ScsiCommand command = dataInCommand(16, kLogPageLength);
    command.cdb[0] = 0xE6;
    command.cdb[1] = 0x02;
    command.cdb[3] = 0x02;
    command.cdb[7] = 0x7F;
    putBe32(&command.cdb[12], dwValue);
    return sendFixedRead(hDev, command, pLog, kFn, __LINE__, FailureLine::LogPage);
}

int CKRV850xNVME::NVME_SecurityProtocolIN(DeviceHandle hDev, std::uint8_t* pData, std::uint32_t dwValue) {
    constexpr auto kFn = "CKRV850xNVME::NVME_SecurityProtocolIN";
    ScsiCommand command = dataInCommand(12, kLogPageLength);
    command.cdb[0] = 0xA2;
    command.cdb[2] = 0x01;
    command.cdb[3] = 0x80;
    putBe32(&command.cdb[6], dwValue);
    return sendFixedRead(hDev, command, pData, kFn, __LINE__, FailureLine::LogPage);
}

int CKRV850xNVME::NVMePacket_Access(DeviceHandle hDev, bool bWrite, std::uint8_t ucPhase,
                                    std::uint8_t ucParameter, PacketData kind, std::uint8_t* pBuffer,
                                    std::uint32_t dwLength) {
    constexpr auto kFn = "CKRV850xNVME::NVMePacket_Access";
    ScsiCommand command;
    command.cdbLength = 16;
    command.cdb[0] = bWrite ? kPacketWrite : kPacketRead;
    command.cdb[1] = kPacketMarker;
    command.cdb[2] = ucPhase;
    command.cdb[3] = ucParameter;
    command.cdb[4] = static_cast<std::uint8_t>(kind);
    putBe32(&command.cdb[10], dwLength);
    command.dataIn = bWrite ? records::kScsiDataOut : records::kScsiDataIn;
    command.transferLength = dwLength;
    command.timeOutSeconds = kNvmeTimeOut;

    ScsiOutcome outcome;
    if (dwLength > records::kMaxScsiLen) {
        // More than the request's data area holds: the system moves the caller's own buffer.
        outcome = sendDirect(hDev, command, std::span<std::uint8_t>(pBuffer, dwLength));
    } else {
        records::ScsiPassThroughWithBuffers sptwb;
        prepareRecord(sptwb, command);
        if (bWrite) {
            if (dwLength) std::memcpy(sptwb.ucDataBuf, pBuffer, dwLength);
            outcome =
                sendRecord(hDev, sptwb, records::kSptWholeRecord, records::kSptHeaderAndSense + dwLength);
        } else {
            outcome =
                sendRecord(hDev, sptwb, records::kSptHeaderAndSense + dwLength, records::kSptWholeRecord);
            if (dwLength) std::memcpy(pBuffer, sptwb.ucDataBuf, dwLength);  // also after a failure
        }
    }
    if (outcome.succeeded()) return 0;
    LogError(
        "%s:%d: NVMePacket_Access: (status = FAIL) hDev:%x , status:%x , ScsiStatus:%x , dwErrorCode:%x  ",
        kFn, __LINE__, handleText(hDev), outcome.controlOk ? 1u : 0u, outcome.scsiStatus, outcome.errorCode);
    return -1;
}

int CKRV850xNVME::NVMePacket_Command(DeviceHandle hDev, std::uint8_t ucParameter,
                                     const std::uint8_t* pSubmission, PacketData kind, std::uint8_t* pData,
                                     std::uint32_t dwLength) {
    constexpr auto kFn = "CKRV850xNVME::NVMePacket_Command";
    if (kind != PacketData::None &&
        (dwLength > kMaxPacketDataLength || dwLength % 512 != 0 || pData == nullptr)) {
        LogError("%s:%d: Invaild NVMe Buffer Length(%d)", kFn, __LINE__, static_cast<int>(dwLength));
        return -10;
    }
    if (pSubmission == nullptr) return -10;
    const bool bDataIn = kind == PacketData::In;

    std::uint8_t submission[kSubmissionEntryLength];
    std::memcpy(submission, pSubmission, sizeof submission);
    if (const int iResult = NVMePacket_Access(hDev, true, kSendCommand, ucParameter, kind, submission,
                                              kSubmissionEntryLength);
        iResult != 0) {
        if (bDataIn) LogError("%s:%d: NVMePacket_Access Failed NVMEPACKET_SENDCMD_OPCODE", kFn, __LINE__);
        return iResult;
    }
    const int iData = kind == PacketData::None
                          ? NVMePacket_Access(hDev, false, kDataPhase, ucParameter, kind, nullptr, 0)
                          : NVMePacket_Access(hDev, kind == PacketData::Out, kDataPhase, ucParameter, kind,
                                              pData, dwLength);
    if (iData != 0) {
        if (bDataIn) LogError("%s:%d: NVMePacket_Access Failed NVMEPACKET_DATAPHASE_OPCODE", kFn, __LINE__);
        return iData;
    }
    // Preset so that an entry the bridge never wrote is seen as such.
    std::uint8_t completion[kCompletionEntryLength] = {};
    if (kind == PacketData::None)
        std::fill(std::begin(completion), std::end(completion), 0xFF);
    else
        completion[0] = 0xFF;
    if (const int iResult = NVMePacket_Access(hDev, false, kGetCompletion, ucParameter, kind, completion,
                                              kCompletionEntryLength);
        iResult != 0) {
        if (bDataIn)
            LogError("%s:%d: NVMePacket_Access Failed NVMEPACKET_GETCOMPLETION_OPCODE", kFn, __LINE__);
        return iResult;
    }
    if (completion[14] == 0xFF && completion[15] == 0xFF) {
        LogError("%s:%d: NVMe Completion entry is invalid!!", kFn, __LINE__);
        return -1;
    }
    return 0;
}

int CKRV850xNVME::NVMePacket_Reset(DeviceHandle hDev) {
    return NVMePacket_Access(hDev, true, kResetPhase, 0, PacketData::None, nullptr, 0);
}

int CKRV850xNVME::NVMePacket_LEDControl(DeviceHandle hDev, std::uint8_t ucDirection, std::uint8_t ucValue) {
    return NVMePacket_Access(hDev, ucDirection == 1, kLedPhase, ucValue, PacketData::None, nullptr, 0);
}

int CKRV850xNVME::nWritePCIESpeedByVendorCmd(DeviceHandle hDev, const std::uint8_t* pMode) {
    constexpr auto kFn = "CKRV850xNVME::nWritePCIESpeedByVendorCmd";
    if (pMode == nullptr) {
        LogError("%s:%d: pPCIEMode==NULL", kFn, __LINE__);
        return -10;
    }
    if (pMode[0] == kGenerationUnknown) {
        LogError("%s:%d: ucPCIEGen==PCIEGEN_UNKNOW", kFn, __LINE__);
        return -10;
    }
    if (pMode[1] == kWidthUnknown) {
        LogError("%s:%d: ucPCIELane==PCIELANE_UNKNOW", kFn, __LINE__);
        return -10;
    }
    ScsiCommand command = dataInCommand(6, 0);
    command.cdb[0] = 0xEC;
    command.cdb[1] = pMode[0];
    command.cdb[2] = pMode[1];
    command.timeOutSeconds = kReadTimeOut;
    records::ScsiPassThroughWithBuffers sptwb;
    prepareRecord(sptwb, command);
    const ScsiOutcome outcome =
        sendRecord(hDev, sptwb, records::kSptHeaderAndSense, records::kSptWholeRecord);
    if (outcome.succeeded()) return 0;
    LogError("%s:%d:  IOCTL_SCSI_PASS_THROUGH Fail , dwErrorCode %d", kFn, __LINE__,
             static_cast<int>(outcome.errorCode));
    return -1;
}

int CKRV850xNVME::nReadPCIESpeedbyRegister(DeviceHandle hDev, std::uint8_t* pMode) {
    constexpr auto kFn = "CKRV850xNVME::nReadPCIESpeedbyRegister";
    if (pMode == nullptr) return -10;
    std::uint8_t value = 0;
    if (const int iResult = SCSI7120_AccessRegister(hDev, &value, 0, kRegPcieLink, 1); iResult != 0) {
        LogError("%s:%d: SCSI7120_AccessRegister [0x%x]Failed, Error =0x%02x", kFn, __LINE__, kRegPcieLink,
                 static_cast<unsigned>(iResult & 0xFF));
        pMode[0] = kGenerationUnknown;
        return iResult;
    }
    switch (value & 0x30) {
        case 0x10:
            pMode[0] = 0;
            break;
        case 0x20:
            pMode[0] = 1;
            break;
        case 0x30:
            pMode[0] = 2;
            break;
        default:
            pMode[0] = kGenerationUnknown;
            break;
    }
    switch (value & 0x0F) {
        case 1:
            pMode[1] = 0;
            break;
        case 2:
            pMode[1] = 1;
            break;
        case 4:
            pMode[1] = 2;
            break;
        default:
            pMode[1] = kWidthUnknown;
            break;
    }
    return 0;
}
