#include "vesk-host/PanelCommands.h"

#include <gtest/gtest.h>

#include "apps/HostSessionIo.h"
#include "dispatch/ClassFactory.h"
#include "host/Failure.h"
#include "vesk-host/Envelope.h"
#include "vesk-host/HostSession.h"

namespace vesk::host_app {
namespace {

// A batch for a panel created by name, with the host's commands, as vesk-host runs it.
std::string RunBatch(const std::string& class_name, const std::string& input, bool* ok = nullptr) {
  PanelCommands commands;
  std::string out;
  HostSession session(CreateObjectByClassName(class_name), AppendTo(out), AppendTo(out));
  session.SetCommandHandler([&](const std::string& line) { commands.Run(line); });
  const bool succeeded = session.RunBatch(LinesOf(input));
  if (ok != nullptr) *ok = succeeded;
  return out;
}

std::string Get(const char* panel) { return BuildEnvelope(panel, "GetSettings", {}) + "\n"; }

TEST(PanelCommandsTest, BrowseTakesOnlyConfirmedChoices) {
  const std::string set = BuildEnvelope("x", "SetSettings", {" typed ", "-a", "/tmp"}) + "\n";
  bool ok = false;
  const std::string out = RunBatch("ctlStartProgram",
                                   set + "@click btnBrowse\n" + Get("x") +                   // no answer: cancel
                                       "@cancel\n@click btnBrowse\n" + Get("x") +           //
                                       "@fail\n@click btnBrowse\n" + Get("x") +             //
                                       "@choose /usr/bin/my tool\n@click btnBrowse\n" + Get("x"),
                                   &ok);
  EXPECT_TRUE(ok);
  const std::string kept = "<result><sett><s> typed </s><s>-a</s><s>/tmp</s></sett></result>\n";
  EXPECT_EQ(out, "<result/>\n" + kept + kept + kept +
                     "<result><sett><s>/usr/bin/my tool</s><s>-a</s><s>/tmp</s></sett></result>\n");
}

TEST(PanelCommandsTest, BadCommandsPrintOneErrorLineAndFailTheBatch) {
  const struct {
    const char* label;
    const char* class_name;
    const char* line;
    const char* error;
  } rows[] = {
      {"no panel", "plugin", "@click btnBrowse", "error 5 (vesk-host): There is no panel to click"},
      {"no such button", "ctlEndProgram", "@click txtProgram",
       "error 5 (PanelUi): The panel has no command button named \"txtProgram\""},
      {"unknown command", "ctlEndProgram", "@clack btnBrowse", "error 5 (vesk-host): Unknown host command: @clack btnBrowse"},
      {"choose without path", "ctlEndProgram", "@choose", "error 5 (vesk-host): @choose needs a path"},
      {"cancel with argument", "ctlEndProgram", "@cancel now", "error 5 (vesk-host): Unknown host command: @cancel now"},
  };
  for (const auto& row : rows) {
    bool ok = true;
    EXPECT_EQ(RunBatch(row.class_name, std::string(row.line) + "\n"), std::string(row.error) + "\n") << row.label;
    RunBatch(row.class_name, std::string(row.line) + "\n", &ok);
    EXPECT_FALSE(ok) << row.label;
  }
}

TEST(PanelCommandsTest, WithoutHandlerAtLinesAreRequests) {
  std::string out;
  HostSession session(CreateObjectByClassName("plugin"), AppendTo(out), AppendTo(out));
  EXPECT_FALSE(session.RunBatch(LinesOf("@click btnBrowse\n")));
  EXPECT_EQ(out.rfind("error 1000 (XmlElement)", 0), 0u) << out;
}

}  // namespace
}  // namespace vesk::host_app
