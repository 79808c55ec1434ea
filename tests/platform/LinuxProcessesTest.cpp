#include "platform/linux/LinuxProcesses.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
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

// The module file name of `pid` as the scan reads it, or nothing when the
// process cannot be opened or its modules cannot be listed.
std::optional<std::string> FileNameOf(LinuxProcesses& processes, pid_t pid, std::uint32_t size = 500) {
  const Handle handle = processes.OpenProcess(1040, false, static_cast<std::uint32_t>(pid));
  if (handle == 0) return std::nullopt;
  Handle modules[25] = {};
  std::uint32_t needed = 0;
  std::optional<std::string> name;
  if (processes.EnumProcessModules(handle, modules, 200, needed)) {
    std::string buffer(size, '\0');
    const std::uint32_t length = processes.GetModuleFileNameExA(handle, modules[0], buffer, size);
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
  const std::uint32_t length = processes.GetModuleFileNameExA(second, LinuxProcesses::kExecutableModule, buffer, 500);
  EXPECT_EQ(buffer.substr(0, length), other_path);
  // Asked twice on the same handle, the name is the same.
  ASSERT_TRUE(processes.EnumProcessModules(second, modules, 200, needed));
  for (int i = 0; i < 2; ++i) {
    const std::uint32_t again = processes.GetModuleFileNameExA(second, modules[0], buffer, 500);
    EXPECT_EQ(buffer.substr(0, again), other_path);
  }
  EXPECT_TRUE(processes.CloseHandle(second));
}

TEST_F(LinuxProcessesTest, ReadsTheExecutableOfAProcess) {
  const std::string self = fs::read_symlink("/proc/self/exe").string();
  EXPECT_EQ(FileNameOf(processes, ::getpid()), self.substr(0, 500));
  EXPECT_EQ(FileNameOf(processes, ::getpid(), 4), self.substr(0, 4));

  const Handle handle = processes.OpenProcess(1040, false, static_cast<std::uint32_t>(::getpid()));
  std::string buffer(500, '\0');
  EXPECT_EQ(processes.GetModuleFileNameExA(handle, LinuxProcesses::kExecutableModule + 1, buffer, 500), 0u);
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

  // The whole scan on the real platform, without a display: no windows, but
  // both instances are found, with the path in other letter case.
  const char* display = std::getenv("DISPLAY");
  const std::optional<std::string> saved = display ? std::optional<std::string>(display) : std::nullopt;
  ::unsetenv("DISPLAY");
  std::string target = " " + upgraded + " ";
  std::transform(target.begin(), target.end(), target.begin(), [](char c) { return static_cast<char>(std::toupper(c)); });
  const WindowList found = modProcessHandler::FindProcessWindows(target);
  if (saved) ::setenv("DISPLAY", saved->c_str(), 1);
  EXPECT_EQ(found, (WindowList{0, 0, 0}));
}

}  // namespace
}  // namespace vesk::platform::linux_backend
