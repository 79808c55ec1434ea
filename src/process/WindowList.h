#pragma once

#include <vector>

#include "platform/PlatformTypes.h"

namespace vesk {

// Window handles indexed from 0, always ending in one entry 0: one window per
// matching process (0 where none was found), then the final 0.
using WindowList = std::vector<platform::WindowHandle>;

}  // namespace vesk
