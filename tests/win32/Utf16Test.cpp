#include "platform/win32/Utf16.h"

#include <gtest/gtest.h>

#include "host/ErrorNumbers.h"
#include "host/Failure.h"

namespace vesk::platform::win32 {
namespace {

TEST(Utf16, RoundTripsEveryPlane) {
  struct Row {
    const char* label;
    std::string utf8;
    std::wstring utf16;
  } rows[] = {
      {"empty", "", L""},
      {"ascii", "C:\\Program Files\\x.exe", L"C:\\Program Files\\x.exe"},
      {"latin", "\xc3\x9c" "ber", L"\u00dcber"},
      {"cjk", "\xe6\x97\xa5\xe6\x9c\xac", L"\u65e5\u672c"},
      {"surrogate pair", "\xf0\x9f\x98\x80", L"\xd83d\xde00"},
      {"embedded nul", std::string("a\0b", 3), std::wstring(L"a\0b", 3)},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(Utf16::FromUtf8(row.utf8), row.utf16) << row.label;
    EXPECT_EQ(Utf16::ToUtf8(row.utf16), row.utf8) << row.label;
  }
}

TEST(Utf16, InvalidInputFailsInsteadOfBeingReplaced) {
  struct Row {
    const char* label;
    std::string utf8;
  } bad_utf8[] = {{"lone continuation", "a\x80"}, {"truncated", "\xe6\x97"}, {"overlong", "\xc0\xaf"}};
  for (const Row& row : bad_utf8) {
    try {
      Utf16::FromUtf8(row.utf8);
      ADD_FAILURE() << row.label;
    } catch (const Failure& failure) {
      EXPECT_EQ(failure.number(), errors::kInvalidArgument) << row.label;
      EXPECT_EQ(failure.source(), "Utf16") << row.label;
    }
  }
  EXPECT_THROW(Utf16::ToUtf8(std::wstring(1, wchar_t(0xd800))), Failure);
  EXPECT_THROW(Utf16::ToUtf8(std::wstring(L"x") + wchar_t(0xdc00)), Failure);
}

}  // namespace
}  // namespace vesk::platform::win32
