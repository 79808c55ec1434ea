#include "vesk-host/SurvivorWatch.h"

#include <algorithm>
#include <thread>

#include "vesk-host/ProcessStartTime.h"

namespace vesk::host_app {
namespace {

constexpr std::chrono::milliseconds kPollInterval{50};
constexpr std::chrono::milliseconds kLongestLimit = std::chrono::hours(24);

}  // namespace

SurvivorWatch::SurvivorWatch()
    : SurvivorWatch(ProcessStartTime, [] { return std::chrono::steady_clock::now(); },
                    [](std::chrono::milliseconds pause) { std::this_thread::sleep_for(pause); }) {}

SurvivorWatch::SurvivorWatch(StartTimeOf start_time_of, Clock now, Sleep sleep)
    : start_time_of_(std::move(start_time_of)), now_(std::move(now)), sleep_(std::move(sleep)) {}

void SurvivorWatch::Watch(std::uint32_t id, const std::string& path) {
  if (const auto start_time = start_time_of_(id)) watched_.push_back(Process{id, *start_time, path});
}

std::vector<SurvivorWatch::Process> SurvivorWatch::WaitForExit(std::chrono::milliseconds limit) {
  const auto deadline = now_() + limit;
  for (;;) {
    std::erase_if(watched_, [&](const Process& process) { return !Running(process); });
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now_());
    if (watched_.empty() || left <= std::chrono::milliseconds::zero()) return watched_;
    sleep_(std::min(left, kPollInterval));
  }
}

bool SurvivorWatch::Running(const Process& process) const {
  return start_time_of_(process.id) == process.start_time;
}

std::optional<std::chrono::milliseconds> SurvivorWatch::ParseLimit(const std::string& seconds) {
  const auto point = seconds.find('.');
  const std::string whole = seconds.substr(0, point);
  const std::string fraction = point == std::string::npos ? std::string() : seconds.substr(point + 1);
  const auto digits = [](const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  // Either part may be left out ("5." and ".5"), not both.
  if (!digits(whole) || !digits(fraction) || (whole.empty() && fraction.empty())) return std::nullopt;
  // Leading zeros aside, more than six digits is more than a day.
  const auto first_significant = whole.find_first_not_of('0');
  const std::string significant = first_significant == std::string::npos ? "0" : whole.substr(first_significant);
  if (significant.size() > 6) return std::nullopt;
  // Milliseconds: the first three digits of the fraction; finer ones are dropped.
  std::int64_t milliseconds = std::stoll(significant) * 1000;
  const std::string thousandths = (fraction + "000").substr(0, 3);
  milliseconds += std::stoll(thousandths);
  if (milliseconds > kLongestLimit.count()) return std::nullopt;
  return std::chrono::milliseconds(milliseconds);
}

}  // namespace vesk::host_app
