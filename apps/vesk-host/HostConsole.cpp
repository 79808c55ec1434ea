#include "vesk-host/HostConsole.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>

#include "platform/win32/UniqueResource.h"
#include "platform/win32/Utf16.h"
#endif

namespace vesk::host_app {

#ifdef _WIN32
namespace {

// The argument vector of CommandLineToArgvW, freed with LocalFree.
struct LocalFreeCloser {
  void operator()(LPWSTR* vector) const noexcept { LocalFree(vector); }
};
using UniqueArgumentVector =
    platform::UniqueResource<LPWSTR*, LocalFreeCloser, nullptr, platform::win32::LastErrorPolicy>;

}  // namespace

HostConsole::HostConsole() {
  // Without a console (output to pipes or files) the code pages are 0 and the
  // bytes pass unchanged anyway.
  input_code_page_ = GetConsoleCP();
  output_code_page_ = GetConsoleOutputCP();
  if (input_code_page_ != 0) SetConsoleCP(CP_UTF8);
  if (output_code_page_ != 0) SetConsoleOutputCP(CP_UTF8);
}

HostConsole::~HostConsole() {
  if (input_code_page_ != 0) SetConsoleCP(input_code_page_);
  if (output_code_page_ != 0) SetConsoleOutputCP(output_code_page_);
}

std::vector<std::string> HostConsole::Arguments(int /*argc*/, char** /*argv*/) const {
  int count = 0;
  const UniqueArgumentVector wide(CommandLineToArgvW(GetCommandLineW(), &count));
  if (!wide) return {};
  std::vector<std::string> args;
  for (int i = 1; i < count; ++i) args.push_back(platform::win32::Utf16::ToUtf8(wide.get()[i]));
  return args;
}

#else

HostConsole::HostConsole() = default;
HostConsole::~HostConsole() = default;

std::vector<std::string> HostConsole::Arguments(int argc, char** argv) const {
  return std::vector<std::string>(argv + 1, argv + argc);
}

#endif

}  // namespace vesk::host_app
