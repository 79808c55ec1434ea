#pragma once

#include <cstdint>
#include <vector>

#include "platform/IWindows.h"
#include "platform/sim/SimLog.h"

namespace vesk::platform::sim {

// One top-level window of the simulated desktop.
struct SimWindow {
  WindowHandle handle = 0;
  WindowHandle owner = 0;  // what GetParent reports: an owned pop-up's owner
  std::uint32_t process_id = 0;
  bool hidden = false;     // not visible (IsWindowVisible answers false)
  bool refuses_close = false;  // posts to it are refused as not permitted
};

// A simulated desktop of top-level windows, `desktop` in Z-order from the
// top. Close requests are recorded; a window that is not on the desktop (it
// has closed) refuses them, and one that refuses_close refuses them as not
// permitted, counted in route.refused_close_requests.
class SimWindows : public IWindows {
 public:
  explicit SimWindows(SimLog& log) : log_(log) {}
  WindowHandle CreateHiddenWindow() override;
  // Hidden windows created so far.
  int hidden_windows_created() const { return hidden_created_; }

  void BeginSession() override;
  void EndSession() override;
  WindowHandle FindWindowA(const char* class_name, const char* window_name) override;
  WindowHandle GetWindow(WindowHandle window, int command) override;
  WindowHandle GetParent(WindowHandle window) override;
  std::uint32_t GetWindowThreadProcessId(WindowHandle window, std::uint32_t& process_id) override;
  bool IsWindowVisible(WindowHandle window) override;
  // Answers `route`; not recorded (it reads state, it asks nothing of the desktop).
  WindowRoute Route() override { return route; }
  bool PostMessageA(WindowHandle window, std::uint32_t message, std::uintptr_t wparam,
                    std::intptr_t lparam) override;

  std::vector<SimWindow> desktop;
  WindowRoute route;
  // Sessions begun and not yet ended.
  int open_sessions() const { return open_sessions_; }

 private:
  const SimWindow* Find(WindowHandle window) const;

  SimLog& log_;
  int hidden_created_ = 0;
  int open_sessions_ = 0;
  WindowHandle next_handle_ = 0x1000;
  // Where the last window looked up stands: a walk asks of neighbours in turn.
  mutable std::size_t hint_ = 0;
  // The index of `window` on the desktop, or desktop.size().
  std::size_t IndexOf(WindowHandle window) const;
};

}  // namespace vesk::platform::sim
