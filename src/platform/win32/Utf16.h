#pragma once

#include <string>
#include <string_view>

namespace vesk::platform::win32 {

// Conversion between the library's UTF-8 strings and the UTF-16 texts of the
// Win32 and COM boundary. Invalid input in either direction fails with 5
// (errors::kInvalidArgument); nothing is silently replaced.
class Utf16 {
 public:
  static std::wstring FromUtf8(std::string_view text);
  static std::string ToUtf8(std::wstring_view text);
};

}  // namespace vesk::platform::win32
