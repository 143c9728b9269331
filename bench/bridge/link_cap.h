// The USB link a bridge trains at: what it is built for, or less after a restart with a maximum speed (CPU
// reset modes 7..3 cap it at speed codes 1..5: high, super, super x2, plus, plus x2). Any other restart
// lifts the cap.
#pragma once

#include <optional>

#include "bench/description.h"

namespace bench {

struct UsbLink {
    LinkSpeed speed = LinkSpeed::Super;
    int lanes = 1;
};

// The cap a restart mode sets; none for a plain restart.
std::optional<int> linkCapOfRestartMode(int mode);

// The link of a bridge built for `description`'s link under `cap`.
UsbLink trainedLink(const BridgeDescription& description, std::optional<int> cap);

}  // namespace bench
