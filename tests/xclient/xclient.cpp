// A small X client for the end-to-end tests: one top-level window that takes
// WM_DELETE_WINDOW and exits when it arrives.
//   --hidden        never map the window
//   --popup         also map a pop-up owned by it (WM_TRANSIENT_FOR), above it
//   --net-wm-pid    set _NET_WM_PID (by default it is not set, like xeyes)
//   --no-delete     do not take WM_DELETE_WINDOW (WM_PROTOCOLS is not set),
//                   as old programs that only expect to be killed
//   --iconic        ask the window manager to start the windows iconified
//   --windows N     N top-level windows alike instead of one (the first is
//                   the one reported); a close request to any ends the client
//   --helper-above  also create an unowned top-level helper window that is
//                   never mapped, takes no close protocol and stacks above
//                   the main window (as toolkits' leader windows do); a close
//                   request sent to it is ignored
//   --ignore-close  read close requests and stay (as a program that asks
//                   to save first); only the timeout ends it
//   --ready FILE    write "<window id> <pid>" to FILE once the windows exist
//   --timeout SEC   exit with status 3 after SEC seconds (default 60)
// Each close request read is printed as "xclient PID: WM_DELETE_WINDOW on
// WINDOW" (the id of the window it came to).
// Exit status: 0 after WM_DELETE_WINDOW, 2 without a display, 3 on timeout.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  bool hidden = false;
  bool popup = false;
  bool net_wm_pid = false;
  bool helper_above = false;
  bool ignore_close = false;
  bool no_delete = false;
  bool iconic = false;
  std::string ready;
  int timeout = 60;
  int count = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--hidden") hidden = true;
    else if (arg == "--popup") popup = true;
    else if (arg == "--net-wm-pid") net_wm_pid = true;
    else if (arg == "--helper-above") helper_above = true;
    else if (arg == "--ignore-close") ignore_close = true;
    else if (arg == "--no-delete") no_delete = true;
    else if (arg == "--iconic") iconic = true;
    else if (arg == "--ready" && i + 1 < argc) ready = argv[++i];
    else if (arg == "--timeout" && i + 1 < argc) timeout = std::atoi(argv[++i]);
    else if (arg == "--windows" && i + 1 < argc) count = std::max(1, std::atoi(argv[++i]));
  }
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return 2;
  const Window root = DefaultRootWindow(display);
  Atom delete_window = XInternAtom(display, "WM_DELETE_WINDOW", False);
  Window window = None;
  for (int n = 0; n < count; ++n) {
    const Window made = XCreateSimpleWindow(display, root, 10 + n, 10 + n, 120, 80, 1, 0, 0xffffff);
    if (n == 0) window = made;
    if (!no_delete) XSetWMProtocols(display, made, &delete_window, 1);
    XStoreName(display, made, "xclient");
    if (iconic) {
      XWMHints hints{};
      hints.flags = StateHint;
      hints.initial_state = IconicState;
      XSetWMHints(display, made, &hints);
    }
    if (net_wm_pid) {
      const long pid = static_cast<long>(getpid());
      XChangeProperty(display, made, XInternAtom(display, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(&pid), 1);
    }
    if (!hidden) XMapWindow(display, made);
  }
  if (popup) {
    const Window owned = XCreateSimpleWindow(display, root, 20, 20, 60, 40, 1, 0, 0xcccccc);
    XSetTransientForHint(display, owned, window);
    XSetWMProtocols(display, owned, &delete_window, 1);
    XMapRaised(display, owned);
  }
  // Created last, so it is the topmost child of the root.
  Window helper = None;
  if (helper_above) {
    helper = XCreateSimpleWindow(display, root, 0, 0, 1, 1, 0, 0, 0);
    XStoreName(display, helper, "xclient helper");
  }
  XSync(display, False);
  if (!ready.empty()) {
    const std::string temporary = ready + ".tmp";
    if (FILE* file = std::fopen(temporary.c_str(), "w")) {
      std::fprintf(file, "%lu %d\n", window, static_cast<int>(getpid()));
      std::fclose(file);
      std::rename(temporary.c_str(), ready.c_str());
    }
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout);
  for (;;) {
    while (XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type == ClientMessage && static_cast<Atom>(event.xclient.data.l[0]) == delete_window &&
          (helper == None || event.xclient.window != helper)) {
        std::printf("xclient %d: WM_DELETE_WINDOW on %lu%s\n", static_cast<int>(getpid()), event.xclient.window,
                    ignore_close ? " ignored" : "");
        std::fflush(stdout);
        if (ignore_close) continue;
        XCloseDisplay(display);
        return 0;
      }
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd descriptor{ConnectionNumber(display), POLLIN, 0};
    poll(&descriptor, 1, static_cast<int>(std::min<long long>(left.count(), 200)));
  }
  XCloseDisplay(display);
  return 3;
}
