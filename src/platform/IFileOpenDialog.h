#pragma once

#include <string>

namespace vesk::platform {

// Dialog flags (the common dialog's values).
inline constexpr int kHideReadOnly = 0x0004;   // the read-only check box is hidden
inline constexpr int kFileMustExist = 0x1000;  // only an existing file can be chosen

// A modal file-open dialog object. It keeps its settings and the last file
// name it reported from one display to the next.
class IFileOpenDialog {
 public:
  virtual ~IFileOpenDialog() = default;
  // Replaces the option flags.
  virtual void SetFlags(int flags) = 0;
  // Replaces the filter list, "description|pattern|description|pattern".
  virtual void SetFilter(const std::string& filter) = 0;
  // Shows the dialog and waits until it closes. Returns true when the user
  // confirmed a file (FileName() then reports it) and false when the user
  // cancelled (FileName() keeps what it held). A dialog that cannot be
  // displayed throws a Failure.
  virtual bool ShowOpen() = 0;
  // The full path of the file last confirmed; empty before the first one.
  virtual std::string FileName() const = 0;
};

}  // namespace vesk::platform
