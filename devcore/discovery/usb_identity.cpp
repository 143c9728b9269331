#include <optional>

#include "devcore/device/text_helpers.h"
#include "devcore/discovery/usb_port_device.h"

namespace quib::devcore {
namespace {

constexpr std::uint8_t kStringDescriptorType = 0x03;
constexpr std::uint16_t kMaxStringLength = 255;

std::optional<std::vector<std::uint8_t>> stringDescriptor(platform::DeviceHandle hHub, std::uint32_t ulPort,
                                                          std::uint8_t ucIndex, std::uint16_t usLanguageID) {
    platform::SetupPacket request;
    request.bmRequest = 0x80;
    request.bRequest = 6;
    request.wValue = static_cast<std::uint16_t>((kStringDescriptorType << 8) | ucIndex);
    request.wIndex = usLanguageID;
    request.wLength = kMaxStringLength;
    return platform::get().usb.descriptorFromConnection(hHub, ulPort, request);
}

std::string stringOf(platform::DeviceHandle hHub, std::uint32_t ulPort, std::uint8_t ucIndex,
                     std::uint16_t usLanguageID) {
    if (ucIndex == 0) return {};
    const auto descriptor = stringDescriptor(hHub, ulPort, ucIndex, usLanguageID);
    return descriptor ? trimText(textOfStringDescriptor(*descriptor)) : std::string();
}

}  // namespace

UsbIdentity readUsbIdentity(platform::DeviceHandle hHub, std::uint32_t ulPort,
                            const platform::UsbDeviceDescriptor& descriptor) {
    UsbIdentity identity;
    identity.strVid = toUpper(hex4(descriptor.idVendor));
    identity.strPid = toUpper(hex4(descriptor.idProduct));
    identity.strDeviceRelease = hex4(descriptor.bcdDevice);

    const auto languages = stringDescriptor(hHub, ulPort, 0, 0);
    if (!languages || languages->size() < 4) return identity;
    identity.usLanguageID = static_cast<std::uint16_t>((*languages)[2] | ((*languages)[3] << 8));
    identity.strManufacturer = stringOf(hHub, ulPort, descriptor.iManufacturer, identity.usLanguageID);
    identity.strProduct = stringOf(hHub, ulPort, descriptor.iProduct, identity.usLanguageID);
    identity.strSerialNumber = stringOf(hHub, ulPort, descriptor.iSerialNumber, identity.usLanguageID);
    return identity;
}

}  // namespace quib::devcore
