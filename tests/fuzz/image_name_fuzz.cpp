// Fuzzes the decoding of image file names and the building of streams and configuration blocks.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fwupdate/identity_update.h"
#include "fwupdate/image_name.h"
#include "fwupdate/programming_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quib::fwupdate;
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (const bool rom : {false, true}) {
        const ImageNameFields f = decodeImageName(text, rom);
        (void)f.chipType();
        (void)f.packageBit();
        for (std::uint8_t type : {0, 1})
            (void)streamSignature(streamRevisionDigit(f.fileName, type), type, text);
    }
    // A version the bridge must run is always one: twelve hexadecimal digits, or none.
    const std::string expected = expectedRunningVersion(text);
    if (!expected.empty() && !isVersionText(expected)) __builtin_trap();
    const std::span<const std::uint8_t> bytes(data, size);
    (void)buildStream(bytes, 0x5A, size % 2 ? "850B" : "B");
    (void)shortStreamLength(bytes, 65408);
    if (size >= sizeof(SerialNumberRecord) + kConfigBinSize) {
        SerialNumberRecord record;
        std::memcpy(&record, data, sizeof record);
        ConfigBlock block;
        std::memcpy(block.data(), data + sizeof record, kConfigBinSize);
        mergeRecordIntoBlock(block, record);
        if (!configBlockValid(block)) __builtin_trap();  // a merged block is always sealed
    }
    return 0;
}
