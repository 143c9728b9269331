// bench.json: defaults, checks, and refusals that name the file and the fault.
#include "bench/description.h"

#include <gtest/gtest.h>

#include "bench_test_support.h"

namespace bench::testing {
namespace {

std::string refusal(const nlohmann::json& json) {
    try {
        parseDescription(json, "/x/bench.json");
    } catch (const BenchError& e) {
        return e.what();
    }
    return "";
}

TEST(Description, DefaultsMakeAFamily7120TypeBBridgeWithSystemDiskAndVolumeC) {
    const auto d = parseDescription(benchWithBridges({nlohmann::json::object()}), "bench.json");
    ASSERT_EQ(d.bridges.size(), 1u);
    const auto& b = d.bridges[0];
    EXPECT_EQ(b.id, "bridge0");
    EXPECT_EQ(b.family, "7120");
    EXPECT_EQ(b.deviceType, 1);
    EXPECT_EQ(b.msignature, 2);
    EXPECT_EQ(b.firmwareVersion, "12042391F000");
    EXPECT_EQ(b.configuredSerial, b.serial);
    EXPECT_EQ(b.instanceSerial, b.serial);
    ASSERT_TRUE(b.drive);
    EXPECT_EQ(b.drive->kind, "sata");
    EXPECT_EQ(d.systemDisks.size(), 1u);
    ASSERT_EQ(d.volumes.size(), 1u);
    EXPECT_EQ(d.volumes[0].letter, 'C');
    EXPECT_EQ(d.hubs[0].ports.size(), 4u);
}

TEST(Description, NestedHubsAndPortKindsLandInTheFlatTables) {
    const nlohmann::json json = {
        {"controllers",
         {{{"hardware_id", "PCI\\VEN_1022&DEV_43D5"},
           {"port_count", 6},
           {"ports",
            {{{"port", 1}, {"empty", true}},
             {{"port", 2}, {"failed", true}},
             {{"port", 3},
              {"hub",
               {{"port_count", 4},
                {"ports",
                 {{{"port", 4}, {"hub", {{"ports", {{{"port", 1}, {"bridge", {{"id", "deep"}}}}}}}}}}}}}},
             {{"port", 6}, {"device", {{"description", "USB Composite Device"}}}}}}}}}};
    const auto d = parseDescription(json, "bench.json");
    ASSERT_EQ(d.hubs.size(), 3u);
    EXPECT_EQ(d.hubs[0].ports.size(), 6u);
    EXPECT_EQ(d.hubs[0].ports[1].kind, PortSlot::Kind::Failed);
    EXPECT_EQ(d.hubs[1].depth, 1);
    EXPECT_EQ(d.hubs[2].depth, 2);
    EXPECT_EQ(d.hubs[2].parentPort, 4u);
    EXPECT_EQ(d.bridges[0].hub, 2);
    EXPECT_EQ(d.devices[0].description, "USB Composite Device");
}

TEST(Description, ControllerPortsMayAlsoBeGivenAsAHubObject) {
    const auto d = parseDescription(
        {{"controllers",
          {{{"ports",
             {{"port_count", 2}, {"ports", {{{"port", 2}, {"bridge", nlohmann::json::object()}}}}}}}}}},
        "bench.json");
    EXPECT_EQ(d.hubs[0].ports.size(), 2u);
    EXPECT_EQ(d.bridges[0].port, 2u);
}

TEST(Description, RefusalsNameTheFileTheKeyAndTheFault) {
    EXPECT_EQ(refusal(nlohmann::json::array()),
              "/x/bench.json: top level: expected an object, found an array");
    EXPECT_EQ(refusal({{"controllers", 3}}), "/x/bench.json: controllers: expected an array, found a number");
    EXPECT_EQ(refusal(benchWithBridges({{{"family", "7000"}}})),
              "/x/bench.json: controllers[0].ports[0].bridge.family: expected \"7120\" or \"8500\"");
    EXPECT_NE(refusal(benchWithBridges({{{"device_type", 6}}})).find("device_type: value 6 is outside 0..5"),
              std::string::npos);
    EXPECT_NE(refusal(benchWithBridges({{{"firmware_version", "1234"}}})).find("twelve hex digits"),
              std::string::npos);
    EXPECT_NE(refusal(benchWithBridges({{{"serail", "x"}}})).find("unknown key \"serail\""),
              std::string::npos);
    EXPECT_NE(refusal(benchWithBridges({{{"uas", "yes"}}})).find("uas: expected true or false, found a text"),
              std::string::npos);
    EXPECT_NE(refusal(benchWithBridges({{{"id", "a"}}, {{"id", "a"}}})).find("used twice"),
              std::string::npos);
    EXPECT_NE(refusal(benchWithBridges({{{"disk_number", 0}}})).find("already taken"), std::string::npos);
    EXPECT_NE(refusal(benchWithBridges({{{"otb_status", "AA AA"}}})).find("expected 16 bytes"),
              std::string::npos);
    EXPECT_NE(refusal({{"controllers", {{{"port_count", 2}, {"ports", {{{"port", 3}, {"empty", true}}}}}}}})
                  .find("above port_count"),
              std::string::npos);
    EXPECT_NE(refusal({{"faults", {{{"kind", "command"}}}}}).find("names its \"opcode\""), std::string::npos);
    EXPECT_NE(refusal({{"message_box_answers", {"OK"}}}).find("message_box_answers[0]"), std::string::npos);
}

TEST(Description, RegistryValuesByJsonType) {
    const auto d = parseDescription(
        {{"registry",
          {{"SOFTWARE\\Vendor", {{"Count", 3}, {"Name", "ab"}, {"Blob", {{"binary", "0102"}}}}}}}},
        "bench.json");
    const auto& values = d.registry.at("SOFTWARE\\Vendor");
    EXPECT_EQ(values.at("Count").type, 4u);
    EXPECT_EQ(values.at("Count").data, (std::vector<std::uint8_t>{3, 0, 0, 0}));
    EXPECT_EQ(values.at("Name").type, 1u);
    EXPECT_EQ(values.at("Name").data, (std::vector<std::uint8_t>{'a', 0, 'b', 0, 0, 0}));
    EXPECT_EQ(values.at("Blob").type, 3u);
    EXPECT_EQ(registryEntryToJson(values.at("Name")), "ab");
    EXPECT_EQ(registryEntryToJson(values.at("Count")), 3);
    EXPECT_EQ(registryEntryToJson(values.at("Blob"))["binary"], "0102");
}

}  // namespace
}  // namespace bench::testing
