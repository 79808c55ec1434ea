#pragma once

#include <algorithm>
#include <chrono>
#include <string>

namespace vesk::platform::linux_backend {

// The time one call may spend waiting on the window system, shared by every
// route it tries (compositor IPC, D-Bus, the X display and its authority
// file). Only time spent waiting counts, so a long process scan between two
// waits does not eat it. Single-threaded: the session's thread charges it.
class WaitBudget {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::seconds kPerCall{5};

  explicit WaitBudget(Clock::duration total = kPerCall) : total_(total), left_(total) {}

  Clock::duration left() const { return left_; }
  bool spent() const { return left_ <= Clock::duration::zero(); }
  void Spend(Clock::duration waited) { left_ = std::max(Clock::duration::zero(), left_ - waited); }
  // Words that follow a peer's name when the budget ran out, for example
  // "did not answer within 5 s".
  std::string NoAnswer() const;

  // Times one wait and charges it to the budget when it ends.
  class Wait {
   public:
    explicit Wait(WaitBudget& budget) : budget_(budget), began_(Clock::now()) {}
    ~Wait() { budget_.Spend(Clock::now() - began_); }
    Wait(const Wait&) = delete;
    Wait& operator=(const Wait&) = delete;
    // When the budget runs out if this wait goes on.
    Clock::time_point deadline() const { return began_ + budget_.left(); }
    // Milliseconds to the deadline, rounded up, for poll(); 0 once it passed.
    int PollTimeout() const;

   private:
    WaitBudget& budget_;
    Clock::time_point began_;
  };

 private:
  Clock::duration total_;
  Clock::duration left_;
};

}  // namespace vesk::platform::linux_backend
