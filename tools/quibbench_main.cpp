// quibbench: creates, shows and traces bench folders, and writes bench images.
#include <CLI/CLI.hpp>
#include <fstream>
#include <iostream>

#include "bench/bench.h"
#include "bench/firmware_image.h"
#include "bench/image_files.h"
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
};

int writeImage(const ImageChoices& c) {
    std::vector<std::uint8_t> bytes;
    if (c.kind == "stream")
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

    auto* trace = app.add_subcommand("trace", "Print the commands the bench's devices received");
    trace->add_option("folder", folder, "Bench folder")->required();

    ImageChoices ic;
    auto* image = app.add_subcommand("image", "Write a bench firmware image carrying a version");
    image->add_option("--version", ic.version, "Twelve hex digits, e.g. 131112910000")->required();
    image->add_option("--size", ic.size, "Image size in bytes")->required();
    image->add_option("--out", ic.out, "Output file")->required();
    image
        ->add_option("--kind", ic.kind,
                     "image: the plain image; stream: its programming stream (a packed image); config-rom: a "
                     "configuration block and the stream")
        ->check(CLI::IsMember({"image", "stream", "config-rom"}))
        ->capture_default_str();
    image->add_flag("--long-header", ic.longHeader, "0x4C 0x17 length header for images above 64 KiB");
    image->add_option("--serial", ic.identity.serial, "config-rom: serial number (at most 20 characters)");
    image->add_option("--manufacturer", ic.identity.manufacturer, "config-rom: manufacturer string");
    image->add_option("--product", ic.identity.product, "config-rom: product string");
    image->add_option("--vid", ic.identity.vid, "config-rom: vendor id")->capture_default_str();
    image->add_option("--pid", ic.identity.pid, "config-rom: product id")->capture_default_str();

    CLI11_PARSE(app, argc, argv);
    try {
        if (*create) return createBench(folder, from, choices);
        if (*show) {
            std::cout << bench::tool::describeState(*bench::Bench::openFolder(folder));
            return 0;
        }
        if (*trace) {
            std::cout << bench::tool::describeTrace(bench::Bench::openFolder(folder)->traceAll());
            return 0;
        }
        if (*image) return writeImage(ic);
    } catch (const std::exception& e) {
        std::cerr << "quibbench: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
