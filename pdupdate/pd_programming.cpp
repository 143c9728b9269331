// Programming mode, programming and read-back of the PD controller and the microcontroller.
#include <algorithm>

#include "common/log/debug_log.h"
#include "devcore/transport/device_path.h"
#include "pdupdate/pd_pauses.h"
#include "pdupdate/power_delivery.h"

using namespace quib;
using namespace quib::pdupdate;

namespace {

constexpr std::uint16_t kMtpAreaParam = 0x3FFF;
constexpr std::uint16_t kReadDataParam = 0x1000;
constexpr std::uint16_t kCcg4RowParam = 0x100;
constexpr std::uint8_t kExtendedLinearAddress = 4;

// How the row commands of a Cypress kind name a row and what they are called in the log.
struct RowCommands {
    std::uint8_t ucWrite = 0, ucRead = 0;
    std::uint16_t wParam2 = 0;
    const char* pWriteName = "";
};

RowCommands rowCommandsOf(std::uint8_t ucKind) {
    switch (ucKind) {
        case PD_VENDOR_CYPRESS:
            return {CYPRESS_PD_WRITE_DATA, CYPRESS_PD_READ_DATA, 0, "PD_CYPRESS_FW_DATA_SECTOR"};
        case PD_VENDOR_CCG3:
            return {CYPRESS_PD_CCG3_WRITE_DATA, CYPRESS_PD_CCG3_READ_DATA, 0, "CYPRESS_PD_CCG3_WRITE_DATA"};
        default:
            return {CYPRESS_PD_CCG4_WRITE_DATA, 0, kCcg4RowParam, "CYPRESS_PD_CCG4_WRITE_DATA"};
    }
}

// A CCG2 takes the row in the high byte of wParam1; the later kinds take it byte-swapped.
std::uint16_t rowParam(std::uint8_t ucKind, std::uint16_t wRow) {
    if (ucKind == PD_VENDOR_CYPRESS) return static_cast<std::uint16_t>(wRow << 8);
    return static_cast<std::uint16_t>((wRow & 0xFF) << 8 | wRow >> 8);
}

struct ModeCommand {
    std::uint8_t ucSubCmd;
    std::uint16_t wParam2;
    const char* pFailLine;
};

std::optional<ModeCommand> modeCommandOf(std::uint8_t ucKind) {
    switch (ucKind) {
        case PD_VENDOR_RICHTEK:
            return ModeCommand{
                PD_MPT_AREA, kMtpAreaParam,
                "%s:%d: SCI7120_PDVendorCmd PD_MPT_AREA Fail ,nRetry[]%d,  strPhysicalAddress:[%s] ,  "
                "dwErrorCode %d"};
        case PD_VENDOR_CYPRESS:
            return ModeCommand{CYPRESS_PD_FLASH_MODE, 0,
                               "%s:%d: SCI7120_PDVendorCmd CYPRESS_PD_FLASH_MODE Fail ,nRetry[%d],  "
                               "strPhysicalAddress:[%s] ,  dwErrorCode %d"};
        case PD_VENDOR_CCG3:
        case PD_VENDOR_CCG4:
            return ModeCommand{CYPRESS_PD_CCG3_FLASH_MODE, 0,
                               "%s:%d: SCI7120_PDVendorCmd CYPRESS_PD_CCG3_FLASH_MODE Fail ,nRetry[%d],  "
                               "strPhysicalAddress:[%s] ,  dwErrorCode %d"};
        case MCU_VENDOR_ST:
            return ModeCommand{ST_MCU_FLASH_MODE, 0,
                               "%s:%d: SCSI7120_PDVendorCmd ST_MCU_ENTER_BOOTLOADER Fail ,retry[%d],  "
                               "strPhysicalAddress:[%s] ,  dwErrorCode %d"};
        default:
            return std::nullopt;
    }
}

}  // namespace

int CPowerDelivery::nConfigMTPArea(std::uint8_t ucKind, std::uint8_t ucDevIndex) {
    constexpr auto kFn = "CPowerDelivery::nConfigMTPArea";
    const std::string strPhysicalAddress = strPhysicalAddressOf(ucDevIndex);
    devcore::ScopedDevice dev(hOpenDrive(kFn, __LINE__, strPhysicalAddress));
    if (!dev.valid()) return -1;
    int iResult = -1;
    for (int nRetry = 0; nRetry < kTunnelTries; ++nRetry) {
        if (m_nMCUChipVendor == MCU_VENDOR_ST && !bMCUBootloaderEntered) {
            bMCUBootloaderEntered = true;
            std::uint8_t zeros[2] = {};
            iResult = SCSI7120_PDVendorCmd(zeros, dev.get(), 1, ST_MCU_ENTER_BOOTLOADER, 0, 0, sizeof zeros);
            if (iResult != 0) {
                LogError(
                    "%s:%d: SCSI7120_PDVendorCmd ST_MCU_ENTER_BOOTLOADER Fail , retry[%d],  "
                    "strPhysicalAddress:[%s] "
                    ",  dwErrorCode %d",
                    kFn, __LINE__, nRetry, strPhysicalAddress.c_str(), platform::lastErrorCode());
                pause(kModeRetryPauseMs);
                bMCUBootloaderEntered = false;
                continue;
            }
            pause(kBootloaderSettleMs);
        }
        const auto mode = modeCommandOf(ucKind);
        if (!mode) {
            LogError("%s:%d: m_nPDChipVendor is KNOWN[%d]", kFn, __LINE__, ucKind);
            return -10;
        }
        std::uint8_t zeros[2] = {};
        iResult = SCSI7120_PDVendorCmd(zeros, dev.get(), 1, mode->ucSubCmd, 0, mode->wParam2, sizeof zeros);
        if (iResult == 0) return 0;
        LogError(mode->pFailLine, kFn, __LINE__, nRetry, strPhysicalAddress.c_str(),
                 platform::lastErrorCode());
        pause(kModeRetryPauseMs);
    }
    return iResult;
}

int CPowerDelivery::nPDFWUpdate(std::uint8_t ucKind, std::uint8_t ucDevIndex) {
    constexpr auto kFn = "CPowerDelivery::nPDFWUpdate";
    const bool bCypress = ucKind == PD_VENDOR_CYPRESS || ucKind == PD_VENDOR_CCG3 || ucKind == PD_VENDOR_CCG4;
    if (bCypress && m_cypress.header.dwSliconID == 0) {
        LogError("%s:%d: Cypress PD[%d]  (m_CypressFWHeader.dwSliconID=0)", kFn, __LINE__, ucDevIndex);
        return -10;
    }
    if (!bCypress && ucKind != PD_VENDOR_RICHTEK && ucKind != MCU_VENDOR_ST) return 0;
    const std::string strPhysicalAddress = strPhysicalAddressOf(ucDevIndex);
    devcore::ScopedDevice dev(hOpenDrive(kFn, __LINE__, strPhysicalAddress));
    if (!dev.valid()) return -1;
    if (bCypress) return nProgramRows(ucKind, dev.get(), strPhysicalAddress);
    if (ucKind == MCU_VENDOR_ST) return nProgramMcu(dev.get(), strPhysicalAddress);

    if (ucRichTekImage.size() != kRichTekImageSize) return -10;
    for (std::size_t word = 0; word < kRichTekWordCount; ++word) {
        const int iResult = tryThrice(
            [&] {
                return SCSI7120_PDVendorCmd(&ucRichTekImage[4 * word], dev.get(), 1, PD_WRITE_DATA,
                                            static_cast<std::uint16_t>(word), 0, 4);
            },
            [&](int nRetry) {
                LogError(
                    "%s:%d: SCSI7120_PDVendorCmd PD_WRITE_DATA Retry[%d] , strPhysicalAddress:[%s] ,  "
                    "ucAddr=[%x], "
                    "dwErrorCode %d",
                    kFn, __LINE__, nRetry, strPhysicalAddress.c_str(), static_cast<unsigned>(word),
                    platform::lastErrorCode());
            });
        if (iResult != 0) {
            LogError(
                "%s:%d: SCSI7120_PDVendorCmd PD_WRITE_DATA Fail , strPhysicalAddress:[%s] ,  ucAddr=[%x], "
                "dwErrorCode %d",
                kFn, __LINE__, strPhysicalAddress.c_str(), static_cast<unsigned>(word),
                platform::lastErrorCode());
            return iResult;
        }
    }
    return 0;
}

int CPowerDelivery::nProgramRows(std::uint8_t ucKind, DeviceHandle hDev,
                                 const std::string& strPhysicalAddress) {
    constexpr auto kFn = "CPowerDelivery::nPDFWUpdate";
    const RowCommands commands = rowCommandsOf(ucKind);
    const auto rowSize = static_cast<std::uint32_t>(m_cypress.rowSize);
    // The parser keeps rows in increasing row order, so file order is row order.
    for (std::size_t index = 0; index < m_cypress.rows.size(); ++index) {
        CypressRow& row = m_cypress.rows[index];
        if (!row.isData()) {
            LogWarning("%s:%d: CYPRESS_PD m_CypressFWBuf[%d].ucArrayID is not data, ucArrayID=%x", kFn,
                       __LINE__, static_cast<int>(index), row.ucArrayID);
            continue;
        }
        const int iResult = tryThrice(
            [&] {
                return SCSI7120_PDVendorCmd(row.data.data(), hDev, 1, commands.ucWrite,
                                            rowParam(ucKind, row.wRowNum), commands.wParam2, rowSize);
            },
            [&](int nRetry, int iCode) {
                LogError(
                    "%s:%d: SCSI7120_PDVendorCmd %s Retry[%d] , strPhysicalAddress:[%s] ,  nRowCnt=[%x], "
                    "iResult "
                    "%d",
                    kFn, __LINE__, commands.pWriteName, nRetry, strPhysicalAddress.c_str(), row.wRowNum,
                    iCode);
            });
        if (iResult != 0) {
            LogError(
                "%s:%d: SCSI7120_PDVendorCmd %s Fail , strPhysicalAddress:[%s] ,  nRowCnt=[%x], iResult %d",
                kFn, __LINE__, commands.pWriteName, strPhysicalAddress.c_str(), row.wRowNum, iResult);
            return iResult;
        }
    }
    return 0;
}

int CPowerDelivery::nProgramMcu(DeviceHandle hDev, const std::string& strPhysicalAddress) {
    constexpr auto kFn = "CPowerDelivery::nPDFWUpdate";
    FlatMcuImage flat = flattenMcuImage(m_STMMCUFW);
    for (std::size_t offset = 0; offset < flat.end; offset += kMcuChunk) {
        const auto n = static_cast<std::uint32_t>(std::min(kMcuChunk, flat.end - offset));
        const int iResult = tryThrice(
            [&] {
                return SCSI7120_PDVendorCmd(&flat.bytes[offset], hDev, 1, ST_MCU_WRITE_DATA,
                                            flat.upperAddress, static_cast<std::uint16_t>(offset), n);
            },
            [&](int nRetry) {
                LogError(
                    "%s:%d: SCSI7120_PDVendorCmd ST_MCU_WRITE_DATA Retry[%d] , strPhysicalAddress:[%s] ,  "
                    "nRowCnt=[%x], dwErrorCode %d",
                    kFn, __LINE__, nRetry, strPhysicalAddress.c_str(), static_cast<unsigned>(offset),
                    platform::lastErrorCode());
            });
        if (iResult != 0) {
            LogError(
                "%s:%d: SCSI7120_PDVendorCmd ST_MCU_WRITE_DATA Fail , strPhysicalAddress:[%s] ,  "
                "nMCUDataCnt=[%x], dwErrorCode %d",
                kFn, __LINE__, strPhysicalAddress.c_str(), static_cast<unsigned>(offset),
                platform::lastErrorCode());
            return iResult;
        }
    }
    return 0;
}

int CPowerDelivery::nPDFWRead(std::uint8_t ucKind, std::uint8_t ucDevIndex, std::span<std::uint8_t> buffer) {
    constexpr auto kFn = "CPowerDelivery::nPDFWRead";
    if (ucKind != PD_VENDOR_RICHTEK && ucKind != PD_VENDOR_CYPRESS && ucKind != PD_VENDOR_CCG3 &&
        ucKind != MCU_VENDOR_ST)
        return 0;
    const std::string strPhysicalAddress = strPhysicalAddressOf(ucDevIndex);
    devcore::ScopedDevice dev(hOpenDrive(kFn, __LINE__, strPhysicalAddress));
    if (!dev.valid()) return -1;
    if (ucKind == PD_VENDOR_CYPRESS || ucKind == PD_VENDOR_CCG3)
        return nReadRows(ucKind, dev.get(), strPhysicalAddress, buffer);
    if (ucKind == MCU_VENDOR_ST) return nReadMcu(dev.get(), strPhysicalAddress, buffer);

    for (std::size_t offset = 0; offset + kRichTekReadChunk <= std::min(buffer.size(), kRichTekImageSize);
         offset += kRichTekReadChunk) {
        const int iResult = tryThrice([&] {
            return SCSI7120_PDVendorCmd(&buffer[offset], dev.get(), 0, PD_READ_DATA, kReadDataParam,
                                        static_cast<std::uint16_t>(offset), kRichTekReadChunk);
        });
        if (iResult != 0) {
            LogError(
                "%s:%d: SCSI7120_PDVendorCmd PD_READ_DATA Fail , strPhysicalAddress:[%s] ,  ucAddr=[%x], "
                "dwErrorCode %d",
                kFn, __LINE__, strPhysicalAddress.c_str(), static_cast<unsigned>(offset),
                platform::lastErrorCode());
            return iResult;
        }
    }
    return 0;
}

int CPowerDelivery::nReadRows(std::uint8_t ucKind, DeviceHandle hDev, const std::string& strPhysicalAddress,
                              std::span<std::uint8_t> buffer) {
    constexpr auto kFn = "CPowerDelivery::nPDFWRead";
    const RowCommands commands = rowCommandsOf(ucKind);
    int iResult = 0;
    for (std::size_t index = 1; index < m_cypress.rows.size(); ++index) {
        const CypressRow& row = m_cypress.rows[index];
        const std::size_t at = (index - 1) * kCypressRowSize;
        if (!row.isData() || at + kCypressRowSize > buffer.size()) continue;
        iResult = tryThrice([&] {
            return SCSI7120_PDVendorCmd(&buffer[at], hDev, 0, commands.ucRead, rowParam(ucKind, row.wRowNum),
                                        0, kCypressRowSize);
        });
        if (iResult != 0)
            LogError(
                "%s:%d: SCSI7120_PDVendorCmd PD_CYPRESS_FW_DATA_SECTOR Fail , strPhysicalAddress:[%s] ,  "
                "nRowCnt=[%x], dwErrorCode %d",
                kFn, __LINE__, strPhysicalAddress.c_str(), row.wRowNum, platform::lastErrorCode());
    }
    return iResult;
}

int CPowerDelivery::nReadMcu(DeviceHandle hDev, const std::string& strPhysicalAddress,
                             std::span<std::uint8_t> buffer) {
    constexpr auto kFn = "CPowerDelivery::nPDFWRead";
    int iResult = 0;
    if (m_STMMCUFW.record(0).ucDataType != kExtendedLinearAddress) {
        LogError("%s:%d:  STM MCU  this->m_STMMCUFW[0].ucDataType is empty!!!!", kFn, __LINE__);
        iResult = -10;
    }
    const FlatMcuImage flat = flattenMcuImage(m_STMMCUFW);
    const std::size_t end = std::min(flat.end, buffer.size());
    auto readChunk = [&](std::size_t offset, std::uint32_t n) {
        const int iRead = tryThrice(
            [&] {
                return SCSI7120_PDVendorCmd(&buffer[offset], hDev, 0, ST_MCU_READ_DATA, flat.upperAddress,
                                            static_cast<std::uint16_t>(offset), n);
            },
            [&](int nRetry) {
                LogError(
                    "%s:%d: SCSI7120_PDVendorCmd MCU_ST_FW_DATA_SECTOR Retry[%d] , strPhysicalAddress:[%s] , "
                    " "
                    "wOffSet=[%x], nByteNum=[%x], dwErrorCode %d",
                    kFn, __LINE__, nRetry, strPhysicalAddress.c_str(), static_cast<unsigned>(offset), n,
                    platform::lastErrorCode());
            });
        if (iRead != 0)
            LogError(
                "%s:%d: SCSI7120_PDVendorCmd ST_MCU_READ_DATA Fail , strPhysicalAddress:[%s] ,  "
                "nReadByteCnt=[%x], dwErrorCode %d",
                kFn, __LINE__, strPhysicalAddress.c_str(), static_cast<unsigned>(offset),
                platform::lastErrorCode());
        return iRead;
    };
    std::size_t last = 0;
    for (std::size_t offset = 0; offset < end; offset += kMcuChunk) {
        // 12-byte reads stay inside the image: its size is a multiple of 12.
        if (const int iRead = readChunk(offset, kMcuChunk)) return iRead;
        last = offset;
    }
    // The last piece again with its exact length.
    if (end > 0)
        if (const int iRead = readChunk(last, static_cast<std::uint32_t>(end - last))) return iRead;
    return iResult;
}
