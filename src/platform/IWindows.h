#pragma once

#include <cstdint>
#include <string>

#include "platform/PlatformTypes.h"

namespace vesk::platform {

inline constexpr int kGetWindowNext = 2;              // GW_HWNDNEXT
inline constexpr std::uint32_t kMessageClose = 16;  // WM_CLOSE

// What the window system of the current session came to: the end action
// asks once its close requests are made, so that a program it could not
// reach is reported rather than passed over in silence.
struct WindowRoute {
  // False when no window system could be reached in this session: none is
  // set, it refused the connection, it went away, or it did not answer in time.
  bool reached = true;
  // The window system tried and, when it was not reached, what happened
  // (for example "X display :1 did not answer within 5 s").
  std::string description;
  // Close requests the window system refused as not permitted (a window of
  // higher integrity on Win32), counted on the calling thread over the
  // backend's life: a caller compares the counts before and after its requests.
  std::uint64_t refused_close_requests = 0;
  // Windows left unasked because they take no close request (an X window
  // without WM_DELETE_WINDOW, which only a kill would end), counted the same way.
  std::uint64_t close_requests_not_taken = 0;
  // False when the route sees only part of the desktop: a Wayland session
  // whose compositor offers no route, where only programs under Xwayland are
  // reached. A matching program found without a window may then have one
  // that could not be seen, and the description names what is lacking.
  bool complete = true;
};

// Top-level windows of the desktop.
class IWindows {
 public:
  virtual ~IWindows() = default;
  // Creates a top-level window that is never shown and returns its handle.
  virtual WindowHandle CreateHiddenWindow() = 0;

  // A session spans one walk-and-close job (a scan, a round of close
  // requests); backends that need a connection hold it for the session and
  // release it at its end. Sessions nest. See WindowSession.
  virtual void BeginSession() = 0;
  virtual void EndSession() = 0;

  // The top window of the Z-order (both names null: any class and title), 0 if none.
  virtual WindowHandle FindWindowA(const char* class_name, const char* window_name) = 0;
  // With kGetWindowNext: the top-level window below `window`, 0 after the last.
  virtual WindowHandle GetWindow(WindowHandle window, int command) = 0;
  // The owner of a top-level pop-up window (or a child's parent), 0 otherwise.
  virtual WindowHandle GetParent(WindowHandle window) = 0;
  // Writes the id of the process that created `window` into `process_id`
  // (0 when unknown); returns the thread id, or 0.
  virtual std::uint32_t GetWindowThreadProcessId(WindowHandle window, std::uint32_t& process_id) = 0;
  // Whether `window` is shown: WS_VISIBLE on Win32 (kept by a minimised
  // window); on X11 the normal or iconic WM_STATE, or mapped where no window
  // manager runs. False for a window that is gone.
  virtual bool IsWindowVisible(WindowHandle window) = 0;
  // The state of the current session's window system (see WindowRoute).
  virtual WindowRoute Route() = 0;
  // Queues `message` for `window` and returns at once; false when it could not be queued.
  virtual bool PostMessageA(WindowHandle window, std::uint32_t message, std::uintptr_t wparam,
                            std::intptr_t lparam) = 0;
};

}  // namespace vesk::platform
