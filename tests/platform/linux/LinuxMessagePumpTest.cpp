#include "platform/linux/LinuxMessagePump.h"

#include <gtest/gtest.h>

namespace vesk::platform::linux_backend {
namespace {

TEST(LinuxMessagePumpTest, DispatchCallsTheInstalledHandler) {
  LinuxMessagePump pump;
  int calls = 0;
  pump.DispatchPendingMessages();
  LinuxMessagePump::SetHandler([&] { ++calls; });
  pump.DispatchPendingMessages();
  LinuxMessagePump::SetHandler(nullptr);
  pump.DispatchPendingMessages();
  EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace vesk::platform::linux_backend
