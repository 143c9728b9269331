#include "devcore/frame/library_objects.h"

#include <mutex>

#include "common/log/debug_log.h"

namespace quib::devcore {
namespace {

// Constructed on first use, after the platform's own statics: so it is destroyed before them, both when
// the library is unloaded and when the process ends, and unloading can still reach the platform.
struct ObjectsHolder {
    std::mutex lock;
    std::unique_ptr<LibraryObjects> objects;
    ~ObjectsHolder() {
        try {
            objects.reset();
        } catch (...) {
            // Nothing can be reported while the module is being torn down.
        }
    }
};

ObjectsHolder& holder() {
    static ObjectsHolder theHolder;
    return theHolder;
}

}  // namespace

LibraryObjects::LibraryObjects() {
    theApp.InitInstance();
}

USBDevList& LibraryObjects::createDevList() {
    if (!m_devList) {
        m_devList = std::make_unique<USBDevList>();
        bindDevList(m_devList.get());
    }
    return *m_devList;
}

bool LibraryObjects::releaseDevList() {
    if (!m_devList) return false;
    bindDevList(nullptr);
    m_devList.reset();
    return true;
}

void LibraryObjects::bindDevList(USBDevList* pDevList) {
    m_QuibUSBDev.vBindDevList(pDevList);
    m_KRV850xNVME.vBindDevList(pDevList);
    m_KRV610xDev.vBindDevList(pDevList);
    m_KRV850xNVME2.vBindDevList(pDevList);
}

LibraryObjects& libraryObjects() {
    ObjectsHolder& h = holder();
    std::lock_guard lock(h.lock);
    if (!h.objects) h.objects = std::make_unique<LibraryObjects>();
    return *h.objects;
}

void destroyLibraryObjects() {
    ObjectsHolder& h = holder();
    std::lock_guard lock(h.lock);
    h.objects.reset();
}

USBDevEntry* deviceEntry(const char* kFn, int iLine, std::uint8_t ucTargetNumber) {
    USBDevList* pDevList = libraryObjects().devList();
    if (pDevList == nullptr || ucTargetNumber >= kMaxDevList) {
        LogError("%s:%d: no device list or ucTargetNumber[%d] out of range", kFn, iLine, ucTargetNumber);
        return nullptr;
    }
    return &pDevList->Devs[ucTargetNumber];
}

namespace testing {
void reset() {
    destroyLibraryObjects();
    log::setLevel(0);
}
}  // namespace testing

}  // namespace quib::devcore
