#pragma once

#include <windows.h>

#include <utility>

namespace vesk::platform::win32 {

// Owns one OS resource described by `Traits`: `Type`, `Empty()`, `IsEmpty(v)`
// and `Close(v)`. Move-only; closing keeps GetLastError unchanged, so an error
// being reported is not lost.
template <class Traits>
class UniqueResource {
 public:
  using Type = typename Traits::Type;

  UniqueResource() noexcept = default;
  explicit UniqueResource(Type value) noexcept : value_(value) {}
  UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    reset(other.release());
    return *this;
  }
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  ~UniqueResource() { reset(); }

  Type get() const noexcept { return value_; }
  explicit operator bool() const noexcept { return !Traits::IsEmpty(value_); }
  // Gives up ownership without closing.
  Type release() noexcept { return std::exchange(value_, Traits::Empty()); }
  // Closes the owned resource, if any, and takes `value`.
  void reset(Type value = Traits::Empty()) noexcept {
    const Type old = std::exchange(value_, value);
    if (!Traits::IsEmpty(old)) {
      const DWORD saved = GetLastError();
      Traits::Close(old);
      SetLastError(saved);
    }
  }

 private:
  Type value_ = Traits::Empty();
};

// A kernel handle; both NULL and INVALID_HANDLE_VALUE are empty.
struct HandleTraits {
  using Type = HANDLE;
  static Type Empty() noexcept { return nullptr; }
  static bool IsEmpty(Type value) noexcept { return value == nullptr || value == INVALID_HANDLE_VALUE; }
  static void Close(Type value) noexcept { CloseHandle(value); }
};
using UniqueHandle = UniqueResource<HandleTraits>;

}  // namespace vesk::platform::win32
