// The closing lines of a dialog-mode update: one per bridge of the scan, saying what became of it, and
// whether the serial number given was cut to fit.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "include/quibusb.h"

class CKRV610xFWUpgDlg;

namespace quib::frontend {

// The library's update result for each bridge the run called it for, by index in the scan's list.
class BridgeResults {
  public:
    void record(int index, int result) { m_results[index] = result; }
    std::optional<int> of(int index) const;

  private:
    std::map<int, int> m_results;
};

// The version an image file's name carries: the name without every "TV_PCIE_" and then every underscore,
// its first 12 characters (for a "Config_" file the 12 from index 6; for a packed image the 12 after
// "-VS-"). Nothing unless those are twelve hexadecimal digits.
std::optional<std::wstring> imageNameVersion(std::wstring_view imageName);

struct SummaryFacts {
    const USBDevListExp& list;
    const BridgeResults& results;
    std::uint8_t chosenDrive;   // 255: every bridge
    std::wstring imageName;     // the image programmed
    bool relinkAfterUpdate;     // the library restarted each updated bridge and read its version
    std::wstring serialNumber;  // given with "/N:"; empty without
};

// A version is claimed only where the library proved it: its update returns 0 with relink-after-update
// on only once the restarted bridge runs the new image; without relink the image runs after the next
// restart, and after a failure nobody knows what runs.
std::vector<std::wstring> bridgeSummaryLines(const SummaryFacts& facts);

// The same from the dialog's run state.
std::vector<std::wstring> bridgeSummaryLines(const CKRV610xFWUpgDlg& dlg);

}  // namespace quib::frontend
