#include "platform/linux/LinuxMessageBox.h"

#include <cstdio>
#include <mutex>

namespace vesk::platform::linux_backend {
namespace {
std::mutex g_mutex;
LinuxMessageBox::Handler& InstalledHandler() {
  static LinuxMessageBox::Handler handler;
  return handler;
}
}  // namespace

void LinuxMessageBox::ShowMessageBox(const std::string& text, int style, const std::string& caption) {
  Handler handler;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    handler = InstalledHandler();
  }
  if (handler) {
    handler(text, style, caption);
    return;
  }
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  std::fflush(stderr);
}

void LinuxMessageBox::SetHandler(Handler handler) {
  std::lock_guard<std::mutex> lock(g_mutex);
  InstalledHandler() = std::move(handler);
}

}  // namespace vesk::platform::linux_backend
