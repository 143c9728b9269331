// The reader of bench.json, private to bench/description/. One class whose members are defined in one
// file per section of the description: top_level.cpp (the order of the sections and the small top-level
// settings), system.cpp (system disks, volumes), usb_tree.cpp (controllers, hubs, ports, other USB
// devices), bridge.cpp, drive.cpp, drive_smart.cpp, pd.cpp, registry.cpp and faults.cpp; values.cpp has the value readers
// they share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "bench/description.h"
#include "bench/json_reader.h"

namespace bench::description_reader {

inline constexpr std::size_t kMaxPorts = 255;

// snprintf of one or two unsigned numbers: default names and serials.
std::string formatted(const char* format, unsigned a, unsigned b = 0);
// "full", "high", "super" or "plus"; the fallback when the key is absent.
LinkSpeed parseLink(const JsonReader& r, const std::string& key, LinkSpeed fallback);
// One byte (a number or "0x.." text), a hex byte string or an array of byte numbers.
std::vector<std::uint8_t> parseByteList(const JsonReader& r);
// A drive letter, upper-cased.
char parseLetter(const JsonReader& r);
// Ids name chip folders ("chips/<id>"): 1..64 letters, digits, '_' or '-'.
bool isSafeId(const std::string& id);

class Parser {
  public:
    Parser(BenchDescription& out, std::string source) : m_out(out), m_source(std::move(source)) {}

    void parseTop(const nlohmann::json& json);

  private:
    // system.cpp
    void parseSystemDisks(const JsonReader& top);
    void parseVolumes(const JsonReader& top);
    // usb_tree.cpp
    void parseController(const JsonReader& r);
    int parseHub(const JsonReader& r, int controller, int parent, std::uint32_t parentPort, int depth);
    int parseHubBody(const JsonReader& r, int controller, int parent, std::uint32_t parentPort, int depth);
    int parseDevice(const JsonReader& r, int hub, std::uint32_t port);
    // bridge.cpp
    int parseBridge(const JsonReader& r, int hub, std::uint32_t port);
    void checkBridgeNumbers();
    // drive.cpp: the family's default drive, then the bridge's "drive" object when given.
    static DriveDescription parseDrive(const JsonReader& bridge, bool pcie, int index);
    // drive_smart.cpp: a SATA drive's SMART attributes and logs.
    static SmartDescription defaultSmart();
    static SmartDescription parseSmart(const JsonReader& r);
    // pd.cpp
    static PdDescription parsePd(const JsonReader& r);
    // registry.cpp
    void parseRegistry(const JsonReader& r);
    void parseRegistryReadOnly(const JsonReader& readOnly);
    // faults.cpp
    void parseFault(const JsonReader& r);

    BenchDescription& m_out;
    std::string m_source;
};

}  // namespace bench::description_reader
