#include "vesk-host/ConsoleMessageBox.h"

#include <cstdio>

namespace vesk::host_app {

void ConsoleMessageBox::ShowMessageBox(const std::string& text, int /*style*/, const std::string& caption) {
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  std::fflush(stderr);
}

}  // namespace vesk::host_app
