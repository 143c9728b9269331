#include "fwupdate/programming_stream.h"

#include <cstring>
#include <numeric>

#include "devcore/device/text_helpers.h"
#include "fwupdate/image_name.h"

namespace quib::fwupdate {

std::vector<std::uint8_t> lengthHeader(std::size_t n, std::string_view firstChipType) {
    if (n <= kShortHeaderLimit)
        return {static_cast<std::uint8_t>(n & 0xFF), static_cast<std::uint8_t>((n >> 8) & 0xFF)};
    if (firstChipType == "850B")
        return {0x4C,
                0x17,
                static_cast<std::uint8_t>(n >> 24),
                static_cast<std::uint8_t>(n >> 16),
                static_cast<std::uint8_t>(n >> 8),
                static_cast<std::uint8_t>(n)};
    return {};
}

std::vector<std::uint8_t> buildStream(std::span<const std::uint8_t> image, std::uint8_t signature,
                                      std::string_view firstChipType) {
    std::vector<std::uint8_t> stream = lengthHeader(image.size(), firstChipType);
    stream.reserve(stream.size() + image.size() + 6);
    stream.insert(stream.end(), image.begin(), image.end());
    const std::uint32_t sum = std::accumulate(image.begin(), image.end(), std::uint32_t{0});
    stream.push_back(signature);
    stream.push_back(static_cast<std::uint8_t>(sum & 0xFF));
    stream.insert(stream.end(), 4, 0x00);
    return stream;
}

char streamRevisionDigit(std::string_view fileName, std::uint8_t ucType) {
    const std::string cleaned = removeAll(withoutExtension(fileName), "_");
    const std::size_t at = ucType == 1 ? 12 : 6;
    return at < cleaned.size() ? cleaned[at] : '\0';
}

std::optional<std::uint8_t> streamSignature(char revisionDigit, std::uint8_t ucType,
                                            std::string_view lastChipTypeSelector) {
    if (ucType == 0 && devcore::equalsIgnoreCase(lastChipTypeSelector, "001_B0")) return 0x5A;
    return signatureOfRevisionDigit(revisionDigit);
}

std::uint8_t configCheckSum(std::span<const std::uint8_t, kConfigBinSize> block) {
    std::uint32_t sum = 0;
    for (std::size_t i = kConfigRecordOffset; i <= kConfigSigOffset; ++i) sum += block[i];
    return static_cast<std::uint8_t>(sum & 0xFF);
}

void sealConfigBlock(ConfigBlock& block) {
    block[kConfigSigOffset] = kConfigSig;
    block[kConfigCheckSumOffset] = configCheckSum(block);
}

bool configBlockValid(const ConfigBlock& block) {
    return block[kConfigSigOffset] == kConfigSig && block[kConfigCheckSumOffset] == configCheckSum(block);
}

ConfigBlock configBlockOfRecord(const SerialNumberRecord& record) {
    ConfigBlock block;
    block.fill(0xFF);
    std::memcpy(block.data() + kConfigRecordOffset, &record, sizeof record);
    sealConfigBlock(block);
    return block;
}

std::string configRomFileName(std::string_view imageFileName) {
    return std::string(kMarkerConfigRom) + withoutExtension(imageFileName) + ".rom";
}

}  // namespace quib::fwupdate
