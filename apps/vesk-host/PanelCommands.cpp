#include "vesk-host/PanelCommands.h"

#include "host/ErrorNumbers.h"
#include "host/Failure.h"

namespace vesk::host_app {
namespace {

platform::Platform WithUi(platform::Platform platform, platform::IPanelUiFactory& ui, platform::IMessageBox& box) {
  platform.ui = &ui;
  platform.message_box = &box;
  return platform;
}

// The argument of `line` when it is `command` followed by one blank, or
// `command` alone (then an empty argument); false otherwise.
bool Parse(const std::string& line, const std::string& command, std::string& argument) {
  if (line == command) {
    argument.clear();
    return true;
  }
  if (line.size() > command.size() && line.compare(0, command.size(), command) == 0 && line[command.size()] == ' ') {
    argument = line.substr(command.size() + 1);
    return true;
  }
  return false;
}

[[noreturn]] void Fail(const std::string& description) {
  throw Failure(errors::kInvalidArgument, "vesk-host", description);
}

}  // namespace

PanelCommands::PanelCommands() : platform_(WithUi(platform::RealPlatform(), ui_, message_box_)), scope_(platform_) {}

void PanelCommands::Run(const std::string& line) {
  std::string argument;
  if (Parse(line, "@choose", argument)) {
    if (argument.empty()) Fail("@choose needs a path");
    ui_.script().Choose(argument);
  } else if (line == "@cancel") {
    ui_.script().Cancel();
  } else if (line == "@fail") {
    ui_.script().FailToDisplay();
  } else if (Parse(line, "@click", argument)) {
    if (ui_.panels().empty()) Fail("There is no panel to click");
    ui_.panels().back()->Click(argument);
  } else {
    Fail("Unknown host command: " + line);
  }
}

}  // namespace vesk::host_app
