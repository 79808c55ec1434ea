#pragma once

#include <windows.h>

#include <atomic>
#include <utility>

#include "platform/win32/Win32Library.h"

namespace vesk::platform::win32 {

// A function of a system library, bound on its first call: a missing library
// fails that call with 48, a missing entry point with 453. Constant
// initialised and trivially destroyed, so it can be a plain static.
template <class Fn>
class LazyFunction {
 public:
  constexpr LazyFunction(const wchar_t* library, const char* entry) : library_(library), entry_(entry) {}

  Fn* get() {
    Fn* fn = fn_.load(std::memory_order_acquire);
    if (fn == nullptr) {
      // Through void(*)(): the one function pointer type every other converts to quietly.
      const auto generic = reinterpret_cast<void (*)()>(Win32Library::Find(library_, entry_));
      fn = reinterpret_cast<Fn*>(generic);
      fn_.store(fn, std::memory_order_release);
    }
    return fn;
  }

  template <class... Args>
  auto operator()(Args&&... args) {
    return get()(std::forward<Args>(args)...);
  }

 private:
  const wchar_t* library_;
  const char* entry_;
  std::atomic<Fn*> fn_{nullptr};
};

}  // namespace vesk::platform::win32
