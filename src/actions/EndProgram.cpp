#include "actions/EndProgram.h"

#include <utility>

#include "process/modCloseWindow.h"
#include "process/modProcessHandler.h"

namespace vesk {
namespace {

constexpr ActionTexts kTexts{
    "End program plug-in",
    "End program plug-in by Quorvel.",
    "Ends the specified program if it is running.",
    "This plug-in doesn't have settings",
    "End program",
    "Starting programs/files",
    "Ends a program",
    "ctlEndProgram",
};

}  // namespace

EndProgram::EndProgram() : ActionProtocol(kTexts) {}

void EndProgram::ExecuteAction(const XmlElement& params, XmlElement& result) {
  const XmlElement settings = params.GetElement("sett", 0);
  std::string path = settings.GetElementText("s", 0);
  const WindowList windows = modProcessHandler::FindProcessWindows(std::move(path));
  modCloseWindow::CloseWindows(windows);
  result.AddElement("success", "");
}

}  // namespace vesk
