#include "dispatch/ClassFactory.h"

#include <gtest/gtest.h>

#include "TestRequests.h"
#include "host/Failure.h"
#include "platform/sim/SimPlatform.h"

namespace vesk {
namespace {

using test::Envelope;
using test::Record;

TEST(ClassFactoryTest, PanelsAreCreatedByTheNameTheActionsReport) {
  platform::sim::InstalledSimPlatform sim;
  const struct {
    const char* name;
    const char* fresh_settings;
  } rows[] = {
      {"ctlStartProgram", "<result><sett><s/><s/><s/></sett></result>"},
      {"ctlEndProgram", "<result><sett><s/></sett></result>"},
  };
  for (const auto& row : rows) {
    auto first = CreateObjectByClassName(row.name);
    auto second = CreateObjectByClassName(row.name);
    EXPECT_EQ(first->MethodCall(Envelope(row.name, "SetSettings", Record({"p", "a", "d"}))), "<result/>") << row.name;
    EXPECT_EQ(second->MethodCall(Envelope(row.name, "GetSettings")), row.fresh_settings) << row.name;
  }
  // The start action names its panel, and that name creates it.
  auto entry = CreateObjectByClassName("plugin");
  const std::string name_reply = entry->MethodCall(Envelope("StartProgram", "GetSettingsControlName"));
  EXPECT_NE(name_reply.find("ctlStartProgram"), std::string::npos) << name_reply;
}

TEST(ClassFactoryTest, NamesAreExact) {
  platform::sim::InstalledSimPlatform sim;
  for (const char* name : {"ctlstartprogram", "CtlEndProgram", "ctlStartProgram ", "", "StartProgram"}) {
    try {
      CreateObjectByClassName(name);
      ADD_FAILURE() << '[' << name << "]: expected a failure";
    } catch (const Failure& failure) {
      EXPECT_EQ(failure.number(), 429) << name;
    }
  }
  EXPECT_EQ(sim.log.Count("CreatePanel"), 0);
}

TEST(ClassFactoryTest, PanelNeedsAPlatformWithPanels) {
  platform::sim::SimPlatform sim;
  sim.platform().ui = nullptr;
  platform::ScopedPlatform scope(sim.platform());
  try {
    CreateObjectByClassName("ctlEndProgram");
    ADD_FAILURE() << "expected a failure";
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.number(), 429);
    EXPECT_EQ(failure.source(), "ctlEndProgram");
  }
}

}  // namespace
}  // namespace vesk
