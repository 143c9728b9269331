// The bench: construction, persistence, clock, registry, message boxes and inspection.
#include "bench/bench.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "bench/bench_internal.h"
#include "bench/hex_text.h"

namespace bench {
namespace {

constexpr const char* kDescriptionFile = "bench.json";
constexpr const char* kStateFile = "state.json";
constexpr const char* kRegistryFile = "registry.json";
constexpr const char* kTraceFile = "trace.jsonl";
constexpr const char* kControlTraceFile = "control_trace.jsonl";
constexpr const char* kDebugFile = "debug.log";
constexpr const char* kMessageBoxFile = "message_boxes.jsonl";
constexpr const char* kDialogFile = "dialog.jsonl";

std::string fnv1a(const std::string& text) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : text) h = (h ^ c) * 0x100000001b3ull;
    return hexNumber(h, 16, false);
}

std::string memoryFile(const std::string& bridgeId, BridgeChip::Memory m) {
    return "chips/" + bridgeId + "/" + BridgeChip::memoryName(m) + ".bin";
}

int defaultAnswer(std::uint32_t style) {
    switch (style & 0xF) {
        case 2:
            return 3;  // abort, retry, ignore
        case 3:        // yes, no, cancel
        case 4:
            return 6;  // yes, no
        case 5:
            return 4;  // retry, cancel
        case 6:
            return 2;  // cancel, try again, continue
        default:
            return 1;  // OK, OK/cancel
    }
}

// The records of a JSON-lines file; lines that are not JSON (a write cut short) are passed over.
template <class Record, class FromJson>
std::vector<Record> readJsonLines(const std::string& text, FromJson fromJson) {
    std::vector<Record> out;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.empty()) continue;
        const auto j = nlohmann::json::parse(line, nullptr, false);
        if (!j.is_discarded()) out.push_back(fromJson(j));
    }
    return out;
}

}  // namespace

nlohmann::json traceToJson(const TraceRecord& r) {
    nlohmann::json j = {{"time_ms", r.timeMs},
                        {"device", r.device},
                        {"cdb", hexBytes(r.cdb)},
                        {"cdb_length", r.cdbLength},
                        {"data_in", r.dataIn},
                        {"transfer_length", r.transferLength},
                        {"timeout", r.timeoutSeconds},
                        {"input_size", r.inputSize},
                        {"output_size", r.outputSize},
                        {"direct", r.direct},
                        {"header_length", r.header.length},
                        {"path_id", r.header.pathId},
                        {"target_id", r.header.targetId},
                        {"lun", r.header.lun},
                        {"sense_length", r.header.senseInfoLength},
                        {"sense_offset", r.header.senseInfoOffset},
                        {"data_offset", r.header.dataBufferOffset},
                        {"control_ok", r.controlOk},
                        {"error", r.systemError},
                        {"scsi_status", r.scsiStatus},
                        {"bytes", r.bytesMoved}};
    if (r.scsiStatus != 0) j["sense"] = hexBytes(std::vector<std::uint8_t>(r.sense.begin(), r.sense.end()));
    return j;
}

TraceRecord traceFromJson(const nlohmann::json& j) {
    TraceRecord r;
    r.timeMs = j.value("time_ms", std::uint64_t{0});
    r.device = j.value("device", std::string());
    r.cdb = parseHexBytes(j.value("cdb", std::string())).value_or(std::vector<std::uint8_t>{});
    r.cdbLength = j.value("cdb_length", std::uint8_t{0});
    r.dataIn = j.value("data_in", std::uint8_t{0});
    r.transferLength = j.value("transfer_length", 0u);
    r.timeoutSeconds = j.value("timeout", 0u);
    r.inputSize = j.value("input_size", 0u);
    r.outputSize = j.value("output_size", 0u);
    r.direct = j.value("direct", false);
    r.header.length = j.value("header_length", std::uint16_t{0});
    r.header.pathId = j.value("path_id", std::uint8_t{0});
    r.header.targetId = j.value("target_id", std::uint8_t{0});
    r.header.lun = j.value("lun", std::uint8_t{0});
    r.header.senseInfoLength = j.value("sense_length", std::uint8_t{0});
    r.header.senseInfoOffset = j.value("sense_offset", 0u);
    r.header.dataBufferOffset = j.value("data_offset", 0u);
    r.controlOk = j.value("control_ok", false);
    r.systemError = j.value("error", 0u);
    r.scsiStatus = j.value("scsi_status", std::uint8_t{0});
    r.bytesMoved = j.value("bytes", 0u);
    if (const auto sense = parseHexBytes(j.value("sense", std::string())); sense)
        r.sense = SenseData::fromBytes(sense->data(), sense->size());
    return r;
}

nlohmann::json controlTraceToJson(const ControlTraceRecord& r) {
    return {{"time_ms", r.timeMs},       {"device", r.device},      {"port", r.port},
            {"bm_request", r.bmRequest}, {"b_request", r.bRequest}, {"w_value", r.wValue},
            {"w_index", r.wIndex},       {"w_length", r.wLength},   {"ok", r.ok},
            {"error", r.systemError},    {"bytes", r.bytes}};
}

ControlTraceRecord controlTraceFromJson(const nlohmann::json& j) {
    ControlTraceRecord r;
    r.timeMs = j.value("time_ms", std::uint64_t{0});
    r.device = j.value("device", std::string());
    r.port = j.value("port", 0u);
    r.bmRequest = j.value("bm_request", std::uint8_t{0});
    r.bRequest = j.value("b_request", std::uint8_t{0});
    r.wValue = j.value("w_value", std::uint16_t{0});
    r.wIndex = j.value("w_index", std::uint16_t{0});
    r.wLength = j.value("w_length", std::uint16_t{0});
    r.ok = j.value("ok", false);
    r.systemError = j.value("error", 0u);
    r.bytes = j.value("bytes", 0u);
    return r;
}

Bench::Bench(BenchDescription description, std::unique_ptr<FolderStore> store, std::string descriptionHash)
    : m_description(std::move(description)),
      m_names(nameTopology(m_description)),
      m_store(std::move(store)),
      m_descriptionHash(std::move(descriptionHash)),
      m_state(std::make_unique<State>()) {
    for (const auto& b : m_description.bridges) m_chips.push_back(std::make_unique<BridgeChip>(b));
    m_memoryRevisions.assign(m_chips.size(), {});
    // Enumeration faults given by location must name a real port.
    for (const auto& f : m_description.faults) {
        if (f.kind != FaultDescription::Kind::Enumeration || !f.bridge.empty()) continue;
        if (static_cast<std::size_t>(f.controller) >= m_description.controllers.size())
            throw BenchError("enumeration fault: there is no controller " + std::to_string(f.controller));
        int hub = m_description.controllers[static_cast<std::size_t>(f.controller)].rootHub;
        for (std::size_t i = 0; i < f.ports.size(); ++i) {
            const auto& ports = m_description.hubs[static_cast<std::size_t>(hub)].ports;
            if (f.ports[i] == 0 || f.ports[i] > ports.size())
                throw BenchError("enumeration fault: there is no port " + std::to_string(f.ports[i]));
            if (i + 1 == f.ports.size()) break;
            const PortSlot& slot = ports[f.ports[i] - 1];
            if (slot.kind != PortSlot::Kind::Hub)
                throw BenchError("enumeration fault: port " + std::to_string(f.ports[i]) + " holds no hub");
            hub = slot.index;
        }
    }
}

Bench::~Bench() = default;

std::shared_ptr<Bench> Bench::fromJson(const nlohmann::json& json) {
    auto description = parseDescription(json, "bench description");
    std::shared_ptr<Bench> bench(new Bench(std::move(description), nullptr, fnv1a(json.dump())));
    std::lock_guard guard(bench->m_mutex);
    bench->initialiseState();
    bench->syncOut();
    return bench;
}

std::shared_ptr<Bench> Bench::openFolder(const std::filesystem::path& folder) {
    const auto file = folder / kDescriptionFile;
    std::ifstream in(file, std::ios::binary);
    if (!in) throw BenchError(file.string() + ": missing or unreadable (not a bench folder)");
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    nlohmann::json json;
    try {
        json = nlohmann::json::parse(text);
    } catch (const nlohmann::json::exception& e) {
        throw BenchError(file.string() + ": malformed JSON: " + e.what());
    }
    auto description = parseDescription(json, file.string());
    auto store = std::make_unique<FolderStore>(folder);
    std::shared_ptr<Bench> bench(new Bench(std::move(description), std::move(store), fnv1a(json.dump())));

    std::lock_guard guard(bench->m_mutex);
    bench->m_store->lock();
    struct Unlock {
        FolderStore& s;
        ~Unlock() { s.unlock(); }
    } unlock{*bench->m_store};
    bool reuse = false;
    if (const auto stateText = bench->m_store->readText(kStateFile)) {
        try {
            reuse = nlohmann::json::parse(*stateText).value("description_hash", std::string()) ==
                    bench->m_descriptionHash;
        } catch (const nlohmann::json::exception&) {
            reuse = false;  // a damaged state starts the bench afresh
        }
    }
    if (!reuse) {
        // A new or edited description starts the bench afresh, its drives blank.
        std::error_code ignored;
        std::filesystem::remove_all(folder / "chips", ignored);
    }
    for (std::size_t b = 0; b < bench->m_chips.size(); ++b)
        bench->m_chips[b]->attachDriveImage(
            bench->m_store->pathOf("chips/" + bench->m_description.bridges[b].id + "/drive.img"));
    if (reuse) {
        bench->m_generation = bench->m_store->readGeneration();
        bench->loadState();
    } else {
        bench->initialiseState();
        bench->syncOut();
    }
    return bench;
}

std::shared_ptr<Bench> Bench::createFolder(const std::filesystem::path& folder,
                                           const nlohmann::json& description) {
    parseDescription(description, (folder / kDescriptionFile).string());  // refuse before touching the folder
    std::filesystem::create_directories(folder);
    for (const char* name : {kStateFile, kRegistryFile, kTraceFile, kControlTraceFile, kDebugFile,
                             kMessageBoxFile, kDialogFile, "generation"})
        std::filesystem::remove(folder / name);
    std::filesystem::remove_all(folder / "chips");
    std::ofstream(folder / kDescriptionFile, std::ios::binary | std::ios::trunc)
        << description.dump(2) << "\n";
    return openFolder(folder);
}

std::optional<std::filesystem::path> Bench::folder() const {
    if (!m_store) return std::nullopt;
    return m_store->folder();
}

// ---- state --------------------------------------------------------------------------------------------

void Bench::initialiseState() {
    State& s = *m_state;
    s = State{};
    s.bridges.assign(m_chips.size(), BridgeSlot{});
    s.devicesEjected.assign(m_description.devices.size(), false);
    s.faults.assign(m_description.faults.size(), FaultCounter{});
    s.volumeLetters.assign(m_description.volumes.size(), 0);
    for (const auto& [key, values] : m_description.registry)
        for (const auto& [name, entry] : values) s.registry.write(key, name, entry);
    s.highestDisk = static_cast<int>(m_description.systemDisks.size()) - 1;
    // Fixed numbers first, then the others in tree order.
    for (std::size_t b = 0; b < m_chips.size(); ++b) {
        const auto& d = m_description.bridges[b];
        if (d.diskNumber) s.bridges[b].diskNumber = *d.diskNumber;
        if (d.cdromNumber) s.bridges[b].cdromNumber = *d.cdromNumber;
    }
    for (std::size_t b = 0; b < m_chips.size(); ++b) placeBridge(static_cast<int>(b), true);
    updateDiskEnum();
    for (auto& chip : m_chips) chip->markAllDirty();
    m_dirty = true;
    m_registryDirty = true;
}

void Bench::loadState() {
    const auto text = m_store->readText(kStateFile);
    if (!text) throw BenchError(m_store->pathOf(kStateFile).string() + ": missing");
    nlohmann::json j;
    try {
        j = nlohmann::json::parse(*text);
    } catch (const nlohmann::json::exception& e) {
        throw BenchError(m_store->pathOf(kStateFile).string() + ": malformed JSON: " + e.what());
    }
    State& s = *m_state;
    s.clockMs = j.value("clock_ms", std::uint64_t{0});
    s.clockUs = j.value("clock_us", std::uint32_t{0}) % 1000;
    s.highestDisk = j.value("highest_disk", -1);
    s.highestCdrom = j.value("highest_cdrom", -1);
    s.answersUsed = j.value("message_box_answers_used", std::size_t{0});
    s.bridges.assign(m_chips.size(), BridgeSlot{});
    const auto& bridges = j.value("bridges", nlohmann::json::array());
    for (std::size_t b = 0; b < m_chips.size() && b < bridges.size(); ++b) {
        const auto& bj = bridges[b];
        BridgeSlot& slot = s.bridges[b];
        slot.onBus = bj.value("on_bus", true);
        slot.ejected = bj.value("ejected", false);
        slot.stuckOff = bj.value("stuck_off", false);
        if (bj.contains("return_at_ms") && bj.at("return_at_ms").is_number())
            slot.returnAtMs = bj.at("return_at_ms").get<std::uint64_t>();
        slot.romCodeOnReturn = bj.value("rom_code_on_return", false);
        slot.powerCycleOnReturn = bj.value("power_cycle_on_return", false);
        slot.diskNumber = bj.value("disk_number", -1);
        slot.cdromNumber = bj.value("cdrom_number", -1);
        slot.incarnation = bj.value("incarnation", 0u);
        slot.restarts = bj.value("restarts", 0u);
        BridgeChip& chip = *m_chips[b];
        chip.runtimeFromJson(bj.value("chip", nlohmann::json::object()));
        const auto& revisions = bj.value("memory_revisions", nlohmann::json::object());
        for (int m = 0; m < BridgeChip::kMemoryCount; ++m) {
            const auto mem = static_cast<BridgeChip::Memory>(m);
            const std::uint64_t rev = revisions.value(BridgeChip::memoryName(mem), std::uint64_t{0});
            if (rev == m_memoryRevisions[b][static_cast<std::size_t>(m)]) continue;
            const std::string file = memoryFile(m_description.bridges[b].id, mem);
            auto bytes = m_store->read(file);
            if (!bytes) throw BenchError(m_store->pathOf(file).string() + ": missing");
            chip.replaceMemory(mem, std::move(*bytes));
            m_memoryRevisions[b][static_cast<std::size_t>(m)] = rev;
        }
    }
    const auto& ejected = j.value("devices_ejected", nlohmann::json::array());
    s.devicesEjected.assign(m_description.devices.size(), false);
    for (std::size_t i = 0; i < s.devicesEjected.size() && i < ejected.size(); ++i)
        s.devicesEjected[i] = ejected[i].get<bool>();
    const std::string letters = j.value("volume_letters", std::string());
    s.volumeLetters.assign(m_description.volumes.size(), 0);
    for (std::size_t i = 0; i < s.volumeLetters.size() && i < letters.size(); ++i)
        s.volumeLetters[i] = letters[i] == '-' ? 0 : letters[i];
    const auto& faults = j.value("faults", nlohmann::json::array());
    s.faults.assign(m_description.faults.size(), FaultCounter{});
    for (std::size_t i = 0; i < s.faults.size() && i < faults.size(); ++i) {
        s.faults[i].matched = faults[i].value("matched", 0u);
        s.faults[i].fired = faults[i].value("fired", false);
    }
    const auto registryText = m_store->readText(kRegistryFile);
    if (registryText) {
        try {
            s.registry = RegistryStore::fromJson(nlohmann::json::parse(*registryText),
                                                 m_store->pathOf(kRegistryFile).string());
        } catch (const nlohmann::json::exception& e) {
            throw BenchError(m_store->pathOf(kRegistryFile).string() + ": malformed JSON: " + e.what());
        }
    }
    m_dirty = false;
    m_registryDirty = false;
}

void Bench::syncIn() {
    const std::uint64_t generation = m_store->readGeneration();
    if (generation == m_generation) return;
    loadState();
    m_generation = generation;
}

bool Bench::anyChipDirty() const {
    for (const auto& chip : m_chips)
        for (int m = 0; m < BridgeChip::kMemoryCount; ++m)
            if (chip->isDirty(static_cast<BridgeChip::Memory>(m))) return true;
    return false;
}

void Bench::syncOut() {
    if (!m_dirty && !m_registryDirty && !anyChipDirty()) return;
    if (!m_store) {
        for (auto& chip : m_chips)
            for (int m = 0; m < BridgeChip::kMemoryCount; ++m)
                chip->clearDirty(static_cast<BridgeChip::Memory>(m));
        m_dirty = m_registryDirty = false;
        return;
    }
    const State& s = *m_state;
    nlohmann::json bridges = nlohmann::json::array();
    for (std::size_t b = 0; b < m_chips.size(); ++b) {
        BridgeChip& chip = *m_chips[b];
        nlohmann::json revisions = nlohmann::json::object();
        for (int m = 0; m < BridgeChip::kMemoryCount; ++m) {
            const auto mem = static_cast<BridgeChip::Memory>(m);
            auto& rev = m_memoryRevisions[b][static_cast<std::size_t>(m)];
            if (chip.isDirty(mem)) {
                m_store->write(memoryFile(m_description.bridges[b].id, mem), chip.memory(mem));
                ++rev;
                chip.clearDirty(mem);
            }
            revisions[BridgeChip::memoryName(mem)] = rev;
        }
        const BridgeSlot& slot = s.bridges[b];
        bridges.push_back(
            {{"id", m_description.bridges[b].id},
             {"on_bus", slot.onBus},
             {"ejected", slot.ejected},
             {"stuck_off", slot.stuckOff},
             {"return_at_ms", slot.returnAtMs ? nlohmann::json(*slot.returnAtMs) : nlohmann::json()},
             {"rom_code_on_return", slot.romCodeOnReturn},
             {"power_cycle_on_return", slot.powerCycleOnReturn},
             {"disk_number", slot.diskNumber},
             {"cdrom_number", slot.cdromNumber},
             {"incarnation", slot.incarnation},
             {"restarts", slot.restarts},
             {"chip", chip.runtimeToJson()},
             {"memory_revisions", revisions}});
    }
    nlohmann::json faults = nlohmann::json::array();
    for (const auto& f : s.faults) faults.push_back({{"matched", f.matched}, {"fired", f.fired}});
    std::string letters;
    for (const char letter : s.volumeLetters) letters += letter ? letter : '-';
    const nlohmann::json state = {{"description_hash", m_descriptionHash},
                                  {"clock_ms", s.clockMs},
                                  {"clock_us", s.clockUs},
                                  {"highest_disk", s.highestDisk},
                                  {"highest_cdrom", s.highestCdrom},
                                  {"message_box_answers_used", s.answersUsed},
                                  {"bridges", bridges},
                                  {"devices_ejected", s.devicesEjected},
                                  {"faults", faults},
                                  {"volume_letters", letters}};
    m_store->writeText(kStateFile, state.dump(1) + "\n");
    if (m_registryDirty) m_store->writeText(kRegistryFile, s.registry.toJson().dump(2) + "\n");
    m_generation = std::max(m_store->readGeneration(), m_generation) + 1;
    m_store->writeGeneration(m_generation);
    m_dirty = m_registryDirty = false;
}

// ---- clock --------------------------------------------------------------------------------------------

std::uint64_t Bench::nowMs() {
    return transact([&] { return m_state->clockMs; });
}

std::int64_t Bench::unixSeconds() {
    return transact(
        [&] { return m_description.clockStartUnix + static_cast<std::int64_t>(m_state->clockMs / 1000); });
}

std::uint64_t Bench::nowUs() {
    return transact([&] { return m_state->clockMs * 1000 + m_state->clockUs; });
}

void Bench::advanceUs(std::uint64_t us) {
    const std::uint64_t total = m_state->clockUs + us;
    m_state->clockMs += total / 1000;
    m_state->clockUs = static_cast<std::uint32_t>(total % 1000);
    m_dirty = true;
}

void Bench::sleepMs(std::uint64_t ms) {
    transact([&] {
        m_state->clockMs += ms;
        m_dirty = true;
    });
}

// ---- registry -----------------------------------------------------------------------------------------

bool Bench::registryKeyExists(const std::string& key) {
    return transact([&] { return m_state->registry.keyExists(key); });
}

std::optional<RegistryEntry> Bench::readRegistry(const std::string& key, const std::string& name) {
    return transact([&] { return m_state->registry.read(key, name); });
}

void Bench::writeRegistry(const std::string& key, const std::string& name, const RegistryEntry& entry) {
    transact([&] {
        m_state->registry.write(key, name, entry);
        m_registryDirty = true;
    });
}

bool Bench::registryWritable(const std::string& key) {
    const std::string wanted = toLower(key);
    for (const std::string& readOnly : m_description.registryReadOnly) {
        const std::string prefix = toLower(readOnly);
        if (wanted.compare(0, prefix.size(), prefix) == 0 &&
            (wanted.size() == prefix.size() || wanted[prefix.size()] == '\\'))
            return false;
    }
    return true;
}

bool Bench::createRegistryKey(const std::string& key) {
    if (!registryWritable(key)) return false;
    transact([&] {
        if (m_state->registry.keyExists(key)) return;
        m_state->registry.createKey(key);
        m_registryDirty = true;
    });
    return true;
}

// ---- message boxes and debug output ---------------------------------------------------------------------

int Bench::messageBox(const std::string& text, const std::string& caption, std::uint32_t style) {
    return transact([&] {
        int answer = defaultAnswer(style);
        if (m_state->answersUsed < m_description.messageBoxAnswers.size()) {
            answer = m_description.messageBoxAnswers[m_state->answersUsed++];
            m_dirty = true;
        }
        MessageBoxRecord r{text, caption, style, answer, m_state->clockMs};
        // The user does what the box asks before answering it.
        if (text.rfind(kPowerCyclePrompt, 0) == 0)
            for (std::size_t b = 0; b < m_chips.size(); ++b) {
                const PdController* pd = m_chips[b]->pd();
                if (pd && pd->userPowerCycles() && pd->writtenSinceBoot())
                    powerCycleBridge(static_cast<int>(b));
            }
        if (m_store) {
            m_store->appendLine(kMessageBoxFile, nlohmann::json{{"text", r.text},
                                                                {"caption", r.caption},
                                                                {"style", r.style},
                                                                {"answer", r.answer},
                                                                {"time_ms", r.timeMs}}
                                                     .dump());
        } else {
            m_messageBoxes.push_back(r);
        }
        return answer;
    });
}

int Bench::dialogCall(DialogRecord r) {
    return transact([&] {
        r.timeMs = m_state->clockMs;
        if (r.op == "show" && !m_description.dialogLeftToWindow)
            r.value = m_description.dialogClosedByUser ? 2 : 1;
        if (m_store)
            m_store->appendLine(kDialogFile, nlohmann::json{{"op", r.op},
                                                            {"text", r.text},
                                                            {"value", r.value},
                                                            {"value2", r.value2},
                                                            {"value3", r.value3},
                                                            {"time_ms", r.timeMs}}
                                                 .dump());
        else
            m_dialogCalls.push_back(r);
        return static_cast<int>(r.value);
    });
}

std::vector<DialogRecord> Bench::dialogCalls() {
    return transact([&] {
        if (!m_store) return m_dialogCalls;
        return readJsonLines<DialogRecord>(
            m_store->readText(kDialogFile).value_or(""), [](const nlohmann::json& j) {
                return DialogRecord{j.value("op", std::string()),       j.value("text", std::string()),
                                    j.value("value", std::int64_t{0}),  j.value("value2", std::int64_t{0}),
                                    j.value("value3", std::int64_t{0}), j.value("time_ms", std::uint64_t{0})};
            });
    });
}

std::vector<MessageBoxRecord> Bench::messageBoxes() {
    return transact([&] {
        if (!m_store) return m_messageBoxes;
        return readJsonLines<MessageBoxRecord>(
            m_store->readText(kMessageBoxFile).value_or(""), [](const nlohmann::json& j) {
                return MessageBoxRecord{j.value("text", std::string()), j.value("caption", std::string()),
                                        j.value("style", 0u), j.value("answer", 0),
                                        j.value("time_ms", std::uint64_t{0})};
            });
    });
}

void Bench::debugOutput(std::string_view text) {
    std::lock_guard guard(m_mutex);
    if (m_store)
        m_store->appendLine(kDebugFile, std::string(text));
    else
        m_debugLines.emplace_back(text);
}

std::vector<std::string> Bench::debugLines() {
    std::lock_guard guard(m_mutex);
    return m_debugLines;
}

// ---- inspection -----------------------------------------------------------------------------------------

std::vector<Bench::BridgeStatus> Bench::bridgeStatus() {
    return transact([&] {
        std::vector<BridgeStatus> out;
        for (std::size_t b = 0; b < m_chips.size(); ++b) {
            const BridgeSlot& slot = m_state->bridges[b];
            const BridgeChip& chip = *m_chips[b];
            BridgeStatus st;
            st.id = m_description.bridges[b].id;
            st.onBus = bridgeReachable(static_cast<int>(b));
            st.ejected = slot.ejected;
            st.stuckOff = slot.stuckOff;
            st.returnAtMs = slot.returnAtMs;
            if (st.onBus) {
                st.diskNumber = m_description.bridges[b].cdrom ? -1 : slot.diskNumber;
                st.cdromNumber = m_description.bridges[b].cdrom ? slot.cdromNumber : -1;
            }
            st.restarts = slot.restarts;
            st.romCode = chip.inRomCode();
            if (const auto v = chip.runningVersion()) st.runningVersion = formatVersion(*v);
            out.push_back(st);
        }
        return out;
    });
}

Bench::BridgeStatus Bench::bridgeStatus(const std::string& id) {
    for (auto& st : bridgeStatus())
        if (st.id == id) return st;
    throw BenchError("there is no bridge \"" + id + "\"");
}

void Bench::withChip(const std::string& id, const std::function<void(BridgeChip&)>& f) {
    transact([&] {
        const int b = m_description.bridgeIndex(id);
        if (b < 0) throw BenchError("there is no bridge \"" + id + "\"");
        const auto before = m_chips[static_cast<std::size_t>(b)]->runtimeToJson();
        f(*m_chips[static_cast<std::size_t>(b)]);
        if (m_chips[static_cast<std::size_t>(b)]->runtimeToJson() != before) m_dirty = true;
    });
}

void Bench::replug(const std::string& id) {
    transact([&] {
        const int b = m_description.bridgeIndex(id);
        if (b < 0) throw BenchError("there is no bridge \"" + id + "\"");
        BridgeSlot& slot = m_state->bridges[static_cast<std::size_t>(b)];
        slot.ejected = false;
        slot.stuckOff = false;
        slot.onBus = false;
        slot.returnAtMs = m_state->clockMs;  // back at once, like a chip returning from a restart
        m_dirty = true;
        settle();
    });
}

void Bench::powerCycle(const std::string& bridgeId) {
    transact([&] {
        const int b = m_description.bridgeIndex(bridgeId);
        if (b < 0) throw BenchError("there is no bridge \"" + bridgeId + "\"");
        powerCycleBridge(b);
    });
}

std::vector<TraceRecord> Bench::trace() {
    std::lock_guard guard(m_mutex);
    return m_trace;
}

std::vector<TraceRecord> Bench::traceAll() {
    return transact([&] {
        if (!m_store) return m_trace;
        return readJsonLines<TraceRecord>(m_store->readText(kTraceFile).value_or(""), traceFromJson);
    });
}

std::vector<ControlTraceRecord> Bench::controlTrace() {
    std::lock_guard guard(m_mutex);
    return m_controlTrace;
}

std::vector<ControlTraceRecord> Bench::controlTraceAll() {
    return transact([&] {
        if (!m_store) return m_controlTrace;
        return readJsonLines<ControlTraceRecord>(m_store->readText(kControlTraceFile).value_or(""),
                                                 controlTraceFromJson);
    });
}

void Bench::record(const std::string& device, const ScsiRequest& request, const ScsiOutcome& outcome) {
    TraceRecord r;
    r.timeMs = m_state->clockMs;
    r.device = device;
    const auto& c = request.command;
    r.cdbLength = c.cdbLength;
    r.cdb.assign(c.cdb.begin(), c.cdb.begin() + std::min<std::size_t>(c.cdbLength, c.cdb.size()));
    r.dataIn = c.dataIn;
    r.transferLength = c.transferLength;
    r.timeoutSeconds = c.timeoutSeconds;
    r.inputSize = request.inputSize;
    r.outputSize = request.outputSize;
    r.direct = request.direct;
    r.header = request.header;
    r.controlOk = outcome.controlOk;
    r.systemError = outcome.systemError;
    r.scsiStatus = outcome.scsiStatus;
    r.bytesMoved = outcome.bytesMoved;
    r.sense = outcome.sense;
    if (m_store) m_store->appendLine(kTraceFile, traceToJson(r).dump());
    m_trace.push_back(std::move(r));
}

void Bench::recordControl(ControlTraceRecord r) {
    r.timeMs = m_state->clockMs;
    if (m_store) m_store->appendLine(kControlTraceFile, controlTraceToJson(r).dump());
    m_controlTrace.push_back(std::move(r));
}

}  // namespace bench
