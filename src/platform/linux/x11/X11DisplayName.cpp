#include "platform/linux/x11/X11DisplayName.h"

namespace vesk::platform::linux_backend {
namespace {

// Display numbers above this give no TCP port (6000 + N must fit 16 bits).
constexpr int kMaxDisplay = 65535 - 6000;

// A decimal number of at most five digits, nothing else.
std::optional<int> Number(std::string_view digits) {
  if (digits.empty() || digits.size() > 5) return std::nullopt;
  int value = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

}  // namespace

std::optional<X11DisplayName> X11DisplayName::Parse(std::string_view text) {
  // A protocol is whatever comes before the last '/', unless the name is a
  // socket's path.
  std::string_view protocol;
  if (!text.empty() && text.front() != '/') {
    if (const std::size_t slash = text.rfind('/'); slash != std::string_view::npos) {
      protocol = text.substr(0, slash);
      text = text.substr(slash + 1);
      if (protocol != "unix" && protocol != "tcp" && protocol != "inet" && protocol != "inet6") return std::nullopt;
    }
  }
  const std::size_t colon = text.rfind(':');
  if (colon == std::string_view::npos) return std::nullopt;
  X11DisplayName name;
  std::string_view host = text.substr(0, colon);
  if (!host.empty() && host.back() == ':') return std::nullopt;  // DECnet
  std::string_view numbers = text.substr(colon + 1);
  const std::size_t dot = numbers.find('.');
  if (dot != std::string_view::npos) {
    const std::optional<int> screen = Number(numbers.substr(dot + 1));
    if (!screen) return std::nullopt;
    name.screen = *screen;
    numbers = numbers.substr(0, dot);
  }
  const std::optional<int> display = Number(numbers);
  if (!display || *display > kMaxDisplay) return std::nullopt;
  name.display = *display;
  const bool local = host.empty() || host == "unix";
  if (!protocol.empty() && protocol != "unix" && local) return std::nullopt;
  if (protocol == "unix" || local) {
    name.kind = Kind::kLocal;
  } else if (host.front() == '/') {
    name.kind = Kind::kSocketPath;
  } else {
    name.kind = Kind::kTcp;
  }
  if (name.kind != Kind::kLocal) name.host = std::string(host);
  return name;
}

}  // namespace vesk::platform::linux_backend
