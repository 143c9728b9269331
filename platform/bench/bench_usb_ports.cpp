#include "platform/bench/bench_backend.h"
#include "platform/bench/bench_ports.h"

namespace quib::platform {
namespace {

template <class T>
std::optional<T> orError(std::optional<T> value, std::uint32_t error) {
    if (!value) setLastError(error);
    return value;
}

// Runs a bench query that reports its failure through `error`, then sets the last error from it. (The
// query must run before `error` is read, so it cannot be an argument beside it.)
template <class Query>
auto withError(Query&& query) {
    std::uint32_t error = 0;
    auto value = query(error);
    if (!value) setLastError(error);
    return value;
}

}  // namespace

// ---- USB tree -------------------------------------------------------------------------------------------

std::optional<std::string> BenchUsbTree::hcdDriverKeyName(DeviceHandle controller) {
    const auto t = benchTargetOf(controller);
    if (!t) return orError<std::string>(std::nullopt, kErrorInvalidHandle);
    return withError([&](std::uint32_t& error) { return m_bench->controllerDriverKey(*t, error); });
}

std::optional<std::string> BenchUsbTree::rootHubName(DeviceHandle controller) {
    const auto t = benchTargetOf(controller);
    if (!t) return orError<std::string>(std::nullopt, kErrorInvalidHandle);
    return withError([&](std::uint32_t& error) { return m_bench->rootHubName(*t, error); });
}

std::optional<std::uint32_t> BenchUsbTree::hubPortCount(DeviceHandle hub) {
    const auto t = benchTargetOf(hub);
    if (!t) return orError<std::uint32_t>(std::nullopt, kErrorInvalidHandle);
    return withError([&](std::uint32_t& error) { return m_bench->hubPortCount(*t, error); });
}

std::optional<NodeConnectionInfo> BenchUsbTree::connectionInfo(DeviceHandle hub, std::uint32_t port) {
    const auto t = benchTargetOf(hub);
    if (!t) return orError<NodeConnectionInfo>(std::nullopt, kErrorInvalidHandle);
    std::uint32_t error = 0;
    const auto c = m_bench->connection(*t, port, error);
    if (!c) return orError<NodeConnectionInfo>(std::nullopt, error);
    NodeConnectionInfo info;
    info.status = static_cast<ConnectionStatus>(c->status);
    info.deviceIsHub = c->isHub;
    info.speed = c->speed;
    if (c->status == bench::ConnectionEntry::Status::Connected) {
        const auto& id = c->identity;
        info.descriptor.bcdUSB = id.bcdUsb;
        info.descriptor.bDeviceClass = id.deviceClass;
        info.descriptor.bMaxPacketSize0 = static_cast<std::uint8_t>(id.bcdUsb >= 0x0300 ? 9 : 64);
        info.descriptor.idVendor = id.vid;
        info.descriptor.idProduct = id.pid;
        info.descriptor.bcdDevice = id.bcdDevice;
        info.descriptor.iManufacturer = id.hasManufacturer ? 1 : 0;
        info.descriptor.iProduct = id.hasProduct ? 2 : 0;
        info.descriptor.iSerialNumber = id.hasSerial ? 3 : 0;
        info.descriptor.bNumConfigurations = 1;
    }
    return info;
}

std::optional<std::string> BenchUsbTree::connectionName(DeviceHandle hub, std::uint32_t port) {
    const auto t = benchTargetOf(hub);
    if (!t) return orError<std::string>(std::nullopt, kErrorInvalidHandle);
    return withError([&](std::uint32_t& error) { return m_bench->connectionName(*t, port, error); });
}

std::optional<std::string> BenchUsbTree::connectionDriverKeyName(DeviceHandle hub, std::uint32_t port) {
    const auto t = benchTargetOf(hub);
    if (!t) return orError<std::string>(std::nullopt, kErrorInvalidHandle);
    return withError([&](std::uint32_t& error) { return m_bench->connectionDriverKey(*t, port, error); });
}

std::optional<std::vector<std::uint8_t>> BenchUsbTree::descriptorFromConnection(DeviceHandle hub,
                                                                                std::uint32_t port,
                                                                                const SetupPacket& request) {
    const auto t = benchTargetOf(hub);
    if (!t) return orError<std::vector<std::uint8_t>>(std::nullopt, kErrorInvalidHandle);
    const bench::Bench::ControlRequest r{request.bmRequest, request.bRequest, request.wValue, request.wIndex,
                                         request.wLength};
    return withError([&](std::uint32_t& error) { return m_bench->descriptor(*t, port, r, error); });
}

// ---- device installation services -----------------------------------------------------------------------

std::vector<DeviceInterface> BenchDevices::interfaces(const std::string& interfaceGuid) {
    std::vector<DeviceInterface> out;
    for (auto& i : m_bench->interfaces(interfaceGuid))
        out.push_back({std::move(i.devicePath), std::move(i.instanceId), std::move(i.properties)});
    if (out.empty()) setLastError(kErrorNoMoreItems);
    return out;
}

std::vector<DeviceNode> BenchDevices::allDevices() {
    std::vector<DeviceNode> out;
    for (auto& d : m_bench->allDevices())
        out.push_back({std::move(d.instanceId), std::move(d.classGuid), std::move(d.properties)});
    return out;
}

std::optional<std::string> BenchDevices::descriptionByDriverKey(const std::string& driverKeyName) {
    return orError(m_bench->descriptionByDriverKey(driverKeyName), kErrorFileNotFound);
}

std::optional<std::string> BenchDevices::hardwareIdByDriverKey(const std::string& driverKeyName) {
    return orError(m_bench->hardwareIdByDriverKey(driverKeyName), kErrorFileNotFound);
}

bool BenchDevices::requestEject(const std::string& instanceId) {
    std::uint32_t error = 0;
    if (m_bench->requestEject(instanceId, error)) return true;
    setLastError(error);
    return false;
}

}  // namespace quib::platform
