// The X11 window backend on a real display (run under the private Xvfb of
// the end-to-end script, which passes XCLIENT and DISPLAY).
#include "platform/linux/LinuxWindows.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <future>
#include <optional>
#include <thread>

#include "ChildProcess.h"
#include "platform/Platform.h"
#include "platform/WindowSession.h"
#include "platform/linux/LinuxProcesses.h"
#include "platform/linux/LinuxMessagePump.h"
#include "platform/linux/ScopedXErrorHandler.h"
#include "process/modProcessHandler.h"

// Last: Xlib defines macros (None, Status, Bool) that clash with other headers.
#include <X11/Xlib.h>

namespace vesk::platform::linux_backend {
namespace {

using test::ChildProcess;

// The handlers of the host (here the test), with what they were called for.
int g_foreign_errors = 0;
Display* g_error_display = nullptr;
XID g_error_resource = 0;
int g_error_code = 0;
int ForeignHandler(Display* display, XErrorEvent* event) {
  ++g_foreign_errors;
  g_error_display = display;
  g_error_resource = event->resourceid;
  g_error_code = event->error_code;
  return 0;
}
int LaterHandler(Display*, XErrorEvent*) { return 0; }

// The handler in place now, left in place.
XErrorHandler CurrentErrorHandler() {
  const XErrorHandler current = XSetErrorHandler(&LaterHandler);
  XSetErrorHandler(current);
  return current;
}

// Installs the test's own handler for its lifetime, as a host would.
class HostHandlers {
 public:
  HostHandlers() : error_(XSetErrorHandler(&ForeignHandler)) {
    g_foreign_errors = 0;
    g_error_display = nullptr;
  }
  ~HostHandlers() { XSetErrorHandler(error_); }
  HostHandlers(const HostHandlers&) = delete;
  HostHandlers& operator=(const HostHandlers&) = delete;
  // Whether the test's handler is the one in place.
  static bool InPlace() { return CurrentErrorHandler() == &ForeignHandler; }

 private:
  XErrorHandler error_;
};

// An xclient with its main window id, read from its ready file.
struct Client {
  explicit Client(const std::vector<std::string>& options) : ready(ReadyPath()), process(Argv(options, ready)) {
    for (int i = 0; i < 50 && !window; ++i) {
      std::ifstream in(ready);
      unsigned long id = 0;
      if (in >> id) window = static_cast<WindowHandle>(id);
      else ::usleep(100000);
    }
  }
  ~Client() { std::remove(ready.c_str()); }
  static std::string ReadyPath() {
    static int serial = 0;
    return "/tmp/vesk-x11-" + std::to_string(::getpid()) + "-" + std::to_string(++serial);
  }
  static std::vector<std::string> Argv(std::vector<std::string> options, const std::string& ready) {
    options.insert(options.begin(), std::getenv("XCLIENT"));
    options.insert(options.end(), {"--ready", ready, "--timeout", "30"});
    return options;
  }
  std::string ready;
  ChildProcess process;
  std::optional<WindowHandle> window;
};

class LinuxWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("XCLIENT") == nullptr || std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "needs XCLIENT and DISPLAY";
  }
  std::vector<WindowHandle> Walk() {
    std::vector<WindowHandle> windows;
    for (WindowHandle w = windows_.FindWindowA(nullptr, nullptr); w != 0; w = windows_.GetWindow(w, kGetWindowNext)) {
      windows.push_back(w);
    }
    return windows;
  }
  LinuxWindows windows_;
};

TEST_F(LinuxWindowsTest, HiddenWindowsOwnersAndProcessesOfWindows) {
  Client hidden({"--hidden"});
  Client with_popup({"--popup", "--net-wm-pid"});
  ASSERT_TRUE(hidden.window && with_popup.window);
  const WindowSession session(windows_);
  const std::vector<WindowHandle> walk = Walk();
  ASSERT_NE(std::find(walk.begin(), walk.end(), *hidden.window), walk.end()) << "hidden windows count";
  std::uint32_t pid = 0;
  windows_.GetWindowThreadProcessId(*hidden.window, pid);
  EXPECT_EQ(pid, static_cast<std::uint32_t>(hidden.process.pid())) << "asked of the X server";
  EXPECT_EQ(windows_.GetParent(*hidden.window), 0);
  // The pop-up is above its owner and names it as its owner.
  const auto owner = std::find(walk.begin(), walk.end(), *with_popup.window);
  ASSERT_NE(owner, walk.end());
  ASSERT_NE(owner, walk.begin());
  EXPECT_EQ(windows_.GetParent(*(owner - 1)), *with_popup.window);
  EXPECT_EQ(modProcessHandler::FindTopLevelWindow(static_cast<std::uint32_t>(with_popup.process.pid())),
            *with_popup.window);
}

TEST_F(LinuxWindowsTest, OneConnectionPerSessionAndTheErrorHandlerRestored) {
  const XErrorHandler before = XSetErrorHandler(&ForeignHandler);
  g_foreign_errors = 0;
  EXPECT_FALSE(LinuxWindows::ConnectionOpen());
  {
    const WindowSession outer(windows_);
    EXPECT_FALSE(LinuxWindows::ConnectionOpen()) << "opened on first need only";
    Walk();
    EXPECT_TRUE(LinuxWindows::ConnectionOpen());
    {
      const WindowSession nested(windows_);
      Walk();
    }
    EXPECT_TRUE(LinuxWindows::ConnectionOpen()) << "a nested session shares the connection";
    // A window that is gone while its client still runs: X errors, quietly taken.
    Display* other = XOpenDisplay(nullptr);
    ASSERT_NE(other, nullptr);
    const Window vanished = XCreateSimpleWindow(other, DefaultRootWindow(other), 0, 0, 10, 10, 0, 0, 0);
    XSync(other, False);
    XDestroyWindow(other, vanished);
    XSync(other, False);
    const auto gone = static_cast<WindowHandle>(vanished);
    std::uint32_t pid = 99;
    windows_.GetWindowThreadProcessId(gone, pid);
    EXPECT_EQ(pid, 0u);
    EXPECT_EQ(windows_.GetParent(gone), 0);
    EXPECT_FALSE(windows_.PostMessageA(gone, kMessageClose, 0, 0));
    EXPECT_EQ(windows_.GetWindow(gone, kGetWindowNext), 0);
    XCloseDisplay(other);
  }
  EXPECT_FALSE(LinuxWindows::ConnectionOpen());
  EXPECT_EQ(g_foreign_errors, 0) << "errors reached the handler outside";
  EXPECT_EQ(XSetErrorHandler(before), &ForeignHandler) << "the previous handler was not restored";
}

TEST_F(LinuxWindowsTest, WalksOfOneSessionAskEachThingOnce) {
  Client first({"--windows", "4"});
  Client second({"--windows", "4"});
  ASSERT_TRUE(first.window && second.window);
  const auto first_pid = static_cast<std::uint32_t>(first.process.pid());
  const auto second_pid = static_cast<std::uint32_t>(second.process.pid());
  {
    const WindowSession session(windows_);
    // The first client's windows lie below the second's: its walk passes all of them.
    EXPECT_EQ(modProcessHandler::FindTopLevelWindow(second_pid), *second.window + 3) << "its top window";
    const unsigned long after_first_walk = LinuxWindows::RequestsThisSession();
    EXPECT_EQ(modProcessHandler::FindTopLevelWindow(first_pid), *first.window + 3);
    // Four windows met for the first time (three of the second client, the
    // first's top one): one owner request each, no process request.
    EXPECT_EQ(LinuxWindows::RequestsThisSession() - after_first_walk, 4u);
    const std::size_t windows_seen = Walk().size();
    const unsigned long requests = LinuxWindows::RequestsThisSession();
    // The order (a few requests), one per window met, the client table (a few).
    EXPECT_LE(requests, windows_seen + 12) << "requests repeated within the session";
    EXPECT_EQ(modProcessHandler::FindTopLevelWindow(first_pid), *first.window + 3);
    EXPECT_EQ(modProcessHandler::FindTopLevelWindow(second_pid), *second.window + 3);
    EXPECT_EQ(LinuxWindows::RequestsThisSession(), requests) << "walks again ask nothing";

    // A client that comes after the client table was read is asked alone.
    Client late({"--hidden"});
    ASSERT_TRUE(late.window);
    std::uint32_t pid = 0;
    windows_.GetWindowThreadProcessId(*late.window, pid);
    EXPECT_EQ(pid, static_cast<std::uint32_t>(late.process.pid()));
    EXPECT_EQ(windows_.GetParent(*late.window), 0);
  }
  // Nothing is kept: the next session asks again and sees a window made since.
  Client newer({"--hidden"});
  ASSERT_TRUE(newer.window);
  const WindowSession session(windows_);
  EXPECT_EQ(modProcessHandler::FindTopLevelWindow(static_cast<std::uint32_t>(newer.process.pid())), *newer.window);
}

TEST_F(LinuxWindowsTest, CloseRequestOnlyForWmClose) {
  Client client({});
  ASSERT_TRUE(client.window);
  EXPECT_FALSE(windows_.PostMessageA(*client.window, 18, 0, 0));
  EXPECT_FALSE(client.process.ExitsWithin(5));
  EXPECT_TRUE(windows_.PostMessageA(*client.window, kMessageClose, 0, 0));
  ASSERT_TRUE(client.process.ExitsWithin(50));
  EXPECT_EQ(client.process.Stop(), 0) << "exits normally on WM_DELETE_WINDOW";
}

TEST_F(LinuxWindowsTest, NoReachableDisplayMeansNoWindows) {
  const std::string display = std::getenv("DISPLAY");
  ::setenv("DISPLAY", ":999", 1);
  const XErrorHandler before = XSetErrorHandler(&ForeignHandler);
  EXPECT_EQ(windows_.FindWindowA(nullptr, nullptr), 0);
  EXPECT_FALSE(windows_.PostMessageA(0x200001, kMessageClose, 0, 0));
  EXPECT_FALSE(LinuxWindows::ConnectionOpen());
  EXPECT_EQ(XSetErrorHandler(before), &ForeignHandler);
  ::setenv("DISPLAY", display.c_str(), 1);
}

TEST_F(LinuxWindowsTest, ErrorsOnTheHostsConnectionReachTheHostsHandlerDuringASession) {
  const HostHandlers host_handlers;
  Display* host = XOpenDisplay(nullptr);
  ASSERT_NE(host, nullptr);
  const Window vanished = XCreateSimpleWindow(host, DefaultRootWindow(host), 0, 0, 10, 10, 0, 0, 0);
  XSync(host, False);
  XDestroyWindow(host, vanished);
  XSync(host, False);
  ASSERT_EQ(g_foreign_errors, 0);
  {
    const WindowSession session(windows_);
    Walk();
    ASSERT_TRUE(LinuxWindows::ConnectionOpen());
    EXPECT_FALSE(HostHandlers::InPlace()) << "ours are installed while the session holds the connection";
    const ScopedXErrorHandler watch;  // counts the errors taken as ours on this thread

    // Errors on our connection are taken quietly.
    const auto gone = static_cast<WindowHandle>(vanished);
    EXPECT_EQ(windows_.GetParent(gone), 0);
    std::uint32_t pid = 99;
    windows_.GetWindowThreadProcessId(gone, pid);
    EXPECT_EQ(pid, 0u);
    const int ours = watch.errors();
    EXPECT_GT(ours, 0) << "the vanished window gave no error on our connection";
    EXPECT_EQ(g_foreign_errors, 0) << "an error on our connection reached the host's handler";

    // An error on the host's connection reaches the host's handler.
    XWindowAttributes attributes;
    EXPECT_EQ(XGetWindowAttributes(host, vanished, &attributes), 0);
    XSync(host, False);
    EXPECT_GE(g_foreign_errors, 1);
    EXPECT_EQ(g_error_display, host);
    EXPECT_EQ(g_error_resource, vanished);
    EXPECT_EQ(g_error_code, BadWindow);
    EXPECT_EQ(watch.errors(), ours) << "the host's error was counted as ours";
    EXPECT_TRUE(LinuxWindows::ConnectionOpen());
  }
  EXPECT_FALSE(LinuxWindows::ConnectionOpen());
  // And after the session, as before it.
  const int before = g_foreign_errors;
  XMapWindow(host, vanished);
  XSync(host, False);
  EXPECT_EQ(g_foreign_errors, before + 1);
  XCloseDisplay(host);
  EXPECT_TRUE(HostHandlers::InPlace()) << "the host's handler was not put back";
}

TEST_F(LinuxWindowsTest, OurHandlerPutBackByTheHostPassesItsErrorsOnWithoutLooping) {
  const HostHandlers host_handlers;
  XErrorHandler ours = nullptr;
  {
    const ScopedXErrorHandler guard;
    ours = CurrentErrorHandler();
  }
  ASSERT_TRUE(HostHandlers::InPlace());
  Display* host = XOpenDisplay(nullptr);
  ASSERT_NE(host, nullptr);
  const Window vanished = XCreateSimpleWindow(host, DefaultRootWindow(host), 0, 0, 10, 10, 0, 0, 0);
  XDestroyWindow(host, vanished);
  XSync(host, False);
  // The host saved ours while it was installed and puts it back now.
  XSetErrorHandler(ours);
  {
    const ScopedXErrorHandler guard;
    XMapWindow(host, vanished);
    XSync(host, False);
    EXPECT_EQ(g_foreign_errors, 1);
    EXPECT_EQ(g_error_display, host);
    EXPECT_EQ(guard.errors(), 0);
  }
  XMapWindow(host, vanished);
  XSync(host, False);
  EXPECT_EQ(g_foreign_errors, 2) << "lost after the guard";
  XCloseDisplay(host);
}

// Two guards on two threads, the first made ending first or last.
void GuardsOnTwoThreads(bool first_made_ends_first) {
  const HostHandlers host_handlers;
  std::promise<void> made;
  std::promise<void> end;
  std::thread other([&made, ending = end.get_future()] {
    const ScopedXErrorHandler first;
    made.set_value();
    ending.wait();
  });
  made.get_future().wait();
  std::optional<ScopedXErrorHandler> second(std::in_place);
  EXPECT_FALSE(HostHandlers::InPlace());
  const auto end_first = [&] {
    end.set_value();
    other.join();
  };
  if (first_made_ends_first) end_first();
  else second.reset();
  EXPECT_NE(CurrentErrorHandler(), &ForeignHandler) << "put back while a guard lives";
  if (first_made_ends_first) second.reset();
  else end_first();
  EXPECT_TRUE(HostHandlers::InPlace()) << "the host's handler was not put back";
}

TEST(ScopedXErrorHandlerTest, GuardsOnTwoThreadsThatEndInTheOrderTheyStarted) { GuardsOnTwoThreads(true); }

TEST(ScopedXErrorHandlerTest, GuardsOnTwoThreadsThatEndInReverseOrder) { GuardsOnTwoThreads(false); }

TEST(ScopedXErrorHandlerTest, AHandlerInstalledOverOursStays) {
  const HostHandlers host_handlers;
  {
    const ScopedXErrorHandler guard;
    XSetErrorHandler(&LaterHandler);
  }
  EXPECT_EQ(CurrentErrorHandler(), &LaterHandler);
}

TEST_F(LinuxWindowsTest, DispatchCallsTheInstalledHandler) {
  LinuxMessagePump pump;
  int calls = 0;
  pump.DispatchPendingMessages();
  LinuxMessagePump::SetHandler([&] { ++calls; });
  pump.DispatchPendingMessages();
  LinuxMessagePump::SetHandler(nullptr);
  pump.DispatchPendingMessages();
  EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace vesk::platform::linux_backend
