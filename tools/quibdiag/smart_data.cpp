#include "tools/quibdiag/smart_data.h"

#include <utility>

namespace quibdiag {
namespace {

constexpr std::size_t kTableOffset = 2, kEntrySize = 12, kEntries = 30;

constexpr std::pair<std::uint8_t, const char*> kNames[] = {
    {1, "Raw_Read_Error_Rate"},
    {2, "Throughput_Performance"},
    {3, "Spin_Up_Time"},
    {4, "Start_Stop_Count"},
    {5, "Reallocated_Sector_Ct"},
    {7, "Seek_Error_Rate"},
    {8, "Seek_Time_Performance"},
    {9, "Power_On_Hours"},
    {10, "Spin_Retry_Count"},
    {11, "Calibration_Retry_Count"},
    {12, "Power_Cycle_Count"},
    {13, "Read_Soft_Error_Rate"},
    {170, "Available_Reservd_Space"},
    {171, "Program_Fail_Count"},
    {172, "Erase_Fail_Count"},
    {173, "Wear_Leveling_Count"},
    {174, "Unexpect_Power_Loss_Ct"},
    {175, "Program_Fail_Count_Chip"},
    {177, "Wear_Range_Delta"},
    {180, "Unused_Rsvd_Blk_Cnt_Tot"},
    {181, "Program_Fail_Cnt_Total"},
    {182, "Erase_Fail_Count_Total"},
    {183, "Runtime_Bad_Block"},
    {184, "End-to-End_Error"},
    {187, "Reported_Uncorrect"},
    {188, "Command_Timeout"},
    {189, "High_Fly_Writes"},
    {190, "Airflow_Temperature_Cel"},
    {191, "G-Sense_Error_Rate"},
    {192, "Power-Off_Retract_Count"},
    {193, "Load_Cycle_Count"},
    {194, "Temperature_Celsius"},
    {195, "Hardware_ECC_Recovered"},
    {196, "Reallocated_Event_Count"},
    {197, "Current_Pending_Sector"},
    {198, "Offline_Uncorrectable"},
    {199, "UDMA_CRC_Error_Count"},
    {200, "Multi_Zone_Error_Rate"},
    {220, "Disk_Shift"},
    {222, "Loaded_Hours"},
    {223, "Load_Retry_Count"},
    {224, "Load_Friction"},
    {226, "Load-in_Time"},
    {231, "SSD_Life_Left"},
    {232, "Available_Reservd_Space"},
    {233, "Media_Wearout_Indicator"},
    {240, "Head_Flying_Hours"},
    {241, "Total_LBAs_Written"},
    {242, "Total_LBAs_Read"},
    {254, "Free_Fall_Sensor"},
};

}  // namespace

std::string smartAttributeName(std::uint8_t id) {
    for (const auto& [known, name] : kNames)
        if (known == id) return name;
    return "Unknown";
}

std::string selfTestResultText(std::uint8_t status) {
    switch (status >> 4) {
        case 0:
            return "completed without error";
        case 1:
            return "aborted by the host";
        case 2:
            return "interrupted by a reset";
        case 3:
            return "fatal error";
        case 4:
            return "unknown failure";
        case 5:
            return "electrical failure";
        case 6:
            return "servo failure";
        case 7:
            return "read failure";
        case 8:
            return "handling damage";
        case 15:
            return "in progress";
        default:
            return "reserved";
    }
}

SmartData decodeSmartData(ByteView data) {
    SmartData smart;
    smart.revision = static_cast<std::uint16_t>(readLe(data, 0, 2));
    for (std::size_t i = 0; i < kEntries; ++i) {
        const std::size_t at = kTableOffset + i * kEntrySize;
        const std::uint8_t id = byteAt(data, at);
        if (id == 0) continue;
        SmartAttribute a;
        a.id = id;
        a.name = smartAttributeName(id);
        a.flags = static_cast<std::uint16_t>(readLe(data, at + 1, 2));
        a.prefailure = a.flags & 0x0001;
        a.online = a.flags & 0x0002;
        a.value = byteAt(data, at + 3);
        a.worst = byteAt(data, at + 4);
        a.raw = readLe(data, at + 5, 6);
        smart.attributes.push_back(std::move(a));
    }
    smart.offlineStatus = byteAt(data, 362);
    smart.selfTestStatus = byteAt(data, 363);
    smart.offlineSeconds = static_cast<std::uint16_t>(readLe(data, 364, 2));
    smart.shortTestMinutes = byteAt(data, 372);
    smart.extendedTestMinutes = byteAt(data, 373);
    smart.checksumValid = data.size() >= 512 && sumsToZero(data.first(512));
    return smart;
}

}  // namespace quibdiag
