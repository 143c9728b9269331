// Fuzzes the bench description reader: any text is either a bench or a refusal naming the fault.
#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>

#include "bench/bench_error.h"
#include "bench/description.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto json = nlohmann::json::parse(data, data + size, nullptr, false);
    if (json.is_discarded()) return 0;
    try {
        (void)bench::parseDescription(json, "fuzz.json");
    } catch (const bench::BenchError&) {
    }
    return 0;
}
