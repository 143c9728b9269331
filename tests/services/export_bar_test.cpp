// The bar for the service entry points: each one called through the built library over a bench folder,
// and every command it sent compared, byte for byte and field for field, with the record kept in
// export_bar.golden (each record was checked against the commands' definitions when it was written). A
// change of any CDB byte, length, time-out, pause, direction or result shows here.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "include/quibusb.h"
#include "platform/backends.h"
#include "tests/common/loaded_library.h"
#include "tests/common/temp_path.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using Bytes = std::vector<std::uint8_t>;

json benchDescription() {
    json sata = {{"id", "s"},
                 {"serial", "BAR-SATA"},
                 {"family", "7120"},
                 {"device_type", 5},
                 {"drive",
                  {{"kind", "sata"},
                   {"serial", "BAR-DRIVE-1"},
                   {"model", "BAR SATA SSD"},
                   {"firmware", "BR01"},
                   {"sectors", 1000215224},
                   {"hidden_sectors", 8}}}};
    json pcie = {{"id", "p"},
                 {"serial", "BAR-PCIE"},
                 {"family", "8500"},
                 {"device_type", 7},
                 {"drive", {{"kind", "nvme"}, {"serial", "BAR-NVME-1"}, {"sectors", 2000000}}}};
    json ports = json::array({{{"port", 1}, {"bridge", sata}}, {{"port", 2}, {"bridge", pcie}}});
    return {{"system_disks", 1},
            {"controllers", json::array({{{"ports", {{"port_count", 4}, {"ports", ports}}}}})}};
}

// The fields of a trace record that the library decides or the device answers; the record's time tells
// the pauses between commands.
std::string traceLine(const json& r) {
    std::ostringstream line;
    line << r.at("time_ms").get<std::uint64_t>() << ' ' << r.at("device").get<std::string>() << " cdb "
         << r.at("cdb").get<std::string>() << " in " << r.at("data_in").get<int>() << " len "
         << r.at("transfer_length").get<std::uint32_t>() << " timeout "
         << r.at("timeout").get<std::uint32_t>() << " sizes " << r.at("input_size").get<std::uint32_t>()
         << '/' << r.at("output_size").get<std::uint32_t>() << (r.at("direct").get<bool>() ? " direct" : "")
         << " sense " << r.at("sense_length").get<int>() << '@' << r.at("sense_offset").get<std::uint32_t>()
         << " data@" << r.at("data_offset").get<std::uint32_t>() << " status "
         << r.at("scsi_status").get<int>() << " bytes " << r.at("bytes").get<std::uint32_t>();
    return line.str();
}

class ExportBar : public ::testing::Test {
  protected:
    void SetUp() override {
        m_folder = quib::testing::freshTempPath("export_bar");
        fs::remove_all(m_folder);
        fs::create_directories(m_folder);
        std::ofstream(m_folder / "bench.json") << benchDescription().dump(2);
        quib::testing::setBenchFolder(m_folder);
        m_library = quib::testing::openLibrary(QUIBUSB_PATH);
        ASSERT_NE(m_library, nullptr) << quib::testing::openError();
    }
    void TearDown() override {
        if (m_library) quib::testing::closeLibrary(m_library);
        quib::testing::clearBenchFolder();
        std::error_code ec;
        fs::remove_all(m_folder, ec);
    }
    template <typename F>
    F* entry(const char* name) {
        auto* f = reinterpret_cast<F*>(quib::testing::symbol(m_library, name));
        if (f == nullptr) ADD_FAILURE() << name << " is not exported";
        return f;
    }
    std::vector<std::string> traceSince(std::size_t& seen) {
        std::vector<std::string> lines;
        std::ifstream in(m_folder / "trace.jsonl");
        std::string text;
        std::size_t n = 0;
        while (std::getline(in, text))
            if (n++ >= seen) lines.push_back(traceLine(json::parse(text)));
        seen = n;
        return lines;
    }
    // Runs a call and records its result and the commands it sent.
    void step(const std::string& name, const std::function<int()>& call) {
        const int result = call();
        m_record << "== " << name << " -> " << result << '\n';
        for (const std::string& line : traceSince(m_seen)) m_record << line << '\n';
    }
    void scan(int bridgeType) {
        auto* scanPort =
            entry<decltype(QuibUSBLib_Function_vScanUSBPort)>("QuibUSBLib_Function_vScanUSBPort");
        auto list = std::make_unique<USBDevListExp>();
        ASSERT_EQ(scanPort(list.get(), "0", static_cast<std::uint8_t>(bridgeType)), 0);
        traceSince(m_seen);  // the scan's own commands are not part of the bar
    }

    fs::path m_folder;
    void* m_library = nullptr;
    std::size_t m_seen = 0;
    std::ostringstream m_record;
};

#define BIND(name) auto* name = entry<decltype(QuibUSBLib_##name)>("QuibUSBLib_" #name)

TEST_F(ExportBar, EveryServiceEntryPointSendsWhatItsRecordSays) {
    BIND(K610X_ControlGPIO);
    BIND(K610X_OEM_ControlGPIO);
    BIND(K610X_OEM_GetUartRX);
    BIND(K610X_OEM_SetHDDPC);
    BIND(K610X_OEM_AccessEEPROM);
    BIND(K610X_AccessFirmwareEEPROM);
    BIND(VENDOR_CMD);
    BIND(SCSI7120_AccessHardDisk);
    BIND(SCSI850X_PCIeConfiguration_ReadDword);
    BIND(SCSI850X_PCIeConfiguration_WriteDword);
    BIND(FactoryConfigure_Write);
    BIND(FactoryConfigure_Read);
    BIND(USB_SetSpeedModeByVendor);
    BIND(USB_Get8504FixtureDev);
    BIND(USB_GetSpeed);
    BIND(NVME_GetIdentify);
    BIND(NVME_GetLogPage);
    BIND(NVME_SecurityProtocolIn);
    BIND(NVMePacket_NonDataPhaseCmd);
    BIND(NVMePacket_DataInPhaseCmd);
    BIND(NVMePacket_DataOutPhaseCmd);
    BIND(NVME_Reset);
    BIND(NVME_SpeedMode);
    BIND(NVME_LEDControl);
    BIND(IdentifyDevice);
    BIND(GetSmartAttribute);
    BIND(ReadSmartLog);
    BIND(WriteSmartLog);
    BIND(vReadWriteSmartLogPage_LastSector);
    ASSERT_FALSE(HasFailure());

    Bytes buffer(4096, 0);
    std::uint8_t value = 0;
    Bytes pattern(1024);
    for (std::size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<std::uint8_t>(i * 7 + 1);

    // The SATA bridge, entry 0 of a scan for 7120 bridges.
    scan(0);
    step("K610X_ControlGPIO output pin 0x04 high", [&] {
        value = 1;
        return K610X_ControlGPIO(0, 1, 0x04, &value);
    });
    step("K610X_ControlGPIO input pin 0x20", [&] { return K610X_ControlGPIO(0, 0, 0x20, &value); });
    step("K610X_OEM_ControlGPIO 0x0F", [&] {
        value = 0x0F;
        return K610X_OEM_ControlGPIO(0, &value);
    });
    step("K610X_OEM_GetUartRX", [&] { return K610X_OEM_GetUartRX(0, &value); });
    step("K610X_OEM_SetHDDPC on", [&] {
        value = 1;
        return K610X_OEM_SetHDDPC(0, &value);
    });
    step("K610X_OEM_AccessEEPROM write 1024",
         [&] { return K610X_OEM_AccessEEPROM(0, 1, pattern.data(), 1024, 0); });
    step("K610X_OEM_AccessEEPROM read 1024",
         [&] { return K610X_OEM_AccessEEPROM(0, 0, buffer.data(), 1024, 0); });
    step("K610X_AccessFirmwareEEPROM read 512 bank 0",
         [&] { return K610X_AccessFirmwareEEPROM(0, 0, buffer.data(), 512, 0); });
    step("VENDOR_CMD IDENTIFY through ATA PASS-THROUGH (16)", [&] {
        const std::uint8_t tail[13] = {0, 0, 0, 0x01, 0, 0, 0, 0, 0, 0, 0, 0xEC, 0};
        return VENDOR_CMD(0, 0, 0x85, 0x08, 0x0E, tail, buffer.data(), 512);
    });
    step("SCSI7120_AccessHardDisk write LBA 100",
         [&] { return SCSI7120_AccessHardDisk(0, 1, 1, 100, 0, pattern.data(), 1); });
    step("USB_GetSpeed", [&] { return USB_GetSpeed(0, &value); });
    step("USB_Get8504FixtureDev", [&] { return USB_Get8504FixtureDev(0); });
    step("IdentifyDevice", [&] { return IdentifyDevice(0, buffer.data()); });
    step("GetSmartAttribute", [&] { return GetSmartAttribute(0, buffer.data()); });
    step("ReadSmartLog 0x06", [&] { return ReadSmartLog(0, buffer.data(), 0x06); });
    step("WriteSmartLog 0x80", [&] { return WriteSmartLog(0, pattern.data(), 0x80); });
    step("vReadWriteSmartLogPage_LastSector write",
         [&] { return vReadWriteSmartLogPage_LastSector(0, 1, pattern.data()); });
    step("vReadWriteSmartLogPage_LastSector read",
         [&] { return vReadWriteSmartLogPage_LastSector(0, 0, buffer.data()); });
    step("USB_SetSpeedModeByVendor 3", [&] { return USB_SetSpeedModeByVendor(0, 3); });

    // The PCIe bridge, entry 0 of a scan for 8500 bridges.
    scan(1);
    step("NVME_GetIdentify controller", [&] { return NVME_GetIdentify(0, buffer.data(), 1); });
    step("NVME_GetLogPage health", [&] { return NVME_GetLogPage(0, buffer.data(), 0, 0x02); });
    step("NVME_SecurityProtocolIn", [&] { return NVME_SecurityProtocolIn(0, buffer.data(), 0x200); });
    Bytes submission(64, 0);
    step("NVMePacket_NonDataPhaseCmd Get Features 4", [&] {
        submission[0] = 0x0A;
        submission[40] = 0x04;
        return NVMePacket_NonDataPhaseCmd(0, 0, submission.data());
    });
    step("NVMePacket_DataInPhaseCmd Identify controller", [&] {
        submission[0] = 0x06;
        submission[40] = 0x01;
        return NVMePacket_DataInPhaseCmd(0, 0, submission.data(), buffer.data(), 4096);
    });
    step("NVMePacket_DataOutPhaseCmd Set Features 4", [&] {
        submission[0] = 0x09;
        submission[40] = 0x04;
        return NVMePacket_DataOutPhaseCmd(0, 0, submission.data(), pattern.data(), 512);
    });
    step("NVME_Reset", [&] { return NVME_Reset(0); });
    step("NVME_SpeedMode set Gen2 x2", [&] {
        std::uint8_t mode[2] = {1, 1};
        return NVME_SpeedMode(0, 1, mode);
    });
    step("NVME_SpeedMode read", [&] {
        std::uint8_t mode[2] = {};
        return NVME_SpeedMode(0, 0, mode);
    });
    step("NVME_LEDControl", [&] { return NVME_LEDControl(0, 0, 1); });
    step("ReadSmartLog NVMe 0x02", [&] { return ReadSmartLog(0, buffer.data(), 0x02); });
    step("WriteSmartLog NVMe", [&] { return WriteSmartLog(0, pattern.data(), 0x80); });
    step("FactoryConfigure_Write", [&] { return FactoryConfigure_Write(0, pattern.data()); });
    step("FactoryConfigure_Read", [&] { return FactoryConfigure_Read(0, buffer.data()); });
    step("USB_GetSpeed type 7", [&] { return USB_GetSpeed(0, &value); });
    {
        auto backend = quib::platform::makeBenchBackend(m_folder.string());
        auto& storage = backend->platform().storage;
        const auto handle =
            storage.open("\\\\.\\PHYSICALDRIVE2", quib::platform::kAccessRead | quib::platform::kAccessWrite);
        ASSERT_TRUE(quib::platform::isValid(handle));
        const auto h = reinterpret_cast<QUIB_HANDLE>(handle);
        step("SCSI850X_PCIeConfiguration_ReadDword 0x00",
             [&] { return SCSI850X_PCIeConfiguration_ReadDword(h, 0x00, buffer.data(), 4); });
        step("SCSI850X_PCIeConfiguration_WriteDword 0x10",
             [&] { return SCSI850X_PCIeConfiguration_WriteDword(h, 0x10, pattern.data(), 4); });
        storage.close(handle);
    }

    std::ifstream golden(QUIB_BAR_GOLDEN, std::ios::binary);
    std::stringstream expected;
    expected << golden.rdbuf();
    if (m_record.str() != expected.str()) {
        const fs::path actual = fs::path(quib::testing::freshTempPath("export_bar_actual.golden"));
        std::ofstream(actual, std::ios::binary) << m_record.str();
        ADD_FAILURE() << "the commands differ from " << QUIB_BAR_GOLDEN << "; what was sent is in " << actual
                      << " (compare with diff)";
    }
}

}  // namespace
