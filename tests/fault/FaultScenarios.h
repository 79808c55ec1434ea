#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "host/Failure.h"
#include "platform/sim/SimPlatform.h"

namespace vesk::test {

// One request walked by the fault-injection tests: the class to create, the
// simulated platform it meets and the request sent to the new object.
struct FaultScenario {
  const char* label;
  const char* class_name;
  void (*setup)(platform::sim::SimPlatform& sim);
  std::string request;
};

// The Execute of both actions (both process families for the end action)
// and the panels' requests, each from the creation of its object on.
const std::vector<FaultScenario>& FaultScenarios();

// The scenario's label as a test name.
std::string FaultScenarioName(const ::testing::TestParamInfo<FaultScenario>& info);

// What one run gave: the reply, or the failure.
struct FaultOutcome {
  std::string reply;
  std::optional<Failure> failure;
};

// Creates the scenario's object on `sim` (installed on this thread), sends
// the request and destroys the object again.
FaultOutcome RunScenario(const FaultScenario& scenario);

// The failure a real backend throws when the platform call `name` fails:
// a binding failure for calls bound on first use, a refusal or out of memory
// for the others.
Failure RealisticFailure(const std::string& name);

// The positions (1-based, in the order of the log) of the calls the process
// finder makes: those from the first BeginSession to its matching EndSession.
// A failure there leaves as "ProcessInfo".
std::vector<bool> FinderPositions(const std::vector<std::string>& names);

// Checks that nothing is left open on `sim` once the object is gone.
void ExpectNothingOpen(platform::sim::SimPlatform& sim, const std::string& where);

}  // namespace vesk::test
