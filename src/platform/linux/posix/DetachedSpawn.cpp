#include "platform/linux/posix/DetachedSpawn.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "platform/linux/posix/UniqueFd.h"

namespace vesk::platform::linux_backend {
namespace {
using Step = DetachedSpawn::Outcome::Step;

constexpr const char* kShell = "/bin/sh";

// What a child writes to the report pipe when a step fails before exec.
struct ChildReport {
  Step step;
  int error;
};

// Everything the children use, prepared before forking: between fork and
// exec only async-signal-safe calls may run, since the host may have threads.
struct Prepared {
  const char* path;
  char* const* argv;
  char* const* shell_argv;  // "/bin/sh" path argv[1..], for ENOEXEC; null: the file is no script
  char* const* envp;
  const char* directory;  // null: keep the working directory
  int null_fd;            // /dev/null, above 2
  int report_fd;          // write end of the report pipe, above 2, close-on-exec
  unsigned max_fd;        // upper bound for closing descriptors one by one
};

// Blocks every signal in the calling thread while alive, so that no handler
// of the host runs in a child between fork and exec.
class SignalBlock {
 public:
  SignalBlock() {
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &saved_);
  }
  ~SignalBlock() { pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }
  SignalBlock(const SignalBlock&) = delete;
  SignalBlock& operator=(const SignalBlock&) = delete;

 private:
  sigset_t saved_;
};

[[noreturn]] void ReportAndExit(int fd, Step step, int error) {
  const ChildReport report{step, error};
  while (write(fd, &report, sizeof report) < 0 && errno == EINTR) {
  }
  _exit(127);
}

void CloseRange(unsigned first, unsigned last, unsigned max_fd) {
  if (first > last) return;
  if (close_range(first, last, 0) == 0) return;
  for (unsigned fd = first; fd <= last && fd < max_fd; ++fd) close(static_cast<int>(fd));
}

[[noreturn]] void RunProgram(const Prepared& p) {
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  sigemptyset(&dfl.sa_mask);
  for (int sig = 1; sig < NSIG; ++sig) sigaction(sig, &dfl, nullptr);  // else the host's SIG_IGN survives exec
  if (setsid() < 0) ReportAndExit(p.report_fd, Step::kSetup, errno);
  if (p.directory != nullptr && chdir(p.directory) < 0) ReportAndExit(p.report_fd, Step::kChdir, errno);
  for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    if (dup2(p.null_fd, fd) < 0) ReportAndExit(p.report_fd, Step::kSetup, errno);
  }
  const unsigned report = static_cast<unsigned>(p.report_fd);
  CloseRange(3, report - 1, p.max_fd);  // the report pipe itself closes on exec
  CloseRange(report + 1, ~0U, p.max_fd);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  execve(p.path, p.argv, p.envp);
  const int error = errno;
  if (error == ENOEXEC && p.shell_argv != nullptr) execve(kShell, p.shell_argv, p.envp);
  ReportAndExit(p.report_fd, Step::kExec, error);  // the file's own error, also when the shell failed
}

[[noreturn]] void RunIntermediate(const Prepared& p) {
  // _Fork runs no pthread_atfork handlers: those of a host with threads may
  // take locks that no thread of this child will ever release.
  const pid_t pid = _Fork();
  if (pid < 0) ReportAndExit(p.report_fd, Step::kFork, errno);
  if (pid == 0) RunProgram(p);
  _exit(0);
}

// Whether the shell may run the file when the kernel cannot (ENOEXEC): a
// script by the shell's own rule, that is no ELF file and no NUL byte in its
// first line as far as the first bytes read. A file that cannot be read is
// none. A relative path is found from `directory`, as the child's exec does.
bool IsShellScript(const std::string& path, const std::optional<std::string>& directory) {
  const std::string file = path.empty() || path[0] == '/' || !directory ? path : *directory + "/" + path;
  const UniqueFd fd(open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!fd) return false;
  char head[256];
  ssize_t got = 0;
  while ((got = read(fd.get(), head, sizeof head)) < 0 && errno == EINTR) {
  }
  if (got < 0) return false;
  const std::string_view text(head, static_cast<std::size_t>(got));
  if (text.starts_with("\x7f" "ELF")) return false;
  return text.substr(0, text.find('\n')).find('\0') == std::string_view::npos;
}

// Moves `fd` above 0-2 so that setting up stdio in the child cannot clobber it.
bool AboveStdio(UniqueFd& fd) {
  if (fd.get() > 2) return true;
  const int moved = fcntl(fd.get(), F_DUPFD_CLOEXEC, 3);
  if (moved < 0) return false;
  fd.reset(moved);
  return true;
}

unsigned DescriptorLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > (1U << 20)) {
    return 1U << 20;
  }
  return static_cast<unsigned>(limit.rlim_cur);
}

// Reads the child's report; end of file without one means the exec succeeded.
DetachedSpawn::Outcome ReadReport(int fd) {
  ChildReport report{};
  std::size_t got = 0;
  while (got < sizeof report) {
    const ssize_t n = read(fd, reinterpret_cast<char*>(&report) + got, sizeof report - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  if (got == 0) return {};
  if (got < sizeof report) return {Step::kSetup, EIO};
  return {report.step, report.error};
}
}  // namespace

DetachedSpawn::Outcome DetachedSpawn::Start(const Request& request) {
  std::vector<char*> argv;
  argv.reserve(request.argv.size() + 1);
  for (const std::string& arg : request.argv) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> shell_argv{const_cast<char*>(kShell), const_cast<char*>(request.path.c_str())};
  shell_argv.insert(shell_argv.end(), argv.begin() + (request.argv.empty() ? 0 : 1), argv.end());
  // Read here: after the fork only async-signal-safe calls may run.
  const bool script = IsShellScript(request.path, request.directory);

  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return {Step::kSetup, errno};
  UniqueFd read_end(ends[0]);
  UniqueFd write_end(ends[1]);
  UniqueFd null_fd(open("/dev/null", O_RDWR | O_CLOEXEC));
  if (!null_fd || !AboveStdio(null_fd) || !AboveStdio(write_end)) return {Step::kSetup, errno};

  const Prepared prepared{request.path.c_str(),
                          argv.data(),
                          script ? shell_argv.data() : nullptr,
                          environ,
                          request.directory ? request.directory->c_str() : nullptr,
                          null_fd.get(),
                          write_end.get(),
                          DescriptorLimit()};
  pid_t pid = -1;
  int fork_error = 0;
  {
    SignalBlock block;
    pid = fork();
    if (pid == 0) RunIntermediate(prepared);
    fork_error = errno;
  }
  if (pid < 0) return {Step::kFork, fork_error};
  write_end.reset();
  // ECHILD is fine: a host that ignores SIGCHLD or reaps in a handler got it first.
  while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
  }
  return ReadReport(read_end.get());
}

}  // namespace vesk::platform::linux_backend
