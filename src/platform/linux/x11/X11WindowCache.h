#pragma once

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

#include "platform/linux/x11/X11Desktop.h"

namespace vesk::platform::linux_backend {

// What one window session has learnt of the display, so that a walk asks
// the server each thing at most once: the stacking order (with, where no
// window manager runs, each window's visibility), each window's owner (which
// also tells whether it still exists) and its process, and the process of
// every client. Owners are asked for the whole order at once, the first time
// the walk needs one. Lives for one session only; nothing here outlasts it.
class X11WindowCache {
 public:
  explicit X11WindowCache(X11Connection& connection);

  // The client windows from the top, read on the first call of the session.
  const std::vector<X11Desktop::Window>& TopLevelWindows();
  // Reads the order again (a window the caller holds is no longer in it).
  const std::vector<X11Desktop::Window>& RereadTopLevelWindows();

  // The window's owner, 0 when it has none or is gone.
  X11Desktop::Window Owner(X11Desktop::Window window);
  // Whether the window is shown (X11Desktop::Visible); false when it is gone.
  bool Visible(X11Desktop::Window window);
  // The window's process, 0 when unknown or when the window is gone.
  std::uint32_t ProcessOf(X11Desktop::Window window);

  X11Desktop& desktop() { return desktop_; }

  // X requests sent on the connection since the cache was made (for tests).
  unsigned long requests() const;

 private:
  struct Facts {
    std::optional<bool> exists;  // known together with the owner
    X11Desktop::Window owner = 0;
    std::optional<std::uint32_t> process;
    std::optional<bool> visible;
  };
  Facts& FactsOf(X11Desktop::Window window);
  // Asks the owners of those of `windows` whose owner is not known yet.
  void LearnOwners(const std::vector<X11Desktop::Window>& windows);
  const std::vector<X11Desktop::Window>& Read();

  X11Connection& connection_;
  unsigned int first_request_;
  X11Desktop desktop_;
  std::optional<std::vector<X11Desktop::Window>> order_;
  bool order_owners_asked_ = false;
  std::unordered_map<X11Desktop::Window, Facts> facts_;
  std::optional<X11Desktop::ClientProcesses> clients_;
  std::optional<bool> window_manager_;
};

}  // namespace vesk::platform::linux_backend
