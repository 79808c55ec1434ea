#include "platform/linux/posix/ScopedSigpipeBlock.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "platform/linux/posix/UniqueFd.h"

namespace vesk::platform::linux_backend {
namespace {

TEST(ScopedSigpipeBlockTest, AWriteToAClosedSocketFailsWithoutEndingTheProcess) {
  int pair[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
  const UniqueFd ours(pair[0]);
  ::close(pair[1]);
  sigset_t before;
  ASSERT_EQ(pthread_sigmask(SIG_SETMASK, nullptr, &before), 0);
  {
    const ScopedSigpipeBlock guard;
    errno = 0;
    EXPECT_EQ(::write(ours.get(), "x", 1), -1);
    EXPECT_EQ(errno, EPIPE);
  }
  sigset_t after;
  ASSERT_EQ(pthread_sigmask(SIG_SETMASK, nullptr, &after), 0);
  EXPECT_EQ(sigismember(&after, SIGPIPE), sigismember(&before, SIGPIPE)) << "the mask was not put back";
  sigset_t pending;
  ASSERT_EQ(sigpending(&pending), 0);
  EXPECT_EQ(sigismember(&pending, SIGPIPE), 0) << "the signal was left for the host";
}

}  // namespace
}  // namespace vesk::platform::linux_backend
