#include "platform/linux/wayland/SwayCompositor.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <utility>

namespace vesk::platform::linux_backend {
namespace {

using nlohmann::json;

constexpr std::size_t kMaxDepth = SwayCompositor::kMaxDepth;

// Reads GET_TREE's reply as a stream of JSON events into the views, depth
// first through "nodes" then "floating_nodes", in the tree's order. Only
// open containers (at most kMaxDepth) and views are held, never the tree.
//
// A node's keys come in any order, so its view is known only when the node
// ends: it is then put before the views of its children (which sit from
// `first_view` on), and when the node is the scratchpad workspace all of
// them are marked not visible.
class TreeReader {
 public:
  explicit TreeReader(std::vector<CompositorView>& views) : views_(views) {}

  bool too_deep() const { return too_deep_; }
  bool any_process() const { return any_process_; }

  bool null() { return Scalar(Value::kNull); }
  bool boolean(bool) { return Scalar(Value::kOther); }
  bool number_integer(json::number_integer_t value) { return Integer(true, value); }
  bool number_unsigned(json::number_unsigned_t value) {
    return Integer(value <= 0x7fffffffffffffffULL, static_cast<std::int64_t>(value));
  }
  bool number_float(json::number_float_t value, const json::string_t&) {
    // The id as the tree once read it: a float cut to its whole part.
    if (slot_ != Slot::kId || !(value > -9.2e18 && value < 9.2e18)) return Scalar(Value::kOther);
    Node().id = static_cast<std::int64_t>(value);
    Node().id_state = IdState::kValid;
    slot_ = Slot::kOther;
    return true;
  }
  bool string(json::string_t& value) { return Scalar(Value::kString, &value); }
  bool binary(json::binary_t&) { return Scalar(Value::kOther); }
  bool start_object(std::size_t) {
    const Slot slot = Take();
    if (!Deeper()) return false;
    if (slot == Slot::kRoot || slot == Slot::kChild) {
      Frame node;
      node.kind = Kind::kNode;
      node.first_view = views_.size();
      stack_.push_back(node);
      return true;
    }
    if (!Container(slot)) return false;
    stack_.push_back({slot == Slot::kWindowProperties ? Kind::kProperties : Kind::kOther});
    return true;
  }
  bool start_array(std::size_t) {
    const Slot slot = Take();
    if (!Deeper()) return false;
    if (slot == Slot::kRoot || slot == Slot::kChild) return false;  // a node must be an object
    if (slot == Slot::kChildren) {
      stack_.push_back({Kind::kNodeList});
      return true;
    }
    if (!Container(slot)) return false;
    stack_.push_back({Kind::kOther});
    return true;
  }
  bool key(json::string_t& name) {
    const Kind kind = stack_.back().kind;
    slot_ = Slot::kOther;
    if (kind == Kind::kNode) {
      if (name == "id") slot_ = Slot::kId;
      else if (name == "pid") slot_ = Slot::kPid;
      else if (name == "type") slot_ = Slot::kType;
      else if (name == "name") slot_ = Slot::kName;
      else if (name == "shell") slot_ = Slot::kShell;
      else if (name == "app_id" || name == "window") slot_ = Slot::kClient;
      else if (name == "window_properties") slot_ = Slot::kWindowProperties;
      else if (name == "nodes" || name == "floating_nodes") slot_ = Slot::kChildren;
    } else if (kind == Kind::kProperties && name == "transient_for") {
      slot_ = Slot::kTransientFor;
    }
    return true;
  }
  bool end_object() {
    const Frame node = stack_.back();
    stack_.pop_back();
    slot_ = Slot::kOther;
    return node.kind != Kind::kNode || EndNode(node);
  }
  bool end_array() {
    stack_.pop_back();
    slot_ = Slot::kOther;
    return true;
  }
  bool parse_error(std::size_t, const std::string&, const json::exception&) { return false; }

 private:
  enum class Kind { kOther, kNode, kNodeList, kProperties };
  enum class IdState { kAbsent, kValid, kInvalid };
  // What the next value is to the reader.
  enum class Slot {
    kOther, kRoot, kChild, kId, kPid, kType, kName, kShell, kClient, kWindowProperties, kChildren, kTransientFor
  };
  enum class Value { kNull, kString, kOther };
  struct Frame {
    Kind kind = Kind::kOther;
    // Of a node:
    std::size_t first_view = 0;
    IdState id_state = IdState::kAbsent;
    std::int64_t id = 0;
    std::uint32_t process_id = 0;
    bool client = false;
    bool owned = false;
    bool xwayland = false;
    bool workspace = false;
    bool scratch_name = false;
  };

  // The node the value in hand belongs to (the top frame, or under a
  // window_properties object).
  Frame& Node() { return stack_.back().kind == Kind::kProperties ? stack_[stack_.size() - 2] : stack_.back(); }

  Slot Take() {
    if (stack_.empty()) return Slot::kRoot;
    if (stack_.back().kind == Kind::kNodeList) return Slot::kChild;
    const Slot slot = slot_;
    slot_ = Slot::kOther;
    return slot;
  }
  bool Deeper() {
    if (stack_.size() < kMaxDepth) return true;
    too_deep_ = true;
    return false;
  }
  // A container as the value of a node's key: "type" and "name" must be
  // strings, "nodes" an array; any other is there (not null).
  bool Container(Slot slot) {
    switch (slot) {
      case Slot::kType:
      case Slot::kName:
      case Slot::kChildren:
        return false;
      case Slot::kId:
        Node().id_state = IdState::kInvalid;
        return true;
      case Slot::kWindowProperties:
        Node().xwayland = true;
        [[fallthrough]];
      case Slot::kPid:
      case Slot::kClient:
        Node().client = true;
        return true;
      default:
        return true;
    }
  }
  bool Integer(bool fits, std::int64_t value) {
    const Slot slot = Take();
    if (slot == Slot::kId && fits) {
      Node().id = value;
      Node().id_state = IdState::kValid;
      return true;
    }
    if (slot == Slot::kPid) {
      Node().client = true;
      if (fits && value > 0 && value <= 0x7fffffff) Node().process_id = static_cast<std::uint32_t>(value);
      return true;
    }
    if (slot == Slot::kTransientFor) {
      if (!fits || value != 0) Node().owned = true;
      return true;
    }
    return Scalar(Value::kOther, nullptr, slot);
  }
  bool Scalar(Value value, const std::string* text = nullptr) { return Scalar(value, text, Take()); }
  bool Scalar(Value value, const std::string* text, Slot slot) {
    switch (slot) {
      case Slot::kRoot:
      case Slot::kChild:
      case Slot::kChildren:
        return false;  // the tree and each node are objects; "nodes" is a list
      case Slot::kName:
        // A view's name is its title, null for an untitled X window; only a
        // workspace's name is looked at.
        if (value != Value::kString) return true;
        [[fallthrough]];
      case Slot::kType:
        if (value != Value::kString) return false;
        (slot == Slot::kType ? Node().workspace : Node().scratch_name) =
            *text == (slot == Slot::kType ? "workspace" : "__i3_scratch");
        return true;
      case Slot::kId:
        Node().id_state = IdState::kInvalid;
        return true;
      case Slot::kShell:
        if (value == Value::kString && *text == "xwayland") Node().xwayland = true;
        return true;
      case Slot::kPid:
        Node().client = true;
        return true;
      case Slot::kWindowProperties:
        if (value != Value::kNull) Node().xwayland = true;
        [[fallthrough]];
      case Slot::kClient:
        if (value != Value::kNull) Node().client = true;
        return true;
      default:
        return true;
    }
  }
  bool EndNode(const Frame& node) {
    // sway gives every view a pid and an app_id or window_properties; i3
    // gives a client's container a non-null "window" and no pid.
    if (node.client && node.id_state != IdState::kAbsent) {
      if (node.id_state == IdState::kInvalid) return false;
      CompositorView view;
      view.id = std::to_string(node.id);
      view.process_id = node.process_id;
      view.owned = node.owned;
      view.xwayland = node.xwayland;
      any_process_ = any_process_ || node.process_id != 0;
      views_.insert(views_.begin() + static_cast<std::ptrdiff_t>(node.first_view), std::move(view));
    }
    if (node.workspace && node.scratch_name) {
      for (std::size_t i = node.first_view; i < views_.size(); ++i) views_[i].visible = false;
    }
    return true;
  }

  std::vector<CompositorView>& views_;
  std::vector<Frame> stack_;
  Slot slot_ = Slot::kOther;
  bool too_deep_ = false;
  bool any_process_ = false;
};

// What a RUN_COMMAND reply says: it succeeded when it is a list of one
// object whose "success" is true. Read as events too, so a long reply costs
// no more than its bytes.
class CommandReplyReader {
 public:
  bool list = false;
  std::size_t results = 0;
  bool first_is_object = false;
  bool success = false;
  bool success_malformed = false;  // "success" is there but not true or false
  bool too_deep = false;

  bool null() { return Value(false, false); }
  bool boolean(bool value) { return Value(true, value); }
  bool number_integer(json::number_integer_t) { return Value(false, false); }
  bool number_unsigned(json::number_unsigned_t) { return Value(false, false); }
  bool number_float(json::number_float_t, const json::string_t&) { return Value(false, false); }
  bool string(json::string_t&) { return Value(false, false); }
  bool binary(json::binary_t&) { return Value(false, false); }
  bool start_object(std::size_t) { return Open(true); }
  bool start_array(std::size_t) { return Open(false); }
  bool key(json::string_t& name) {
    in_success_ = depth_ == 2 && results == 1 && name == "success";
    return true;
  }
  bool end_object() { return Close(); }
  bool end_array() { return Close(); }
  bool parse_error(std::size_t, const std::string&, const json::exception&) { return false; }

 private:
  bool Value(bool is_bool, bool value) {
    if (depth_ == 1) ++results;
    if (in_success_) {
      success = is_bool && value;
      success_malformed = !is_bool;
      in_success_ = false;
    }
    return true;
  }
  bool Open(bool object) {
    if (depth_ == 0) list = !object;
    if (depth_ == 1 && ++results == 1) first_is_object = object;
    if (in_success_) {
      success = false;
      success_malformed = true;
      in_success_ = false;
    }
    if (++depth_ > kMaxDepth) {
      too_deep = true;
      return false;
    }
    return true;
  }
  bool Close() {
    --depth_;
    in_success_ = false;
    return true;
  }

  std::size_t depth_ = 0;
  bool in_success_ = false;
};

std::string TooDeep() { return "sent a reply nested deeper than " + std::to_string(kMaxDepth) + " levels"; }

}  // namespace

SwayCompositor::SwayCompositor(std::string path, WaitBudget& budget) : path_(std::move(path)), ipc_(path_, budget) {}

Result<std::unique_ptr<ICompositor>> SwayCompositor::Connect(WaitBudget& budget) {
  for (const char* variable : {"SWAYSOCK", "I3SOCK"}) {
    const char* path = std::getenv(variable);
    if (path != nullptr && *path != '\0') return ConnectTo(path, budget);
  }
  return Result<std::unique_ptr<ICompositor>>::Fail("SWAYSOCK and I3SOCK are empty");
}

Result<std::unique_ptr<ICompositor>> SwayCompositor::ConnectTo(const std::string& path, WaitBudget& budget) {
  using Connected = Result<std::unique_ptr<ICompositor>>;
  std::unique_ptr<SwayCompositor> compositor(new SwayCompositor(path, budget));
  if (!compositor->ipc_.connected()) return Connected::Fail(compositor->Name() + " " + compositor->ipc_.problem());
  std::vector<CompositorView> views;
  bool any_process = false;
  if (!compositor->ReadTree(views, any_process)) {
    return Connected::Fail(compositor->Name() + " " + compositor->problem_);
  }
  if (!views.empty() && !any_process) {
    return Connected::Fail(compositor->Name() + " reports no process of its windows");
  }
  compositor->first_tree_ = std::move(views);
  return std::unique_ptr<ICompositor>(std::move(compositor));
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
  TreeReader reader(views);
  bool read = false;
  try {
    read = json::sax_parse(reply, &reader);
  } catch (const json::exception&) {
  }
  reply = std::string();
  if (read) {
    any_process = reader.any_process();
    return true;
  }
  views.clear();
  problem_ = reader.too_deep() ? TooDeep() : "sent a malformed window tree";
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
  CommandReplyReader answer;
  bool read = false;
  try {
    read = json::sax_parse(reply, &answer);
  } catch (const json::exception&) {
  }
  if (read && answer.list && answer.results == 1 && answer.first_is_object && !answer.success_malformed &&
      answer.success) {
    return true;
  }
  if (!read) {
    problem_ = answer.too_deep ? TooDeep() : "sent a malformed reply";
  } else if (answer.list && !(answer.results == 1 && answer.first_is_object && answer.success_malformed)) {
    problem_ = "refused to close view " + view.id;
  } else {
    problem_ = "sent a malformed reply";
  }
  return false;
}

}  // namespace vesk::platform::linux_backend
