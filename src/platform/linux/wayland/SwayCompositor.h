#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/wayland/ICompositor.h"
#include "platform/linux/posix/Result.h"
#include "platform/linux/posix/WaitBudget.h"
#include "platform/linux/wayland/SwayIpc.h"

namespace vesk::platform::linux_backend {

// sway and compositors that speak its IPC: the views of GET_TREE, each with
// its process, and "[con_id=N] kill", which asks the view to close (a
// close request, not a kill of the process).
//
// Views are the containers of the tree that hold a client (app_id for
// native Wayland, window_properties for Xwayland), taken depth first through
// "nodes", then "floating_nodes", in the tree's order. A view in the
// scratchpad (workspace "__i3_scratch") is not visible; one on any workspace
// is. A view is owned when sway names its parent: window_properties'
// transient_for of an Xwayland dialog. sway reports no parent of a native
// Wayland view, so those are all unowned.
class SwayCompositor : public ICompositor {
 public:
  // JSON nested deeper than this (objects and arrays) is refused.
  static constexpr int kMaxDepth = 512;

  // Connects to SWAYSOCK, else I3SOCK, and reads the tree once; fails when
  // neither is set, the socket cannot be reached, the reply is too long, too
  // deep or malformed, or its views carry no process (i3). Every wait, then
  // and later, is charged to `budget`, which the caller owns and which
  // outlives the compositor.
  static Result<std::unique_ptr<ICompositor>> Connect(WaitBudget& budget);
  // The same on the socket at `path`.
  static Result<std::unique_ptr<ICompositor>> ConnectTo(const std::string& path, WaitBudget& budget);

  std::string Name() const override;
  // The first call answers from the tree read when connecting; later ones ask again.
  bool ListViews(std::vector<CompositorView>& views) override;
  // Sends "[con_id=ID] kill"; true when sway replies success.
  bool RequestClose(const CompositorView& view) override;
  const std::string& problem() const override { return problem_; }

 private:
  SwayCompositor(std::string path, WaitBudget& budget);
  bool ReadTree(std::vector<CompositorView>& views, bool& any_process);

  std::string path_;
  SwayIpc ipc_;
  std::optional<std::vector<CompositorView>> first_tree_;
  std::string problem_;
};

}  // namespace vesk::platform::linux_backend
