// Every allocation of each walked request fails in turn: the request must end
// as a failed call "Out of memory" (number 7; "ProcessInfo" inside the
// process finder), or succeed unchanged when the allocation belonged to a
// release that has nobody to report to; nothing may be left open or leaked,
// and the next request must be served normally.

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <set>
#include <utility>

#include "fault/AllocationFaults.h"
#include "fault/FaultScenarios.h"
#include "fault/FreshThread.h"
#include "host/ErrorNumbers.h"

namespace vesk::test {
namespace {

using platform::sim::InstalledSimPlatform;

class AllocationFaultWalk : public ::testing::TestWithParam<FaultScenario> {};

TEST_P(AllocationFaultWalk, EveryAllocationFailsInTurn) {
  const FaultScenario& scenario = GetParam();
  const std::set<std::pair<std::string, std::string>> allowed = {
      {scenario.class_name == std::string("plugin") ? "plugin" : scenario.class_name, "Out of memory"},
      {"XmlElement", "Out of memory"},
      {"VeskProgramManager", "Out of memory"},
      {"modProcessHandler", "ProcessInfo"},
  };
  // Dry run: how many allocations the request makes, from creating the object on.
  FaultOutcome clean;
  std::int64_t count = 0;
  std::vector<std::string> names;
  OnFreshThread([&] {  // first use of static tables
    InstalledSimPlatform sim;
    scenario.setup(sim);
    static_cast<void>(RunScenario(scenario));
  });
  OnFreshThread([&] {
    InstalledSimPlatform sim;
    scenario.setup(sim);
    const std::int64_t before = AllocationFaults::allocations();
    clean = RunScenario(scenario);
    count = AllocationFaults::allocations() - before;
    names = sim.log.Names();
  });
  // A fault is inside the scan when the calls recorded before it include the
  // finder's BeginSession (index `first` of the clean run) but not its
  // EndSession (index `last` - 1).
  const std::vector<bool> in_finder = FinderPositions(names);
  const auto first = static_cast<std::size_t>(std::find(in_finder.begin(), in_finder.end(), true) - in_finder.begin());
  const std::size_t last = in_finder.size() - static_cast<std::size_t>(
                                                   std::find(in_finder.rbegin(), in_finder.rend(), true) - in_finder.rbegin());
  int inside_scan = 0;
  ASSERT_FALSE(clean.failure) << clean.failure->description();
  ASSERT_GT(count, 0);

  int swallowed = 0;
  for (std::int64_t n = 1; n <= count; ++n) {
    const std::string where = std::string(scenario.label) + " allocation " + std::to_string(n);
    const std::int64_t live_before = AllocationFaults::live_blocks();
    OnFreshThread([&] {
      InstalledSimPlatform sim;
      scenario.setup(sim);
      struct Seen {
        const platform::sim::SimLog* log;
        std::size_t calls = 0;
      } seen{&sim.log};
      AllocationFaults::OnFault([](void* context) {
        auto* at = static_cast<Seen*>(context);
        at->calls = at->log->calls().size();
      }, &seen);
      AllocationFaults::FailAt(n);
      const FaultOutcome outcome = RunScenario(scenario);
      EXPECT_TRUE(AllocationFaults::Disarm()) << where << ": the allocation was not reached";
      AllocationFaults::OnFault(nullptr, nullptr);
      if (outcome.failure && seen.calls > first && seen.calls < last) {
        ++inside_scan;
        EXPECT_EQ(outcome.failure->number(), errors::kOutOfMemory) << where;
        EXPECT_EQ(outcome.failure->description(), "ProcessInfo") << where << " inside the scan";
      } else if (outcome.failure) {
        EXPECT_EQ(outcome.failure->number(), errors::kOutOfMemory) << where;
        EXPECT_TRUE(allowed.contains({outcome.failure->source(), outcome.failure->description()}))
            << where << ": " << outcome.failure->source() << ": " << outcome.failure->description();
      } else {
        ++swallowed;
        EXPECT_EQ(outcome.reply, clean.reply) << where;
      }
      ExpectNothingOpen(sim, where);
      const FaultOutcome next = RunScenario(scenario);
      EXPECT_FALSE(next.failure) << where << ": next request failed";
      EXPECT_EQ(next.reply, clean.reply) << where << ": next request";
    });
    EXPECT_EQ(AllocationFaults::live_blocks(), live_before) << where << ": blocks leaked";
  }
  std::cout << "[ walked   ] " << scenario.label << ": " << count << " allocation positions, " << swallowed
            << " absorbed by a release, " << inside_scan << " inside the process scan\n";
  if (!names.empty() && std::find(names.begin(), names.end(), "GetVersionExA") != names.end()) {
    EXPECT_GT(inside_scan, 0) << "the walk never failed an allocation inside the scan";
  }
}

INSTANTIATE_TEST_SUITE_P(Requests, AllocationFaultWalk, ::testing::ValuesIn(FaultScenarios()),
                         FaultScenarioName);

}  // namespace
}  // namespace vesk::test
