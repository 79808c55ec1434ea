#include "platform/linux/wayland/KWinScript.h"

#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>

namespace vesk::platform::linux_backend {
namespace {

using nlohmann::json;

// A JavaScript string literal: JSON's, with every non-ASCII character escaped.
std::string Literal(const std::string& text) {
  return json(text).dump(-1, ' ', true, json::error_handler_t::replace);
}

// The script around `body`: `answer(object)` sends the object back as JSON
// text; anything the body throws is answered as an error.
std::string Wrap(const KWinScript::ReplyTo& reply_to, const std::string& token, const std::string& body) {
  return "(function () {\n"
         "  function answer(object) {\n"
         "    callDBus(" + Literal(reply_to.service) + ", " + Literal(reply_to.path) + ", " +
         Literal(reply_to.interface) + ", " + Literal(reply_to.method) + ", " + Literal(token) +
         ", JSON.stringify(object));\n"
         "  }\n"
         "  try {\n" + body +
         "  } catch (e) {\n"
         "    answer({error: String(e)});\n"
         "  }\n"
         "})();\n";
}

// Parses `answer` into an object; a script's own error becomes the problem.
Result<json> ReadObject(const std::string& answer) {
  json object = json::parse(answer, nullptr, false);
  if (object.is_discarded() || !object.is_object()) {
    return Result<json>::Fail("answered something that is not a JSON object");
  }
  const auto error = object.find("error");
  if (error != object.end()) {
    return Result<json>::Fail("ran a script that failed: " +
                              (error->is_string() ? error->get<std::string>() : error->dump()));
  }
  return object;
}

bool ReadView(const json& item, CompositorView& view) {
  if (!item.is_object()) return false;
  const auto id = item.find("id");
  const auto pid = item.find("pid");
  const auto owned = item.find("owned");
  const auto visible = item.find("visible");
  const auto x11 = item.find("x11");
  if (id == item.end() || !id->is_string() || id->get_ref<const std::string&>().empty()) return false;
  if (pid == item.end() || !pid->is_number_unsigned() ||
      pid->get<std::uint64_t>() > std::numeric_limits<std::uint32_t>::max())
    return false;
  if (owned == item.end() || !owned->is_boolean() || visible == item.end() || !visible->is_boolean()) return false;
  if (x11 == item.end() || !x11->is_boolean()) return false;
  view.id = id->get<std::string>();
  view.process_id = static_cast<std::uint32_t>(pid->get<std::uint64_t>());
  view.owned = owned->get<bool>();
  view.visible = visible->get<bool>();
  view.xwayland = x11->get<bool>();
  return true;
}

}  // namespace

// Windows KWin calls special (the desktop, panels, splash screens,
// notifications, on-screen displays), pop-ups and windows already closing
// are left out: they are the shell's, not a program's windows to close.
// A window on any virtual desktop (or all of them) is visible, minimised or not.
// An X window (under Xwayland) is the one kind whose object has windowId, its
// X id; a Wayland window's has no such property.
std::string KWinScript::Listing(const ReplyTo& reply_to, const std::string& token) {
  return Wrap(reply_to, token,
              "    var windows = workspace.clientList();\n"
              "    var views = [];\n"
              "    for (var i = 0; i < windows.length; ++i) {\n"
              "      var w = windows[i];\n"
              "      if (w.deleted || w.specialWindow || w.popupWindow) continue;\n"
              "      views.push({id: String(w.internalId), pid: w.pid, owned: !!w.transient,\n"
              "                  visible: !!(w.onAllDesktops || w.desktop > 0), x11: typeof w.windowId === \"number\",\n"
              "                  order: w.stackingOrder});\n"
              "    }\n"
              "    views.sort(function (a, b) { return b.order - a.order; });\n"
              "    answer({views: views});\n");
}

// KWin itself sends the close request (WM_DELETE_WINDOW or the xdg-shell
// close event); a window that cannot be closed is answered as not closed.
std::string KWinScript::Close(const ReplyTo& reply_to, const std::string& token, const std::string& view_id) {
  return Wrap(reply_to, token,
              "    var id = " + Literal(view_id) + ";\n"
              "    var windows = workspace.clientList();\n"
              "    for (var i = 0; i < windows.length; ++i) {\n"
              "      var w = windows[i];\n"
              "      if (String(w.internalId) !== id || w.deleted) continue;\n"
              "      if (!w.closeable) break;\n"
              "      w.closeWindow();\n"
              "      answer({closed: true});\n"
              "      return;\n"
              "    }\n"
              "    answer({closed: false});\n");
}

Result<std::vector<CompositorView>> KWinScript::ReadViews(const std::string& answer) {
  using Views = Result<std::vector<CompositorView>>;
  const Result<json> object = ReadObject(answer);
  if (!object) return Views::Fail(object.problem());
  const auto list = object->find("views");
  if (list == object->end() || !list->is_array()) return Views::Fail("answered without a list of windows");
  std::vector<CompositorView> read;
  for (const json& item : *list) {
    CompositorView view;
    if (!ReadView(item, view)) {
      return Views::Fail("answered a window without a readable id, pid, owner, visibility or kind");
    }
    read.push_back(std::move(view));
  }
  return read;
}

Result<bool> KWinScript::ReadClosed(const std::string& answer) {
  const Result<json> object = ReadObject(answer);
  if (!object) return Result<bool>::Fail(object.problem());
  const auto value = object->find("closed");
  if (value == object->end() || !value->is_boolean()) {
    return Result<bool>::Fail("answered without saying whether the window was closed");
  }
  return value->get<bool>();
}

}  // namespace vesk::platform::linux_backend
