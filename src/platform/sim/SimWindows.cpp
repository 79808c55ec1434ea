#include "platform/sim/SimWindows.h"

#include <string>

namespace vesk::platform::sim {

WindowHandle SimWindows::CreateHiddenWindow() {
  // Recorded first: a creation that fails creates nothing.
  log_.Record("CreateHiddenWindow", {std::to_string(next_handle_)});
  ++hidden_created_;
  return next_handle_++;
}

void SimWindows::BeginSession() {
  // Recorded first: a session that fails to begin is not open.
  log_.Record("BeginSession", {});
  ++open_sessions_;
}

void SimWindows::EndSession() {
  // Ended before it is recorded: a failure there leaves no session open.
  --open_sessions_;
  log_.Record("EndSession", {});
}

std::size_t SimWindows::IndexOf(WindowHandle window) const {
  if (hint_ < desktop.size() && desktop[hint_].handle == window) return hint_;
  for (std::size_t i = 0; i < desktop.size(); ++i) {
    if (desktop[i].handle == window) return hint_ = i;
  }
  return desktop.size();
}

const SimWindow* SimWindows::Find(WindowHandle window) const {
  const std::size_t index = IndexOf(window);
  return index < desktop.size() ? &desktop[index] : nullptr;
}

WindowHandle SimWindows::FindWindowA(const char* class_name, const char* window_name) {
  const auto text = [](const char* name) { return name != nullptr ? std::string(name) : std::string("<null>"); };
  log_.Record("FindWindowA", {text(class_name), text(window_name)});
  return desktop.empty() ? 0 : desktop.front().handle;
}

WindowHandle SimWindows::GetWindow(WindowHandle window, int command) {
  log_.Record("GetWindow", {std::to_string(window), std::to_string(command)});
  if (command != kGetWindowNext) return 0;
  const std::size_t index = IndexOf(window);
  if (index + 1 >= desktop.size()) return 0;
  hint_ = index + 1;
  return desktop[index + 1].handle;
}

WindowHandle SimWindows::GetParent(WindowHandle window) {
  log_.Record("GetParent", {std::to_string(window)});
  const SimWindow* found = Find(window);
  return found != nullptr ? found->owner : 0;
}

std::uint32_t SimWindows::GetWindowThreadProcessId(WindowHandle window, std::uint32_t& process_id) {
  log_.Record("GetWindowThreadProcessId", {std::to_string(window)});
  const SimWindow* found = Find(window);
  process_id = found != nullptr ? found->process_id : 0;
  return found != nullptr ? 1 : 0;
}

bool SimWindows::IsWindowVisible(WindowHandle window) {
  log_.Record("IsWindowVisible", {std::to_string(window)});
  const SimWindow* found = Find(window);
  return found != nullptr && !found->hidden;
}

bool SimWindows::PostMessageA(WindowHandle window, std::uint32_t message, std::uintptr_t wparam,
                              std::intptr_t lparam) {
  log_.Record("PostMessageA",
              {std::to_string(window), std::to_string(message), std::to_string(wparam), std::to_string(lparam)});
  const SimWindow* found = Find(window);
  if (found != nullptr && found->refuses_close) {
    ++route.refused_close_requests;
    return false;
  }
  return found != nullptr;
}

}  // namespace vesk::platform::sim
