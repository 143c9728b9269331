// One PD/MCU update of a device: programming mode, program, read back and compare, the user's power cycle,
// the wait for the bridge to return, and the version the controller then runs.
#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "common/log/debug_log.h"
#include "devcore/commands/inquiry_command.h"
#include "devcore/device/text_helpers.h"
#include "devcore/frame/library_objects.h"
#include "devcore/transport/device_path.h"
#include "pdupdate/pd_pauses.h"
#include "pdupdate/power_delivery.h"

using namespace quib;
using namespace quib::pdupdate;

namespace {

constexpr auto kFn = "CPowerDelivery::vPDFWUpdate";
constexpr std::uint32_t kAfterPromptMs = 2000;
constexpr std::uint32_t kBeforeWaitMs = 500;
constexpr std::uint32_t kEmptyListPauseMs = 500;
constexpr std::uint32_t kFoundPauseMs = 1000;
constexpr std::uint64_t kRelinkWaitMs = 40'000;
constexpr int kShownDifferences = 4;

// Shows a text through the library's message boxes and logs the same text.
void show(int iKind, int iLine, const char* format, ...) QUIB_PRINTF_FORMAT(3, 4);
void show(int iKind, int iLine, const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (iKind == CUSBUtility::kWarning)
        LogWarning("%s:%d: %s", kFn, iLine, text);
    else
        LogError("%s:%d: %s", kFn, iLine, text);
    devcore::theUtility().vMessageBox(text, 0, iKind);
}

// The version part before a "/" (a device text carries "/FFFF" for the microcontroller when both are
// updated).
std::string pdPart(const std::string& text) {
    return text.substr(0, text.find('/'));
}

// Logs the first differing position and the three after it.
void logDifferences(const char* format, std::span<const std::uint8_t> expected,
                    std::span<const std::uint8_t> read, std::size_t first, std::size_t base) {
    for (std::size_t i = first; i < first + kShownDifferences && i < expected.size() && i < read.size(); ++i)
        LogError(format, kFn, __LINE__, static_cast<unsigned>(base + i), expected[i], read[i]);
}

std::optional<std::size_t> firstDifference(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
    const auto mismatch = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    if (mismatch.first == a.end() && mismatch.second == b.end()) return std::nullopt;
    return static_cast<std::size_t>(mismatch.first - a.begin());
}

}  // namespace

int CPowerDelivery::nVerifyMcu(std::uint8_t ucDevIndex) {
    std::vector<std::uint8_t> readBack(kMcuImageSize, 0);
    if (const int iResult = nPDFWRead(MCU_VENDOR_ST, ucDevIndex, readBack)) {
        LogError("%s:%d:  MCU[%d ][%d]Read Data Failed[%d], ", kFn, __LINE__, ucDevIndex, m_nMCUChipVendor,
                 iResult);
        return iResult;
    }
    for (std::size_t line = 0; line < m_STMMCUFW.records.size(); ++line) {
        const McuRecord& record = m_STMMCUFW.records[line];
        if (record.ucDataLen == 0) break;
        if (record.ucDataType != 0) continue;
        // Each record is compared where it was programmed: at its offset in the image.
        const std::size_t at = record.dwImageOffset;
        LogMessage("%s:%d: LineCnt=[%x], Read buffer offset[%x]", kFn, __LINE__, static_cast<unsigned>(line),
                   static_cast<unsigned>(at));
        const std::span<const std::uint8_t> expected(record.data.data(), record.ucDataLen);
        const std::span<const std::uint8_t> got(readBack.data() + at, record.ucDataLen);
        if (const auto diff = firstDifference(expected, got)) {
            LogError("%s:%d: MCU FW content compare Fail , LineCnt[%x], nAdd[ %x]", kFn, __LINE__,
                     static_cast<unsigned>(line), static_cast<unsigned>(at + *diff));
            logDifferences("%s:%d: nAdd[%x], ucpFileBuf[%x] != ReadBuf[%x]", expected, got, *diff, at);
            return -6;
        }
        ucMCUResult[ucDevIndex] = 1;
    }
    return 0;
}

std::uint16_t CPowerDelivery::wMetadataRow() const {
    return ucCCGDeviceMode == 1 ? 0x3FF : ucCCGDeviceMode == 2 ? 0x3FE : 0xFFFF;
}

int CPowerDelivery::nVerifyRows(std::uint8_t ucDevIndex) {
    const std::size_t count = m_cypress.rows.empty() ? 0 : m_cypress.rows.size() - 1;
    std::vector<std::uint8_t> readBack(count * kCypressRowSize, 0);
    if (const int iResult = nPDFWRead(m_nPDChipVendor, ucDevIndex, readBack)) {
        LogError("%s:%d:  PD[%d ][%d]FW Read Failed[%d], ", kFn, __LINE__, ucDevIndex, m_nPDChipVendor,
                 iResult);
        return iResult;
    }
    for (std::size_t index = 1; index < m_cypress.rows.size(); ++index) {
        const CypressRow& row = m_cypress.rows[index];
        if (!row.isData()) continue;
        // A CCG3 rewrites the row holding its own data in the running mode: it never reads back as written.
        if (m_nPDChipVendor == PD_VENDOR_CCG3 && row.wRowNum == wMetadataRow()) continue;
        LogMessage("%s:%d: FW compare , LineCnt[%x], ucRowNum[%x], RowCnt[ %x]", kFn, __LINE__,
                   static_cast<unsigned>(index), row.wRowNum, row.wRowNum);
        const std::span<const std::uint8_t> expected(row.data.data(), kCypressRowSize);
        const std::span<const std::uint8_t> got(readBack.data() + (index - 1) * kCypressRowSize,
                                                kCypressRowSize);
        if (const auto diff = firstDifference(expected, got)) {
            LogError("%s:%d: FW content compare Fail , LineCnt[%x], RowCnt[ %x]", kFn, __LINE__,
                     static_cast<unsigned>(index), row.wRowNum);
            logDifferences("%s:%d: Cnt[%x], ucpFileBuf[%x] != ReadBuf[%x]", expected, got, *diff, 0);
            return -6;
        }
    }
    return 0;
}

int CPowerDelivery::nVerifyRichTek(std::uint8_t ucDevIndex) {
    std::vector<std::uint8_t> readBack(kRichTekImageSize, 0);
    if (const int iResult = nPDFWRead(PD_VENDOR_RICHTEK, ucDevIndex, readBack)) {
        LogError("%s:%d:  PD[%d ][%d]FW nPDFWRead Failed[%d], ", kFn, __LINE__, ucDevIndex, m_nPDChipVendor,
                 iResult);
        return -2;
    }
    // The file is read again: what the controller holds must be what the file says.
    std::vector<std::uint8_t> file;
    const auto size = platform::get().files.fileSize(strPDFwPath);
    if (!size || *size > kRichTekImageSize || !devcore::theUtility().vReadFile(strPDFwPath, file) ||
        file.size() > kRichTekImageSize) {
        LogError("%s:%d:  PD[%d ][%d]FW Comparsion Failed[%d], ", kFn, __LINE__, ucDevIndex, m_nPDChipVendor,
                 -3);
        return -3;
    }
    const std::span<const std::uint8_t> got(readBack.data(), file.size());
    if (const auto diff = firstDifference(file, got)) {
        LogError("%s:%d: FW content compare Fail , dwFlashFWLeng[ %d]", kFn, __LINE__,
                 static_cast<int>(file.size()));
        logDifferences("%s:%d: Cnt[%x], ucpFileBuf[%x] != ReadBuf[%x]", file, got, *diff, 0);
        return -6;
    }
    return 0;
}

int CPowerDelivery::vPDFWUpdate(std::uint8_t ucDevIndex) {
    ucPDResult[ucDevIndex] = 0;
    ucMCUResult[ucDevIndex] = 0;
    bMCUBootloaderEntered = false;
    LogMessage("%s:%d:  Start PD/MCU FW Update", kFn, __LINE__);

    const int iResult = [&]() -> int {
        if (bUpdatePD && (m_nPDChipVendor == 0 || ucPDImageKind == 0)) {
            LogError("%s:%d: m_nPDChipVendor is UNKNOW or PD File is UNKNOW", kFn, __LINE__);
            return -10;
        }
        if (bUpdateMCU && (m_nMCUChipVendor == 0 || ucMCUImageKind == 0)) {
            LogError("%s:%d: m_nMCUChipVendor is UNKNOW Failed, this->m_nMCUChipVendor=%x", kFn, __LINE__,
                     m_nMCUChipVendor);
            return -10;
        }
        const bool bKnownPD = m_nPDChipVendor == PD_VENDOR_RICHTEK || m_nPDChipVendor == PD_VENDOR_CYPRESS ||
                              m_nPDChipVendor == PD_VENDOR_CCG3 || m_nPDChipVendor == PD_VENDOR_CCG4;
        // A controller no programming command exists for is refused before the user is asked for anything.
        if (bUpdatePD && !bKnownPD) {
            LogError("%s:%d: m_nPDChipVendor is KNOWN[%d]", kFn, __LINE__, m_nPDChipVendor);
            return -10;
        }
        if (bUpdatePD && bKnownPD) {
            if (const int iConfig = nConfigMTPArea(m_nPDChipVendor, ucDevIndex)) {
                LogError("%s:%d: Config PD[%d ][%d] Flase Failed[%d], ", kFn, __LINE__, ucDevIndex,
                         m_nPDChipVendor, iConfig);
                show(CUSBUtility::kError, __LINE__, "Config PD[%d] Flash Failed!!", ucDevIndex);
                return iConfig;
            }
        }
        if (bUpdateMCU && m_nMCUChipVendor == MCU_VENDOR_ST) {
            if (const int iConfig = nConfigMTPArea(MCU_VENDOR_ST, ucDevIndex)) {
                LogError("%s:%d: Config MCU[%d ][%d] Flase Failed[%d], ", kFn, __LINE__, ucDevIndex,
                         m_nMCUChipVendor, iConfig);
                show(CUSBUtility::kError, __LINE__, "MCU[%d] Enter Bootload mode Failed=[%d]!!", ucDevIndex,
                     iConfig);
                return iConfig;
            }
            LogMessage("%s:%d:  Config MCU Flash done....", kFn, __LINE__);
            if (const int iProgram = nPDFWUpdate(MCU_VENDOR_ST, ucDevIndex)) {
                LogError("%s:%d:  MCU[%d ][%d]FW Update Failed[%d], ", kFn, __LINE__, ucDevIndex,
                         m_nMCUChipVendor, iProgram);
                return iProgram;
            }
            if (const int iVerify = nVerifyMcu(ucDevIndex)) return iVerify;
        }
        if (bUpdatePD && bKnownPD) {
            if (const int iProgram = nPDFWUpdate(m_nPDChipVendor, ucDevIndex)) {
                LogError("%s:%d:  PD[%d ][%d]FW Update Failed[%d], ", kFn, __LINE__, ucDevIndex,
                         m_nPDChipVendor, iProgram);
                return iProgram;
            }
            if (m_nPDChipVendor == PD_VENDOR_CYPRESS || m_nPDChipVendor == PD_VENDOR_CCG3)
                if (const int iVerify = nVerifyRows(ucDevIndex)) return iVerify;
        }
        return nWaitRelink(ucDevIndex);
    }();

    if (iResult == 0) {
        LogMessage("%s:%d:  FW Update[%d] is PASS...code [%d] ", kFn, __LINE__, ucDevIndex, iResult);
        if (bUpdatePD) ucPDResult[ucDevIndex] = 1;
        if (bUpdateMCU) ucMCUResult[ucDevIndex] = 1;
    } else {
        LogError("%s:%d:  FW Update[%d] is failed...code [%d] ", kFn, __LINE__, ucDevIndex, iResult);
        // A verified microcontroller does not make a failed run a success.
        ucPDResult[ucDevIndex] = 0;
        ucMCUResult[ucDevIndex] = 0;
    }
    return iResult;
}

int CPowerDelivery::nWaitRelink(std::uint8_t ucDevIndex) {
    const devcore::USBDevEntry* entry = entryOf(ucDevIndex);
    const devcore::USBDevEntry before = entry ? *entry : devcore::USBDevEntry{};
    // Held across the prompt: while it still answers, the device has not been power-cycled.
    devcore::ScopedDevice old(entry ? devcore::openDevice(strPhysicalAddressOf(ucDevIndex))
                                    : platform::kInvalidHandle);

    show(CUSBUtility::kWarning, __LINE__, "Please power cycling Your [%d ]device!!!", ucDevIndex);
    pause(kAfterPromptMs);
    LogMessage("%s:%d: Enter ucDevNum[%d] Reload wheil() ", kFn, __LINE__, ucDevIndex);
    pause(kBeforeWaitMs);

    platform::Clock& clock = platform::get().clock;
    const std::uint64_t start = clock.tickMs();
    while (clock.tickMs() - start <= kRelinkWaitMs) {
        if (old.valid() && devcore::stillAnswers(old.get())) {
            pause(kEmptyListPauseMs);
            continue;
        }
        old.close();
        if (!bFindAgain(ucDevIndex, before)) {
            pause(kEmptyListPauseMs);
            continue;
        }
        pause(kFoundPauseMs);
        if (const int iInit = nInitializedPDI2CBus(ucDevIndex)) {
            show(CUSBUtility::kError, __LINE__, "PD[%d] I2C Initialized I2C Bus Failed", ucDevIndex);
            LogError("%s:%d:  PD[%d ][%d]nInitializedPDI2CBus Failed[%d], ", kFn, __LINE__, ucDevIndex,
                     m_nPDChipVendor, iInit);
            return iInit;
        }
        if (bUpdatePD) {
            if (const int iVersion = nGetPDFWVersion(ucDevIndex)) {
                show(CUSBUtility::kError, __LINE__, "PD[%d] Get FW Version Failed in compare loop, ",
                     ucDevIndex);
                LogError("%s:%d:  PD[%d ][%d]nGetPDFWVersion Failed[%d], ", kFn, __LINE__, ucDevIndex,
                         m_nPDChipVendor, iVersion);
                return iVersion;
            }
            // Every kind in every device mode must now run the file's version: for a CCG4, which cannot be
            // read back, this is the only proof that its rows were taken.
            if (!devcore::equalsIgnoreCase(pdPart(strPDFileVersion), pdPart(strPDDeviceVersion))) {
                show(CUSBUtility::kError, __LINE__, "PD[%d] FW Version Compare Failed, File[%s], PD[%s]",
                     ucDevIndex, strPDFileVersion.c_str(), strPDDeviceVersion.c_str());
                return -2;
            }
            if (m_nPDChipVendor == PD_VENDOR_RICHTEK)
                if (const int iCompare = nVerifyRichTek(ucDevIndex)) return iCompare;
        }
        return 0;
    }
    show(CUSBUtility::kError, __LINE__, "PO[%d] Wait relink failed, Timeout", ucDevIndex);
    LogError("%s:%d:  PD[%d ][%d]Relink  Time out[%d], ", kFn, __LINE__, ucDevIndex, m_nPDChipVendor, -9);
    return -9;
}
