#include "platform/linux/x11/X11Authority.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>
#include <string_view>

#include "platform/linux/posix/UniqueFd.h"
#include "platform/linux/x11/X11Resources.h"

namespace vesk::platform::linux_backend {
namespace {

// Authority files hold a few entries of a few dozen bytes each.
constexpr off_t kMaxFileSize = off_t{1} << 20;

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

// The bytes of the authority file at `path`, as long as it was when opened;
// empty unless it is a regular file of at most kMaxFileSize bytes. Nothing
// bounds a read: a FIFO nobody writes would block it, and a device such as
// /dev/zero would never end it. Opening does not block (O_NONBLOCK), and the
// checks are made on the open file, so it cannot be swapped in between.
std::string ReadRegularFile(const char* path) {
  const UniqueFd fd(::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!fd) return {};
  struct stat status {};
  if (::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode) || status.st_size > kMaxFileSize) return {};
  std::string bytes(static_cast<std::size_t>(status.st_size), '\0');
  std::size_t size = 0;
  while (size < bytes.size()) {
    const ssize_t got = ::read(fd.get(), bytes.data() + size, bytes.size() - size);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    size += static_cast<std::size_t>(got);
  }
  bytes.resize(size);
  return bytes;
}

// Reads the entries of an authority file: each is a big-endian 16-bit
// family, then address, display number, authorization name and data, each a
// big-endian 16-bit length and that many bytes.
class EntryReader {
 public:
  explicit EntryReader(std::string_view bytes) : rest_(bytes) {}

  struct Entry {
    unsigned family = 0;
    std::string_view address, number, name, data;
  };

  // False at the end of the file, or at an entry cut short.
  bool Next(Entry& entry) {
    return Short(entry.family) && Counted(entry.address) && Counted(entry.number) && Counted(entry.name) &&
           Counted(entry.data);
  }

 private:
  bool Short(unsigned& value) {
    if (rest_.size() < 2) return false;
    value = static_cast<unsigned>(static_cast<unsigned char>(rest_[0])) << 8 |
            static_cast<unsigned char>(rest_[1]);
    rest_.remove_prefix(2);
    return true;
  }
  bool Counted(std::string_view& field) {
    unsigned length = 0;
    if (!Short(length) || rest_.size() < length) return false;
    field = rest_.substr(0, length);
    rest_.remove_prefix(length);
    return true;
  }

  std::string_view rest_;
};

}  // namespace

std::string X11Authority::CookieFor(int socket, int display) {
  const Address address = PeerAddress(socket);
  const std::string number = std::to_string(display);
  std::string path;
  {
    // Xau keeps the file's name in a buffer of its own, shared by all threads.
    static std::mutex lookup;
    const std::lock_guard lock(lookup);
    const char* name = XauFileName();
    if (name == nullptr) return {};
    path = name;
  }
  const std::string file = ReadRegularFile(path.c_str());
  // The first entry of this type for this server: same family and address, or
  // any address (FamilyWild); same display number, or any (none given).
  EntryReader reader(file);
  EntryReader::Entry entry;
  while (reader.Next(entry)) {
    const bool server = entry.family == FamilyWild || (entry.family == address.family && entry.address == address.bytes);
    if (server && (entry.number.empty() || entry.number == number) && entry.name == "MIT-MAGIC-COOKIE-1") {
      return std::string(entry.data);
    }
  }
  return {};
}

}  // namespace vesk::platform::linux_backend
