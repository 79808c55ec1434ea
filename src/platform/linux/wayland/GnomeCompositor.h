#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/linux/posix/Result.h"
#include "platform/linux/posix/WaitBudget.h"
#include "platform/linux/wayland/ICompositor.h"
#include "platform/linux/wayland/SessionBus.h"

namespace vesk::platform::linux_backend {

// GNOME Shell through its window-closer@vesk-host extension, which owns
// org.vesk.WindowCloser1 on the session D-Bus: ListWindows() gives the
// normal windows topmost first as (id, pid, transient parent id, is X11,
// minimized, hidden); CloseWindow(id, expected pid) asks a Wayland window to
// close. One bus connection per session; every wait is charged to the
// caller's budget. Problems after connecting follow the route's Name();
// those of Connect follow the caller's mention of GNOME Shell.
class GnomeCompositor : public ICompositor {
 public:
  // Fails when libsystemd cannot be loaded, there is no session bus, it does
  // not answer in time, or no program owns the extension's name: then, in a
  // GNOME session (XDG_CURRENT_DESKTOP names it, or org.gnome.Shell has an
  // owner), the problem says how to enable the extension.
  static Result<std::unique_ptr<ICompositor>> Connect(WaitBudget& budget);

  std::string Name() const override;
  bool ListViews(std::vector<CompositorView>& views) override;
  bool RequestClose(const CompositorView& view) override;
  const std::string& problem() const override { return problem_; }

 private:
  explicit GnomeCompositor(SessionBus bus) : bus_(std::move(bus)) {}
  // A method call to the extension's object; null (problem_ set) when it cannot be made.
  UniqueSdBusMessage NewCall(const char* method);

  SessionBus bus_;
  std::string problem_;
};

}  // namespace vesk::platform::linux_backend
