// The configuration update: a new identity merged into the bridge's configuration block, the firmware
// area's stream written back behind it, and a restart.
#include <cstring>
#include <numeric>
#include <vector>

#include "common/log/debug_log.h"
#include "devcore/frame/library_objects.h"
#include "devcore/transport/device_path.h"
#include "fwupdate/identity_update.h"
#include "fwupdate/image_name.h"
#include "fwupdate/relink.h"
#include "fwupdate/update_context.h"
#include "platform/platform.h"

namespace quib::fwupdate {
namespace {

constexpr std::uint32_t kFirmwareReadLength = 65536;
constexpr std::uint32_t kFirmwareRewriteLength = 0xFF80;  // 65,408 bytes behind the configuration block

struct RecordGroup {
    std::size_t offset, length;
    bool number;  // a 16-bit identifier (copied when not zero) rather than a text (copied when not empty)
};
constexpr RecordGroup kGroups[] = {{0, 20, false},  {20, 36, false}, {56, 8, false}, {64, 32, false},
                                   {96, 16, false}, {112, 2, true},  {114, 2, true}, {116, 2, true}};

}  // namespace

void mergeRecordIntoBlock(ConfigBlock& block, const SerialNumberRecord& record) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&record);
    const bool bValid = block[kConfigSigOffset] == kConfigSig;
    if (!bValid) block.fill(0xFF);
    for (const RecordGroup& g : kGroups) {
        const bool bFilled = g.number ? (bytes[g.offset] | bytes[g.offset + 1]) != 0 : bytes[g.offset] != 0;
        if (!bValid || bFilled)
            std::memcpy(block.data() + kConfigRecordOffset + g.offset, bytes + g.offset, g.length);
    }
    if (!bValid) {
        block[122] = 0xCF;
        block[123] = 0xFF;
        block[124] = 0x02;
        block[125] = 0xFF;
    }
    sealConfigBlock(block);
}

std::optional<std::size_t> shortStreamLength(std::span<const std::uint8_t> stream, std::size_t limit) {
    if (stream.size() < 2) return std::nullopt;
    std::size_t n = stream[0] | (std::size_t{stream[1]} << 8);
    if (n == 0) n = 65536;
    const std::size_t total = 2 + n + 6;
    if (total > limit || total > stream.size()) return std::nullopt;
    const std::uint32_t sum = std::accumulate(
        stream.begin() + 2, stream.begin() + 2 + static_cast<std::ptrdiff_t>(n), std::uint32_t{0});
    if (!isStreamSignature(stream[2 + n]) || stream[2 + n + 1] != static_cast<std::uint8_t>(sum))
        return std::nullopt;
    return total;
}

int updateConfig(std::uint8_t ucTargetNumber, const SerialNumberRecord& record) {
    constexpr auto kFn = "QuibUSBLib_Function_vUpdateConfig";
    LogMessage("%s:%d: QuibUSBLib_Function_vUpdateConfig[%d]", kFn, __LINE__, ucTargetNumber);
    CQuibUSBDev& dev = devcore::theDevice();
    devcore::USBDevEntry* entry = listEntry(dev, ucTargetNumber);
    if (entry == nullptr) return QUIB_INVALID_PARAMETER;
    entry->ucConfigBlock.fill(0xFF);
    if (!dev.bWrRdConfiguration(ucTargetNumber, 0, entry->ucConfigBlock.data(), 0)) return QUIB_FAIL;

    const std::string strPath = devcore::makeDevicePath(false, entry->m_ucPhysicalAddress);
    devcore::ScopedDevice device(strPath, platform::kAccessRead | platform::kAccessWrite);
    std::vector<std::uint8_t> area(kFirmwareReadLength, 0);
    // What is written back below is what this read found: without it nothing is written.
    if (!device.valid() ||
        dev.SCSI7120_AccessFirmwareEEPROM(area.data(), device.get(), 0, kFirmwareReadLength, 0) != 0) {
        LogError("%s:%d: Dev[%d] reading the firmware area of [%s] failed, dwErrorCode %d; nothing written",
                 kFn, __LINE__, ucTargetNumber, strPath.c_str(), platform::lastErrorCode());
        return QUIB_FAIL;
    }
    // Only 65,408 bytes are written back: a longer (or unreadable) stream would be cut and the bridge left
    // without firmware.
    const std::span<const std::uint8_t> stream(area.data() + kConfigBinSize, kFirmwareRewriteLength);
    if (!shortStreamLength(stream, kFirmwareRewriteLength)) {
        LogError(
            "%s:%d: Dev[%d] the firmware stream is not a complete stream of at most %u bytes; nothing "
            "written",
            kFn, __LINE__, ucTargetNumber, kFirmwareRewriteLength);
        return QUIB_FAIL;
    }

    mergeRecordIntoBlock(entry->ucConfigBlock, record);
    device.close();
    if (!dev.bWrRdConfiguration(ucTargetNumber, 1, entry->ucConfigBlock.data(), 0)) return QUIB_FAIL;
    devcore::ScopedDevice again(strPath, platform::kAccessRead | platform::kAccessWrite);
    if (!again.valid() || dev.SCSI7120_AccessFirmwareEEPROM(area.data() + kConfigBinSize, again.get(), 1,
                                                            kFirmwareRewriteLength, 0) != 0) {
        LogError("%s:%d: Dev[%d] writing the firmware stream back failed, dwErrorCode %d", kFn, __LINE__,
                 ucTargetNumber, platform::lastErrorCode());
        return QUIB_FAIL;
    }
    again.close();

    return restartAndFindAgain(kFn, ucTargetNumber, kPlainResetMode, bridgeTypeOf(*entry));
}

}  // namespace quib::fwupdate
