// The drive behind a bridge (a bridge's "drive"): identity, capacity, sector sizes, what the bridge
// reports of it, its power mode; its SMART data are read by drive_smart.cpp.
#include "bench/description/parser.h"

namespace bench::description_reader {
namespace {

std::uint32_t sectorSize(const JsonReader& dr, const std::string& key, std::uint32_t fallback) {
    const auto size = static_cast<std::uint32_t>(dr.integer(key, fallback, 512, 4096));
    if (size != 512 && size != 4096) dr.child(key).fail("expected 512 or 4096");
    return size;
}

}  // namespace

DriveDescription Parser::parseDrive(const JsonReader& bridge, bool pcie, int index) {
    DriveDescription d;
    d.kind = pcie ? "nvme" : "sata";
    d.serial = formatted(pcie ? "S5GXNF0R%06u" : "WD-WXB%08u", static_cast<unsigned>(index + 1));
    d.model = pcie ? "BENCH NVMe SSD 1TB" : "BENCH SATA SSD 1TB";
    d.firmware = "BN01";
    d.sectors = 1953525168;
    d.smart = defaultSmart();
    if (!bridge.has("drive")) return d;
    const JsonReader dr = bridge.child("drive");
    dr.requireObject({"kind", "serial", "model", "firmware", "sectors", "bytes_per_sector",
                      "physical_bytes_per_sector", "reported_bytes_per_sector", "hidden_sectors",
                      "power_mode", "smart", "read_mib_per_s", "write_mib_per_s"});
    d.kind = dr.text("kind", d.kind);
    if (d.kind != "sata" && d.kind != "nvme") dr.child("kind").fail("expected \"sata\" or \"nvme\"");
    d.serial = dr.text("serial", d.serial);
    d.model = dr.text("model", d.model);
    d.firmware = dr.text("firmware", d.firmware);
    if (d.serial.size() > 20) dr.child("serial").fail("an ATA serial holds 20 characters");
    if (d.model.size() > 40) dr.child("model").fail("an ATA model holds 40 characters");
    if (d.firmware.size() > 8) dr.child("firmware").fail("an ATA firmware revision holds 8 characters");
    d.sectors = dr.number("sectors", d.sectors, 1ull << 48);
    if (d.sectors == 0) dr.child("sectors").fail("a drive holds at least one sector");
    d.bytesPerSector = sectorSize(dr, "bytes_per_sector", 512);
    d.physicalBytesPerSector = sectorSize(dr, "physical_bytes_per_sector", d.bytesPerSector);
    if (d.physicalBytesPerSector < d.bytesPerSector)
        dr.child("physical_bytes_per_sector").fail("a physical sector holds at least one logical sector");
    d.reportedBytesPerSector = sectorSize(dr, "reported_bytes_per_sector", d.bytesPerSector);
    if (d.reportedBytesPerSector < d.bytesPerSector)
        dr.child("reported_bytes_per_sector")
            .fail("a bridge reports blocks of at least the drive's logical sector (" +
                  std::to_string(d.bytesPerSector) + " bytes)");
    if (d.blocksHeld() == 0)
        dr.child("sectors").fail("the drive holds less than one block of the size the bridge reports");
    d.hiddenBlocks = dr.number("hidden_sectors", 0, d.blocksHeld() - 1);
    const std::string mode = dr.text("power_mode", "active");
    if (mode == "active")
        d.powerMode = DriveDescription::PowerMode::Active;
    else if (mode == "idle")
        d.powerMode = DriveDescription::PowerMode::Idle;
    else if (mode == "standby")
        d.powerMode = DriveDescription::PowerMode::Standby;
    else
        dr.child("power_mode").fail("expected \"active\", \"idle\" or \"standby\"");
    d.readMiBps = static_cast<double>(dr.number("read_mib_per_s", 0, 100000));
    d.writeMiBps = static_cast<double>(dr.number("write_mib_per_s", 0, 100000));
    if (dr.has("smart")) {
        if (d.kind != "sata") dr.child("smart").fail("only a SATA drive has ATA SMART data");
        d.smart = parseSmart(dr.child("smart"));
    }
    return d;
}

}  // namespace bench::description_reader
