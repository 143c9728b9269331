// The bulk-only transport fed whatever a host might send: control requests, bulk-out packets (command
// blocks among them) and bulk-in reads, in any order. The bench bridge behind it must never see a request
// the transport should have refused, and nothing may crash.
#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>

#include "bench/bench.h"
#include "tools/usbredir/bot_device.h"

namespace {

// Transfers of at most 64 KiB: the same paths as larger ones, at a fraction of the time per run.
std::shared_ptr<bench::Bench> makeBench() {
    const nlohmann::json description = {
        {"controllers",
         {{{"ports",
            {{{"port", 1},
              {"bridge", {{"id", "b"}, {"uas", false}, {"link", "full"}, {"max_transfer", 65536}}}}}}}}},
        {"system_disks", 1}};
    return bench::Bench::fromJson(description);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The bench keeps every command it traced: a fresh one now and then keeps memory bounded over the
    // millions of runs of a long fuzzing session.
    static std::shared_ptr<bench::Bench> bench;
    static unsigned runs = 0;
    if (runs++ % 1024 == 0) bench = makeBench();
    quib::redir::BotDevice device(bench, "b");
    if (!device.onBus()) bench->replug("b");
    device.attach();
    std::size_t at = 0;
    auto take = [&](std::size_t n) {
        std::vector<std::uint8_t> out(data + at, data + at + std::min(n, size - at));
        at += out.size();
        return out;
    };
    while (at < size) {
        const std::uint8_t op = data[at++];
        switch (op % 4) {
            case 0: {  // a control request: 8 setup bytes, then the data out it carries
                const auto s = take(8);
                if (s.size() < 8) return 0;
                const quib::redir::SetupPacket setup{s[0], s[1],
                                                     static_cast<std::uint16_t>(s[2] | (s[3] << 8)),
                                                     static_cast<std::uint16_t>(s[4] | (s[5] << 8)),
                                                     static_cast<std::uint16_t>(s[6] | (s[7] << 8))};
                device.control(setup, (setup.requestType & 0x80)
                                          ? std::vector<std::uint8_t>{}
                                          : take(std::min<std::size_t>(setup.length, 64)));
                break;
            }
            case 1: {  // a bulk-out packet of up to 64 bytes, often a command block (31 bytes)
                const std::size_t length = at < size ? data[at++] % 65 : 0;
                device.bulkOut(op & 0x80 ? quib::redir::kBulkOutEndpoint : 0x01, take(length));
                break;
            }
            case 2:  // a bulk-in read
                device.bulkIn(op & 0x80 ? quib::redir::kBulkInEndpoint : 0x82,
                              at < size ? data[at++] * 4u : 13u);
                break;
            default:
                device.busReset();
                break;
        }
        if (device.takeLeftBus()) bench->replug("b");
    }
    return 0;
}
