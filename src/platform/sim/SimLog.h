#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/Failure.h"

namespace vesk::platform::sim {

// One platform call as the simulated platform saw it.
struct SimCall {
  std::string name;               // the operation, e.g. "StartFile"
  std::vector<std::string> args;  // its arguments as text; "<null>" for an absent one
};

// The ordered record of every call made to the simulated platform.
class SimLog {
 public:
  void Record(std::string name, std::vector<std::string> args);
  const std::vector<SimCall>& calls() const { return calls_; }
  // The names of the calls, in order.
  std::vector<std::string> Names() const;
  // How many calls named `name` were made.
  int Count(const std::string& name) const;
  void Clear() { calls_.clear(); }
  // Stops (or resumes) recording; benchmarks measure the logic without it.
  void set_recording(bool recording) { recording_ = recording; }
  bool recording() const { return recording_; }
  // Makes the `nth` call named `name` from now on (1 is the next one) throw
  // `failure` once it has been recorded.
  void FailOn(std::string name, int nth, Failure failure);
  // Makes the `nth` call from now (1 is the next one), whatever its name,
  // throw `failure` once it has been recorded. One such fault at a time.
  void FailAt(int nth, Failure failure);
  // Calls made since this log was created, recorded or not: the positions a
  // fault can be put at.
  int positions() const { return positions_; }

 private:
  struct Fault {
    std::string name;
    int remaining;
    Failure failure;
  };
  std::vector<SimCall> calls_;
  bool recording_ = true;
  std::vector<Fault> faults_;
  int positions_ = 0;
  int fail_at_remaining_ = 0;  // 0: no positional fault armed
  std::optional<Failure> fail_at_;
};

// "<null>" for an absent optional text, else the text itself.
std::string OrNull(const std::string* text);

}  // namespace vesk::platform::sim
