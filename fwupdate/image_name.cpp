#include "fwupdate/image_name.h"

namespace quib::fwupdate {

std::string fileNameOf(std::string_view path) {
    const std::size_t cut = path.find_last_of("\\/");
    return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

std::string withoutExtension(std::string_view fileName) {
    const std::size_t dot = fileName.rfind('.');
    return std::string(dot == std::string_view::npos ? fileName : fileName.substr(0, dot));
}

std::string removeAll(std::string_view text, std::string_view what) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        if (!what.empty() && text.compare(at, what.size(), what) == 0) {
            at += what.size();
        } else {
            out += text[at++];
        }
    }
    return out;
}

std::uint8_t hexDigitValue(char c) {
    if (c >= '0' && c <= '9') return static_cast<std::uint8_t>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<std::uint8_t>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return static_cast<std::uint8_t>(c - 'A' + 10);
    return 0;
}

std::string revisionLetter(char revisionDigit) {
    static const char* const kLetters[8] = {"A", "B", "C", "D", "A", "E", "F", "G"};
    return kLetters[hexDigitValue(revisionDigit) & 0x07];
}

namespace {
// By the low three bits of the revision digit; 100 has none.
constexpr std::uint8_t kSignatures[8] = {0x5A, 0x4B, 0x3C, 0x2D, 0x00, 0x1E, 0x0F, 0x69};
constexpr unsigned kNoSignatureBits = 4;
}  // namespace

std::optional<std::uint8_t> signatureOfRevisionDigit(char revisionDigit) {
    const unsigned bits = hexDigitValue(revisionDigit) & 0x07;
    if (bits == kNoSignatureBits) return std::nullopt;
    return kSignatures[bits];
}

bool isStreamSignature(std::uint8_t byte) {
    for (unsigned bits = 0; bits < 8; ++bits)
        if (bits != kNoSignatureBits && kSignatures[bits] == byte) return true;
    return false;
}

std::string ImageNameFields::chipType() const {
    return (bPCIe ? std::string("850") : std::string()) + revisionLetter(revisionDigit);
}

ImageNameFields decodeImageName(std::string_view path, bool configRom) {
    ImageNameFields f;
    f.fileName = fileNameOf(path);
    f.bPCIe = f.fileName.find(kMarkerPcie) != std::string::npos;
    f.bPacked = f.fileName.find(kMarkerPacked) != std::string::npos;
    f.bConfigRom = f.fileName.find(kMarkerConfigRom) != std::string::npos;
    const std::string cleaned = removeAll(removeAll(f.fileName, kMarkerPcie), "_");
    const std::size_t from = configRom ? 6 : 0;
    f.versionField = from < cleaned.size() ? cleaned.substr(from, kVersionFieldLength) : std::string();
    f.bComplete = f.versionField.size() == kVersionFieldLength;
    if (f.versionField.size() > kRevisionDigitIndex) f.revisionDigit = f.versionField[kRevisionDigitIndex];
    if (f.versionField.size() > kPackageDigitIndex) f.packageDigit = f.versionField[kPackageDigitIndex];
    return f;
}

bool isVersionText(std::string_view text) {
    if (text.size() != kVersionFieldLength) return false;
    for (const char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) return false;
    return true;
}

std::string expectedRunningVersion(std::string_view path) {
    const std::string fileName = fileNameOf(path);
    std::string field;
    const std::size_t packed = fileName.rfind(kMarkerPacked);
    if (packed != std::string::npos) {
        const std::string after = fileName.substr(packed + std::string_view(kMarkerPacked).size());
        field = removeAll(after, "_").substr(0, kVersionFieldLength);
    } else {
        field = decodeImageName(path, fileName.find(kMarkerConfigRom) != std::string::npos).versionField;
    }
    return isVersionText(field) ? field : std::string();
}

}  // namespace quib::fwupdate
