#include "tools/quibdiag/bridges.h"

#include <algorithm>
#include <memory>

#include "tools/quibdiag/bridge_names.h"
#include "tools/quibdiag/bytes.h"
#include "tools/quibdiag/diag_error.h"

namespace quibdiag {
namespace {

constexpr int kSataBridges = 0, kPcieBridges = 1;

// The record's texts are meant to end with a NUL; a full field without one is taken whole.
std::string fieldText(const char (&field)[QUIB_DEVINFO_TEXT]) {
    std::size_t length = 0;
    while (length < QUIB_DEVINFO_TEXT && field[length] != '\0') ++length;
    return printableText(std::string(field, length));
}

std::vector<Bridge> scanFamily(int bridgeType, int firstIndex) {
    auto list = std::make_unique<USBDevListExp>();
    const int result = QuibUSBLib_Function_vScanUSBPort(list.get(), "0", bridgeType);
    if (result == QUIB_DEVICE_NOT_FOUND) return {};
    requireSuccess(result, "the scan for bridges");
    std::vector<Bridge> bridges;
    const int count = std::min(std::max(list->nDevCount, 0), QUIB_MAX_EXPORTED_DEVICES);
    for (int i = 0; i < count; ++i) {
        const USBDevInfoExp& d = list->Devs[i];
        Bridge b;
        b.index = firstIndex + i;
        b.libraryIndex = static_cast<std::uint8_t>(i);
        b.family = bridgeType == kPcieBridges ? "8500" : "7120";
        b.deviceType = d.m_ucDevType;
        b.chipType = chipTypeName(d.m_ucDevType);
        b.vid = fieldText(d.cVid);
        b.pid = fieldText(d.cPid);
        b.manufacturer = fieldText(d.cManufacturer);
        b.product = fieldText(d.cProduct);
        b.serial = fieldText(d.cSerialNumber);
        b.firmware = fieldText(d.cFwVersion);
        b.linkStatus = fieldText(d.cLinkStatus);
        b.diskNumber = d.m_ucPhysicalAddress;
        if (d.m_cDriveLetter >= 'A' && d.m_cDriveLetter <= 'Z')
            b.driveLetter = static_cast<char>(d.m_cDriveLetter);
        bridges.push_back(std::move(b));
    }
    return bridges;
}

}  // namespace

std::vector<Bridge> scanBridges() {
    auto bridges = scanFamily(kSataBridges, 0);
    auto pcie = scanFamily(kPcieBridges, static_cast<int>(bridges.size()));
    bridges.insert(bridges.end(), pcie.begin(), pcie.end());
    return bridges;
}

Bridge selectBridge(int index) {
    const auto sata = scanFamily(kSataBridges, 0);
    if (index < static_cast<int>(sata.size())) return sata[static_cast<std::size_t>(index)];
    const auto pcie = scanFamily(kPcieBridges, static_cast<int>(sata.size()));
    const std::size_t local = static_cast<std::size_t>(index) - sata.size();
    if (local < pcie.size()) return pcie[local];
    const std::size_t found = sata.size() + pcie.size();
    throw DiagError(ExitCode::NoSuchBridge, "no bridge " + std::to_string(index) + ": " +
                                                (found == 0 ? std::string("no bridge found")
                                                            : std::to_string(found) + " found (0.." +
                                                                  std::to_string(found - 1) + ")"));
}

nlohmann::json bridgeJson(const Bridge& b) {
    return {{"index", b.index},
            {"family", b.family},
            {"device_type", b.deviceType},
            {"chip_type", b.chipType},
            {"disk", b.diskNumber},
            {"vid", b.vid},
            {"pid", b.pid},
            {"manufacturer", b.manufacturer},
            {"product", b.product},
            {"serial", b.serial},
            {"firmware", b.firmware},
            {"link", b.linkStatus}};
}

void requireSuccess(int result, const std::string& what) {
    if (result != QUIB_SUCCESS)
        throw DiagError(ExitCode::DeviceFailure,
                        what + " failed: library result " + libraryResultText(result));
}

}  // namespace quibdiag
