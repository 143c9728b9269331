// The on-the-go status bytes, read from the device through its hub.
#include <algorithm>
#include <cstring>

#include "common/log/debug_log.h"
#include "devcore/device/quib_usb_dev.h"
#include "devcore/transport/device_path.h"

using namespace quib;
using namespace quib::devcore;

namespace {
constexpr std::size_t kOtbStatusSize = 16;
}

bool CQuibUSBDev::bGetOTBStatusByStorageDescriptor(std::uint8_t ucTargetNumber, std::uint8_t* pStatus) {
    constexpr auto kFn = "CQuibUSBDev::bGetOTBStatusByStorageDescriptor";
    if (m_pDevList == nullptr || ucTargetNumber >= kMaxDevList || pStatus == nullptr) {
        platform::setLastError(platform::kErrorInvalidParameter);
        return false;
    }
    const USBDevEntry& entry = m_pDevList->Devs[ucTargetNumber];
    platform::Platform& os = platform::get();
    ScopedDevice hub(entry.strHubDeviceName, platform::kAccessNone);
    if (!hub.valid()) {
        LogError("%s:%d: EnumerateHostController: CreateFile[%s] fail , dwErrorCode : %d", kFn, __LINE__,
                 entry.strHubDeviceName.c_str(), platform::lastErrorCode());
        return false;
    }
    const auto port = static_cast<std::uint32_t>(entry.iPortNumber);

    platform::SetupPacket languages;
    languages.wValue = 0x0300;
    languages.wIndex = 0;
    languages.wLength = 4;
    platform::SetupPacket status;
    status.wValue = 0x03FF;
    status.wIndex = 1;
    status.wLength = kOtbStatusSize;

    std::optional<std::vector<std::uint8_t>> answer =
        os.usb.descriptorFromConnection(hub.get(), port, languages);
    if (answer) answer = os.usb.descriptorFromConnection(hub.get(), port, status);
    if (!answer) {
        // Keep the request's error for the caller across the close.
        const std::uint32_t dwErrorCode = platform::lastError();
        hub.close();
        platform::setLastError(dwErrorCode);
        return false;
    }
    std::memset(pStatus, 0, kOtbStatusSize);
    std::memcpy(pStatus, answer->data(), std::min(answer->size(), kOtbStatusSize));
    return true;
}
