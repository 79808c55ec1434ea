#include "process/modProcessHandler.h"

#include <gtest/gtest.h>

#include <optional>

#include "SimProcessFixture.h"
#include "host/ErrorNumbers.h"
#include "host/Failure.h"

namespace vesk {
namespace {

using platform::kPlatformNt;
using platform::kPlatformWindows;

constexpr const char* kEditor = "C:\\Tools\\Edit.exe";
const std::string kLongPath = "C:\\" + std::string(600, 'x') + ".exe";

class modProcessHandlerTest : public test::SimProcessFixture {
 protected:
  WindowList Find(const std::string& path) { return modProcessHandler::FindProcessWindows(path); }
};

TEST_F(modProcessHandlerTest, FamilyChoosesTheScan) {
  struct Row {
    const char* label;
    std::uint32_t family;
    bool version_fails;
    const char* first_scan_call;  // nullptr: no scan
  } rows[] = {
      {"tool-help", kPlatformWindows, false, "CreateToolhelp32Snapshot"},
      {"process-status", kPlatformNt, false, "DispatchPendingMessages"},
      {"family 0", 0, false, nullptr},
      {"family 3", 3, false, nullptr},
      {"version query fails", kPlatformNt, true, nullptr},
  };
  for (const Row& row : rows) {
    sim.log.Clear();
    sim.processes.processes.clear();
    AddProcess(10, kEditor);
    AddWindow(0x50, 10);
    sim.processes.platform_id = row.family;
    sim.processes.version_query_fails = row.version_fails;
    const WindowList found = Find(kEditor);
    sim.windows.desktop.clear();
    const auto names = sim.log.Names();
    ASSERT_GE(names.size(), 3u) << row.label;
    EXPECT_EQ(names[1], "GetVersionExA") << row.label;
    if (row.first_scan_call == nullptr) {
      EXPECT_EQ(found, WindowList{0}) << row.label;
      EXPECT_EQ(names, (std::vector<std::string>{"BeginSession", "GetVersionExA", "EndSession"})) << row.label;
    } else {
      EXPECT_EQ(found, (WindowList{0x50, 0})) << row.label;
      EXPECT_EQ(names[2], row.first_scan_call) << row.label;
    }
  }
}

TEST_F(modProcessHandlerTest, VersionQueryIsPassedSizeAndBlankServicePack) {
  EXPECT_EQ(modProcessHandler::GetPlatformId(), static_cast<std::int32_t>(kPlatformNt));
  ASSERT_EQ(ArgsOf("GetVersionExA").size(), 1u);
  EXPECT_EQ(ArgsOf("GetVersionExA")[0], (std::vector<std::string>{"148", std::string(128, ' ')}));
  sim.processes.version_query_fails = true;
  EXPECT_EQ(modProcessHandler::GetPlatformId(), 0);
}

TEST_F(modProcessHandlerTest, KeysOfTheProcessStatusFamily) {
  struct Row {
    const char* label;
    std::string target;
    std::string process_path;
    std::optional<std::uint32_t> name_length;
    bool matches;
    bool cut = false;  // the platform flags the name as cut
  } rows[] = {
      {"exact path", kEditor, kEditor, {}, true},
      {"other letter case", "c:\\TOOLS\\edit.EXE", kEditor, {}, true},
      {"spaces around target", "   C:\\Tools\\Edit.exe  ", kEditor, {}, true},
      {"spaces around the process path", kEditor, "  C:\\Tools\\Edit.exe ", {}, true},
      {"tab is not trimmed", "\tC:\\Tools\\Edit.exe", kEditor, {}, false},
      {"file name only", "Edit.exe", kEditor, {}, false},
      {"folder only", "C:\\Tools", kEditor, {}, false},
      {"longer count brings NULs, which are removed", kEditor, kEditor, 30, true},
      {"shorter count cuts the name", kEditor, kEditor, 5, false},
      {"NULs in the target are kept", std::string(kEditor) + '\0', kEditor, {}, false},
      {"empty target matches an empty name", "", kEditor, 0, true},
      {"blank target matches an empty name", "   ", kEditor, 0, true},
      {"empty target and a named process", "", kEditor, {}, false},
      {"non-ASCII letters compare as written", "C:\\\xc3\xa9.exe", "C:\\\xc3\xa9.EXE", {}, true},
      {"non-ASCII letters are not folded", "C:\\\xc3\xa9.exe", "C:\\\xc3\x89.exe", {}, false},
      {"a name flagged cut never matches, even the same text", kEditor, kEditor, {}, false, true},
      {"a path past 500 is cut: the whole path does not match", kLongPath, kLongPath, {}, false},
      {"a path past 500 is cut: its first 500 do not match", kLongPath.substr(0, 500), kLongPath, {}, false},
  };
  for (const Row& row : rows) {
    sim.processes.processes.clear();
    platform::sim::SimProcess& process = AddProcess(7, row.process_path);
    process.name_length = row.name_length;
    process.name_cut = row.cut;
    EXPECT_EQ(Find(row.target), row.matches ? (WindowList{0, 0}) : WindowList{0}) << row.label;
  }
}

TEST_F(modProcessHandlerTest, KeysOfTheToolHelpFamily) {
  sim.processes.platform_id = kPlatformWindows;
  struct Row {
    const char* label;
    std::string target;
    std::string name;
    bool matches;
    bool cut = false;  // the platform flags the name as cut
  } rows[] = {
      {"exact", kEditor, kEditor, true},
      {"other case and spaces", " c:\\tools\\EDIT.exe ", kEditor, true},
      {"name ending in spaces keeps them", kEditor, std::string(kEditor) + "  ", false},
      {"name ending in spaces, target with them", std::string(kEditor) + "  ", std::string(kEditor) + "  ", false},
      {"leading spaces of the name are trimmed", kEditor, std::string("  ") + kEditor, true},
      {"file name only", "Edit.exe", kEditor, false},
      {"a name of 259 characters", std::string(259, 'A'), std::string(259, 'a'), true},
      {"a name flagged cut never matches, even the same text", kEditor, kEditor, false, true},
      {"a name of 300 cut to 259: the whole does not match", std::string(300, 'A'), std::string(300, 'a'), false},
      {"a name of 300 cut to 259: its first 259 do not match", std::string(259, 'A'), std::string(300, 'a'), false},
  };
  for (const Row& row : rows) {
    sim.processes.processes.clear();
    AddProcess(7, row.name).name_cut = row.cut;
    EXPECT_EQ(Find(row.target), row.matches ? (WindowList{0, 0}) : WindowList{0}) << row.label;
  }
}

// The platform's answer about the target file (here: the sim's inodes, and
// only for a process still open) decides for a process whose key differs.
TEST_F(modProcessHandlerTest, ThePlatformIsAskedAboutTheFileOnlyWhenTheKeyDiffers) {
  const std::string target = "/opt/tool/bin/tool";  // inode 5
  struct Row {
    const char* label;
    std::string process_path;
    std::uint64_t process_inode;
    bool matches;
    bool asked;
    bool cut = false;
    bool can_list_modules = true;
  } rows[] = {
      {"same key: not asked", target, 6, true, false},
      {"same key in other case and with spaces: not asked", " /OPT/tool/BIN/TOOL ", 6, true, false},
      {"other path, the same file", "/app/bin/tool", 5, true, true},
      {"other path, another file", "/app/bin/tool", 6, false, true},
      {"other path, no identity", "/app/bin/tool", 0, false, true},
      {"a name flagged cut is not asked", "/app/bin/tool", 5, false, false, true},
      {"no module list: not asked", "/app/bin/tool", 5, false, false, false, false},
  };
  for (const Row& row : rows) {
    sim.log.Clear();
    sim.processes.processes.clear();
    sim.processes.files = {{target, 5}};
    platform::sim::SimProcess& process = AddProcess(7, row.process_path);
    process.inode = row.process_inode;
    process.name_cut = row.cut;
    process.can_list_modules = row.can_list_modules;
    EXPECT_EQ(Find(" " + target + " "), row.matches ? (WindowList{0, 0}) : WindowList{0}) << row.label;
    const auto asks = ArgsOf("RunsFile");
    ASSERT_EQ(asks.size(), row.asked ? 1u : 0u) << row.label;
    if (row.asked) {
      EXPECT_EQ(asks[0], (std::vector<std::string>{ArgsOf("CloseHandle")[0][0],
                                                   modProcessHandler::ProcessKey(row.process_path), target}))
          << row.label << ": the process's handle and key, and the trimmed target path";
    }
  }
}

TEST_F(modProcessHandlerTest, OnlyTheProcessesWhoseKeyDiffersAreAskedAboutInScanOrder) {
  sim.processes.files["/opt/tool"] = 5;
  AddProcess(1, "/a/tool").inode = 6;
  AddProcess(2, "/opt/tool").inode = 6;
  AddProcess(3, "/b/tool").inode = 5;
  AddProcess(4, "/OPT/TOOL");
  AddWindow(0x30, 3);
  EXPECT_EQ(Find("/opt/tool"), (WindowList{0, 0x30, 0, 0}));
  std::vector<std::string> asked_keys;
  for (const auto& args : ArgsOf("RunsFile")) asked_keys.push_back(args[1]);
  EXPECT_EQ(asked_keys, (std::vector<std::string>{"/A/TOOL", "/B/TOOL"}));
}

TEST_F(modProcessHandlerTest, ToolHelpScanCallsAndRelease) {
  sim.processes.platform_id = kPlatformWindows;
  sim.processes.files[kEditor] = 3;
  AddProcess(1, "C:\\other.exe").inode = 3;  // the target's file: never asked about here
  AddProcess(2, kEditor);
  AddProcess(3, kEditor);
  AddWindow(0x30, 3);
  AddWindow(0x20, 2);
  EXPECT_EQ(Find(kEditor), (WindowList{0x20, 0x30, 0}));
  EXPECT_EQ(ArgsOf("CreateToolhelp32Snapshot"), (std::vector<std::vector<std::string>>{{"2", "0"}}));
  const auto firsts = ArgsOf("Process32First");
  const auto nexts = ArgsOf("Process32Next");
  ASSERT_EQ(firsts.size(), 1u);
  ASSERT_EQ(nexts.size(), 3u);  // the last one delivers nothing
  for (const auto& call : nexts) EXPECT_EQ(call, firsts[0]);
  EXPECT_EQ(firsts[0][1], "296");
  EXPECT_EQ(ArgsOf("CloseHandle"), (std::vector<std::vector<std::string>>{{firsts[0][0]}}));
  EXPECT_EQ(sim.log.Count("DispatchPendingMessages"), 0);
  EXPECT_EQ(sim.log.Count("OpenProcess") + sim.log.Count("EnumProcesses") + sim.log.Count("RunsFile"), 0);
}

TEST_F(modProcessHandlerTest, ToolHelpWithoutSnapshotOrEntries) {
  sim.processes.platform_id = kPlatformWindows;
  sim.processes.snapshot_fails = true;
  AddProcess(2, kEditor);
  EXPECT_EQ(Find(kEditor), WindowList{0});
  EXPECT_EQ(sim.log.Count("Process32First") + sim.log.Count("CloseHandle"), 0);

  sim.processes.snapshot_fails = false;
  sim.processes.processes.clear();
  sim.log.Clear();
  EXPECT_EQ(Find(kEditor), WindowList{0});
  EXPECT_EQ(sim.log.Count("Process32Next"), 0);
  EXPECT_EQ(sim.log.Count("CloseHandle"), 1);
}

TEST_F(modProcessHandlerTest, ProcessIdBufferDoublesPastEveryFullBuffer) {
  struct Row {
    const char* label;
    int processes;
    bool enum_fails;
    std::vector<std::string> sizes;
    int ids_examined;
  } rows[] = {
      {"none", 0, false, {"16"}, 0},
      {"3 fit in 16 bytes", 3, false, {"16"}, 3},
      {"4 fill 16 bytes", 4, false, {"16", "32"}, 4},
      {"32 fill 128 bytes", 32, false, {"16", "32", "64", "128", "256"}, 32},
      {"33", 33, false, {"16", "32", "64", "128", "256"}, 33},
      {"failing enumeration keeps 96 bytes", 5, true, {"16", "32", "64", "128"}, 24},
  };
  for (const Row& row : rows) {
    sim.log.Clear();
    sim.processes.processes.clear();
    sim.processes.enum_processes_fails = row.enum_fails;
    for (int i = 0; i < row.processes; ++i) AddProcess(static_cast<std::uint32_t>(100 + i), "C:\\p.exe");
    EXPECT_EQ(Find(kEditor), WindowList{0}) << row.label;
    std::vector<std::string> sizes;
    for (const auto& args : ArgsOf("EnumProcesses")) sizes.push_back(args[0]);
    EXPECT_EQ(sizes, row.sizes) << row.label;
    const auto opens = ArgsOf("OpenProcess");
    EXPECT_EQ(static_cast<int>(opens.size()), row.ids_examined) << row.label;
    // One dispatch before each enlargement, two for each id.
    EXPECT_EQ(sim.log.Count("DispatchPendingMessages"),
              static_cast<int>(row.sizes.size()) + 2 * row.ids_examined)
        << row.label;
    if (row.enum_fails) {
      for (const auto& args : opens) EXPECT_EQ(args[2], "0") << row.label << ": ids of the zeroed buffer";
    }
  }
}

TEST_F(modProcessHandlerTest, CallsForOneMatchingProcessInOrder) {
  AddProcess(42, kEditor);
  AddWindow(0x77, 42);
  EXPECT_EQ(Find(kEditor), (WindowList{0x77, 0}));
  const std::vector<std::string> expected = {
      "BeginSession",        "GetVersionExA",       "DispatchPendingMessages", "EnumProcesses",
      "DispatchPendingMessages", "OpenProcess",   "EnumProcessModules",      "GetModuleFileNameExA",
      "FindWindowA",         "GetParent",           "GetWindowThreadProcessId", "IsWindowVisible",
      "CloseHandle",
      "DispatchPendingMessages", "EndSession"};
  EXPECT_EQ(sim.log.Names(), expected);
  const std::string handle = ArgsOf("CloseHandle")[0][0];
  EXPECT_EQ(ArgsOf("OpenProcess")[0], (std::vector<std::string>{"1040", "0", "42"}));
  EXPECT_EQ(ArgsOf("EnumProcessModules")[0], (std::vector<std::string>{handle, "200"}));
  EXPECT_EQ(ArgsOf("GetModuleFileNameExA")[0],
            (std::vector<std::string>{handle, std::to_string(platform::sim::SimProcesses::ModuleOf(42)), "500", "500"}));
  EXPECT_EQ(ArgsOf("FindWindowA")[0], (std::vector<std::string>{"<null>", "<null>"}));
}

TEST_F(modProcessHandlerTest, ProcessesThatCannotBeExaminedGetNoEntry) {
  AddProcess(1, kEditor).can_open = false;
  AddProcess(2, kEditor).can_list_modules = false;
  AddProcess(3, kEditor);
  AddWindow(0x10, 1);
  AddWindow(0x20, 2);
  AddWindow(0x30, 3);
  EXPECT_EQ(Find(kEditor), (WindowList{0x30, 0}));
  EXPECT_EQ(sim.log.Count("OpenProcess"), 3);
  EXPECT_EQ(sim.log.Count("EnumProcessModules"), 2);
  EXPECT_EQ(sim.log.Count("GetModuleFileNameExA"), 1);
  EXPECT_EQ(sim.log.Count("CloseHandle"), 2);
}

TEST_F(modProcessHandlerTest, OneWindowPerMatchingProcess) {
  struct Row {
    const char* label;
    std::vector<platform::sim::SimWindow> desktop;  // top first
    WindowList expected;
  } rows[] = {
      {"no windows at all", {}, {0, 0, 0}},
      {"each its own", {{0x21, 0, 2}, {0x11, 0, 1}}, {0x11, 0x21, 0}},
      {"first of several wins", {{0x12, 0, 1}, {0x11, 0, 1}, {0x21, 0, 2}}, {0x12, 0x21, 0}},
      {"one without a window", {{0x21, 0, 2}, {0x99, 0, 9}}, {0, 0x21, 0}},
      {"hidden window counts", {{0x11, 0, 1, true}, {0x21, 0, 2}}, {0x11, 0x21, 0}},
      {"owned pop-up passed over", {{0x15, 0x11, 1}, {0x11, 0, 1}, {0x21, 0, 2}}, {0x11, 0x21, 0}},
      {"only owned pop-ups", {{0x15, 0x99, 1}, {0x21, 0, 2}}, {0, 0x21, 0}},
      {"visible one below a hidden helper", {{0x13, 0, 1, true}, {0x11, 0, 1}, {0x21, 0, 2}}, {0x11, 0x21, 0}},
      {"first hidden when none is visible", {{0x13, 0, 1, true}, {0x14, 0, 1, true}, {0x21, 0, 2}},
       {0x13, 0x21, 0}},
      {"visible owned pop-up not taken over a hidden one", {{0x15, 0x13, 1}, {0x13, 0, 1, true}, {0x21, 0, 2}},
       {0x13, 0x21, 0}},
  };
  AddProcess(1, kEditor);
  AddProcess(5, "C:\\other.exe");
  AddProcess(2, kEditor);
  for (const Row& row : rows) {
    sim.windows.desktop = row.desktop;
    EXPECT_EQ(Find(kEditor), row.expected) << row.label;
  }
}

// The processes themselves, for a caller that watches them exit: the same
// matches in both families, their paths as reported, and no window touched.
TEST_F(modProcessHandlerTest, FindProcessesMatchesWithoutWindows) {
  for (const std::uint32_t family : {kPlatformNt, kPlatformWindows}) {
    sim.log.Clear();
    sim.processes.processes.clear();
    sim.processes.platform_id = family;
    AddProcess(1, kEditor);
    AddProcess(5, "C:\\other.exe");
    AddProcess(2, std::string("  c:\\tools\\EDIT.exe"));
    AddWindow(0x11, 1);
    const auto found = modProcessHandler::FindProcesses(std::string(" ") + kEditor);
    ASSERT_EQ(found.size(), 2u) << family;
    EXPECT_EQ(found[0].id, 1u) << family;
    EXPECT_EQ(found[0].path, kEditor) << family;
    EXPECT_EQ(found[1].id, 2u) << family;
    EXPECT_EQ(found[1].path, "c:\\tools\\EDIT.exe") << family;
    for (const std::string& name : sim.log.Names()) {
      EXPECT_TRUE(name != "BeginSession" && name != "FindWindowA") << family << ": " << name;
    }
  }
  sim.processes.platform_id = kPlatformNt;
  sim.log.FailOn("GetModuleFileNameExA", 2, Failure(48, "psapi", "Cannot load the library"));
  try {
    modProcessHandler::FindProcesses(kEditor);
    ADD_FAILURE() << "expected a failure";
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.number(), 48);
    EXPECT_EQ(failure.description(), "ProcessInfo");
  }
}

TEST_F(modProcessHandlerTest, VisibilityIsAskedOfTheProcessCandidatesOnlyInWalkOrder) {
  AddWindow(0x31, 3);             // another process: no visibility asked
  AddWindow(0x13, 1, 0, true);    // hidden helper of the target
  AddWindow(0x15, 0x11, 1);       // owned: passed over before its process is asked
  AddWindow(0x11, 1);             // the visible main window: the walk stops here
  AddWindow(0x12, 1);
  EXPECT_EQ(modProcessHandler::FindTopLevelWindow(1), 0x11);
  const std::vector<std::string> expected = {
      "FindWindowA", "GetParent", "GetWindowThreadProcessId",                     // 0x31
      "GetWindow",   "GetParent", "GetWindowThreadProcessId", "IsWindowVisible",  // 0x13
      "GetWindow",   "GetParent",                                                 // 0x15
      "GetWindow",   "GetParent", "GetWindowThreadProcessId", "IsWindowVisible"};  // 0x11
  EXPECT_EQ(sim.log.Names(), expected);
  EXPECT_EQ(ArgsOf("IsWindowVisible"), (std::vector<std::vector<std::string>>{{"19"}, {"17"}}));
}

TEST_F(modProcessHandlerTest, TheMatchCounterOverflowsAt32768) {
  sim.processes.platform_id = kPlatformWindows;
  for (std::uint32_t i = 0; i < 32767; ++i) AddProcess(i + 1, kEditor);
  EXPECT_EQ(Find(kEditor), WindowList(32768, 0));
  AddProcess(40000, kEditor);
  try {
    Find(kEditor);
    ADD_FAILURE() << "a 32768th match must fail";
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.number(), errors::kOverflow);
    EXPECT_EQ(failure.source(), "modProcessHandler");
    EXPECT_EQ(failure.description(), "ProcessInfo");
  }
}

TEST_F(modProcessHandlerTest, FailuresAreRaisedAgainAsProcessInfoAndHandlesReleased) {
  struct Row {
    const char* label;
    std::uint32_t family;
    const char* failing_call;
    int nth;
  } rows[] = {
      {"version query", kPlatformNt, "GetVersionExA", 1},
      {"enumeration", kPlatformNt, "EnumProcesses", 1},
      {"second open", kPlatformNt, "OpenProcess", 2},
      {"module list with a process open", kPlatformNt, "EnumProcessModules", 1},
      {"file name with a process open", kPlatformNt, "GetModuleFileNameExA", 2},
      {"window walk with a process open", kPlatformNt, "GetWindowThreadProcessId", 1},
      {"close", kPlatformNt, "CloseHandle", 1},
      {"same-file question with a process open", kPlatformNt, "RunsFile", 1},
      {"dispatch", kPlatformNt, "DispatchPendingMessages", 3},
      {"snapshot", kPlatformWindows, "CreateToolhelp32Snapshot", 1},
      {"next entry with the snapshot open", kPlatformWindows, "Process32Next", 1},
      {"window walk with the snapshot open", kPlatformWindows, "FindWindowA", 2},
  };
  AddProcess(1, kEditor);
  AddProcess(2, kEditor);
  AddProcess(3, "D:\\Edit.exe");  // another path: asked about
  sim.processes.files[kEditor] = 1;
  AddWindow(0x10, 1);
  for (const Row& row : rows) {
    sim.processes.platform_id = row.family;
    sim.log.FailOn(row.failing_call, row.nth, Failure(48, "psapi", "Cannot load the library"));
    try {
      Find(kEditor);
      ADD_FAILURE() << row.label << ": expected a failure";
    } catch (const Failure& failure) {
      EXPECT_EQ(failure.number(), 48) << row.label;
      EXPECT_EQ(failure.source(), "psapi") << row.label;
      EXPECT_EQ(failure.description(), "ProcessInfo") << row.label;
    }
    EXPECT_EQ(sim.processes.open_handles(), 0) << row.label;
    EXPECT_EQ(sim.windows.open_sessions(), 0) << row.label;
  }
}

TEST_F(modProcessHandlerTest, NestedScanFromADispatchKeepsItsOwnState) {
  AddProcess(1, kEditor);
  AddProcess(2, "C:\\other.exe");
  AddProcess(3, kEditor);
  AddWindow(0x10, 1);
  AddWindow(0x20, 2);
  WindowList inner;
  int open_after_inner = -1;
  // The fourth dispatch of the outer scan comes before it opens process 2.
  sim.message_pump.set_on_dispatch([&, count = 0]() mutable {
    if (++count != 4) return;
    inner = Find("C:\\other.exe");
    open_after_inner = sim.processes.open_handles();
  });
  EXPECT_EQ(Find(kEditor), (WindowList{0x10, 0, 0}));
  EXPECT_EQ(inner, (WindowList{0x20, 0}));
  EXPECT_EQ(open_after_inner, 0);
}

TEST_F(modProcessHandlerTest, StripLastChar) {
  EXPECT_EQ(modProcessHandler::StripLastChar("abc"), "ab");
  EXPECT_EQ(modProcessHandler::StripLastChar("a"), "");
  EXPECT_EQ(modProcessHandler::StripLastChar(std::string("a\0", 2)), "a");
  try {
    modProcessHandler::StripLastChar("");
    ADD_FAILURE() << "an empty string has no last character";
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.number(), errors::kInvalidArgument);
  }
}

}  // namespace
}  // namespace vesk
