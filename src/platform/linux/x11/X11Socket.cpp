#include "platform/linux/x11/X11Socket.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cerrno>
#include <system_error>

#include "platform/UniqueResource.h"
#include "platform/linux/posix/UnixSocket.h"

namespace vesk::platform::linux_backend {
namespace {

using Clock = X11Socket::Clock;

struct AddrInfoCloser {
  void operator()(addrinfo* list) const { freeaddrinfo(list); }
};
using UniqueAddrInfo = UniqueResource<addrinfo*, AddrInfoCloser, nullptr>;

// A connection that failed with `error`: timed out, or refused.
Problem Refused(int error) {
  if (error == ETIMEDOUT) return {"did not answer in time", ETIMEDOUT};
  return {"refused the connection: " + std::generic_category().message(error), error};
}

// Connects to the Unix socket at `path`; an abstract name starts with '\0'.
Result<UniqueFd> ConnectUnix(const std::string& path, Clock::time_point deadline) {
  Result<UniqueFd> socket = ConnectUnixSocket(path, deadline);
  if (!socket) return Refused(socket.error());
  return socket;
}

Result<UniqueFd> ConnectTcp(const std::string& host, int display, Clock::time_point deadline) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_ADDRCONFIG | AI_NUMERICSERV;
  addrinfo* raw = nullptr;
  const int looked_up = ::getaddrinfo(host.c_str(), std::to_string(6000 + display).c_str(), &hints, &raw);
  const UniqueAddrInfo addresses(raw);
  if (looked_up != 0) {
    return Result<UniqueFd>::Fail(std::string("refused the connection: host name lookup failed: ") +
                                  ::gai_strerror(looked_up));
  }
  int error = EADDRNOTAVAIL;
  for (const addrinfo* address = addresses.get(); address != nullptr; address = address->ai_next) {
    UniqueFd fd = NewStreamSocket(address->ai_family);
    if (!fd) {
      error = errno;
      continue;
    }
    error = ConnectWithin(fd.get(), address->ai_addr, address->ai_addrlen, deadline);
    if (error == 0) {
      const int on = 1;  // requests are small and each is waited for: send them at once
      ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      return fd;
    }
    if (error == ETIMEDOUT) break;
  }
  return Refused(error);
}

}  // namespace

Result<UniqueFd> X11Socket::Connect(const X11DisplayName& name, Clock::time_point deadline) {
  switch (name.kind) {
    case X11DisplayName::Kind::kLocal: {
      const std::string file = "/tmp/.X11-unix/X" + std::to_string(name.display);
      Result<UniqueFd> socket = ConnectUnix(std::string(1, '\0') + file, deadline);
      if (!socket && socket.error() != ETIMEDOUT) return ConnectUnix(file, deadline);
      return socket;
    }
    case X11DisplayName::Kind::kSocketPath:
      return ConnectUnix(name.host, deadline);
    case X11DisplayName::Kind::kTcp:
      return ConnectTcp(name.host, name.display, deadline);
  }
  return Refused(0);
}

}  // namespace vesk::platform::linux_backend
