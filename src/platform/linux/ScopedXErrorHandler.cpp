#include "platform/linux/ScopedXErrorHandler.h"

#include <X11/Xlib.h>

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

namespace vesk::platform::linux_backend {
namespace {

// Guards living in the process. Xlib is called with this lock held (to
// install and put back the handlers), so the handlers never take it.
std::mutex g_install_mutex;
int g_guards = 0;

// What the handlers read. Never held while Xlib or another handler runs.
struct Registry {
  std::mutex mutex;
  std::vector<Display*> ours;
  XErrorHandler previous_error = nullptr;
};

// Never destroyed: a handler may still run while the process exits.
Registry& Shared() {
  static Registry* const registry = new Registry;
  return *registry;
}

// Protocol errors taken on this thread.
thread_local int t_errors = 0;
// The display this thread is closing: already out of the registry, and
// Xlib reports the errors of a display on the thread that calls it.
thread_local Display* t_closing = nullptr;

std::vector<Display*>::iterator Find(Registry& registry, Display* display) {
  return std::find(registry.ours.begin(), registry.ours.end(), display);
}

int TakeError(Display* display, XErrorEvent* event) {
  XErrorHandler previous = nullptr;
  {
    Registry& registry = Shared();
    const std::lock_guard lock(registry.mutex);
    if (display == t_closing || Find(registry, display) != registry.ours.end()) {
      ++t_errors;
      return 0;
    }
    previous = registry.previous_error;
  }
  return previous != nullptr ? previous(display, event) : 0;
}

}  // namespace

ScopedXErrorHandler::ScopedXErrorHandler() : errors_at_start_(t_errors) {
  const std::lock_guard install(g_install_mutex);
  if (g_guards++ > 0) return;
  const XErrorHandler error = XSetErrorHandler(&TakeError);
  Registry& registry = Shared();
  const std::lock_guard lock(registry.mutex);
  // Ours may still be in place (put back over the saved one by the host):
  // passing errors on to it would loop, so the saved handler stays.
  if (error != &TakeError) registry.previous_error = error;
}

ScopedXErrorHandler::~ScopedXErrorHandler() {
  const std::lock_guard install(g_install_mutex);
  if (--g_guards > 0) return;
  XErrorHandler error = nullptr;
  {
    Registry& registry = Shared();
    const std::lock_guard lock(registry.mutex);
    error = registry.previous_error;
  }
  // A handler installed over ours since stays in place.
  if (const XErrorHandler current = XSetErrorHandler(error); current != &TakeError) XSetErrorHandler(current);
}

void ScopedXErrorHandler::Adopt(Display* display) {
  Registry& registry = Shared();
  const std::lock_guard lock(registry.mutex);
  if (Find(registry, display) == registry.ours.end()) registry.ours.push_back(display);
}

void ScopedXErrorHandler::Close(Display* display) {
  {
    // Out of the registry before its memory is freed: a display that another
    // thread opens at the same address is never taken for ours.
    Registry& registry = Shared();
    const std::lock_guard lock(registry.mutex);
    const auto entry = Find(registry, display);
    if (entry != registry.ours.end()) registry.ours.erase(entry);
  }
  Display* const outer = std::exchange(t_closing, display);
  XCloseDisplay(display);
  t_closing = outer;
}

int ScopedXErrorHandler::errors() const { return t_errors - errors_at_start_; }

}  // namespace vesk::platform::linux_backend
