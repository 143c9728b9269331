// The drive behind a bridge (a bridge's "drive").
#include "bench/description/parser.h"

namespace bench::description_reader {

DriveDescription Parser::parseDrive(const JsonReader& bridge, bool pcie, int index) {
    DriveDescription d;
    d.kind = pcie ? "nvme" : "sata";
    d.serial = formatted(pcie ? "S5GXNF0R%06u" : "WD-WXB%08u", static_cast<unsigned>(index + 1));
    d.model = pcie ? "BENCH NVMe SSD 1TB" : "BENCH SATA SSD 1TB";
    d.firmware = "BN01";
    d.sectors = 1953525168;
    if (bridge.has("drive")) {
        const JsonReader dr = bridge.child("drive");
        dr.requireObject({"kind", "serial", "model", "firmware", "sectors", "bytes_per_sector"});
        d.kind = dr.text("kind", d.kind);
        if (d.kind != "sata" && d.kind != "nvme") dr.child("kind").fail("expected \"sata\" or \"nvme\"");
        d.serial = dr.text("serial", d.serial);
        d.model = dr.text("model", d.model);
        d.firmware = dr.text("firmware", d.firmware);
        if (d.serial.size() > 20) dr.child("serial").fail("an ATA serial holds 20 characters");
        if (d.model.size() > 40) dr.child("model").fail("an ATA model holds 40 characters");
        if (d.firmware.size() > 8) dr.child("firmware").fail("an ATA firmware revision holds 8 characters");
        d.sectors = dr.number("sectors", d.sectors, 1ull << 48);
        d.bytesPerSector = static_cast<std::uint32_t>(dr.integer("bytes_per_sector", 512, 512, 4096));
        if (d.bytesPerSector != 512 && d.bytesPerSector != 4096)
            dr.child("bytes_per_sector").fail("expected 512 or 4096");
    }
    return d;
}

}  // namespace bench::description_reader
