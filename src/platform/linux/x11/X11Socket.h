#pragma once

#include <chrono>
#include <string>

#include "platform/linux/posix/Result.h"
#include "platform/linux/posix/UniqueFd.h"
#include "platform/linux/x11/X11DisplayName.h"

namespace vesk::platform::linux_backend {

// The stream socket to an X server, connected without blocking past a deadline.
class X11Socket {
 public:
  using Clock = std::chrono::steady_clock;

  // Connects to the server `name` points at: a local server on its abstract
  // socket "\0/tmp/.X11-unix/XN", then on the file of that name; a path on
  // that socket; a host over TCP, each of its addresses in turn. Gives up at
  // `deadline` (a failure whose error() is ETIMEDOUT). A failure says what
  // happened, as words after "X display NAME". The host name lookup of a TCP
  // display is not bounded by the deadline.
  static Result<UniqueFd> Connect(const X11DisplayName& name, Clock::time_point deadline);
};

}  // namespace vesk::platform::linux_backend
