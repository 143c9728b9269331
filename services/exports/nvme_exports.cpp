// Entry points of the NVMe pass-through of the PCIe bridges.
#include <cstdint>

#include "devcore/exports/export_guard.h"
#include "services/nvme_service.h"

using namespace quib;
using namespace quib::devcore;
using namespace quib::services;

namespace {
constexpr std::uint8_t kNoData = 0, kDataIn = 1, kDataOut = 2;
}

extern "C" {

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_NVME_GetIdentify(uint8_t ucTargetNumber, uint8_t* pIdentify,
                                                             uint8_t ucSelector) {
    return guardedExport("QuibUSBLib_NVME_GetIdentify", __LINE__,
                         [&]() -> int32_t { return nvmeGetIdentify(ucTargetNumber, pIdentify, ucSelector); });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_NVME_GetLogPage(uint8_t ucTargetNumber, uint8_t* pLog, uint32_t,
                                                            uint32_t dwValue) {
    return guardedExport("QuibUSBLib_NVME_GetLogPage", __LINE__,
                         [&]() -> int32_t { return nvmeGetLogPage(ucTargetNumber, pLog, dwValue); });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_NVME_SecurityProtocolIn(uint8_t ucTargetNumber, uint8_t* pData,
                                                                    uint32_t dwValue) {
    return guardedExport("QuibUSBLib_NVME_SecurityProtocolIn", __LINE__,
                         [&]() -> int32_t { return nvmeSecurityReceive(ucTargetNumber, pData, dwValue); });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_NVMePacket_NonDataPhaseCmd(uint8_t ucTargetNumber,
                                                                       uint8_t ucParameter,
                                                                       const uint8_t* pSubmission) {
    return guardedExport("QuibUSBLib_NVMePacket_NonDataPhaseCmd", __LINE__, [&]() -> int32_t {
        return nvmePacketCommand(ucTargetNumber, ucParameter, pSubmission, kNoData, nullptr, 0);
    });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_NVMePacket_DataInPhaseCmd(uint8_t ucTargetNumber,
                                                                      uint8_t ucParameter,
                                                                      const uint8_t* pSubmission,
                                                                      uint8_t* pData, uint32_t dwLength) {
    return guardedExport("QuibUSBLib_NVMePacket_DataInPhaseCmd", __LINE__, [&]() -> int32_t {
        return nvmePacketCommand(ucTargetNumber, ucParameter, pSubmission, kDataIn, pData, dwLength);
    });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_NVMePacket_DataOutPhaseCmd(uint8_t ucTargetNumber,
                                                                       uint8_t ucParameter,
                                                                       const uint8_t* pSubmission,
                                                                       const uint8_t* pData,
                                                                       uint32_t dwLength) {
    return guardedExport("QuibUSBLib_NVMePacket_DataOutPhaseCmd", __LINE__, [&]() -> int32_t {
        // The data phase only reads from the caller's buffer.
        return nvmePacketCommand(ucTargetNumber, ucParameter, pSubmission, kDataOut,
                                 const_cast<uint8_t*>(pData), dwLength);
    });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_NVME_Reset(uint8_t ucTargetNumber) {
    return guardedExport("QuibUSBLib_NVME_Reset", __LINE__,
                         [&]() -> int32_t { return nvmeReset(ucTargetNumber); });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_NVME_SpeedMode(uint8_t ucTargetNumber, uint8_t ucSet,
                                                           uint8_t* pMode) {
    return guardedExport("QuibUSBLib_NVME_SpeedMode", __LINE__,
                         [&]() -> int32_t { return nvmeSpeedMode(ucTargetNumber, ucSet, pMode); });
}

QUIBUSB_API int32_t QUIBUSB_CALL QuibUSBLib_NVME_LEDControl(uint8_t ucTargetNumber, uint8_t ucDirection,
                                                            uint8_t ucValue) {
    return guardedExport("QuibUSBLib_NVME_LEDControl", __LINE__,
                         [&]() -> int32_t { return nvmeLedControl(ucTargetNumber, ucDirection, ucValue); });
}

}  // extern "C"
