#include "platform/win32/Win32Shell.h"

#include <windows.h>
#include <shellapi.h>

#include <string>

#include "platform/win32/HwndConversion.h"
#include "platform/win32/LazyFunction.h"
#include "platform/win32/Utf16.h"
#include "platform/win32/Win32Error.h"

namespace vesk::platform::win32 {
namespace {

LazyFunction<decltype(ShellExecuteW)> g_shell_execute(L"shell32.dll", "ShellExecuteW");

using Result = StartOutcome::Result;

// Texts for the shell's own codes that are not system error codes.
const char* ShellCodeText(std::intptr_t code) {
  switch (code) {
    case 0:
      return "The system is out of memory or resources";
    case SE_ERR_SHARE:
      return "A sharing violation occurred";
    case SE_ERR_ASSOCINCOMPLETE:
      return "The file name association is incomplete or invalid";
    case SE_ERR_DDETIMEOUT:
    case SE_ERR_DDEFAIL:
    case SE_ERR_DDEBUSY:
      return "The DDE transaction failed";
    case SE_ERR_NOASSOC:
      return "No application is associated with the file";
    case SE_ERR_DLLNOTFOUND:
      return "A library needed for the start was not found";
    default:
      return nullptr;
  }
}

}  // namespace

StartOutcome Win32Shell::OutcomeOf(std::intptr_t code, unsigned long last_error) {
  if (code > 32) return {Result::kStarted, {}};
  if (code == SE_ERR_FNF) return {Result::kFileNotFound, Win32Error::Text(ERROR_FILE_NOT_FOUND)};
  if (code == SE_ERR_PNF) return {Result::kPathNotFound, Win32Error::Text(ERROR_PATH_NOT_FOUND)};
  if (const char* text = ShellCodeText(code)) return {Result::kRefused, text};
  // The remaining codes (access denied, bad format, out of memory) are system error codes.
  return {Result::kRefused, Win32Error::Text(last_error != 0 ? last_error : static_cast<DWORD>(code))};
}

StartOutcome Win32Shell::StartFile(WindowHandle owner, const std::optional<std::string>& operation,
                                   const std::string& file, const std::optional<std::string>& parameters,
                                   const std::optional<std::string>& directory, int show_command) {
  auto wide = [](const std::optional<std::string>& text) {
    return text ? std::optional<std::wstring>(Utf16::FromUtf8(*text)) : std::nullopt;
  };
  auto pointer = [](const std::optional<std::wstring>& text) { return text ? text->c_str() : nullptr; };
  const std::optional<std::wstring> wide_operation = wide(operation);
  const std::wstring wide_file = Utf16::FromUtf8(file);
  const std::optional<std::wstring> wide_parameters = wide(parameters);
  const std::optional<std::wstring> wide_directory = wide(directory);

  SetLastError(0);
  const HINSTANCE result =
      g_shell_execute(HwndConversion::ToHwnd(owner), pointer(wide_operation), wide_file.c_str(),
                      pointer(wide_parameters), pointer(wide_directory), show_command);
  const DWORD last_error = GetLastError();
  return OutcomeOf(reinterpret_cast<std::intptr_t>(result), last_error);
}

}  // namespace vesk::platform::win32
