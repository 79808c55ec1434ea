// Round trips of MethodCall on the simulated platform, each beside its pugixml
// twin (the same parsing, writing and building steps). Report the ratio of
// each pair: ours / pugixml.
#include <benchmark/benchmark.h>

#include <string>
#include <utility>
#include <vector>

#include "AllocationCounter.h"
#include "PugiTwin.h"
#include "dispatch/plugin.h"
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

BENCHMARK(BM_Catalogue);
BENCHMARK(BM_Catalogue_Pugi);
BENCHMARK(BM_GetName);
BENCHMARK(BM_GetName_Pugi);
BENCHMARK(BM_GetActionInfo);
BENCHMARK(BM_GetActionInfo_Pugi);
BENCHMARK(BM_StartExecute);
BENCHMARK(BM_StartExecute_Pugi);

}  // namespace
}  // namespace vesk::bench

BENCHMARK_MAIN();
