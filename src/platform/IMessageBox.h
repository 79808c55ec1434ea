#pragma once

#include <string>

namespace vesk::platform {

inline constexpr int kMessageBoxInformation = 64;  // MB_ICONINFORMATION | MB_OK

// Shows a modal message box; returns once the user has closed it.
class IMessageBox {
 public:
  virtual ~IMessageBox() = default;
  virtual void ShowMessageBox(const std::string& text, int style, const std::string& caption) = 0;
};

}  // namespace vesk::platform
