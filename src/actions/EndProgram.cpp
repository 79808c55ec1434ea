#include "actions/EndProgram.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "host/ErrorNumbers.h"
#include "host/Failure.h"
#include "platform/IWindows.h"
#include "platform/Platform.h"
#include "platform/WindowSession.h"
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
  const std::string path = settings.GetElementText("s", 0);
  platform::IWindows& desktop = *platform::Current().windows;
  // The scan and the close requests share one window session: one
  // connection to the window system, and one deadline for all its replies.
  const platform::WindowSession session(desktop);
  const WindowList windows = modProcessHandler::FindProcessWindows(path);
  const platform::WindowRoute before = desktop.Route();
  modCloseWindow::CloseWindows(windows);
  // Programs were found but no window system was there to ask them: that
  // is a failure, not a success that did nothing.
  const std::size_t matches = windows.size() - 1;
  if (matches > 0) {
    const platform::WindowRoute route = desktop.Route();
    if (!route.reached) {
      throw Failure(errors::kAccessRefused, "EndProgram",
                    std::to_string(matches) + (matches == 1 ? " running program matches" : " running programs match") +
                        ", but none could be asked to close: " + route.description);
    }
    // A route that sees only part of the desktop (Xwayland under a
    // compositor that offers none) may have missed the window of a program
    // it found none for: that is not a success either.
    const std::size_t unreached = static_cast<std::size_t>(std::count(windows.begin(), windows.end() - 1, 0));
    if (!route.complete && unreached > 0) {
      throw Failure(errors::kAccessRefused, "EndProgram",
                    (matches == 1 ? std::string("1 running program matches, but it has")
                                  : std::to_string(matches) + " running programs match, " +
                                        std::to_string(unreached) + " of them with") +
                        " no window that could be asked to close: " + route.description);
    }
    // A window that takes no close request was not asked (only a kill would
    // end its program): reported once every other request has been made.
    const std::uint64_t not_taken = route.close_requests_not_taken - before.close_requests_not_taken;
    if (not_taken > 0) {
      throw Failure(errors::kAccessRefused, "EndProgram",
                    (matches == 1 ? std::string("1 running program matches, but it")
                                  : std::to_string(matches) + " running programs match, but " +
                                        std::to_string(not_taken) + " of them") +
                        " could not be asked to close: " + (not_taken == 1 ? "its window takes" : "their windows take") +
                        " no close request (WM_DELETE_WINDOW), and a program is never ended by force");
    }
    // A window the system does not let us ask (one of higher integrity) is
    // not closed: reported once every other request has been made.
    const std::uint64_t refused = route.refused_close_requests - before.refused_close_requests;
    if (refused > 0) {
      throw Failure(errors::kPermissionDenied, "EndProgram",
                    "Permission denied: " + std::to_string(refused) +
                        (refused == 1 ? " close request to " : " close requests to ") + path +
                        " refused by the system");
    }
  }
  result.AddElement("success", "");
}

}  // namespace vesk
