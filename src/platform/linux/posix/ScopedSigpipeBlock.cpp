#include "platform/linux/posix/ScopedSigpipeBlock.h"

#include <pthread.h>

#include <cerrno>
#include <ctime>

namespace vesk::platform::linux_backend {
namespace {

sigset_t OnlySigpipe() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGPIPE);
  return set;
}

bool SigpipePending() {
  sigset_t pending;
  sigemptyset(&pending);
  return sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
}

}  // namespace

ScopedSigpipeBlock::ScopedSigpipeBlock() {
  const sigset_t block = OnlySigpipe();
  pthread_sigmask(SIG_BLOCK, &block, &old_mask_);
  was_pending_ = SigpipePending();
}

ScopedSigpipeBlock::~ScopedSigpipeBlock() {
  const int saved = errno;
  if (!was_pending_ && SigpipePending()) {
    const sigset_t take = OnlySigpipe();
    const timespec now{0, 0};
    sigtimedwait(&take, nullptr, &now);
  }
  pthread_sigmask(SIG_SETMASK, &old_mask_, nullptr);
  errno = saved;
}

}  // namespace vesk::platform::linux_backend
