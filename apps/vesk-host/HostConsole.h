#pragma once

#include <string>
#include <vector>

namespace vesk::host_app {

// The host program's console while it runs: its arguments as UTF-8, and on
// Windows the console's input and output code pages set to UTF-8 (the ones
// found are put back when the host ends, so the console is left as it was).
class HostConsole {
 public:
  HostConsole();
  ~HostConsole();
  HostConsole(const HostConsole&) = delete;
  HostConsole& operator=(const HostConsole&) = delete;

  // The arguments after the program name. On Windows they are read from the
  // wide command line, so that names outside the code page survive.
  std::vector<std::string> Arguments(int argc, char** argv) const;

#ifdef _WIN32
 private:
  unsigned input_code_page_ = 0;   // 0: nothing to put back
  unsigned output_code_page_ = 0;
#endif
};

}  // namespace vesk::host_app
