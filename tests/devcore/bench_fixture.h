// Benches built in code for the device-core tests, installed as this process's platform.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "devcore/frame/library_objects.h"
#include "include/quibusb.h"
#include "platform/platform.h"

namespace devcore_test {

using nlohmann::json;

// A bridge on a port; `extra` keys override the defaults.
json bridgePort(std::uint32_t port, const std::string& id, const std::string& serial,
                json extra = json::object());
// One host controller whose root hub holds `ports`.
json controller(json ports, std::uint32_t portCount = 4);
// A bench of one system disk and the given controllers.
json benchOf(json controllers);
// A bench of one controller with the given bridges on root ports 1, 2, ...
json benchOfBridges(const std::vector<json>& bridges);

// A fresh folder under the test temp folder, removed when the object goes.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    const std::string& path() const { return m_path; }

  private:
    std::string m_path;
};

// Wraps another backend and lets a test replace the program path or make the storage port throw.
class DecoratedBackend;

class BenchTest : public ::testing::Test {
  protected:
    void TearDown() override;

    // Builds the bench and installs it (through a decorating backend) as the platform.
    bench::Bench& useBench(const json& description);
    bench::Bench& benchRef() { return *m_bench; }
    // Trace records of commands that reached bridges, in order.
    std::vector<bench::TraceRecord> bridgeTrace();
    std::size_t traceSize() { return m_bench->trace().size(); }
    // Lines written to the debugger output channel since the bench was made.
    std::vector<std::string> debugLines() { return m_bench->debugLines(); }
    bool debugContains(const std::string& text);

    quib::platform::DeviceHandle openDisk(int number);
    // Makes the next `count` buffered pass-through calls throw.
    void throwOnPassThrough(int count);
    // The program path the platform reports; by default a program in this test's own folder.
    void setExecutablePath(const std::string& path);
    const std::string& workFolder() const { return m_work->path(); }
    // A path in the work folder ("KRVFW_Temp/a.bin"), with the separator of the system the tests run on.
    std::string inWorkFolder(std::string relative) const;

    // The library objects as a fresh load would have them.
    quib::devcore::LibraryObjects& objects() { return quib::devcore::libraryObjects(); }
    CQuibUSBDev& dev() { return objects().m_QuibUSBDev; }

    std::shared_ptr<bench::Bench> m_bench;
    DecoratedBackend* m_backend = nullptr;
    std::unique_ptr<TempFolder> m_work;
};

// A bench scanned through the entry point, and what the scan recorded.
class ScanTest : public BenchTest {
  protected:
    int scan(const json& description, const char* target = "0", int bridgeType = 0);
    // Recorded devices; -1 when no list was made.
    int count() { return objects().devList() ? objects().devList()->nDevCount : -1; }
    quib::devcore::USBDevEntry& entry(int i) {
        return objects().devList()->Devs[static_cast<std::size_t>(i)];
    }
    // Serial numbers of the recorded devices, in list order.
    std::vector<std::string> serials();

    std::unique_ptr<USBDevListExp> m_list;
};

}  // namespace devcore_test
