#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "host/IPlugIn.h"

namespace vesk {
class Failure;
}

namespace vesk::host_app {

// One object of the library, as the host holds it, and the printing of what
// its calls give: the reply on `out`, or "error <number> (<source>):
// <description>" on `err`. Each reply or error takes exactly one line.
// The outputs are plain functions, so that the host program needs no
// iostreams (whose start-up costs every run).
class HostSession {
 public:
  // Writes a whole line, its line feed included, and flushes it.
  using Writer = std::function<void(std::string_view line)>;
  // Reads the next line without its line feed; false at the end of the input.
  using LineReader = std::function<bool(std::string& line)>;

  HostSession(std::unique_ptr<IPlugIn> object, Writer out, Writer err);

  // Sends one request; returns false when the call failed.
  bool Send(const std::string& request);

  // Sends one request of a single call: as Send, but an empty reply (no
  // plug-in or method answered) is a failure, reported on `err`.
  bool SendSingle(const std::string& request);

  // Sends every line of `next` to the same object; returns false if any
  // failed. Blank lines and lines starting with '#' are skipped. A line
  // starting with '@' is a host command: it goes to the command handler, if
  // one is set, prints nothing unless it fails, and is no request.
  bool RunBatch(const LineReader& next);

  // Runs one host command line; throws Failure when it cannot.
  using CommandHandler = std::function<void(const std::string& line)>;
  void SetCommandHandler(CommandHandler handler) { commands_ = std::move(handler); }

  // Put before every error line (the program's name in single calls).
  void SetErrorPrefix(std::string prefix) { error_prefix_ = std::move(prefix); }

 private:
  bool Report(const Failure& failure);

  std::unique_ptr<IPlugIn> object_;
  CommandHandler commands_;
  Writer out_;
  Writer err_;
  std::string error_prefix_;
};

// `text` on one line: line feeds become "&#10;" (the same text to an XML
// reader) and other line breaks in error texts become blanks.
std::string OneLine(const std::string& text);

// The error line of `failure`: "error <number> (<source>): <description>",
// its line breaks made blanks, without a line feed.
std::string ErrorLine(const Failure& failure);

}  // namespace vesk::host_app
