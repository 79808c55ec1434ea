#pragma once

#include <string>
#include <vector>

#include "platform/IFileOpenDialog.h"

namespace vesk::platform::win32 {

// The system's file-open dialog (GetOpenFileNameW, bound from comdlg32 on
// the first display). It keeps its flags, filter and file-name buffer for
// its life, so the file last chosen is where the next display starts; it
// sets no title and no initial folder. Failures come from "FileOpenDialog".
class Win32FileOpenDialog : public IFileOpenDialog {
 public:
  Win32FileOpenDialog();

  void SetFlags(int flags) override;
  void SetFilter(const std::string& filter) override;
  // False on cancel; a dialog error (CommDlgExtendedError) is a Failure.
  bool ShowOpen() override;
  std::string FileName() const override;

  // "desc|pat|desc|pat" as the dialog wants it: each part ended by a NUL and
  // the list by a second one.
  static std::wstring FilterList(const std::string& filter);

 private:
  int flags_ = 0;
  std::wstring filter_;
  std::vector<wchar_t> file_;  // the dialog's in-out file-name buffer
};

}  // namespace vesk::platform::win32
