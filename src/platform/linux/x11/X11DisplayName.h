#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vesk::platform::linux_backend {

// Where a DISPLAY value points. Understood forms:
//   [unix]:N[.S]        the local server N: its Unix socket (abstract, then file)
//   HOST:N[.S]          TCP to HOST, port 6000 + N
//   /PATH/SOCKET:N[.S]  the Unix socket at PATH/SOCKET, server number N
// S is the screen, 0 when left out.
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
