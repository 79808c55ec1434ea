#pragma once

#include <string>
#include <vector>

#include "host/XmlElement.h"
#include "settings/ctlEndProgram.h"
#include "settings/ctlStartProgram.h"

namespace vesk::test {

// The class name and record boxes of each panel, for tests run on both.
template <class Panel>
struct PanelTraits;

template <>
struct PanelTraits<ctlStartProgram> {
  static constexpr const char* kClass = "ctlStartProgram";
  static constexpr const char* kBoxes[] = {"txtProgram", "txtArguments", "txtStartIn"};
};

template <>
struct PanelTraits<ctlEndProgram> {
  static constexpr const char* kClass = "ctlEndProgram";
  static constexpr const char* kBoxes[] = {"txtProgram"};
};

// A params element holding a record with `values`, any text escaped.
inline std::string ParamsWith(const std::vector<std::string>& values) {
  XmlElement params = XmlElement().CreateElement("params");
  XmlElement settings = XmlElement().CreateElement("sett");
  for (const std::string& value : values) settings.AddElement("s", value);
  params.AppendElement(settings);
  return params.GetXml();
}

// The values of the record in a "GetSettings" reply, in order.
inline std::vector<std::string> RecordValues(const std::string& reply) {
  const XmlElement settings = XmlElement().LoadXml(reply).GetElement("sett", 0);
  std::vector<std::string> values;
  for (int i = 0; !settings.GetElement("s", i).IsEmpty(); ++i) values.push_back(settings.GetElementText("s", i));
  return values;
}

// The first `n` of `values`, padded with empty texts.
inline std::vector<std::string> FirstOf(std::vector<std::string> values, std::size_t n) {
  values.resize(n);
  return values;
}

}  // namespace vesk::test
