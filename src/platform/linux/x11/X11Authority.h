#pragma once

#include <string>

namespace vesk::platform::linux_backend {

// The MIT-MAGIC-COOKIE-1 that the user's X authority file (XAUTHORITY, else
// ~/.Xauthority) holds for a server. Only a regular file of at most 1 MiB is
// read: anything else (a FIFO, a device) gives no cookie rather than a wait.
class X11Authority {
 public:
  // The cookie for display `display` of the server at the other end of the
  // connected `socket`, empty when the file has none. A local server, and a
  // TCP one on a loopback address, is looked up by this machine's host name.
  static std::string CookieFor(int socket, int display);
};

}  // namespace vesk::platform::linux_backend
