#include "bench/bridge/command_rules.h"

#include <cstddef>

#include "bench/byte_order.h"

namespace bench {
namespace {

constexpr std::uint32_t kConfigAreaSize = 128;
constexpr std::uint32_t kFactoryBlockLength = 124;
constexpr std::uint32_t kSectorSize = 512;  // of the 7120's sector write
constexpr std::uint32_t kReadCapacityLength = 8;

// Checks of one command, each adding to `ok`.
class Rules {
  public:
    explicit Rules(const ScsiCommand& c) : m_c(c) {}

    Rules& cdbLength(std::uint8_t length) {
        m_ok = m_ok && m_c.cdbLength == length;
        return *this;
    }
    // Bytes [from, to) are reserved: zero.
    Rules& zero(std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to && i < m_c.cdb.size(); ++i) m_ok = m_ok && m_c.cdb[i] == 0;
        return *this;
    }
    Rules& byte(std::size_t at, std::uint8_t value) {
        m_ok = m_ok && m_c.cdb[at] == value;
        return *this;
    }
    Rules& transfer(std::uint32_t length) {
        m_ok = m_ok && m_c.transferLength == length;
        return *this;
    }
    Rules& dataIn() {
        m_ok = m_ok && (m_c.transferLength == 0 || m_c.dataIn == 1);
        return *this;
    }
    Rules& dataOut() {
        m_ok = m_ok && (m_c.transferLength == 0 || m_c.dataIn == 0);
        return *this;
    }
    Rules& when(bool condition) {
        m_ok = m_ok && condition;
        return *this;
    }
    bool ok() const { return m_ok; }

  private:
    const ScsiCommand& m_c;
    bool m_ok = true;
};

bool wellFormed(const ScsiCommand& c, bool pcie, bool pd) {
    const auto& b = c.cdb;
    Rules r(c);
    switch (b[0]) {
        case 0x00:  // TEST UNIT READY
            return r.cdbLength(6).zero(1, 6).transfer(0).ok();
        case 0x12: {  // INQUIRY, sent in a 6- or 12-byte CDB
            const bool vpd = b[1] & 1;
            return r.when(c.cdbLength == 6 || c.cdbLength == 12)
                .when((b[1] & 0xFE) == 0)
                .when(vpd || b[2] == 0)
                .zero(5, c.cdbLength)
                .when(be16(&b[3]) <= c.transferLength)
                .dataIn()
                .ok();
        }
        case 0x03:  // REQUEST SENSE: fixed format only (no DESC bit)
            return r.cdbLength(6).zero(1, 4).zero(5, 6).transfer(b[4]).dataIn().ok();
        case 0x1A:  // MODE SENSE(6): DBD is the only flag; no subpages
            return r.cdbLength(6)
                .when((b[1] & ~0x08) == 0)
                .zero(3, 4)
                .zero(5, 6)
                .transfer(b[4])
                .dataIn()
                .ok();
        case 0x5A:  // MODE SENSE(10): LLBAA and DBD; no subpages
            return r.cdbLength(10)
                .when((b[1] & ~0x18) == 0)
                .zero(3, 7)
                .zero(9, 10)
                .transfer(be16(&b[7]))
                .dataIn()
                .ok();
        case 0x1B:  // START STOP UNIT: IMMED, START and LOEJ; no power conditions
            return r.cdbLength(6)
                .when((b[1] & ~0x01) == 0)
                .zero(2, 4)
                .when((b[4] & ~0x03) == 0)
                .zero(5, 6)
                .transfer(0)
                .ok();
        case 0x1E:  // PREVENT ALLOW MEDIUM REMOVAL: prevent or allow, nothing else
            return r.cdbLength(6).zero(1, 4).when((b[4] & ~0x01) == 0).zero(5, 6).transfer(0).ok();
        case 0x28:  // READ(10): DPO and FUA only; the chip checks the length against its block size
            return r.cdbLength(10).when((b[1] & ~0x18) == 0).zero(6, 7).zero(9, 10).dataIn().ok();
        case 0x2A:  // WRITE(10): DPO and FUA only, no write protection checks
            return r.cdbLength(10).when((b[1] & ~0x18) == 0).zero(6, 7).zero(9, 10).dataOut().ok();
        case 0x88:  // READ(16)
            return r.cdbLength(16).when((b[1] & ~0x18) == 0).zero(14, 16).dataIn().ok();
        case 0x8A:  // WRITE(16)
            return r.cdbLength(16).when((b[1] & ~0x18) == 0).zero(14, 16).dataOut().ok();
        case 0x9E:  // SERVICE ACTION IN(16): READ CAPACITY(16) only, without PMI
            return r.cdbLength(16)
                .byte(1, 0x10)
                .zero(2, 10)
                .zero(14, 16)
                .transfer(be32(&b[10]))
                .dataIn()
                .ok();
        case 0x25:  // READ CAPACITY(10)
            return r.cdbLength(10).zero(1, 10).transfer(kReadCapacityLength).dataIn().ok();
        case 0x35:  // SYNCHRONIZE CACHE(10)
            return r.cdbLength(10).zero(1, 10).transfer(0).ok();
        case 0xA1:  // ATA PASS-THROUGH(12): the SAT fields are the translation's to judge
            return r.cdbLength(12).when((b[1] & 0x01) == 0).zero(10, 12).ok();
        case 0x85:  // ATA PASS-THROUGH(16)
            return r.cdbLength(16).zero(15, 16).ok();
        case 0xE0:  // configuration area read
            return r.cdbLength(6).zero(2, 6).transfer(kConfigAreaSize).dataIn().ok();
        case 0xE1:  // configuration area write
            return r.cdbLength(6).zero(2, 6).transfer(kConfigAreaSize).dataOut().ok();
        case 0xE2:  // firmware area read: the length in bytes 2..5
            return r.cdbLength(6).when(c.transferLength > 0).transfer(be32(&b[2])).dataIn().ok();
        case 0xE3:  // firmware area write: the piece's length in bytes 2..5
            return r.cdbLength(6).when(c.transferLength > 0).transfer(be32(&b[2])).dataOut().ok();
        case 0xE4:  // register read: the length in byte 1, 0 meaning 256
            return r.cdbLength(6).zero(2, 3).zero(5, 6).transfer(b[1] == 0 ? 256u : b[1]).dataIn().ok();
        case 0xE5:  // register write: the value in byte 1
            return r.cdbLength(6).zero(2, 3).zero(5, 6).transfer(0).ok();
        case 0xE6:  // ATA WRITE DMA EXT wrapper (7120)
            if (pcie) return true;
            return r.cdbLength(16)
                .zero(1, 4)
                .byte(4, 0x35)
                .zero(5, 6)
                .byte(9, 0x40)
                .zero(13, 14)
                .transfer(static_cast<std::uint32_t>(b[14] | (b[15] << 8)) * kSectorSize)
                .dataOut()
                .ok();
        case 0xE8:  // restart
            return r.cdbLength(12).zero(2, 12).transfer(0).ok();
        case 0xEE:  // PCIe configuration read: the length in bytes 1, 2
            if (!pcie) return true;
            return r.cdbLength(6).transfer(be16(&b[1])).dataIn().ok();
        case 0xEF:  // PCIe configuration write: the data in bytes 6..9
            if (!pcie) return true;
            return r.cdbLength(10).zero(1, 3).zero(5, 6).transfer(0).ok();
        case 0xC3:  // factory configuration write
            if (!pcie) return true;
            return r.cdbLength(11)
                .byte(1, 0x30)
                .byte(2, 0x0C)
                .zero(3, 9)
                .byte(9, kFactoryBlockLength)
                .zero(10, 11)
                .transfer(kFactoryBlockLength)
                .dataOut()
                .ok();
        case 0xEC:  // PD controller: the sub-command's own fields are the controller's to judge
            if (pcie && c.cdbLength == 6) return r.zero(3, 6).transfer(0).ok();  // PCIe link speed
            if (!pd) return true;
            return r.cdbLength(8).ok();
        default:
            return true;
    }
}

}  // namespace

std::optional<ScsiReply> refuseMalformed(const ScsiCommand& command, bool pcieFamily, bool pdController) {
    if (wellFormed(command, pcieFamily, pdController)) return std::nullopt;
    return ScsiReply::check(kAscInvalidFieldInCdb);
}

}  // namespace bench
