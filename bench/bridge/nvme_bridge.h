// The NVMe side of a PCIe bridge: the fixed Identify, Get Log Page and Security Receive commands, the
// three-phase packet protocol that carries any admin command to the drive, NVMe reset and the activity LED.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>

#include "bench/description.h"
#include "bench/drive/nvme_admin.h"
#include "bench/scsi_types.h"

namespace bench {

inline constexpr std::uint8_t kNvmePacketWrite = 0xEA, kNvmePacketRead = 0xEB;

class NvmeBridge {
  public:
    explicit NvmeBridge(const DriveDescription& drive) : m_admin(drive) {}

    // The reply to one of the commands above; none for any other command.
    std::optional<ScsiReply> execute(const ScsiCommand& c, std::span<std::uint8_t> data);

    // The next completion the drive would post is lost: the bridge's completion buffer keeps its FF bytes.
    void loseNextCompletion() { m_loseCompletion = true; }

    std::uint32_t resets() const { return m_resets; }
    std::optional<std::uint8_t> led() const { return m_led; }
    const NvmeAdmin& admin() const { return m_admin; }

    // Reset count and LED, kept with the bench between runs.
    nlohmann::json runtimeToJson() const;
    void runtimeFromJson(const nlohmann::json& json);

  private:
    ScsiReply fixedCommand(const ScsiCommand& c, std::span<std::uint8_t> data);
    ScsiReply packet(const ScsiCommand& c, std::span<std::uint8_t> data);

    NvmeAdmin m_admin;
    std::optional<NvmeSubmission> m_pending;  // after the submission phase
    std::uint8_t m_pendingKind = 0;
    std::optional<NvmeCompletion> m_completion;  // after the data phase
    bool m_loseCompletion = false;
    std::uint32_t m_resets = 0;
    std::optional<std::uint8_t> m_led;
};

}  // namespace bench
