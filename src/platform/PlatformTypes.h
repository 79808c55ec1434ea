#pragma once

#include <cstdint>

namespace vesk::platform {

// A top-level window: a 32-bit signed handle, 0 standing for no window.
using WindowHandle = std::int32_t;

}  // namespace vesk::platform
