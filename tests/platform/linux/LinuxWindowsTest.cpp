// The X11 window backend on a real display (run under the private Xvfb of
// the end-to-end script, which passes XCLIENT and DISPLAY).
#include "platform/linux/LinuxWindows.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <chrono>
#include <cstring>
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
#include "platform/linux/posix/ScopedSigpipeBlock.h"
#include "platform/linux/posix/SocketWatchdog.h"
#include "platform/linux/posix/UniqueFd.h"
#include "platform/linux/x11/X11DisplayName.h"
#include "process/modProcessHandler.h"

// Last: Xlib defines macros (None, Status, Bool) that clash with other headers.
#include <X11/Xlib.h>

namespace vesk::platform::linux_backend {
namespace {

using test::ChildProcess;

// The id of a window made and destroyed again on `display`: asking about it
// gives BadWindow.
Window VanishedWindow(Display* display) {
  const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 10, 10, 0, 0, 0);
  XSync(display, False);
  XDestroyWindow(display, window);
  XSync(display, False);
  return window;
}

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

TEST_F(LinuxWindowsTest, OneConnectionPerSessionAndVanishedWindowsAnswerNone) {
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
    // A window that is gone while its client still runs: X errors, taken as "none".
    Display* other = XOpenDisplay(nullptr);
    ASSERT_NE(other, nullptr);
    const Window vanished = VanishedWindow(other);
    const auto gone = static_cast<WindowHandle>(vanished);
    std::uint32_t pid = 99;
    windows_.GetWindowThreadProcessId(gone, pid);
    EXPECT_EQ(pid, 0u);
    EXPECT_EQ(windows_.GetParent(gone), 0);
    EXPECT_FALSE(windows_.IsWindowVisible(gone));
    EXPECT_FALSE(windows_.PostMessageA(gone, kMessageClose, 0, 0));
    EXPECT_EQ(windows_.GetWindow(gone, kGetWindowNext), 0);
    EXPECT_TRUE(LinuxWindows::ConnectionOpen()) << "protocol errors do not break the connection";
    const WindowRoute route = windows_.Route();
    EXPECT_TRUE(route.reached);
    EXPECT_EQ(route.description, "X display " + std::string(std::getenv("DISPLAY")));
    XCloseDisplay(other);
  }
  EXPECT_FALSE(LinuxWindows::ConnectionOpen());
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
    // The first walk asked, all at once, what every walk needs: the owners
    // of all windows of the order (the second walk meets windows the first
    // did not reach) and the client table; with no window manager the order
    // came with each window's visibility.
    EXPECT_GT(after_first_walk, 0u);
    EXPECT_EQ(LinuxWindows::RequestsThisSession() - after_first_walk, 0u);
    const std::size_t windows_seen = Walk().size();
    const unsigned long requests = LinuxWindows::RequestsThisSession();
    // The tree of the root, each window's attributes and owner, the client table (two).
    EXPECT_LE(requests, 2 * windows_seen + 3) << "requests repeated within the session";
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

TEST_F(LinuxWindowsTest, NoReachableDisplayMeansNoWindowsAndAnUnreachedRoute) {
  // Each: DISPLAY, then the route's description.
  const struct {
    std::optional<std::string> display;
    std::string description;
  } rows[] = {
      {std::nullopt, "no X display is set (DISPLAY is empty)"},
      {"", "no X display is set (DISPLAY is empty)"},
      {":999", "X display :999 refused the connection: No such file or directory"},
      {"unix:999.0", "X display unix:999.0 refused the connection: No such file or directory"},
      {"/nonexistent/socket:0", "X display /nonexistent/socket:0 refused the connection: No such file or directory"},
      {"127.0.0.1:59000", "X display 127.0.0.1:59000 refused the connection: Connection refused"},
      {"host::0", "X display host::0 is not a display name of the forms :N, HOST:N or /PATH:N"},
      {":0.x", "X display :0.x is not a display name of the forms :N, HOST:N or /PATH:N"},
  };
  for (const auto& row : rows) {
    const DisplayVariable display(row.display.value_or(""));
    if (!row.display) ::unsetenv("DISPLAY");
    const WindowSession session(windows_);
    EXPECT_TRUE(windows_.Route().reached) << "nothing tried yet";
    EXPECT_EQ(windows_.FindWindowA(nullptr, nullptr), 0);
    EXPECT_FALSE(windows_.PostMessageA(0x200001, kMessageClose, 0, 0));
    EXPECT_FALSE(LinuxWindows::ConnectionOpen());
    const WindowRoute route = windows_.Route();
    EXPECT_FALSE(route.reached) << route.description;
    EXPECT_EQ(route.description, row.description);
  }
  EXPECT_TRUE(windows_.Route().reached) << "nothing is kept from one session to the next";
}

// The server of the session dies between two calls; the first call after it
// is a close request (which looks at the server before it sends anything) or
// a question about a window never asked before (which sends its request on
// the broken connection).
void ServerDiesMidSession(LinuxWindows& windows, bool close_request_first) {
  PrivateXServer server;
  ASSERT_FALSE(server.display().empty()) << "no private Xvfb could be started";
  const DisplayVariable display(server.display());
  Client client({"--popup"});
  ASSERT_TRUE(client.window);
  const WindowSession session(windows);
  // No window manager: the pop-up (mapped raised) above its owner, nothing else.
  std::vector<WindowHandle> walk;
  for (WindowHandle w = windows.FindWindowA(nullptr, nullptr); w != 0; w = windows.GetWindow(w, kGetWindowNext)) {
    walk.push_back(w);
  }
  ASSERT_EQ(walk.size(), 2u);
  ASSERT_EQ(walk[1], *client.window);
  const WindowHandle popup = walk[0];
  // Asked once before the server goes, so the session knows the answers.
  ASSERT_EQ(windows.GetParent(popup), *client.window);
  std::uint32_t pid = 0;
  windows.GetWindowThreadProcessId(popup, pid);
  ASSERT_EQ(pid, static_cast<std::uint32_t>(client.process.pid()));
  ASSERT_TRUE(LinuxWindows::ConnectionOpen());

  server.Kill();
  if (close_request_first) {
    EXPECT_FALSE(windows.PostMessageA(*client.window, kMessageClose, 0, 0));
  } else {
    EXPECT_EQ(windows.GetParent(*client.window + 100), 0);
  }
  EXPECT_FALSE(LinuxWindows::ConnectionOpen()) << "a lost connection is closed at once";
  // What the session learnt before is not served once the loss is known.
  EXPECT_EQ(windows.GetWindow(popup, kGetWindowNext), 0);
  EXPECT_EQ(windows.GetParent(popup), 0);
  pid = 99;
  windows.GetWindowThreadProcessId(popup, pid);
  EXPECT_EQ(pid, 0u);
  EXPECT_FALSE(windows.IsWindowVisible(popup));
  EXPECT_FALSE(windows.PostMessageA(*client.window, kMessageClose, 0, 0));
  EXPECT_EQ(windows.FindWindowA(nullptr, nullptr), 0);
  {
    const WindowSession nested(windows);
    EXPECT_EQ(windows.FindWindowA(nullptr, nullptr), 0) << "no new connection within the session";
    EXPECT_FALSE(LinuxWindows::ConnectionOpen());
  }
  EXPECT_EQ(LinuxWindows::RequestsThisSession(), 0u);
  const WindowRoute route = windows.Route();
  EXPECT_FALSE(route.reached);
  EXPECT_EQ(route.description, "X display " + server.display() + " went away");
}

TEST_F(LinuxWindowsTest, AServerThatDiesMidSessionLeavesTheProcessAliveAndEveryAnswerNone) {
  ServerDiesMidSession(windows_, true);
  ServerDiesMidSession(windows_, false);
  EXPECT_FALSE(LinuxWindows::ConnectionOpen());
}

TEST_F(LinuxWindowsTest, OverrideRedirectWindowsArePassedOverWhereNoWindowManagerRuns) {
  // The test's own client: a program window, and a menu above it.
  Display* own = XOpenDisplay(nullptr);
  ASSERT_NE(own, nullptr);
  const Window root = DefaultRootWindow(own);
  const Window program = XCreateSimpleWindow(own, root, 0, 0, 50, 50, 0, 0, 0);
  XMapWindow(own, program);
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  const Window menu = XCreateWindow(own, root, 0, 0, 20, 20, 0, CopyFromParent, InputOutput, nullptr,
                                    CWOverrideRedirect, &attributes);
  XMapRaised(own, menu);
  XSync(own, False);
  {
    const WindowSession session(windows_);
    const std::vector<WindowHandle> walk = Walk();
    EXPECT_EQ(std::count(walk.begin(), walk.end(), static_cast<WindowHandle>(menu)), 0);
    EXPECT_EQ(std::count(walk.begin(), walk.end(), static_cast<WindowHandle>(program)), 1);
    EXPECT_EQ(modProcessHandler::FindTopLevelWindow(static_cast<std::uint32_t>(::getpid())),
              static_cast<WindowHandle>(program));
  }
  XCloseDisplay(own);
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

// A Unix socket of the test's own that takes connections (the system queues
// them) and never answers; DISPLAY names it in the path form.
class SilentServer {
 public:
  SilentServer() {
    char folder[] = "/tmp/vesk-silent-XXXXXX";
    if (::mkdtemp(folder) == nullptr) return;
    folder_ = folder;
    path_ = folder_ + "/X";
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
    listening_.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (::bind(listening_.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listening_.get(), 8) != 0) {
      listening_.reset();
    }
  }
  ~SilentServer() {
    listening_.reset();
    ::unlink(path_.c_str());
    ::rmdir(folder_.c_str());
  }
  SilentServer(const SilentServer&) = delete;
  SilentServer& operator=(const SilentServer&) = delete;
  // The DISPLAY value, empty when the socket could not be made.
  std::string display() const { return listening_ ? path_ + ":0" : std::string(); }

 private:
  std::string folder_;
  std::string path_;
  UniqueFd listening_;
};

TEST(X11DeadlineTest, ASilentServerCostsTheSessionFiveSecondsOnceAndIsReported) {
  using Clock = std::chrono::steady_clock;
  using std::chrono::milliseconds;
  const SilentServer silent;
  ASSERT_FALSE(silent.display().empty());
  const DisplayVariable display(silent.display());
  LinuxWindows windows;
  const Clock::time_point start = Clock::now();
  const WindowSession session(windows);
  EXPECT_EQ(windows.FindWindowA(nullptr, nullptr), 0);
  const auto waited = Clock::now() - start;
  EXPECT_GE(waited, milliseconds(4900));
  EXPECT_LT(waited, milliseconds(6000));
  EXPECT_FALSE(LinuxWindows::ConnectionOpen());
  // The rest of the session does not wait again.
  EXPECT_FALSE(windows.PostMessageA(0x200001, kMessageClose, 0, 0));
  EXPECT_EQ(windows.FindWindowA(nullptr, nullptr), 0);
  EXPECT_LT(Clock::now() - start, milliseconds(6000));
  const WindowRoute route = windows.Route();
  EXPECT_FALSE(route.reached);
  EXPECT_EQ(route.description, "X display " + silent.display() + " did not answer within 5 s");
}

}  // namespace
}  // namespace vesk::platform::linux_backend
