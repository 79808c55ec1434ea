#include "vesk-host/Envelope.h"

#include "host/XmlElement.h"

namespace vesk::host_app {

std::string BuildEnvelope(const std::string& target, const std::string& method,
                          const std::vector<std::string>& values) {
  XmlElement request = XmlElement().CreateElement("request");
  request.AddElement("plugin", target);
  request.AddElement("method", method);
  XmlElement params = XmlElement().CreateElement("params");
  if (!values.empty()) {
    XmlElement settings = XmlElement().CreateElement("sett");
    for (const std::string& value : values) settings.AddElement("s", value);
    params.AppendElement(settings);
  }
  request.AppendElement(params);
  return request.GetXml();
}

}  // namespace vesk::host_app
