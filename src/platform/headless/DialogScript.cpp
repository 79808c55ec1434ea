#include "platform/headless/DialogScript.h"

#include <utility>

namespace vesk::platform::headless {

void DialogScript::Choose(std::string path) { steps_.push_back(Step{Answer::kChoose, std::move(path)}); }

void DialogScript::Cancel() { steps_.push_back(Step{Answer::kCancel, {}}); }

void DialogScript::FailToDisplay() { steps_.push_back(Step{Answer::kFailToDisplay, {}}); }

DialogScript::Step DialogScript::Next() {
  if (steps_.empty()) return Step{Answer::kCancel, {}};
  Step step = std::move(steps_.front());
  steps_.pop_front();
  return step;
}

}  // namespace vesk::platform::headless
