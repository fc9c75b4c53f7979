// Picks the z-order implementation for the running Qt platform.
#pragma once

#include <memory>

#include "platform/z_order.h"

namespace fhsw {

class QtWindowHost;

// X11ZOrder on the xcb platform (window ids from the host's views), NoZOrder
// elsewhere (offscreen, Wayland, builds without X11). The host must outlive it.
std::unique_ptr<ZOrder> MakeZOrder(QtWindowHost& host);

}  // namespace fhsw
