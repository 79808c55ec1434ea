#pragma once

#include <functional>
#include <memory>
#include <span>
#include <string>

#include "host/IPlugIn.h"
#include "platform/IFileOpenDialog.h"
#include "platform/IPanelUi.h"
#include "platform/PanelLayout.h"

namespace vesk {

// What both settings panels share: the request handling with its methods
// "SetSettings" and "GetSettings", the record exchange with the text boxes,
// and the Browse button that picks the program with the panel's own dialog.
// A panel's state is the text of its boxes plus its dialog, both kept for
// the panel's life.
class SettingsPanel : public IPlugIn {
 public:
  ~SettingsPanel() override;
  SettingsPanel(const SettingsPanel&) = delete;
  SettingsPanel& operator=(const SettingsPanel&) = delete;

  // Serves one request envelope; a failure anywhere ends it as a Failure
  // from this panel's class (or the failure's own source).
  std::string MethodCall(const std::string& args) override;

  // The panel's own window (0 on a backend without windows), for the
  // control object that embeds it in a container.
  platform::WindowHandle Window() const { return ui_->Window(); }

  // Runs each click of the panel's buttons. An owner that may be released
  // while a click is still running (a control whose container lets it go
  // while the Browse dialog is open) sets one that keeps itself alive until
  // the click ends.
  using ClickScope = std::function<void(const std::function<void()>& click)>;
  void SetClickScope(ClickScope scope) { click_scope_ = std::move(scope); }

  // The dialog flags and filter Browse sets before each display.
  static constexpr int kBrowseFlags = platform::kFileMustExist | platform::kHideReadOnly;
  static constexpr const char* kBrowseFilter = "Executables (*.exe)|*.exe|All files (*.*)|*.*";

 protected:
  // Builds the panel's controls from `layout` (which outlives the panel) on
  // the calling thread's platform, and creates its dialog.
  SettingsPanel(const char* class_name, const platform::PanelLayout& layout);

  // Serves "SetSettings": sets boxes[i] to the record's value at position i,
  // each right after its read, and returns an empty result element.
  std::string ApplyRecord(const std::string& params, std::span<const char* const> boxes);
  // Serves "GetSettings": a result element holding a record with the text
  // of each of `boxes`, in order.
  std::string CollectRecord(const std::string& params, std::span<const char* const> boxes);

 private:
  std::string IPlugIn_MethodCall(const std::string& args);
  virtual std::string ApplySettings(const std::string& params) = 0;
  virtual std::string CollectSettings(const std::string& params) = 0;
  void OnClick(const std::string& control) noexcept;
  // Lets the user pick the program. Only a confirmed choice replaces the text
  // of txtProgram; a cancel, a name that a reply cannot carry or any failure
  // leaves it as it is, silently.
  void btnBrowse_Click() noexcept;

  const char* class_name_;
  std::unique_ptr<platform::IPanelUi> ui_;
  std::unique_ptr<platform::IFileOpenDialog> cdg_;
  ClickScope click_scope_;
};

}  // namespace vesk
