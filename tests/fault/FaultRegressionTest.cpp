// Faults that once ended the process instead of the request.

#include <gtest/gtest.h>

#include "TestRequests.h"
#include "dispatch/ClassFactory.h"
#include "dispatch/plugin.h"
#include "fault/AllocationFaults.h"
#include "host/ErrorNumbers.h"
#include "platform/sim/SimPlatform.h"

namespace vesk::test {
namespace {

using platform::sim::InstalledSimPlatform;

// A window session ends in a destructor: a failure there (a platform call
// or its allocation) must not leave the destructor and terminate.
TEST(FaultRegression, FailingEndOfWindowSessionIsDropped) {
  const struct {
    const char* label;
    int nth;  // which EndSession fails: 1 the finder's, 2 the closer's
  } rows[] = {{"finder's session", 1}, {"closer's session", 2}};
  for (const auto& row : rows) {
    InstalledSimPlatform sim;
    sim.processes.processes = {{4, "C:\\A.exe", true, true, std::nullopt}};
    sim.windows.desktop = {{0x50, 0, 4, false}};
    sim.log.FailOn("EndSession", row.nth, Failure(errors::kEntryPointNotFound, "Win32Library", "gone"));
    plugin entry;
    EXPECT_EQ(entry.MethodCall(Envelope("EndProgram", "Execute", Record({"c:\\a.exe"}))),
              "<result><success/></result>")
        << row.label;
    EXPECT_EQ(sim.windows.open_sessions(), 0) << row.label;
    EXPECT_EQ(sim.log.Count("PostMessageA"), 1) << row.label;
  }
}

// Creating an object by class name is a public entry: running out of memory
// there is a failed call, not a std::bad_alloc.
TEST(FaultRegression, OutOfMemoryCreatingAnObjectIsAFailure) {
  for (const char* class_name : {"plugin", "ctlStartProgram", "ctlEndProgram"}) {
    InstalledSimPlatform sim;
    AllocationFaults::FailAt(1);
    try {
      static_cast<void>(CreateObjectByClassName(class_name));
      ADD_FAILURE() << class_name << ": created";
    } catch (const Failure& failure) {
      EXPECT_EQ(failure.number(), errors::kOutOfMemory) << class_name;
      EXPECT_EQ(failure.source(), "VeskProgramManager") << class_name;
      EXPECT_EQ(failure.description(), "Out of memory") << class_name;
    } catch (...) {
      ADD_FAILURE() << class_name << ": something else than a Failure left";
    }
    EXPECT_TRUE(AllocationFaults::Disarm()) << class_name;
  }
}

}  // namespace
}  // namespace vesk::test
