#include "vesk-host/SurvivorWatch.h"

#include <gtest/gtest.h>

#include <map>

#ifdef __linux__
#include <signal.h>
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
// and newlines. A process that has exited (a zombie) does not run.
TEST(SurvivorWatchTest, ProcessStartTimeWhateverTheName) {
  const struct {
    const char* label;
    const char* name;
  } rows[] = {{"plain", "plain"},       {"space", "two words"},    {"parenthesis", "a)b"},
              {"newline", "a\nb"}, {"a fake stat line", "x) R 1 2\n("}, {"newlines after ')'", ")\n)\n"}};
  for (const auto& [label, name] : rows) {
    int to_child[2];
    int to_parent[2];
    ASSERT_EQ(pipe(to_child), 0);
    ASSERT_EQ(pipe(to_parent), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {  // waits for the go, renames itself, says so, then waits to be killed
      char go = 0;
      if (read(to_child[0], &go, 1) != 1 || prctl(PR_SET_NAME, name) != 0) _exit(1);
      if (write(to_parent[1], &go, 1) != 1) _exit(1);
      for (;;) pause();
    }
    close(to_child[0]);
    close(to_parent[1]);
    const auto before = ProcessStartTime(static_cast<std::uint32_t>(child));
    char go = 1;
    EXPECT_EQ(write(to_child[1], &go, 1), 1);
    EXPECT_EQ(read(to_parent[0], &go, 1), 1) << "renamed";
    const auto renamed = ProcessStartTime(static_cast<std::uint32_t>(child));
    kill(child, SIGKILL);
    siginfo_t info{};
    waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT);  // a zombie until reaped
    const auto exited = ProcessStartTime(static_cast<std::uint32_t>(child));
    waitpid(child, nullptr, 0);
    close(to_child[1]);
    close(to_parent[0]);
    EXPECT_TRUE(before.has_value()) << label;
    EXPECT_EQ(renamed, before) << label;
    EXPECT_EQ(exited, std::nullopt) << label;
  }
}
#endif

}  // namespace
}  // namespace vesk::host_app
