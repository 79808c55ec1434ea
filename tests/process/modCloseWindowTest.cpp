#include "process/modCloseWindow.h"

#include <gtest/gtest.h>

#include "SimProcessFixture.h"
#include "host/ErrorNumbers.h"
#include "host/Failure.h"

namespace vesk {
namespace {

class modCloseWindowTest : public test::SimProcessFixture {
 protected:
  std::vector<std::string> PostedTo() const {
    std::vector<std::string> windows;
    for (const auto& args : ArgsOf("PostMessageA")) windows.push_back(args[0]);
    return windows;
  }
};

TEST_F(modCloseWindowTest, PostsToEveryHandleAboveZeroInOrder) {
  AddWindow(0x10, 1);
  AddWindow(0x20, 2);
  struct Row {
    const char* label;
    WindowList windows;
    std::vector<std::string> posted;
  } rows[] = {
      {"empty list", {}, {}},
      {"only the final 0", {0}, {}},
      {"two windows", {0x10, 0x20, 0}, {"16", "32"}},
      {"process without window", {0, 0x20, 0}, {"32"}},
      {"negative handles passed over", {-1, INT32_MIN, 0x10, 0}, {"16"}},
      {"closed window does not stop the rest", {0x99, 0x10, 0x98, 0x20, 0}, {"153", "16", "152", "32"}},
  };
  for (const Row& row : rows) {
    sim.log.Clear();
    modCloseWindow::CloseWindows(row.windows);
    EXPECT_EQ(PostedTo(), row.posted) << row.label;
  }
  sim.log.Clear();
  modCloseWindow::CloseSingleWindow(0x10);
  EXPECT_EQ(ArgsOf("PostMessageA"), (std::vector<std::vector<std::string>>{{"16", "16", "0", "0"}}));
}

TEST_F(modCloseWindowTest, IndexIsSigned16Bit) {
  WindowList windows(32768, 0);  // highest index 32767: still walked to the end
  windows.back() = 0x42;
  modCloseWindow::CloseWindows(windows);
  EXPECT_EQ(PostedTo(), std::vector<std::string>{"66"});

  sim.log.Clear();
  windows.assign(32769, 0x42);
  try {
    modCloseWindow::CloseWindows(windows);
    ADD_FAILURE() << "highest index 32768 must overflow";
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.number(), errors::kOverflow);
    EXPECT_EQ(failure.source(), "modCloseWindow");
  }
  EXPECT_EQ(sim.log.Count("PostMessageA"), 0);
}

TEST_F(modCloseWindowTest, FailureOfAPostReachesTheCaller) {
  sim.log.FailOn("PostMessageA", 2, Failure(453, "user32", "no entry point"));
  try {
    modCloseWindow::CloseWindows({0x10, 0x20, 0x30, 0});
    ADD_FAILURE() << "expected the failure";
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.number(), 453);
    EXPECT_EQ(failure.source(), "user32");
    EXPECT_EQ(failure.description(), "no entry point");
  }
  EXPECT_EQ(PostedTo(), (std::vector<std::string>{"16", "32"}));
}

}  // namespace
}  // namespace vesk
