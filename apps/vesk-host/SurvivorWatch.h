#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vesk::host_app {

// Watches a set of processes, each known by its id and start time, until
// they have exited or a time limit has passed: `end --wait`. A process
// whose id is taken by a later one has exited; a new instance of the same
// program is not watched.
class SurvivorWatch {
 public:
  struct Process {
    std::uint32_t id = 0;
    std::uint64_t start_time = 0;
    std::string path;
  };
  // The start time of a running process, nullopt when it does not run.
  using StartTimeOf = std::function<std::optional<std::uint64_t>(std::uint32_t)>;
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  using Sleep = std::function<void(std::chrono::milliseconds)>;

  // The system's processes and time.
  SurvivorWatch();
  SurvivorWatch(StartTimeOf start_time_of, Clock now, Sleep sleep);

  // Adds process `id` running `path` as it is now; one already gone is left out.
  void Watch(std::uint32_t id, const std::string& path);

  // Waits up to `limit` for every watched process to exit, looking every
  // 50 ms (once when the limit is 0); the ones still running after it.
  std::vector<Process> WaitForExit(std::chrono::milliseconds limit);

  // The limit of `end --wait SECONDS`: whole or decimal seconds (digits, at
  // most one '.', at least one digit: "5", "5.", ".5") from 0 to one day;
  // nullopt for anything else.
  static std::optional<std::chrono::milliseconds> ParseLimit(const std::string& seconds);

 private:
  bool Running(const Process& process) const;

  StartTimeOf start_time_of_;
  Clock now_;
  Sleep sleep_;
  std::vector<Process> watched_;
};

}  // namespace vesk::host_app
