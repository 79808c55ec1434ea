#include "platform/linux/posix/SocketWatchdog.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/linux/posix/UniqueFd.h"

namespace vesk::platform::linux_backend {
namespace {

TEST(SocketWatchdogTest, OnlyTimeSpentWaitingCountsAndTheWaitsShareOneBudget) {
  using std::chrono::milliseconds;
  using Clock = std::chrono::steady_clock;
  int pair[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
  const UniqueFd ours(pair[0]);
  const UniqueFd peer(pair[1]);
  SocketWatchdog watchdog(UniqueFd(::fcntl(ours.get(), F_DUPFD_CLOEXEC, 0)), milliseconds(400));
  std::this_thread::sleep_for(milliseconds(600));
  EXPECT_FALSE(watchdog.Fired()) << "time outside waits counted";
  watchdog.BeginWait();
  std::this_thread::sleep_for(milliseconds(250));
  watchdog.EndWait();
  EXPECT_FALSE(watchdog.Fired());
  // The second wait (nested waits count once) runs out of the 150 ms left:
  // a reader blocked on the socket sees its end.
  watchdog.BeginWait();
  watchdog.BeginWait();
  const Clock::time_point start = Clock::now();
  pollfd readable{ours.get(), POLLIN, 0};
  EXPECT_EQ(::poll(&readable, 1, 5000), 1);
  const auto waited = Clock::now() - start;
  char byte = 0;
  EXPECT_EQ(::read(ours.get(), &byte, 1), 0) << "the end of the stream";
  watchdog.EndWait();
  watchdog.EndWait();
  EXPECT_TRUE(watchdog.Fired());
  EXPECT_GE(waited, milliseconds(100));
  EXPECT_LT(waited, milliseconds(1000));
  EXPECT_EQ(::read(peer.get(), &byte, 1), 0) << "the other end sees it too";
}

}  // namespace
}  // namespace vesk::platform::linux_backend
