#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <utility>

#include "host/IPlugIn.h"

namespace vesk {
class Failure;
}

namespace vesk::host_app {

// One object of the library, as the host holds it, and the printing of what
// its calls give: the reply on `out`, or "error <number> (<source>):
// <description>" on `err`. Each reply or error takes exactly one line.
class HostSession {
 public:
  HostSession(std::unique_ptr<IPlugIn> object, std::ostream& out, std::ostream& err);

  // Sends one request; returns false when the call failed.
  bool Send(const std::string& request);

  // Sends every line of `in` to the same object; returns false if any failed.
  // A line starting with '@' is a host command: it goes to the command
  // handler, if one is set, prints nothing unless it fails, and is no request.
  bool RunBatch(std::istream& in);

  // Runs one host command line; throws Failure when it cannot.
  using CommandHandler = std::function<void(const std::string& line)>;
  void SetCommandHandler(CommandHandler handler) { commands_ = std::move(handler); }

 private:
  bool Report(const Failure& failure);

  std::unique_ptr<IPlugIn> object_;
  CommandHandler commands_;
  std::ostream& out_;
  std::ostream& err_;
};

// `text` on one line: line feeds become "&#10;" (the same text to an XML
// reader) and other line breaks in error texts become blanks.
std::string OneLine(const std::string& text);

}  // namespace vesk::host_app
