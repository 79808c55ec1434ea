#include "platform/win32/Utf16.h"

#include <windows.h>

#include <climits>

#include "host/ErrorNumbers.h"
#include "host/Failure.h"

namespace vesk::platform::win32 {
namespace {

int Length(std::size_t size) {
  if (size > static_cast<std::size_t>(INT_MAX)) throw Failure(errors::kOverflow, "Utf16", "Text too long");
  return static_cast<int>(size);
}

}  // namespace

std::wstring Utf16::FromUtf8(std::string_view text) {
  if (text.empty()) return {};
  const int size = Length(text.size());
  const int needed = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
  if (needed <= 0) throw Failure(errors::kInvalidArgument, "Utf16", "Text is not valid UTF-8");
  std::wstring wide(static_cast<std::size_t>(needed), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), needed);
  return wide;
}

std::string Utf16::ToUtf8(std::wstring_view text) {
  if (text.empty()) return {};
  const int size = Length(text.size());
  const int needed =
      WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), size, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) throw Failure(errors::kInvalidArgument, "Utf16", "Text is not valid UTF-16");
  std::string narrow(static_cast<std::size_t>(needed), '\0');
  WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), size, narrow.data(), needed, nullptr, nullptr);
  return narrow;
}

}  // namespace vesk::platform::win32
