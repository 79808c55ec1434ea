#pragma once

// The shared body of the settings panels' fuzz targets. The input is a
// session: one line per step, sent to the same panel on a fresh simulated
// platform. A line starting with '@' drives the panel's surface (@click NAME,
// @choose PATH, @cancel, @fail); any other line is a request envelope.
// Properties: only vesk::Failure leaves MethodCall, always with a number, a
// source and a description; and after a SetSettings that succeeded, a
// GetSettings gives back exactly the record's values for the panel's boxes.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>
#include <typeinfo>
#include <vector>

#include "host/Failure.h"
#include "host/XmlElement.h"
#include "platform/sim/SimPlatform.h"

namespace vesk::fuzz {

[[noreturn]] inline void Finding(const char* target, const std::string& what) {
  std::fprintf(stderr, "%s: %s\n", target, what.c_str());
  std::abort();
}

// The request's record values at positions 0 .. box_count-1, as the panel
// reads them; the request is one the panel accepted.
inline std::vector<std::string> RecordOf(const char* target, const std::string& request, int box_count) {
  std::vector<std::string> values;
  try {
    const XmlElement parsed = XmlElement().LoadXml(request);
    const XmlElement settings = parsed.GetElement("params", 0).GetElement("sett", 0);
    for (int i = 0; i < box_count; ++i) values.push_back(settings.GetElementText("s", i));
  } catch (const Failure& failure) {
    Finding(target, "the panel took a record that cannot be read back: " + failure.description());
  }
  return values;
}

// MethodCall with the failure contract checked; false when it failed.
template <class Panel>
bool Call(const char* target, Panel& panel, const std::string& request, std::string& reply) {
  try {
    reply = panel.MethodCall(request);
    return true;
  } catch (const Failure& failure) {
    if (failure.number() <= 0 || failure.source().empty() || failure.description().empty()) {
      Finding(target, "a failure without number, source or description");
    }
  } catch (const std::exception& other) {
    Finding(target, std::string(typeid(other).name()) + " escaped: " + other.what());
  } catch (...) {
    Finding(target, "something that is not an exception escaped");
  }
  return false;
}

inline void Command(platform::sim::SimPlatform& sim, std::string_view line) {
  const auto argument = [&](std::string_view name) { return std::string(line.substr(name.size())); };
  try {
    if (line.starts_with("@click ")) {
      if (!sim.ui.panels().empty()) sim.ui.panels().back()->Click(argument("@click "));
    } else if (line.starts_with("@choose ")) {
      sim.ui.script().Choose(argument("@choose "));
    } else if (line == "@cancel") {
      sim.ui.script().Cancel();
    } else if (line == "@fail") {
      sim.ui.script().FailToDisplay();
    }
  } catch (const Failure&) {
    // Clicking what is not a button is refused; the session goes on.
  }
}

// Runs one fuzz input against a new `Panel` with `box_count` record boxes.
template <class Panel>
int RunPanelSession(const char* target, const std::uint8_t* data, std::size_t size, int box_count) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  platform::sim::InstalledSimPlatform sim;  // fresh per input: no state carries over
  Panel panel;
  const std::string get = "<r><plugin>x</plugin><method>GetSettings</method><params/></r>";
  std::size_t start = 0;
  while (start <= input.size()) {
    std::size_t end = input.find('\n', start);
    if (end == std::string_view::npos) end = input.size();
    const std::string line(input.substr(start, end - start));
    start = end + 1;
    if (line.starts_with("@")) {
      Command(sim, line);
      continue;
    }
    std::string reply;
    if (!Call(target, panel, line, reply)) continue;
    if (XmlElement().LoadXml(line).GetElementText("method", 0) != "SetSettings") continue;
    const std::vector<std::string> expected = RecordOf(target, line, box_count);
    if (!Call(target, panel, get, reply)) Finding(target, "GetSettings failed after a SetSettings");
    const XmlElement settings = XmlElement().LoadXml(reply).GetElement("sett", 0);
    for (int i = 0; i < box_count; ++i) {
      if (settings.GetElementText("s", i) != expected[static_cast<std::size_t>(i)]) {
        Finding(target, "GetSettings does not give back box " + std::to_string(i) + " as set");
      }
    }
  }
  return 0;
}

}  // namespace vesk::fuzz
