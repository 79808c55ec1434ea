#include "platform/linux/ScopedXErrorHandler.h"

#include <X11/Xlib.h>

namespace vesk::platform::linux_backend {
namespace {

thread_local int t_errors = 0;

int TakeError(Display*, XErrorEvent*) {
  ++t_errors;
  return 0;
}

}  // namespace

ScopedXErrorHandler::ScopedXErrorHandler()
    : previous_(reinterpret_cast<AnyFunction>(XSetErrorHandler(&TakeError))), errors_at_start_(t_errors) {}

ScopedXErrorHandler::~ScopedXErrorHandler() { XSetErrorHandler(reinterpret_cast<XErrorHandler>(previous_)); }

int ScopedXErrorHandler::errors() const { return t_errors - errors_at_start_; }

}  // namespace vesk::platform::linux_backend
