#include <gtest/gtest.h>

#include <cstring>

#include "common/records/exchange_records.h"

namespace {

using quib::records::readText;
using quib::records::resetExportedRecord;
using quib::records::storeText;

TEST(RecordsTest, StoreTextCutsToTheFieldAndTerminates) {
    ExchangeData ex{};
    std::memset(ex.cVid, 'Q', sizeof ex.cVid);
    EXPECT_TRUE(storeText(ex.cVid, "059F"));
    EXPECT_EQ(readText(ex.cVid), "059F");
    EXPECT_EQ(ex.cVid[4], '\0');
    EXPECT_EQ(ex.cVid[126], '\0');  // the rest of the field is cleared

    const std::string longText(200, 'v');
    EXPECT_FALSE(storeText(ex.cFwVersion, longText));
    EXPECT_EQ(readText(ex.cFwVersion).size(), 126u);
    EXPECT_EQ(ex.cMSignature[0], '\0');  // nothing spills into the next field
}

TEST(RecordsTest, ExportedRecordResetKeepsTheHostControllerText) {
    USBDevInfoExp rec;
    std::memset(&rec, 0x5A, sizeof rec);
    storeText(rec.cHostControllerHardwareId, "PCI\\VEN_8086");
    resetExportedRecord(rec);
    EXPECT_EQ(readText(rec.cVid), "");
    EXPECT_EQ(readText(rec.cFwVersion), "");
    EXPECT_EQ(rec.m_cDriveLetter, 0);
    EXPECT_EQ(rec.m_ucDevType, 0xFF);
    EXPECT_EQ(rec.m_ucPhysicalAddress, 0x7F);
    EXPECT_EQ(std::int32_t{rec.nWorkingValue1}, 0);  // copied: packed members are unaligned
    EXPECT_EQ(std::int32_t{rec.nWorkingValue2}, 0);
    EXPECT_EQ(rec.ucGeneration, 0xFF);
    EXPECT_EQ(readText(rec.cHostControllerHardwareId), "PCI\\VEN_8086");
    EXPECT_EQ(rec.ucUnused, 0x5A);
}

}  // namespace
