// Whether a parsed PD image suits the detected controller, and whether it could pass the checks after
// programming at all: an image that could not is refused before the controller is touched.
#include <algorithm>
#include <cctype>
#include <string_view>

#include "common/log/debug_log.h"
#include "pdupdate/power_delivery.h"

using namespace quib;
using namespace quib::pdupdate;

namespace {

constexpr auto kFn = "CPowerDelivery::nPDFWVerify";

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

// The highest row a Cypress kind takes: a CCG2's row commands name the row in one byte; a CCG3 and a CCG4
// hold 0x400 rows.
std::uint16_t lastRowOf(std::uint8_t ucKind) {
    return ucKind == PD_VENDOR_CYPRESS ? 0xFF : 0x3FF;
}

const char* nameOf(std::uint8_t ucKind) {
    return ucKind == PD_VENDOR_CYPRESS ? "CCG2" : ucKind == PD_VENDOR_CCG3 ? "CCG3" : "CCG4";
}

// The version text the controller reports: 4 hex digits (RichTek) or 16 (Cypress).
bool comparableVersion(std::string_view text, std::size_t digits) {
    return text.size() == digits &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isxdigit(c) != 0; });
}

}  // namespace

int CPowerDelivery::nPDFWVerify() {
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
    if (!bRichTek && !bCypress) return 0;

    if (bCypress) {
        // A CCG3 or CCG4 needs the first row its running mode expects; in neither image mode no image suits
        // it.
        const std::uint16_t wFirstRow = m_cypress.record(1).wRowNum;
        const bool bHasModes = m_nPDChipVendor == PD_VENDOR_CCG3 || m_nPDChipVendor == PD_VENDOR_CCG4;
        const auto rule =
            std::find_if(std::begin(kFirstRows), std::end(kFirstRows), [&](const FirstRowRule& r) {
                return r.ucKind == m_nPDChipVendor && r.ucMode == ucCCGDeviceMode;
            });
        if (bHasModes && (rule == std::end(kFirstRows) || rule->wFirstRow != wFirstRow)) {
            LogError("%s:%d: CCG Device Mode[%d] ,ucRowNum[0x%02x]", kFn, __LINE__, ucCCGDeviceMode,
                     wFirstRow);
            LogError(
                "%s:%d: PD File is not suitable PD Chip IMAGE!!!\nPlease try to Set correct PD Chip or load "
                "correct PD "
                "File",
                kFn, __LINE__);
            return -3;
        }

        bool bDataRow = false;
        for (const CypressRow& row : m_cypress.rows) {
            if (!row.isData()) continue;
            bDataRow = true;
            if (row.wRowNum <= lastRowOf(m_nPDChipVendor)) continue;
            LogError("%s:%d: %s: row [0x%x] lies beyond the last row a %s takes (0x%x)", kFn, __LINE__,
                     strPDFwPath.c_str(), row.wRowNum, nameOf(m_nPDChipVendor), lastRowOf(m_nPDChipVendor));
            return -10;
        }
        // Nothing would be written, and the user would still be asked to power-cycle.
        if (!bDataRow) {
            LogError("%s:%d: %s: no data row (array id 0x00 or 0x40) for the %s", kFn, __LINE__,
                     strPDFwPath.c_str(), nameOf(m_nPDChipVendor));
            return -10;
        }
    }
    // The version the controller runs after the power cycle is compared with the file's.
    const std::size_t digits = bRichTek ? 4 : 16;
    if (!comparableVersion(strPDFileVersion, digits)) {
        LogError(
            "%s:%d: %s: the file carries no version the controller could report (%zu hex digits where its "
            "header puts them): the version compare could never pass",
            kFn, __LINE__, strPDFwPath.c_str(), digits);
        return -10;
    }
    return 0;
}
