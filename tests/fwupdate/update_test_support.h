// What the update tests share: a scanned bench, image files in the library's working folder, exchange
// records, and the trace read as a list of short command names.
#pragma once

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench/bridge/firmware_image.h"
#include "bench/bridge/image_files.h"
#include "common/log/debug_log.h"
#include "common/records/exchange_records.h"
#include "include/quibusb.h"
#include "tests/devcore/bench_fixture.h"

namespace devcore_test {

using Bytes = std::vector<std::uint8_t>;

// The stream the bench builds for a version: what a correct update leaves in a bank.
inline Bytes streamOf(const std::string& version, std::size_t size = 60902, bool longHeader = false) {
    return bench::makeStreamOfVersion(version, size, longHeader);
}

class UpdateTest : public ScanTest {
  protected:
    // One controller with the given bridges on ports 1, 2, ...; scanned for the bridge type.
    void scanBridges(std::vector<json> bridges, int bridgeType = 0, json extra = json::object()) {
        json description = benchOfBridges(bridges);
        for (auto& [key, value] : extra.items()) description[key] = value;
        ASSERT_EQ(scan(description, "0", bridgeType), 0);
        m_mark = bridgeTrace().size();
    }
    static json bridge(const std::string& id, json extra = json::object()) {
        json b = {{"id", id}, {"serial", "SN-" + id}, {"uas", false}};
        for (auto& [key, value] : extra.items()) b[key] = value;
        return b;
    }

    std::string pathInWorkFolder(const std::string& name) const { return inWorkFolder(name); }
    std::string writeFile(const std::string& name, const Bytes& bytes) const {
        const std::string path = pathInWorkFolder(name);
        std::ofstream(path, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    std::string writeImage(const std::string& name, const std::string& version,
                           std::size_t size = 60902) const {
        return writeFile(name, bench::makeImage(version, size));
    }

    // An exchange record with the image path and the switches of the shipped settings (relink after).
    std::unique_ptr<ExchangeData> exchangeFor(const std::string& path, bool relinkAfter = true,
                                              bool dualImage = false) const {
        auto e = std::make_unique<ExchangeData>();
        std::memset(e.get(), 0, sizeof(ExchangeData));
        quib::records::storeText(e->cFwPath, path);
        e->ucEnableReLinkAfterFWUpgrade = relinkAfter ? 1 : 0;
        e->ucEnableDualImage = dualImage ? 1 : 0;
        return e;
    }

    // Commands since the scan (or since `from`), named shortly: "E4 07F0/7", "E5 CA02=01", "E0 0",
    // "E3 1 60910 direct", "INQUIRY", "E8 0", ... A failed command ends with " !".
    std::vector<std::string> commands(std::size_t from = SIZE_MAX) {
        std::vector<std::string> out;
        const auto trace = bridgeTrace();
        for (std::size_t i = from == SIZE_MAX ? m_mark : from; i < trace.size(); ++i)
            out.push_back(name(trace[i]));
        return out;
    }
    static std::string name(const bench::TraceRecord& r) {
        char buf[96];
        const auto& c = r.cdb;
        const unsigned reg = c.size() > 4 ? static_cast<unsigned>((c[3] << 8) | c[4]) : 0;
        const unsigned len32 =
            c.size() > 5 ? static_cast<unsigned>((c[2] << 24) | (c[3] << 16) | (c[4] << 8) | c[5]) : 0;
        switch (c[0]) {
            case 0x12:
                std::snprintf(buf, sizeof buf, "INQUIRY");
                break;
            case 0xE4:
                std::snprintf(buf, sizeof buf, "E4 %04X/%u", reg, c[1] == 0 ? 256u : c[1]);
                break;
            case 0xE5:
                std::snprintf(buf, sizeof buf, "E5 %04X=%02X", reg, c[1]);
                break;
            case 0xE0:
            case 0xE1:
            case 0xE8:
                std::snprintf(buf, sizeof buf, "%02X %u", c[0], c[1]);
                break;
            case 0xE2:
            case 0xE3:
                std::snprintf(buf, sizeof buf, "%02X %u %u%s", c[0], c[1], len32, r.direct ? " direct" : "");
                break;
            default:
                std::snprintf(buf, sizeof buf, "%02X", c[0]);
        }
        std::string s = buf;
        if (!r.controlOk || r.scsiStatus != 0) s += " !";
        return s;
    }
    static bool has(const std::vector<std::string>& list, const std::string& what) {
        return std::find(list.begin(), list.end(), what) != list.end();
    }
    Bytes bank(const std::string& id, int n) {
        Bytes out;
        benchRef().withChip(id, [&](bench::BridgeChip& chip) { out = chip.firmwareBank(n); });
        return out;
    }
    Bytes configBank(const std::string& id, int n) {
        Bytes out;
        benchRef().withChip(id, [&](bench::BridgeChip& chip) {
            const auto b = chip.configBank(n);
            out.assign(b.begin(), b.end());
        });
        return out;
    }
    quib::devcore::USBDevEntry& entry(int i) {
        return quib::devcore::libraryObjects().devList()->Devs[static_cast<std::size_t>(i)];
    }
    bool tempFolderGone() const { return !std::filesystem::exists(inWorkFolder("KRVFW_Temp")); }

    std::size_t m_mark = 0;
};

}  // namespace devcore_test
