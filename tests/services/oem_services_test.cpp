// The OEM exports against bench bridges: the register sequences they leave in the chip, the commands they
// send, and their refusals.
#include <cstring>
#include <functional>
#include <map>
#include <vector>

#include "tests/devcore/bench_fixture.h"

namespace devcore_test {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kRegisterRead = 0xE4, kRegisterWrite = 0xE5;

// A SATA bridge "s" on disk 1 with a drive, a PCIe bridge "p" on disk 2; `registers` preset in "s".
json oemBench(const std::map<std::uint16_t, std::uint8_t>& registers = {}) {
    json preset = json::object();
    for (auto [address, value] : registers) {
        char key[5], text[3];
        std::snprintf(key, sizeof key, "%04X", address);
        std::snprintf(text, sizeof text, "%02X", value);
        preset[key] = text;
    }
    return benchOfBridges({{{"id", "s"},
                            {"serial", "SN-S"},
                            {"device_type", 2},
                            {"registers", preset},
                            {"drive", {{"serial", "DRIVE-S"}, {"sectors", 4096}}}},
                           {{"id", "p"}, {"serial", "SN-P"}, {"family", "8500"}, {"device_type", 7}}});
}

class OemServicesTest : public ScanTest {
  protected:
    // Scans for the SATA bridges (entry 0 is "s") or the PCIe bridges (entry 0 is "p").
    void scanWith(const std::map<std::uint16_t, std::uint8_t>& registers = {}, bool pcie = false) {
        scanDescription(oemBench(registers), pcie);
    }
    void scanDescription(const json& description, bool pcie = false) {
        ASSERT_EQ(scan(description, "0", pcie ? 1 : 0), 0);
        ASSERT_EQ(count(), 1);
        m_mark = bridgeTrace().size();
    }
    std::uint8_t chipRegister(std::uint16_t address) {
        std::uint8_t value = 0;
        benchRef().withChip("s", [&](bench::BridgeChip& chip) { value = chip.registerByte(address); });
        return value;
    }
    // Register commands since the scan, as "R CA30" and "W CA22=00".
    std::vector<std::string> registerSteps() {
        std::vector<std::string> steps;
        const auto trace = bridgeTrace();
        for (std::size_t i = m_mark; i < trace.size(); ++i) {
            const auto& c = trace[i].cdb;
            char text[16];
            if (c[0] == kRegisterRead)
                std::snprintf(text, sizeof text, "R %02X%02X", c[3], c[4]);
            else if (c[0] == kRegisterWrite)
                std::snprintf(text, sizeof text, "W %02X%02X=%02X", c[3], c[4], c[1]);
            else
                std::snprintf(text, sizeof text, "%02X", c[0]);
            steps.push_back(text);
        }
        return steps;
    }
    std::size_t sentSinceScan() { return bridgeTrace().size() - m_mark; }

    std::size_t m_mark = 0;
};

TEST_F(OemServicesTest, GpioOutputMakesThePinAGpioEnablesItAndDrivesIt) {
    scanWith({{0xCA22, 0x05}, {0xCA30, 0x01}, {0xCA32, 0x80}});
    std::uint8_t value = 1;
    ASSERT_EQ(QuibUSBLib_K610X_ControlGPIO(0, 1, 0x04, &value), 0);
    EXPECT_EQ(registerSteps(),
              (std::vector<std::string>{"W CA22=00", "R CA30", "W CA30=05", "R CA32", "W CA32=84"}));
    EXPECT_EQ(chipRegister(0xCA22), 0x00);
    EXPECT_EQ(chipRegister(0xCA30), 0x05);
    EXPECT_EQ(chipRegister(0xCA32), 0x84);

    value = 0;  // driven low again, other pins untouched
    ASSERT_EQ(QuibUSBLib_K610X_ControlGPIO(0, 1, 0x04, &value), 0);
    EXPECT_EQ(chipRegister(0xCA32), 0x80);
}

TEST_F(OemServicesTest, GpioInputClearsTheEnableBitAndReadsThePinsLevel) {
    for (const auto& [levels, expected] : {std::pair{0x20, 1}, std::pair{0xDF, 0}}) {
        scanWith({{0xCA30, 0xFF}, {0xCA34, static_cast<std::uint8_t>(levels)}});
        std::uint8_t value = 0xAA;
        ASSERT_EQ(QuibUSBLib_K610X_ControlGPIO(0, 0, 0x20, &value), 0);
        EXPECT_EQ(value, expected) << "levels " << levels;
        EXPECT_EQ(chipRegister(0xCA25), 0x00);
        EXPECT_EQ(chipRegister(0xCA30), 0xDF);
        EXPECT_EQ(registerSteps().back(), "R CA34");
    }
}

TEST_F(OemServicesTest, GpioArgumentsThatNameNoSinglePinAreRefusedBeforeAnythingIsSent) {
    scanWith();
    std::uint8_t value = 1;
    for (std::uint8_t mask : {0x00, 0x03, 0x81, 0xFF})
        EXPECT_EQ(QuibUSBLib_K610X_ControlGPIO(0, 1, mask, &value), -10) << int(mask);
    EXPECT_EQ(QuibUSBLib_K610X_ControlGPIO(0, 1, 0x01, nullptr), -10);
    EXPECT_EQ(sentSinceScan(), 0u);
}

TEST_F(OemServicesTest, UartReceiveLineIsMadeAnInputAndRead) {
    for (const auto& [level, expected] : {std::pair{0x08, 1}, std::pair{0xF7, 0}}) {
        scanWith({{0xCA3A, 0xA5}, {0xCA88, 0xFF}, {0xCA8A, static_cast<std::uint8_t>(level)}});
        std::uint8_t value = 0xAA;
        ASSERT_EQ(QuibUSBLib_K610X_OEM_GetUartRX(0, &value), 0);
        EXPECT_EQ(value, expected);
        EXPECT_EQ(registerSteps(),
                  (std::vector<std::string>{"R CA3A", "W CA3A=05", "R CA88", "W CA88=F7", "R CA8A"}));
    }
}

TEST_F(OemServicesTest, DrivePowerControlSelectsTheLineAndSetsItsLevel) {
    scanWith({{0xCA8C, 0x33}, {0xCA84, 0x40}, {0xCA85, 0x10}});
    std::uint8_t on = 1, off = 0;
    ASSERT_EQ(QuibUSBLib_K610X_OEM_SetHDDPC(0, &on), 0);
    EXPECT_EQ(registerSteps(),
              (std::vector<std::string>{"W CA8C=00", "R CA84", "W CA84=41", "R CA85", "W CA85=11"}));
    ASSERT_EQ(QuibUSBLib_K610X_OEM_SetHDDPC(0, &off), 0);
    EXPECT_EQ(chipRegister(0xCA84), 0x41);
    EXPECT_EQ(chipRegister(0xCA85), 0x10);
}

// The bench's drive follows its power control: off, it answers nothing; on again, it answers as before.
TEST_F(OemServicesTest, DriveSwitchedOffStopsAnsweringUntilSwitchedOn) {
    scanWith();
    auto identifyWorks = [&] {
        const auto disk = openDisk(1);
        std::uint8_t identify[512] = {};
        const bool ok = dev().ATAPassThrough_Identify(disk, identify);
        quib::platform::get().storage.close(disk);
        return ok;
    };
    ASSERT_TRUE(identifyWorks());
    std::uint8_t off = 0, on = 1;
    ASSERT_EQ(QuibUSBLib_K610X_OEM_SetHDDPC(0, &off), 0);
    EXPECT_FALSE(identifyWorks());
    EXPECT_EQ(bridgeTrace().back().scsiStatus, 2);  // the drive did not answer; the bridge did
    std::uint8_t speed = 0;
    EXPECT_EQ(QuibUSBLib_USB_GetSpeed(0, &speed), 0);  // the bridge itself still answers
    ASSERT_EQ(QuibUSBLib_K610X_OEM_SetHDDPC(0, &on), 0);
    EXPECT_TRUE(identifyWorks());
}

TEST_F(OemServicesTest, OemGpioWritesTheEnableByteAndReturnsTheInputLevels) {
    scanWith({{0xCA34, 0x5A}, {0xCA32, 0x03}});
    std::uint8_t value = 0x0F;
    EXPECT_EQ(QuibUSBLib_K610X_OEM_ControlGPIO(0, &value), 0);
    // The four output pins read what they drive (0x03), the inputs what is driven on them (0x5A).
    EXPECT_EQ(value, 0x53);
    EXPECT_EQ(chipRegister(0xCA30), 0x0F);
    EXPECT_TRUE(debugContains("Read value for GPI, value[53]"));
}

// The pins as the bench holds them: an output reads back the level it drives, an input the level the
// description drives on it; the UART line reads its described level only while it is an input.
TEST_F(OemServicesTest, PinsReadWhatDrivesThem) {
    json description = oemBench();
    description["controllers"][0]["ports"]["ports"][0]["bridge"]["gpio_inputs"] = 0x40;
    description["controllers"][0]["ports"]["ports"][0]["bridge"]["uart_rx"] = false;
    scanDescription(description);
    std::uint8_t value = 0;
    ASSERT_EQ(QuibUSBLib_K610X_ControlGPIO(0, 0, 0x40, &value), 0);  // an input: high from outside
    EXPECT_EQ(value, 1);
    value = 0;
    ASSERT_EQ(QuibUSBLib_K610X_ControlGPIO(0, 1, 0x40, &value), 0);  // an output driven low
    value = 0x40;
    ASSERT_EQ(QuibUSBLib_K610X_OEM_ControlGPIO(0, &value), 0);
    EXPECT_EQ(value, 0x00);
    value = 0x00;  // every pin an input again
    ASSERT_EQ(QuibUSBLib_K610X_OEM_ControlGPIO(0, &value), 0);
    EXPECT_EQ(value, 0x40);
    ASSERT_EQ(QuibUSBLib_K610X_OEM_GetUartRX(0, &value), 0);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(chipRegister(0xCA88) & 0x08, 0);
}

TEST_F(OemServicesTest, RegisterFailureEndsTheSequenceWithItsCode) {
    json description = oemBench();
    description["faults"] = json::array({{{"kind", "command"},
                                          {"opcode", kRegisterRead},
                                          {"register", 0xCA88},
                                          {"times", 0},
                                          {"as", "check_condition"}}});
    scanDescription(description);
    std::uint8_t value = 0;
    EXPECT_EQ(QuibUSBLib_K610X_OEM_GetUartRX(0, &value), -1);
    EXPECT_EQ(registerSteps(), (std::vector<std::string>{"R CA3A", "W CA3A=00", "R CA88"}));
    EXPECT_TRUE(debugContains(": AccessReg(_WRITE?)0: [0xca88]"));
}

TEST_F(OemServicesTest, EepromAccessReadsThroughTheFirmwareCommandAndRefusesMoreThan64KiB) {
    scanWith();
    Bytes buffer(0x10001);
    EXPECT_EQ(QuibUSBLib_K610X_OEM_AccessEEPROM(0, 0, buffer.data(), 0x10001, 0), -10);
    EXPECT_EQ(sentSinceScan(), 0u);
    ASSERT_EQ(QuibUSBLib_K610X_OEM_AccessEEPROM(0, 0, buffer.data(), 256, 7), 0);
    const auto trace = bridgeTrace();
    ASSERT_EQ(sentSinceScan(), 1u);
    EXPECT_EQ(trace.back().cdb, (Bytes{0xE2, 0xFF, 0x00, 0x00, 0x01, 0x00}));
    EXPECT_EQ(trace.back().transferLength, 256u);
}

TEST_F(OemServicesTest, VendorCommandCarriesTheCallersCdbAndDataInPieces) {
    scanWith();
    // A sector write wrapped as the 7120 takes it, sent as a caller's own CDB: the drive keeps the bytes.
    const std::uint8_t tail[13] = {0x00, 0x35, 0x00, 0x07, 0x00, 0x00, 0x40,
                                   0x00, 0x00, 0x00, 0x00, 0x01, 0x00};
    Bytes sector(512);
    for (std::size_t i = 0; i < sector.size(); ++i) sector[i] = static_cast<std::uint8_t>(i * 7);
    ASSERT_EQ(QuibUSBLib_VENDOR_CMD(0, 1, 0xE6, 0x00, 0x00, tail, sector.data(), 512), 0);
    const auto trace = bridgeTrace();
    EXPECT_EQ(trace.back().cdb, (Bytes{0xE6, 0, 0, 0x00, 0x35, 0x00, 0x07, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00,
                                       0x00, 0x01, 0x00}));
    EXPECT_EQ(trace.back().timeoutSeconds, 60u);
    std::optional<Bytes> stored;
    benchRef().withChip("s", [&](bench::BridgeChip& chip) { stored = chip.driveSector(7); });
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(*stored, sector);

    // A read of more than one request's data area goes in pieces, each at its place in the buffer.
    Bytes big(65536 + 100);
    m_mark = bridgeTrace().size();
    EXPECT_EQ(
        QuibUSBLib_VENDOR_CMD(0, 0, 0xE2, 0x00, 0x00, tail, big.data(), static_cast<uint32_t>(big.size())),
        -1);
    ASSERT_EQ(sentSinceScan(), 1u);  // the bench refuses a 16-byte firmware read: the first piece fails
    EXPECT_EQ(bridgeTrace().back().transferLength, 65536u);
    EXPECT_EQ(bridgeTrace().back().timeoutSeconds, 3u);
    EXPECT_TRUE(debugContains("QuibUSBLib_VENDOR_CMD:"));
    EXPECT_EQ(QuibUSBLib_VENDOR_CMD(0, 0, 0xE2, 0, 0, nullptr, big.data(), 16), -10);
}

TEST_F(OemServicesTest, SpeedModeRestartsWithTheMappedParameter) {
    for (const auto& [mode, parameter] :
         {std::pair{1u, 7}, std::pair{3u, 5}, std::pair{5u, 3}, std::pair{0x103u, 5}, std::pair{9u, 9}}) {
        scanWith();
        EXPECT_EQ(QuibUSBLib_USB_SetSpeedModeByVendor(0, mode), 0);
        const auto trace = bridgeTrace();
        ASSERT_EQ(sentSinceScan(), 1u);
        EXPECT_EQ(trace.back().cdb[0], 0xE8);
        EXPECT_EQ(trace.back().cdb[1], parameter) << "mode " << mode;
    }
}

TEST_F(OemServicesTest, LinkSpeedIsReadFromTheChipsRegistersAndKeptInTheList) {
    struct Case {
        std::uint8_t speed, detail;
        int expected;
    };
    for (const Case& c :
         {Case{0, 0, 0}, Case{1, 0, 1}, Case{2, 0x01, 4}, Case{2, 0x00, 2}, Case{3, 0, 255}}) {
        scanWith({{0x9002, c.speed}, {0x90E5, c.detail}});
        std::uint8_t speed = 0xAA;
        ASSERT_EQ(QuibUSBLib_USB_GetSpeed(0, &speed), 0);
        EXPECT_EQ(speed, c.expected) << int(c.speed) << "/" << int(c.detail);
        EXPECT_EQ(entry(0).ucSpeed, c.expected);
    }
}

TEST_F(OemServicesTest, LinkSpeedOfA850BReadsItsOwnRegisters) {
    json description = oemBench();
    description["controllers"][0]["ports"]["ports"][1]["bridge"]["registers"] = {{"9100", "02"},
                                                                                 {"92B8", "14"}};
    scanDescription(description, true);
    std::uint8_t speed = 0;
    ASSERT_EQ(QuibUSBLib_USB_GetSpeed(0, &speed), 0);
    EXPECT_EQ(speed, 5);
    EXPECT_EQ(registerSteps(), (std::vector<std::string>{"R 9100", "R 92B8"}));
}

TEST_F(OemServicesTest, FixtureCheckNamesTheChipThatIsNotAnFType) {
    scanWith({{0xE495, 0x00}});
    EXPECT_EQ(QuibUSBLib_USB_Get8504FixtureDev(0), 0);
    scanWith({{0xE495, 0x14}});
    EXPECT_EQ(QuibUSBLib_USB_Get8504FixtureDev(0), -3);
    EXPECT_TRUE(debugContains("GetChipType(3), it is not F type Chip"));
    scanWith({{0xE495, 0x10}});
    EXPECT_EQ(QuibUSBLib_USB_Get8504FixtureDev(0), -3);
    EXPECT_TRUE(debugContains("GetChipType(4), it is not F type Chip"));
}

TEST_F(OemServicesTest, ThinWrappersPassTheirArgumentsOn) {
    scanWith();
    Bytes sector(512, 0x3C);
    ASSERT_EQ(QuibUSBLib_SCSI7120_AccessHardDisk(0, 1, 1, 9, 0, sector.data(), 1), 0);
    std::optional<Bytes> stored;
    benchRef().withChip("s", [&](bench::BridgeChip& chip) { stored = chip.driveSector(9); });
    EXPECT_EQ(stored, sector);
    EXPECT_EQ(QuibUSBLib_SCSI7120_AccessHardDisk(1, 1, 1, 9, 0, sector.data(), 1), -5);  // no CD-ROM 1

    Bytes area(128);
    ASSERT_EQ(QuibUSBLib_K610X_AccessFirmwareEEPROM(0, 0, area.data(), 128, 1), 0);
    EXPECT_EQ(bridgeTrace().back().cdb, (Bytes{0xE2, 0x01, 0x00, 0x00, 0x00, 0x80}));

    Bytes block(124, 0x42);
    EXPECT_EQ(QuibUSBLib_FactoryConfigure_Write(0, block.data()), -1);  // a SATA bridge has no such block

    scanWith({}, true);
    const auto handle = reinterpret_cast<QUIB_HANDLE>(static_cast<std::intptr_t>(openDisk(2)));
    std::uint8_t config[8] = {};
    ASSERT_EQ(QuibUSBLib_SCSI850X_PCIeConfiguration_ReadDword(handle, 0, config, 8), 0);
    EXPECT_EQ(bridgeTrace().back().cdb, (Bytes{0xEE, 0x00, 0x08, 0x00, 0x00, 0x01}));
    const std::uint8_t dword[4] = {1, 2, 3, 4};
    ASSERT_EQ(QuibUSBLib_SCSI850X_PCIeConfiguration_WriteDword(handle, 0x10, dword, 4), 0);
    EXPECT_EQ(bridgeTrace().back().cdb, (Bytes{0xEF, 0, 0, 0x00, 0x10, 0, 1, 2, 3, 4}));
    EXPECT_EQ(QuibUSBLib_SCSI850X_PCIeConfiguration_ReadDword(handle, 0, config, 3), -10);
    quib::platform::get().storage.close(
        static_cast<quib::platform::DeviceHandle>(reinterpret_cast<std::intptr_t>(handle)));

    Bytes readBack(512);
    ASSERT_EQ(QuibUSBLib_FactoryConfigure_Write(0, block.data()), 0);
    EXPECT_EQ(bridgeTrace().back().cdb[0], 0xC3);
    EXPECT_EQ(QuibUSBLib_FactoryConfigure_Read(0, readBack.data()), 0);
    EXPECT_EQ(bridgeTrace().back().cdb, (Bytes{0x12, 0x01, 0xC8, 0x00, 0x81, 0x00}));
}

// What each export returns for a device it cannot open: an index past the scanned bridges, and no scan.
TEST_F(OemServicesTest, DevicesThatCannotBeOpenedGiveEachExportsCode) {
    using Call = std::function<int(std::uint8_t)>;
    std::uint8_t value = 1;
    Bytes buffer(512);
    const std::uint8_t tail[13] = {};
    const std::vector<std::pair<Call, int>> calls = {
        {[&](std::uint8_t i) { return QuibUSBLib_K610X_ControlGPIO(i, 1, 0x01, &value); }, -1},
        {[&](std::uint8_t i) { return QuibUSBLib_K610X_OEM_ControlGPIO(i, &value); }, 0},
        {[&](std::uint8_t i) { return QuibUSBLib_K610X_OEM_GetUartRX(i, &value); }, -5},
        {[&](std::uint8_t i) { return QuibUSBLib_K610X_OEM_SetHDDPC(i, &value); }, -5},
        {[&](std::uint8_t i) { return QuibUSBLib_K610X_OEM_AccessEEPROM(i, 0, buffer.data(), 512, 0); }, -5},
        {[&](std::uint8_t i) { return QuibUSBLib_K610X_AccessFirmwareEEPROM(i, 0, buffer.data(), 512, 0); },
         -5},
        {[&](std::uint8_t i) { return QuibUSBLib_VENDOR_CMD(i, 0, 0xE4, 1, 0, tail, buffer.data(), 1); }, -5},
        {[&](std::uint8_t i) { return QuibUSBLib_FactoryConfigure_Write(i, buffer.data()); }, -5},
        {[&](std::uint8_t i) { return QuibUSBLib_FactoryConfigure_Read(i, buffer.data()); }, -5},
        {[&](std::uint8_t i) { return QuibUSBLib_USB_SetSpeedModeByVendor(i, 1); }, -5},
        {[&](std::uint8_t i) { return QuibUSBLib_USB_Get8504FixtureDev(i); }, -5},
        {[&](std::uint8_t i) { return QuibUSBLib_USB_GetSpeed(i, &value); }, -5},
    };
    useBench(oemBench());  // no scan: no list
    for (std::size_t k = 0; k < calls.size(); ++k)
        EXPECT_EQ(calls[k].first(0), calls[k].second) << "call " << k;
    scanWith();
    for (std::size_t k = 0; k < calls.size(); ++k)
        EXPECT_EQ(calls[k].first(5), calls[k].second) << "call " << k;
    EXPECT_EQ(sentSinceScan(), 0u);
    EXPECT_TRUE(debugContains("CreateFile failed, strPhysicalAddress("));
}

}  // namespace
}  // namespace devcore_test
