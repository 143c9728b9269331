// What the chip-type registers mean: device types, chip-type texts and the selector a scan filters on.
#include "devcore/discovery/register_decoding.h"

#include <gtest/gtest.h>

#include "devcore/device/usb_dev_list.h"

using namespace quib::devcore;

namespace {

std::uint8_t member(unsigned bits6to4, unsigned low = 0) {
    return static_cast<std::uint8_t>((bits6to4 << 4) | low);
}

TEST(DeviceTypeDecoding, SataFamilyMembers) {
    EXPECT_EQ(decodeDeviceType("7120", member(0), std::nullopt), 0);
    EXPECT_EQ(decodeDeviceType("7120", member(1, 0xF), std::nullopt), 1);
    EXPECT_EQ(decodeDeviceType("7120", member(2), std::nullopt), 2);
    EXPECT_EQ(decodeDeviceType("7120", member(5), std::nullopt), 5);
    for (unsigned undefined : {4u, 6u, 7u})
        EXPECT_EQ(decodeDeviceType("7120", member(undefined), 0xFF), DEV_UNKNOW);
}

TEST(DeviceTypeDecoding, MemberThreeDependsOnPackageBitOne) {
    EXPECT_EQ(decodeDeviceType("7120", member(3), 0x02), 3);
    EXPECT_EQ(decodeDeviceType("7120", member(3), 0xFD), 4);
    // The package register could not be read: the member cannot be told, as for any failed read.
    EXPECT_EQ(decodeDeviceType("7120", member(3), std::nullopt), DEV_UNKNOW);
}

TEST(DeviceTypeDecoding, PcieFamilyMembersAndUnknownChips) {
    EXPECT_EQ(decodeDeviceType("8500", member(0), std::nullopt), 6);
    EXPECT_EQ(decodeDeviceType("8500", member(1), std::nullopt), 7);
    EXPECT_EQ(decodeDeviceType("8500", member(2), std::nullopt), DEV_UNKNOW);
    EXPECT_EQ(decodeDeviceType("9999", member(0), std::nullopt), DEV_UNKNOW);
}

TEST(ChipTypeTexts, EveryDeviceTypeAndTheMSignature) {
    const char* expected[] = {"A", "B", "C", "D", "D", "E", "850A", "850B"};
    for (std::uint8_t t = 0; t < 8; ++t) EXPECT_EQ(chipTypeText(t), expected[t]) << int(t);
    EXPECT_EQ(chipTypeText(DEV_UNKNOW), "Not Defined");
    EXPECT_EQ(mSignatureText(0x1A), "a");
    EXPECT_EQ(mSignatureText(0x72), "2");
}

TEST(ChipTypeSelector, DigitsOfBitsSixToFour) {
    EXPECT_EQ(chipTypeSelector(std::nullopt, std::nullopt), "0");
    // Bit 6 counts only when bit 5 or bit 4 is set.
    EXPECT_EQ(chipTypeSelector(0x40, std::nullopt), "00");
    EXPECT_EQ(chipTypeSelector(0x00, std::nullopt), "00");
    EXPECT_EQ(chipTypeSelector(0x20, std::nullopt), "010");
    EXPECT_EQ(chipTypeSelector(0x60, std::nullopt), "110");
    EXPECT_EQ(chipTypeSelector(0x70, std::nullopt), "111");
    EXPECT_EQ(chipTypeSelector(0x50, std::nullopt), "101");
}

TEST(ChipTypeSelector, SpecialNamesOfMembersOneAndThree) {
    EXPECT_EQ(chipTypeSelector(0x10, std::nullopt), "001_B0");
    // All four low bits count: 0x18 and 0x12 are plain "001".
    EXPECT_EQ(chipTypeSelector(0x12, std::nullopt), "001");
    EXPECT_EQ(chipTypeSelector(0x18, std::nullopt), "001");
    EXPECT_EQ(chipTypeSelector(0x30, 0x02), "011_1");
    EXPECT_EQ(chipTypeSelector(0x30, 0x00), "011_2");
    EXPECT_EQ(chipTypeSelector(0x30, std::nullopt), "011_2");
}

}  // namespace
