#include "platform/sim/SimLog.h"

#include <algorithm>
#include <utility>

namespace vesk::platform::sim {

void SimLog::Record(std::string name, std::vector<std::string> args) {
  if (!recording_) return;
  calls_.push_back(SimCall{std::move(name), std::move(args)});
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
