// Requests made from inside a running request: from a message dispatch of a
// process scan and from an open message box. The nested request runs to its
// end, and the outer one goes on as if nothing had happened.

#include <gtest/gtest.h>

#include "TestRequests.h"
#include "dispatch/ClassFactory.h"
#include "dispatch/plugin.h"
#include "host/ErrorNumbers.h"
#include "host/Failure.h"
#include "platform/sim/SimPlatform.h"

namespace vesk {
namespace {

using test::Envelope;
using test::Record;

constexpr const char* kSuccess = "<result><success/></result>";

class ReentrancyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim.processes.processes = {{1, "C:\\Editor.exe", true, true, std::nullopt},
                               {2, "C:\\Other.exe", true, true, std::nullopt},
                               {3, "C:\\EDITOR.EXE", true, true, std::nullopt}};
    sim.windows.desktop = {{0x10, 0, 1, false}, {0x20, 0, 2, false}, {0x30, 0, 3, false}};
  }
  void TearDown() override {
    EXPECT_EQ(sim.processes.open_handles(), 0);
    EXPECT_EQ(sim.processes.bad_closes(), 0);
    EXPECT_EQ(sim.windows.open_sessions(), 0);
  }
  // The windows that were asked to close, in order.
  std::vector<std::string> Closed() const {
    std::vector<std::string> closed;
    for (const auto& call : sim.log.calls()) {
      if (call.name == "PostMessageA") closed.push_back(call.args[0]);
    }
    return closed;
  }
  platform::sim::InstalledSimPlatform sim;
  plugin entry;
};

// Nested requests at every dispatch of the outer scan, one kind per row.
TEST_F(ReentrancyTest, RequestFromADispatchOfARunningScan) {
  const auto panel = CreateObjectByClassName("ctlEndProgram");
  const struct {
    const char* label;
    IPlugIn* object;
    std::string request;
    std::string reply;  // empty: the nested request fails
    std::vector<std::string> closed;  // windows closed, the nested ones first
  } rows[] = {
      {"end of another program", &entry, Envelope("EndProgram", "Execute", Record({"c:\\other.exe"})), kSuccess,
       {"32", "16", "48"}},
      {"start", &entry, Envelope("StartProgram", "Execute", Record({"C:\\x.exe", "a", ""})), kSuccess,
       {"16", "48"}},
      {"catalogue", &entry, Envelope("PlugInInfo", "GetPlugIns"),
       "<result><plugins><plugin><type>ActionPlugIn</type><name>StartProgram</name></plugin>"
       "<plugin><type>ActionPlugIn</type><name>EndProgram</name></plugin></plugins></result>",
       {"16", "48"}},
      {"panel", panel.get(), Envelope("ctlEndProgram", "SetSettings", Record({"C:\\y.exe"})), "<result/>",
       {"16", "48"}},
      {"malformed", &entry, "<request><plugin>", "", {"16", "48"}},
  };
  for (const auto& row : rows) {
    sim.log.Clear();
    int dispatches = 0;
    std::string nested_reply;
    bool nested_failed = false;
    // The nested request runs at the outer scan's third dispatch, between processes.
    sim.message_pump.set_on_dispatch([&] {
      if (++dispatches != 3) return;
      try {
        nested_reply = row.object->MethodCall(row.request);
      } catch (const Failure&) {
        nested_failed = true;
      }
    });
    EXPECT_EQ(entry.MethodCall(Envelope("EndProgram", "Execute", Record({"c:\\editor.exe"}))), kSuccess)
        << row.label;
    sim.message_pump.set_on_dispatch(nullptr);
    if (row.reply.empty()) {
      EXPECT_TRUE(nested_failed) << row.label;
    } else {
      EXPECT_EQ(nested_reply, row.reply) << row.label;
    }
    EXPECT_EQ(Closed(), row.closed) << row.label;
  }
  EXPECT_EQ(panel->MethodCall(Envelope("ctlEndProgram", "GetSettings")),
            "<result><sett><s>C:\\y.exe</s></sett></result>");
}

// Nested requests while a message box of the outer request is open.
TEST_F(ReentrancyTest, RequestFromInsideAnOpenMessageBox) {
  std::vector<std::string> nested;
  int depth = 0;
  sim.message_box.set_while_open([&] {
    if (++depth == 1) {
      nested.push_back(entry.MethodCall(Envelope("EndProgram", "Execute", Record({"c:\\editor.exe"}))));
      nested.push_back(entry.MethodCall(Envelope("EndProgram", "ShowHelp")));  // a box inside the box
      nested.push_back(entry.MethodCall(Envelope("StartProgram", "GetName")));
      try {
        entry.MethodCall(Envelope("StartProgram", "Execute", "<params><sett><s></params>"));
        nested.push_back("no failure");
      } catch (const Failure& failure) {
        nested.push_back("failure " + std::to_string(failure.number()));
      }
    }
    --depth;
  });
  EXPECT_EQ(entry.MethodCall(Envelope("StartProgram", "ShowAbout")), "<result/>");
  EXPECT_EQ(nested, (std::vector<std::string>{kSuccess, "<result/>",
                                              "<result><name>Start program plug-in</name></result>",
                                              "failure " + std::to_string(errors::kXmlParse)}));
  const auto boxes = [&] {
    std::vector<std::string> texts;
    for (const auto& call : sim.log.calls()) {
      if (call.name == "ShowMessageBox") texts.push_back(call.args[0]);
    }
    return texts;
  }();
  EXPECT_EQ(boxes, (std::vector<std::string>{"Start program plug-in by Quorvel.",
                                             "Ends the specified program if it is running."}));
  EXPECT_EQ(Closed(), (std::vector<std::string>{"16", "48"}));
}

}  // namespace
}  // namespace vesk
