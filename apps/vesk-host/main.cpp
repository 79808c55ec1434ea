// vesk-host: a command-line host for the library on this machine's platform.
#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "dispatch/ClassFactory.h"
#include "host/ErrorNumbers.h"
#include "host/Failure.h"
#include "process/modProcessHandler.h"
#include "vesk-host/Envelope.h"
#include "vesk-host/HostConsole.h"
#include "vesk-host/HostSession.h"
#include "vesk-host/PanelCommands.h"
#include "vesk-host/SurvivorWatch.h"
#include "vesk-host/Version.h"
#ifdef _WIN32
#include "vesk-host/ComPlugIn.h"
#endif

namespace {

constexpr const char* kUsage = R"(usage:
  vesk-host [--class NAME] REQUEST     send one request text, print the reply
  vesk-host [--class NAME]             send each line of standard input as a
                                       request to the same object; one line
                                       out per request (reply or error line)
  vesk-host catalogue                  list the library's actions
  vesk-host start PROGRAM [ARGUMENTS [FOLDER]]
                                       run the start action
  vesk-host end [--wait SECONDS] EXECUTABLE
                                       run the end action: ask every running
                                       instance of EXECUTABLE (its full path)
                                       to close its window; with --wait, wait
                                       up to SECONDS for those instances to
                                       exit
  vesk-host --help                     this text
  vesk-host --version                  the version

NAME is the class to create: plugin (the default), ctlStartProgram or
ctlEndProgram. In batch mode a line starting with @ drives the panel:
  @click btnBrowse   click the Browse button of the panel
  @choose PATH       the next file-open dialog confirms PATH
  @cancel            the next file-open dialog is cancelled
  @fail              the next file-open dialog cannot be displayed
A dialog without a scripted answer is cancelled. A command prints nothing
unless it fails.
A failed call prints "error <number> (<source>): <description>" (on standard
error for a single request, in place of the reply in batch mode); the exit
status is 1 if any call failed, 2 for a usage error, 3 when instances are
still running after end --wait (each named on standard error: pid and path).
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

int UsageError(const std::string& message) {
  std::cerr << "vesk-host: " << message << "\n" << kUsage;
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const vesk::host_app::HostConsole console;
  std::vector<std::string> args;
  try {
    args = console.Arguments(argc, argv);
  } catch (const vesk::Failure& failure) {
    return UsageError(failure.description());
  }
  std::string class_name = "plugin";
  if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
    std::cout << kUsage;
    return 0;
  }
  if (args.size() == 1 && args[0] == "--version") {
    std::cout << "vesk-host " VESK_HOST_VERSION "\n";
    return 0;
  }
  bool com = false;
  for (bool option = true; option && !args.empty();) {
    if (args[0] == "--class") {
      if (args.size() < 2) return UsageError("--class needs a class name");
      class_name = args[1];
      args.erase(args.begin(), args.begin() + 2);
    } else if (args[0] == "--com") {
#ifndef _WIN32
      return UsageError("--com is available on Windows only");
#endif
      com = true;
      args.erase(args.begin());
    } else {
      option = false;
    }
  }

  // end --wait SECONDS EXECUTABLE: the end action, then the wait.
  std::optional<std::chrono::milliseconds> wait_limit;
  std::string wait_seconds;
  if (args.size() >= 2 && args[0] == "end" && args[1] == "--wait") {
    if (args.size() != 4) return UsageError("end --wait needs SECONDS and EXECUTABLE");
    wait_seconds = args[2];
    wait_limit = vesk::host_app::SurvivorWatch::ParseLimit(wait_seconds);
    if (!wait_limit) return UsageError("--wait needs a number of seconds from 0 to 86400, not \"" + args[2] + "\"");
    args.erase(args.begin() + 1, args.begin() + 3);
  }

  enum class Mode { kBatch, kCatalogue, kStart, kEnd, kRequest } mode;
  if (args.empty()) {
    mode = Mode::kBatch;
  } else if (args[0] == "catalogue" && args.size() == 1) {
    mode = Mode::kCatalogue;
  } else if (args[0] == "start" && args.size() >= 2 && args.size() <= 4) {
    mode = Mode::kStart;
  } else if (args[0] == "end" && args.size() == 2) {
    mode = Mode::kEnd;
  } else if (args.size() == 1) {
    mode = Mode::kRequest;
  } else {
    return UsageError("unexpected arguments");
  }

  try {
    std::string request;
    if (mode == Mode::kCatalogue) request = vesk::host_app::BuildEnvelope("PlugInInfo", "GetPlugIns", {});
    if (mode == Mode::kStart) {
      args.resize(4);
      request = vesk::host_app::BuildEnvelope("StartProgram", "Execute", {args[1], args[2], args[3]});
    }
    if (mode == Mode::kEnd) request = vesk::host_app::BuildEnvelope("EndProgram", "Execute", {args[1]});
    if (mode == Mode::kRequest) request = args[0];
    const bool batch = mode == Mode::kBatch;
    // Created before the object, so that a panel gets the scripted dialogs.
    vesk::host_app::PanelCommands panel_commands;
    std::unique_ptr<vesk::IPlugIn> object;
#ifdef _WIN32
    if (com) object = vesk::host_app::ComPlugIn::Create(class_name);
#endif
    if (!object) object = vesk::CreateObjectByClassName(class_name);
    vesk::host_app::HostSession session(std::move(object), std::cout, batch ? std::cout : std::cerr);
    session.SetCommandHandler([&](const std::string& line) {
      if (com) {
        throw vesk::Failure(vesk::errors::kInvalidArgument, "vesk-host",
                            "Host commands need the linked library, not --com");
      }
      panel_commands.Run(line);
    });
    // The instances running now, before the end action asks them to close.
    vesk::host_app::SurvivorWatch watch;
    if (wait_limit) {
      for (const auto& process : vesk::modProcessHandler::FindProcesses(args[1])) watch.Watch(process.id, process.path);
    }
    const bool ok = batch ? session.RunBatch(std::cin) : session.Send(request);
    if (!ok) return 1;
    if (!wait_limit) return 0;
    const auto survivors = watch.WaitForExit(*wait_limit);
    for (const auto& process : survivors) {
      std::cerr << "vesk-host: still running after " << wait_seconds << " s: " << process.id << " " << process.path << "\n";
    }
    return survivors.empty() ? 0 : 3;
  } catch (const vesk::Failure& failure) {
    std::cerr << "error " << failure.number() << " (" << failure.source() << "): " << failure.description() << "\n";
    return 1;
  }
}
