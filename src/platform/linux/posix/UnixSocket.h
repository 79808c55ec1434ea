#pragma once

#include <sys/socket.h>

#include <chrono>
#include <string>

#include "platform/linux/posix/Result.h"
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

// A socket connected to the Unix socket at `path` (an abstract name starts
// with '\0'). A failure is worded to follow the socket's name, its error()
// the errno: "is not a usable socket path" (EINVAL: empty, ENAMETOOLONG:
// longer than a socket address holds), "could not be opened: ..." (socket()'s
// errno), "refused the connection: ..." (the connection's errno), or "did not
// answer in time" (ETIMEDOUT: the deadline passed).
Result<UniqueFd> ConnectUnixSocket(const std::string& path, SocketClock::time_point deadline);

}  // namespace vesk::platform::linux_backend
