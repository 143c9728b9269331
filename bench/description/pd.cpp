// The PD controller and microcontroller behind a bridge (a bridge's "pd").
#include "bench/description/parser.h"
#include "bench/hex_text.h"

namespace bench::description_reader {

PdDescription Parser::parsePd(const JsonReader& r) {
    r.requireObject({"kind", "device_mode", "version", "marker", "user_power_cycles", "mcu"});
    PdDescription pd;
    pd.kind = static_cast<int>(r.integer("kind", 1, 0, 255));
    const bool cypress = pd.kind == 2 || pd.kind == 4 || pd.kind == 5;
    const bool modes = pd.kind == 4 || pd.kind == 5;
    pd.deviceMode = static_cast<int>(r.integer("device_mode", 1, 1, 2));
    if (!modes && pd.deviceMode != 1) r.child("device_mode").fail("only kinds 4 and 5 have device mode 2");
    const std::size_t digits = pd.kind == 1 ? 4 : cypress ? 16 : 0;
    if (digits == 0) {
        if (r.has("version"))
            r.child("version").fail("kind " + std::to_string(pd.kind) +
                                    " holds no firmware to carry a version");
    } else {
        pd.version = toUpper(r.text("version", pd.kind == 1 ? "0100" : "1100000000000001"));
        if (!pd.version.empty() && (pd.version.size() != digits || !parseHexBytes(pd.version)))
            r.child("version").fail("expected " + std::to_string(digits) + " hex digits for kind " +
                                    std::to_string(pd.kind) + " (or \"\" for a blank flash)");
    }
    pd.marker = r.flag("marker", true);
    pd.userPowerCycles = r.flag("user_power_cycles", true);
    if (r.has("mcu")) {
        const JsonReader mcu = r.child("mcu");
        if (mcu.value().is_boolean()) {
            pd.mcu = mcu.value().get<bool>();
        } else {
            mcu.requireObject({"bootloader"});
            pd.mcu = true;
            pd.mcuBootloader = mcu.flag("bootloader", false);
        }
    }
    return pd;
}

}  // namespace bench::description_reader
