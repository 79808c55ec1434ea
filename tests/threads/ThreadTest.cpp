// Two threads, each with its own objects (the apartment model), serve
// requests side by side; built under ThreadSanitizer by the "tsan" preset.

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <thread>

#include "TestRequests.h"
#include "actions/frmMain.h"
#include "dispatch/ClassFactory.h"
#include "host/Failure.h"
#include "platform/Platform.h"
#include "platform/sim/SimPlatform.h"

namespace vesk {
namespace {

using test::Envelope;
using test::Record;

constexpr int kRounds = 50;

// One thread's work on its own simulated platform: every kind of request,
// `kRounds` times; returns the number of wrong replies.
int SimulatedSession(int thread_index, platform::WindowHandle& owner) {
  platform::sim::InstalledSimPlatform sim;
  const std::string own = "C:\\Thread" + std::to_string(thread_index) + ".exe";
  sim.processes.processes = {{10, own, true, true, std::nullopt}};
  sim.windows.desktop = {{0x40, 0, 10, false}};
  const auto entry = CreateObjectByClassName("plugin");
  const auto panel = CreateObjectByClassName("ctlStartProgram");
  int wrong = 0;
  owner = frmMain::hWnd();
  for (int round = 0; round < kRounds; ++round) {
    const std::string value = own + "#" + std::to_string(round);
    wrong += entry->MethodCall(Envelope("StartProgram", "Execute", Record({own, "", ""}))) !=
             "<result><success/></result>";
    wrong += entry->MethodCall(Envelope("EndProgram", "Execute", Record({own}))) != "<result><success/></result>";
    wrong += panel->MethodCall(Envelope("ctlStartProgram", "SetSettings", Record({value, "a", "b"}))) != "<result/>";
    wrong += panel->MethodCall(Envelope("ctlStartProgram", "GetSettings")) !=
             "<result><sett><s>" + value + "</s><s>a</s><s>b</s></sett></result>";
    wrong += frmMain::hWnd() != owner;  // each thread keeps its own window
  }
  wrong += sim.log.Count("StartFile") != kRounds;
  wrong += sim.log.Count("PostMessageA") != kRounds;
  wrong += sim.log.Count("CreateHiddenWindow") != 1;
  wrong += sim.processes.open_handles() != 0 || sim.windows.open_sessions() != 0;
  return wrong;
}

TEST(Threads, TwoThreadsOnSimulatedPlatforms) {
  std::array<int, 2> wrong{-1, -1};
  std::array<platform::WindowHandle, 2> owners{};
  std::thread first([&] { wrong[0] = SimulatedSession(1, owners[0]); });
  std::thread second([&] { wrong[1] = SimulatedSession(2, owners[1]); });
  first.join();
  second.join();
  EXPECT_EQ(wrong, (std::array<int, 2>{0, 0}));
}

// Two threads on the real platform of the build, which they share: owner
// windows, a scan of this machine, and (with `panels`) the settings panels'
// texts on its UI. Returns what the threads report.
struct RealPlatformRun {
  std::array<int, 2> wrong{-1, -1};
  std::array<platform::WindowHandle, 2> owners{};
};

RealPlatformRun TwoRealPlatformSessions(bool panels) {
  RealPlatformRun run;
  const auto session = [&](int index) {
    const auto entry = CreateObjectByClassName("plugin");
    const auto panel = CreateObjectByClassName(index == 0 ? "ctlStartProgram" : "ctlEndProgram");
    run.owners[index] = frmMain::hWnd();
    int bad = 0;
    for (int round = 0; round < kRounds; ++round) {
      const std::string value = "/no/such/program-" + std::to_string(index) + "-" + std::to_string(round);
      if (panels) {
        bad += panel->MethodCall(Envelope("x", "SetSettings", Record({value}))) != "<result/>";
        bad += panel->MethodCall(Envelope("x", "GetSettings")).find("<s>" + value + "</s>") == std::string::npos;
      }
      bad += entry->MethodCall(Envelope("EndProgram", "Execute", Record({value}))) != "<result><success/></result>";
      bad += entry->MethodCall(Envelope("StartProgram", "GetName")) !=
             "<result><name>Start program plug-in</name></result>";
      bad += frmMain::hWnd() != run.owners[index];
    }
    run.wrong[index] = bad;
  };
  std::thread first(session, 0);
  std::thread second(session, 1);
  first.join();
  second.join();
  return run;
}

void ExpectCleanRun(const RealPlatformRun& run) {
  EXPECT_EQ(run.wrong, (std::array<int, 2>{0, 0}));
  EXPECT_NE(run.owners[0], run.owners[1]);
  EXPECT_NE(run.owners[0], 0);
  EXPECT_NE(run.owners[1], 0);
}

TEST(Threads, TwoThreadsScanOnTheRealPlatform) { ExpectCleanRun(TwoRealPlatformSessions(false)); }

TEST(Threads, TwoThreadsWithPanelsOnTheRealPlatform) { ExpectCleanRun(TwoRealPlatformSessions(true)); }

}  // namespace
}  // namespace vesk
