#include "actions/StartProgram.h"

#include <optional>

#include "actions/frmMain.h"
#include "host/ErrorNumbers.h"
#include "host/Failure.h"
#include "platform/IShell.h"
#include "platform/Platform.h"

namespace vesk {
namespace {

constexpr ActionTexts kTexts{
    "Start program plug-in",
    "Start program plug-in by Quorvel.",
    "No help available",
    "This plug-in doesn't have settings",
    "Start program with arguments",
    "Starting programs/files",
    "starts a program with the specified arguments in the specified folder",
    "ctlStartProgram",
};

// An empty text means the value is absent; other texts pass unchanged.
std::optional<std::string> AbsentIfEmpty(std::string text) {
  if (text.empty()) return std::nullopt;
  return text;
}

int FailureNumber(platform::StartOutcome::Result result) {
  switch (result) {
    case platform::StartOutcome::Result::kFileNotFound:
      return errors::kFileNotFound;
    case platform::StartOutcome::Result::kPathNotFound:
      return errors::kPathNotFound;
    default:
      return errors::kAccessRefused;
  }
}

}  // namespace

StartProgram::StartProgram() : ActionProtocol(kTexts) {}

void StartProgram::ExecuteAction(const XmlElement& params, XmlElement& result) {
  const XmlElement settings = params.GetElement("sett", 0);
  const std::string program = settings.GetElementText("s", 0);
  const std::optional<std::string> arguments = AbsentIfEmpty(settings.GetElementText("s", 1));
  const std::optional<std::string> folder = AbsentIfEmpty(settings.GetElementText("s", 2));

  const platform::WindowHandle owner = frmMain::hWnd();
  const platform::StartOutcome outcome = platform::Current().shell->StartFile(
      owner, std::nullopt, program, arguments, folder, platform::kShowNormal);
  if (outcome.result != platform::StartOutcome::Result::kStarted) {
    throw Failure(FailureNumber(outcome.result), "StartProgram",
                  "Cannot start \"" + program + "\": " + outcome.reason);
  }
  result.AddElement("success", "");
}

}  // namespace vesk
