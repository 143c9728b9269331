#include "platform/bench/bench_backend.h"
#include "platform/bench/bench_ports.h"

namespace quib::platform {

// ---- registry -------------------------------------------------------------------------------------------

bool BenchRegistry::keyExists(const std::string& subKey) {
    if (m_bench->registryKeyExists(subKey)) return true;
    setLastError(kErrorFileNotFound);
    return false;
}

bool BenchRegistry::createKey(const std::string& subKey) {
    if (m_bench->createRegistryKey(subKey)) return true;
    setLastError(kErrorAccessDenied);
    return false;
}

std::optional<RegistryValue> BenchRegistry::readValue(const std::string& subKey, const std::string& name) {
    const auto entry = m_bench->readRegistry(subKey, name);
    if (!entry) {
        setLastError(kErrorFileNotFound);
        return std::nullopt;
    }
    return RegistryValue{static_cast<RegistryType>(entry->type), entry->data};
}

bool BenchRegistry::writeValue(const std::string& subKey, const std::string& name,
                               const RegistryValue& value) {
    if (!m_bench->registryWritable(subKey)) {
        setLastError(kErrorAccessDenied);
        return false;
    }
    m_bench->writeRegistry(subKey, name,
                           bench::RegistryEntry{static_cast<std::uint32_t>(value.type), value.data});
    return true;
}

// ---- user interface -------------------------------------------------------------------------------------

int BenchUserInterface::messageBox(const std::string& text, const std::string& caption, std::uint32_t style) {
    return m_bench->messageBox(text, caption, style);
}

void BenchUserInterface::debugOutput(std::string_view text) {
    m_bench->debugOutput(text);
}

// ---- clock ----------------------------------------------------------------------------------------------

std::uint64_t BenchClock::tickMs() {
    return m_bench->nowMs();
}
std::int64_t BenchClock::unixSeconds() {
    return m_bench->unixSeconds();
}
std::int64_t BenchClock::performanceCounter() {
    return static_cast<std::int64_t>(m_bench->nowUs()) * 10;
}
void BenchClock::sleepMs(std::uint32_t ms) {
    m_bench->sleepMs(ms);
}

// ---- volumes --------------------------------------------------------------------------------------------

std::optional<std::string> BenchVolumes::volumeNameForMountPoint(const std::string& mountPoint) {
    std::uint32_t error = 0;
    auto name = m_bench->volumeNameForMountPoint(mountPoint, error);
    if (!name) setLastError(error);
    return name;
}

std::optional<std::vector<DiskExtent>> BenchVolumes::diskExtents(DeviceHandle volume) {
    const auto target = benchTargetOf(volume);
    if (!target) {
        setLastError(kErrorInvalidHandle);
        return std::nullopt;
    }
    std::uint32_t error = 0;
    const auto extents = m_bench->diskExtents(*target, error);
    if (!extents) {
        setLastError(error);
        return std::nullopt;
    }
    std::vector<DiskExtent> out;
    for (const auto& e : *extents) out.push_back({e.diskNumber, e.startingOffset, e.extentLength});
    return out;
}

std::uint32_t BenchVolumes::driveType(const std::string& rootPath) {
    return m_bench->driveType(rootPath);
}
std::uint32_t BenchVolumes::processorArchitecture() {
    return m_bench->processorArchitecture();
}

std::optional<Volumes::Information> BenchVolumes::volumeInformation(const std::string& rootPath) {
    std::uint32_t error = 0;
    const auto facts = m_bench->volumeFacts(rootPath, error);
    if (!facts) {
        setLastError(error);
        return std::nullopt;
    }
    setLastError(kErrorSuccess);
    return Information{facts->fileSystem, facts->label, facts->serial};
}

std::optional<std::uint64_t> BenchVolumes::freeBytes(const std::string& rootPath) {
    std::uint32_t error = 0;
    const auto facts = m_bench->volumeFacts(rootPath, error);
    if (!facts || !facts->freeBytes) {
        setLastError(facts ? kErrorNotSupported : error);
        return std::nullopt;
    }
    setLastError(kErrorSuccess);
    return facts->freeBytes;
}

bool BenchVolumes::setVolumeLabel(const std::string& rootPath, const std::string& label) {
    std::uint32_t error = 0;
    const bool ok = m_bench->setVolumeLabel(rootPath, label, error);
    setLastError(ok ? kErrorSuccess : error);
    return ok;
}

std::optional<std::uint32_t> BenchProcess::runHidden(const std::string& program, const std::string& arguments,
                                                     std::uint32_t timeoutMs) {
    (void)timeoutMs;  // the bench's programs finish at once
    std::uint32_t error = 0;
    const auto code = m_bench->runProgram(
        program, arguments,
        [this](const std::string& path) -> std::optional<std::string> {
            const auto bytes = m_files.readFile(path);
            if (!bytes) return std::nullopt;
            return std::string(bytes->begin(), bytes->end());
        },
        error);
    setLastError(code ? kErrorSuccess : error);
    return code;
}

}  // namespace quib::platform

namespace quib::platform {

int BenchDialog::showUntilClosed() {
    if (m_bench->description().dialogLeftToWindow) {
        const int answer = m_host.showUntilClosed();
        return m_bench->dialogCall(call("show", {}, answer));
    }
    // A real window would wait for its user whatever the script says: it is left to close with the process.
    if (!m_hostWindowAlwaysWaits) m_host.showUntilClosed();
    return m_bench->dialogCall(call("show"));
}

}  // namespace quib::platform
