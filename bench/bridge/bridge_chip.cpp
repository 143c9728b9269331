#include "bench/bridge/bridge_chip.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "bench/bridge/bridge_registers.h"
#include "bench/bridge/command_rules.h"
#include "bench/bridge/image_files.h"
#include "bench/bridge/nvme_ata_view.h"
#include "bench/bridge/sat_translation.h"
#include "bench/byte_order.h"
#include "bench/drive/scsi_disk.h"
#include "bench/hex_text.h"

namespace bench {
namespace {

constexpr std::size_t kInquiryLength = 38;

void putText(std::span<std::uint8_t> field, const std::string& text, std::uint8_t pad) {
    for (std::size_t i = 0; i < field.size(); ++i)
        field[i] = i < text.size() ? static_cast<std::uint8_t>(text[i]) : pad;
}

bool directionFits(const ScsiCommand& c, bool wantIn) {
    if (c.transferLength == 0) return true;
    return wantIn ? c.dataIn == 1 : c.dataIn == 0;
}

std::vector<std::uint8_t> initialPcieSpace() {
    std::vector<std::uint8_t> s(kPcieSpaceSize, 0);
    const std::uint8_t header[] = {0x11, 0x3F, 0x01, 0x00,   // vendor, device
                                   0x06, 0x04, 0x10, 0x00,   // command, status (capability list)
                                   0x00, 0x02, 0x08, 0x01};  // revision, class 01 08 02 (NVMe)
    std::memcpy(s.data(), header, sizeof header);
    s[0x34] = 0x40;
    s[0x40] = 0x10;  // PCI Express capability
    s[0x52] = 0x43;  // link status: 8 GT/s, x4
    return s;
}

}  // namespace

const char* BridgeChip::memoryName(Memory m) {
    static const char* kNames[kMemoryCount] = {"registers",       "config",   "oem_eeprom", "firmware0",
                                               "firmware1",       "factory",  "pcie",       "drive_sectors",
                                               "smart_host_logs", "pd_flash", "mcu_flash"};
    return kNames[m];
}

const std::vector<std::uint8_t>& BridgeChip::memory(Memory m) const {
    static const std::vector<std::uint8_t> kNone;
    if (m == kPdFlash) return m_pd ? m_pd->flash() : kNone;
    if (m == kMcuFlash) return m_pd ? m_pd->mcuFlash() : kNone;
    if (m == kDriveSectors) return m_drive ? m_drive->medium().records() : kNone;
    if (m == kSmartHostLogs) return m_sata ? m_sata->hostLogs() : kNone;
    return m_memories[m];
}

bool BridgeChip::isDirty(Memory m) const {
    if (m == kPdFlash) return m_pd && m_pd->flashDirty();
    if (m == kMcuFlash) return m_pd && m_pd->mcuFlashDirty();
    if (m == kDriveSectors) return m_drive && m_drive->medium().dirty();
    if (m == kSmartHostLogs) return m_sata && m_sata->hostLogsDirty();
    return m_dirty[m];
}

void BridgeChip::clearDirty(Memory m) {
    if (m == kPdFlash && m_pd) m_pd->clearFlashDirty();
    if (m == kMcuFlash && m_pd) m_pd->clearMcuFlashDirty();
    if (m == kDriveSectors && m_drive) m_drive->medium().setDirty(false);
    if (m == kSmartHostLogs && m_sata) m_sata->setHostLogsDirty(false);
    m_dirty[m] = false;
}

void BridgeChip::markAllDirty() {
    m_dirty.fill(true);
    if (m_pd) m_pd->markDirty();
    if (m_drive) m_drive->medium().setDirty(true);
    if (m_sata) m_sata->setHostLogsDirty(true);
}

std::array<std::uint8_t, kConfigBlockSize> makeConfigBlock(const BridgeDescription& b) {
    return makeConfigRecordBlock({b.configuredSerial, b.manufacturer, b.product, b.vid, b.pid, b.bcdDevice},
                                 0xFF);
}

BridgeChip::BridgeChip(const BridgeDescription& description) : m_description(description) {
    if (description.pd) m_pd = std::make_unique<PdController>(*description.pd);
    if (isPcieFamily() && description.drive) {
        m_nvme = std::make_unique<NvmeBridge>(*description.drive);
        m_drive = std::make_unique<NvmeAtaView>(*description.drive);
    } else if (description.drive) {
        auto sata = std::make_unique<SataDrive>(*description.drive);
        m_sata = sata.get();
        m_drive = std::move(sata);
    }
    m_memories[kRegisters].assign(kRegisterSpace, 0);
    const auto block = makeConfigBlock(description);
    m_memories[kConfig].clear();
    for (int bank = 0; bank < 2; ++bank)
        m_memories[kConfig].insert(m_memories[kConfig].end(), block.begin(), block.end());
    m_memories[kOemEeprom].assign(kOemEepromSize, 0xFF);
    if (!description.firmwareVersion.empty()) {
        const auto image = makeImage(description.firmwareVersion, description.firmwareImageSize);
        std::uint8_t signature = signatureForRevisionDigit(description.firmwareVersion[6]);
        if (signature == 0) signature = 0x5A;
        m_memories[kFirmware0] = buildStream(image, signature, description.deviceType == 7);
        m_memories[kFirmware1] = m_memories[kFirmware0];
    }
    m_memories[kFactory] = description.factoryConfig;
    m_memories[kFactory].resize(kFactoryBlockSize, 0xFF);
    if (isPcieFamily())
        m_memories[kPcie] = initialPcieSpace();
    else
        m_memories[kPcie].assign(kPcieSpaceSize, 0);
    boot(false, false);
    markAllDirty();
}

void BridgeChip::boot(bool forceRomCode, bool keepRelinkSignature) {
    std::optional<VersionBytes> version;
    m_romCode = true;
    if (!forceRomCode) {
        const auto& stream = m_memories[kFirmware0];
        if (const auto image = findBootableImage(stream)) {
            m_romCode = false;
            version = versionBytesOfImage(std::span(stream).subspan(image->imageOffset, image->imageLength))
                          .value_or(VersionBytes{});
        }
    }
    auto& regs = mutableMemory(kRegisters);
    const std::uint8_t keep0 = regs[reg::kRelinkSignature], keep1 = regs[reg::kRelinkSignature + 1];
    BridgeDescription trained = m_description;
    const UsbLink link = usbLink();
    trained.link = link.speed;
    trained.lanes = link.lanes;
    deriveRegisters(trained, version ? &*version : nullptr, regs);
    // A restart keeps the signature a run left; the first boot takes what the description says.
    if (keepRelinkSignature) {
        regs[reg::kRelinkSignature] = keep0;
        regs[reg::kRelinkSignature + 1] = keep1;
    }
    m_write = {};
    m_pendingSense.reset();
    if (m_pd) m_pd->bridgeBooted();
}

std::optional<VersionBytes> BridgeChip::runningVersion() const {
    if (m_romCode) return std::nullopt;
    VersionBytes v{};
    std::copy_n(m_memories[kRegisters].begin() + reg::kFirmwareVersion, 6, v.begin());
    return v;
}

void BridgeChip::replaceMemory(Memory m, std::vector<std::uint8_t> bytes) {
    if (m == kPdFlash || m == kMcuFlash) {
        if (!m_pd) return;
        if (m == kPdFlash)
            m_pd->replaceFlash(std::move(bytes));
        else
            m_pd->replaceMcuFlash(std::move(bytes));
        return;
    }
    if (m == kDriveSectors) {
        if (m_drive) m_drive->medium().replaceRecords(std::move(bytes));
        return;
    }
    if (m == kSmartHostLogs) {
        if (m_sata) m_sata->replaceHostLogs(std::move(bytes));
        return;
    }
    m_memories[m] = std::move(bytes);
    m_dirty[m] = false;
}

std::span<const std::uint8_t> BridgeChip::configBank(int bank) const {
    return std::span(m_memories[kConfig])
        .subspan(static_cast<std::size_t>(bank) * kConfigBlockSize, kConfigBlockSize);
}

void BridgeChip::setRegister(std::uint16_t address, std::uint8_t value) {
    mutableMemory(kRegisters)[address] = value;
}

std::optional<std::vector<std::uint8_t>> BridgeChip::driveSector(std::uint64_t lba) const {
    if (!m_drive) return std::nullopt;
    return m_drive->medium().unit(lba);
}

bool BridgeChip::readDrive(std::uint64_t offset, std::span<std::uint8_t> out) const {
    if (!m_drive) return false;
    const std::uint64_t held = m_description.drive->unitsHeld() * SectorStore::kUnit;
    if (offset > held || out.size() > held - offset) return false;
    const std::uint64_t first = offset / SectorStore::kUnit, skip = offset % SectorStore::kUnit;
    if (skip == 0) {
        m_drive->medium().read(first, out);
        return true;
    }
    std::vector<std::uint8_t> whole(skip + out.size());
    m_drive->medium().read(first, whole);
    std::copy(whole.begin() + static_cast<std::ptrdiff_t>(skip), whole.end(), out.begin());
    return true;
}

std::vector<std::pair<std::uint64_t, std::uint64_t>> BridgeChip::writtenDriveExtents(
    std::uint64_t offset, std::uint64_t length) const {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> extents;
    if (!m_drive || length == 0) return extents;
    const std::uint64_t unit = SectorStore::kUnit;
    const std::uint64_t first = offset / unit, end = (offset + length + unit - 1) / unit;
    for (const auto& [from, units] : m_drive->medium().writtenRuns(first, end - first))
        extents.emplace_back(from * unit, units * unit);
    return extents;
}

bool BridgeChip::writeDrive(std::uint64_t offset, std::span<const std::uint8_t> in) {
    if (!m_drive || offset % SectorStore::kUnit != 0 || in.size() % SectorStore::kUnit != 0) return false;
    const std::uint64_t held = m_description.drive->unitsHeld() * SectorStore::kUnit;
    if (offset > held || in.size() > held - offset) return false;
    m_drive->medium().write(offset / SectorStore::kUnit, in);
    return true;
}

void BridgeChip::attachDriveImage(const std::filesystem::path& path) {
    if (m_drive) m_drive->medium().attachImage(path, m_description.drive->unitsHeld() * SectorStore::kUnit);
}

nlohmann::json BridgeChip::runtimeToJson() const {
    nlohmann::json j = {{"rom_code", m_romCode},
                        {"write_selector", m_write.selector},
                        {"write_position", m_write.position},
                        {"write_last_ms", m_write.lastMs}};
    if (m_linkCap) j["link_cap"] = *m_linkCap;
    if (m_pd) j["pd"] = m_pd->runtimeToJson();
    if (m_nvme) j["nvme"] = m_nvme->runtimeToJson();
    if (m_pendingSense) j["pending_sense"] = hexBytes(*m_pendingSense);
    if (m_sata && !m_sata->smartEnabled()) j["smart_disabled"] = true;
    return j;
}

void BridgeChip::runtimeFromJson(const nlohmann::json& json) {
    m_romCode = json.value("rom_code", false);
    m_write.selector = json.value("write_selector", -1);
    m_write.position = json.value("write_position", std::size_t{0});
    m_write.lastMs = json.value("write_last_ms", std::uint64_t{0});
    m_linkCap.reset();
    if (const auto it = json.find("link_cap"); it != json.end() && it->is_number_integer())
        m_linkCap = std::clamp(it->get<int>(), 0, 5);
    if (m_pd) m_pd->runtimeFromJson(json.value("pd", nlohmann::json::object()));
    if (m_nvme) m_nvme->runtimeFromJson(json.value("nvme", nlohmann::json::object()));
    if (m_sata) m_sata->setSmartEnabled(!json.value("smart_disabled", false));
    m_pendingSense.reset();
    if (const auto it = json.find("pending_sense"); it != json.end() && it->is_string()) {
        const auto bytes = parseHexBytes(it->get<std::string>());
        if (bytes && !bytes->empty() && bytes->size() <= SenseData::kMaxSenseLength)
            m_pendingSense = SenseData::fromBytes(bytes->data(), bytes->size());
    }
}

ScsiReply BridgeChip::execute(const ScsiCommand& c, std::span<std::uint8_t> data, std::uint64_t nowMs,
                              const CommandFaults& faults) {
    // Sense data last only until the next command: REQUEST SENSE reads them, anything else drops them.
    const std::optional<SenseData> pending = std::exchange(m_pendingSense, std::nullopt);
    ScsiReply reply = dispatch(c, data, nowMs, faults, pending);
    if (reply.status == kStatusCheckCondition) m_pendingSense = reply.sense;
    return reply;
}

ScsiReply BridgeChip::dispatch(const ScsiCommand& c, std::span<std::uint8_t> data, std::uint64_t nowMs,
                               const CommandFaults& faults, const std::optional<SenseData>& pending) {
    const std::uint8_t op = c.cdb[0];
    if (op != 0xE3) m_write = {};
    if (const auto refusal = refuseMalformed(c, isPcieFamily(), m_pd != nullptr)) {
        m_write = {};
        return *refusal;
    }
    const bool hasDrive = m_description.drive.has_value();
    if (hasDrive && !drivePowered() && isDriveCommand(op, isPcieFamily())) return ScsiReply::check(0x3A);
    switch (op) {
        case 0x00:
            return hasDrive ? ScsiReply::good() : ScsiReply::check(0x3A);
        case 0x12:
            return inquiry(c, data);
        case 0x25:
            return hasDrive ? readCapacity10(*m_description.drive, data)
                            : ScsiReply::check(kAscMediumNotPresent);
        case 0x03:
            return requestSense(c, data, pending);
        case 0x1A:
        case 0x5A:
            return hasDrive ? modeSense(c, data) : ScsiReply::check(kAscMediumNotPresent);
        case 0x28:
        case 0x88:
            if (!hasDrive) return ScsiReply::check(kAscMediumNotPresent);
            return readBlocks(c, data, *m_description.drive, m_drive->medium());
        case 0x2A:
        case 0x8A:
            if (!hasDrive) return ScsiReply::check(kAscMediumNotPresent);
            return writeBlocks(c, data, *m_description.drive, m_drive->medium());
        case 0x9E:
            return hasDrive ? readCapacity16(*m_description.drive, data)
                            : ScsiReply::check(kAscMediumNotPresent);
        case 0x1B:  // START STOP UNIT: the drive spins whatever is asked
        case 0x1E:  // PREVENT ALLOW MEDIUM REMOVAL: nothing to lock
            return ScsiReply::good();
        case 0x35:
            return ScsiReply::good();  // SYNCHRONIZE CACHE(10): the drive has nothing cached
        case kAtaPassThrough12:
        case kAtaPassThrough16:
            if (!m_drive) return ScsiReply::check(kAscMediumNotPresent);
            return ataPassThrough(c, data, *m_drive);
        case 0xE0:
            return directionFits(c, true) ? configRead(c, data) : ScsiReply::check(kAscInvalidFieldInCdb);
        case 0xE1:
            return directionFits(c, false) ? configWrite(c, data) : ScsiReply::check(kAscInvalidFieldInCdb);
        case 0xE2:
            return directionFits(c, true) ? firmwareRead(c, data, faults)
                                          : ScsiReply::check(kAscInvalidFieldInCdb);
        case 0xE3:
            if (!directionFits(c, false)) {
                m_write = {};
                return ScsiReply::check(kAscInvalidFieldInCdb);
            }
            return firmwareWrite(c, data, nowMs, faults);
        case 0xE4:
            return directionFits(c, true) ? registerRead(c, data) : ScsiReply::check(kAscInvalidFieldInCdb);
        case 0xE5:
            return registerWrite(c);
        case 0xE6:
        case 0xA2:
        case kNvmePacketWrite:
        case kNvmePacketRead:
            if (isPcieFamily()) {
                if (!m_nvme) return ScsiReply::check(0x3A);
                if (faults.loseNvmeCompletion) m_nvme->loseNextCompletion();
                return *m_nvme->execute(c, data);
            }
            if (op != 0xE6) break;
            if (!m_drive) return ScsiReply::check(kAscMediumNotPresent);
            return hardDiskWrite(c, data, *m_description.drive, m_drive->medium());
        case 0xE8: {
            // The link trains again when the chip comes back, at most at the speed the mode names.
            m_linkCap = linkCapOfRestartMode(c.cdb[1]);
            ScsiReply r = ScsiReply::good();
            r.event = ChipEvent::Restart;
            r.restartMode = c.cdb[1];
            return r;
        }
        case 0xEE:
            if (!isPcieFamily()) break;
            return directionFits(c, true) ? pcieRead(c, data) : ScsiReply::check(kAscInvalidFieldInCdb);
        case 0xEF:
            if (!isPcieFamily()) break;
            return pcieWrite(c);
        case kPdOpcode:
            if (isPcieFamily() && c.cdbLength == 6) return pcieLinkSet(c);
            if (!m_pd) break;
            return m_pd->execute(c, data, faults.corruptReadOffset);
        case 0xC3:
            if (!isPcieFamily() || c.cdb[1] != 0x30 || c.cdb[2] != 0x0C) break;
            return directionFits(c, false) ? factoryWrite(c, data) : ScsiReply::check(kAscInvalidFieldInCdb);
        default:
            break;
    }
    return ScsiReply::check(kAscInvalidOpcode);
}

bool BridgeChip::drivePowered() const {
    const auto& r = m_memories[kRegisters];
    return !(r[reg::kDrivePowerSelect] & 1) || (r[reg::kDrivePowerLevel] & 1);
}

bool BridgeChip::isDriveCommand(std::uint8_t op, bool pcie) {
    switch (op) {
        case 0x00:
        case 0x1A:
        case 0x25:
        case 0x28:
        case 0x2A:
        case 0x5A:
        case 0x88:
        case 0x8A:
        case 0x85:
        case 0x9E:
        case 0xA1:
        case 0xE6:
            return true;
        case 0xA2:
        case kNvmePacketWrite:
        case kNvmePacketRead:
            return pcie;
        default:
            return false;
    }
}

ScsiReply BridgeChip::pcieLinkSet(const ScsiCommand& c) {
    const std::uint8_t generation = c.cdb[1], width = c.cdb[2];
    if (generation > 2 || width > 2) return ScsiReply::check(kAscInvalidFieldInCdb);
    // The link trains again at once: the link register reads the new generation and lane count.
    setRegister(reg::kPcieLink, static_cast<std::uint8_t>(((generation + 1) << 4) | (1 << width)));
    return ScsiReply::good();
}

ScsiReply BridgeChip::inquiry(const ScsiCommand& c, std::span<std::uint8_t> data) {
    if (!directionFits(c, true)) return ScsiReply::check(kAscInvalidFieldInCdb);
    const std::size_t allocation = be16(&c.cdb[3]);
    std::vector<std::uint8_t> answer;
    if (c.cdb[1] & 1) {
        const std::uint8_t page = c.cdb[2];
        const std::uint8_t type = m_description.cdrom ? 0x05 : 0x00;
        if (page == 0x00) {
            answer = {type, 0x00, 0x00, 0x02, 0x00, 0x80};
            if (isPcieFamily()) {
                answer[3] = 3;
                answer.push_back(0xC8);
            }
        } else if (page == 0x80) {
            answer = {type, 0x80, 0x00, static_cast<std::uint8_t>(m_description.instanceSerial.size())};
            answer.insert(answer.end(), m_description.instanceSerial.begin(),
                          m_description.instanceSerial.end());
        } else if (page == 0xC8 && isPcieFamily()) {
            // The factory block comes back as written, from the first byte of the data on.
            const auto& block = m_memories[kFactory];
            const std::size_t n = std::min(data.size(), std::size_t{512});
            std::fill_n(data.begin(), n, 0);
            std::copy_n(block.begin(), std::min(n, block.size()), data.begin());
            return ScsiReply::good(static_cast<std::uint32_t>(n));
        } else {
            return ScsiReply::check(kAscInvalidFieldInCdb);
        }
    } else {
        if (c.cdb[2] != 0) return ScsiReply::check(kAscInvalidFieldInCdb);
        answer.assign(kInquiryLength, 0);
        answer[0] = m_description.cdrom ? 0x05 : 0x00;
        answer[1] = m_description.cdrom ? 0x80 : 0x00;
        answer[2] = 0x06;
        answer[3] = 0x02;
        answer[4] = static_cast<std::uint8_t>(kInquiryLength - 5);
        std::span<std::uint8_t> a(answer);
        putText(a.subspan(8, 8), m_description.inquiryVendor, ' ');
        putText(a.subspan(16, 16), m_description.inquiryProduct, ' ');
        putText(a.subspan(32, 4), m_description.inquiryRevision, ' ');
        if (isPcieFamily()) {
            answer[36] = 0x00;
            answer[37] = 0x85;
        } else {
            answer[36] = 0x20;
            answer[37] = 0x71;
        }
    }
    const std::size_t n = std::min({answer.size(), allocation, data.size()});
    std::copy_n(answer.begin(), n, data.begin());
    return ScsiReply::good(static_cast<std::uint32_t>(n));
}

ScsiReply BridgeChip::requestSense(const ScsiCommand& c, std::span<std::uint8_t> data,
                                   const std::optional<SenseData>& pending) {
    const SenseData sense = pending.value_or(makeSense(0x00, 0x00));  // NO SENSE when nothing is pending
    const std::size_t n = std::min({sense.size(), std::size_t{c.cdb[4]}, data.size()});
    std::copy_n(sense.begin(), n, data.begin());
    return ScsiReply::good(static_cast<std::uint32_t>(n));
}

ScsiReply BridgeChip::registerRead(const ScsiCommand& c, std::span<std::uint8_t> data) {
    const std::size_t length = c.cdb[1] == 0 ? 256 : c.cdb[1];
    const std::uint16_t address = be16(&c.cdb[3]);
    const std::size_t n = std::min(length, data.size());
    for (std::size_t i = 0; i < n; ++i) data[i] = pinAwareRegister(static_cast<std::uint16_t>(address + i));
    return ScsiReply::good(static_cast<std::uint32_t>(n));
}

std::uint8_t BridgeChip::pinAwareRegister(std::uint16_t address) const {
    const auto& regs = m_memories[kRegisters];
    switch (address) {
        case reg::kGpioInputLevel: {
            // An output pin reads what it drives; an input pin what the outside world drives on it.
            const std::uint8_t outputs = regs[reg::kGpioOutputEnable];
            return static_cast<std::uint8_t>((outputs & regs[reg::kGpioOutputLevel]) |
                                             (~outputs & m_description.gpioInputs));
        }
        case reg::kUartInputLevel: {
            const std::uint8_t stored = regs[address];
            if (regs[reg::kUartDirection] & reg::kUartRxBit) return stored;  // driven by the chip itself
            return static_cast<std::uint8_t>((stored & ~reg::kUartRxBit) |
                                             (m_description.uartRx ? reg::kUartRxBit : 0));
        }
        default:
            return regs[address];
    }
}

ScsiReply BridgeChip::registerWrite(const ScsiCommand& c) {
    setRegister(be16(&c.cdb[3]), c.cdb[1]);
    return ScsiReply::good();
}

ScsiReply BridgeChip::configRead(const ScsiCommand& c, std::span<std::uint8_t> data) {
    const std::uint8_t selector = c.cdb[1];
    std::span<const std::uint8_t> area;
    if (selector == 0 || selector == 1)
        area = configBank(selector);
    else if (selector == kOemSelector)
        area = std::span(m_memories[kOemEeprom]).first(kConfigBlockSize);
    else
        return ScsiReply::check(kAscInvalidFieldInCdb);
    const std::size_t n = std::min(data.size(), kConfigBlockSize);
    std::copy_n(area.begin(), n, data.begin());
    return ScsiReply::good(static_cast<std::uint32_t>(n));
}

ScsiReply BridgeChip::configWrite(const ScsiCommand& c, std::span<std::uint8_t> data) {
    const std::uint8_t selector = c.cdb[1];
    if (data.size() != kConfigBlockSize) return ScsiReply::check(kAscInvalidFieldInCdb);
    if (selector == 0 || selector == 1) {
        std::copy(data.begin(), data.end(), mutableMemory(kConfig).begin() + selector * kConfigBlockSize);
    } else if (selector == kOemSelector) {
        std::copy(data.begin(), data.end(), mutableMemory(kOemEeprom).begin());
    } else {
        return ScsiReply::check(kAscInvalidFieldInCdb);
    }
    return ScsiReply::good(static_cast<std::uint32_t>(data.size()));
}

ScsiReply BridgeChip::firmwareRead(const ScsiCommand& c, std::span<std::uint8_t> data,
                                   const CommandFaults& faults) {
    const std::uint8_t selector = c.cdb[1];
    const std::size_t n = std::min<std::size_t>(be32(&c.cdb[2]), data.size());
    if (selector == 0 || selector == 1) {
        // The area reads as the bank's configuration block followed by its stream; unwritten bytes read 0xFF.
        const auto config = configBank(selector);
        const auto& stream = firmwareBank(selector);
        const std::size_t shift = m_description.readbackShift ? 1 : 0;
        for (std::size_t i = 0; i < n; ++i) {
            if (i < kConfigBlockSize) {
                data[i] = config[i];
            } else {
                const std::size_t at = i - kConfigBlockSize;
                if (at < shift)
                    data[i] = 0x00;
                else
                    data[i] = at - shift < stream.size() ? stream[at - shift] : 0xFF;
            }
        }
    } else if (selector == kOemSelector) {
        const auto& oem = m_memories[kOemEeprom];
        for (std::size_t i = 0; i < n; ++i) data[i] = i < oem.size() ? oem[i] : 0xFF;
    } else {
        return ScsiReply::check(kAscInvalidFieldInCdb);
    }
    if (faults.corruptReadOffset && *faults.corruptReadOffset < n) data[*faults.corruptReadOffset] ^= 0xFF;
    return ScsiReply::good(static_cast<std::uint32_t>(n));
}

ScsiReply BridgeChip::firmwareWrite(const ScsiCommand& c, std::span<std::uint8_t> data, std::uint64_t nowMs,
                                    const CommandFaults& faults) {
    const std::uint8_t selector = c.cdb[1];
    const std::size_t length = be32(&c.cdb[2]);
    if ((selector != 0 && selector != 1 && selector != kOemSelector) || length != data.size()) {
        m_write = {};
        return ScsiReply::check(kAscInvalidFieldInCdb);
    }
    if (m_write.selector != selector || nowMs - m_write.lastMs > kWriteGapMs) m_write = {selector, 0, nowMs};
    const bool oem = selector == kOemSelector;
    const std::size_t limit = oem ? kOemEepromSize : m_description.firmwareAreaSize;
    if (m_write.position + length > limit) {
        m_write = {};
        return ScsiReply::check(kAscLbaOutOfRange);
    }
    const Memory target = oem ? kOemEeprom : selector == 0 ? kFirmware0 : kFirmware1;
    auto& area = mutableMemory(target);
    if (!oem && m_write.position == 0) area.clear();  // a new stream erases the bank

    std::size_t accepted = length;
    bool powerLost = false;
    if (faults.powerLossAfterBytes && m_write.position + length > *faults.powerLossAfterBytes) {
        accepted = *faults.powerLossAfterBytes > m_write.position
                       ? *faults.powerLossAfterBytes - m_write.position
                       : 0;
        powerLost = true;
    }
    if (!oem && area.size() < m_write.position + accepted) area.resize(m_write.position + accepted);
    std::copy_n(data.begin(), accepted, area.begin() + static_cast<std::ptrdiff_t>(m_write.position));
    if (powerLost) {
        m_write = {};
        ScsiReply r = ScsiReply::good(static_cast<std::uint32_t>(accepted));
        r.event = ChipEvent::PowerLoss;
        return r;
    }
    m_write.position += length;
    m_write.lastMs = nowMs;
    return ScsiReply::good(static_cast<std::uint32_t>(length));
}

ScsiReply BridgeChip::pcieRead(const ScsiCommand& c, std::span<std::uint8_t> data) {
    const std::size_t length = be16(&c.cdb[1]);
    const std::size_t offset = be16(&c.cdb[3]);
    if (length % 4 || offset % 4 || length < 4 || length > kPcieSpaceSize ||
        offset + length > kPcieSpaceSize || c.cdb[5] != (length > 4 ? 1 : 0))
        return ScsiReply::check(kAscInvalidFieldInCdb);
    const std::size_t n = std::min(length, data.size());
    std::copy_n(m_memories[kPcie].begin() + static_cast<std::ptrdiff_t>(offset), n, data.begin());
    return ScsiReply::good(static_cast<std::uint32_t>(n));
}

ScsiReply BridgeChip::pcieWrite(const ScsiCommand& c) {
    const std::size_t offset = be16(&c.cdb[3]);
    if (offset % 4 || offset + 4 > kPcieSpaceSize) return ScsiReply::check(kAscInvalidFieldInCdb);
    std::copy_n(&c.cdb[6], 4, mutableMemory(kPcie).begin() + static_cast<std::ptrdiff_t>(offset));
    return ScsiReply::good();
}

ScsiReply BridgeChip::factoryWrite(const ScsiCommand& c, std::span<std::uint8_t> data) {
    if (data.size() != kFactoryBlockSize || c.cdb[9] != kFactoryBlockSize)
        return ScsiReply::check(kAscInvalidFieldInCdb);
    mutableMemory(kFactory).assign(data.begin(), data.end());
    return ScsiReply::good(static_cast<std::uint32_t>(data.size()));
}

}  // namespace bench
