// The sway IPC route and the route choice, against a fake i3-IPC server.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>

#include "FakeSwayServer.h"
#include "platform/WindowSession.h"
#include "platform/linux/wayland/CompositorWindows.h"
#include "platform/linux/LinuxWindows.h"
#include "platform/linux/wayland/SwayCompositor.h"

namespace vesk::platform::linux_backend {
namespace {

using test::FakeSwayServer;
using namespace std::chrono_literals;

// A scratchpad view, a native and an Xwayland view on workspace 1, and a
// floating Xwayland dialog of the latter, in sway's shape.
const std::string kTree = R"({"id":1,"type":"root","nodes":[
  {"id":2,"type":"output","name":"__i3","nodes":[{"id":3,"type":"workspace","name":"__i3_scratch","nodes":[],
    "floating_nodes":[{"id":30,"type":"floating_con","pid":300,"app_id":"scratch","nodes":[],"floating_nodes":[]}]}]},
  {"id":4,"type":"output","name":"HEADLESS-1","nodes":[{"id":5,"type":"workspace","name":"1","nodes":[
    {"id":6,"type":"con","app_id":null,"nodes":[
      {"id":10,"type":"con","pid":100,"app_id":"foot","nodes":[],"floating_nodes":[]},
      {"id":11,"type":"con","pid":110,"app_id":null,"window_properties":{"class":"XClock","transient_for":null},"nodes":[]}]}],
    "floating_nodes":[{"id":12,"type":"floating_con","pid":110,"window_properties":{"transient_for":4194305}}]}]}]})";

// A tree `levels` nodes deep, each the only child of the one above, with a
// view at the bottom; JSON nests 2 * levels - 1 deep.
std::string Nested(int levels) {
  std::string tree;
  for (int level = 1; level < levels; ++level) tree += R"({"id":)" + std::to_string(level) + R"(,"nodes":[)";
  tree += R"({"id":)" + std::to_string(levels) + R"(,"pid":7,"app_id":"deep"})";
  for (int level = 1; level < levels; ++level) tree += "]}";
  return tree;
}

// A root whose "rect" nests `depth` - 1 empty lists (JSON `depth` deep).
std::string DeepRect(std::size_t depth) {
  return R"({"id":1,"rect":)" + std::string(depth - 1, '[') + std::string(depth - 1, ']') + "}";
}

// A root of empty nodes, padded with blanks to exactly `size` bytes.
std::string EmptyNodes(std::size_t size) {
  std::string tree = R"({"id":1,"nodes":[{})";
  while (tree.size() + 3 + 2 <= size) tree += ",{}";
  tree += "]}";
  tree.insert(tree.size() - 2, size - tree.size(), ' ');
  return tree;
}

// Views as "id:pid:visible:owned", space separated, ":x" after an Xwayland view.
std::string Describe(const std::vector<CompositorView>& views) {
  std::string text;
  for (const CompositorView& view : views) {
    text += (text.empty() ? "" : " ") + view.id + ":" + std::to_string(view.process_id) + (view.visible ? ":v" : ":h") +
            (view.owned ? ":o" : ":u") + (view.xwayland ? ":x" : "");
  }
  return text;
}

TEST(SwayCompositorTest, ConnectReadsTheTreeOrSaysWhyThereIsNoRoute) {
  const struct {
    const char* name;
    FakeSwayServer::Script script;
    std::string problem;  // after "sway IPC at PATH "; empty: connected
    std::string views;
  } rows[] = {
      {"sway tree", {kTree}, "", "30:300:h:u 10:100:v:u 11:110:v:u:x 12:110:v:o:x"},
      {"shells", {R"({"id":1,"nodes":[{"id":2,"pid":20,"shell":"xwayland","nodes":[]},
        {"id":3,"pid":30,"shell":"xdg_shell","app_id":"foot"},{"id":4,"pid":40,"shell":null,"app_id":"a"}]})"},
       "", "2:20:v:u:x 3:30:v:u 4:40:v:u"},
      {"keys after the children", {R"({"nodes":[{"nodes":[{"pid":9,"id":9}],"pid":8,"id":8}],
        "floating_nodes":[{"id":7,"pid":7}],"name":"__i3_scratch","type":"workspace","id":1})"},
       "", "8:8:h:u 9:9:h:u 7:7:h:u"},
      {"256 nodes deep", {Nested(256)}, "", "256:7:v:u"},
      {"257 nodes deep", {Nested(257)}, "sent a reply nested deeper than 512 levels", ""},
      {"512 levels deep", {DeepRect(512)}, "", ""},
      {"513 levels deep", {DeepRect(513)}, "sent a reply nested deeper than 512 levels", ""},
      {"8 MiB of empty nodes", {EmptyNodes(8U << 20)}, "", ""},
      {"over 8 MiB", {EmptyNodes((8U << 20) + 1)}, "sent a reply of 8388609 bytes, more than the 8 MiB allowed", ""},
      {"type not a string", {R"({"id":1,"type":5})"}, "sent a malformed window tree", ""},
      {"a node not an object", {R"({"id":1,"nodes":[{"id":2},3]})"}, "sent a malformed window tree", ""},
      {"no views", {R"({"id":1,"type":"root","nodes":[{"id":2,"type":"workspace","name":"1"}]})"}, "", ""},
      {"i3: no pid", {R"({"id":1,"nodes":[{"id":2,"window":4194305,"nodes":[]}]})"},
       "reports no process of its windows", ""},
      {"an untitled X dialog last", {R"({"id":1,"nodes":[{"id":2,"pid":7,"name":null,"window_properties":{"transient_for":5}}]})"},
       "", "2:7:v:o:x"},
      {"cut short", {R"({"id":1,"nodes":[)"}, "sent a malformed window tree", ""},
      {"id of a wrong type", {R"({"id":"x","pid":5,"app_id":"a"})"}, "sent a malformed window tree", ""},
      {"nodes not a list", {R"({"id":1,"nodes":{}})"}, "sent a malformed window tree", ""},
      {"not an object", {R"([1,2])"}, "sent a malformed window tree", ""},
      {"broken header", {kTree, "", false, true}, "sent a reply without the i3-ipc header", ""},
      {"never answers", {kTree, "", true}, "did not answer within 0.3 s", ""},
      {"trickles a long reply", {kTree, "", false, false, false, FakeSwayServer::Script::Flood::kTrickle},
       "did not answer within 0.3 s", ""},
      {"floods events", {kTree, "", false, false, false, FakeSwayServer::Script::Flood::kEvents},
       "did not answer within 0.3 s", ""},
  };
  for (const auto& row : rows) {
    FakeSwayServer server(row.script);
    // A short budget where it is to run out; elsewhere room for reading 8 MiB
    // on a slow (sanitized, loaded) machine.
    const bool times_out = row.problem.rfind("did not answer", 0) == 0;
    WaitBudget budget(times_out ? std::chrono::milliseconds(300) : std::chrono::milliseconds(10s));
    const auto began = std::chrono::steady_clock::now();
    const auto connected = SwayCompositor::ConnectTo(server.path, budget);
    const auto took = std::chrono::steady_clock::now() - began;
    const auto compositor = connected ? connected->get() : nullptr;
    const std::string& problem = connected.problem();
    EXPECT_LT(took, 10s) << row.name;
    if (times_out) {  // cut off once the budget is spent, soon after
      EXPECT_TRUE(budget.spent()) << row.name;
      EXPECT_LT(took, 2s) << row.name;
    }
    if (row.problem.empty()) {
      ASSERT_NE(compositor, nullptr) << row.name << ": " << problem;
      std::vector<CompositorView> views;
      ASSERT_TRUE(compositor->ListViews(views)) << row.name;
      EXPECT_EQ(Describe(views), row.views) << row.name;
    } else {
      EXPECT_EQ(compositor, nullptr) << row.name;
      EXPECT_EQ(problem, "sway IPC at " + server.path + " " + row.problem) << row.name;
    }
  }
}

TEST(SwayCompositorTest, AStaleOrMissingSocketIsNoRoute) {
  char dir[] = "/tmp/stale-sway-XXXXXX";
  const std::string base = ::mkdtemp(dir);
  const std::string path = base + "/ipc.sock";
  const std::string busy = base + "/busy.sock";
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const auto bind = [&address](const std::string& name) {
    UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM, 0));
    std::strcpy(address.sun_path, name.c_str());
    EXPECT_EQ(::bind(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << name;
    return socket;
  };
  bind(path);  // the socket file stays, nobody listens: a compositor that is gone
  // A server that never accepts, its queue of waiting connections full:
  // connecting is retried until the budget is spent.
  const UniqueFd listener = bind(busy);
  ASSERT_EQ(::listen(listener.get(), 0), 0);
  std::vector<UniqueFd> queued;
  for (int i = 0; i < 8; ++i) {
    queued.emplace_back(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0));
    if (::connect(queued.back().get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) break;
  }
  const struct {
    std::string socket;
    std::string problem;
  } rows[] = {
      {path, "refused the connection: Connection refused"},
      {path + ".none", "refused the connection: No such file or directory"},
      {busy, "did not answer within 0.3 s"},
      {std::string(200, 'x'), "is not a usable socket path"},
  };
  for (const auto& row : rows) {
    WaitBudget budget(300ms);
    const auto began = std::chrono::steady_clock::now();
    const auto connected = SwayCompositor::ConnectTo(row.socket, budget);
    const std::string& said = connected.problem();
    EXPECT_EQ(connected ? connected->get() : nullptr, nullptr);
    EXPECT_EQ(said, "sway IPC at " + row.socket + " " + row.problem);
    EXPECT_EQ(budget.spent(), row.socket == busy) << row.socket;
    EXPECT_LT(std::chrono::steady_clock::now() - began, 2s) << row.socket;
  }
  ::unlink(path.c_str());
  ::unlink(busy.c_str());
  ::rmdir(dir);
}

TEST(SwayCompositorTest, CloseRequestsAreKillCommandsByContainerIdAndCheckTheReply) {
  const struct {
    const char* reply;
    bool closed;
    const char* problem;
  } rows[] = {
      {R"([{"success":true}])", true, ""},
      {R"([{"success":false,"error":"No matching node."}])", false, "refused to close view 10"},
      {R"([])", false, "refused to close view 10"},
      {R"({"success":true})", false, "sent a malformed reply"},
      {R"([{"success":)", false, "sent a malformed reply"},
      {R"([{"success":1}])", false, "sent a malformed reply"},
      {R"([{"success":true},{"success":true}])", false, "refused to close view 10"},
      {R"([[{"success":true}]])", false, "refused to close view 10"},
  };
  for (const auto& row : rows) {
    FakeSwayServer server({kTree, row.reply});
    WaitBudget budget(1s);
    const auto connected = SwayCompositor::ConnectTo(server.path, budget);
    const auto compositor = connected ? connected->get() : nullptr;
    ASSERT_NE(compositor, nullptr) << connected.problem();
    EXPECT_EQ(compositor->RequestClose({"10", 100, false, true}), row.closed) << row.reply;
    if (!row.closed) {
      EXPECT_EQ(compositor->problem(), row.problem) << row.reply;
    }
    EXPECT_EQ(server.Commands(), std::vector<std::string>{"[con_id=10] kill"}) << row.reply;
  }
}

TEST(CompositorWindowsTest, AFailedCloseRequestLosesTheRouteOnlyWhenTheCompositorIsGone) {
  for (const bool gone : {false, true}) {
    FakeSwayServer server({kTree, R"([{"success":false}])", false, false, gone});
    WaitBudget budget(1s);
    auto connected = SwayCompositor::ConnectTo(server.path, budget);
    ASSERT_TRUE(connected) << connected.problem();
    std::vector<CompositorView> listed;
    ASSERT_TRUE((*connected)->ListViews(listed));
    CompositorWindows windows(std::move(*connected), std::move(listed));
    ASSERT_EQ(windows.FindWindowA(), CompositorWindows::kFirstHandle);
    EXPECT_FALSE(windows.PostMessageA(CompositorWindows::kFirstHandle + 1, kMessageClose));
    const WindowRoute route = windows.Route();
    EXPECT_EQ(route.reached, !gone);
    EXPECT_EQ(route.description, "sway IPC at " + server.path + (gone ? " went away" : ""));
  }
}

// Sets environment variables for one test and puts them back after.
class Environment {
 public:
  void Set(const char* name, const std::string& value) {
    const char* old = std::getenv(name);
    saved_.push_back({name, old != nullptr, old != nullptr ? old : ""});
    ::setenv(name, value.c_str(), 1);
  }
  ~Environment() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->was_set) {
        ::setenv(it->name, it->value.c_str(), 1);
      } else {
        ::unsetenv(it->name);
      }
    }
  }

 private:
  struct Saved {
    const char* name;
    bool was_set;
    std::string value;
  };
  std::vector<Saved> saved_;
};

// A session bus that is not there, so that the D-Bus routes' part of a lack (KWin's, then GNOME Shell's)
// reads the same everywhere.
constexpr const char* kNoBus = "unix:path=/nonexistent/vesk-bus";
#ifdef VESK_HAVE_KWIN
constexpr const char* kKWinLack =
    "; for KWin, no session D-Bus could be reached at unix:path=/nonexistent/vesk-bus: No such file or directory"
    "; for GNOME Shell, no session D-Bus could be reached at unix:path=/nonexistent/vesk-bus: No such file or directory";
#else
constexpr const char* kKWinLack = "";
#endif

TEST(LinuxWindowsChoiceTest, WaylandSessionsTakeTheCompositorRouteWhenOneConnects) {
  FakeSwayServer server({kTree});
  const std::string lack = "SWAYSOCK and I3SOCK are empty";
  const struct {
    const char* wayland_display;
    const char* session_type;
    std::string swaysock;
    std::string i3sock;
    bool wayland;
    bool compositor;
    std::string lack;
  } rows[] = {
      {"", "x11", server.path, "", false, false, ""},  // outside Wayland the socket is never tried
      {"", "", "", "", false, false, ""},
      {"wayland-1", "", "", "", true, false, lack},
      {"", "wayland", "", "", true, false, lack},
      {"wayland-1", "", "/nonexistent/sway.sock", server.path, true, false,
       "sway IPC at /nonexistent/sway.sock refused the connection: No such file or directory"},
      {"", "wayland", "", server.path, true, true, ""},  // I3SOCK when SWAYSOCK is empty
  };
  for (const auto& row : rows) {
    Environment environment;
    environment.Set("WAYLAND_DISPLAY", row.wayland_display);
    environment.Set("XDG_SESSION_TYPE", row.session_type);
    environment.Set("SWAYSOCK", row.swaysock);
    environment.Set("I3SOCK", row.i3sock);
    environment.Set("DBUS_SESSION_BUS_ADDRESS", kNoBus);
    WaitBudget budget;
    const LinuxWindows::Choice choice = LinuxWindows::Choose(budget);
    EXPECT_EQ(choice.wayland, row.wayland) << row.wayland_display << "/" << row.session_type;
    EXPECT_EQ(choice.compositor != nullptr, row.compositor) << row.swaysock;
    EXPECT_EQ(choice.lack, row.lack.empty() ? row.lack : row.lack + kKWinLack) << row.swaysock;
  }
}

TEST(LinuxWindowsChoiceTest, OneSessionWalksAndClosesThroughTheCompositor) {
  FakeSwayServer server({kTree});
  Environment environment;
  environment.Set("WAYLAND_DISPLAY", "wayland-1");
  environment.Set("SWAYSOCK", server.path);
  environment.Set("DISPLAY", "");
  LinuxWindows windows;
  {
    const WindowSession session(windows);
    EXPECT_EQ(windows.Route().description, "") << "decided at the first need only";
    std::string walk;
    for (WindowHandle window = windows.FindWindowA(nullptr, nullptr); window != 0;
         window = windows.GetWindow(window, kGetWindowNext)) {
      std::uint32_t process = 0;
      windows.GetWindowThreadProcessId(window, process);
      walk += std::to_string(window - CompositorWindows::kFirstHandle + 1) + ":" + std::to_string(process) +
              (windows.IsWindowVisible(window) ? "v" : "h") + (windows.GetParent(window) != 0 ? "o " : "u ");
    }
    // The Xwayland views are left to X11, which has no display here.
    EXPECT_EQ(walk, "1:300hu 2:100vu ");
    constexpr WindowHandle kFirst = CompositorWindows::kFirstHandle;
    EXPECT_FALSE(windows.PostMessageA(kFirst + 1, kMessageClose + 1, 0, 0));
    EXPECT_FALSE(windows.PostMessageA(kFirst + 2, kMessageClose, 0, 0));
    EXPECT_TRUE(windows.PostMessageA(kFirst + 1, kMessageClose, 0, 0));
    const WindowRoute route = windows.Route();
    EXPECT_TRUE(route.reached);
    EXPECT_FALSE(route.complete);
    EXPECT_EQ(route.description, "sway IPC at " + server.path +
                                     "; its X programs could not be asked: no X display is set (DISPLAY is empty)");
  }
  EXPECT_EQ(server.Commands(), std::vector<std::string>{"[con_id=10] kill"});
}

TEST(LinuxWindowsChoiceTest, AWaylandSessionWithoutCompositorRouteNamesTheLack) {
  for (const std::string display : {"", ":97"}) {
    Environment environment;
    environment.Set("WAYLAND_DISPLAY", "wayland-1");
    environment.Set("SWAYSOCK", "");
    environment.Set("I3SOCK", "");
    environment.Set("DISPLAY", display);
    environment.Set("DBUS_SESSION_BUS_ADDRESS", kNoBus);
    LinuxWindows windows;
    const WindowSession session(windows);
    EXPECT_EQ(windows.FindWindowA(nullptr, nullptr), 0);
    const WindowRoute route = windows.Route();
    EXPECT_FALSE(route.reached);
    EXPECT_FALSE(route.complete);
    EXPECT_EQ(route.description,
              "this Wayland desktop offers no way to ask another program's window to close (SWAYSOCK and I3SOCK "
              "are empty" + std::string(kKWinLack) + "), and " +
                  (display.empty() ? std::string("no X display is set (DISPLAY is empty)")
                                   : "X display :97 refused the connection: No such file or directory"));
  }
}

}  // namespace
}  // namespace vesk::platform::linux_backend
