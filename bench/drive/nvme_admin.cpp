#include "bench/drive/nvme_admin.h"

#include <algorithm>
#include <cstring>

namespace bench {
namespace {

constexpr std::uint8_t kOpGetLogPage = 0x02, kOpIdentify = 0x06, kOpSetFeatures = 0x09, kOpGetFeatures = 0x0A;
constexpr std::uint8_t kLogError = 0x01, kLogSmart = 0x02, kLogFirmwareSlot = 0x03;
constexpr std::uint16_t kPciVendor = 0x1D6B;
constexpr std::uint32_t kIdentifyLength = 4096;
constexpr std::uint16_t kKelvinAt25C = 298;

std::uint32_t le32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
           (std::uint32_t{p[3]} << 24);
}
void putLe(std::uint8_t* p, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}
// NVMe text fields: ASCII, left-aligned, padded with spaces.
void putText(std::uint8_t* p, const std::string& text, std::size_t width) {
    std::memset(p, ' ', width);
    std::memcpy(p, text.data(), std::min(text.size(), width));
}
// log2 of the sector size, as the LBA format carries it.
std::uint8_t lbaDataSize(std::uint32_t bytesPerSector) {
    std::uint8_t shift = 0;
    while ((1u << shift) < bytesPerSector) ++shift;
    return shift;
}

}  // namespace

NvmeAdmin::NvmeAdmin(const DriveDescription& drive) : m_drive(drive) {
    m_features[0x02] = 0;           // power management: state 0
    m_features[0x04] = 0x0157;      // temperature threshold: 343 K
    m_features[0x07] = 0x000F000F;  // number of queues: 16 and 16 (0-based)
}

std::vector<std::uint8_t> NvmeAdmin::identify(std::uint8_t cns, std::uint32_t nsid) const {
    std::vector<std::uint8_t> page(kIdentifyLength, 0);
    if (cns == 0x01) {  // controller
        putLe(&page[0], kPciVendor, 2);
        putLe(&page[2], kPciVendor, 2);
        putText(&page[4], m_drive.serial, 20);
        putText(&page[24], m_drive.model, 40);
        putText(&page[64], m_drive.firmware, 8);
        page[77] = 5;                     // maximum data transfer size: 2^5 pages
        putLe(&page[80], 0x00010400, 4);  // version 1.4
        page[260] = 0x14;                 // firmware slots: 2, slot 1 read-only bit clear
        page[261] = 0x03;                 // log page attributes
        putLe(&page[266], 343, 2);        // warning composite temperature threshold
        putLe(&page[268], 358, 2);        // critical composite temperature threshold
        putLe(&page[516], 1, 4);          // one namespace
        return page;
    }
    if (cns == 0x00 && nsid == 1) {  // the namespace
        const std::uint64_t blocks = m_drive.sectors;
        putLe(&page[0], blocks, 8);
        putLe(&page[8], blocks, 8);
        putLe(&page[16], blocks, 8);
        page[25] = 0;  // one LBA format
        page[26] = 0;  // format 0 in use
        page[130] = lbaDataSize(m_drive.bytesPerSector);
        return page;
    }
    return {};  // no such structure
}

std::vector<std::uint8_t> NvmeAdmin::logPage(std::uint8_t lid, std::size_t length) const {
    std::vector<std::uint8_t> page(std::max<std::size_t>(length, 512), 0);
    switch (lid) {
        case kLogError:  // no errors logged: every entry's error count is 0
            break;
        case kLogSmart:
            page[0] = 0;                            // critical warning
            putLe(&page[1], kKelvinAt25C + 10, 2);  // composite temperature: 35 C
            page[3] = 100;                          // available spare
            page[4] = 10;                           // available spare threshold
            page[5] = 3;                            // percentage used
            putLe(&page[32], 123456, 8);            // data units read
            putLe(&page[48], 654321, 8);            // data units written
            putLe(&page[64], 1000000, 8);           // host read commands
            putLe(&page[80], 2000000, 8);           // host write commands
            putLe(&page[112], 42, 8);               // power cycles
            putLe(&page[128], 1234, 8);             // power-on hours
            putLe(&page[144], 7, 8);                // unsafe shutdowns
            putLe(&page[160], 0, 8);                // media errors
            break;
        case kLogFirmwareSlot:
            page[0] = 0x01;  // slot 1 active
            putText(&page[8], m_drive.firmware, 8);
            break;
        default:
            return {};
    }
    page.resize(length);
    return page;
}

std::vector<std::uint8_t> NvmeAdmin::securityReceive(std::size_t length) const {
    // Security protocol information: the list of supported protocols, here protocol 0 alone.
    std::vector<std::uint8_t> answer(length, 0);
    if (length >= 9) {
        answer[7] = 1;  // list length
        answer[8] = 0x00;
    }
    return answer;
}

std::uint32_t NvmeAdmin::feature(std::uint8_t fid) const {
    const auto it = m_features.find(fid);
    return it == m_features.end() ? 0 : it->second;
}

NvmeCompletion NvmeAdmin::complete(std::uint16_t cid, std::uint8_t status, std::uint32_t dw0) {
    NvmeCompletion c{};
    putLe(&c[0], dw0, 4);
    const auto head = static_cast<std::uint16_t>((m_completions + 1) % kQueueDepth);
    putLe(&c[8], head, 2);  // submission queue head pointer; queue 0 (admin)
    putLe(&c[12], cid, 2);
    const std::uint16_t phase = (m_completions / kQueueDepth) % 2 == 0 ? 1 : 0;
    putLe(&c[14], static_cast<std::uint16_t>((std::uint16_t{status} << 1) | phase), 2);  // status code type 0
    ++m_completions;
    return c;
}

NvmeCompletion NvmeAdmin::execute(const NvmeSubmission& entry, std::span<std::uint8_t> data, bool hostReads) {
    const std::uint8_t opcode = entry[0];
    const auto cid = static_cast<std::uint16_t>(entry[2] | (entry[3] << 8));
    const std::uint32_t nsid = le32(&entry[4]);
    const std::uint32_t cdw10 = le32(&entry[40]), cdw11 = le32(&entry[44]);
    auto answer = [&](const std::vector<std::uint8_t>& bytes) {
        if (bytes.empty()) return complete(cid, kNvmeInvalidField, 0);
        if (!hostReads) return complete(cid, kNvmeInvalidField, 0);  // a reading command given data to write
        std::fill(data.begin(), data.end(), 0);
        std::copy_n(bytes.begin(), std::min(bytes.size(), data.size()), data.begin());
        return complete(cid, kNvmeSuccess, 0);
    };
    switch (opcode) {
        case kOpIdentify:
            if ((cdw10 & 0xFF) == 0x00 && nsid != 1) return complete(cid, kNvmeInvalidNamespace, 0);
            return answer(identify(static_cast<std::uint8_t>(cdw10 & 0xFF), nsid));
        case kOpGetLogPage: {
            const std::size_t dwords = ((cdw10 >> 16) & 0x0FFF) + 1;  // NUMDL, 0-based
            return answer(logPage(static_cast<std::uint8_t>(cdw10 & 0xFF), dwords * 4));
        }
        case kOpGetFeatures: {
            const auto fid = static_cast<std::uint8_t>(cdw10 & 0xFF);
            if (!m_features.count(fid)) return complete(cid, kNvmeInvalidField, 0);
            return complete(cid, kNvmeSuccess, m_features[fid]);
        }
        case kOpSetFeatures: {
            const auto fid = static_cast<std::uint8_t>(cdw10 & 0xFF);
            if (!m_features.count(fid) || fid == 0x07) return complete(cid, kNvmeInvalidField, 0);
            m_features[fid] = cdw11;
            return complete(cid, kNvmeSuccess, 0);
        }
        default:
            return complete(cid, kNvmeInvalidOpcode, 0);
    }
}

}  // namespace bench
