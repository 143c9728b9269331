// The library's scan on the Linux ports: a sysfs tree laid out as the kernel shows two bridges, with SG_IO
// and usbfs answered by the bench's bridges behind it. Discovery must find both under the kernel's names
// and numbers, and the bench must have received the commands.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "bench_fixture.h"
#include "common/log/debug_log.h"
#include "platform/bench/bench_backend.h"
#include "platform/linux/disk_enum_registry.h"
#include "platform/linux/linux_devices.h"
#include "platform/linux/linux_sg_io.h"
#include "platform/linux/usbfs_control.h"
#include "tests/platform/linux/sysfs_builder.h"

namespace devcore_test {
namespace {

using namespace quib::platform;

// The Linux ports over the sysfs tree; everything else from the bench backend.
class LinuxOverBench : public Backend {
  public:
    LinuxOverBench(std::unique_ptr<Backend> bench, LinuxDeviceRoots roots)
        : m_bench(std::move(bench)),
          m_devices(std::move(roots)),
          m_registry(m_bench->platform().registry, m_devices),
          m_platform{m_bench->platform().files,
                     m_bench->platform().module,
                     m_registry,
                     m_bench->platform().ui,
                     m_bench->platform().clock,
                     m_devices,
                     m_devices,
                     m_devices,
                     m_devices,
                     m_bench->platform().dialog,
                     m_bench->platform().process} {}
    Platform& platform() override { return m_platform; }

  private:
    std::unique_ptr<Backend> m_bench;
    LinuxDevices m_devices;
    DiskEnumRegistry m_registry;
    Platform m_platform;
};

// Where the stubs send what the kernel would have sent to a device.
struct BenchSide {
    std::unique_ptr<Backend> backend;
    std::string devRoot;
    std::vector<std::pair<ino_t, int>> diskOfNode;  // generic node's inode -> bench disk number
    DeviceHandle rootHub = kInvalidHandle;
    int commands = 0, requests = 0;
};
BenchSide* g_side = nullptr;

int sgIoToBench(int fd, sg_io_hdr_t& h) {
    struct stat st {};
    ::fstat(fd, &st);
    int disk = -1;
    for (const auto& [inode, number] : g_side->diskOfNode)
        if (inode == st.st_ino) disk = number;
    Platform& os = g_side->backend->platform();
    const DeviceHandle target =
        os.storage.open("\\\\.\\PHYSICALDRIVE" + std::to_string(disk), kAccessRead | kAccessWrite);
    if (!isValid(target)) {
        errno = ENODEV;
        return -1;
    }
    ++g_side->commands;
    quib::records::ScsiPassThroughDirect r{};
    r.spt.Length = sizeof r.spt;
    r.spt.CdbLength = h.cmd_len;
    r.spt.SenseInfoLength = h.mx_sb_len;
    r.spt.SenseInfoOffset = offsetof(quib::records::ScsiPassThroughDirect, ucSenseBuf);
    r.spt.DataIn = h.dxfer_direction == SG_DXFER_FROM_DEV ? 1 : h.dxfer_direction == SG_DXFER_TO_DEV ? 0 : 2;
    r.spt.DataTransferLength = h.dxfer_len;
    r.spt.TimeOutValue = h.timeout / 1000;
    std::memcpy(r.spt.Cdb, h.cmdp, h.cmd_len);
    const auto result = os.storage.scsiPassThroughDirect(
        target, r, std::span<std::uint8_t>(static_cast<std::uint8_t*>(h.dxferp), h.dxfer_len));
    os.storage.close(target);
    if (!result.ok) {
        errno = EIO;
        return -1;
    }
    h.status = r.spt.ScsiStatus;
    h.resid = static_cast<int>(h.dxfer_len - r.spt.DataTransferLength);
    h.sb_len_wr = r.spt.SenseInfoLength;
    if (h.sb_len_wr) std::memcpy(h.sbp, r.ucSenseBuf, h.sb_len_wr);
    h.host_status = h.driver_status = 0;
    return 0;
}

int usbfsToBench(const std::string& node, usbdevfs_ctrltransfer& t) {
    // Bridges sit at bus 1, device numbers 2, 3, ... on root ports 1, 2, ...
    const std::string prefix = g_side->devRoot + "/bus/usb/001/";
    if (node.rfind(prefix, 0) != 0) {
        errno = ENODEV;
        return -1;
    }
    const auto port = static_cast<std::uint32_t>(std::stoi(node.substr(prefix.size())) - 1);
    ++g_side->requests;
    const auto answer = g_side->backend->platform().usb.descriptorFromConnection(
        g_side->rootHub, port, SetupPacket{t.bRequestType, t.bRequest, t.wValue, t.wIndex, t.wLength});
    if (!answer) {
        errno = lastError() == kErrorGenFailure ? EPIPE : ENODEV;
        return -1;
    }
    std::memcpy(t.data, answer->data(), answer->size());
    return static_cast<int>(answer->size());
}

class LinuxScanTest : public ScanTest {
  protected:
    void TearDown() override {
        sgio::setSgIoCall(nullptr);
        usbfs::setControlCall(nullptr);
        g_side = nullptr;
        ScanTest::TearDown();
    }
};

TEST_F(LinuxScanTest, FindsBothBridgesUnderTheKernelsNamesAndNumbers) {
    const json description = benchOf(json::array(
        {controller(json::array({bridgePort(1, "b0", "KRV-SN-0001"), bridgePort(2, "b1", "KRV-SN-0002")}))}));
    useBench(description);
    TempFolder sysRoot, devRoot;
    SysfsBuilder sys(sysRoot.path());
    const std::string root = sys.controller("0000:00:04.0", 1, 4);
    const char* serial[] = {"KRV-SN-0001", "KRV-SN-0002"};
    for (int i = 0; i < 2; ++i) {
        const std::string name = "1-" + std::to_string(i + 1);
        const std::string bridge =
            sys.usbDevice(root, name, 1, i + 2, 0x3f10, 0x7120, 0x0100, 0, "5000", 0, serial[i]);
        sys.usbDisk(bridge, i == 0 ? "sda" : "sdb", "sg" + std::to_string(i), i, "KRV", "USB3.0 Bridge",
                    1 << 20);
    }
    sys.scsiDisk("devices/pci0000:00/0000:00:05.0/virtio1/host9/target9:0:0/9:0:0:0", "vda", "", "QEMU",
                 "Disk", 100);

    BenchSide side;
    side.backend = makeBenchBackend(m_bench);
    side.devRoot = devRoot.path();
    for (int i = 0; i < 2; ++i) {
        const std::string node = devRoot.path() + "/sg" + std::to_string(i);
        std::ofstream(node) << "";
        struct stat st {};
        ASSERT_EQ(::stat(node.c_str(), &st), 0);
        side.diskOfNode.emplace_back(st.st_ino, i + 1);  // the bench numbers its bridges' disks 1 and 2
    }
    Platform& benchOs = side.backend->platform();
    const auto hc = benchOs.storage.open(
        benchOs.devices.interfaces(kGuidUsbHostController).front().devicePath, kAccessRead | kAccessWrite);
    side.rootHub = benchOs.storage.open("\\\\.\\" + *benchOs.usb.rootHubName(hc), kAccessRead | kAccessWrite);
    g_side = &side;
    sgio::setSgIoCall(&sgIoToBench);
    usbfs::setControlCall(&usbfsToBench);
    install(std::make_unique<LinuxOverBench>(makeBenchBackend(m_bench),
                                             LinuxDeviceRoots{sysRoot.path(), devRoot.path()}));

    quib::log::setLevel(3);
    m_list = std::make_unique<USBDevListExp>();
    const int scanned = QuibUSBLib_Function_vScanUSBPort(m_list.get(), "0", 0);
    std::string log;
    for (const auto& line : debugLines()) log += line + "\n";
    ASSERT_EQ(scanned, 0) << log;
    ASSERT_EQ(count(), 2);
    EXPECT_EQ(serials(), (std::vector<std::string>{"KRV-SN-0001", "KRV-SN-0002"}));
    // sda and sdb come after the virtio system disk: PHYSICALDRIVE1 and 2, as on the bench.
    EXPECT_EQ(entry(0).m_ucPhysicalAddress, 1);
    EXPECT_EQ(entry(1).m_ucPhysicalAddress, 2);
    EXPECT_EQ(entry(0).strVid, "3F10");
    EXPECT_GT(side.requests, 0) << "the identity strings came from the devices through usbfs";
    EXPECT_GT(side.commands, 0);
    EXPECT_FALSE(bridgeTrace().empty()) << "the bridges received the commands";
    benchOs.storage.close(side.rootHub);
    benchOs.storage.close(hc);
}

}  // namespace
}  // namespace devcore_test
