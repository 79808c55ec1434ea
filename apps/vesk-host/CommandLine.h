#pragma once

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace vesk::host_app {

// A command line the host cannot run: the message of its one usage line.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What the host program's arguments ask for. GNU conventions: the program's
// own options come before the command word, end's options right after `end`
// or after its operand, "--" ends the options, and everything after
// `start PROGRAM` belongs to the program.
struct CommandLine {
  enum class Mode { kHelp, kVersion, kBatch, kRequest, kCatalogue, kStart, kEnd };
  Mode mode = Mode::kBatch;
  std::string class_name = "plugin";  // one of the library's class names
  bool com = false;
  std::string request;              // kRequest
  std::vector<std::string> start;   // kStart: PROGRAM, ARGUMENTS, FOLDER (missing ones empty)
  std::string executable;           // kEnd: the operand as typed
  std::optional<std::chrono::milliseconds> wait;
  std::string wait_seconds;         // as typed
  bool list = false;
  bool quiet = false;

  // Throws UsageError.
  static CommandLine Parse(const std::vector<std::string>& args);
};

// The library's class name for `name`: plugin, ctlStartProgram or
// ctlEndProgram, or a ProgID form (PlugIn, VeskProgramManager.PlugIn, ...),
// in any letter case; throws UsageError naming the valid ones.
std::string CanonicalClassName(const std::string& name);

// The executable an end command means: a bare name looked up on PATH as the
// start action does, a relative path made absolute against the working
// directory, an absolute path unchanged. Nothing when a bare name is found
// nowhere.
std::optional<std::string> ResolveExecutable(const std::string& typed);

}  // namespace vesk::host_app
