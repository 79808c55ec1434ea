#pragma once

#include <memory>
#include <sstream>
#include <string>
#include <string_view>

#include "vesk-host/HostSession.h"

namespace vesk::host_app {

// A session output that appends to `text`.
inline HostSession::Writer AppendTo(std::string& text) {
  return [&text](std::string_view line) { text += line; };
}

// A session input that gives the lines of `text`.
inline HostSession::LineReader LinesOf(const std::string& text) {
  auto in = std::make_shared<std::istringstream>(text);
  return [in](std::string& line) { return static_cast<bool>(std::getline(*in, line)); };
}

}  // namespace vesk::host_app
