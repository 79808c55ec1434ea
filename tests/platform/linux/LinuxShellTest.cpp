#include "platform/linux/LinuxShell.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace vesk::platform::linux_backend {
namespace {
namespace fs = std::filesystem;
using Result = StartOutcome::Result;

// Records, one per line, into "$0.out" (written atomically): its working
// directory, blocked and ignored signals (read by builtins before the shell
// forks, as the shell blocks all signals around each fork), stdin, stdout and
// stderr, session, pid and its arguments.
constexpr const char* kInterpreterLine = "#!/bin/sh\n";
constexpr const char* kRecorder =
    "#!/bin/sh\n"
    "io=\"$(readlink /proc/$$/fd/0) $(readlink /proc/$$/fd/1) $(readlink /proc/$$/fd/2)\"\n"
    "{ pwd -P\n"
    "  while read -r k v; do case $k in SigBlk:|SigIgn:) echo \"$k $v\";; esac; done < /proc/$$/status\n"
    "  echo \"$io\"; cut -d' ' -f6 /proc/$$/stat; echo $$\n"
    "  for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done; } > \"$0.out.tmp\" && mv \"$0.out.tmp\" \"$0.out\"\n";

size_t OpenDescriptors() { return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()); }

void WriteFile(const fs::path& path, const std::string& text, fs::perms perms) {
  std::ofstream(path) << text;
  fs::permissions(path, perms);
}

// The file's lines once it exists, waiting up to 5 s.
std::vector<std::string> WaitForLines(const fs::path& path) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!fs::exists(path) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class LinuxShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vesk-shell-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = fs::canonical(pattern);
    fs::create_directories(root_ / "start in");
    fs::create_directories(root_ / "bin");
    WriteFile(root_ / "bin" / "xdg-open", kRecorder, fs::perms::owner_all);
    const char* path = std::getenv("PATH");
    saved_path_ = path != nullptr ? path : "/usr/bin:/bin";
    saved_cwd_ = fs::current_path();
    fs::current_path(root_);  // the host's own directory, for starts without a folder
    descriptors_ = OpenDescriptors();
  }
  void TearDown() override {
    setenv("PATH", saved_path_.c_str(), 1);
    fs::current_path(saved_cwd_);
    int status = 0;  // the start reaped its child: nothing, not even a zombie, is left
    const pid_t child = waitpid(-1, &status, WNOHANG);
    const int error = errno;
    EXPECT_EQ(child, -1);
    EXPECT_EQ(error, ECHILD);
    EXPECT_EQ(OpenDescriptors(), descriptors_);
    fs::remove_all(root_);
  }
  StartOutcome Start(const std::string& file, std::optional<std::string> params = std::nullopt,
                     std::optional<std::string> dir = std::nullopt, std::optional<std::string> op = std::nullopt) {
    return shell_.StartFile(7, op, file, params, dir, kShowNormal);
  }
  void UseStandInOpener() { setenv("PATH", ((root_ / "bin").string() + ":" + saved_path_).c_str(), 1); }

  LinuxShell shell_;
  fs::path root_;
  std::string saved_path_;
  fs::path saved_cwd_;
  size_t descriptors_ = 0;
};

TEST_F(LinuxShellTest, StartsProgramDetachedWithSplitWordsInFolder) {
  const fs::path program = root_ / "rec.sh";
  WriteFile(program, kRecorder, fs::perms::owner_all);
  // The host's stdin, ignored and blocked signals must not reach the program.
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  const int saved_stdin = dup(0);
  dup2(ends[0], 0);
  signal(SIGPIPE, SIG_IGN);
  sigset_t block, saved;
  sigemptyset(&block);
  sigaddset(&block, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &block, &saved);
  const StartOutcome outcome =
      Start(program, R"(plain "two words" 'it''s' "say \"hi\"" $HOME * ~ `id` a\ b "")", (root_ / "start in").string());
  pthread_sigmask(SIG_SETMASK, &saved, nullptr);
  signal(SIGPIPE, SIG_DFL);
  dup2(saved_stdin, 0);
  for (int fd : {saved_stdin, ends[0], ends[1]}) close(fd);
  ASSERT_EQ(outcome.result, Result::kStarted) << outcome.reason;
  EXPECT_EQ(fs::current_path(), root_);
  const std::vector<std::string> lines = WaitForLines(root_ / "rec.sh.out");
  const std::vector<std::string> expected_args = {"[plain]", "[two words]", "[its]", "[say \"hi\"]", "[$HOME]",
                                                  "[*]",     "[~]",         "[`id`]", "[a b]",        "[]"};
  ASSERT_EQ(lines.size(), 6 + expected_args.size());
  EXPECT_EQ(lines[0], (root_ / "start in").string());
  EXPECT_EQ(lines[1], "SigBlk: 0000000000000000");
  EXPECT_EQ(lines[2], "SigIgn: 0000000000000000");
  EXPECT_EQ(lines[3], "/dev/null /dev/null /dev/null") << "stdin, stdout, stderr";
  EXPECT_EQ(lines[4], lines[5]) << "the program leads a session of its own";
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 6, lines.end()), expected_args);
}

TEST_F(LinuxShellTest, RunsAScriptWithoutInterpreterLineWithTheShell) {
  const fs::path folder = root_ / "start in";
  const std::string script = std::string(kRecorder).substr(std::string(kInterpreterLine).size());
  const struct {
    const char* label;
    std::string text;
  } rows[] = {
      {"plain script", script},
      {"binary data after the first line", "true\n" + script + "exit\n" + std::string("\0\x7f" "ELF\0\1", 7)},
      {"empty first line", "\n" + script},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.label);
    WriteFile(folder / "plain", row.text, fs::perms::owner_all);
    const StartOutcome outcome = Start("./plain", "a 'b c'", folder.string());
    ASSERT_EQ(outcome.result, Result::kStarted) << outcome.reason;
    const std::vector<std::string> lines = WaitForLines(folder / "plain.out");
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[0], folder.string());
    EXPECT_EQ(lines[3], "/dev/null /dev/null /dev/null");
    EXPECT_EQ(lines[4], lines[5]) << "the shell leads a session of its own";
    EXPECT_EQ(lines[6], "[a]");
    EXPECT_EQ(lines[7], "[b c]");
    fs::remove(folder / "plain.out");
  }
}

TEST_F(LinuxShellTest, ResolvesRelativeFilesAgainstFolderOrHostDirectory) {
  fs::create_directories(root_ / "start in" / "sub");
  const fs::path folder = root_ / "start in";
  const struct {
    const char* label;
    const char* file;
    std::optional<std::string> dir;
    const char* path_first;  // a PATH entry put first, if any
    fs::path program;
    fs::path expected_cwd;
  } rows[] = {
      {"bare name not on PATH", "rec.sh", folder.string(), nullptr, folder / "rec.sh", folder},
      {"relative path", "sub/rec.sh", folder.string(), nullptr, folder / "sub" / "rec.sh", folder},
      {"relative folder", "sub/rec.sh", "start in", nullptr, folder / "sub" / "rec.sh", folder},
      {"relative PATH entry", "xdg-open", "start in", "bin", root_ / "bin" / "xdg-open", folder},
      {"no folder: host directory", "./rec.sh", std::nullopt, nullptr, root_ / "rec.sh", root_},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.label);
    WriteFile(row.program, kRecorder, fs::perms::owner_all);
    if (row.path_first != nullptr) setenv("PATH", (row.path_first + (":" + saved_path_)).c_str(), 1);
    const StartOutcome outcome = Start(row.file, "x", row.dir);
    setenv("PATH", saved_path_.c_str(), 1);
    EXPECT_EQ(outcome.result, Result::kStarted) << outcome.reason;
    const std::vector<std::string> lines = WaitForLines(row.program.string() + ".out");
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0], row.expected_cwd.string());
    EXPECT_EQ(lines[6], "[x]");
    fs::remove(row.program.string() + ".out");
  }
}

TEST_F(LinuxShellTest, FindsProgramOnPathAndPassesTheNameAsArgv0) {
  EXPECT_EQ(Start("true").result, Result::kStarted);
  const fs::path out = root_ / "argv";
  const StartOutcome outcome =
      Start("sh", "-c 'tr \"\\0\" \"\\n\" < /proc/$$/cmdline > \"$0.tmp\" && mv \"$0.tmp\" \"$0\"' " + out.string());
  ASSERT_EQ(outcome.result, Result::kStarted) << outcome.reason;
  const std::vector<std::string> lines = WaitForLines(out);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "sh");
  EXPECT_EQ(lines[1], "-c");
  EXPECT_EQ(lines[3], out.string());
}

TEST_F(LinuxShellTest, LeaksNoHostDescriptorIntoTheProgram) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);  // inheritable on purpose, below and above the start's own descriptors
  const int high = fcntl(ends[1], F_DUPFD, 200);
  ASSERT_GE(high, 200);
  const StartOutcome outcome = Start("sleep", "3");
  close(ends[1]);
  close(high);
  pollfd reader{ends[0], POLLIN, 0};
  EXPECT_EQ(poll(&reader, 1, 1500), 1) << "the program still holds the write end";
  EXPECT_NE(reader.revents & POLLHUP, 0);
  close(ends[0]);
  EXPECT_EQ(outcome.result, Result::kStarted) << outcome.reason;
}

TEST_F(LinuxShellTest, OpensDocumentsFoldersAndUrlsWithTheDesktopOpener) {
  UseStandInOpener();
  const std::string folder = (root_ / "start in").string();
  WriteFile(root_ / "start in" / "doc.txt", "text", fs::perms::owner_read | fs::perms::owner_write);
  WriteFile(root_ / "start in" / "-dash.txt", "text", fs::perms::owner_read);
  WriteFile(root_ / "-n.txt", "text", fs::perms::owner_read);
  WriteFile(root_ / "http:x", "text", fs::perms::owner_read);
  WriteFile(root_ / "script.sh", kRecorder, fs::perms::owner_read);  // not executable: opened, not run
  const struct {
    const char* label;
    std::string file;
    std::optional<std::string> params, dir, op;
    std::string expected_cwd;
    std::vector<std::string> expected_args;
  } rows[] = {
      {"document in folder", "doc.txt", std::nullopt, folder, std::nullopt, folder, {"[" + folder + "/doc.txt]"}},
      {"parameters ignored", folder + "/doc.txt", "'--help --version' x", std::nullopt, "open", root_.string(),
       {"[" + folder + "/doc.txt]"}},
      {"unsplittable parameters ignored", "doc.txt", "a 'b", folder, std::nullopt, folder,
       {"[" + folder + "/doc.txt]"}},
      {"folder", folder, std::nullopt, std::nullopt, "OPEN", root_.string(), {"[" + folder + "]"}},
      {"url", "https://example.org/a?b=1&c=2", std::nullopt, folder, "", folder, {"[https://example.org/a?b=1&c=2]"}},
      {"url without slash", "mailto:someone@example.org", std::nullopt, std::nullopt, std::nullopt,
       root_.string(), {"[mailto:someone@example.org]"}},
      {"url with parameters", "https://example.org", "--help", std::nullopt, std::nullopt, root_.string(),
       {"[https://example.org]"}},
      {"leading dash is no option", "-dash.txt", std::nullopt, folder, std::nullopt, folder,
       {"[" + folder + "/-dash.txt]"}},
      {"leading dash in host directory", "-n.txt", "-x", std::nullopt, std::nullopt, root_.string(),
       {"[" + root_.string() + "/-n.txt]"}},
      {"existing file is no url", "http:x", std::nullopt, std::nullopt, std::nullopt, root_.string(),
       {"[" + root_.string() + "/http:x]"}},
      {"non-executable script", (root_ / "script.sh").string(), std::nullopt, std::nullopt, std::nullopt,
       root_.string(), {"[" + (root_ / "script.sh").string() + "]"}},
  };
  const fs::path out = root_ / "bin" / "xdg-open.out";
  for (const auto& row : rows) {
    SCOPED_TRACE(row.label);
    const StartOutcome outcome = Start(row.file, row.params, row.dir, row.op);
    EXPECT_EQ(outcome.result, Result::kStarted) << outcome.reason;
    const std::vector<std::string> lines = WaitForLines(out);
    ASSERT_EQ(lines.size(), 6 + row.expected_args.size());
    EXPECT_EQ(lines[0], row.expected_cwd);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 6, lines.end()), row.expected_args);
    fs::remove(out);
  }
}

TEST_F(LinuxShellTest, RefusesToOpenWithoutDesktopOpener) {
  fs::create_directories(root_ / "empty");
  setenv("PATH", (root_ / "empty").c_str(), 1);
  WriteFile(root_ / "doc.txt", "text", fs::perms::owner_read);
  for (const std::string& file : {(root_ / "doc.txt").string(), std::string("https://example.org")}) {
    const StartOutcome outcome = Start(file);
    EXPECT_EQ(outcome.result, Result::kRefused) << file;
    EXPECT_EQ(outcome.reason, "no desktop opener (xdg-open) found");
  }
}

TEST_F(LinuxShellTest, ReportsWhyAStartFailed) {
  WriteFile(root_ / "doc.txt", "text", fs::perms::owner_read);
  WriteFile(root_ / "folder-interp", "#!/tmp\n", fs::perms::owner_all);
  WriteFile(root_ / "no-interp", "#!/nonexistent/interpreter\n", fs::perms::owner_all);
  ASSERT_EQ(mkfifo((root_ / "fifo").c_str(), 0600), 0);
  fs::create_symlink("loop", root_ / "loop");
  WriteFile(root_ / "elf-magic", "\x7f" "ELF\necho hi\n", fs::perms::owner_all);
  WriteFile(root_ / "nul-first-line", std::string("echo hi\0\necho\n", 14), fs::perms::owner_all);
  const std::string r = root_.string();
  const struct {
    const char* label;
    std::string file;
    std::optional<std::string> params, dir, op;
    Result result;
    std::string reason;
  } rows[] = {
      {"empty file", "", std::nullopt, std::nullopt, std::nullopt, Result::kFileNotFound, "No file given"},
      {"missing path", r + "/missing", std::nullopt, std::nullopt, std::nullopt, Result::kFileNotFound,
       "No such file: " + r + "/missing"},
      {"missing bare name", "vesk-no-such-program", std::nullopt, r, std::nullopt, Result::kFileNotFound,
       "No such file: vesk-no-such-program"},
      {"path through a file", r + "/doc.txt/x", std::nullopt, std::nullopt, std::nullopt, Result::kFileNotFound,
       "No such file: " + r + "/doc.txt/x"},
      {"drive letter is no url", "C:\\x.exe", std::nullopt, std::nullopt, std::nullopt, Result::kFileNotFound,
       "No such file: C:\\x.exe"},
      {"missing folder before empty file", "", std::nullopt, r + "/nope", std::nullopt, Result::kPathNotFound,
       "No such folder: " + r + "/nope"},
      {"folder is a file", "true", std::nullopt, r + "/doc.txt", std::nullopt, Result::kPathNotFound,
       "No such folder: " + r + "/doc.txt"},
      {"other operation", "true", std::nullopt, std::nullopt, "print", Result::kRefused,
       "Unsupported operation: print"},
      {"unterminated quote", "true", "a 'b", std::nullopt, std::nullopt, Result::kRefused,
       "Cannot split the parameters: unterminated single quote opened at offset 2"},
      {"fifo", "fifo", std::nullopt, r, std::nullopt, Result::kRefused, "fifo: not a regular file or folder"},
      {"symlink loop", "loop", std::nullopt, r, std::nullopt, Result::kRefused,
       "loop: Too many levels of symbolic links"},
      {"interpreter is a folder", r + "/folder-interp", std::nullopt, std::nullopt, std::nullopt, Result::kRefused,
       "Cannot start " + r + "/folder-interp: Permission denied"},
      {"missing name read as an option", "-x", "y", std::nullopt, std::nullopt, Result::kFileNotFound,
       "No such file: -x"},
      {"missing name read as an option in folder", "-x", std::nullopt, r, std::nullopt, Result::kFileNotFound,
       "No such file: -x"},
      {"missing interpreter", "./no-interp", std::nullopt, r, std::nullopt, Result::kFileNotFound,
       "Cannot start ./no-interp: No such file or directory"},
      {"ELF magic, no script", "./elf-magic", "x", r, std::nullopt, Result::kRefused,
       "Cannot start ./elf-magic: Exec format error"},
      {"NUL in the first line, no script", "nul-first-line", std::nullopt, r, std::nullopt, Result::kRefused,
       "Cannot start nul-first-line: Exec format error"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.label);
    const StartOutcome outcome = Start(row.file, row.params, row.dir, row.op);
    EXPECT_EQ(outcome.result, row.result);
    EXPECT_EQ(outcome.reason, row.reason);
  }
}

}  // namespace
}  // namespace vesk::platform::linux_backend
