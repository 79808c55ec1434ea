// Every platform call of each walked request fails in turn: the request must
// end as a failed call with the failure the platform threw (the process
// finder's "ProcessInfo" rule included), leave nothing open, and the next
// request must be served normally.

#include <gtest/gtest.h>

#include <iostream>

#include "fault/FaultScenarios.h"
#include "fault/FreshThread.h"

namespace vesk::test {
namespace {

using platform::sim::InstalledSimPlatform;

class PlatformFaultWalk : public ::testing::TestWithParam<FaultScenario> {};

TEST_P(PlatformFaultWalk, EveryCallFailsInTurn) {
  const FaultScenario& scenario = GetParam();
  FaultOutcome clean;
  std::vector<std::string> names;
  OnFreshThread([&] {
    InstalledSimPlatform sim;
    scenario.setup(sim);
    clean = RunScenario(scenario);
    names = sim.log.Names();
    EXPECT_EQ(sim.log.positions(), static_cast<int>(names.size()));
    ExpectNothingOpen(sim, "clean run");
  });
  ASSERT_FALSE(clean.failure) << clean.failure->description();
  ASSERT_FALSE(names.empty());
  const std::vector<bool> in_finder = FinderPositions(names);

  for (std::size_t n = 1; n <= names.size(); ++n) {
    const std::string& name = names[n - 1];
    const std::string where = std::string(scenario.label) + " call " + std::to_string(n) + " (" + name + ")";
    const Failure injected = RealisticFailure(name);
    OnFreshThread([&] {
      InstalledSimPlatform sim;
      scenario.setup(sim);
      sim.log.FailAt(static_cast<int>(n), injected);
      const FaultOutcome outcome = RunScenario(scenario);
      ASSERT_GE(sim.log.calls().size(), n) << where;
      EXPECT_EQ(sim.log.calls()[n - 1].name, name) << where << ": another call sequence";
      if (name == "EndSession") {
        // Ending a session is a release: its failure has nobody to go to.
        EXPECT_FALSE(outcome.failure) << where;
        EXPECT_EQ(outcome.reply, clean.reply) << where;
      } else if (!outcome.failure) {
        ADD_FAILURE() << where << ": the request succeeded with " << outcome.reply;
      } else {
        EXPECT_EQ(outcome.failure->number(), injected.number()) << where;
        EXPECT_EQ(outcome.failure->source(), injected.source()) << where;
        EXPECT_EQ(outcome.failure->description(), in_finder[n - 1] ? "ProcessInfo" : injected.description())
            << where;
      }
      ExpectNothingOpen(sim, where);
      const FaultOutcome next = RunScenario(scenario);
      EXPECT_FALSE(next.failure) << where << ": next request failed";
      EXPECT_EQ(next.reply, clean.reply) << where << ": next request";
      ExpectNothingOpen(sim, where + ", next request");
    });
  }
  std::cout << "[ walked   ] " << scenario.label << ": " << names.size() << " platform call positions\n";
}

INSTANTIATE_TEST_SUITE_P(Requests, PlatformFaultWalk, ::testing::ValuesIn(FaultScenarios()),
                         FaultScenarioName);

}  // namespace
}  // namespace vesk::test
