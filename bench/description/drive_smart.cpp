// A SATA drive's SMART data (a drive's "smart"): its attributes with their thresholds, its self-test log
// and its summary error log.
#include <map>
#include <set>

#include "bench/description/parser.h"

namespace bench::description_reader {
namespace {

constexpr std::size_t kMaxAttributes = 30;  // entries of the READ DATA page
constexpr std::size_t kMaxSelfTests = 21;   // descriptors of the self-test log
constexpr std::size_t kMaxErrors = 5;       // entries of the summary error log
constexpr std::uint64_t kRawLimit = (1ull << 48) - 1;

std::uint8_t selfTestType(const JsonReader& r) {
    static const std::map<std::string, std::uint8_t> kNames = {
        {"offline", 0}, {"short", 1}, {"extended", 2}, {"conveyance", 3}, {"selective", 4}};
    if (!r.has("type")) return 1;
    const JsonReader t = r.child("type");
    if (t.value().is_string() && t.value().get<std::string>().rfind("0x", 0) != 0) {
        const auto it = kNames.find(t.value().get<std::string>());
        if (it == kNames.end()) t.fail("expected offline, short, extended, conveyance, selective or a number");
        return it->second;
    }
    return static_cast<std::uint8_t>(t.asNumber(0xFF));
}

std::uint8_t selfTestStatus(const JsonReader& r) {
    static const std::map<std::string, std::uint8_t> kNames = {
        {"completed", 0},       {"aborted_by_host", 1},    {"interrupted", 2},  {"fatal", 3},
        {"unknown_failure", 4}, {"electrical_failure", 5}, {"servo_failure", 6}, {"read_failure", 7},
        {"handling_damage", 8}, {"in_progress", 15}};
    if (!r.has("status")) return 0;
    const JsonReader s = r.child("status");
    if (s.value().is_string() && s.value().get<std::string>().rfind("0x", 0) != 0) {
        const auto it = kNames.find(s.value().get<std::string>());
        if (it == kNames.end())
            s.fail(
                "expected completed, aborted_by_host, interrupted, fatal, unknown_failure, electrical_failure, "
                "servo_failure, read_failure, handling_damage, in_progress or a number 0..15");
        return it->second;
    }
    return static_cast<std::uint8_t>(s.asNumber(15));
}

}  // namespace

SmartDescription Parser::defaultSmart() {
    SmartDescription s;
    // id, flags, value, worst, threshold, raw: a healthy drive a few thousand hours old.
    s.attributes = {{1, 0x002F, 200, 200, 51, 0},
                    {5, 0x0033, 200, 200, 140, 0},
                    {9, 0x0032, 95, 95, 0, 4012},
                    {12, 0x0032, 100, 100, 0, 412},
                    {194, 0x0022, 113, 98, 0, 0x0034'0014'0025},  // 37 °C now, 20 lowest, 52 highest
                    {197, 0x0032, 200, 200, 0, 0},
                    {199, 0x0032, 200, 200, 0, 0}};
    return s;
}

SmartDescription Parser::parseSmart(const JsonReader& r) {
    r.requireObject({"attributes", "self_tests", "errors", "error_count"});
    SmartDescription s = defaultSmart();
    if (r.has("attributes")) {
        const JsonReader list = r.child("attributes");
        list.requireArray();
        if (list.size() > kMaxAttributes) list.fail("the SMART data hold at most 30 attributes");
        s.attributes.clear();
        std::set<std::uint8_t> seen;
        for (std::size_t i = 0; i < list.size(); ++i) {
            const JsonReader a = list.element(i);
            a.requireObject({"id", "flags", "value", "worst", "threshold", "raw"});
            if (!a.has("id")) a.fail("an attribute names its \"id\"");
            SmartAttribute at;
            at.id = static_cast<std::uint8_t>(a.number("id", 0, 0xFF));
            if (at.id == 0) a.child("id").fail("attribute id 0 marks an unused entry");
            if (!seen.insert(at.id).second) a.child("id").fail("attribute " + std::to_string(at.id) + " twice");
            at.flags = static_cast<std::uint16_t>(a.number("flags", 0x0032, 0xFFFF));
            // Normalized values run 1..253; the worst is the lowest value ever seen.
            at.value = static_cast<std::uint8_t>(a.integer("value", 100, 1, 253));
            at.worst = static_cast<std::uint8_t>(a.integer("worst", at.value, 1, 253));
            if (at.worst > at.value) a.child("worst").fail("the worst value is the lowest seen: at most \"value\"");
            at.threshold = static_cast<std::uint8_t>(a.number("threshold", 0, 0xFF));
            at.raw = a.number("raw", 0, kRawLimit);
            s.attributes.push_back(at);
        }
    }
    if (r.has("self_tests")) {
        const JsonReader list = r.child("self_tests");
        list.requireArray();
        if (list.size() > kMaxSelfTests) list.fail("the self-test log holds at most 21 entries");
        for (std::size_t i = 0; i < list.size(); ++i) {
            const JsonReader t = list.element(i);
            t.requireObject({"type", "status", "remaining", "hours", "lba"});
            SelfTestEntry e;
            e.type = selfTestType(t);
            e.status = selfTestStatus(t);
            const auto remaining = t.integer("remaining", 0, 0, 90);
            if (remaining % 10) t.child("remaining").fail("the drive reports the rest in steps of 10 percent");
            e.remaining = static_cast<std::uint8_t>(remaining);
            e.hours = static_cast<std::uint16_t>(t.integer("hours", 0, 0, 0xFFFF));
            if (t.has("lba")) e.failingLba = static_cast<std::uint32_t>(t.number("lba", 0, 0xFFFFFFFF));
            s.selfTests.push_back(e);
        }
    }
    if (r.has("errors")) {
        const JsonReader list = r.child("errors");
        list.requireArray();
        if (list.size() > kMaxErrors) list.fail("the summary error log keeps the last 5 errors");
        for (std::size_t i = 0; i < list.size(); ++i) {
            const JsonReader e = list.element(i);
            e.requireObject({"hours", "command", "features", "count", "lba", "error", "status", "state"});
            ErrorLogEntry x;
            x.hours = static_cast<std::uint16_t>(e.integer("hours", 0, 0, 0xFFFF));
            x.command = static_cast<std::uint8_t>(e.number("command", 0xC8, 0xFF));  // READ DMA
            x.features = static_cast<std::uint8_t>(e.number("features", 0, 0xFF));
            x.count = static_cast<std::uint8_t>(e.number("count", 1, 0xFF));
            x.lba = static_cast<std::uint32_t>(e.number("lba", 0, 0x0FFFFFFF));  // the log keeps 28 bits
            x.error = static_cast<std::uint8_t>(e.number("error", 0x40, 0xFF));
            x.status = static_cast<std::uint8_t>(e.number("status", 0x51, 0xFF));
            if (!(x.status & 0x01)) e.child("status").fail("a logged error ends with the ERR bit (0x01) set");
            x.state = static_cast<std::uint8_t>(e.integer("state", 3, 0, 0xF));
            s.errors.push_back(x);
        }
    }
    s.errorCount = static_cast<std::uint16_t>(r.integer("error_count", static_cast<std::int64_t>(s.errors.size()),
                                                        0, 0xFFFF));
    if (s.errorCount < s.errors.size()) r.child("error_count").fail("fewer errors counted than logged");
    return s;
}

}  // namespace bench::description_reader
