#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct _XDisplay;

namespace vesk::platform::linux_backend {

// The top-level client windows of one X display, read as they stand now.
// A window that vanishes in the middle gives X errors, which the caller's
// ScopedXErrorHandler takes; the answers are then "none". When the server
// goes away in the middle, the requests fail at once, but an answer may still
// rest on what was read before (and XSendEvent reports success on a broken
// connection): the caller asks ScopedXErrorHandler::Lost after each call.
class X11Desktop {
 public:
  using Window = unsigned long;  // an X resource id

  explicit X11Desktop(_XDisplay* display) : display_(display) {}

  // The client windows in stacking order from the top: the window manager's
  // _NET_CLIENT_LIST_STACKING when one runs and keeps it; otherwise the
  // root's children, each frame replaced by the window below it that carries
  // WM_STATE; with no window manager, all children of the root, mapped or not.
  std::vector<Window> TopLevelWindows();

  // The window's WM_TRANSIENT_FOR (0 when it has none), or nothing when the
  // window does not exist: one request answers both.
  std::optional<Window> OwnerIfExists(Window window);

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

  // Asks the window to close: WM_DELETE_WINDOW when it takes that protocol,
  // else _NET_CLOSE_WINDOW through a window manager that supports it, else
  // nothing (false). Never destroys a window or kills a client.
  bool RequestClose(Window window);

 private:
  unsigned long InternAtom(const char* name);
  // A property of format 32 and the given type, or nothing.
  std::optional<std::vector<unsigned long>> Property32(Window window, const char* property, unsigned long type);
  bool HasWmState(Window window);
  // `window` or the first window below it that has WM_STATE; 0 if none.
  Window ClientWindow(Window window, int depth);
  std::vector<Window> Children(Window window);

  _XDisplay* display_;
};

}  // namespace vesk::platform::linux_backend
