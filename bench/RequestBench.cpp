// Round trips of MethodCall on the simulated platform, each beside its pugixml
// twin (the same parsing, writing and building steps). After the run the ratio
// of each pair (ours / pugixml, CPU time) is printed.
//   --check           exit 1 when a round trip is slower than its twin
//   --iterations=N    run every benchmark exactly N times (for callgrind)
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "AllocationCounter.h"
#include "PugiTwin.h"
#include "RatioReporter.h"
#include "dispatch/plugin.h"
#include "settings/ctlEndProgram.h"
#include "settings/ctlStartProgram.h"
#include "platform/headless/HeadlessPanelUiFactory.h"
#include "platform/sim/SimPlatform.h"

namespace vesk::bench {
namespace {

std::string Envelope(const std::string& target, const std::string& method, const std::string& params) {
  return "<request><plugin>" + target + "</plugin><method>" + method + "</method>" + params + "</request>";
}

const std::string kStartRecord =
    "<params><sett><s>/usr/bin/editor</s><s>--new-window \"notes.txt\"</s><s>/home/user/docs</s></sett></params>";

// Reports the heap allocations per iteration beside the time.
class CountAllocations {
 public:
  explicit CountAllocations(benchmark::State& state) : state_(state), start_(AllocationCount()) {}
  ~CountAllocations() {
    state_.counters["allocs"] = benchmark::Counter(static_cast<double>(AllocationCount() - start_),
                                                   benchmark::Counter::kAvgIterations);
  }

 private:
  benchmark::State& state_;
  std::size_t start_;
};

void RunPlugin(benchmark::State& state, const std::string& request) {
  platform::sim::InstalledSimPlatform sim;
  sim.log.set_recording(false);
  plugin entry;
  CountAllocations count(state);
  for (auto _ : state) benchmark::DoNotOptimize(entry.MethodCall(request));
}

void BM_Catalogue(benchmark::State& state) {
  RunPlugin(state, Envelope("PlugInInfo", "GetPlugIns", "<params/>"));
}
void BM_Catalogue_Pugi(benchmark::State& state) {
  const std::string request = Envelope("PlugInInfo", "GetPlugIns", "<params/>");
  CountAllocations count(state);
  for (auto _ : state) {
    // The catalogue is a fixed text; only the envelope is parsed and params written.
    benchmark::DoNotOptimize(PugiRoundTrip(request, 0, {}, {}));
  }
}

void BM_GetName(benchmark::State& state) { RunPlugin(state, Envelope("StartProgram", "GetName", "<params/>")); }
void BM_GetName_Pugi(benchmark::State& state) {
  const std::string request = Envelope("StartProgram", "GetName", "<params/>");
  CountAllocations count(state);
  for (auto _ : state) benchmark::DoNotOptimize(PugiRoundTrip(request, 0, {{"name", "Start program plug-in"}}, {}));
}

void BM_GetActionInfo(benchmark::State& state) {
  RunPlugin(state, Envelope("StartProgram", "GetActionInfo", "<params/>"));
}
void BM_GetActionInfo_Pugi(benchmark::State& state) {
  const std::string request = Envelope("StartProgram", "GetActionInfo", "<params/>");
  const std::vector<std::pair<std::string, std::string>> children = {
      {"shortdescription", "Start program with arguments"},
      {"category", "Starting programs/files"},
      {"description", "starts a program with the specified arguments in the specified folder"}};
  CountAllocations count(state);
  for (auto _ : state) benchmark::DoNotOptimize(PugiRoundTrip(request, 0, children, {}));
}

void BM_StartExecute(benchmark::State& state) { RunPlugin(state, Envelope("StartProgram", "Execute", kStartRecord)); }
void BM_StartExecute_Pugi(benchmark::State& state) {
  const std::string request = Envelope("StartProgram", "Execute", kStartRecord);
  CountAllocations count(state);
  for (auto _ : state) benchmark::DoNotOptimize(PugiRoundTrip(request, 3, {{"success", ""}}, {}));
}

const std::string kEndRecord = "<params><sett><s>/usr/lib/firefox/firefox</s></sett></params>";

// The end action on an empty simulated process table: the scan's platform
// calls are made, no window is closed, and no message is shown.
void BM_EndExecute(benchmark::State& state) { RunPlugin(state, Envelope("EndProgram", "Execute", kEndRecord)); }
void BM_EndExecute_Pugi(benchmark::State& state) {
  const std::string request = Envelope("EndProgram", "Execute", kEndRecord);
  CountAllocations count(state);
  for (auto _ : state) benchmark::DoNotOptimize(PugiRoundTrip(request, 1, {{"success", ""}}, {}));
}

// Panels on the headless panel UI that Linux uses: the simulated UI's call
// records would be measured otherwise.
template <class Panel>
void RunPanel(benchmark::State& state, const std::string& request) {
  platform::sim::InstalledSimPlatform sim;
  platform::headless::HeadlessPanelUiFactory ui;
  sim.platform().ui = &ui;
  Panel panel;
  panel.MethodCall(Envelope("x", "SetSettings", kStartRecord));
  CountAllocations count(state);
  for (auto _ : state) benchmark::DoNotOptimize(panel.MethodCall(request));
}

void BM_SetSettings(benchmark::State& state) {
  RunPanel<ctlStartProgram>(state, Envelope("ctlStartProgram", "SetSettings", kStartRecord));
}
void BM_SetSettings_Pugi(benchmark::State& state) {
  const std::string request = Envelope("ctlStartProgram", "SetSettings", kStartRecord);
  CountAllocations count(state);
  for (auto _ : state) benchmark::DoNotOptimize(PugiRoundTrip(request, 3, {}, {}));
}

void BM_GetSettings(benchmark::State& state) {
  RunPanel<ctlStartProgram>(state, Envelope("ctlStartProgram", "GetSettings", "<params/>"));
}
void BM_GetSettings_Pugi(benchmark::State& state) {
  const std::string request = Envelope("ctlStartProgram", "GetSettings", "<params/>");
  const std::vector<std::string> record = {"/usr/bin/editor", "--new-window \"notes.txt\"", "/home/user/docs"};
  CountAllocations count(state);
  for (auto _ : state) benchmark::DoNotOptimize(PugiRoundTrip(request, 0, {}, record));
}

void BM_EndSetSettings(benchmark::State& state) {
  RunPanel<ctlEndProgram>(state, Envelope("ctlEndProgram", "SetSettings", kEndRecord));
}
void BM_EndSetSettings_Pugi(benchmark::State& state) {
  const std::string request = Envelope("ctlEndProgram", "SetSettings", kEndRecord);
  CountAllocations count(state);
  for (auto _ : state) benchmark::DoNotOptimize(PugiRoundTrip(request, 1, {}, {}));
}

void BM_EndGetSettings(benchmark::State& state) {
  RunPanel<ctlEndProgram>(state, Envelope("ctlEndProgram", "GetSettings", "<params/>"));
}
void BM_EndGetSettings_Pugi(benchmark::State& state) {
  const std::string request = Envelope("ctlEndProgram", "GetSettings", "<params/>");
  const std::vector<std::string> record = {"/usr/bin/editor"};
  CountAllocations count(state);
  for (auto _ : state) benchmark::DoNotOptimize(PugiRoundTrip(request, 0, {}, record));
}

struct Entry {
  const char* name;
  void (*function)(benchmark::State&);
};

// Every round trip "X" with its twin "X_Pugi"; bench/callgrind.sh pairs them by name too.
constexpr Entry kBenchmarks[] = {
    {"BM_Catalogue", &BM_Catalogue},         {"BM_Catalogue_Pugi", &BM_Catalogue_Pugi},
    {"BM_GetName", &BM_GetName},             {"BM_GetName_Pugi", &BM_GetName_Pugi},
    {"BM_GetActionInfo", &BM_GetActionInfo}, {"BM_GetActionInfo_Pugi", &BM_GetActionInfo_Pugi},
    {"BM_StartExecute", &BM_StartExecute},   {"BM_StartExecute_Pugi", &BM_StartExecute_Pugi},
    {"BM_EndExecute", &BM_EndExecute},       {"BM_EndExecute_Pugi", &BM_EndExecute_Pugi},
    {"BM_SetSettings", &BM_SetSettings},     {"BM_SetSettings_Pugi", &BM_SetSettings_Pugi},
    {"BM_GetSettings", &BM_GetSettings},     {"BM_GetSettings_Pugi", &BM_GetSettings_Pugi},
    {"BM_EndSetSettings", &BM_EndSetSettings}, {"BM_EndSetSettings_Pugi", &BM_EndSetSettings_Pugi},
    {"BM_EndGetSettings", &BM_EndGetSettings}, {"BM_EndGetSettings_Pugi", &BM_EndGetSettings_Pugi},
};

}  // namespace
}  // namespace vesk::bench

int main(int argc, char** argv) {
  bool check = false;
  long iterations = 0;
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--check") == 0) {
      check = true;
    } else if (std::strncmp(argv[i], "--iterations=", 13) == 0) {
      iterations = std::strtol(argv[i] + 13, nullptr, 10);
    } else {
      argv[kept++] = argv[i];
    }
  }
  argc = kept;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  vesk::bench::CountPugiAllocations();
  for (const vesk::bench::Entry& entry : vesk::bench::kBenchmarks) {
    benchmark::internal::Benchmark* registered = benchmark::RegisterBenchmark(entry.name, entry.function);
    if (iterations > 0) registered->Iterations(iterations);
  }
  vesk::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  const bool ok = reporter.PrintRatios(std::cout, 1.0);
  return check && !ok ? 1 : 0;
}
