#include "platform/linux/wayland/SwayCompositor.h"

#include <cstdlib>
#include <nlohmann/json.hpp>
#include <utility>

namespace vesk::platform::linux_backend {
namespace {

using nlohmann::json;

// Deeper trees than this are taken as malformed (sway's own nest a few levels).
constexpr int kMaxDepth = 200;

// Collects the views under `node`, depth first; false on a tree too deep.
// `any_process` is set when a view carries a process id.
bool CollectViews(const json& node, bool in_scratchpad, int depth, std::vector<CompositorView>& views,
                  bool& any_process) {
  if (depth > kMaxDepth || !node.is_object()) return false;
  if (node.value("type", "") == "workspace" && node.value("name", "") == "__i3_scratch") in_scratchpad = true;
  const auto properties = node.find("window_properties");
  // sway gives every view a pid and an app_id or window_properties; i3 gives
  // a client's container a non-null "window" and no pid.
  const auto non_null = [&node](const char* key) { return node.contains(key) && !node.at(key).is_null(); };
  const bool has_client = node.contains("pid") || non_null("app_id") || non_null("window_properties") ||
                          non_null("window");
  if (has_client && node.contains("id")) {
    CompositorView view;
    view.id = std::to_string(node.at("id").get<std::int64_t>());
    const auto pid = node.find("pid");
    if (pid != node.end() && pid->is_number_integer() && pid->get<std::int64_t>() > 0 &&
        pid->get<std::int64_t>() <= 0x7fffffff) {
      view.process_id = static_cast<std::uint32_t>(pid->get<std::int64_t>());
      any_process = true;
    }
    if (properties != node.end() && properties->is_object()) {
      const auto owner = properties->find("transient_for");
      view.owned = owner != properties->end() && owner->is_number_integer() && owner->get<std::int64_t>() != 0;
    }
    view.visible = !in_scratchpad;
    views.push_back(std::move(view));
  }
  for (const char* children : {"nodes", "floating_nodes"}) {
    const auto list = node.find(children);
    if (list == node.end()) continue;
    if (!list->is_array()) return false;
    for (const json& child : *list) {
      if (!CollectViews(child, in_scratchpad, depth + 1, views, any_process)) return false;
    }
  }
  return true;
}

}  // namespace

SwayCompositor::SwayCompositor(std::string path, SwayIpc::Clock::duration budget)
    : path_(std::move(path)), ipc_(path_, budget) {}

std::unique_ptr<ICompositor> SwayCompositor::Connect(WaitBudget& budget, std::string& problem) {
  for (const char* variable : {"SWAYSOCK", "I3SOCK"}) {
    const char* path = std::getenv(variable);
    if (path != nullptr && *path != '\0') return ConnectTo(path, budget.left(), problem);
  }
  problem = "SWAYSOCK and I3SOCK are empty";
  return nullptr;
}

std::unique_ptr<ICompositor> SwayCompositor::ConnectTo(const std::string& path, SwayIpc::Clock::duration budget,
                                                       std::string& problem) {
  std::unique_ptr<SwayCompositor> compositor(new SwayCompositor(path, budget));
  if (!compositor->ipc_.connected()) {
    problem = compositor->Name() + " " + compositor->ipc_.problem();
    return nullptr;
  }
  std::vector<CompositorView> views;
  bool any_process = false;
  if (!compositor->ReadTree(views, any_process)) {
    problem = compositor->Name() + " " + compositor->problem_;
    return nullptr;
  }
  if (!views.empty() && !any_process) {
    problem = compositor->Name() + " reports no process of its windows";
    return nullptr;
  }
  compositor->first_tree_ = std::move(views);
  return compositor;
}

std::string SwayCompositor::Name() const { return "sway IPC at " + path_; }

bool SwayCompositor::ReadTree(std::vector<CompositorView>& views, bool& any_process) {
  std::string reply;
  if (!ipc_.Exchange(SwayIpc::kGetTree, "", reply)) {
    problem_ = ipc_.problem();
    return false;
  }
  // A reply of the wrong shape anywhere is "no answer", never an exception
  // out of the backend.
  try {
    const json tree = json::parse(reply, nullptr, false);
    if (!tree.is_discarded() && CollectViews(tree, false, 0, views, any_process)) return true;
  } catch (const json::exception&) {
  }
  views.clear();
  problem_ = "sent a malformed window tree";
  return false;
}

bool SwayCompositor::ListViews(std::vector<CompositorView>& views) {
  if (first_tree_) {
    views = std::move(*first_tree_);
    first_tree_.reset();
    return true;
  }
  bool any_process = false;
  return ReadTree(views, any_process);
}

bool SwayCompositor::RequestClose(const CompositorView& view) {
  std::string reply;
  if (!ipc_.Exchange(SwayIpc::kRunCommand, "[con_id=" + view.id + "] kill", reply)) {
    problem_ = ipc_.problem();
    return false;
  }
  try {
    const json answer = json::parse(reply, nullptr, false);
    if (answer.is_array() && answer.size() == 1 && answer[0].is_object() && answer[0].value("success", false)) {
      return true;
    }
    problem_ = answer.is_array() ? "refused to close view " + view.id : "sent a malformed reply";
  } catch (const json::exception&) {
    problem_ = "sent a malformed reply";
  }
  return false;
}

}  // namespace vesk::platform::linux_backend
