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

Result<UniqueFd> ConnectUnixSocket(const std::string& path, SocketClock::time_point deadline) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.empty()) return Problem{"is not a usable socket path", EINVAL};
  if (path.size() >= sizeof address.sun_path) return Problem{"is not a usable socket path", ENAMETOOLONG};
  std::memcpy(address.sun_path, path.data(), path.size());
  UniqueFd fd = NewStreamSocket(AF_UNIX);
  if (!fd) {
    const int error = errno;
    return Problem{std::string("could not be opened: ") + std::strerror(error), error};
  }
  // A file's name ends with its '\0'; an abstract name is exactly its bytes.
  const auto length =
      static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + (path[0] == '\0' ? 0 : 1));
  const int error = ConnectWithin(fd.get(), reinterpret_cast<const sockaddr*>(&address), length, deadline);
  if (error == 0) return fd;
  if (error == ETIMEDOUT) return Problem{"did not answer in time", ETIMEDOUT};
  return Problem{std::string("refused the connection: ") + std::strerror(error), error};
}

}  // namespace vesk::platform::linux_backend
