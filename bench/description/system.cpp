// The system's own disks and the volumes: "system_disks", "system_volume_letter", "volumes".
#include <map>
#include <set>

#include "bench/bench_error.h"
#include "bench/description/parser.h"

namespace bench::description_reader {

void Parser::parseSystemDisks(const JsonReader& top) {
    std::vector<JsonReader> listed;
    std::size_t count = 1;
    if (top.has("system_disks")) {
        const JsonReader disks = top.child("system_disks");
        if (disks.value().is_array()) {
            count = disks.size();
            for (std::size_t i = 0; i < count; ++i) listed.push_back(disks.element(i));
        } else {
            count = static_cast<std::size_t>(top.integer("system_disks", 1, 0, 64));
        }
    }
    for (std::size_t i = 0; i < count; ++i) {
        SystemDiskDescription d;
        d.product = "BENCH SYSTEM SSD";
        d.revision = "1.0";
        d.serial = formatted("SYSDISK%04u", static_cast<unsigned>(i));
        d.sectors = 976773168;
        if (i < listed.size()) {
            const JsonReader& r = listed[i];
            r.requireObject({"vendor", "product", "revision", "serial", "sectors"});
            d.vendor = r.text("vendor", d.vendor);
            d.product = r.text("product", d.product);
            d.revision = r.text("revision", d.revision);
            d.serial = r.text("serial", d.serial);
            d.sectors = r.number("sectors", d.sectors, 1ull << 48);
        }
        m_out.systemDisks.push_back(d);
    }
    const std::string letter = top.text("system_volume_letter", "C");
    if (!letter.empty() && !m_out.systemDisks.empty()) {
        VolumeDescription v;
        const nlohmann::json given = letter;
        v.letter =
            parseLetter(top.has("system_volume_letter") ? top.child("system_volume_letter")
                                                        : JsonReader(given, "", "system_volume_letter"));
        v.systemDisk = 0;
        m_out.volumes.push_back(v);
    }
}

void Parser::parseVolumes(const JsonReader& top) {
    for (const auto& b : m_out.bridges) {
        if (!b.volumeLetter) continue;
        VolumeDescription v;
        v.letter = *b.volumeLetter;
        v.type = b.cdrom ? VolumeType::Cdrom : VolumeType::Fixed;
        v.bridge = m_out.bridgeIndex(b.id);
        m_out.volumes.push_back(v);
    }
    if (top.has("volumes")) {
        const JsonReader volumes = top.child("volumes");
        volumes.requireArray();
        for (std::size_t i = 0; i < volumes.size(); ++i) {
            const JsonReader r = volumes.element(i);
            r.requireObject({"letter", "system_disk", "bridge", "type", "held"});
            VolumeDescription v;
            v.letter = parseLetter(r.child("letter"));
            const std::string type = r.text("type", "fixed");
            static const std::map<std::string, VolumeType> kTypes = {{"fixed", VolumeType::Fixed},
                                                                     {"removable", VolumeType::Removable},
                                                                     {"remote", VolumeType::Remote},
                                                                     {"cdrom", VolumeType::Cdrom},
                                                                     {"ramdisk", VolumeType::RamDisk}};
            const auto t = kTypes.find(type);
            if (t == kTypes.end())
                r.child("type").fail("expected fixed, removable, remote, cdrom or ramdisk");
            v.type = t->second;
            if (r.has("system_disk")) {
                v.systemDisk = static_cast<int>(r.integer("system_disk", 0, 0, 255));
                if (static_cast<std::size_t>(*v.systemDisk) >= m_out.systemDisks.size())
                    r.child("system_disk").fail("there is no such system disk");
            }
            if (r.has("bridge")) {
                const int b = m_out.bridgeIndex(r.text("bridge", ""));
                if (b < 0) r.child("bridge").fail("there is no bridge \"" + r.text("bridge", "") + "\"");
                v.bridge = b;
            }
            v.held = r.flag("held", false);
            if (v.systemDisk && v.bridge) r.fail("a volume lies on a system disk or on a bridge, not both");
            m_out.volumes.push_back(v);
        }
    }
    std::set<char> letters;
    for (const auto& v : m_out.volumes)
        if (!letters.insert(v.letter).second)
            throw BenchError(m_source + ": drive letter " + std::string(1, v.letter) + " is given twice");
}

}  // namespace bench::description_reader
