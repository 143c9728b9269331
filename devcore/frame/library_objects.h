// What exists while the library is loaded: the application object, the device objects, the utility state
// and the device list of the last scan.
#pragma once

#include <memory>

#include "devcore/device/quib_usb_dev.h"
#include "devcore/discovery/krv610x_dev.h"
#include "devcore/frame/usb_utility.h"
#include "devcore/nvme/krv850x_nvme.h"

class CquibusbApp {
  public:
    bool InitInstance() { return true; }
};

namespace quib::devcore {

// Members are created in this order and destroyed in the reverse one.
struct LibraryObjects {
    LibraryObjects();

    CquibusbApp theApp;
    CQuibUSBDev m_QuibUSBDev;
    CKRV850xNVME m_KRV850xNVME;
    CKRV610xDev m_KRV610xDev;
    CUSBUtility pUtility;
    CKRV850xNVME m_KRV850xNVME2;

    // g_DevList: created by the first scan, released by CloseDev (and by the older scan finding nothing).
    USBDevList* devList() const { return m_devList.get(); }
    USBDevList& createDevList();
    // True when a list existed.
    bool releaseDevList();

  private:
    void bindDevList(USBDevList* pDevList);
    std::unique_ptr<USBDevList> m_devList;
};

// The objects of this library, created on first use and destroyed when the library is unloaded.
LibraryObjects& libraryObjects();
inline CQuibUSBDev& theDevice() {
    return libraryObjects().m_QuibUSBDev;
}
inline CUSBUtility& theUtility() {
    return libraryObjects().pUtility;
}

// Destroys the objects now; the next use creates them anew.
void destroyLibraryObjects();

// The list entry an export addresses; nullptr (and an error entry naming kFn and iLine) when there is no list
// or the index lies outside it.
USBDevEntry* deviceEntry(const char* kFn, int iLine, std::uint8_t ucTargetNumber);

namespace testing {
// Back to the state of a freshly loaded library.
void reset();
}  // namespace testing

}  // namespace quib::devcore
