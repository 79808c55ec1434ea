#pragma once

#include <string>

#include "platform/IFileOpenDialog.h"
#include "platform/headless/DialogScript.h"

namespace vesk::platform::headless {

// A file-open dialog without a screen: each display takes its answer from a
// DialogScript. The flags and the filter are kept but do not change the
// answer (the file-must-exist flag checks nothing here).
class HeadlessFileOpenDialog : public IFileOpenDialog {
 public:
  explicit HeadlessFileOpenDialog(DialogScript& script) : script_(script) {}
  void SetFlags(int flags) override { flags_ = flags; }
  void SetFilter(const std::string& filter) override { filter_ = filter; }
  // A scripted failure throws errors::kAccessRefused from "FileOpenDialog".
  bool ShowOpen() override;
  std::string FileName() const override { return file_name_; }

  int flags() const { return flags_; }
  const std::string& filter() const { return filter_; }

 private:
  DialogScript& script_;
  int flags_ = 0;
  std::string filter_;
  std::string file_name_;
};

}  // namespace vesk::platform::headless
