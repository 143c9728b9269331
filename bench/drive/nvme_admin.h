// The NVMe drive behind a PCIe bridge: its admin command set as the bridge's packet commands reach it.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <span>
#include <vector>

#include "bench/description.h"

namespace bench {

using NvmeSubmission = std::array<std::uint8_t, 64>;
using NvmeCompletion = std::array<std::uint8_t, 16>;

// Status codes (generic command status) the model returns.
inline constexpr std::uint8_t kNvmeSuccess = 0x00;
inline constexpr std::uint8_t kNvmeInvalidOpcode = 0x01;
inline constexpr std::uint8_t kNvmeInvalidField = 0x02;
inline constexpr std::uint8_t kNvmeInvalidNamespace = 0x0B;

class NvmeAdmin {
  public:
    static constexpr std::uint32_t kQueueDepth =
        32;  // admin completion queue entries; the phase tag flips at each wrap

    explicit NvmeAdmin(const DriveDescription& drive);

    // Executes one submission entry. `data` is the host's data buffer: filled for a command that returns
    // data (what the command returns beyond it is lost, a shorter answer leaves the rest zero), read for one
    // that takes data. The completion entry carries the command identifier, the status and the phase tag.
    NvmeCompletion execute(const NvmeSubmission& entry, std::span<std::uint8_t> data, bool hostReads);

    // The data of the fixed bridge commands: Identify (CNS), a 512-byte log page, Security Receive.
    std::vector<std::uint8_t> identify(std::uint8_t cns, std::uint32_t nsid) const;
    std::vector<std::uint8_t> logPage(std::uint8_t lid, std::size_t length) const;
    std::vector<std::uint8_t> securityReceive(std::size_t length) const;

    std::uint32_t feature(std::uint8_t fid) const;
    std::uint64_t commandsExecuted() const { return m_completions; }

  private:
    NvmeCompletion complete(std::uint16_t cid, std::uint8_t status, std::uint32_t dw0);

    DriveDescription m_drive;
    std::map<std::uint8_t, std::uint32_t> m_features;
    std::uint64_t m_completions = 0;
};

}  // namespace bench
