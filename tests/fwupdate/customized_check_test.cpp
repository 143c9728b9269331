// The settings-driven checks, one rule at a time.
#include "fwupdate/customized_check.h"

#include <gtest/gtest.h>

#include <cstring>

#include "common/records/exchange_records.h"

namespace quib::fwupdate {
namespace {

class CustomizedChecks : public ::testing::Test {
  protected:
    void SetUp() override {
        std::memset(&exchange, 0, sizeof exchange);
        device = {"B", "131112AC4000", "3", "KRV Corp", "USB Bridge", "3F10", "7120"};
    }
    CheckOutcome check(std::string_view fwType = "B") {
        return runCustomizedChecks(2, device, exchange, fwType);
    }

    ExchangeData exchange{};
    DeviceValues device;
};

TEST_F(CustomizedChecks, ChipTypeAlwaysAndWithoutRegardToCase) {
    device.chipType = "b";
    EXPECT_EQ(check().result, 0);
    EXPECT_EQ(check().message, "Dev[2]: vCustomizedCheck Success");
    device.chipType = "C";
    const CheckOutcome o = check();
    EXPECT_EQ(o.result, -3);
    EXPECT_EQ(o.message, "Dev[2]: ChipType[C]!=FwType[B] ERROR!! Firmware Update Process Failed.");
}

TEST_F(CustomizedChecks, VersionListSkipsEmptyFieldsAndStopsAfterSixteen) {
    exchange.ucCheckFwVersion = 1;
    records::storeText(exchange.cFwVersion, "111111111111;131112ac4000");
    EXPECT_EQ(check().result, 0);
    records::storeText(exchange.cFwVersion, ";;131112AC4000");
    EXPECT_EQ(check().result, 0);
    std::string seventeen;
    for (int i = 0; i < 16; ++i) seventeen += "000000000000;";
    records::storeText(exchange.cFwVersion, seventeen + "131112AC4000");
    const CheckOutcome o = check();
    EXPECT_EQ(o.result, -3);
    EXPECT_EQ(o.message, "Dev[2]: FW version is not correct, Target[131112AC4000]");
}

TEST_F(CustomizedChecks, MSignatureListAndInclusiveBounds) {
    exchange.ucCheckMSignature = 1;
    records::storeText(exchange.cMSignature, "2;3");
    EXPECT_EQ(check().result, 0);
    records::storeText(exchange.cMSignature, "2");
    EXPECT_EQ(check().message, "Dev[2]: MSignature [3] ERROR!! Firmware Update Process Failed.");
    exchange.ucCheckMSignature = 0;

    exchange.ucCheckMSignatureBiggerThen = 1;
    records::storeText(exchange.cMSignatureBiggerThen, "3");
    EXPECT_EQ(check().result, 0);
    records::storeText(exchange.cMSignatureBiggerThen, "4");
    EXPECT_EQ(check().message, "Dev[2]: Chip Type is not correct");
    exchange.ucCheckMSignatureBiggerThen = 0;

    exchange.ucCheckMSignatureSmallerThen = 1;
    records::storeText(exchange.cMSignatureSmallerThen, "3");
    EXPECT_EQ(check().result, 0);
    records::storeText(exchange.cMSignatureSmallerThen, "2");
    EXPECT_EQ(check().result, -3);
}

TEST_F(CustomizedChecks, StringsAndIdentifiers) {
    exchange.ucCheckManufactureString = exchange.ucCheckProductString = 1;
    exchange.ucCheckVid = exchange.ucCheckPid = 1;
    records::storeText(exchange.cManufactureString, "krv corp");
    records::storeText(exchange.cProductString, "USB BRIDGE");
    records::storeText(exchange.cVid, "3f10");
    records::storeText(exchange.cPid, "7120");
    EXPECT_EQ(check().result, 0);
    records::storeText(exchange.cPid, "7121");
    EXPECT_EQ(check().message, "Dev[2]: PID is not correct, Target[7120]");
    records::storeText(exchange.cVid, "3F11");
    EXPECT_EQ(check().message, "Dev[2]: VID is not correct, Target[3F10]");
    records::storeText(exchange.cProductString, "Other");
    EXPECT_EQ(check().message, "Dev[2]: Product string is not correct, Target[USB Bridge]");
    records::storeText(exchange.cManufactureString, "KRV");  // not a prefix match
    EXPECT_EQ(check().message, "Dev[2]: Manufacturer string is not correct, Target[KRV Corp]");
}

TEST_F(CustomizedChecks, PartOfTheVersionIsClamped) {
    exchange.ucCheckPartOfFwVersion = 1;
    records::storeText(exchange.cStartAddressOfPartOfFwVersion, "8");
    records::storeText(exchange.cPartOfFwVersionLength, "3");
    records::storeText(exchange.cPartOfFwVersion, "XXX;AC4");
    EXPECT_EQ(check().result, 0);
    records::storeText(exchange.cPartOfFwVersion, "C40");
    EXPECT_EQ(check().message, "Dev[2]: Customer ID is not correct, Target[AC4]");
    records::storeText(exchange.cPartOfFwVersionLength, "30");  // runs past the end: the rest
    records::storeText(exchange.cPartOfFwVersion, "AC4000");
    EXPECT_EQ(check().result, 0);
    records::storeText(exchange.cStartAddressOfPartOfFwVersion, "40");  // beyond the end: empty part
    EXPECT_EQ(check().message, "Dev[2]: Customer ID is not correct, Target[]");
}

TEST_F(CustomizedChecks, UaspBoundingOption) {
    exchange.ucCheckBoundingOption = 1;
    records::storeText(exchange.cBoundingOption1, "Support UASP");
    device.fwVersion = "131112790000";
    EXPECT_EQ(check().message, "Dev[2]: Chip Type is not correct (Do Not support UASP)");
    device.fwVersion = "131112910000";
    EXPECT_EQ(check().result, 0);
    device.fwVersion = "131112800000";
    EXPECT_EQ(check().result, 0);
    device.fwVersion = "131112790000";
    records::storeText(exchange.cBoundingOption1, "3");
    EXPECT_EQ(check().result, 0);
}

TEST_F(CustomizedChecks, OrderDecidesWhichFailureIsReported) {
    device.chipType = "C";
    exchange.ucCheckFwVersion = 1;
    EXPECT_NE(check().message.find("ChipType[C]"), std::string::npos);
    device.chipType = "B";
    exchange.ucCheckVid = 1;
    EXPECT_NE(check().message.find("FW version"), std::string::npos);
}

TEST(ListFields, NumbersAndLists) {
    EXPECT_EQ(listFields("a;;b;"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(decimalNumber("  42xyz"), 42);
    EXPECT_EQ(decimalNumber("x42"), 0);
    EXPECT_EQ(decimalNumber(""), 0);
}

}  // namespace
}  // namespace quib::fwupdate
