#pragma once

namespace vesk::platform::linux_backend {

// Installs an X error handler that takes every protocol error quietly (a
// window that vanished in the middle of a walk gives BadWindow, which is
// expected) and counts it; restores the previous handler when destroyed, so
// errors never reach Xlib's default handler, which would end the process.
// Xlib's handler is process-wide: guards nest in LIFO order.
class ScopedXErrorHandler {
 public:
  ScopedXErrorHandler();
  ~ScopedXErrorHandler();
  ScopedXErrorHandler(const ScopedXErrorHandler&) = delete;
  ScopedXErrorHandler& operator=(const ScopedXErrorHandler&) = delete;

  // Protocol errors taken on this thread since the guard was installed.
  int errors() const;

 private:
  // Xlib's handler type, kept opaque here so that Xlib stays out of headers.
  using AnyFunction = void (*)();
  AnyFunction previous_;
  int errors_at_start_;
};

}  // namespace vesk::platform::linux_backend
