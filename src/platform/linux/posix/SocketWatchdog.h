#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/linux/posix/UniqueFd.h"
#include "platform/linux/posix/WaitBudget.h"

namespace vesk::platform::linux_backend {

// Bounds the time calls spend waiting on a socket: once the waits between
// BeginWait and EndWait add up to the budget, a thread of its own shuts the
// socket down, and every call blocked on it (or later using it) fails at once.
// Time outside waits does not count, so a long session with a server that
// answers promptly is never cut off.
//
// The watchdog holds its own descriptor of the socket (a duplicate), so the
// owner of the other may close it at any time; the thread is joined when the
// watchdog is destroyed.
class SocketWatchdog {
 public:
  using Clock = std::chrono::steady_clock;

  SocketWatchdog(UniqueFd socket, Clock::duration budget);
  // Takes its budget from `shared` at each outermost wait and charges the
  // wait to it when it ends, so the socket shares the call's one budget.
  SocketWatchdog(UniqueFd socket, WaitBudget& shared);
  ~SocketWatchdog();
  SocketWatchdog(const SocketWatchdog&) = delete;
  SocketWatchdog& operator=(const SocketWatchdog&) = delete;

  // Waits nest: the budget runs from the outermost BeginWait to its EndWait.
  void BeginWait();
  void EndWait();
  // Whether the budget ran out and the socket was shut down.
  bool Fired() const;

 private:
  void Run();

  UniqueFd socket_;
  WaitBudget* shared_ = nullptr;  // touched on the waiting thread only
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  int waits_ = 0;
  bool stopping_ = false;
  bool fired_ = false;
  Clock::duration left_;
  Clock::time_point wait_began_;
  std::thread thread_;  // last: it starts once everything above is set
};

}  // namespace vesk::platform::linux_backend
