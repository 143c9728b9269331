// Status entry points in process: the cases that need the list or the platform bent by the test.
#include <cstring>

#include "common/log/debug_log.h"
#include "include/quibusb.h"
#include "tests/devcore/bench_fixture.h"

namespace devcore_test {
namespace {

class StatusExportsTest : public BenchTest {
  protected:
    void SetUp() override {
        useBench(benchOf(json::array({controller(json::array(
            {bridgePort(1, "e", "SN-E",
                        {{"device_type", 5}, {"cc_orientation", 1}, {"link", "super"}, {"uas", true}}),
             bridgePort(2, "c", "SN-C",
                        {{"device_type", 2}, {"cc_orientation", 1}, {"link", "full"}, {"uas", false}}),
             bridgePort(3, "nolink", "SN-X", {{"device_type", 1}, {"registers", {{"9002", "07"}}}})}))})));
        quib::log::setLevel(1);
    }
    int32_t scan() {
        USBDevListExp list;
        return QuibUSBLib_Function_vScanUSBPort(&list, "0", 0);
    }
};

TEST_F(StatusExportsTest, ChipTypeComparisonIgnoresCase) {
    ASSERT_EQ(scan(), 0);
    quib::devcore::libraryObjects().devList()->Devs[2].m_strChipType = "c";
    EXPECT_EQ(QuibUSBLib_vIsKRV630X(2), 0);
    quib::devcore::libraryObjects().devList()->Devs[2].m_strChipType = "850b";
    EXPECT_EQ(QuibUSBLib_vIsKRVUSBDev(2, 7), 0);
}

TEST_F(StatusExportsTest, AnExceptionDuringTheSearchPassesThatDeviceOver) {
    throwOnPassThrough(1);
    USBDevListExp list;
    ASSERT_EQ(QuibUSBLib_Function_vScanUSBPort(&list, "0", 0), 0);
    EXPECT_EQ(list.nDevCount, 2);
    EXPECT_TRUE(debugContains("catch(...): strSerialNumber : SN-E"));
}

TEST_F(StatusExportsTest, OnTheGoStatusOfAnUnreachableHubFails) {
    ASSERT_EQ(scan(), 0);
    quib::devcore::libraryObjects().devList()->Devs[0].strHubDeviceName = "\\\\?\\no-such-hub";
    int32_t status = 77;
    EXPECT_EQ(QuibUSBLib_Function_vGetOTBStatus(0, &status), -1);
    EXPECT_EQ(status, 77);
    EXPECT_TRUE(debugContains("EnumerateHostController: CreateFile[\\\\?\\no-such-hub] fail"));
    EXPECT_TRUE(debugContains("Dev[0] bGetOTBStatusByStorageDescriptor fail"));
}

}  // namespace
}  // namespace devcore_test
