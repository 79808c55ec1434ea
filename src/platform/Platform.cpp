#include "platform/Platform.h"

#include <atomic>

namespace vesk::platform {
namespace {
thread_local Platform* g_installed = nullptr;
}

Platform& Current() { return g_installed != nullptr ? *g_installed : RealPlatform(); }

std::uint64_t NextPlatformSerial() {
  static std::atomic<std::uint64_t> next{1};
  return next++;
}

ScopedPlatform::ScopedPlatform(Platform& platform) : previous_(g_installed) {
  if (platform.serial == 0) platform.serial = NextPlatformSerial();
  g_installed = &platform;
}

ScopedPlatform::~ScopedPlatform() { g_installed = previous_; }

}  // namespace vesk::platform
