// vesk-host: a command-line host for the library on this machine's platform.
// It writes through stdio only: iostreams' start-up would cost every run.
#include <cerrno>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dispatch/ClassFactory.h"
#include "host/ErrorNumbers.h"
#include "host/Failure.h"
#include "platform/IWindows.h"
#include "platform/Platform.h"
#include "platform/WindowSession.h"
#include "process/modProcessHandler.h"
#include "vesk-host/CommandLine.h"
#include "vesk-host/Envelope.h"
#include "vesk-host/HostConsole.h"
#include "vesk-host/HostSession.h"
#include "vesk-host/PanelCommands.h"
#include "vesk-host/SurvivorWatch.h"
#include "vesk-host/Version.h"
#ifdef _WIN32
#include <io.h>

#include "vesk-host/ComPlugIn.h"
#else
#include <unistd.h>
#endif

namespace {

using vesk::host_app::CommandLine;

constexpr const char* kUsage = R"(usage:
  vesk-host [--class NAME] REQUEST     send one request text (it starts with
                                       '<'), print the reply
  vesk-host [--class NAME]             send each line of standard input as a
                                       request to the same object; one line
                                       out per request (reply or error line);
                                       blank lines and lines starting with #
                                       are skipped
  vesk-host catalogue                  list the library's actions
  vesk-host start PROGRAM [ARGUMENTS [FOLDER]]
                                       run the start action
  vesk-host end [OPTIONS] EXECUTABLE [OPTIONS]
                                       run the end action: ask every running
                                       instance of EXECUTABLE to close its
                                       window; a bare name is looked up on
                                       PATH, a relative path is taken from
                                       the working directory
      --wait SECONDS                   then wait up to SECONDS for those
                                       instances to exit
      --list                           change nothing: print each matching
                                       process (pid and path) and the window
                                       route a call would take
      -q, --quiet                      say nothing when nothing matches
  vesk-host --help                     this text
  vesk-host --version                  the version

"--" ends the options; everything after start PROGRAM is that program's.
NAME is the class to create: plugin (the default), ctlStartProgram or
ctlEndProgram, in any letter case, also as a ProgID (VeskProgramManager.PlugIn,
...). In batch mode a line starting with @ drives the panel:
  @click btnBrowse   click the Browse button of the panel
  @choose PATH       the next file-open dialog confirms PATH
  @cancel            the next file-open dialog is cancelled
  @fail              the next file-open dialog cannot be displayed
A dialog without a scripted answer is cancelled. A command prints nothing
unless it fails.
A failed call prints "error <number> (<source>): <description>" (on standard
error after "vesk-host: " for a single request, in place of the reply in batch
mode); the exit status is 1 if any call failed, 2 for a usage error, 3 when
instances are still running after end --wait (each named on standard error:
pid and path).
)"
#ifdef _WIN32
    R"(
With --com (before or after --class) the object is created through COM by
its ProgID (VeskProgramManager.PlugIn, VeskProgramManager.ctlStartProgram or
VeskProgramManager.ctlEndProgram) from the registered VeskProgramManager.dll,
as a host creates it, instead of the library linked into vesk-host. Its
message boxes and file-open dialogs are then the server's own, on screen,
and @ lines fail.
)"
#endif
    ;

void Write(std::FILE* stream, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

void Out(std::string_view text) { Write(stdout, text); }
void Err(std::string_view text) { Write(stderr, text); }

int UsageError(const std::string& message) {
  Err("vesk-host: " + message + "\nTry 'vesk-host --help'.\n");
  return 2;
}

bool StandardInputIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stdin)) != 0;
#else
  return isatty(STDIN_FILENO) != 0;
#endif
}

// Lines of standard input, read in large blocks (a request may be megabytes).
// Read with read(2) rather than stdio, so that nothing waits for a full block.
class InputLines {
 public:
  bool Next(std::string& line) {
    line.clear();
    for (;;) {
      if (position_ == buffer_.size()) {
        if (end_) return !line.empty();
        buffer_.resize(1 << 16);
        // What has arrived so far, not a whole block: a batch fed line by line
        // gets each reply before it writes the next line.
#ifdef _WIN32
        const int count = _read(0, buffer_.data(), static_cast<unsigned>(buffer_.size()));
#else
        ssize_t count = 0;
        do {
          count = read(STDIN_FILENO, buffer_.data(), buffer_.size());
        } while (count < 0 && errno == EINTR);
#endif
        buffer_.resize(count > 0 ? static_cast<std::size_t>(count) : 0);
        position_ = 0;
        if (count <= 0) {
          end_ = true;
          return !line.empty();
        }
      }
      const std::size_t feed = buffer_.find('\n', position_);
      if (feed != std::string::npos) {
        line.append(buffer_, position_, feed - position_);
        position_ = feed + 1;
        return true;
      }
      line.append(buffer_, position_, std::string::npos);
      position_ = buffer_.size();
    }
  }

 private:
  std::string buffer_;
  std::size_t position_ = 0;
  bool end_ = false;
};

// end --list: the matching processes, then the window route a call would take.
int List(const std::string& path) {
  for (const auto& process : vesk::modProcessHandler::FindProcesses(path)) {
    Out(std::to_string(process.id) + " " + process.path + "\n");
  }
  vesk::platform::IWindows& windows = *vesk::platform::Current().windows;
  vesk::platform::WindowRoute route;
  {
    const vesk::platform::WindowSession session(windows);
    windows.FindWindowA(nullptr, nullptr);  // the session chooses its route at its first need
    route = windows.Route();
  }
  if (!route.reached) {
    Out("route: none (" + route.description + ")\n");
  } else {
    Out("route: " + route.description + (route.complete ? "" : " (incomplete)") + "\n");
  }
  return 0;
}

int Run(const CommandLine& line) {
  std::string request;
  std::string executable;
  switch (line.mode) {
    case CommandLine::Mode::kHelp:
      Out(kUsage);
      return 0;
    case CommandLine::Mode::kVersion:
      Out("vesk-host " VESK_HOST_VERSION "\n");
      return 0;
    case CommandLine::Mode::kBatch:
      if (StandardInputIsTerminal()) {
        Err("vesk-host: reading requests from standard input, one per line; end with Ctrl-D (--help for more)\n");
      }
      break;
    case CommandLine::Mode::kRequest:
      request = line.request;
      break;
    case CommandLine::Mode::kCatalogue:
      request = vesk::host_app::BuildEnvelope("PlugInInfo", "GetPlugIns", {});
      break;
    case CommandLine::Mode::kStart:
      request = vesk::host_app::BuildEnvelope("StartProgram", "Execute", line.start);
      break;
    case CommandLine::Mode::kEnd: {
      const std::optional<std::string> resolved = vesk::host_app::ResolveExecutable(line.executable);
      if (!resolved) {
        Err("vesk-host: " + line.executable + ": no such program on PATH\n");
        return 1;
      }
      executable = *resolved;
      if (line.list) return List(executable);
      request = vesk::host_app::BuildEnvelope("EndProgram", "Execute", {executable});
      break;
    }
  }

  const bool batch = line.mode == CommandLine::Mode::kBatch;
  // Created before the object, so that a panel gets the scripted dialogs.
  vesk::host_app::PanelCommands panel_commands;
  std::unique_ptr<vesk::IPlugIn> object;
#ifdef _WIN32
  if (line.com) object = vesk::host_app::ComPlugIn::Create(line.class_name);
#endif
  if (!object) object = vesk::CreateObjectByClassName(line.class_name);
  vesk::host_app::HostSession session(std::move(object), Out, batch ? Out : Err);
  if (batch) {
    session.SetCommandHandler([&](const std::string& command) {
      if (line.com) {
        throw vesk::Failure(vesk::errors::kInvalidArgument, "vesk-host",
                            "Host commands need the linked library, not --com");
      }
      panel_commands.Run(command);
    });
    InputLines input;
    return session.RunBatch([&](std::string& next) { return input.Next(next); }) ? 0 : 1;
  }
  session.SetErrorPrefix("vesk-host: ");
  if (line.mode != CommandLine::Mode::kEnd) return session.SendSingle(request) ? 0 : 1;

  // The instances running now, before the end action asks them to close:
  // the ones --wait waits for, and whether anything matched at all.
  std::optional<std::vector<vesk::modProcessHandler::MatchedProcess>> matched;
  if (line.wait) {
    matched = vesk::modProcessHandler::FindProcesses(executable);
  } else if (!line.quiet) {
    try {
      matched = vesk::modProcessHandler::FindProcesses(executable);
    } catch (const vesk::Failure&) {
      // Only the notice needs it; the end action reports its own failure.
    }
  }
  vesk::host_app::SurvivorWatch watch;
  if (line.wait) {
    for (const auto& process : *matched) watch.Watch(process.id, process.path);
  }
  if (!session.SendSingle(request)) return 1;
  if (!line.quiet && matched && matched->empty()) Err("vesk-host: no running program matches " + executable + "\n");
  if (!line.wait) return 0;
  const auto survivors = watch.WaitForExit(*line.wait);
  for (const auto& process : survivors) {
    Err("vesk-host: still running after " + line.wait_seconds + " s: " + std::to_string(process.id) + " " +
        process.path + "\n");
  }
  return survivors.empty() ? 0 : 3;
}

}  // namespace

int main(int argc, char** argv) {
  const vesk::host_app::HostConsole console;
  CommandLine line;
  try {
    line = CommandLine::Parse(console.Arguments(argc, argv));
  } catch (const vesk::host_app::UsageError& error) {
    return UsageError(error.what());
  } catch (const vesk::Failure& failure) {
    return UsageError(failure.description());
  }
  try {
    return Run(line);
  } catch (const vesk::Failure& failure) {
    Err("vesk-host: " + vesk::host_app::ErrorLine(failure) + "\n");
    return 1;
  }
}
