#include "tools/usbredir/bot_device.h"

#include <algorithm>
#include <stdexcept>

namespace quib::redir {
namespace {

constexpr std::uint32_t kCbwSignature = 0x43425355;  // "USBC"
constexpr std::uint32_t kCswSignature = 0x53425355;  // "USBS"
constexpr std::size_t kCbwSize = 31;
constexpr std::size_t kCswSize = 13;
constexpr std::uint8_t kCswPassed = 0, kCswFailed = 1, kCswPhaseError = 2;

constexpr std::uint8_t kGetStatus = 0, kClearFeature = 1, kSetFeature = 3, kGetDescriptor = 6;
constexpr std::uint8_t kSetConfiguration = 9, kSetInterface = 11;
constexpr std::uint8_t kBulkOnlyReset = 0xFF, kGetMaxLun = 0xFE;
constexpr std::uint16_t kEndpointHalt = 0;

std::uint32_t le32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
           (std::uint32_t{p[3]} << 24);
}

void putLe32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// The bench describes a UAS bridge with the UAS protocol code but only a bulk pair; over this connection
// the bridge speaks bulk-only, so the host must see the bulk-only code to bind its mass-storage driver.
void presentAsBulkOnly(std::vector<std::uint8_t>& descriptors) {
    for (std::size_t i = 0; i + 1 < descriptors.size() && descriptors[i] != 0; i += descriptors[i]) {
        if (descriptors[i + 1] == 4 && i + 7 < descriptors.size() && descriptors[i + 5] == 0x08 &&
            descriptors[i + 6] == 0x06 && descriptors[i + 7] == 0x62)
            descriptors[i + 7] = 0x50;
    }
}

TransferResult stall() {
    return {TransferResult::Status::Stall, {}, 0};
}

TransferResult answer(std::vector<std::uint8_t> data) {
    return {TransferResult::Status::Ok, std::move(data), 0};
}

}  // namespace

BotDevice::BotDevice(std::shared_ptr<bench::Bench> bench, std::string bridgeId)
    : m_bench(std::move(bench)), m_id(std::move(bridgeId)) {
    const auto& description = m_bench->description();
    m_bridge = description.bridgeIndex(m_id);
    if (m_bridge < 0) throw std::runtime_error("the bench has no bridge " + m_id);
    const auto& bridge = description.bridges[static_cast<std::size_t>(m_bridge)];
    std::uint32_t error = 0;
    m_hub = m_bench->open("\\\\.\\" + description.hubs[static_cast<std::size_t>(bridge.hub)].name, error);
    if (!m_hub) throw std::runtime_error("the hub of " + m_id + " cannot be opened");
    m_port = bridge.port;
    m_maxDataPhase = bridge.maxTransfer;
}

bench::ConnectionEntry BotDevice::connection() const {
    std::uint32_t error = 0;
    return m_bench->connection(*m_hub, m_port, error).value_or(bench::ConnectionEntry{});
}

bool BotDevice::onBus() const {
    return m_bench->bridgeStatus(m_id).onBus;
}

void BotDevice::attach() {
    m_disk.reset();
    m_configuration = 0;
    m_leftBus = false;
    busReset();
}

void BotDevice::busReset() {
    m_phase = Phase::Command;
    m_dataOut.clear();
    m_dataIn.clear();
    m_status.clear();
    m_inHalted = m_outHalted = false;
}

bool BotDevice::setConfiguration(std::uint8_t value) {
    if (value > 1) return false;
    m_configuration = value;
    busReset();
    return true;
}

std::optional<bench::Target> BotDevice::disk() {
    if (m_disk) return m_disk;
    const auto status = m_bench->bridgeStatus(m_id);
    std::string path;
    if (status.diskNumber >= 0)
        path = "\\\\.\\PHYSICALDRIVE" + std::to_string(status.diskNumber);
    else if (status.cdromNumber >= 0)
        path = "\\\\.\\CDROM" + std::to_string(status.cdromNumber);
    else
        return std::nullopt;
    std::uint32_t error = 0;
    m_disk = m_bench->open(path, error);
    return m_disk;
}

TransferResult BotDevice::control(const SetupPacket& s, const std::vector<std::uint8_t>& dataOut) {
    (void)dataOut;  // no request this device takes carries data to it
    const bool in = s.requestType & 0x80;
    const std::uint8_t type = s.requestType & 0x60;
    const std::uint8_t recipient = s.requestType & 0x1F;
    if (type == 0x00) {
        switch (s.request) {
            case kGetStatus: {
                if (!in || s.length < 2) return stall();
                std::vector<std::uint8_t> status = {0, 0};
                if (recipient == 2)
                    status[0] = (s.index == kBulkInEndpoint && m_inHalted) ||
                                (s.index == kBulkOutEndpoint && m_outHalted);
                return answer(status);
            }
            case kClearFeature:
            case kSetFeature:
                if (recipient == 2 && s.value == kEndpointHalt) {
                    const bool halt = s.request == kSetFeature;
                    if (s.index == kBulkInEndpoint)
                        m_inHalted = halt;
                    else if (s.index == kBulkOutEndpoint)
                        m_outHalted = halt;
                    else if ((s.index & 0x7F) != 0)
                        return stall();
                }
                return answer({});
            case kSetConfiguration:
                return setConfiguration(static_cast<std::uint8_t>(s.value)) ? answer({}) : stall();
            case kSetInterface:
                return s.value == 0 && s.index == 0 ? answer({}) : stall();
            default:
                break;
        }
    }
    if (type == 0x20 && recipient == 1 && s.index == 0) {
        if (s.request == kBulkOnlyReset && !in && s.value == 0 && s.length == 0) {
            // Resets the transport only; the host clears the endpoint halts itself.
            m_phase = Phase::Command;
            m_dataOut.clear();
            m_dataIn.clear();
            m_status.clear();
            return answer({});
        }
        if (s.request == kGetMaxLun && in && s.value == 0 && s.length >= 1) return answer({0});
        return stall();
    }
    // Descriptors and any other standard or vendor request asking for data: the bench answers what a
    // bridge answers and records the request; anything it does not answer stalls.
    if (in && (type == 0x00 || type == 0x40) && s.length > 0) {
        std::uint32_t error = 0;
        auto reply = m_bench->descriptor(*m_hub, m_port,
                                         {s.requestType, s.request, s.value, s.index, s.length}, error);
        if (!reply) return stall();
        if (s.request == kGetDescriptor && (s.value >> 8) == 2) presentAsBulkOnly(*reply);
        return answer(std::move(*reply));
    }
    return stall();
}

void BotDevice::stallBoth() {
    m_inHalted = m_outHalted = true;
    m_phase = Phase::Command;
}

TransferResult BotDevice::bulkOut(std::uint8_t endpoint, const std::vector<std::uint8_t>& data) {
    if (endpoint != kBulkOutEndpoint || m_configuration == 0 || m_outHalted) return stall();
    TransferResult r;
    r.accepted = static_cast<std::uint32_t>(data.size());
    const bool isCbw = data.size() == kCbwSize && le32(data.data()) == kCbwSignature;
    if (m_phase == Phase::DataOut && !isCbw) {
        m_dataOut.insert(m_dataOut.end(), data.begin(), data.end());
        if (m_dataOut.size() >= m_cbw.length) {
            m_dataOut.resize(m_cbw.length);
            execute();
        }
        return r;
    }
    // A command block: exactly 31 bytes with its signature, LUN 0 and a CDB of 1..16 bytes. Anything else
    // is not meaningful; the device stalls both pipes until the host's reset recovery.
    const std::uint8_t cbLength = isCbw ? data[14] & 0x1F : 0;
    if (!isCbw || (data[13] & 0x0F) != 0 || cbLength == 0 || cbLength > 16) {
        stallBoth();
        return stall();
    }
    m_cbw = {};
    m_cbw.tag = le32(&data[4]);
    m_cbw.length = le32(&data[8]);
    m_cbw.in = data[12] & 0x80;
    m_cbw.cdbLength = cbLength;
    std::copy_n(&data[15], 16, m_cbw.cdb);
    m_dataOut.clear();
    m_dataIn.clear();
    // More than the bridge takes in one transfer is answered with a phase error before any buffer of that
    // size is made.
    if (m_cbw.length > m_maxDataPhase) {
        queueStatus(m_cbw.length, kCswPhaseError);
        return r;
    }
    if (m_cbw.length > 0 && !m_cbw.in)
        m_phase = Phase::DataOut;
    else
        execute();
    return r;
}

void BotDevice::execute() {
    bench::ScsiRequest request;
    auto& c = request.command;
    std::copy_n(m_cbw.cdb, 16, c.cdb.begin());
    c.cdbLength = m_cbw.cdbLength;
    c.dataIn = m_cbw.length > 0 && m_cbw.in ? 1 : 0;
    c.transferLength = m_cbw.length;
    // Neither the time-out nor the host's request record travel over USB; the trace keeps their defaults.
    std::vector<std::uint8_t> data = m_cbw.in ? std::vector<std::uint8_t>(m_cbw.length, 0) : m_dataOut;

    const auto target = disk();
    if (!target) {
        queueStatus(m_cbw.length, kCswPhaseError);
        return;
    }
    const bench::ScsiOutcome outcome = m_bench->executeScsi(*target, request, data);
    ++m_commands;
    if (!m_bench->bridgeStatus(m_id).onBus) m_leftBus = true;
    if (!outcome.controlOk) {
        m_dataIn.clear();
        queueStatus(m_cbw.length, kCswPhaseError);
        return;
    }
    const std::uint32_t moved = std::min(outcome.bytesMoved, m_cbw.length);
    const std::uint8_t status = outcome.scsiStatus == bench::kStatusGood ? kCswPassed : kCswFailed;
    queueStatus(m_cbw.length - moved, status);
    if (m_cbw.in && m_cbw.length > 0) {
        m_dataIn.assign(data.begin(), data.begin() + moved);
        m_dataInSent = 0;
        m_phase = Phase::DataIn;
    }
}

void BotDevice::queueStatus(std::uint32_t residue, std::uint8_t status) {
    m_status.assign(kCswSize, 0);
    putLe32(&m_status[0], kCswSignature);
    putLe32(&m_status[4], m_cbw.tag);
    putLe32(&m_status[8], residue);
    m_status[12] = status;
    m_phase = Phase::Status;
}

TransferResult BotDevice::bulkIn(std::uint8_t endpoint, std::uint32_t maxLength) {
    if (endpoint != kBulkInEndpoint || m_configuration == 0 || m_inHalted) return stall();
    if (m_phase == Phase::DataIn) {
        const std::size_t remaining = m_dataIn.size() - m_dataInSent;
        const std::size_t n = std::min<std::size_t>(maxLength, remaining);
        std::vector<std::uint8_t> chunk(m_dataIn.begin() + static_cast<std::ptrdiff_t>(m_dataInSent),
                                        m_dataIn.begin() + static_cast<std::ptrdiff_t>(m_dataInSent + n));
        m_dataInSent += n;
        // A short packet (or all the host asked for) ends the data phase; the status follows.
        if (n < maxLength || m_dataInSent == m_cbw.length) m_phase = Phase::Status;
        return answer(std::move(chunk));
    }
    if (m_phase == Phase::Status) {
        m_phase = Phase::Command;
        return answer(std::move(m_status));
    }
    return {TransferResult::Status::Pending, {}, 0};  // nothing to send: the device NAKs
}

bool BotDevice::takeLeftBus() {
    // The status of the command that restarted the chip goes out before the device leaves the bus.
    if (!m_leftBus || m_phase != Phase::Command) return false;
    m_leftBus = false;
    return true;
}

}  // namespace quib::redir
