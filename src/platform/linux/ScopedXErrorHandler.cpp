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
  struct Entry {
    Display* display;
    bool lost;
  };
  std::mutex mutex;
  std::vector<Entry> ours;
  XErrorHandler previous_error = nullptr;
  XIOErrorHandler previous_io = nullptr;
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

std::vector<Registry::Entry>::iterator Find(Registry& registry, Display* display) {
  return std::find_if(registry.ours.begin(), registry.ours.end(),
                      [display](const Registry::Entry& entry) { return entry.display == display; });
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

int TakeIOError(Display* display) {
  XIOErrorHandler previous = nullptr;
  {
    Registry& registry = Shared();
    const std::lock_guard lock(registry.mutex);
    if (display == t_closing) return 0;
    const auto entry = Find(registry, display);
    if (entry != registry.ours.end()) {
      entry->lost = true;
      return 0;
    }
    previous = registry.previous_io;
  }
  // Xlib's default handler ends the process here, as it would without us.
  return previous != nullptr ? previous(display) : 0;
}

// Xlib calls this after the I/O handler returned; its default one ends the
// process. Returning makes the failed call return instead.
void KeepProcess(Display*, void*) {}

}  // namespace

ScopedXErrorHandler::ScopedXErrorHandler() : errors_at_start_(t_errors) {
  const std::lock_guard install(g_install_mutex);
  if (g_guards++ > 0) return;
  const XErrorHandler error = XSetErrorHandler(&TakeError);
  const XIOErrorHandler io = XSetIOErrorHandler(&TakeIOError);
  Registry& registry = Shared();
  const std::lock_guard lock(registry.mutex);
  // Ours may still be in place (put back over the saved one by the host):
  // passing errors on to it would loop, so the saved handler stays.
  if (error != &TakeError) registry.previous_error = error;
  if (io != &TakeIOError) registry.previous_io = io;
}

ScopedXErrorHandler::~ScopedXErrorHandler() {
  const std::lock_guard install(g_install_mutex);
  if (--g_guards > 0) return;
  XErrorHandler error = nullptr;
  XIOErrorHandler io = nullptr;
  {
    Registry& registry = Shared();
    const std::lock_guard lock(registry.mutex);
    error = registry.previous_error;
    io = registry.previous_io;
  }
  // A handler installed over ours since stays in place.
  if (const XErrorHandler current = XSetErrorHandler(error); current != &TakeError) XSetErrorHandler(current);
  if (const XIOErrorHandler current = XSetIOErrorHandler(io); current != &TakeIOError) XSetIOErrorHandler(current);
}

void ScopedXErrorHandler::Adopt(Display* display) {
  XSetIOErrorExitHandler(display, &KeepProcess, nullptr);
  Registry& registry = Shared();
  const std::lock_guard lock(registry.mutex);
  if (Find(registry, display) == registry.ours.end()) registry.ours.push_back({display, false});
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

bool ScopedXErrorHandler::Lost(Display* display) {
  Registry& registry = Shared();
  const std::lock_guard lock(registry.mutex);
  const auto entry = Find(registry, display);
  return entry != registry.ours.end() && entry->lost;
}

int ScopedXErrorHandler::errors() const { return t_errors - errors_at_start_; }

}  // namespace vesk::platform::linux_backend
