// The X11 window backend on a real display (run under the private Xvfb of
// the end-to-end script, which passes XCLIENT and DISPLAY).
#include "platform/linux/LinuxWindows.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <future>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

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
// The id of a window made and destroyed again on `display`: asking about it
// gives BadWindow.
Window VanishedWindow(Display* display) {
  const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 10, 10, 0, 0, 0);
  XSync(display, False);
  XDestroyWindow(display, window);
  XSync(display, False);
  return window;
}

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
int g_foreign_io_errors = 0;
Display* g_io_error_display = nullptr;
int ForeignIOHandler(Display* display) {
  ++g_foreign_io_errors;
  g_io_error_display = display;
  return 0;
}
// A host connection's exit handler that returns, so that the test survives
// its own connection breaking.
void KeepTestAlive(Display*, void*) {}
int LaterHandler(Display*, XErrorEvent*) { return 0; }
int LaterIOHandler(Display*) { return 0; }

// The handlers in place now, left in place.
XErrorHandler CurrentErrorHandler() {
  const XErrorHandler current = XSetErrorHandler(&LaterHandler);
  XSetErrorHandler(current);
  return current;
}
XIOErrorHandler CurrentIOErrorHandler() {
  const XIOErrorHandler current = XSetIOErrorHandler(&LaterIOHandler);
  XSetIOErrorHandler(current);
  return current;
}

// Installs the test's own handlers for its lifetime, as a host would.
class HostHandlers {
 public:
  HostHandlers() : error_(XSetErrorHandler(&ForeignHandler)), io_(XSetIOErrorHandler(&ForeignIOHandler)) {
    g_foreign_errors = 0;
    g_error_display = nullptr;
    g_foreign_io_errors = 0;
    g_io_error_display = nullptr;
  }
  ~HostHandlers() {
    XSetErrorHandler(error_);
    XSetIOErrorHandler(io_);
  }
  HostHandlers(const HostHandlers&) = delete;
  HostHandlers& operator=(const HostHandlers&) = delete;
  // Whether the test's handlers are the ones in place.
  static bool InPlace() {
    return CurrentErrorHandler() == &ForeignHandler && CurrentIOErrorHandler() == &ForeignIOHandler;
  }

 private:
  XErrorHandler error_;
  XIOErrorHandler io_;
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

// The full path of `program` on PATH, empty when it is not there.
std::string FindOnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::istringstream folders(path != nullptr ? path : "");
  for (std::string folder; std::getline(folders, folder, ':');) {
    const std::string candidate = (folder.empty() ? "." : folder) + "/" + program;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

// An Xvfb of the test's own, on a display number the server picks itself
// and reports through a pipe once it listens (-displayfd).
class PrivateXServer {
 public:
  PrivateXServer() {
    const std::string xvfb = FindOnPath("Xvfb");
    int fds[2];
    if (xvfb.empty() || ::pipe2(fds, O_CLOEXEC) != 0) return;
    ::fcntl(fds[1], F_SETFD, 0);  // the server inherits the write end only
    process_.emplace(std::vector<std::string>{xvfb, "-displayfd", std::to_string(fds[1]), "-nolisten", "tcp"});
    ::close(fds[1]);
    std::string number;
    pollfd from_server{fds[0], POLLIN, 0};
    char c = 0;
    while (::poll(&from_server, 1, 10000) > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    ::close(fds[0]);
    if (!number.empty() && c == '\n') display_ = ":" + number;
  }
  // ":N", empty when the server did not start.
  const std::string& display() const { return display_; }
  // Stops the server without ending it: requests sent to it get no reply.
  void Pause() {
    if (process_) ::kill(process_->pid(), SIGSTOP);
  }
  // Kills the server and waits for it: its clients' connections break.
  void Kill() {
    if (process_) process_->Stop();
  }

 private:
  std::optional<ChildProcess> process_;
  std::string display_;
};

// Whether thread `thread` of this process is asleep (blocked in a call).
bool Asleep(pid_t thread) {
  std::ifstream stat("/proc/self/task/" + std::to_string(thread) + "/stat");
  std::string line;
  std::getline(stat, line);
  // The state follows the command name, which is in parentheses.
  const std::size_t name_end = line.rfind(')');
  return name_end != std::string::npos && name_end + 2 < line.size() && line[name_end + 2] == 'S';
}

// Points DISPLAY elsewhere for its lifetime.
class DisplayVariable {
 public:
  explicit DisplayVariable(const std::string& display) : saved_(Saved(std::getenv("DISPLAY"))) {
    ::setenv("DISPLAY", display.c_str(), 1);
  }
  ~DisplayVariable() {
    if (saved_) ::setenv("DISPLAY", saved_->c_str(), 1);
    else ::unsetenv("DISPLAY");
  }
  DisplayVariable(const DisplayVariable&) = delete;
  DisplayVariable& operator=(const DisplayVariable&) = delete;

 private:
  static std::optional<std::string> Saved(const char* value) {
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
  }
  std::optional<std::string> saved_;
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
    const Window vanished = VanishedWindow(other);
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
    // first's top one): one owner request each, no process request; then the
    // visibility of the one that matched (its attributes: two requests).
    EXPECT_EQ(LinuxWindows::RequestsThisSession() - after_first_walk, 6u);
    const std::size_t windows_seen = Walk().size();
    const unsigned long requests = LinuxWindows::RequestsThisSession();
    // The order (a few requests), one per window met, the client table (a
    // few), the visibility of the two that matched.
    EXPECT_LE(requests, windows_seen + 16) << "requests repeated within the session";
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

TEST_F(LinuxWindowsTest, AServerThatDiesMidSessionLeavesTheProcessAliveAndEveryAnswerNone) {
  PrivateXServer server;
  ASSERT_FALSE(server.display().empty()) << "no private Xvfb could be started";
  const DisplayVariable display(server.display());
  Client client({"--popup"});
  ASSERT_TRUE(client.window);
  const HostHandlers host_handlers;
  // The host's own connection to the same server.
  Display* host = XOpenDisplay(nullptr);
  ASSERT_NE(host, nullptr);
  XSetIOErrorExitHandler(host, &KeepTestAlive, nullptr);
  {
    const WindowSession session(windows_);
    // No window manager: the pop-up (mapped raised) above its owner, nothing else.
    const std::vector<WindowHandle> walk = Walk();
    ASSERT_EQ(walk.size(), 2u);
    ASSERT_EQ(walk[1], *client.window);
    const WindowHandle popup = walk[0];
    // Asked once before the server goes, so the session knows the answers.
    ASSERT_EQ(windows_.GetParent(popup), *client.window);
    std::uint32_t pid = 0;
    windows_.GetWindowThreadProcessId(popup, pid);
    ASSERT_EQ(pid, static_cast<std::uint32_t>(client.process.pid()));
    ASSERT_TRUE(LinuxWindows::ConnectionOpen());

    server.Kill();
    // A close request looks at the server first: none is sent, and the lost
    // connection is closed at once.
    EXPECT_FALSE(windows_.PostMessageA(*client.window, kMessageClose, 0, 0));
    EXPECT_FALSE(LinuxWindows::ConnectionOpen()) << "a lost connection is closed at once";
    // What the session learnt before is not served once the loss is known.
    EXPECT_EQ(windows_.GetWindow(popup, kGetWindowNext), 0);
    EXPECT_EQ(windows_.GetParent(popup), 0);
    pid = 99;
    windows_.GetWindowThreadProcessId(popup, pid);
    EXPECT_EQ(pid, 0u);
    EXPECT_EQ(windows_.FindWindowA(nullptr, nullptr), 0);
    {
      const WindowSession nested(windows_);
      EXPECT_EQ(windows_.FindWindowA(nullptr, nullptr), 0) << "no new connection within the session";
      EXPECT_FALSE(LinuxWindows::ConnectionOpen());
    }
    EXPECT_EQ(LinuxWindows::RequestsThisSession(), 0u);
    EXPECT_EQ(g_foreign_io_errors, 0) << "our connection's I/O error reached the host's handler";

    // The host's connection breaking goes to the host's handler, session or not.
    XSync(host, False);
    EXPECT_EQ(g_foreign_io_errors, 1);
    EXPECT_EQ(g_io_error_display, host);
  }
  EXPECT_FALSE(LinuxWindows::ConnectionOpen());
  XCloseDisplay(host);
  // The next session finds no server at all.
  EXPECT_EQ(windows_.FindWindowA(nullptr, nullptr), 0);
  EXPECT_FALSE(LinuxWindows::ConnectionOpen());
  EXPECT_TRUE(HostHandlers::InPlace());
}

TEST_F(LinuxWindowsTest, AServerThatDiesWhileACallWaitsForItsReplyLeavesTheProcessAlive) {
  PrivateXServer server;
  ASSERT_FALSE(server.display().empty()) << "no private Xvfb could be started";
  const DisplayVariable display(server.display());
  Client client({"--popup"});
  ASSERT_TRUE(client.window);
  // Sessions belong to a thread: this one waits in the call while the test kills the server.
  std::promise<WindowHandle> walked;
  std::promise<void> go;
  std::atomic<pid_t> caller{0};
  std::uint32_t pid = 99;
  WindowHandle next = 99;
  bool open_after = true;
  std::thread calls([&, go_ahead = go.get_future()] {
    const WindowSession session(windows_);
    const std::vector<WindowHandle> walk = Walk();
    walked.set_value(walk.size() == 2 ? walk[0] : 0);
    if (walk.size() != 2) return;
    go_ahead.wait();
    caller = static_cast<pid_t>(::syscall(SYS_gettid));
    // Not asked before: this needs the server's reply.
    windows_.GetWindowThreadProcessId(walk[0], pid);
    open_after = LinuxWindows::ConnectionOpen();
    next = windows_.GetWindow(walk[0], kGetWindowNext);
  });
  const WindowHandle popup = walked.get_future().get();
  if (popup == 0) {
    calls.join();
    FAIL() << "the private server does not show the client's two windows";
  }
  server.Pause();
  go.set_value();
  while (caller == 0) std::this_thread::yield();
  bool waited = false;
  for (int i = 0; i < 1000 && !waited; ++i) {
    waited = Asleep(caller);
    if (!waited) ::usleep(10000);
  }
  EXPECT_TRUE(waited) << "the call did not wait for the server";
  server.Kill();
  calls.join();
  EXPECT_EQ(pid, 0u);
  EXPECT_FALSE(open_after) << "the connection lost in the call is closed when it returns";
  EXPECT_EQ(next, 0);
}

TEST_F(LinuxWindowsTest, ErrorsOnTheHostsConnectionReachTheHostsHandlerDuringASession) {
  const HostHandlers host_handlers;
  Display* host = XOpenDisplay(nullptr);
  ASSERT_NE(host, nullptr);
  const Window vanished = VanishedWindow(host);
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
  EXPECT_TRUE(HostHandlers::InPlace()) << "the host's handlers were not put back";
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
  const Window vanished = VanishedWindow(host);
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
  EXPECT_NE(CurrentIOErrorHandler(), &ForeignIOHandler) << "put back while a guard lives";
  if (first_made_ends_first) second.reset();
  else end_first();
  EXPECT_TRUE(HostHandlers::InPlace()) << "the host's handlers were not put back";
}

TEST(ScopedXErrorHandlerTest, GuardsOnTwoThreadsThatEndInTheOrderTheyStarted) { GuardsOnTwoThreads(true); }

TEST(ScopedXErrorHandlerTest, GuardsOnTwoThreadsThatEndInReverseOrder) { GuardsOnTwoThreads(false); }

TEST(ScopedXErrorHandlerTest, AHandlerInstalledOverOursStays) {
  const HostHandlers host_handlers;
  {
    const ScopedXErrorHandler guard;
    XSetErrorHandler(&LaterHandler);
    XSetIOErrorHandler(&LaterIOHandler);
  }
  EXPECT_EQ(CurrentErrorHandler(), &LaterHandler);
  EXPECT_EQ(CurrentIOErrorHandler(), &LaterIOHandler);
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
