#include "actions/EndProgram.h"

#include <gtest/gtest.h>

#include "TestRequests.h"
#include "dispatch/plugin.h"
#include "host/Failure.h"
#include "process/SimProcessFixture.h"

namespace vesk {
namespace {

using test::Envelope;
using test::Record;

constexpr const char* kSuccess = "<result><success/></result>";

class EndProgramTest : public test::SimProcessFixture {
 protected:
  std::string Execute(const std::string& params) {
    return entry.MethodCall(Envelope("EndProgram", "Execute", params));
  }
  std::vector<std::string> PostedTo() const {
    std::vector<std::string> windows;
    for (const auto& args : ArgsOf("PostMessageA")) {
      EXPECT_EQ(args[1], "16");
      windows.push_back(args[0]);
    }
    return windows;
  }
  plugin entry;
};

TEST_F(EndProgramTest, AsksOneWindowOfEachInstanceToClose) {
  AddProcess(1, "/usr/bin/xeyes");
  AddProcess(2, "/usr/bin/xclock");
  AddProcess(3, "/usr/bin/xeyes");
  AddWindow(0x31, 3);
  AddWindow(0x21, 2);
  AddWindow(0x12, 1, 0x11);  // an owned pop-up of 0x11
  AddWindow(0x11, 1);
  AddWindow(0x32, 3);
  EXPECT_EQ(Execute(Record({"  /USR/bin/XEYES "})), kSuccess);
  EXPECT_EQ(PostedTo(), (std::vector<std::string>{"17", "49"}));
}

TEST_F(EndProgramTest, NothingRunningStillSucceeds) {
  AddProcess(1, "/usr/bin/xclock");
  AddWindow(0x11, 1);
  for (const char* path : {"/usr/bin/xeyes", "xclock", ""}) {
    sim.log.Clear();
    EXPECT_EQ(Execute(Record({path})), kSuccess) << path;
    EXPECT_EQ(sim.log.Count("PostMessageA"), 0) << path;
  }
}

TEST_F(EndProgramTest, PathIsPassedAsReadAndOnlyPositionZeroCounts) {
  AddProcess(1, "");  // a process whose file name comes back empty
  AddProcess(2, "/bin/b");
  AddWindow(0x11, 1);
  AddWindow(0x21, 2);
  EXPECT_EQ(Execute(Record({"", "/bin/b"})), kSuccess);
  EXPECT_EQ(PostedTo(), std::vector<std::string>{"17"});
}

TEST_F(EndProgramTest, ScanFailureEndsTheRequestWithoutReply) {
  AddProcess(1, "/bin/a");
  AddWindow(0x11, 1);
  sim.log.FailOn("OpenProcess", 1, Failure(7, "modProcessHandler", "Out of memory"));
  try {
    Execute(Record({"/bin/a"}));
    ADD_FAILURE() << "expected the failure";
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.number(), 7);
    EXPECT_EQ(failure.source(), "modProcessHandler");
    EXPECT_EQ(failure.description(), "ProcessInfo");
  }
  EXPECT_EQ(sim.log.Count("PostMessageA"), 0);
}

TEST_F(EndProgramTest, AWindowSystemNotReachedFailsOnlyWhenSomethingMatched) {
  AddProcess(1, "/usr/bin/xeyes");
  AddProcess(2, "/usr/bin/xeyes");
  AddProcess(3, "/usr/bin/xclock");
  AddProcess(4, "/usr/bin/xlogo");
  AddWindow(0x11, 1);  // process 2 shows no window
  AddWindow(0x41, 4);
  // A route that sees only part of the desktop (Xwayland without a compositor route).
  const std::string lack = "this Wayland desktop offers no way to ask another program's window to close";
  const struct {
    bool reached;
    bool complete;
    const char* path;
    std::string failure;  // empty: success
    std::vector<std::string> posted;
  } rows[] = {
      {false, true, "/usr/bin/xeyes",
       "2 running programs match, but none could be asked to close: X display :5 did not answer within 5 s", {"17"}},
      {false, true, "/usr/bin/xclock",
       "1 running program matches, but none could be asked to close: X display :5 did not answer within 5 s", {}},
      {false, true, "/usr/bin/xterm", "", {}},
      {true, true, "/usr/bin/xeyes", "", {"17"}},
      {true, false, "/usr/bin/xeyes", "2 running programs match, 1 of them with no window that could be asked to close: " + lack, {"17"}},
      {true, false, "/usr/bin/xclock", "1 running program matches, but it has no window that could be asked to close: " + lack, {}},
      {true, false, "/usr/bin/xlogo", "", {"65"}},  // every match reached
      {true, false, "/usr/bin/xterm", "", {}},
      {false, false, "/usr/bin/xlogo",
       "1 running program matches, but none could be asked to close: " + lack + ", and X display :5 did not answer within 5 s", {"65"}},
  };
  for (const auto& row : rows) {
    sim.log.Clear();
    sim.windows.route = {row.reached, row.reached ? "X display :5" : "X display :5 did not answer within 5 s"};
    if (!row.complete) {
      sim.windows.route.complete = false;
      sim.windows.route.description = row.reached ? lack : lack + ", and X display :5 did not answer within 5 s";
    }
    try {
      EXPECT_EQ(Execute(Record({row.path})), kSuccess) << row.path;
      EXPECT_TRUE(row.failure.empty()) << row.path << ": expected the failure";
    } catch (const Failure& failure) {
      EXPECT_EQ(failure.number(), 75) << row.path;
      EXPECT_EQ(failure.source(), "EndProgram") << row.path;
      EXPECT_EQ(failure.description(), row.failure) << row.path;
    }
    // The close requests that could be made were made before the failure.
    EXPECT_EQ(PostedTo(), row.posted) << row.path;
  }
}

TEST_F(EndProgramTest, RefusedCloseRequestsFailWithPermissionDeniedAfterEveryOtherRequest) {
  AddProcess(1, "/bin/a");
  AddProcess(2, "/bin/a");
  AddProcess(3, "/bin/b");
  AddWindow(0x11, 1);
  AddWindow(0x21, 2);
  AddWindow(0x31, 3);
  const struct {
    std::vector<int> refusing;  // desktop indexes whose posts are refused
    const char* path;
    const char* failure;  // empty: success
  } rows[] = {
      {{0}, "/bin/a", "Permission denied: 1 close request to /bin/a refused by the system"},
      {{0, 1}, "/BIN/A", "Permission denied: 2 close requests to /BIN/A refused by the system"},
      {{2}, "/bin/a", ""},  // a refusing window of another program is never asked
      {{}, "/bin/a", ""},   // refusals of an earlier call are not counted again
  };
  for (const auto& row : rows) {
    sim.log.Clear();
    for (auto& window : sim.windows.desktop) window.refuses_close = false;
    for (const int index : row.refusing) sim.windows.desktop[static_cast<std::size_t>(index)].refuses_close = true;
    try {
      EXPECT_EQ(Execute(Record({row.path})), kSuccess) << row.path;
      EXPECT_TRUE(std::string(row.failure).empty()) << row.path << ": expected the failure";
    } catch (const Failure& failure) {
      EXPECT_EQ(failure.number(), 70) << row.path;
      EXPECT_EQ(failure.source(), "EndProgram") << row.path;
      EXPECT_EQ(failure.description(), row.failure) << row.path;
    }
    EXPECT_EQ(PostedTo(), (std::vector<std::string>{"17", "33"})) << row.path;
  }
}

}  // namespace
}  // namespace vesk
