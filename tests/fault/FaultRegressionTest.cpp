// Faults that once ended the process instead of the request.

#include <gtest/gtest.h>

#include "TestRequests.h"
#include "dispatch/ClassFactory.h"
#include "dispatch/plugin.h"
#include "fault/AllocationFaults.h"
#include "host/ErrorNumbers.h"
#include "platform/sim/SimPlatform.h"
#include "process/modProcessHandler.h"

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

// A process list that reports more bytes than it wrote: the scan asks again
// with doubled buffers until the report fits, and then reads only ids inside
// its buffer (those the platform did not write are 0). It cannot end with an
// id past the buffer (9): the asking stops only once the report is smaller
// than the buffer.
TEST(FaultRegression, ProcessListReportingMoreThanItWrote) {
  const struct {
    const char* label;
    std::uint32_t reported;
    std::vector<std::string> sizes;  // the buffer sizes asked with
    std::size_t opened;              // ids read from the buffer
  } rows[] = {
      {"more than the first buffers hold", 1000, {"16", "32", "64", "128", "256", "512", "1024"}, 250},
      {"not a whole number of ids", 14, {"16"}, 3},
      {"exactly the first buffer", 16, {"16", "32"}, 4},
  };
  for (const auto& row : rows) {
    InstalledSimPlatform sim;
    sim.processes.processes = {{4, "C:\\A.exe", true, true, std::nullopt},
                               {8, "C:\\B.exe", true, true, std::nullopt},
                               {12, "C:\\A.exe", true, true, std::nullopt}};
    sim.processes.enum_processes_bytes = row.reported;
    sim.windows.desktop = {{0x50, 0, 4, false}, {0x60, 0, 12, false}};
    const WindowList found = modProcessHandler::FindProcessWindows("c:\\a.exe");
    EXPECT_EQ(found, (WindowList{0x50, 0x60, 0})) << row.label;
    std::vector<std::string> sizes;
    std::vector<std::string> opened;
    for (const auto& call : sim.log.calls()) {
      if (call.name == "EnumProcesses") sizes.push_back(call.args.at(0));
      if (call.name == "OpenProcess") opened.push_back(call.args.at(2));
    }
    EXPECT_EQ(sizes, row.sizes) << row.label;
    ASSERT_EQ(opened.size(), row.opened) << row.label;
    for (std::size_t i = 3; i < opened.size(); ++i) EXPECT_EQ(opened[i], "0") << row.label << " id " << i;
    EXPECT_EQ(sim.processes.open_handles(), 0) << row.label;
  }
}

}  // namespace
}  // namespace vesk::test
