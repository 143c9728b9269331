// The PD and MCU image files: their kind from the name, the version a PD file carries, and parsing them
// into the tables.
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "common/log/debug_log.h"
#include "devcore/frame/library_objects.h"
#include "pdupdate/power_delivery.h"
#include "pdupdate/text_lines.h"

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

// Where a .cyacd header line puts the version: a line (the header line is line 0; empty lines, which take
// no record, are not counted) and the place of the 16 characters in it, so that the version is the same
// row's bytes whatever the line ends. With CRLF line ends these are the file offsets 567, 488 and 473.
struct VersionPlace {
    std::size_t line, column;
};
std::optional<VersionPlace> cyacdVersionPlace(std::string_view header) {
    if (header == "140411A40000") return VersionPlace{3, 11};  // the third row's data byte 0
    if (header == "1D0311AD0000" || header == "1D0411AD0000") return VersionPlace{2, 203};  // second row, 96
    if (header == "1F0111AF0000") return VersionPlace{1, 459};                              // first row, 224
    return std::nullopt;
}

// The version characters of a .cyacd text; none when its header names no place or the line is too short.
std::optional<std::string_view> cyacdVersion(std::string_view text) {
    TextLines lines(text);
    std::optional<VersionPlace> place;
    for (std::size_t index = 0; auto next = lines.next();) {
        if (next->text.empty()) continue;
        if (index == 0 && !(place = cyacdVersionPlace(next->text.substr(0, kCyacdHeaderChars))))
            return std::nullopt;
        if (index++ != place->line) continue;
        if (next->text.size() < place->column + kCyacdVersionChars) return std::nullopt;
        return next->text.substr(place->column, kCyacdVersionChars);
    }
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
    } else if (ucPDImageKind == PD_IMAGE_CYACD) {
        if (const auto version = cyacdVersion(asText(*bytes))) strVersion = std::string(*version);
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
