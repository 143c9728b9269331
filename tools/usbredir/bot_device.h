// One bench bridge as a USB mass-storage device with bulk-only transport: the control requests a host
// sends to it, and the command block / data / status exchange on its two bulk endpoints. Every CDB goes
// to the bench's bridge model; descriptors come from the bench, so the bench's control trace records
// what the host asked for. It knows nothing of usbredir: the connection feeds it requests and sends back
// what it answers.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bench/bench.h"

namespace quib::redir {

inline constexpr std::uint8_t kBulkInEndpoint = 0x81;  // as the bench's configuration descriptor lists them
inline constexpr std::uint8_t kBulkOutEndpoint = 0x02;
// The bulk packet size the bench's configuration descriptor gives for a link speed (ConnectionEntry::speed).
inline std::uint16_t bulkMaxPacket(std::uint8_t speed) {
    return speed <= 1 ? 64 : speed == 2 ? 512 : 1024;
}

struct SetupPacket {
    std::uint8_t requestType = 0, request = 0;
    std::uint16_t value = 0, index = 0, length = 0;
};

struct TransferResult {
    enum class Status { Ok, Stall, Pending };
    Status status = Status::Ok;
    std::vector<std::uint8_t> data;  // data in; for data out, empty
    std::uint32_t accepted = 0;      // bytes taken from a data-out transfer
};

class BotDevice {
  public:
    BotDevice(std::shared_ptr<bench::Bench> bench, std::string bridgeId);

    const std::string& bridgeId() const { return m_id; }
    // The identity the device announces when it connects (from the bench, nothing traced).
    bench::ConnectionEntry connection() const;
    bool onBus() const;

    // Called when the device appears on the bus again (a new incarnation of the chip): the disk is
    // opened afresh and the transport starts idle, unconfigured.
    void attach();
    void busReset();

    TransferResult control(const SetupPacket& setup, const std::vector<std::uint8_t>& dataOut);
    std::uint8_t configuration() const { return m_configuration; }
    bool setConfiguration(std::uint8_t value);

    TransferResult bulkOut(std::uint8_t endpoint, const std::vector<std::uint8_t>& data);
    // `maxLength` is what the host asked for; Pending when the device has nothing to send yet.
    TransferResult bulkIn(std::uint8_t endpoint, std::uint32_t maxLength);

    // True once after a command made the bridge leave the bus (a restart): the status went out first.
    bool takeLeftBus();
    std::uint64_t commandsExecuted() const { return m_commands; }

  private:
    enum class Phase { Command, DataOut, DataIn, Status };
    struct Cbw {
        std::uint32_t tag = 0;
        std::uint32_t length = 0;
        bool in = false;
        std::uint8_t cdbLength = 0;
        std::uint8_t cdb[16] = {};
    };

    void execute();
    void queueStatus(std::uint32_t residue, std::uint8_t status);
    void stallBoth();
    std::optional<bench::Target> disk();

    std::shared_ptr<bench::Bench> m_bench;
    std::string m_id;
    int m_bridge = -1;
    std::optional<bench::Target> m_hub;
    std::uint32_t m_port = 0;
    std::uint32_t m_maxDataPhase = 0;  // the bridge's largest transfer
    std::optional<bench::Target> m_disk;

    std::uint8_t m_configuration = 0;
    Phase m_phase = Phase::Command;
    Cbw m_cbw;
    std::vector<std::uint8_t> m_dataOut;
    std::vector<std::uint8_t> m_dataIn;
    std::size_t m_dataInSent = 0;
    std::vector<std::uint8_t> m_status;
    bool m_inHalted = false, m_outHalted = false;
    bool m_leftBus = false;
    std::uint64_t m_commands = 0;
};

}  // namespace quib::redir
