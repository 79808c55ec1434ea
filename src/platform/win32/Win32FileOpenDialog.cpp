#include "platform/win32/Win32FileOpenDialog.h"

#include <windows.h>
#include <commdlg.h>

#include <string>

#include "host/ErrorNumbers.h"
#include "host/Failure.h"
#include "platform/win32/LazyFunction.h"
#include "platform/win32/Utf16.h"

namespace vesk::platform::win32 {
namespace {

LazyFunction<decltype(GetOpenFileNameW)> g_get_open_file_name(L"comdlg32.dll", "GetOpenFileNameW");
LazyFunction<decltype(CommDlgExtendedError)> g_extended_error(L"comdlg32.dll", "CommDlgExtendedError");

constexpr std::size_t kFileBufferSize = 32768;  // the longest path the system accepts

}  // namespace

Win32FileOpenDialog::Win32FileOpenDialog() : file_(kFileBufferSize, L'\0') {}

void Win32FileOpenDialog::SetFlags(int flags) { flags_ = flags; }

void Win32FileOpenDialog::SetFilter(const std::string& filter) { filter_ = FilterList(filter); }

std::wstring Win32FileOpenDialog::FilterList(const std::string& filter) {
  std::wstring list = Utf16::FromUtf8(filter);
  for (wchar_t& c : list) {
    if (c == L'|') c = L'\0';
  }
  list.push_back(L'\0');
  list.push_back(L'\0');
  return list;
}

bool Win32FileOpenDialog::ShowOpen() {
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof(dialog);
  dialog.hwndOwner = GetActiveWindow();
  dialog.lpstrFilter = filter_.empty() ? nullptr : filter_.c_str();
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = file_.data();
  dialog.nMaxFile = static_cast<DWORD>(file_.size());
  dialog.Flags = static_cast<DWORD>(flags_);
  if (g_get_open_file_name(&dialog)) return true;
  const DWORD error = g_extended_error();
  if (error == 0) return false;  // cancelled: the buffer still holds the last choice
  throw Failure(errors::kAccessRefused, "FileOpenDialog",
                "The file-open dialog failed with error " + std::to_string(error));
}

std::string Win32FileOpenDialog::FileName() const { return Utf16::ToUtf8(file_.data()); }

}  // namespace vesk::platform::win32
