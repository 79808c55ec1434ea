#pragma once

#include <sys/socket.h>

#include <chrono>
#include <string>

#include "platform/linux/posix/UniqueFd.h"

namespace vesk::platform::linux_backend {

// Connecting stream sockets without blocking past a deadline, shared by the
// routes that reach a server on a socket (the X display, compositor IPC).

using SocketClock = std::chrono::steady_clock;

// A new non-blocking, close-on-exec stream socket of `family` (empty on failure, errno set).
UniqueFd NewStreamSocket(int family);

// Connects the non-blocking socket `fd` to `address`: a connection in
// progress (or interrupted by a signal) is waited for; a Unix socket whose
// queue of waiting connections is full (EAGAIN) is tried again every 10 ms.
// Returns 0, the connection's errno (ECONNREFUSED, ENOENT, ...), or
// ETIMEDOUT once `deadline` passes.
int ConnectWithin(int fd, const sockaddr* address, socklen_t length, SocketClock::time_point deadline);

// How a connection to a Unix socket failed.
enum class UnixConnectFailure {
  kNone,
  kBadPath,   // empty or longer than a socket address holds (error EINVAL, ENAMETOOLONG)
  kNoSocket,  // no socket could be made (error is socket()'s errno)
  kRefused,   // the connection failed (error is its errno)
  kTimedOut,  // the deadline passed (error ETIMEDOUT)
};

// A socket connected to the Unix socket at `path` (an abstract name starts
// with '\0'); empty with `failure` and `error` set when that failed.
UniqueFd ConnectUnixSocket(const std::string& path, SocketClock::time_point deadline, UnixConnectFailure& failure,
                           int& error);

}  // namespace vesk::platform::linux_backend
