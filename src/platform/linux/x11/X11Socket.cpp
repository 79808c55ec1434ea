#include "platform/linux/x11/X11Socket.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <algorithm>
#include <system_error>
#include <thread>

#include "platform/UniqueResource.h"

namespace vesk::platform::linux_backend {
namespace {

using Clock = X11Socket::Clock;

struct AddrInfoCloser {
  void operator()(addrinfo* list) const { freeaddrinfo(list); }
};
using UniqueAddrInfo = UniqueResource<addrinfo*, AddrInfoCloser, nullptr>;

int MillisecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, 60'000));
}

// Connects the non-blocking `fd`; 0, the connection's errno, or ETIMEDOUT
// once `deadline` passes.
int ConnectBy(int fd, const sockaddr* address, socklen_t length, Clock::time_point deadline) {
  for (;;) {
    if (::connect(fd, address, length) == 0) return 0;
    if (errno == EINPROGRESS || errno == EINTR) break;  // goes on in the background
    // A Unix socket whose queue of waiting connections is full: try again shortly.
    if (errno != EAGAIN) return errno;
    if (MillisecondsLeft(deadline) == 0) return ETIMEDOUT;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
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

UniqueFd NewSocket(int family) {
  return UniqueFd(::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
}

// Connects to the Unix socket at `path`; an abstract name starts with '\0'.
UniqueFd ConnectUnix(const std::string& path, Clock::time_point deadline, int& error) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    error = ENAMETOOLONG;
    return UniqueFd();
  }
  std::memcpy(address.sun_path, path.data(), path.size());
  UniqueFd fd = NewSocket(AF_UNIX);
  if (!fd) {
    error = errno;
    return fd;
  }
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + (path[0] == '\0' ? 0 : 1));
  error = ConnectBy(fd.get(), reinterpret_cast<const sockaddr*>(&address), length, deadline);
  if (error != 0) fd.reset();
  return fd;
}

UniqueFd ConnectTcp(const std::string& host, int display, Clock::time_point deadline, int& error,
                    std::string& problem) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_ADDRCONFIG | AI_NUMERICSERV;
  addrinfo* raw = nullptr;
  const int looked_up = ::getaddrinfo(host.c_str(), std::to_string(6000 + display).c_str(), &hints, &raw);
  const UniqueAddrInfo addresses(raw);
  if (looked_up != 0) {
    problem = std::string("refused the connection: host name lookup failed: ") + ::gai_strerror(looked_up);
    return UniqueFd();
  }
  error = EADDRNOTAVAIL;
  for (const addrinfo* address = addresses.get(); address != nullptr; address = address->ai_next) {
    UniqueFd fd = NewSocket(address->ai_family);
    if (!fd) {
      error = errno;
      continue;
    }
    error = ConnectBy(fd.get(), address->ai_addr, address->ai_addrlen, deadline);
    if (error == 0) {
      const int on = 1;  // requests are small and each is waited for: send them at once
      ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      return fd;
    }
    if (error == ETIMEDOUT) break;
  }
  return UniqueFd();
}

}  // namespace

UniqueFd X11Socket::Connect(const X11DisplayName& name, Clock::time_point deadline, std::string& problem,
                            bool& timed_out) {
  int error = 0;
  UniqueFd fd;
  switch (name.kind) {
    case X11DisplayName::Kind::kLocal: {
      const std::string file = "/tmp/.X11-unix/X" + std::to_string(name.display);
      fd = ConnectUnix(std::string(1, '\0') + file, deadline, error);
      if (!fd && error != ETIMEDOUT) fd = ConnectUnix(file, deadline, error);
      break;
    }
    case X11DisplayName::Kind::kSocketPath:
      fd = ConnectUnix(name.host, deadline, error);
      break;
    case X11DisplayName::Kind::kTcp:
      fd = ConnectTcp(name.host, name.display, deadline, error, problem);
      break;
  }
  timed_out = !fd && error == ETIMEDOUT;
  if (!fd && problem.empty() && !timed_out) problem = "refused the connection: " + std::generic_category().message(error);
  return fd;
}

}  // namespace vesk::platform::linux_backend
