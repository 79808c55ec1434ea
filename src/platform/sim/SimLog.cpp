#include "platform/sim/SimLog.h"

#include <algorithm>
#include <utility>

namespace vesk::platform::sim {

void SimLog::Record(std::string name, std::vector<std::string> args) {
  ++positions_;
  if (fail_at_remaining_ > 0 && --fail_at_remaining_ == 0) {
    if (recording_) calls_.push_back(SimCall{std::move(name), std::move(args)});
    Failure failure = std::move(*fail_at_);
    fail_at_.reset();
    throw failure;
  }
  if (!recording_) return;
  calls_.push_back(SimCall{std::move(name), std::move(args)});
  for (auto fault = faults_.begin(); fault != faults_.end(); ++fault) {
    if (fault->name == calls_.back().name && --fault->remaining == 0) {
      const Failure failure = fault->failure;
      faults_.erase(fault);
      throw failure;
    }
  }
}

void SimLog::FailOn(std::string name, int nth, Failure failure) {
  faults_.push_back(Fault{std::move(name), nth, std::move(failure)});
}

void SimLog::FailAt(int nth, Failure failure) {
  fail_at_remaining_ = nth;
  fail_at_ = std::move(failure);
}

std::vector<std::string> SimLog::Names() const {
  std::vector<std::string> names;
  names.reserve(calls_.size());
  for (const auto& call : calls_) names.push_back(call.name);
  return names;
}

int SimLog::Count(const std::string& name) const {
  return static_cast<int>(std::count_if(calls_.begin(), calls_.end(),
                                        [&](const SimCall& call) { return call.name == name; }));
}

std::string OrNull(const std::string* text) { return text != nullptr ? *text : std::string("<null>"); }

}  // namespace vesk::platform::sim
