#include "platform/win32/LazyFunction.h"

#include <gtest/gtest.h>

#include "host/ErrorNumbers.h"
#include "host/Failure.h"

namespace vesk::platform::win32 {
namespace {

int FailureNumber(auto&& call) {
  try {
    call();
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.source(), "Win32Library");
    return failure.number();
  }
  return 0;
}

TEST(LazyFunction, BindsOnFirstCallAndCallsThrough) {
  LazyFunction<decltype(GetCurrentProcessId)> get_id(L"kernel32.dll", "GetCurrentProcessId");
  EXPECT_EQ(get_id(), GetCurrentProcessId());
  EXPECT_EQ(get_id(), GetCurrentProcessId());  // the cached binding
}

TEST(LazyFunction, MissingLibraryOrEntryFailsTheCallThatNeedsIt) {
  LazyFunction<decltype(GetCurrentProcessId)> no_library(L"vesk-no-such-library.dll", "GetCurrentProcessId");
  LazyFunction<decltype(GetCurrentProcessId)> no_entry(L"kernel32.dll", "VeskNoSuchEntryPoint");
  EXPECT_EQ(FailureNumber([&] { no_library(); }), errors::kLibraryNotLoaded);
  EXPECT_EQ(FailureNumber([&] { no_entry(); }), errors::kEntryPointNotFound);
  // A failed binding is not cached: it fails again, the same way.
  EXPECT_EQ(FailureNumber([&] { no_entry(); }), errors::kEntryPointNotFound);
  EXPECT_EQ(FailureNumber([&] { no_library(); }), errors::kLibraryNotLoaded);
}

}  // namespace
}  // namespace vesk::platform::win32
