#pragma once

#include <string>
#include <vector>

#include "platform/linux/posix/Result.h"
#include "platform/linux/wayland/CompositorView.h"

namespace vesk::platform::linux_backend {

// The KWin scripts (JavaScript, for the scripting API of Plasma 5.27) that
// list the windows and ask one to close, and the reading of their answers.
// A script hands its answer back as one D-Bus call to `reply_to` (our bus
// name, object path, interface and method) with two strings: `token`, so
// that an answer is matched to its script, and JSON text.
class KWinScript {
 public:
  struct ReplyTo {
    std::string service;
    std::string path;
    std::string interface;
    std::string method;
  };

  // Answers {"views":[{"id","pid","owned","visible","x11"}]} from the top
  // of the stacking order down, or {"error":text}.
  static std::string Listing(const ReplyTo& reply_to, const std::string& token);
  // Answers {"closed":bool}, or {"error":text}.
  static std::string Close(const ReplyTo& reply_to, const std::string& token, const std::string& view_id);

  // Read an answer: the views, or whether the window was closed. A failure
  // (worded to follow the route's name) when it is not one that the script
  // could have given, or the script reported an error.
  static Result<std::vector<CompositorView>> ReadViews(const std::string& answer);
  static Result<bool> ReadClosed(const std::string& answer);
};

}  // namespace vesk::platform::linux_backend
