// The caller's copy of the device list, and the drive letter of a disk.
#include <algorithm>

#include "common/log/debug_log.h"
#include "common/records/exchange_records.h"
#include "devcore/device/quib_usb_dev.h"
#include "devcore/transport/device_path.h"

using namespace quib;
using namespace quib::devcore;

char CQuibUSBDev::vGetLogicalAddressFromPhysicalAddress(std::uint8_t ucPhysicalAddress) {
    constexpr auto kFn = "CQuibUSBDev::vGetLogicalAddressFromPhysicalAddress";
    try {
        platform::Platform& os = platform::get();
        for (char cLetter = 'D'; cLetter <= 'Z'; ++cLetter) {
            const std::string strMountPoint = std::string(1, cLetter) + ":\\";
            const auto volume = os.volumes.volumeNameForMountPoint(strMountPoint);
            if (!volume) continue;
            std::string strLogicalAddress = *volume;
            if (!strLogicalAddress.empty() && strLogicalAddress.back() == '\\') strLogicalAddress.pop_back();
            ScopedDevice hVolume(strLogicalAddress, platform::kAccessRead);
            if (!hVolume.valid()) {
                LogError(
                    "%s:%d: vGetLogicalAddressFromPhysicalAddress: CreateFile Fail , ucPhysicalAddress : %d "
                    ", "
                    "strLogicalAddress : %s , dwErrorCode %d",
                    kFn, __LINE__, ucPhysicalAddress, strLogicalAddress.c_str(), platform::lastErrorCode());
                continue;
            }
            const auto extents = os.volumes.diskExtents(hVolume.get());
            if (extents && !extents->empty() && extents->front().diskNumber == ucPhysicalAddress)
                return cLetter;
        }
    } catch (...) {
        LogError("%s:%d: catch(...): ucPhysicalAddress : %d , dwErrorCode %d", kFn, __LINE__,
                 ucPhysicalAddress, platform::lastErrorCode());
    }
    return static_cast<char>(kNoNumber);
}

void CQuibUSBDev::vExportDevList(USBDevListExp& exported) {
    if (m_pDevList == nullptr) return;
    const int count = std::clamp(m_pDevList->nDevCount, 0, kMaxDevList);
    for (int k = 0; k < count; ++k) {
        USBDevEntry& entry = m_pDevList->Devs[k];
        entry.m_cDriveLetter = vGetLogicalAddressFromPhysicalAddress(entry.m_ucPhysicalAddress);

        USBDevInfoExp& record = exported.Devs[k];
        records::storeText(record.cVid, entry.strVid);
        records::storeText(record.cPid, entry.strPid);
        records::storeText(record.cManufacturer, entry.strManufacturer);
        records::storeText(record.cProduct, entry.strProduct);
        records::storeText(record.cSerialNumber, entry.strSerialNumber);
        records::storeText(record.cFwVersion, entry.strFwVersion);
        record.m_cDriveLetter = static_cast<std::uint8_t>(entry.m_cDriveLetter);
        record.m_ucDevType = entry.m_ucDevType;
        records::storeText(record.cDeviceRelease, entry.strDeviceRelease);
        records::storeText(record.cLinkStatus, entry.strLinkStatus);
        record.m_ucPhysicalAddress = entry.m_ucPhysicalAddress;
        record.nWorkingValue1 = entry.nWorkingValue1;
        record.nWorkingValue2 = entry.nWorkingValue2;
        records::storeText(record.cHostControllerHardwareId, entry.strHostControllerHardwareId);
        record.ucGeneration = entry.ucGeneration;
    }
    exported.nDevCount = count;
}
