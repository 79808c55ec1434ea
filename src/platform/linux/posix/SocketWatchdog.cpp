#include "platform/linux/posix/SocketWatchdog.h"

#include <sys/socket.h>

#include <utility>

namespace vesk::platform::linux_backend {

SocketWatchdog::SocketWatchdog(UniqueFd socket, Clock::duration budget)
    : socket_(std::move(socket)), left_(budget), thread_([this] { Run(); }) {}

SocketWatchdog::SocketWatchdog(UniqueFd socket, WaitBudget& shared)
    : socket_(std::move(socket)), shared_(&shared), left_(shared.left()), thread_([this] { Run(); }) {}

SocketWatchdog::~SocketWatchdog() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void SocketWatchdog::BeginWait() {
  {
    const std::lock_guard lock(mutex_);
    if (waits_++ > 0) return;
    if (shared_ != nullptr && !fired_) left_ = shared_->left();
    wait_began_ = Clock::now();
  }
  changed_.notify_all();
}

void SocketWatchdog::EndWait() {
  {
    const std::lock_guard lock(mutex_);
    if (--waits_ > 0) return;
    const Clock::duration waited = Clock::now() - wait_began_;
    left_ -= waited;
    if (shared_ != nullptr) shared_->Spend(waited);
  }
  changed_.notify_all();
}

bool SocketWatchdog::Fired() const {
  const std::lock_guard lock(mutex_);
  return fired_;
}

void SocketWatchdog::Run() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    if (waits_ == 0) {
      changed_.wait(lock);
      continue;
    }
    // Woken early, the deadline is worked out again: the wait may have
    // ended, and another begun, in the meantime.
    const Clock::time_point deadline = wait_began_ + left_;
    if (Clock::now() < deadline) {
      changed_.wait_until(lock, deadline);
      continue;
    }
    // Both directions: a reader sees the end of the stream, a writer an error.
    ::shutdown(socket_.get(), SHUT_RDWR);
    fired_ = true;
    return;
  }
}

}  // namespace vesk::platform::linux_backend
