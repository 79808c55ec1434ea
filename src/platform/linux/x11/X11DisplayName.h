#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vesk::platform::linux_backend {

// Where a DISPLAY value points. Understood forms:
//   [unix]:N[.S]        the local server N: its Unix socket (abstract, then file)
//   HOST:N[.S]          TCP to HOST, port 6000 + N
//   /PATH/SOCKET:N[.S]  the Unix socket at PATH/SOCKET, server number N
//   unix/[HOST]:N[.S]   the local server N; HOST is ignored, as XCB does
//   tcp/HOST:N[.S]      TCP to HOST (also inet/ and inet6/, which XCB treats
//                       alike); with no HOST, or HOST "unix", it is invalid,
//                       as XCB then tries only Unix sockets and refuses them
// S is the screen, 0 when left out. Any other protocol before the last '/'
// is invalid.
struct X11DisplayName {
  enum class Kind { kLocal, kSocketPath, kTcp };
  Kind kind = Kind::kLocal;
  std::string host;  // the TCP host, or the socket's path
  int display = 0;
  int screen = 0;

  // Nothing when `text` is none of the forms above (DECnet "::" included).
  static std::optional<X11DisplayName> Parse(std::string_view text);
};

}  // namespace vesk::platform::linux_backend
