#include "bench/pd/pd_controller.h"

#include <algorithm>
#include <array>

#include "bench/byte_order.h"
#include "bench/hex_text.h"
#include "bench/pd/pd_images.h"

namespace bench {
namespace {

constexpr std::uint8_t kControlMarker = 0x5A;
constexpr std::size_t kControlReplyLength = 16;
constexpr std::size_t kRichTekReadLength = 32;
constexpr std::uint16_t kRichTekLastReadOffset = 0x3FE0;
constexpr std::uint16_t kQueryParameter = 0x1000;
constexpr std::uint16_t kMcuUpperAddress = 0x0800;
constexpr std::uint8_t kMcuLongestTransfer = 12;
constexpr std::uint16_t kCcgLastRow = 0x3FF;
// Bytes 0..7 of a version reply: the controller's bootloader version, never the running one.
constexpr std::array<std::uint8_t, 8> kBootloaderVersion = {0xB1, 0x0A, 0x02, 0x00, 0x10, 0x00, 0x00, 0x01};

bool knownSubCommand(std::uint8_t sub) {
    static constexpr std::uint8_t kKnown[] = {0x00, 0x01, 0x03, 0x04, 0x06, 0x07, 0x21, 0x22, 0x23, 0x24,
                                              0x29, 0x2A, 0x2B, 0x2C, 0x2D, 0x32, 0x33, 0x34, 0x35};
    return std::find(std::begin(kKnown), std::end(kKnown), sub) != std::end(kKnown);
}

bool isRead(std::uint8_t sub) {
    switch (sub) {
        case 0x03:
        case 0x06:
        case 0x07:
        case 0x21:
        case 0x24:
        case 0x29:
        case 0x2A:
        case 0x2C:
        case 0x35:
            return true;
        default:
            return false;
    }
}

// The little-endian row number of the CCG3/CCG4 row commands (CDB byte 2 low, byte 3 high).
std::size_t ccgRow(const ScsiCommand& c) {
    return static_cast<std::size_t>(c.cdb[2] | (c.cdb[3] << 8));
}

bool mcuHasNoApplication(const std::vector<std::uint8_t>& flash) {
    return flash.size() >= 4 &&
           std::all_of(flash.begin(), flash.begin() + 4, [](auto b) { return b == 0xFF; });
}

}  // namespace

PdController::PdController(const PdDescription& description) : m_description(description) {
    if (isRichTek()) {
        m_flash = m_description.version.empty() ? std::vector<std::uint8_t>(kRichTekMtpSize, 0xFF)
                                                : richTekImage(m_description.version);
    } else if (isCypress()) {
        if (m_description.version.empty()) {
            m_flash.assign(rowCount() * rowSize(), 0x00);
        } else {
            m_flash = patternBytes(rowCount() * rowSize(), 0x43590000u + static_cast<std::uint32_t>(kind()));
            const auto place = cypressVersionPlace(kind(), deviceMode());
            const auto bytes = *parseHexBytes(m_description.version);
            std::copy(bytes.begin(), bytes.end(),
                      m_flash.begin() + static_cast<std::ptrdiff_t>(place.row * rowSize() + place.offset));
        }
    }
    if (hasMcu())
        m_mcuFlash = m_description.mcuBootloader ? std::vector<std::uint8_t>(kMcuFlashSize, 0xFF)
                                                 : patternBytes(kMcuFlashSize, 0x4D430000u);
    deriveRunningVersion();
    bootMcu();
    m_boots = 1;
}

std::size_t PdController::rowSize() const {
    return cypressRowSize(kind());
}

std::size_t PdController::rowCount() const {
    return cypressRowCount(kind());
}

std::vector<std::uint8_t> PdController::row(std::size_t r) const {
    if (!isCypress() || r >= rowCount()) return {};
    const auto at = m_flash.begin() + static_cast<std::ptrdiff_t>(r * rowSize());
    return std::vector<std::uint8_t>(at, at + static_cast<std::ptrdiff_t>(rowSize()));
}

std::string PdController::runningVersionText() const {
    if (m_running.size() == 2) return hexNumber(m_running[1], 2) + hexNumber(m_running[0], 2);
    return toUpper(hexBytes(m_running));
}

void PdController::deriveRunningVersion() {
    m_running.clear();
    if (isRichTek()) {
        m_running = {m_flash[kRichTekVersionOffset], m_flash[kRichTekVersionOffset + 1]};
    } else if (isCypress()) {
        const auto place = cypressVersionPlace(kind(), deviceMode());
        const auto at = m_flash.begin() + static_cast<std::ptrdiff_t>(place.row * rowSize() + place.offset);
        m_running.assign(at, at + 8);
    }
}

void PdController::bootMcu() {
    // An MCU without an application (its first word erased) stays in its bootloader.
    m_mcuBootloader = hasMcu() && mcuHasNoApplication(m_mcuFlash);
    m_mcuProgramming = false;
}

void PdController::bridgeBooted() {
    m_i2cReady = false;
    m_flashMode = false;
    bootMcu();
}

void PdController::powerOn() {
    ++m_powerCycles;
    ++m_boots;
    m_written = false;
    deriveRunningVersion();
    bridgeBooted();
}

ScsiReply PdController::execute(const ScsiCommand& c, std::span<std::uint8_t> data,
                                std::optional<std::size_t> corruptReadOffset) {
    const std::uint8_t sub = c.cdb[1];
    if (!knownSubCommand(sub)) return ScsiReply::check(kAscInvalidOpcode);
    if (c.cdbLength != kPdCdbLength || !wellFormed(c) || !accepts(sub))
        return ScsiReply::check(kAscInvalidFieldInCdb);
    if (!isRead(sub)) return write(sub, c, data);
    ScsiReply reply = read(sub, c, data);
    const bool corruptible = sub == 0x06 || sub == 0x24 || sub == 0x2A || sub == 0x35;
    if (corruptible && corruptReadOffset && *corruptReadOffset < reply.bytesMoved)
        data[*corruptReadOffset] ^= 0xFF;
    return reply;
}

bool PdController::wellFormed(const ScsiCommand& c) const {
    const auto& b = c.cdb;
    const std::uint16_t w1 = be16(&b[2]), w2 = be16(&b[4]);
    auto in = [&](std::uint32_t n) { return c.dataIn == 1 && c.transferLength == n; };
    auto out = [&](std::uint32_t n) { return c.dataIn == 0 && c.transferLength == n; };
    auto zeroFrom = [&](std::size_t from) {
        return std::all_of(b.begin() + static_cast<std::ptrdiff_t>(from), b.begin() + kPdCdbLength,
                           [](auto x) { return x == 0; });
    };
    switch (b[1]) {
        case 0x00:  // erase the MTP: the whole area's last offset in wParam2
            return out(0) && w1 == 0 && w2 == 0x3FFF && zeroFrom(6);
        case 0x01:  // bytes 4..7 are the word's data
            return out(0) && w1 < kRichTekMtpSize / 4;
        case 0x03:
            return in(2) && zeroFrom(2);
        case 0x04:
        case 0x22:
        case 0x2D:
        case 0x32:
        case 0x33:
            return out(0) && zeroFrom(2);
        case 0x06:
            return in(kRichTekReadLength) && w1 == kQueryParameter && w2 % kRichTekReadLength == 0 &&
                   w2 <= kRichTekLastReadOffset && b[6] == 0 && b[7] == kRichTekReadLength;
        case 0x07:
        case 0x21:
        case 0x2C:
            return in(kControlReplyLength) && w1 == kQueryParameter && zeroFrom(4);
        case 0x23:
            return out(128) && b[3] == 0 && zeroFrom(4);
        case 0x24:
            return in(128) && b[3] == 0 && zeroFrom(4);
        case 0x29:
            return in(1) && w1 == 0x100 && zeroFrom(4);
        case 0x2A:
            return in(128) && ccgRow(c) <= kCcgLastRow && zeroFrom(4);
        case 0x2B: {
            const bool wide = kind() == 5;
            return out(wide ? 256 : 128) && ccgRow(c) <= kCcgLastRow && w2 == (wide ? 0x0100 : 0) &&
                   zeroFrom(6);
        }
        case 0x34:
        case 0x35: {
            const std::uint8_t n = b[6];
            const bool direction = b[1] == 0x34 ? out(n) : in(n);
            return direction && w1 == kMcuUpperAddress && n >= 1 && n <= kMcuLongestTransfer && b[7] == 0 &&
                   std::size_t{w2} + n <= kMcuFlashSize;
        }
        default:
            return false;
    }
}

bool PdController::accepts(std::uint8_t sub) const {
    if (sub != 0x04 && !m_i2cReady) return false;  // the bridge must set up its I2C bus first
    switch (sub) {
        case 0x04:
        case 0x07:
            return true;
        case 0x00:
        case 0x03:
        case 0x06:
            return isRichTek();
        case 0x01:
            return isRichTek() && m_flashMode;
        case 0x21:
            return kind() == 2 || (hasDeviceModes() && deviceMode() == 1);
        case 0x22:
        case 0x24:
            return kind() == 2;
        case 0x23:
            return kind() == 2 && m_flashMode;
        case 0x29:
        case 0x2D:
            return hasDeviceModes();
        case 0x2A:
            return kind() == 4;
        case 0x2B:
            return hasDeviceModes() && m_flashMode;
        case 0x2C:
            return hasDeviceModes() && deviceMode() == 2;
        case 0x32:
        case 0x35:
            return hasMcu();
        case 0x33:
            return hasMcu() && m_mcuBootloader;
        case 0x34:
            return hasMcu() && m_mcuProgramming;
        default:
            return false;
    }
}

ScsiReply PdController::read(std::uint8_t sub, const ScsiCommand& c, std::span<std::uint8_t> data) {
    std::fill(data.begin(), data.end(), 0);
    auto copyFrom = [&](const std::vector<std::uint8_t>& area, std::size_t offset) {
        std::copy_n(area.begin() + static_cast<std::ptrdiff_t>(offset), data.size(), data.begin());
    };
    switch (sub) {
        case 0x03:
            data[0] = m_running[0];
            data[1] = m_running[1];
            break;
        case 0x06:
            copyFrom(m_flash, be16(&c.cdb[4]));
            break;
        case 0x07:
            data[0] = m_description.marker ? kControlMarker : 0;
            data[1] = static_cast<std::uint8_t>(kind());
            data[8] = hasMcu() ? 1 : 0;
            break;
        case 0x21:
        case 0x2C:
            std::copy(kBootloaderVersion.begin(), kBootloaderVersion.end(), data.begin());
            std::copy(m_running.begin(), m_running.end(), data.begin() + 8);
            break;
        case 0x24:
            copyFrom(m_flash, c.cdb[2] * rowSize());
            break;
        case 0x29:
            data[0] = static_cast<std::uint8_t>(deviceMode());
            break;
        case 0x2A:
            copyFrom(m_flash, ccgRow(c) * rowSize());
            break;
        case 0x35:
            copyFrom(m_mcuFlash, be16(&c.cdb[4]));
            break;
        default:
            break;
    }
    return ScsiReply::good(static_cast<std::uint32_t>(data.size()));
}

ScsiReply PdController::write(std::uint8_t sub, const ScsiCommand& c, std::span<const std::uint8_t> data) {
    switch (sub) {
        case 0x00:
            std::fill(m_flash.begin(), m_flash.end(), 0xFF);
            m_flashDirty = true;
            m_flashMode = true;
            break;
        case 0x01:
            std::copy_n(&c.cdb[4], 4, m_flash.begin() + static_cast<std::ptrdiff_t>(4 * be16(&c.cdb[2])));
            m_flashDirty = true;
            m_written = true;
            break;
        case 0x04:
            m_i2cReady = true;
            break;
        case 0x22:
        case 0x2D:
            m_flashMode = true;
            break;
        case 0x23:
            writeRow(c.cdb[2], data);
            break;
        case 0x2B:
            writeRow(ccgRow(c), data);
            break;
        case 0x32:
            m_mcuBootloader = true;
            break;
        case 0x33:
            std::fill(m_mcuFlash.begin(), m_mcuFlash.end(), 0xFF);
            m_mcuFlashDirty = true;
            m_mcuProgramming = true;
            break;
        case 0x34:
            std::copy(data.begin(), data.end(), m_mcuFlash.begin() + be16(&c.cdb[4]));
            m_mcuFlashDirty = true;
            m_written = true;
            break;
        default:
            break;
    }
    return ScsiReply::good(static_cast<std::uint32_t>(data.size()));
}

void PdController::writeRow(std::size_t r, std::span<const std::uint8_t> data) {
    const auto at = m_flash.begin() + static_cast<std::ptrdiff_t>(r * rowSize());
    std::copy(data.begin(), data.end(), at);
    // A CCG3 keeps its own metadata in the last row of the running image: it stamps its boot count over
    // the last four bytes, so the row never reads back as written.
    if (kind() == 4 && r == (deviceMode() == 1 ? kCcgLastRow : kCcgLastRow - 1u)) {
        const std::array<std::uint8_t, 4> stamp = {0x4D, 0x44, static_cast<std::uint8_t>(m_boots >> 8),
                                                   static_cast<std::uint8_t>(m_boots)};
        auto tail = at + static_cast<std::ptrdiff_t>(rowSize() - 4);
        const bool same = std::equal(stamp.begin(), stamp.end(), data.end() - 4);
        std::copy(stamp.begin(), stamp.end(), tail);
        if (same) tail[3] ^= 0xFF;
    }
    m_flashDirty = true;
    m_written = true;
}

void PdController::replaceFlash(std::vector<std::uint8_t> bytes) {
    m_flash = std::move(bytes);
    m_flashDirty = false;
}

void PdController::replaceMcuFlash(std::vector<std::uint8_t> bytes) {
    m_mcuFlash = std::move(bytes);
    m_mcuFlashDirty = false;
}

void PdController::markDirty() {
    m_flashDirty = !m_flash.empty();
    m_mcuFlashDirty = !m_mcuFlash.empty();
}

nlohmann::json PdController::runtimeToJson() const {
    return {{"i2c_ready", m_i2cReady},           {"flash_mode", m_flashMode},
            {"mcu_bootloader", m_mcuBootloader}, {"mcu_programming", m_mcuProgramming},
            {"written_since_boot", m_written},   {"running_version", hexBytes(m_running)},
            {"power_cycles", m_powerCycles},     {"boots", m_boots}};
}

void PdController::runtimeFromJson(const nlohmann::json& json) {
    m_i2cReady = json.value("i2c_ready", false);
    m_flashMode = json.value("flash_mode", false);
    m_mcuBootloader = json.value("mcu_bootloader", false);
    m_mcuProgramming = json.value("mcu_programming", false);
    m_written = json.value("written_since_boot", false);
    // A state without it (or of another kind) keeps the version read at power-up.
    const auto running = parseHexBytes(json.value("running_version", std::string()));
    if (running && running->size() == m_running.size()) m_running = *running;
    m_powerCycles = json.value("power_cycles", 0u);
    m_boots = json.value("boots", 1u);
}

}  // namespace bench
