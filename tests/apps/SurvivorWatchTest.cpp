#include "vesk-host/SurvivorWatch.h"

#include <gtest/gtest.h>

#include <map>

#ifdef __linux__
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "vesk-host/ProcessStartTime.h"
#endif

namespace vesk::host_app {
namespace {

using std::chrono::milliseconds;

// Processes whose start times change at given moments of a fake clock
// (a change to nullopt is an exit, to another time a reused id).
class FakeSystem {
 public:
  struct Change {
    milliseconds at;
    std::uint32_t id;
    std::optional<std::uint64_t> start_time;
  };
  explicit FakeSystem(std::vector<Change> changes) : changes_(std::move(changes)) {}
  SurvivorWatch Watch() {
    return SurvivorWatch([this](std::uint32_t id) { return StartTimeOf(id); },
                         [this] { return std::chrono::steady_clock::time_point(elapsed); },
                         [this](milliseconds pause) {
                           EXPECT_GT(pause.count(), 0);
                           elapsed += pause;
                           ++sleeps;
                         });
  }
  std::optional<std::uint64_t> StartTimeOf(std::uint32_t id) const {
    std::optional<std::uint64_t> time;
    for (const Change& change : changes_) {
      if (change.id == id && change.at <= elapsed) time = change.start_time;
    }
    return time;
  }
  milliseconds elapsed{0};
  int sleeps = 0;

 private:
  std::vector<Change> changes_;
};

TEST(SurvivorWatchTest, WaitsForTheSameProcessesUntilTheLimit) {
  struct Row {
    const char* label;
    std::vector<FakeSystem::Change> changes;
    milliseconds limit;
    std::vector<std::uint32_t> survivors;
    milliseconds waited;  // on the fake clock
  } rows[] = {
      {"nothing watched", {}, milliseconds(5000), {}, milliseconds(0)},
      {"gone before the first look", {{milliseconds(0), 7, 100}, {milliseconds(0), 7, std::nullopt}},
       milliseconds(5000), {}, milliseconds(0)},
      {"exits after 120 ms", {{milliseconds(0), 7, 100}, {milliseconds(120), 7, std::nullopt}}, milliseconds(5000), {},
       milliseconds(150)},
      {"never exits: named at the limit, not later", {{milliseconds(0), 7, 100}}, milliseconds(1030), {7},
       milliseconds(1030)},
      {"limit 0: one look, no wait", {{milliseconds(0), 7, 100}}, milliseconds(0), {7}, milliseconds(0)},
      {"id reused by a later process: the watched one has exited",
       {{milliseconds(0), 7, 100}, {milliseconds(60), 7, 250}}, milliseconds(5000), {}, milliseconds(100)},
      {"one of two stays", {{milliseconds(0), 7, 100}, {milliseconds(0), 9, 300}, {milliseconds(40), 9, std::nullopt}},
       milliseconds(500), {7}, milliseconds(500)},
  };
  for (const Row& row : rows) {
    FakeSystem system(row.changes);
    SurvivorWatch watch = system.Watch();
    watch.Watch(7, "/opt/a");
    watch.Watch(9, "/opt/b");
    std::vector<std::uint32_t> survivors;
    for (const auto& process : watch.WaitForExit(row.limit)) survivors.push_back(process.id);
    EXPECT_EQ(survivors, row.survivors) << row.label;
    EXPECT_EQ(system.elapsed, row.waited) << row.label;
  }
}

TEST(SurvivorWatchTest, SurvivorsKeepTheirPaths) {
  FakeSystem system({{milliseconds(0), 7, 100}});
  SurvivorWatch watch = system.Watch();
  watch.Watch(7, "/opt/tool with space/a");
  const auto survivors = watch.WaitForExit(milliseconds(0));
  ASSERT_EQ(survivors.size(), 1u);
  EXPECT_EQ(survivors[0].path, "/opt/tool with space/a");
  EXPECT_EQ(survivors[0].start_time, 100u);
}

TEST(SurvivorWatchTest, ParseLimit) {
  struct Row {
    const char* text;
    std::optional<milliseconds> limit;
  } rows[] = {
      {"0", milliseconds(0)},          {"5", milliseconds(5000)},      {"0.25", milliseconds(250)},
      {"1.0009", milliseconds(1000)},  {"86400", milliseconds(86400000)}, {"007", milliseconds(7000)},
      {"0000000000005", milliseconds(5000)}, {"000", milliseconds(0)},
      {"86400.001", std::nullopt},     {"86401", std::nullopt},        {"9999999999999999999999", std::nullopt},
      {"-1", std::nullopt},            {"+1", std::nullopt},           {"", std::nullopt},
      {"1.", milliseconds(1000)},      {".5", milliseconds(500)},      {"1.2.3", std::nullopt},
      {"5.", milliseconds(5000)},      {".", std::nullopt},            {"-.5", std::nullopt},
      {"+.5", std::nullopt},           {".5.", std::nullopt},          {"..5", std::nullopt},
      {".001", milliseconds(1)},       {"00086400.", milliseconds(86400000)}, {"1234567.", std::nullopt},
      {".5e1", std::nullopt},          {" .5", std::nullopt},
      {"1e3", std::nullopt},           {" 1", std::nullopt},           {"inf", std::nullopt},
      {"nan", std::nullopt},           {"0x10", std::nullopt},
  };
  for (const Row& row : rows) EXPECT_EQ(SurvivorWatch::ParseLimit(row.text), row.limit) << row.text;
}

#ifdef __linux__
// A running process keeps its start time whatever its name: /proc/ID/stat
// shows the name between parentheses, and it may hold spaces, parentheses
// and newlines. This process takes each name in turn. A process that has
// exited (a zombie) does not run.
TEST(SurvivorWatchTest, ProcessStartTimeWhateverTheName) {
  const auto self = static_cast<std::uint32_t>(getpid());
  const auto before = ProcessStartTime(self);
  ASSERT_TRUE(before.has_value());
  char own[16] = {};
  ASSERT_EQ(prctl(PR_GET_NAME, own), 0);
  for (const char* name : {"two words", "a)b", "a\nb", "x) R 1 2\n(", ")\n)\n"}) {
    ASSERT_EQ(prctl(PR_SET_NAME, name), 0);
    EXPECT_EQ(ProcessStartTime(self), before) << name;
  }
  prctl(PR_SET_NAME, own);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(0);
  siginfo_t info{};
  waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT);  // a zombie until reaped
  EXPECT_EQ(ProcessStartTime(static_cast<std::uint32_t>(child)), std::nullopt);
  waitpid(child, nullptr, 0);
}
#endif

}  // namespace
}  // namespace vesk::host_app
