#pragma once

#include <cstdint>

#include "platform/PlatformTypes.h"

namespace vesk::platform {

inline constexpr int kGetWindowNext = 2;              // GW_HWNDNEXT
inline constexpr std::uint32_t kMessageClose = 16;  // WM_CLOSE

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
  // Queues `message` for `window` and returns at once; false when it could not be queued.
  virtual bool PostMessageA(WindowHandle window, std::uint32_t message, std::uintptr_t wparam,
                            std::intptr_t lparam) = 0;
};

}  // namespace vesk::platform
