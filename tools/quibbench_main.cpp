// quibbench: creates, shows and traces bench folders, and writes bench images.
#include <CLI/CLI.hpp>
#include <fstream>
#include <iostream>

#include "bench/bench.h"
#include "bench/bridge/firmware_image.h"
#include "bench/bridge/image_files.h"
#include "bench/pd/pd_images.h"
#include "tools/bench_report.h"
#include "tools/demo_bench.h"

namespace {

int createBench(const std::string& folder, const std::string& from,
                const bench::tool::BenchChoices& choices) {
    nlohmann::json description;
    if (!from.empty()) {
        std::ifstream in(from);
        if (!in) throw bench::BenchError(from + ": cannot be read");
        try {
            description = nlohmann::json::parse(in);
        } catch (const nlohmann::json::exception& e) {
            throw bench::BenchError(from + ": malformed JSON: " + e.what());
        }
    } else {
        description = bench::tool::describeBench(choices);
    }
    auto bench = bench::Bench::createFolder(folder, description);
    std::cout << bench::tool::describeState(*bench);
    return 0;
}

struct ImageChoices {
    std::string version, out, kind = "image";
    std::size_t size = 0;
    bool longHeader = false;
    bench::ConfigIdentity identity;
    // PD and MCU images.
    bench::CyacdSpec cyacd;
    int firstRow = -1;  // the convention's
    int arrayId = 0, seed = 1;
    bench::McuHexSpec mcuHex;
    bool noEndRecord = false;
};

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    if (!file) throw bench::BenchError(path + ": cannot be written");
}

int writeImage(const ImageChoices& c) {
    const bool needsVersion =
        c.kind == "image" || c.kind == "stream" || c.kind == "config-rom" || c.kind == "richtek";
    if (needsVersion && c.version.empty()) throw bench::BenchError("--kind " + c.kind + " needs --version");
    if ((c.kind == "image" || c.kind == "stream" || c.kind == "config-rom") && c.size == 0)
        throw bench::BenchError("--kind " + c.kind + " needs --size");
    if (c.kind == "cyacd") {
        bench::CyacdSpec layout = c.cyacd;
        if (c.firstRow > 0xFFFF || c.arrayId < 0 || c.arrayId > 0xFF)
            throw bench::BenchError("--first-row is 0..0xFFFF and --array-id 0..0xFF");
        if (c.firstRow >= 0) layout.firstRow = static_cast<std::uint16_t>(c.firstRow);
        layout.arrayId = static_cast<std::uint8_t>(c.arrayId);
        if (!c.version.empty()) layout.version = c.version;
        writeFile(c.out, bench::cyacdText(layout));
        return 0;
    }
    if (c.kind == "mcu-hex") {
        bench::McuHexSpec layout = c.mcuHex;
        if (c.size != 0) layout.bytes = c.size;
        if (c.seed < 0 || c.seed > 0xFF) throw bench::BenchError("--seed is 0..255");
        layout.seed = static_cast<std::uint8_t>(c.seed);
        layout.endRecord = !c.noEndRecord;
        writeFile(c.out, bench::mcuHexText(layout));
        return 0;
    }
    std::vector<std::uint8_t> bytes;
    if (c.kind == "richtek")
        bytes = bench::richTekImage(c.version);
    else if (c.kind == "stream")
        bytes = bench::makeStreamOfVersion(c.version, c.size, c.longHeader);
    else if (c.kind == "config-rom")
        bytes = bench::makeConfigRom(c.version, c.size, c.identity, c.longHeader);
    else
        bytes = bench::makeImage(c.version, c.size);
    std::ofstream file(c.out, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!file) throw bench::BenchError(c.out + ": cannot be written");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Creates and inspects emulated benches"};
    app.require_subcommand(1);

    std::string folder, from;
    bench::tool::BenchChoices choices;
    auto* create = app.add_subcommand("create", "Write a bench folder (the defaults make the demo bench)");
    create->add_option("folder", folder, "Bench folder")->required();
    auto* fromOption = create->add_option("--from", from, "Take the description from this JSON file");
    create->add_option("--bridges", choices.bridges, "Number of bridges")->capture_default_str();
    create->add_option("--family", choices.family, "Chip family")
        ->check(CLI::IsMember({"7120", "8500"}))
        ->capture_default_str();
    create->add_option("--device-type", choices.deviceType, "Device type (0..5 for 7120, 6..7 for 8500)");
    create->add_option("--msignature", choices.msignature, "MSignature (0..15)")->capture_default_str();
    create
        ->add_option("--version", choices.version,
                     "Running firmware version, twelve hex digits ('' for none)")
        ->capture_default_str();
    create->add_option("--link", choices.link, "USB link")
        ->check(CLI::IsMember({"full", "high", "super", "plus"}))
        ->capture_default_str();
    create->add_option("--lanes", choices.lanes, "Lanes (1 or 2)")->capture_default_str();
    create->add_flag(
        "--bot", [&](std::int64_t) { choices.uas = false; }, "Bulk-only transport instead of UAS");
    create->add_flag("--cdrom", choices.cdrom, "The bridges present a CD-ROM");
    create->add_option("--controllers", choices.controllers, "Number of host controllers")
        ->capture_default_str();
    create->add_option("--system-disks", choices.systemDisks, "Number of system disks")
        ->capture_default_str();
    create->add_option("--restart-delay-ms", choices.restartDelayMs, "Time a restarted chip is off the bus")
        ->capture_default_str();
    // A description file says everything itself.
    for (auto* option : create->get_options())
        if (option != fromOption && option->get_name().rfind("--", 0) == 0 && option->get_name() != "--help")
            fromOption->excludes(option);

    auto* show = app.add_subcommand("show", "Print the state of a bench");
    show->add_option("folder", folder, "Bench folder")->required();
    bool showJson = false;
    show->add_flag("--json", showJson, "Print the state as JSON");

    auto* trace = app.add_subcommand("trace", "Print the commands the bench's devices received");
    trace->add_option("folder", folder, "Bench folder")->required();

    ImageChoices ic;
    auto* image = app.add_subcommand("image", "Write a bench firmware image carrying a version");
    image->add_option("--version", ic.version,
                      "Twelve hex digits, e.g. 131112910000 (richtek: four, cyacd: sixteen)");
    image->add_option("--size", ic.size, "Image size in bytes (mcu-hex: data bytes, 30 by default)");
    image->add_option("--out", ic.out, "Output file")->required();
    image
        ->add_option(
            "--kind", ic.kind,
            "image: the plain image; stream: its programming stream (a packed image); config-rom: a "
            "configuration block and the stream; richtek: a 16 KiB PD MTP image; cyacd: a Cypress PD "
            "file; mcu-hex: an Intel HEX file for the microcontroller")
        ->check(CLI::IsMember({"image", "stream", "config-rom", "richtek", "cyacd", "mcu-hex"}))
        ->capture_default_str();
    image->add_option("--pd-kind", ic.cyacd.pdKind, "cyacd: PD kind 2, 4 or 5")->capture_default_str();
    image->add_option("--mode", ic.cyacd.deviceMode, "cyacd: device mode 1 or 2")->capture_default_str();
    image->add_option("--first-row", ic.firstRow, "cyacd: first row (default: the version convention's)");
    image->add_option("--rows", ic.cyacd.rows, "cyacd: number of rows")->capture_default_str();
    image->add_option("--array-id", ic.arrayId, "cyacd: array id")->capture_default_str();
    image->add_option("--header", ic.cyacd.header, "cyacd: header line (default by kind and mode)");
    image->add_option("--record-length", ic.mcuHex.recordLength, "mcu-hex: bytes per data record")
        ->capture_default_str();
    image->add_option("--upper-address", ic.mcuHex.upperAddress, "mcu-hex: extended linear address")
        ->capture_default_str();
    image->add_option("--seed", ic.seed, "mcu-hex: seed of the data bytes")->capture_default_str();
    image->add_flag("--no-end-record", ic.noEndRecord, "mcu-hex: leave out the end-of-file record");
    image->add_flag("--long-header", ic.longHeader, "0x4C 0x17 length header for images above 64 KiB");
    image->add_option("--serial", ic.identity.serial, "config-rom: serial number (at most 20 characters)");
    image->add_option("--manufacturer", ic.identity.manufacturer, "config-rom: manufacturer string");
    image->add_option("--product", ic.identity.product, "config-rom: product string");
    image->add_option("--vid", ic.identity.vid, "config-rom: vendor id")->capture_default_str();
    image->add_option("--pid", ic.identity.pid, "config-rom: product id")->capture_default_str();

    std::string bridgeId;
    auto* powerCycle =
        app.add_subcommand("power-cycle", "Cut and restore a bridge's power (its PD side boots)");
    powerCycle->add_option("folder", folder, "Bench folder")->required();
    powerCycle->add_option("bridge", bridgeId, "Bridge id")->required();

    CLI11_PARSE(app, argc, argv);
    try {
        if (*create) return createBench(folder, from, choices);
        if (*show) {
            auto bench = bench::Bench::openFolder(folder);
            if (showJson)
                std::cout << bench::tool::stateJson(*bench).dump(2) << "\n";
            else
                std::cout << bench::tool::describeState(*bench);
            return 0;
        }
        if (*trace) {
            std::cout << bench::tool::describeTrace(bench::Bench::openFolder(folder)->traceAll());
            return 0;
        }
        if (*image) return writeImage(ic);
        if (*powerCycle) {
            auto bench = bench::Bench::openFolder(folder);
            bench->powerCycle(bridgeId);
            std::cout << bench::tool::describeState(*bench);
            return 0;
        }
    } catch (const std::exception& e) {
        std::cerr << "quibbench: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
