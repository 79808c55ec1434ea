#include <fstream>
#include <sstream>
#include <string>

#include "vesk-host/ProcessStartTime.h"

namespace vesk::host_app {

// /proc/ID/stat: "ID (COMMAND) STATE ..." with the start time as field 22.
// The command may hold spaces, parentheses and newlines, so the file is read
// whole and the fields are counted from its last ')'.
std::optional<std::uint64_t> ProcessStartTime(std::uint32_t id) {
  std::ifstream file("/proc/" + std::to_string(id) + "/stat");
  if (!file) return std::nullopt;
  std::ostringstream whole;
  whole << file.rdbuf();
  const std::string text = whole.str();
  const auto command_end = text.rfind(')');
  if (command_end == std::string::npos) return std::nullopt;
  std::istringstream fields(text.substr(command_end + 1));
  std::string state;
  fields >> state;  // field 3
  if (!fields || state == "Z" || state == "X") return std::nullopt;
  std::string skipped;
  for (int field = 4; field < 22; ++field) fields >> skipped;
  std::uint64_t start_time = 0;
  fields >> start_time;
  if (!fields) return std::nullopt;
  return start_time;
}

}  // namespace vesk::host_app
