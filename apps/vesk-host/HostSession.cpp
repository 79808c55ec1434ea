#include "vesk-host/HostSession.h"

#include <istream>
#include <ostream>
#include <utility>

#include "host/Failure.h"

namespace vesk::host_app {

HostSession::HostSession(std::unique_ptr<IPlugIn> object, std::ostream& out, std::ostream& err)
    : object_(std::move(object)), out_(out), err_(err) {}

bool HostSession::Send(const std::string& request) {
  try {
    const std::string reply = object_->MethodCall(request);
    out_ << OneLine(reply) << '\n' << std::flush;
    return true;
  } catch (const Failure& failure) {
    return Report(failure);
  }
}

bool HostSession::Report(const Failure& failure) {
  std::string description = failure.description();
  for (char& c : description) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  err_ << "error " << failure.number() << " (" << failure.source() << "): " << description << '\n' << std::flush;
  return false;
}

bool HostSession::RunBatch(std::istream& in) {
  bool all_succeeded = true;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (commands_ && !line.empty() && line.front() == '@') {
      try {
        commands_(line);
      } catch (const Failure& failure) {
        all_succeeded = Report(failure);
      }
      continue;
    }
    if (!Send(line)) all_succeeded = false;
  }
  return all_succeeded;
}

std::string OneLine(const std::string& text) {
  std::string result;
  result.reserve(text.size());
  for (char c : text) {
    if (c == '\n') {
      result += "&#10;";
    } else {
      result += c;
    }
  }
  return result;
}

}  // namespace vesk::host_app
