#include "pdupdate/pd_object.h"

#include <memory>

#include "devcore/frame/library_objects.h"

namespace quib::pdupdate {
namespace {

std::unique_ptr<CPowerDelivery>& holder() {
    static std::unique_ptr<CPowerDelivery> object;
    return object;
}

}  // namespace

CPowerDelivery& powerDelivery() {
    auto& object = holder();
    if (!object) object = std::make_unique<CPowerDelivery>(nullptr);
    // A scan may have created or replaced the list since.
    object->vBindDevList(devcore::libraryObjects().devList());
    return *object;
}

CPowerDelivery* existingPowerDelivery() {
    return holder().get();
}

bool closePowerDelivery() {
    auto& object = holder();
    const bool bExisted = object != nullptr;
    object.reset();
    return bExisted;
}

}  // namespace quib::pdupdate
