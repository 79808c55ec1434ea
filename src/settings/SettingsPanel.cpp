#include "settings/SettingsPanel.h"

#include "host/ErrorNumbers.h"
#include "host/Failure.h"
#include "host/XmlElement.h"
#include "host/XmlParser.h"
#include "platform/IPanelUiFactory.h"
#include "platform/Platform.h"

namespace vesk {
namespace {
platform::IPanelUiFactory& PanelUi(const char* class_name) {
  platform::IPanelUiFactory* ui = platform::Current().ui;
  if (ui == nullptr) {
    throw Failure(errors::kCannotCreateObject, class_name, "This platform has no user interface for panels");
  }
  return *ui;
}
// What a request envelope says. Read by a function of its own, so that the
// envelope's tree is gone before the params are parsed again: a large
// request is held as a tree once at a time.
struct Request {
  std::string method;
  std::string params;
};

Request ReadRequest(const std::string& args) {
  const XmlElement request = XmlElement().LoadXml(args);
  // The target is read like every child but plays no part: a panel answers
  // the same whatever it names.
  static_cast<void>(request.GetElementText("plugin", 0));
  // The params are taken before the method is looked at, so a request
  // without params fails for every method.
  return {request.GetElementText("method", 0), request.GetElement("params", 0).GetXml()};
}
}  // namespace

SettingsPanel::SettingsPanel(const char* class_name, const platform::PanelLayout& layout)
    : class_name_(class_name) {
  WithFailures(class_name_, [&] {
    platform::IPanelUiFactory& factory = PanelUi(class_name_);
    ui_ = factory.CreatePanel(layout, [this](const std::string& control) { OnClick(control); });
    cdg_ = factory.CreateFileOpenDialog();
  });
}

SettingsPanel::~SettingsPanel() = default;

std::string SettingsPanel::MethodCall(const std::string& args) {
  return WithFailures(class_name_, [&] { return IPlugIn_MethodCall(args); });
}

std::string SettingsPanel::IPlugIn_MethodCall(const std::string& args) {
  const auto [method, params] = ReadRequest(args);

  if (method == "SetSettings") return ApplySettings(params);
  if (method == "GetSettings") return CollectSettings(params);
  return std::string();
}

std::string SettingsPanel::ApplyRecord(const std::string& params, std::span<const char* const> boxes) {
  const XmlElement params_element = XmlElement().LoadXml(params);
  const XmlElement result = XmlElement().CreateElement("result");
  const XmlElement settings = params_element.GetElement("sett", 0);
  int position = 0;
  for (const char* box : boxes) ui_->SetText(box, settings.GetElementText("s", position++));
  return result.GetXml();
}

std::string SettingsPanel::CollectRecord(const std::string& params, std::span<const char* const> boxes) {
  // Parsed only so that a malformed params element fails the request.
  static_cast<void>(XmlElement().LoadXml(params));
  // The record is built in place inside the result rather than copied in.
  XmlElement result = XmlElement().CreateElement("result");
  result.AddElement("sett", "");
  XmlElement settings = result.GetElement("sett", 0);
  for (const char* box : boxes) settings.AddElement("s", ui_->GetText(box));
  return result.GetXml();
}

void SettingsPanel::OnClick(const std::string& control) noexcept {
  if (control != "btnBrowse") return;
  if (!click_scope_) {
    btnBrowse_Click();
    return;
  }
  // The scope may destroy this panel on its way out, so it runs from a copy
  // and nothing of the panel is touched after it.
  try {
    const ClickScope scope = click_scope_;
    scope([this] { btnBrowse_Click(); });
  } catch (...) {
  }
}

void SettingsPanel::btnBrowse_Click() noexcept {
  // A click has nobody to report to: every failure, from setting up the
  // dialog onwards, ends it quietly.
  try {
    cdg_->SetFlags(kBrowseFlags);
    cdg_->SetFilter(kBrowseFilter);
    if (!cdg_->ShowOpen()) return;
    // A name that no reply could carry (not UTF-8, or a character XML does
    // not allow) would make every later "GetSettings" fail: taken as a cancel.
    const std::string file_name = cdg_->FileName();
    if (XmlParser::IsText(file_name)) ui_->SetText("txtProgram", file_name);
  } catch (...) {
  }
}

}  // namespace vesk
