#include "bench/bridge/nvme_bridge.h"

#include <algorithm>

#include "bench/byte_order.h"

namespace bench {
namespace {

constexpr std::uint8_t kPacketMarker = 0x5A;
constexpr std::uint8_t kPhaseSubmit = 0x80, kPhaseData = 0x81, kPhaseCompletion = 0x82, kPhaseReset = 0x01,
                       kPhaseLed = 0x03;
constexpr std::uint8_t kKindNone = 0, kKindIn = 1, kKindOut = 2;

bool zeroFrom(const ScsiCommand& c, std::size_t from, std::size_t to) {
    return std::all_of(c.cdb.begin() + static_cast<std::ptrdiff_t>(from),
                       c.cdb.begin() + static_cast<std::ptrdiff_t>(to),
                       [](std::uint8_t b) { return b == 0; });
}

ScsiReply answer(std::span<std::uint8_t> data, const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() != data.size()) return ScsiReply::check(kAscInvalidFieldInCdb);
    std::copy(bytes.begin(), bytes.end(), data.begin());
    return ScsiReply::good(static_cast<std::uint32_t>(bytes.size()));
}

}  // namespace

nlohmann::json NvmeBridge::runtimeToJson() const {
    nlohmann::json j = {{"resets", m_resets}};
    if (m_led) j["led"] = *m_led;
    return j;
}

void NvmeBridge::runtimeFromJson(const nlohmann::json& json) {
    m_resets = json.value("resets", std::uint32_t{0});
    m_led.reset();
    if (json.contains("led")) m_led = json.value("led", std::uint8_t{0});
}

std::optional<ScsiReply> NvmeBridge::execute(const ScsiCommand& c, std::span<std::uint8_t> data) {
    switch (c.cdb[0]) {
        case 0xE6:
        case 0xA2:
            return fixedCommand(c, data);
        case kNvmePacketWrite:
        case kNvmePacketRead:
            return packet(c, data);
        default:
            return std::nullopt;
    }
}

ScsiReply NvmeBridge::fixedCommand(const ScsiCommand& c, std::span<std::uint8_t> data) {
    const auto& b = c.cdb;
    if (c.dataIn != 1) return ScsiReply::check(kAscInvalidFieldInCdb);
    if (b[0] == 0xA2) {  // SECURITY PROTOCOL IN as the bridge takes it
        if (c.cdbLength != 12 || b[1] != 0 || b[2] != 0x01 || b[3] != 0x80 || !zeroFrom(c, 4, 6) ||
            !zeroFrom(c, 10, 12) || c.transferLength != 512)
            return ScsiReply::check(kAscInvalidFieldInCdb);
        return answer(data, m_admin.securityReceive(512));
    }
    if (c.cdbLength != 16) return ScsiReply::check(kAscInvalidFieldInCdb);
    if (b[1] == 0x06) {  // Identify: byte 3 selects the structure
        if (b[2] != 0 || !zeroFrom(c, 4, 16) || c.transferLength != 4096)
            return ScsiReply::check(kAscInvalidFieldInCdb);
        const std::uint8_t cns = b[3] == 0 ? 0x00 : 0x01;
        return answer(data, m_admin.identify(cns, 1));
    }
    if (b[1] == 0x02) {  // Get Log Page: bytes 12..15 name the log
        if (b[2] != 0 || b[3] != 0x02 || !zeroFrom(c, 4, 7) || b[7] != 0x7F || !zeroFrom(c, 8, 12) ||
            c.transferLength != 512)
            return ScsiReply::check(kAscInvalidFieldInCdb);
        const auto page = m_admin.logPage(static_cast<std::uint8_t>(be32(&b[12]) & 0xFF), 512);
        return page.empty() ? ScsiReply::check(kAscInvalidFieldInCdb) : answer(data, page);
    }
    return ScsiReply::check(kAscInvalidFieldInCdb);
}

ScsiReply NvmeBridge::packet(const ScsiCommand& c, std::span<std::uint8_t> data) {
    const auto& b = c.cdb;
    const bool write = b[0] == kNvmePacketWrite;
    const std::uint8_t phase = b[2], kind = b[4];
    const std::uint32_t length = be32(&b[10]);
    // The CDB's own length must be what the request moves, in the direction its opcode names.
    if (c.cdbLength != 16 || b[1] != kPacketMarker || !zeroFrom(c, 5, 10) || !zeroFrom(c, 14, 16) ||
        length != c.transferLength || kind > kKindOut || (length != 0 && c.dataIn != (write ? 0 : 1)))
        return ScsiReply::check(kAscInvalidFieldInCdb);

    switch (phase) {
        case kPhaseSubmit: {
            if (!write || length != 64 || data.size() != 64) return ScsiReply::check(kAscInvalidFieldInCdb);
            NvmeSubmission entry{};
            std::copy(data.begin(), data.end(), entry.begin());
            m_pending = entry;
            m_pendingKind = kind;
            m_completion.reset();
            return ScsiReply::good(64);
        }
        case kPhaseData: {
            const bool directionFits = kind == kKindNone ? (!write && length == 0)
                                                         : (kind == kKindIn ? !write : write) && length != 0;
            if (!m_pending || kind != m_pendingKind || !directionFits)
                return ScsiReply::check(kAscInvalidFieldInCdb);
            const NvmeCompletion completion = m_admin.execute(*m_pending, data, kind == kKindIn);
            m_pending.reset();
            if (m_loseCompletion)
                m_loseCompletion = false;
            else
                m_completion = completion;
            return ScsiReply::good(length);
        }
        case kPhaseCompletion: {
            if (write || length != 16 || kind != m_pendingKind)
                return ScsiReply::check(kAscInvalidFieldInCdb);
            // A completion the drive never posted reads as the bridge's erased buffer.
            NvmeCompletion entry;
            entry.fill(0xFF);
            if (m_completion) entry = *m_completion;
            m_completion.reset();
            std::copy(entry.begin(), entry.end(), data.begin());
            return ScsiReply::good(16);
        }
        case kPhaseReset:
            if (!write || length != 0 || b[3] != 0 || kind != kKindNone)
                return ScsiReply::check(kAscInvalidFieldInCdb);
            ++m_resets;
            m_pending.reset();
            m_completion.reset();
            return ScsiReply::good();
        case kPhaseLed:
            if (length != 0 || kind != kKindNone) return ScsiReply::check(kAscInvalidFieldInCdb);
            m_led = b[3];
            return ScsiReply::good();
        default:
            return ScsiReply::check(kAscInvalidFieldInCdb);
    }
}

}  // namespace bench
