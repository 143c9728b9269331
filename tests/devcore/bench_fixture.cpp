#include "tests/devcore/bench_fixture.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <stdexcept>

#include "common/log/debug_log.h"
#include "devcore/transport/device_path.h"
#include "platform/bench/bench_backend.h"
#include "tests/common/temp_path.h"

namespace devcore_test {

json bridgePort(std::uint32_t port, const std::string& id, const std::string& serial, json extra) {
    json bridge = {{"id", id}, {"serial", serial}};
    for (auto& [key, value] : extra.items()) bridge[key] = value;
    return {{"port", port}, {"bridge", bridge}};
}

json controller(json ports, std::uint32_t portCount) {
    return {{"hardware_id", "PCI\\VEN_8086&DEV_A36D&SUBSYS_72708086&REV_10"},
            {"ports", {{"port_count", portCount}, {"ports", std::move(ports)}}}};
}

json benchOf(json controllers) {
    return {{"system_disks", 1}, {"system_volume_letter", "C"}, {"controllers", std::move(controllers)}};
}

json benchOfBridges(const std::vector<json>& bridges) {
    json ports = json::array();
    for (std::size_t i = 0; i < bridges.size(); ++i)
        ports.push_back({{"port", i + 1}, {"bridge", bridges[i]}});
    return benchOf(json::array({controller(ports, 8)}));
}

namespace {

class PathModule : public quib::platform::Module {
  public:
    explicit PathModule(quib::platform::Module& inner) : m_inner(inner) {}
    std::string executablePath() override { return m_path.empty() ? m_inner.executablePath() : m_path; }
    std::optional<std::span<const std::uint8_t>> findResource(std::string_view type, int id) override {
        return m_inner.findResource(type, id);
    }
    void* loadLibrary(const std::string& path) override { return m_inner.loadLibrary(path); }
    void* findSymbol(void* library, const char* name) override { return m_inner.findSymbol(library, name); }
    bool freeLibrary(void* library) override { return m_inner.freeLibrary(library); }

    std::string m_path;

  private:
    quib::platform::Module& m_inner;
};

class ThrowingStorage : public quib::platform::Storage {
  public:
    explicit ThrowingStorage(quib::platform::Storage& inner) : m_inner(inner) {}
    quib::platform::DeviceHandle open(const std::string& path, std::uint32_t access) override {
        return m_inner.open(path, access);
    }
    void close(quib::platform::DeviceHandle handle) override { m_inner.close(handle); }
    quib::platform::ScsiResult scsiPassThrough(quib::platform::DeviceHandle handle,
                                               quib::records::ScsiPassThroughWithBuffers& record,
                                               std::uint32_t inputSize, std::uint32_t outputSize) override {
        if (m_throws > 0) {
            --m_throws;
            throw std::runtime_error("pass-through blew up");
        }
        return m_inner.scsiPassThrough(handle, record, inputSize, outputSize);
    }
    quib::platform::ScsiResult scsiPassThroughDirect(quib::platform::DeviceHandle handle,
                                                     quib::records::ScsiPassThroughDirect& record,
                                                     std::span<std::uint8_t> data) override {
        return m_inner.scsiPassThroughDirect(handle, record, data);
    }
    std::optional<quib::platform::StorageDeviceNumber> deviceNumber(quib::platform::DeviceHandle h) override {
        return m_inner.deviceNumber(h);
    }
    std::optional<quib::platform::StorageDescriptor> storageDescriptor(
        quib::platform::DeviceHandle h) override {
        return m_inner.storageDescriptor(h);
    }
    std::optional<quib::platform::DriveGeometry> driveGeometry(quib::platform::DeviceHandle h) override {
        return m_inner.driveGeometry(h);
    }
    quib::platform::ScsiResult ataPassThroughDirect(quib::platform::DeviceHandle h,
                                                    quib::platform::AtaRequest& request,
                                                    std::span<std::uint8_t> data) override {
        return m_inner.ataPassThroughDirect(h, request, data);
    }
    std::optional<std::uint32_t> readAt(quib::platform::DeviceHandle h, std::uint64_t offset,
                                        std::span<std::uint8_t> data) override {
        return m_inner.readAt(h, offset, data);
    }
    std::optional<std::uint32_t> writeAt(quib::platform::DeviceHandle h, std::uint64_t offset,
                                         std::span<const std::uint8_t> data) override {
        return m_inner.writeAt(h, offset, data);
    }
    bool lockVolume(quib::platform::DeviceHandle h) override { return m_inner.lockVolume(h); }
    bool dismountVolume(quib::platform::DeviceHandle h) override { return m_inner.dismountVolume(h); }
    bool unlockVolume(quib::platform::DeviceHandle h) override { return m_inner.unlockVolume(h); }
    bool updateProperties(quib::platform::DeviceHandle h) override { return m_inner.updateProperties(h); }
    std::optional<quib::platform::PartitionInfo> partitionInfo(quib::platform::DeviceHandle h) override {
        return m_inner.partitionInfo(h);
    }
    bool setPartitionType(quib::platform::DeviceHandle h, std::uint8_t type) override {
        return m_inner.setPartitionType(h, type);
    }
    std::optional<std::uint32_t> partitionCount(quib::platform::DeviceHandle h) override {
        return m_inner.partitionCount(h);
    }

    int m_throws = 0;

  private:
    quib::platform::Storage& m_inner;
};

}  // namespace

class DecoratedBackend : public quib::platform::Backend {
  public:
    explicit DecoratedBackend(std::unique_ptr<quib::platform::Backend> inner)
        : m_inner(std::move(inner)),
          m_module(m_inner->platform().module),
          m_storage(m_inner->platform().storage),
          m_platform{m_inner->platform().files,    m_module,
                     m_inner->platform().registry, m_inner->platform().ui,
                     m_inner->platform().clock,    m_storage,
                     m_inner->platform().usb,      m_inner->platform().devices,
                     m_inner->platform().volumes,  m_inner->platform().dialog,
                     m_inner->platform().process} {}
    quib::platform::Platform& platform() override { return m_platform; }

    std::unique_ptr<quib::platform::Backend> m_inner;
    PathModule m_module;
    ThrowingStorage m_storage;
    quib::platform::Platform m_platform;
};

void BenchTest::TearDown() {
    quib::devcore::testing::reset();
    quib::platform::install(nullptr);
    m_backend = nullptr;
    m_work.reset();
}

bench::Bench& BenchTest::useBench(const json& description) {
    quib::devcore::testing::reset();
    m_bench = bench::Bench::fromJson(description);
    auto backend = std::make_unique<DecoratedBackend>(quib::platform::makeBenchBackend(m_bench));
    m_backend = backend.get();
    quib::platform::install(std::move(backend));
    if (!m_work) m_work = std::make_unique<TempFolder>();
    setExecutablePath(inWorkFolder("KRV610xFWUpg"));
    return *m_bench;
}

std::vector<bench::TraceRecord> BenchTest::bridgeTrace() {
    std::vector<bench::TraceRecord> out;
    for (auto& record : m_bench->trace())
        if (m_bench->description().bridgeIndex(record.device) >= 0) out.push_back(record);
    return out;
}

int ScanTest::scan(const json& description, const char* target, int bridgeType) {
    useBench(description);
    quib::log::setLevel(3);
    m_list = std::make_unique<USBDevListExp>();
    return QuibUSBLib_Function_vScanUSBPort(m_list.get(), target, bridgeType);
}

std::vector<std::string> ScanTest::serials() {
    std::vector<std::string> out;
    for (int i = 0; i < count(); ++i) out.push_back(entry(i).strSerialNumber);
    return out;
}

bool BenchTest::debugContains(const std::string& text) {
    for (const auto& line : m_bench->debugLines())
        if (line.find(text) != std::string::npos) return true;
    return false;
}

quib::platform::DeviceHandle BenchTest::openDisk(int number) {
    return quib::devcore::openDevice(quib::devcore::makeDevicePath(false, number));
}

void BenchTest::throwOnPassThrough(int count) {
    m_backend->m_storage.m_throws = count;
}

void BenchTest::setExecutablePath(const std::string& path) {
    m_backend->m_module.m_path = path;
}

TempFolder::TempFolder() {
    m_path = quib::testing::freshTempPath("devcore").string();
    std::filesystem::remove_all(m_path);
    std::filesystem::create_directories(m_path);
}

TempFolder::~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

}  // namespace devcore_test

namespace devcore_test {

std::string BenchTest::inWorkFolder(std::string relative) const {
    constexpr auto separator = static_cast<char>(std::filesystem::path::preferred_separator);
    std::replace(relative.begin(), relative.end(), '/', separator);
    return workFolder() + separator + relative;
}

}  // namespace devcore_test
