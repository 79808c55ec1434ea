#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "platform/linux/x11/X11Connection.h"

namespace vesk::platform::linux_backend {

// The top-level client windows of one X display, read as they stand now.
// Requests that do not depend on each other are sent together and their
// replies collected after (one round trip for many windows). A window that
// vanishes in the middle answers "none". When the connection breaks (the
// server goes away, or the wait budget runs out) every request fails at once,
// but an answer may still rest on what was read before: the caller asks
// X11Connection::Broken after each call.
class X11Desktop {
 public:
  using Window = X11Connection::Window;

  explicit X11Desktop(X11Connection& connection) : connection_(connection) {}

  // The client windows in stacking order from the top: the window manager's
  // _NET_CLIENT_LIST_STACKING when one runs and keeps it; otherwise the
  // root's children, each frame replaced by the window below it that carries
  // WM_STATE; with no window manager, the children of the root, mapped or
  // not, except override-redirect ones (menus, tooltips).
  struct Stack {
    std::vector<Window> windows;
    bool window_manager = false;
    // With no window manager: whether each window is mapped (its visibility),
    // in the order of `windows`. Empty otherwise.
    std::vector<bool> mapped;
  };
  Stack TopLevelWindows();

  // The WM_TRANSIENT_FOR of each window (0 when it has none), or nothing for
  // a window that does not exist: one request each, all sent at once.
  std::vector<std::optional<Window>> OwnersIfExist(const std::vector<Window>& windows);

  // The process of every client connected now, as the X server knows it
  // (the X-Resource extension): two requests for all clients.
  class ClientProcesses {
   public:
    struct Client {
      Window base = 0;  // the client's part of its resource ids
      Window mask = 0;  // the bits of an id that the client chooses
      std::uint32_t pid = 0;
    };
    explicit ClientProcesses(std::vector<Client> clients) : clients_(std::move(clients)) {}
    // The process of the client that created `window` (0 when the server
    // does not know it), or nothing when no listed client made it.
    std::optional<std::uint32_t> Find(Window window) const;

   private:
    std::vector<Client> clients_;
  };
  ClientProcesses AllClientProcesses();

  // The process of the client that created `window`, asked alone; 0 when
  // unknown. The server answers by the id's client part: the caller makes
  // sure the window exists.
  std::uint32_t ServerProcessOf(Window window);

  // The window's _NET_WM_PID, 0 when it has none.
  std::uint32_t NetWmPid(Window window);

  // Whether the window is shown: its WM_STATE is normal or iconic, or, where
  // no window manager runs, it is mapped.
  bool Visible(Window window, bool window_manager);

  // Whether a window manager runs on the display.
  bool WindowManagerRuns();

  // Asks the window to close with WM_DELETE_WINDOW when it takes that
  // protocol. A window that does not is left alone: it is never handed to
  // the window manager (_NET_CLOSE_WINDOW), which kills such a client.
  enum class CloseRequest { kSent, kNotTaken, kFailed };
  CloseRequest RequestClose(Window window);

 private:
  // WM_Sn's owner, or the _NET_SUPPORTING_WM_CHECK window that names itself.
  bool WindowManagerFrom(Window selection_owner, const std::optional<std::vector<std::uint32_t>>& root_check);
  // `window` or the first window below it that has WM_STATE; 0 if none.
  Window ClientWindow(Window window, int depth);

  X11Connection& connection_;
};

}  // namespace vesk::platform::linux_backend
