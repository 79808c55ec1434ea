#pragma once

#include <cerrno>
#include <utility>

namespace vesk::platform {

// The default policy of UniqueResource: `kEmpty` alone owns nothing, and
// errno is the error state that survives a release.
struct ErrnoPolicy {
  template <class Handle>
  static constexpr bool IsEmpty(Handle handle, Handle empty) noexcept {
    return handle == empty;
  }
  static int SaveError() noexcept { return errno; }
  static void RestoreError(int saved) noexcept { errno = saved; }
};

// Owns one OS resource of type `Handle` and releases it with `Closer` when
// destroyed; `kEmpty` is the value that owns nothing. Move-only. Releasing
// keeps the error state (errno by default) unchanged, so a failure being
// reported is not lost. `Closer` is a callable type; it may carry state (the
// service that issued the handle). `Policy` says which values are empty
// (IsEmpty(handle, kEmpty)) and which error state to keep (SaveError,
// RestoreError), for systems with more than one empty value or another
// error state.
template <class Handle, class Closer, Handle kEmpty, class Policy = ErrnoPolicy>
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
  explicit operator bool() const noexcept { return !Policy::IsEmpty(handle_, kEmpty); }
  // Gives up ownership without releasing.
  Handle release() noexcept { return std::exchange(handle_, kEmpty); }
  // Releases the owned resource, if any, and takes `handle`.
  void reset(Handle handle = kEmpty) noexcept {
    const Handle old = std::exchange(handle_, handle);
    if (!Policy::IsEmpty(old, kEmpty)) {
      const auto saved = Policy::SaveError();
      closer_(old);
      Policy::RestoreError(saved);
    }
  }

 private:
  Handle handle_ = kEmpty;
  Closer closer_{};
};

}  // namespace vesk::platform
