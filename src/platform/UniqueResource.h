#pragma once

#include <cerrno>
#include <utility>

namespace vesk::platform {

// Owns one OS resource of type `Handle` and releases it with `Closer` when
// destroyed; `kEmpty` is the value that owns nothing. Move-only. Releasing
// keeps errno unchanged, so a failure being reported is not lost. `Closer` is
// a callable type; it may carry state (the service that issued the handle).
template <class Handle, class Closer, Handle kEmpty>
class UniqueResource {
 public:
  UniqueResource() noexcept = default;
  explicit UniqueResource(Handle handle, Closer closer = Closer()) noexcept
      : handle_(handle), closer_(std::move(closer)) {}
  UniqueResource(UniqueResource&& other) noexcept
      : handle_(other.release()), closer_(std::move(other.closer_)) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) {
      reset();
      closer_ = std::move(other.closer_);
      handle_ = other.release();
    }
    return *this;
  }
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  ~UniqueResource() { reset(); }

  Handle get() const noexcept { return handle_; }
  explicit operator bool() const noexcept { return handle_ != kEmpty; }
  // Gives up ownership without releasing.
  Handle release() noexcept { return std::exchange(handle_, kEmpty); }
  // Releases the owned resource, if any, and takes `handle`.
  void reset(Handle handle = kEmpty) noexcept {
    const Handle old = std::exchange(handle_, handle);
    if (old != kEmpty) {
      const int saved = errno;
      closer_(old);
      errno = saved;
    }
  }

 private:
  Handle handle_ = kEmpty;
  Closer closer_{};
};

}  // namespace vesk::platform
