#include "actions/ActionProtocol.h"

#include "platform/IMessageBox.h"
#include "platform/Platform.h"

namespace vesk {

std::string ActionProtocol::methodCall(const std::string& method, const std::string& params) {
  const XmlElement params_element = XmlElement().LoadXml(params);
  XmlElement result = XmlElement().CreateElement("result");

  if (method == "GetName") {
    result.AddElement("name", texts_.name);
  } else if (method == "ShowAbout") {
    ShowMessage(texts_.about);
  } else if (method == "ShowHelp") {
    ShowMessage(texts_.help);
  } else if (method == "ShowSettings") {
    ShowMessage(texts_.settings);
  } else if (method == "Execute") {
    ExecuteAction(params_element, result);
  } else if (method == "GetActionInfo") {
    result.AddElement("shortdescription", texts_.short_description);
    result.AddElement("category", texts_.category);
    result.AddElement("description", texts_.description);
  } else if (method == "GetSettingsControlName") {
    result.AddElement("name", texts_.settings_control_name);
  }
  return result.GetXml();
}

void ActionProtocol::ShowMessage(const char* text) {
  platform::Current().message_box->ShowMessageBox(text, platform::kMessageBoxInformation, kApplicationTitle);
}

}  // namespace vesk
