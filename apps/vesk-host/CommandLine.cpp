#include "vesk-host/CommandLine.h"

#include <string_view>

#include "vesk-host/SurvivorWatch.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/win32/Utf16.h"
#else
#include "platform/linux/posix/ProgramSearch.h"
#endif

namespace vesk::host_app {
namespace {

bool IsOption(const std::string& arg) { return arg.size() > 1 && arg[0] == '-'; }

[[noreturn]] void Fail(const std::string& message) { throw UsageError(message); }

[[noreturn]] void UnknownOption(const std::string& arg) { Fail("unrecognized option '" + arg + "'"); }

// The value of option `name` at args[i]: "--name=VALUE" or "--name VALUE"
// (then i moves past it). Nothing when args[i] is not that option.
std::optional<std::string> OptionValue(const std::vector<std::string>& args, std::size_t& i, const std::string& name,
                                       const std::string& value_name) {
  const std::string& arg = args[i];
  if (arg.size() > name.size() && arg.compare(0, name.size(), name) == 0 && arg[name.size()] == '=') {
    return arg.substr(name.size() + 1);
  }
  if (arg != name) return std::nullopt;
  if (i + 1 >= args.size()) Fail(name + " needs " + value_name);
  return args[++i];
}

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// end's options and its one operand, from args[i].
void ParseEnd(const std::vector<std::string>& args, std::size_t i, CommandLine& line) {
  bool options = true;
  bool have_operand = false;
  for (; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options && IsOption(arg)) {
      if (arg == "--") {
        options = false;
      } else if (arg == "--list") {
        line.list = true;
      } else if (arg == "-q" || arg == "--quiet") {
        line.quiet = true;
      } else if (arg == "--help" || arg == "-h") {
        line.mode = CommandLine::Mode::kHelp;
        return;
      } else if (const auto seconds = OptionValue(args, i, "--wait", "a number of SECONDS")) {
        line.wait_seconds = *seconds;
        line.wait = SurvivorWatch::ParseLimit(*seconds);
        if (!line.wait) Fail("--wait needs a number of seconds from 0 to 86400, not '" + *seconds + "'");
      } else {
        UnknownOption(arg);
      }
      continue;
    }
    if (have_operand) Fail("end takes one EXECUTABLE; extra operand '" + arg + "'");
    line.executable = arg;
    have_operand = true;
  }
  if (!have_operand) Fail("end needs an EXECUTABLE");
  if (line.executable.empty()) Fail("end needs an EXECUTABLE, not an empty argument");
  if (line.list && line.wait) Fail("--list changes nothing; it cannot be combined with --wait");
}

}  // namespace

CommandLine CommandLine::Parse(const std::vector<std::string>& args) {
  CommandLine line;
  bool class_given = false;
  std::size_t i = 0;
  for (; i < args.size() && IsOption(args[i]); ++i) {
    const std::string& arg = args[i];
    if (arg == "--") {
      ++i;
      break;
    }
    if (arg == "--help" || arg == "-h") {
      line.mode = Mode::kHelp;
      return line;
    }
    if (arg == "--version") {
      line.mode = Mode::kVersion;
      return line;
    }
    if (arg == "--com") {
#ifndef _WIN32
      Fail("--com is available on Windows only");
#endif
      line.com = true;
    } else if (const auto name = OptionValue(args, i, "--class", "a class name")) {
      line.class_name = CanonicalClassName(*name);
      class_given = true;
    } else {
      UnknownOption(arg);
    }
  }
  if (i == args.size()) {
    line.mode = Mode::kBatch;
    return line;
  }
  const std::string& word = args[i];
  if (!word.empty() && word[0] == '<') {
    if (i + 1 < args.size()) Fail("a request takes no further argument; extra '" + args[i + 1] + "'");
    line.mode = Mode::kRequest;
    line.request = word;
    return line;
  }
  if (word != "catalogue" && word != "start" && word != "end") {
    Fail("'" + word + "' is neither a command (catalogue, start, end) nor a request (which starts with '<')");
  }
  if (class_given) Fail("--class cannot be used with " + word);
  ++i;
  if (word == "catalogue") {
    if (i < args.size() && (args[i] == "--help" || args[i] == "-h")) {
      line.mode = Mode::kHelp;
    } else if (i < args.size()) {
      Fail("catalogue takes no argument; extra '" + args[i] + "'");
    } else {
      line.mode = Mode::kCatalogue;
    }
    return line;
  }
  if (word == "start") {
    // Only --help and "--" are options here: any other word, "-x" too, is the program.
    if (i < args.size() && (args[i] == "--help" || args[i] == "-h")) {
      line.mode = Mode::kHelp;
      return line;
    }
    if (i < args.size() && args[i] == "--") ++i;
    if (i == args.size()) Fail("start needs a PROGRAM");
    if (args.size() - i > 3) Fail("start takes PROGRAM [ARGUMENTS [FOLDER]]; extra '" + args[i + 3] + "'");
    line.mode = Mode::kStart;
    line.start.assign(args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
    line.start.resize(3);
    return line;
  }
  line.mode = Mode::kEnd;
  ParseEnd(args, i, line);
  return line;
}

std::string CanonicalClassName(const std::string& name) {
  std::string key = Lower(name);
  constexpr std::string_view kProgIdPrefix = "veskprogrammanager.";
  if (key.compare(0, kProgIdPrefix.size(), kProgIdPrefix) == 0) key.erase(0, kProgIdPrefix.size());
  if (key == "plugin") return "plugin";
  if (key == "ctlstartprogram") return "ctlStartProgram";
  if (key == "ctlendprogram") return "ctlEndProgram";
  Fail("unknown class '" + name +
       "'; the classes are plugin, ctlStartProgram and ctlEndProgram (also as VeskProgramManager.PlugIn, "
       "VeskProgramManager.ctlStartProgram, VeskProgramManager.ctlEndProgram)");
}

#ifdef _WIN32

std::optional<std::string> ResolveExecutable(const std::string& typed) {
  const std::wstring wide = platform::win32::Utf16::FromUtf8(typed);
  const bool drive = wide.size() >= 2 && wide[1] == L':';
  const bool bare = !drive && wide.find_first_of(L"\\/") == std::wstring::npos;
  if (bare) {
    // Where the start action's ShellExecute finds it: the folders of the
    // search order and PATH, ".exe" added to a name without an extension.
    std::wstring found(32768, L'\0');
    const DWORD length = SearchPathW(nullptr, wide.c_str(), L".exe", static_cast<DWORD>(found.size()), found.data(), nullptr);
    if (length == 0 || length >= found.size()) return std::nullopt;
    found.resize(length);
    return platform::win32::Utf16::ToUtf8(found);
  }
  const bool absolute = (drive && wide.size() >= 3 && (wide[2] == L'\\' || wide[2] == L'/')) ||
                        (wide.size() >= 2 && (wide[0] == L'\\' || wide[0] == L'/') && (wide[1] == L'\\' || wide[1] == L'/'));
  if (absolute) return typed;
  std::wstring full(32768, L'\0');
  const DWORD length = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (length == 0 || length >= full.size()) return typed;
  full.resize(length);
  return platform::win32::Utf16::ToUtf8(full);
}

#else

std::optional<std::string> ResolveExecutable(const std::string& typed) {
  using platform::linux_backend::ProgramSearch;
  // As the start action looks a bare name up.
  if (typed.find('/') != std::string::npos) return ProgramSearch::Absolute(typed);
  return ProgramSearch::FindOnPath(typed);
}

#endif

}  // namespace vesk::host_app
