#pragma once

struct _XDisplay;

namespace vesk::platform::linux_backend {

// Keeps Xlib's errors on our own display connections from ending the host's
// process, without touching the errors of the host's connections.
//
// While at least one guard lives anywhere in the process, our protocol error
// handler and our I/O error handler are installed (Xlib's handlers are
// process-wide); the handlers they replaced are saved when the first guard is
// made and put back when the last one goes, whatever the order in which
// guards on different threads end. A handler that the host installed over
// ours in the meantime is left in place.
//
// A display adopted by a guard is ours until it is closed with Close():
// - protocol errors on it are taken quietly and counted (a window that
//   vanished in the middle of a walk gives BadWindow, which is expected);
// - an I/O error on it (the X server went away) is noted and returns, and so
//   does its per-connection exit handler: the process lives on, later calls
//   on the display fail at once and Lost() tells.
// Errors on any other display go to the handlers that were installed before.
class ScopedXErrorHandler {
 public:
  ScopedXErrorHandler();
  ~ScopedXErrorHandler();
  ScopedXErrorHandler(const ScopedXErrorHandler&) = delete;
  ScopedXErrorHandler& operator=(const ScopedXErrorHandler&) = delete;

  // Makes `display`, just opened, one of ours. The guard must outlive it:
  // close it with Close() while the guard still lives.
  void Adopt(_XDisplay* display);

  // Closes `display`, which stops being ours; errors that Xlib reports while
  // closing it are still taken as ours.
  static void Close(_XDisplay* display);

  // Whether the connection of `display`, one of ours, is broken.
  static bool Lost(_XDisplay* display);

  // Protocol errors on our displays taken on this thread since the guard was
  // made.
  int errors() const;

 private:
  int errors_at_start_;
};

}  // namespace vesk::platform::linux_backend
