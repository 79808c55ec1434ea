#include "platform/win32/Win32Shell.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/win32/Utf16.h"

namespace vesk::platform::win32 {
namespace {

using Result = StartOutcome::Result;
namespace fs = std::filesystem;

TEST(Win32Shell, ReturnCodesMapToOutcomes) {
  struct Row {
    const char* label;
    std::intptr_t code;
    unsigned long last_error;
    Result result;
    bool has_reason;
  } rows[] = {
      {"instance handle", 42, 0, Result::kStarted, false},
      {"lowest success", 33, 0, Result::kStarted, false},
      {"highest failure", 32, 0, Result::kRefused, true},
      {"file not found", SE_ERR_FNF, ERROR_FILE_NOT_FOUND, Result::kFileNotFound, true},
      {"path not found", SE_ERR_PNF, ERROR_PATH_NOT_FOUND, Result::kPathNotFound, true},
      {"access denied", SE_ERR_ACCESSDENIED, ERROR_ACCESS_DENIED, Result::kRefused, true},
      {"no association", SE_ERR_NOASSOC, ERROR_NO_ASSOCIATION, Result::kRefused, true},
      {"out of resources", 0, 0, Result::kRefused, true},
  };
  for (const Row& row : rows) {
    const StartOutcome outcome = Win32Shell::OutcomeOf(row.code, row.last_error);
    EXPECT_EQ(outcome.result, row.result) << row.label;
    EXPECT_EQ(!outcome.reason.empty(), row.has_reason) << row.label;
  }
  // The shell's own codes get their own words, not the system error of the same number.
  EXPECT_EQ(Win32Shell::OutcomeOf(SE_ERR_NOASSOC, 0).reason, "No application is associated with the file");
}

// A scratch folder whose name is outside every ANSI code page.
class Win32ShellStart : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / Utf16::FromUtf8("vesk \xc3\x9c\xe6\x97\xa5\xf0\x9f\x98\x80 shell " +
                                                          std::to_string(GetCurrentProcessId()));
    fs::create_directories(folder_);
  }
  // A started program may still have the folder as its current one for a moment.
  void TearDown() override {
    std::error_code error;
    for (int i = 0; i < 100 && (fs::remove_all(folder_, error), error); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_FALSE(error) << error.message();
  }

  // Waits up to ten seconds for `file` to appear.
  static bool Appears(const fs::path& file) {
    for (int i = 0; i < 100; ++i) {
      if (fs::exists(file)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }
  std::string Folder() const { return Utf16::ToUtf8(folder_.wstring()); }

  fs::path folder_;
  Win32Shell shell_;
};

TEST_F(Win32ShellStart, StartsInAFolderOutsideTheCodePage) {
  const StartOutcome outcome =
      shell_.StartFile(0, std::nullopt, "cmd.exe", "/c echo started>marker.txt", Folder(), SW_HIDE);
  ASSERT_EQ(outcome.result, Result::kStarted) << outcome.reason;
  EXPECT_TRUE(Appears(folder_ / L"marker.txt"));
}

TEST_F(Win32ShellStart, MissingFileIsReportedAsSuch) {
  const StartOutcome outcome =
      shell_.StartFile(0, std::nullopt, Folder() + "\\no such program.exe", std::nullopt, std::nullopt, SW_HIDE);
  EXPECT_EQ(outcome.result, Result::kFileNotFound);
  EXPECT_FALSE(outcome.reason.empty());
}

}  // namespace
}  // namespace vesk::platform::win32
