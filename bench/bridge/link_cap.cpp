#include "bench/bridge/link_cap.h"

#include <algorithm>

namespace bench {
namespace {

// Speed codes as the chip's link registers give them.
int speedCodeOf(UsbLink link) {
    switch (link.speed) {
        case LinkSpeed::Full:
            return 0;
        case LinkSpeed::High:
            return 1;
        case LinkSpeed::Super:
            return link.lanes == 2 ? 3 : 2;
        default:
            return link.lanes == 2 ? 5 : 4;
    }
}

UsbLink linkOfSpeedCode(int code) {
    static constexpr UsbLink kLinks[] = {{LinkSpeed::Full, 1},  {LinkSpeed::High, 1}, {LinkSpeed::Super, 1},
                                         {LinkSpeed::Super, 2}, {LinkSpeed::Plus, 1}, {LinkSpeed::Plus, 2}};
    return kLinks[std::clamp(code, 0, 5)];
}

}  // namespace

std::optional<int> linkCapOfRestartMode(int mode) {
    if (mode < 3 || mode > 7) return std::nullopt;
    return 8 - mode;
}

UsbLink trainedLink(const BridgeDescription& description, std::optional<int> cap) {
    const UsbLink built{description.link, description.lanes};
    if (!cap) return built;
    const int code = speedCodeOf(built);
    if (code <= *cap) return built;
    UsbLink capped = linkOfSpeedCode(*cap);
    return capped;
}

}  // namespace bench
