// Drives KWinCompositor for the KWin end-to-end test, in one session:
//   kwin-probe                 connect and list the windows, one a line:
//                              "<id> <pid> owned|unowned visible|hidden", and " x11" for X windows
//   kwin-probe close PID       then ask KWin to close the first unowned window of PID
//   kwin-probe close-id ID     then ask KWin to close the window with that id
// Exit status: 0 done, 1 no route or a failed request (the problem on
// standard error, after the route's name once connected), 2 bad arguments.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "platform/linux/wayland/KWinCompositor.h"

using vesk::platform::linux_backend::CompositorView;
using vesk::platform::linux_backend::KWinCompositor;
using vesk::platform::linux_backend::WaitBudget;

int main(int argc, char** argv) {
  const std::string action = argc >= 3 ? argv[1] : "";
  if (argc != 1 && !(argc == 3 && (action == "close" || action == "close-id"))) return 2;
  WaitBudget budget;
  auto connected = KWinCompositor::Connect(budget);
  if (!connected) {
    std::fprintf(stderr, "no route: %s\n", connected.problem().c_str());
    return 1;
  }
  const auto kwin = std::move(*connected);
  std::vector<CompositorView> views;
  if (!kwin->ListViews(views)) {
    std::fprintf(stderr, "list failed: %s %s\n", kwin->Name().c_str(), kwin->problem().c_str());
    return 1;
  }
  for (const CompositorView& view : views)
    std::printf("%s %u %s %s%s\n", view.id.c_str(), view.process_id, view.owned ? "owned" : "unowned",
                view.visible ? "visible" : "hidden", view.xwayland ? " x11" : "");
  if (argc == 1) return 0;
  CompositorView target;
  target.id = argv[2];
  if (action == "close") {
    target.id.clear();
    for (const CompositorView& view : views)
      if (!view.owned && std::to_string(view.process_id) == argv[2]) {
        target = view;
        break;
      }
    if (target.id.empty()) {
      std::fprintf(stderr, "no window of process %s\n", argv[2]);
      return 1;
    }
  }
  if (!kwin->RequestClose(target)) {
    std::fprintf(stderr, "close failed: %s %s\n", kwin->Name().c_str(), kwin->problem().c_str());
    return 1;
  }
  std::printf("closed %s\n", target.id.c_str());
  return 0;
}
