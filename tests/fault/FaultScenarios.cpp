#include "fault/FaultScenarios.h"

#include <algorithm>
#include <iterator>

#include <gtest/gtest.h>

#include <set>

#include "TestRequests.h"
#include "dispatch/ClassFactory.h"
#include "host/ErrorNumbers.h"

namespace vesk::test {
namespace {

using platform::sim::SimPlatform;

void NoSetup(SimPlatform&) {}

// Processes: the target (one in other letter case and with blanks), one
// whose modules cannot be listed, one that runs the target's file under
// another path (found by the platform's same-file answer); windows owned
// and not.
void Desktop(SimPlatform& sim, std::uint32_t family) {
  sim.processes.platform_id = family;
  sim.processes.processes = {
      {4, "C:\\Tools\\App.exe", true, true, std::nullopt},
      {8, "C:\\Other.exe", true, true, std::nullopt},
      {12, " c:\\tools\\APP.EXE ", true, false, std::nullopt},
      {16, "C:\\TOOLS\\APP.EXE", true, true, std::nullopt},
      {20, "D:\\Copy\\App.exe", true, true, std::nullopt, false, 3},
  };
  sim.processes.files["c:\\tools\\app.exe"] = 3;
  sim.windows.desktop = {{0x50, 0x90, 4, false}, {0x51, 0, 4, false}, {0x52, 0, 8, false}, {0x53, 0, 16, true}};
}
void NtDesktop(SimPlatform& sim) { Desktop(sim, platform::kPlatformNt); }
void ToolHelpDesktop(SimPlatform& sim) { Desktop(sim, platform::kPlatformWindows); }

const std::string kStartRecord = Record({"C:\\Tools\\App.exe", "-x &amp; y", "C:\\Work"});

}  // namespace

const std::vector<FaultScenario>& FaultScenarios() {
  static const std::vector<FaultScenario> scenarios = {
      {"StartProgram.Execute", "plugin", NoSetup, Envelope("StartProgram", "Execute", kStartRecord)},
      {"EndProgram.Execute.ProcessStatus", "plugin", NtDesktop,
       Envelope("EndProgram", "Execute", Record({"c:\\tools\\app.exe"}))},
      {"EndProgram.Execute.ToolHelp", "plugin", ToolHelpDesktop,
       Envelope("EndProgram", "Execute", Record({"c:\\tools\\app.exe"}))},
      {"ctlStartProgram.SetSettings", "ctlStartProgram", NoSetup,
       Envelope("ctlStartProgram", "SetSettings", kStartRecord)},
      {"ctlStartProgram.GetSettings", "ctlStartProgram", NoSetup, Envelope("ctlStartProgram", "GetSettings")},
      {"ctlEndProgram.SetSettings", "ctlEndProgram", NoSetup,
       Envelope("ctlEndProgram", "SetSettings", Record({"C:\\Tools\\App.exe"}))},
      {"ctlEndProgram.GetSettings", "ctlEndProgram", NoSetup, Envelope("ctlEndProgram", "GetSettings")},
  };
  return scenarios;
}

std::string FaultScenarioName(const ::testing::TestParamInfo<FaultScenario>& info) {
  std::string name = info.param.label;
  for (char& c : name) {
    if (c == '.') c = '_';
  }
  return name;
}

FaultOutcome RunScenario(const FaultScenario& scenario) {
  FaultOutcome outcome;
  try {
    const auto object = CreateObjectByClassName(scenario.class_name);
    outcome.reply = object->MethodCall(scenario.request);
  } catch (const Failure& failure) {
    outcome.failure = failure;
  }
  return outcome;
}

Failure RealisticFailure(const std::string& name) {
  static const std::set<std::string> kPsapi = {"EnumProcesses", "EnumProcessModules", "GetModuleFileNameExA"};
  static const std::set<std::string> kKernel32 = {"GetVersionExA", "CreateToolhelp32Snapshot", "Process32First",
                                                  "Process32Next", "OpenProcess", "CloseHandle"};
  static const std::set<std::string> kUser32 = {"FindWindowA",      "GetWindow",   "GetParent",
                                                "GetWindowThreadProcessId", "PostMessageA", "ShowMessageBox",
                                                "DispatchPendingMessages", "BeginSession", "EndSession"};
  if (kPsapi.contains(name)) {
    return Failure(errors::kLibraryNotLoaded, "Win32Library", "Cannot load library psapi.dll: not found");
  }
  if (kKernel32.contains(name)) {
    return Failure(errors::kEntryPointNotFound, "Win32Library", "Entry point " + name + " not found in kernel32.dll");
  }
  if (kUser32.contains(name)) {
    return Failure(errors::kEntryPointNotFound, "Win32Library", "Entry point " + name + " not found in user32.dll");
  }
  if (name == "StartFile") {
    return Failure(errors::kLibraryNotLoaded, "Win32Library", "Cannot load library shell32.dll: not found");
  }
  if (name == "CreateHiddenWindow") {
    return Failure(errors::kAccessRefused, "Win32Windows", "CreateWindowExW: not enough quota");
  }
  return Failure(errors::kOutOfMemory, "PanelUi", "Out of memory in " + name);  // the panel surface
}

std::vector<bool> FinderPositions(const std::vector<std::string>& names) {
  // The finder's session is the one that asks for the platform family; the
  // end action may hold an outer session around it and the close requests.
  std::vector<bool> inside(names.size(), false);
  const auto version = std::find(names.begin(), names.end(), "GetVersionExA");
  if (version == names.end()) return inside;
  const auto begin = std::find(std::make_reverse_iterator(version), names.rend(), "BeginSession");
  if (begin == names.rend()) return inside;
  int depth = 0;
  for (auto i = static_cast<std::size_t>(names.rend() - begin) - 1; i < names.size(); ++i) {
    if (names[i] == "BeginSession") ++depth;
    inside[i] = true;
    if (names[i] == "EndSession" && --depth == 0) break;
  }
  return inside;
}

void ExpectNothingOpen(SimPlatform& sim, const std::string& where) {
  EXPECT_EQ(sim.processes.open_handles(), 0) << where << ": handles or snapshots left open";
  EXPECT_EQ(sim.processes.bad_closes(), 0) << where << ": handles closed that were not open";
  EXPECT_EQ(sim.windows.open_sessions(), 0) << where << ": window sessions left open";
  EXPECT_TRUE(sim.ui.panels().empty()) << where << ": panels left alive";
}

}  // namespace vesk::test
