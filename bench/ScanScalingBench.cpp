// How the end action's scan grows on the simulated platform: with the number
// of processes when nothing matches, and with matches times windows when each
// matching process is looked for by a walk of the whole window list.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "platform/sim/SimPlatform.h"
#include "process/modProcessHandler.h"

namespace {

using vesk::modProcessHandler;
using vesk::platform::sim::InstalledSimPlatform;
using vesk::platform::sim::SimProcess;
using vesk::platform::sim::SimWindow;

constexpr const char* kTarget = "/opt/app/bin/app";

// `processes` processes, the first `matches` of them running the target and
// owning no window; `windows` windows on the desktop, owned by the others.
void Populate(InstalledSimPlatform& sim, std::int64_t processes, std::int64_t matches, std::int64_t windows) {
  sim.log.set_recording(false);
  for (std::int64_t i = 0; i < processes; ++i) {
    const auto id = static_cast<std::uint32_t>(4 * (i + 1));
    SimProcess process;
    process.id = id;
    process.path = i < matches ? std::string(kTarget) : "/usr/bin/tool" + std::to_string(i);
    sim.processes.processes.push_back(process);
  }
  for (std::int64_t w = 0; w < windows; ++w) {
    const auto owner = static_cast<std::uint32_t>(4 * (matches + 1 + w % (processes - matches)));
    SimWindow window;
    window.handle = static_cast<vesk::platform::WindowHandle>(0x1000 + w);
    window.process_id = owner;
    sim.windows.desktop.push_back(window);
  }
}

void Scan(benchmark::State& state, std::int64_t processes, std::int64_t matches, std::int64_t windows) {
  InstalledSimPlatform sim;
  Populate(sim, processes, matches, windows);
  for (auto _ : state) {
    benchmark::DoNotOptimize(modProcessHandler::FindProcessWindows(kTarget));
  }
  state.counters["processes"] = static_cast<double>(processes);
  state.counters["matches"] = static_cast<double>(matches);
  state.counters["windows"] = static_cast<double>(windows);
}

// Nothing matches, 100 windows: the cost of the scan against the processes.
void BM_ScanProcesses(benchmark::State& state) {
  Scan(state, state.range(0), 0, 100);
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ScanProcesses)
    ->Arg(10)->Arg(30)->Arg(100)->Arg(300)->Arg(1000)->Arg(3000)->Arg(10000)->Arg(30000)
    ->Complexity(benchmark::oN);

// 1,000 processes, of which range(0) match, and range(1) windows, none of
// theirs: each match walks all windows.
void BM_ScanMatchesWindows(benchmark::State& state) {
  Scan(state, 1000, state.range(0), state.range(1));
  state.SetComplexityN(state.range(0) * state.range(1));
}
BENCHMARK(BM_ScanMatchesWindows)
    ->ArgsProduct({{1, 10, 100}, {10, 100, 1000, 3000}})
    ->Complexity(benchmark::oN);

}  // namespace

BENCHMARK_MAIN();
