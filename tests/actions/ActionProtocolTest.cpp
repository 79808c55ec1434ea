// The method protocol, run through the dispatcher for every action.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "TestRequests.h"
#include "actions/EndProgram.h"
#include "actions/StartProgram.h"
#include "dispatch/plugin.h"
#include "host/ErrorNumbers.h"
#include "host/Failure.h"
#include "platform/sim/SimPlatform.h"

namespace vesk {
namespace {

using test::Envelope;

struct ActionCase {
  const char* target;
  const char* name;
  const char* about;
  const char* help;
  const char* control;
  const char* info;  // the whole reply of GetActionInfo
};

const ActionCase kActions[] = {
    {"StartProgram", "Start program plug-in", "Start program plug-in by Quorvel.", "No help available",
     "ctlStartProgram",
     "<result><shortdescription>Start program with arguments</shortdescription><category>Starting programs/files"
     "</category><description>starts a program with the specified arguments in the specified folder</description>"
     "</result>"},
    {"EndProgram", "End program plug-in", "End program plug-in by Quorvel.",
     "Ends the specified program if it is running.", "ctlEndProgram",
     "<result><shortdescription>End program</shortdescription><category>Starting programs/files</category>"
     "<description>Ends a program</description></result>"},
};

class ActionProtocolTest : public ::testing::TestWithParam<ActionCase> {
 protected:
  std::string Call(const std::string& method, const std::string& params = "<params/>") {
    return entry.MethodCall(Envelope(GetParam().target, method, params));
  }
  platform::sim::InstalledSimPlatform sim;
  plugin entry;
};

TEST_P(ActionProtocolTest, RepliesOfTheTextMethods) {
  const ActionCase& action = GetParam();
  EXPECT_EQ(Call("GetName"), std::string("<result><name>") + action.name + "</name></result>");
  EXPECT_EQ(Call("GetSettingsControlName"), std::string("<result><name>") + action.control + "</name></result>");
  EXPECT_EQ(Call("GetActionInfo"), action.info);
  EXPECT_TRUE(sim.log.calls().empty());
}

TEST_P(ActionProtocolTest, EachMessageMethodShowsOneBox) {
  const ActionCase& action = GetParam();
  const std::vector<std::pair<std::string, std::string>> boxes = {
      {"ShowAbout", action.about}, {"ShowHelp", action.help}, {"ShowSettings", "This plug-in doesn't have settings"}};
  for (const auto& [method, text] : boxes) {
    sim.log.Clear();
    EXPECT_EQ(Call(method), "<result/>") << method;
    ASSERT_EQ(sim.log.calls().size(), 1u) << method;
    EXPECT_EQ(sim.log.calls()[0].name, "ShowMessageBox");
    EXPECT_EQ(sim.log.calls()[0].args, (std::vector<std::string>{text, "64", "VeskProgramManager"})) << method;
  }
}

TEST_P(ActionProtocolTest, NearMissMethodsGiveEmptyResultAndNoBox) {
  for (const char* method : {"getname", "GETNAME", " GetName", "GetName ", "showabout", "ShowAbout\t", "execute",
                             "Execute ", "", "GetActionInfo2", "GetSettingsControlname"}) {
    EXPECT_EQ(Call(method), "<result/>") << "[" << method << "]";
  }
  EXPECT_TRUE(sim.log.calls().empty());
}

TEST_P(ActionProtocolTest, ParamsAreParsedFirstForEveryMethod) {
  for (const char* method : {"GetName", "ShowAbout", "ShowHelp", "ShowSettings", "Unknown"}) {
    // A params text that is not XML can only come from a request whose params
    // element is missing: every method then fails, and no box is shown.
    try {
      entry.MethodCall(std::string("<r><plugin>") + GetParam().target + "</plugin><method>" + method + "</method></r>");
      ADD_FAILURE() << method;
    } catch (const Failure& failure) {
      EXPECT_EQ(failure.number(), errors::kEmptyElement) << method;
    }
  }
  EXPECT_TRUE(sim.log.calls().empty());
}

// The action's own methodCall, as a host that bypasses the dispatcher calls
// it: params that are not XML fail every method before it does anything.
TEST_P(ActionProtocolTest, UnparsableParamsFailEveryMethodOfTheActionItself) {
  std::unique_ptr<ActionProtocol> action;
  if (std::string(GetParam().target) == "StartProgram") {
    action = std::make_unique<StartProgram>();
  } else {
    action = std::make_unique<EndProgram>();
  }
  for (const char* method : {"GetName", "ShowAbout", "ShowHelp", "ShowSettings", "Execute", "GetActionInfo",
                             "GetSettingsControlName", "Unknown"}) {
    for (const char* params : {"", "not xml", "<params>", "<params><sett><s>x</s></sett>"}) {
      try {
        action->methodCall(method, params);
        ADD_FAILURE() << method << " accepted [" << params << "]";
      } catch (const Failure& failure) {
        EXPECT_EQ(failure.number(), errors::kXmlParse) << method << " [" << params << "]";
        EXPECT_EQ(failure.source(), "XmlElement") << method;
      }
    }
  }
  EXPECT_TRUE(sim.log.calls().empty());
}

TEST_P(ActionProtocolTest, ExecuteWithoutSettingsRecordFailsBeforeAnyPlatformWork) {
  for (const char* params : {"<params/>", "<params><other/></params>", "<params><s>x</s></params>"}) {
    try {
      Call("Execute", params);
      ADD_FAILURE() << params;
    } catch (const Failure& failure) {
      EXPECT_EQ(failure.number(), errors::kEmptyElement) << params;
    }
  }
  EXPECT_TRUE(sim.log.calls().empty());
}

INSTANTIATE_TEST_SUITE_P(Actions, ActionProtocolTest, ::testing::ValuesIn(kActions),
                         [](const auto& row) { return std::string(row.param.target); });

}  // namespace
}  // namespace vesk
