#include "frontend/bridge_summary.h"

#include <cwctype>

#include "frontend/fwupg_dlg.h"
#include "frontend/program_texts.h"
#include "frontend/run_rules.h"
#include "frontend/serial_record.h"
#include "frontend/text_helpers.h"

namespace quib::frontend {
namespace {

constexpr std::size_t kVersionLength = 12;
constexpr std::size_t kConfigVersionAt = 6;  // after "Config"

std::wstring orNone(std::wstring text) {
    return text.empty() ? L"none" : text;
}

struct Outcome {
    std::wstring after;  // the firmware the bridge runs now
    std::wstring words;
};

Outcome outcomeOf(int result, const SummaryFacts& facts) {
    if (result == QUIB_CHECK_FAILED) return {L"unchanged", L"not updated: not for this image"};
    if (result < 0) return {L"not known", L"failed: " + updateFailureText(result)};
    const auto version = imageNameVersion(facts.imageName);
    if (result != 0 || !version) return {L"not known", L"updated"};
    if (!facts.relinkAfterUpdate) return {*version + L" (runs after a restart)", L"updated"};
    return {*version, L"updated"};
}

// The bridge "/P:" chose: the first that carries the drive number.
int chosenIndex(const SummaryFacts& facts, int count) {
    for (int i = 0; i < count; ++i)
        if (facts.list.Devs[i].m_ucPhysicalAddress == facts.chosenDrive) return i;
    return -1;
}

}  // namespace

std::optional<int> BridgeResults::of(int index) const {
    const auto found = m_results.find(index);
    if (found == m_results.end()) return std::nullopt;
    return found->second;
}

std::optional<std::wstring> imageNameVersion(std::wstring_view imageName) {
    // A packed image carries its version after "-VS-".
    const std::size_t packed = imageName.rfind(L"-VS-");
    std::wstring cleaned(packed == std::wstring_view::npos ? imageName : imageName.substr(packed + 4));
    removeAll(cleaned, L"TV_PCIE_");
    removeAll(cleaned, L"_");
    const std::size_t from =
        packed == std::wstring_view::npos && imageName.find(L"Config_") != std::wstring_view::npos
            ? kConfigVersionAt
            : 0;
    if (cleaned.size() < from + kVersionLength) return std::nullopt;
    std::wstring version = cleaned.substr(from, kVersionLength);
    for (wchar_t c : version)
        if (!std::iswxdigit(static_cast<wint_t>(c))) return std::nullopt;
    return version;
}

std::vector<std::wstring> bridgeSummaryLines(const SummaryFacts& facts) {
    std::vector<std::wstring> lines;
    if (facts.serialNumber.size() > kSerialNumberField)
        lines.push_back(L"Serial number cut to " + std::to_wstring(kSerialNumberField) + L" characters: " +
                        facts.serialNumber.substr(0, kSerialNumberField));
    const int count = deviceCount(facts.list);
    const int chosen = facts.chosenDrive == CKRV610xFWUpgDlg::kAllDevices ? -1 : chosenIndex(facts, count);
    for (int i = 0; i < count; ++i) {
        const USBDevInfoExp& dev = facts.list.Devs[i];
        Outcome outcome{L"unchanged", L"not updated: the update stopped before the bridges"};
        if (const auto result = facts.results.of(i))
            outcome = outcomeOf(*result, facts);
        else if (facts.chosenDrive != CKRV610xFWUpgDlg::kAllDevices && i != chosen)
            outcome.words = L"not selected";
        lines.push_back(L"PhysicalDrive " + std::to_wstring(dev.m_ucPhysicalAddress) + L": serial " +
                        orNone(fieldText(dev.cSerialNumber)) + L", firmware " +
                        orNone(fieldText(dev.cFwVersion)) + L" -> " + outcome.after + L", " + outcome.words);
    }
    return lines;
}

std::vector<std::wstring> bridgeSummaryLines(const CKRV610xFWUpgDlg& dlg) {
    return bridgeSummaryLines({*dlg.m_pDevList, dlg.m_BridgeResults, dlg.m_ucPhysicalDrive,
                               dlg.m_strFWBinFile, dlg.pExchangeData->ucEnableReLinkAfterFWUpgrade != 0,
                               dlg.m_bUpdateSerialNumber ? dlg.m_strInputSerialNumber : std::wstring()});
}

}  // namespace quib::frontend
