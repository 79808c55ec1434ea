#include "platform/linux/posix/WaitBudget.h"

#include <cstdio>

namespace vesk::platform::linux_backend {

std::string WaitBudget::NoAnswer() const {
  const double seconds = std::chrono::duration<double>(total_).count();
  char text[32];
  std::snprintf(text, sizeof text, "%g", seconds);
  return std::string("did not answer within ") + text + " s";
}

int WaitBudget::Wait::PollTimeout() const {
  const auto left = deadline() - Clock::now();
  if (left <= Clock::duration::zero()) return 0;
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return ms > 1'000'000 ? 1'000'000 : static_cast<int>(ms);
}

}  // namespace vesk::platform::linux_backend
