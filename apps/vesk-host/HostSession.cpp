#include "vesk-host/HostSession.h"

#include <utility>

#include "host/Failure.h"

namespace vesk::host_app {

HostSession::HostSession(std::unique_ptr<IPlugIn> object, Writer out, Writer err)
    : object_(std::move(object)), out_(std::move(out)), err_(std::move(err)) {}

bool HostSession::Send(const std::string& request) {
  try {
    const std::string reply = object_->MethodCall(request);
    out_(OneLine(reply) + '\n');
    return true;
  } catch (const Failure& failure) {
    return Report(failure);
  }
}

bool HostSession::SendSingle(const std::string& request) {
  try {
    const std::string reply = object_->MethodCall(request);
    if (reply.empty()) {
      err_(error_prefix_ + "empty reply: no plug-in or method of this object answers the request\n");
      return false;
    }
    out_(OneLine(reply) + '\n');
    return true;
  } catch (const Failure& failure) {
    return Report(failure);
  }
}

bool HostSession::Report(const Failure& failure) {
  err_(error_prefix_ + ErrorLine(failure) + '\n');
  return false;
}

bool HostSession::RunBatch(const LineReader& next) {
  bool all_succeeded = true;
  std::string line;
  while (next(line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") == std::string::npos || line.front() == '#') continue;
    if (commands_ && line.front() == '@') {
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

std::string ErrorLine(const Failure& failure) {
  std::string description = failure.description();
  for (char& c : description) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return "error " + std::to_string(failure.number()) + " (" + failure.source() + "): " + description;
}

}  // namespace vesk::host_app
