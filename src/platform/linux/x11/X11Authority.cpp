#include "platform/linux/x11/X11Authority.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <mutex>

#include "platform/linux/x11/X11Resources.h"

namespace vesk::platform::linux_backend {
namespace {

// How the authority file names the server at the other end of `socket`.
struct Address {
  unsigned short family = FamilyLocal;
  std::string bytes;
};

Address LocalAddress() {
  char host[HOST_NAME_MAX + 1] = {};
  if (::gethostname(host, sizeof host - 1) != 0) host[0] = '\0';
  return {FamilyLocal, host};
}

Address PeerAddress(int socket) {
  sockaddr_storage peer{};
  socklen_t size = sizeof peer;
  if (::getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &size) != 0) return LocalAddress();
  if (peer.ss_family == AF_INET) {
    const auto& address = reinterpret_cast<const sockaddr_in&>(peer).sin_addr;
    if ((ntohl(address.s_addr) >> 24) == 127) return LocalAddress();
    return {XCB_FAMILY_INTERNET, std::string(reinterpret_cast<const char*>(&address), 4)};
  }
  if (peer.ss_family == AF_INET6) {
    const auto& address = reinterpret_cast<const sockaddr_in6&>(peer).sin6_addr;
    if (IN6_IS_ADDR_LOOPBACK(&address)) return LocalAddress();
    if (IN6_IS_ADDR_V4MAPPED(&address)) {
      if (address.s6_addr[12] == 127) return LocalAddress();
      return {XCB_FAMILY_INTERNET, std::string(reinterpret_cast<const char*>(address.s6_addr + 12), 4)};
    }
    return {XCB_FAMILY_INTERNET_6, std::string(reinterpret_cast<const char*>(address.s6_addr), 16)};
  }
  return LocalAddress();
}

}  // namespace

std::string X11Authority::CookieFor(int socket, int display) {
  const Address address = PeerAddress(socket);
  const std::string number = std::to_string(display);
  char type[] = "MIT-MAGIC-COOKIE-1";
  char* types[] = {type};
  const int type_lengths[] = {static_cast<int>(sizeof type - 1)};
  // Xau keeps the file's name in a buffer of its own, shared by all threads.
  static std::mutex lookup;
  const std::lock_guard lock(lookup);
  const UniqueXauth entry(XauGetBestAuthByAddr(address.family, static_cast<unsigned short>(address.bytes.size()),
                                               address.bytes.data(), static_cast<unsigned short>(number.size()),
                                               number.data(), 1, types, type_lengths));
  if (!entry || entry.get()->data_length == 0) return {};
  return std::string(entry.get()->data, entry.get()->data_length);
}

}  // namespace vesk::platform::linux_backend
