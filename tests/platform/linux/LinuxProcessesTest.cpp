#include "platform/linux/LinuxProcesses.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>

#include "ChildProcess.h"
#include "process/modProcessHandler.h"

namespace vesk::platform::linux_backend {
namespace {

namespace fs = std::filesystem;
using test::ChildProcess;

std::size_t OpenDescriptors() {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

// The module file name of `pid` as the scan reads it (never flagged cut), or
// nothing when the process cannot be opened or its modules cannot be listed.
std::optional<std::string> FileNameOf(LinuxProcesses& processes, pid_t pid, std::uint32_t size = 500) {
  const Handle handle = processes.OpenProcess(1040, false, static_cast<std::uint32_t>(pid));
  if (handle == 0) return std::nullopt;
  Handle modules[25] = {};
  std::uint32_t needed = 0;
  std::optional<std::string> name;
  if (processes.EnumProcessModules(handle, modules, 200, needed)) {
    std::string buffer(size, '\0');
    bool cut = true;
    const std::uint32_t length = processes.GetModuleFileNameExA(handle, modules[0], buffer, size, cut);
    EXPECT_FALSE(cut);
    name = buffer.substr(0, length);
  }
  EXPECT_TRUE(processes.CloseHandle(handle));
  return name;
}

// Waits (at most 5 s) until the child runs `image`.
bool HasExecuted(const ChildProcess& child, const std::string& image) {
  const std::string link = "/proc/" + std::to_string(child.pid()) + "/exe";
  for (int i = 0; i < 50; ++i) {
    std::error_code error;
    if (fs::read_symlink(link, error).string() == image) return true;
    ::usleep(100000);
  }
  return false;
}

// The whole scan on the real platform, without a display: no windows, one
// 0 per process found.
WindowList FindWithoutDisplay(const std::string& target) {
  const char* display = std::getenv("DISPLAY");
  const std::optional<std::string> saved = display ? std::optional<std::string>(display) : std::nullopt;
  ::unsetenv("DISPLAY");
  const WindowList found = modProcessHandler::FindProcessWindows(target);
  if (saved) ::setenv("DISPLAY", saved->c_str(), 1);
  return found;
}

class LinuxProcessesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("vesk-proc-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    descriptors_ = OpenDescriptors();
  }
  void TearDown() override {
    EXPECT_EQ(OpenDescriptors(), descriptors_) << "descriptors left open";
    fs::remove_all(dir_);
  }
  std::string CopyOfSleep(const std::string& name) {
    const fs::path path = dir_ / name;
    fs::create_directories(path.parent_path());
    fs::copy_file("/bin/sleep", path, fs::copy_options::overwrite_existing);
    return path.string();
  }
  LinuxProcesses processes;
  fs::path dir_;
  std::size_t descriptors_ = 0;
};

TEST_F(LinuxProcessesTest, ListsProcessIdsWithinTheBuffer) {
  std::vector<std::uint32_t> ids(8192, 0);
  std::uint32_t returned = 0;
  ASSERT_TRUE(processes.EnumProcesses(ids.data(), 8192 * 4, returned));
  ASSERT_EQ(returned % 4, 0u);
  ASSERT_LT(returned, 8192u * 4);
  ids.resize(returned / 4);
  EXPECT_NE(std::find(ids.begin(), ids.end(), static_cast<std::uint32_t>(::getpid())), ids.end());

  std::uint32_t small[3] = {0, 0, 7};
  ASSERT_TRUE(processes.EnumProcesses(small, 8, returned));
  EXPECT_EQ(returned, 8u);
  EXPECT_EQ(small[2], 7u) << "wrote past the size given";
}

TEST_F(LinuxProcessesTest, EveryBufferSizeOfTheDoublingGetsTheSameListFromTheStart) {
  std::vector<std::uint32_t> full(8192, 0);
  std::uint32_t returned = 0;
  ASSERT_TRUE(processes.EnumProcesses(full.data(), 8192 * 4, returned));
  full.resize(returned / 4);
  ASSERT_GT(full.size(), 2u);
  // The sizes the scan asks for, a size that is no multiple of 4, and one past the list.
  for (const std::uint32_t size : {16u, 30u, 64u, 256u, 1024u, static_cast<std::uint32_t>(full.size() * 4 + 64)}) {
    SCOPED_TRACE(size);
    std::vector<std::uint32_t> ids(size / 4 + 1, 0xdeadbeef);
    ASSERT_TRUE(processes.EnumProcesses(ids.data(), size, returned));
    const std::size_t expected = std::min<std::size_t>(size / 4, full.size());
    // Processes may start or end between two listings: compare the stable head.
    EXPECT_GE(returned / 4 + 2, expected);
    EXPECT_LE(returned, size / 4 * 4);
    EXPECT_EQ(ids[size / 4], 0xdeadbeefu) << "wrote past the size given";
    EXPECT_EQ(ids[0], full[0]) << "each listing starts afresh";
  }
  // The last listing was handed whole, so the next one lists /proc again; so
  // does one after a cut listing grown too old to be used.
  const auto lists = [&](pid_t pid, std::uint32_t size) {
    std::vector<std::uint32_t> ids(size / 4, 0);
    EXPECT_TRUE(processes.EnumProcesses(ids.data(), size, returned));
    ids.resize(returned / 4);
    return std::find(ids.begin(), ids.end(), static_cast<std::uint32_t>(pid)) != ids.end();
  };
  ChildProcess started({"/bin/sleep", "30"});
  EXPECT_TRUE(lists(started.pid(), 8192 * 4)) << "a process started after a whole listing";
  ASSERT_TRUE(processes.EnumProcesses(full.data(), 8, returned));  // cut: kept for a moment
  ::usleep(300000);
  ChildProcess later({"/bin/sleep", "30"});
  EXPECT_TRUE(lists(later.pid(), 8192 * 4)) << "a process started after an old cut listing";
  std::uint32_t four[4] = {};
  ASSERT_TRUE(processes.EnumProcesses(four, sizeof four, returned));  // cut, and the scan left unfinished
  ChildProcess next({"/bin/sleep", "30"});
  ASSERT_TRUE(processes.EnumProcesses(four, sizeof four, returned));  // a new scan
  EXPECT_TRUE(lists(next.pid(), 8192 * 4)) << "a process started after an unfinished scan";
}

TEST_F(LinuxProcessesTest, LinkReadForOneHandleIsNeverGivenForAnother) {
  const std::string self = fs::read_symlink("/proc/self/exe").string();
  const std::string other_path = CopyOfSleep("other");
  ChildProcess other({other_path, "30"});
  ASSERT_TRUE(HasExecuted(other, other_path));
  // The modules of this process are listed, then its handle is closed; the
  // next handle takes the same descriptor number.
  const Handle first = processes.OpenProcess(1040, false, static_cast<std::uint32_t>(::getpid()));
  Handle modules[25] = {};
  std::uint32_t needed = 0;
  ASSERT_TRUE(processes.EnumProcessModules(first, modules, 200, needed));
  EXPECT_TRUE(processes.CloseHandle(first));
  const Handle second = processes.OpenProcess(1040, false, static_cast<std::uint32_t>(other.pid()));
  ASSERT_EQ(second, first);
  std::string buffer(500, '\0');
  bool cut = false;
  const std::uint32_t length =
      processes.GetModuleFileNameExA(second, LinuxProcesses::kExecutableModule, buffer, 500, cut);
  EXPECT_EQ(buffer.substr(0, length), other_path);
  // Asked twice on the same handle, the name is the same.
  ASSERT_TRUE(processes.EnumProcessModules(second, modules, 200, needed));
  for (int i = 0; i < 2; ++i) {
    const std::uint32_t again = processes.GetModuleFileNameExA(second, modules[0], buffer, 500, cut);
    EXPECT_EQ(buffer.substr(0, again), other_path);
  }
  // Two processes open at once each keep their own name, whichever closes first.
  const Handle third = processes.OpenProcess(1040, false, static_cast<std::uint32_t>(::getpid()));
  ASSERT_NE(third, second);
  EXPECT_TRUE(processes.CloseHandle(second));
  const std::uint32_t own = processes.GetModuleFileNameExA(third, LinuxProcesses::kExecutableModule, buffer, 500, cut);
  EXPECT_EQ(buffer.substr(0, own), self);
  EXPECT_TRUE(processes.CloseHandle(third));
}

TEST_F(LinuxProcessesTest, ReadsTheExecutableOfAProcess) {
  const std::string self = fs::read_symlink("/proc/self/exe").string();
  EXPECT_EQ(FileNameOf(processes, ::getpid()), self);
  EXPECT_EQ(FileNameOf(processes, ::getpid(), 4), self) << "the size asked for is no limit";

  const Handle handle = processes.OpenProcess(1040, false, static_cast<std::uint32_t>(::getpid()));
  std::string buffer(500, '\0');
  bool cut = false;
  EXPECT_EQ(processes.GetModuleFileNameExA(handle, LinuxProcesses::kExecutableModule + 1, buffer, 500, cut), 0u);
  processes.CloseHandle(handle);

  OsVersionInfo info;
  EXPECT_TRUE(processes.GetVersionExA(info));
  EXPECT_EQ(info.dwPlatformId, kPlatformNt);
  EXPECT_EQ(processes.CreateToolhelp32Snapshot(kSnapProcess, 0), 0);
}

TEST_F(LinuxProcessesTest, ProcessThatEndedCannotBeOpened) {
  pid_t gone = 0;
  {
    ChildProcess child({"/bin/true"});
    gone = child.pid();
    ASSERT_TRUE(child.ExitsWithin(50));
  }
  EXPECT_EQ(FileNameOf(processes, gone), std::nullopt);
  EXPECT_EQ(processes.OpenProcess(1040, false, 0), 0);
  // A handle never opened, or closed already, is refused everywhere.
  const Handle handle = processes.OpenProcess(1040, false, static_cast<std::uint32_t>(::getpid()));
  ASSERT_NE(handle, 0);
  EXPECT_TRUE(processes.CloseHandle(handle));
  Handle modules[25] = {};
  std::uint32_t needed = 0;
  std::string buffer(500, '\0');
  bool cut = false;
  for (const Handle stale : {handle, handle + 1, Handle{-1}, Handle{0}}) {
    EXPECT_FALSE(processes.EnumProcessModules(stale, modules, 200, needed)) << stale;
    EXPECT_EQ(processes.GetModuleFileNameExA(stale, LinuxProcesses::kExecutableModule, buffer, 500, cut), 0u);
    EXPECT_FALSE(processes.RunsFile(stale, "X", "/bin/true")) << stale;
    EXPECT_FALSE(processes.CloseHandle(stale)) << stale;
  }
}

TEST_F(LinuxProcessesTest, UnlinkedImageKeepsItsPathAndOnlyItLosesTheMarker) {
  const std::string upgraded = CopyOfSleep("prog");
  const std::string named = CopyOfSleep("keep (deleted)");
  ChildProcess first({upgraded, "30"});
  ChildProcess second({upgraded, "30"});
  ChildProcess third({named, "30"});
  for (const ChildProcess* child : {&first, &second, &third}) {
    ASSERT_TRUE(HasExecuted(*child, child == &third ? named : upgraded));
  }
  // A package upgrade: the file is replaced while the programs run.
  fs::remove(upgraded);
  CopyOfSleep("prog");

  EXPECT_EQ(FileNameOf(processes, first.pid()), upgraded);
  EXPECT_EQ(FileNameOf(processes, third.pid()), named);

  // Both instances are found, with the path in other letter case.
  std::string target = " " + upgraded + " ";
  std::transform(target.begin(), target.end(), target.begin(), [](char c) { return static_cast<char>(std::toupper(c)); });
  EXPECT_EQ(FindWithoutDisplay(target), (WindowList{0, 0, 0}));
}

TEST_F(LinuxProcessesTest, WholeLongPathIsReportedAndOnlyItMatches) {
  // 3 folders of 100 two-byte letters: over 600 bytes, about 320 characters.
  std::string folders;
  for (int i = 0; i < 3; ++i) {
    folders += std::string(i == 0 ? "" : "/");
    for (int j = 0; j < 100; ++j) folders += "\xc3\xbc";
  }
  const std::string path = CopyOfSleep(folders + "/prog");
  ASSERT_GT(path.size(), 600u);
  ChildProcess child({path, "30"});
  ASSERT_TRUE(HasExecuted(child, path));
  EXPECT_EQ(FileNameOf(processes, child.pid()), path);
  EXPECT_EQ(FindWithoutDisplay(path), (WindowList{0, 0}));
  EXPECT_EQ(FindWithoutDisplay(path.substr(0, 500)), WindowList{0}) << "a prefix is no match";
}

TEST_F(LinuxProcessesTest, ResolvesOnlyAFullPathOfAnExistingFile) {
  const std::string prog = CopyOfSleep("prog");
  fs::create_symlink(prog, dir_ / "link");
  fs::create_symlink(dir_ / "link", dir_ / "link2");
  const std::string relative = fs::relative(prog, fs::current_path()).string();
  ChildProcess child({prog, "30"});
  ASSERT_TRUE(HasExecuted(child, prog));
  const Handle handle = processes.OpenProcess(1040, false, static_cast<std::uint32_t>(child.pid()));
  ASSERT_NE(handle, 0);
  // Asked with the key of the resolved path (decided by the text) and with
  // another path of the file's name (decided by device and inode).
  const std::string by_text = modProcessHandler::ProcessKey(fs::canonical(prog).string());
  const std::string by_identity = modProcessHandler::ProcessKey("/elsewhere/prog");
  struct Row {
    const char* label;
    std::string path;
    bool exists;
  } rows[] = {
      {"a file", prog, true},
      {"a link to a link", (dir_ / "link2").string(), true},
      {"a folder", dir_.string(), false},
      {"no such file", prog + "x", false},
      {"a relative path", relative, false},
      {"a NUL inside", prog + std::string(1, '\0') + "x", false},
      {"empty", "", false},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(processes.RunsFile(handle, by_text, row.path), row.exists) << row.label << ": by the text";
    EXPECT_EQ(processes.RunsFile(handle, by_identity, row.path), row.exists) << row.label << ": by the identity";
  }
  EXPECT_TRUE(processes.CloseHandle(handle));
}

TEST_F(LinuxProcessesTest, TargetIsResolvedOncePerScanAndAgainByTheNext) {
  const std::string prog = CopyOfSleep("a/prog");
  fs::create_directories(dir_ / "b");
  const std::string target = (dir_ / "b/prog").string();
  fs::create_hard_link(prog, target);
  ChildProcess child({prog, "30"});
  ASSERT_TRUE(HasExecuted(child, prog));
  const Handle handle = processes.OpenProcess(1040, false, static_cast<std::uint32_t>(child.pid()));
  ASSERT_NE(handle, 0);
  const std::string key = modProcessHandler::ProcessKey("/elsewhere/prog");
  std::uint32_t ids[4] = {};
  std::uint32_t returned = 0;
  ASSERT_TRUE(processes.EnumProcesses(ids, sizeof ids, returned));  // a scan starts
  EXPECT_TRUE(processes.RunsFile(handle, key, target));
  // The target path now names another file: the scan keeps what it resolved.
  fs::remove(target);
  CopyOfSleep("b/prog");
  EXPECT_TRUE(processes.RunsFile(handle, key, target)) << "resolved once per scan";
  ASSERT_TRUE(processes.EnumProcesses(ids, sizeof ids, returned));  // the next scan, or a nested one
  EXPECT_FALSE(processes.RunsFile(handle, key, target)) << "resolved afresh";
  EXPECT_TRUE(processes.RunsFile(handle, key, prog)) << "another target is resolved for itself";
  EXPECT_TRUE(processes.CloseHandle(handle));
}

TEST_F(LinuxProcessesTest, LinkAndSameFileUnderAnotherPathMatch) {
  const std::string prog = CopyOfSleep("a/prog");
  fs::create_symlink(prog, dir_ / "link");
  fs::create_directories(dir_ / "b");
  fs::create_hard_link(prog, dir_ / "b/prog");
  fs::create_hard_link(prog, dir_ / "b/renamed");
  const std::string copy = CopyOfSleep("c/prog");
  ChildProcess child({prog, "30"});
  ASSERT_TRUE(HasExecuted(child, prog));
  struct Row {
    const char* label;
    std::string target;
    bool matches;
  } rows[] = {
      {"the path itself", prog, true},
      {"a link to it", (dir_ / "link").string(), true},
      {"a hard link of the same name", (dir_ / "b/prog").string(), true},
      {"a hard link of another name (not looked at)", (dir_ / "b/renamed").string(), false},
      {"a copy of the same name", copy, false},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(FindWithoutDisplay(row.target), row.matches ? (WindowList{0, 0}) : WindowList{0}) << row.label;
  }
}

TEST_F(LinuxProcessesTest, AppImageMatchesItsOwnProgramsOnly) {
  // An image: an ELF file marked 'A', 'I', 2 at offset 8; its mount holds the
  // program it starts.
  const std::string image = (dir_ / "Tool.AppImage").string();
  const std::string plain = (dir_ / "Plain.AppImage").string();
  fs::copy_file("/bin/true", image);
  fs::copy_file("/bin/true", plain);
  {
    std::fstream file(image, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(8);
    file.write("AI\x02", 3);
  }
  const std::string mount = (dir_ / "mount").string();
  const std::string inside = CopyOfSleep("mount/usr/bin/tool");
  const std::string outside = CopyOfSleep("other/tool");
  const auto start = [&](const std::string& appimage, const std::string& program) {
    return std::make_unique<ChildProcess>(
        std::vector<std::string>{"/usr/bin/env", "APPIMAGE=" + appimage, "APPDIR=" + mount + "/", program, "30"});
  };
  const auto own = start(image, inside);
  const auto started_by_it = start(image, outside);
  const auto of_plain = start(plain, inside);
  ASSERT_TRUE(HasExecuted(*own, inside));
  ASSERT_TRUE(HasExecuted(*started_by_it, outside));
  ASSERT_TRUE(HasExecuted(*of_plain, inside));

  EXPECT_EQ(FindWithoutDisplay(image), (WindowList{0, 0})) << "the program inside the image only";
  EXPECT_EQ(FindWithoutDisplay(plain), WindowList{0}) << "no image: its variable does not count";
  struct Row {
    const char* label;
    const ChildProcess* process;
    std::string program;
    std::string target;
    bool runs;
  } rows[] = {
      {"its own program, whatever its name", own.get(), inside, image, true},
      {"its own program, asked about another file of its name", own.get(), inside, outside, false},
  };
  for (const Row& row : rows) {
    const Handle handle = processes.OpenProcess(1040, false, static_cast<std::uint32_t>(row.process->pid()));
    ASSERT_NE(handle, 0) << row.label;
    EXPECT_EQ(processes.RunsFile(handle, modProcessHandler::ProcessKey(row.program), row.target), row.runs)
        << row.label;
    EXPECT_TRUE(processes.CloseHandle(handle));
  }
}

}  // namespace
}  // namespace vesk::platform::linux_backend
