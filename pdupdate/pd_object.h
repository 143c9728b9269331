// The library's one PD object: created on the first PD call that needs it, destroyed on request.
#pragma once

#include "pdupdate/power_delivery.h"

namespace quib::pdupdate {

// The object, created (and bound to the library's current device list) when there is none.
CPowerDelivery& powerDelivery();
// The object if it exists.
CPowerDelivery* existingPowerDelivery();
// Destroys the object; true when there was one.
bool closePowerDelivery();

}  // namespace quib::pdupdate
