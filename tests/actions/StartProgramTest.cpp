#include "actions/StartProgram.h"

#include <gtest/gtest.h>

#include <thread>

#include "TestRequests.h"
#include "host/ErrorNumbers.h"
#include "host/Failure.h"
#include "platform/sim/SimPlatform.h"

namespace vesk {
namespace {

using test::Record;
using Result = platform::StartOutcome::Result;

class StartProgramTest : public ::testing::Test {
 protected:
  std::string Execute(const std::string& params) { return StartProgram().methodCall("Execute", params); }
  // The arguments of the only start request: owner, operation, file, parameters, directory, show.
  std::vector<std::string> StartArgs() {
    EXPECT_EQ(sim.log.Count("StartFile"), 1);
    for (const auto& call : sim.log.calls()) {
      if (call.name == "StartFile") return call.args;
    }
    return {};
  }
  platform::sim::InstalledSimPlatform sim;
};

TEST_F(StartProgramTest, PassesValuesAndAbsentOnesAsNull) {
  struct Row {
    const char* label;
    std::string params;
    std::string file, parameters, directory;
  } rows[] = {
      {"all three", Record({"C:\\p.exe", "-a \"b c\"", "C:\\work"}), "C:\\p.exe", "-a \"b c\"", "C:\\work"},
      {"empty arguments and folder", Record({"prog", "", ""}), "prog", "<null>", "<null>"},
      {"only the program", Record({"prog"}), "prog", "<null>", "<null>"},
      {"blanks are values", Record({" prog ", "  ", "\t"}), " prog ", "  ", "\t"},
      {"empty program still starts", Record({"", "x", ""}), "", "x", "<null>"},
      {"values from position 3 ignored", Record({"p", "a", "d", "extra", "more"}), "p", "a", "d"},
      {"entities decoded", Record({"a&amp;b", "&lt;x&gt;", "&#233;"}), "a&b", "<x>", "\xc3\xa9"},
  };
  for (const Row& row : rows) {
    sim.log.Clear();
    EXPECT_EQ(Execute(row.params), "<result><success/></result>") << row.label;
    const auto args = StartArgs();
    ASSERT_EQ(args.size(), 6u) << row.label;
    EXPECT_EQ(args[1], "<null>") << row.label;  // the file's default action
    EXPECT_EQ(args[2], row.file) << row.label;
    EXPECT_EQ(args[3], row.parameters) << row.label;
    EXPECT_EQ(args[4], row.directory) << row.label;
    EXPECT_EQ(args[5], "1") << row.label;
  }
}

TEST_F(StartProgramTest, OwnerIsOneHiddenWindowPerThread) {
  Execute(Record({"a"}));
  Execute(Record({"b"}));
  ASSERT_EQ(sim.windows.hidden_windows_created(), 1);
  const auto& calls = sim.log.calls();
  ASSERT_EQ(sim.log.Names(), (std::vector<std::string>{"CreateHiddenWindow", "StartFile", "StartFile"}));
  EXPECT_EQ(calls[1].args[0], calls[0].args[0]);
  EXPECT_EQ(calls[2].args[0], calls[0].args[0]);

  // Another thread gets a window of its own.
  std::thread other([&] {
    platform::ScopedPlatform scope(sim.platform());
    Execute(Record({"c"}));
  });
  other.join();
  EXPECT_EQ(sim.windows.hidden_windows_created(), 2);
}

TEST_F(StartProgramTest, NoWindowIsCreatedUntilTheFirstExecute) {
  StartProgram().methodCall("GetName", "<params/>");
  StartProgram().methodCall("ShowAbout", "<params/>");
  EXPECT_EQ(sim.windows.hidden_windows_created(), 0);
}

TEST_F(StartProgramTest, RefusedStartIsAFailedCall) {
  struct Row {
    Result result;
    int number;
  } rows[] = {{Result::kFileNotFound, errors::kFileNotFound},
              {Result::kPathNotFound, errors::kPathNotFound},
              {Result::kRefused, errors::kAccessRefused}};
  for (const Row& row : rows) {
    sim.shell.set_outcome({row.result, "the reason"});
    try {
      Execute(Record({"prog.exe", "", "dir"}));
      ADD_FAILURE() << row.number;
    } catch (const Failure& failure) {
      EXPECT_EQ(failure.number(), row.number);
      EXPECT_EQ(failure.source(), "StartProgram");
      EXPECT_EQ(failure.description(), "Cannot start \"prog.exe\": the reason");
    }
  }
}

TEST_F(StartProgramTest, MissingValuesReadAsEmpty) {
  EXPECT_EQ(Execute("<params><sett/></params>"), "<result><success/></result>");
  EXPECT_EQ(StartArgs()[2], "");
}

}  // namespace
}  // namespace vesk
