// The PD and MCU image files: their kind from the name, the version a PD file carries, parsing them into
// the tables and judging whether the parsed image suits the detected controller.
#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "common/log/debug_log.h"
#include "devcore/frame/library_objects.h"
#include "pdupdate/power_delivery.h"

using namespace quib;
using namespace quib::pdupdate;

namespace {

// Larger than any image the tables can hold (65,535 rows of 256 bytes as text).
constexpr std::uint64_t kMaxImageFileSize = 64ull * 1024 * 1024;
constexpr std::size_t kRichTekVersionLow = 4096;
constexpr std::size_t kRichTekVersionHigh = 4097;
constexpr std::size_t kCyacdHeaderChars = 12;
constexpr std::size_t kCyacdVersionChars = 16;
constexpr const char* kStartingText = "\x14NULL";
constexpr const char* kNoVersion = "NULL";

// A name part found anywhere but at the very start.
bool containsAfterStart(const std::string& path, std::string_view part) {
    const std::size_t pos = path.find(part);
    return pos != std::string::npos && pos != 0;
}

// File offset of the 16 version characters by the .cyacd header line.
std::optional<std::size_t> cyacdVersionOffset(std::string_view header) {
    if (header == "140411A40000") return 567;
    if (header == "1D0311AD0000" || header == "1D0411AD0000") return 488;
    if (header == "1F0111AF0000") return 473;
    return std::nullopt;
}

// Reads a whole image file no larger than the tables can use; logs why not.
std::optional<std::vector<std::uint8_t>> readImageFile(const char* kFn, int iLine,
                                                       const std::string& strPath) {
    platform::FileSystem& files = platform::get().files;
    const auto size = files.fileSize(strPath);
    if (!size) {
        LogError("%s:%d: %s: cannot be read (not a file), dwErrorCode %d", kFn, iLine, strPath.c_str(),
                 platform::lastErrorCode());
        return std::nullopt;
    }
    if (*size > kMaxImageFileSize) {
        LogError("%s:%d: %s: file of %llu bytes is larger than any image", kFn, iLine, strPath.c_str(),
                 static_cast<unsigned long long>(*size));
        return std::nullopt;
    }
    auto bytes = files.readFile(strPath);
    if (!bytes)
        LogError("%s:%d: %s: cannot be read, dwErrorCode %d", kFn, iLine, strPath.c_str(),
                 platform::lastErrorCode());
    return bytes;
}

std::string_view asText(const std::vector<std::uint8_t>& bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

struct FirstRowRule {
    std::uint8_t ucKind, ucMode;
    std::uint16_t wFirstRow;
};
constexpr FirstRowRule kFirstRows[] = {
    {PD_VENDOR_CCG3, 1, 0x200},
    {PD_VENDOR_CCG3, 2, 0x30},
    {PD_VENDOR_CCG4, 1, 0x109},
    {PD_VENDOR_CCG4, 2, 0x14},
};

}  // namespace

std::string CPowerDelivery::strGetPDFWVersionFromFile(const std::string& strPath) {
    constexpr auto kFn = "CPowerDelivery::strGetPDFWVersionFromFile";
    std::uint8_t ucThisPathKind = 0;
    if (bUpdatePD) {
        if (containsAfterStart(strPath, ".cyacd"))
            ucThisPathKind = PD_IMAGE_CYACD;
        else if (containsAfterStart(strPath, ".bin"))
            ucThisPathKind = PD_IMAGE_BIN;
        if (ucThisPathKind != 0) ucPDImageKind = ucThisPathKind;
    }
    if (bUpdateMCU && containsAfterStart(strPath, ".hex")) ucMCUImageKind = MCU_IMAGE_HEX;

    std::string strVersion = kStartingText;
    // Only a PD image carries a version; an MCU file is classified and left alone.
    if (ucThisPathKind == 0) return strVersion;

    const auto size = platform::get().files.fileSize(strPath);
    if (!size) {
        LogError("%s:%d: %s: cannot be read (not a file), dwErrorCode %d", kFn, __LINE__, strPath.c_str(),
                 platform::lastErrorCode());
        return strVersion;
    }
    if (ucPDImageKind == PD_IMAGE_BIN && *size != kRichTekImageSize) {
        LogError("%s:%d: The PD FW file size is uncompatibie!!! [%x]", kFn, __LINE__,
                 static_cast<unsigned>(*size));
        devcore::theUtility().vMessageBox("The PD FW file size is uncompatibie!!!", 0, CUSBUtility::kError);
        return kNoVersion;
    }
    const auto bytes = readImageFile(kFn, __LINE__, strPath);
    if (!bytes) return strVersion;

    if (ucPDImageKind == PD_IMAGE_BIN) {
        char text[8];
        std::snprintf(text, sizeof text, "%02x%02x", (*bytes)[kRichTekVersionHigh],
                      (*bytes)[kRichTekVersionLow]);
        strVersion = text;
    } else if (ucPDImageKind == PD_IMAGE_CYACD && bytes->size() >= kCyacdHeaderChars) {
        const std::string_view text = asText(*bytes);
        const auto offset = cyacdVersionOffset(text.substr(0, kCyacdHeaderChars));
        if (offset && *offset + kCyacdVersionChars <= text.size())
            strVersion = std::string(text.substr(*offset, kCyacdVersionChars));
    }
    return strVersion;
}

int CPowerDelivery::nCreatePDSPIROMBuffer(const std::string& strPath) {
    constexpr auto kFn = "CPowerDelivery::nCreatePDSPIROMBuffer";
    platform::FileSystem& files = platform::get().files;
    if (!devcore::theUtility().vCheckFilePathExists(strPath) || files.isDirectory(strPath)) {
        LogError("%s:%d: The PD FW file is not exist[%s]", kFn, __LINE__, strPath.c_str());
        return -10;
    }
    const bool bPDParser = strPath == strPDFwPath && bUpdatePD && ucPDImageKind != 0;
    const bool bMCUParser =
        !bPDParser && strPath == strMCUFwPath && bUpdateMCU && ucMCUImageKind == MCU_IMAGE_HEX;
    if (!bPDParser && !bMCUParser) {
        LogError("%s:%d: The PD FW file is Unknow", kFn, __LINE__);
        devcore::theUtility().vMessageBox("The PD FW file is Unknow", 0, CUSBUtility::kError);
        return -10;
    }
    const auto bytes = readImageFile(kFn, __LINE__, strPath);
    if (!bytes) return -10;

    ParseFault fault;
    int iResult = 0;
    if (bPDParser && ucPDImageKind == PD_IMAGE_BIN) {
        // A RichTek image is programmed word by word over the whole MTP: it must be exactly that size.
        if (bytes->size() != kRichTekImageSize) {
            fault.what =
                "a RichTek image must hold 16384 bytes, this one holds " + std::to_string(bytes->size());
            iResult = -10;
        } else {
            ucRichTekImage = *bytes;
        }
    } else if (bPDParser) {
        iResult = parseCyacd(asText(*bytes), rowSizeOfKind(), m_cypress, fault);
    } else {
        iResult = parseIntelHex(asText(*bytes), m_STMMCUFW, fault);
    }
    if (iResult != 0)
        LogError("%s:%d: %s: line %zu: %s", kFn, __LINE__, strPath.c_str(), fault.line, fault.what.c_str());
    return iResult;
}

std::size_t CPowerDelivery::rowSizeOfKind() const {
    return m_nPDChipVendor == PD_VENDOR_CCG4 ? kCypressCcg4RowSize : kCypressRowSize;
}

int CPowerDelivery::nPDFWVerify() {
    constexpr auto kFn = "CPowerDelivery::nPDFWVerify";
    const bool bRichTek = m_nPDChipVendor == PD_VENDOR_RICHTEK;
    const bool bCypress = m_nPDChipVendor == PD_VENDOR_CYPRESS || m_nPDChipVendor == PD_VENDOR_CCG3 ||
                          m_nPDChipVendor == PD_VENDOR_CCG4;
    if ((bRichTek && ucPDImageKind != PD_IMAGE_BIN) || (bCypress && ucPDImageKind != PD_IMAGE_CYACD)) {
        LogError(
            "%s:%d: PD File is not suitable PD Chip!!!Please try to Set correct PD Chip or load correct PD "
            "File",
            kFn, __LINE__);
        return -3;
    }
    if (!bCypress) return 0;

    // A CCG3 or CCG4 needs the first row its running mode expects; in neither image mode no image suits it.
    const std::uint16_t wFirstRow = m_cypress.record(1).wRowNum;
    const bool bHasModes = m_nPDChipVendor == PD_VENDOR_CCG3 || m_nPDChipVendor == PD_VENDOR_CCG4;
    const auto rule = std::find_if(std::begin(kFirstRows), std::end(kFirstRows), [&](const FirstRowRule& r) {
        return r.ucKind == m_nPDChipVendor && r.ucMode == ucCCGDeviceMode;
    });
    if (bHasModes && (rule == std::end(kFirstRows) || rule->wFirstRow != wFirstRow)) {
        LogError("%s:%d: CCG Device Mode[%d] ,ucRowNum[0x%02x]", kFn, __LINE__, ucCCGDeviceMode, wFirstRow);
        LogError(
            "%s:%d: PD File is not suitable PD Chip IMAGE!!!\nPlease try to Set correct PD Chip or load "
            "correct PD "
            "File",
            kFn, __LINE__);
        return -3;
    }
    // The row commands of a CCG2 name the row in one byte.
    if (m_nPDChipVendor == PD_VENDOR_CYPRESS) {
        for (const CypressRow& row : m_cypress.rows) {
            if (!row.isData() || row.wRowNum <= kMaxKind2Row) continue;
            LogError("%s:%d: %s: row [0x%x] lies beyond the rows a CCG2 can address (0xff)", kFn, __LINE__,
                     strPDFwPath.c_str(), row.wRowNum);
            return -10;
        }
    }
    return 0;
}
