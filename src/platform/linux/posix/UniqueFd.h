#pragma once

#include <unistd.h>

#include <cerrno>
#include <utility>

namespace vesk::platform::linux_backend {

// Owns one file descriptor (-1 is empty) and closes it when destroyed.
// Closing keeps errno unchanged, so a failure being reported is not lost.
class UniqueFd {
 public:
  UniqueFd() noexcept = default;
  explicit UniqueFd(int fd) noexcept : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    reset(other.release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { reset(); }

  int get() const noexcept { return fd_; }
  explicit operator bool() const noexcept { return fd_ >= 0; }
  // Gives up ownership without closing.
  int release() noexcept { return std::exchange(fd_, -1); }
  // Closes the owned descriptor, if any, and takes `fd`.
  void reset(int fd = -1) noexcept {
    const int old = std::exchange(fd_, fd);
    if (old >= 0) {
      const int saved = errno;
      ::close(old);
      errno = saved;
    }
  }

 private:
  int fd_ = -1;
};

}  // namespace vesk::platform::linux_backend
