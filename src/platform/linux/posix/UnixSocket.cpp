#include "platform/linux/posix/UnixSocket.h"

#include <poll.h>
#include <sys/un.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <thread>

namespace vesk::platform::linux_backend {
namespace {

int MillisecondsLeft(SocketClock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - SocketClock::now()).count();
  return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, 60'000));
}

}  // namespace

UniqueFd NewStreamSocket(int family) {
  return UniqueFd(::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
}

int ConnectWithin(int fd, const sockaddr* address, socklen_t length, SocketClock::time_point deadline) {
  for (;;) {
    if (::connect(fd, address, length) == 0) return 0;
    // Both go on in the background: wait for the socket to become writable.
    if (errno == EINPROGRESS || errno == EINTR) break;
    // A Unix socket whose queue of waiting connections is full: the server
    // is busy, so try again shortly.
    if (errno != EAGAIN) return errno;
    const int left = MillisecondsLeft(deadline);
    if (left == 0) return ETIMEDOUT;
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min(left, 10)));
  }
  pollfd writable{fd, POLLOUT, 0};
  for (;;) {
    const int left = MillisecondsLeft(deadline);
    if (left == 0) return ETIMEDOUT;
    const int ready = ::poll(&writable, 1, left);
    if (ready > 0) break;
    if (ready < 0 && errno != EINTR) return errno;
  }
  int error = 0;
  socklen_t size = sizeof error;
  if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) return errno;
  return error;
}

UniqueFd ConnectUnixSocket(const std::string& path, SocketClock::time_point deadline, UnixConnectFailure& failure,
                           int& error) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  failure = UnixConnectFailure::kBadPath;
  if (path.empty()) {
    error = EINVAL;
    return UniqueFd();
  }
  if (path.size() >= sizeof address.sun_path) {
    error = ENAMETOOLONG;
    return UniqueFd();
  }
  std::memcpy(address.sun_path, path.data(), path.size());
  UniqueFd fd = NewStreamSocket(AF_UNIX);
  if (!fd) {
    failure = UnixConnectFailure::kNoSocket;
    error = errno;
    return fd;
  }
  // A file's name ends with its '\0'; an abstract name is exactly its bytes.
  const auto length =
      static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + (path[0] == '\0' ? 0 : 1));
  error = ConnectWithin(fd.get(), reinterpret_cast<const sockaddr*>(&address), length, deadline);
  if (error == 0) {
    failure = UnixConnectFailure::kNone;
    return fd;
  }
  failure = error == ETIMEDOUT ? UnixConnectFailure::kTimedOut : UnixConnectFailure::kRefused;
  return UniqueFd();
}

}  // namespace vesk::platform::linux_backend
