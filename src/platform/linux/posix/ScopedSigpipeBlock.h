#pragma once

#include <signal.h>

namespace vesk::platform::linux_backend {

// Keeps SIGPIPE from this thread's writes to a broken socket (a server gone,
// a socket shut down at its deadline) away from the host: the signal is
// blocked on this thread for the guard's lifetime, and one raised meanwhile
// is taken before the old mask comes back. A SIGPIPE that was pending before
// is left alone. The write itself still fails with EPIPE.
class ScopedSigpipeBlock {
 public:
  ScopedSigpipeBlock();
  ~ScopedSigpipeBlock();
  ScopedSigpipeBlock(const ScopedSigpipeBlock&) = delete;
  ScopedSigpipeBlock& operator=(const ScopedSigpipeBlock&) = delete;

 private:
  sigset_t old_mask_;
  bool was_pending_ = false;
};

}  // namespace vesk::platform::linux_backend
