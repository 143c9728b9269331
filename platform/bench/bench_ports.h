// The ports answered by the bench besides storage: registry, user interface, clock, USB tree, device
// installation services and volumes.
#pragma once

#include <memory>

#include "bench/bench.h"
#include "platform/platform.h"

namespace quib::platform {

class BenchRegistry final : public Registry {
  public:
    explicit BenchRegistry(std::shared_ptr<bench::Bench> bench) : m_bench(std::move(bench)) {}
    bool keyExists(const std::string& subKey) override;
    bool createKey(const std::string& subKey) override;
    std::optional<RegistryValue> readValue(const std::string& subKey, const std::string& name) override;
    bool writeValue(const std::string& subKey, const std::string& name, const RegistryValue& value) override;

  private:
    std::shared_ptr<bench::Bench> m_bench;
};

// Message boxes are recorded and answered from the bench's script; debug output goes to the bench.
class BenchUserInterface final : public UserInterface {
  public:
    explicit BenchUserInterface(std::shared_ptr<bench::Bench> bench) : m_bench(std::move(bench)) {}
    int messageBox(const std::string& text, const std::string& caption, std::uint32_t style) override;
    void debugOutput(std::string_view text) override;

  private:
    std::shared_ptr<bench::Bench> m_bench;
};

// The dialog's calls are recorded by the bench and drawn by the host's own window (the terminal on Linux,
// a real window on Windows), so a run on a bench looks like a run on hardware. How the window is left
// follows the bench's script, or the host window's user where the script leaves it to the window.
class BenchDialog final : public Dialog {
  public:
    BenchDialog(std::shared_ptr<bench::Bench> bench, Dialog& host, bool hostWindowAlwaysWaits)
        : m_bench(std::move(bench)), m_host(host), m_hostWindowAlwaysWaits(hostWindowAlwaysWaits) {}
    void setCaption(const std::string& text) override {
        m_bench->dialogCall(call("caption", text));
        m_host.setCaption(text);
    }
    void setStatusText(const std::string& text) override {
        m_bench->dialogCall(call("status", text));
        m_host.setStatusText(text);
    }
    void setStatusTextColour(std::uint32_t colour) override {
        m_bench->dialogCall(call("text_colour", {}, colour));
        m_host.setStatusTextColour(colour);
    }
    void setProgressRange(int low, int high, int step) override {
        m_bench->dialogCall(call("progress_range", {}, low, high, step));
        m_host.setProgressRange(low, high, step);
    }
    void setProgressPosition(int position) override {
        m_bench->dialogCall(call("position", {}, position));
        m_host.setProgressPosition(position);
    }
    void setProgressBarColour(std::uint32_t colour) override {
        m_bench->dialogCall(call("bar_colour", {}, colour));
        m_host.setProgressBarColour(colour);
    }
    void showSummary(const std::vector<std::string>& lines) override {
        std::string text;
        for (const std::string& line : lines) text += (text.empty() ? "" : "\n") + line;
        m_bench->dialogCall(call("summary", text));
        m_host.showSummary(lines);
    }
    int showUntilClosed() override;

  private:
    static bench::DialogRecord call(const char* op, std::string text = {}, std::int64_t value = 0,
                                    std::int64_t value2 = 0, std::int64_t value3 = 0) {
        return bench::DialogRecord{op, std::move(text), value, value2, value3, 0};
    }
    std::shared_ptr<bench::Bench> m_bench;
    Dialog& m_host;
    bool m_hostWindowAlwaysWaits;
};

// The virtual clock: a sleep advances it at once. The performance counter runs at 10 MHz.
class BenchClock final : public Clock {
  public:
    explicit BenchClock(std::shared_ptr<bench::Bench> bench) : m_bench(std::move(bench)) {}
    std::uint64_t tickMs() override;
    std::int64_t unixSeconds() override;
    std::int64_t performanceFrequency() override { return 10'000'000; }
    std::int64_t performanceCounter() override;
    void sleepMs(std::uint32_t ms) override;

  private:
    std::shared_ptr<bench::Bench> m_bench;
};

class BenchUsbTree final : public UsbTree {
  public:
    explicit BenchUsbTree(std::shared_ptr<bench::Bench> bench) : m_bench(std::move(bench)) {}
    std::optional<std::string> hcdDriverKeyName(DeviceHandle controller) override;
    std::optional<std::string> rootHubName(DeviceHandle controller) override;
    std::optional<std::uint32_t> hubPortCount(DeviceHandle hub) override;
    std::optional<NodeConnectionInfo> connectionInfo(DeviceHandle hub, std::uint32_t port) override;
    std::optional<std::string> connectionName(DeviceHandle hub, std::uint32_t port) override;
    std::optional<std::string> connectionDriverKeyName(DeviceHandle hub, std::uint32_t port) override;
    std::optional<std::vector<std::uint8_t>> descriptorFromConnection(DeviceHandle hub, std::uint32_t port,
                                                                      const SetupPacket& request) override;

  private:
    std::shared_ptr<bench::Bench> m_bench;
};

class BenchDevices final : public Devices {
  public:
    explicit BenchDevices(std::shared_ptr<bench::Bench> bench) : m_bench(std::move(bench)) {}
    std::vector<DeviceInterface> interfaces(const std::string& interfaceGuid) override;
    std::vector<DeviceNode> allDevices() override;
    std::optional<std::string> descriptionByDriverKey(const std::string& driverKeyName) override;
    std::optional<std::string> hardwareIdByDriverKey(const std::string& driverKeyName) override;
    bool requestEject(const std::string& instanceId) override;

  private:
    std::shared_ptr<bench::Bench> m_bench;
};

class BenchVolumes final : public Volumes {
  public:
    explicit BenchVolumes(std::shared_ptr<bench::Bench> bench) : m_bench(std::move(bench)) {}
    std::optional<std::string> volumeNameForMountPoint(const std::string& mountPoint) override;
    std::optional<std::vector<DiskExtent>> diskExtents(DeviceHandle volume) override;
    std::uint32_t driveType(const std::string& rootPath) override;
    std::uint32_t processorArchitecture() override;
    std::optional<Information> volumeInformation(const std::string& rootPath) override;
    std::optional<std::uint64_t> freeBytes(const std::string& rootPath) override;
    bool setVolumeLabel(const std::string& rootPath, const std::string& label) override;

  private:
    std::shared_ptr<bench::Bench> m_bench;
};

// The host's process, but the programs it starts are the bench's: the system's disk tools carried out on
// the bench's drives (the scripts they read are the program's files).
class BenchProcess final : public Process {
  public:
    BenchProcess(std::shared_ptr<bench::Bench> bench, Process& host, FileSystem& files)
        : m_bench(std::move(bench)), m_host(host), m_files(files) {}
    void setInterruptCleanup(const std::vector<std::string>& files, const std::vector<std::string>& folders,
                             std::optional<int> exitCode) override {
        m_host.setInterruptCleanup(files, folders, exitCode);
    }
    std::optional<std::uint32_t> runHidden(const std::string& program, const std::string& arguments,
                                           std::uint32_t timeoutMs) override;

  private:
    std::shared_ptr<bench::Bench> m_bench;
    Process& m_host;
    FileSystem& m_files;
};

}  // namespace quib::platform
