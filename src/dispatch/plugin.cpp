#include "dispatch/plugin.h"

#include <iterator>

#include "actions/EndProgram.h"
#include "actions/StartProgram.h"
#include "host/Failure.h"
#include "host/XmlElement.h"

namespace vesk {
namespace {

// The targets that lead to an action, each with the call that serves it.
struct Route {
  const char* target;
  std::string (*call)(const std::string& method, const std::string& params);
};

// What a request envelope says. Read by a function of its own, so that the
// envelope's tree is gone before the params are parsed again: a large
// request is held as a tree once at a time.
struct Request {
  std::string target;
  std::string method;
  std::string params;
};

Request ReadRequest(const std::string& args) {
  const XmlElement request = XmlElement().LoadXml(args);
  return {request.GetElementText("plugin", 0), request.GetElementText("method", 0),
          request.GetElement("params", 0).GetXml()};
}

}  // namespace

std::string plugin::MethodCall(const std::string& args) {
  return WithFailures("plugin", [&] { return IPlugIn_MethodCall(args); });
}

std::string plugin::IPlugIn_MethodCall(const std::string& args) {
  static constexpr Route kRoutes[] = {
      {"StartProgram", &plugin::CallStartProgram},
      {"EndProgram", &plugin::CallEndProgram},
  };

  const auto [target, method, params] = ReadRequest(args);

  if (target == "PlugInInfo") {
    return method == "GetPlugIns" ? BuildPlugInList() : std::string();
  }
  for (const Route& route : kRoutes) {
    if (target == route.target) return route.call(method, params);
  }
  return std::string();
}

std::string plugin::BuildPlugInList() {
  return "<result><plugins>"
         "<plugin><type>ActionPlugIn</type><name>StartProgram</name></plugin>"
         "<plugin><type>ActionPlugIn</type><name>EndProgram</name></plugin>"
         "</plugins></result>";
}

std::string plugin::CallStartProgram(const std::string& method, const std::string& params) {
  StartProgram action;
  return action.methodCall(method, params);
}

std::string plugin::CallEndProgram(const std::string& method, const std::string& params) {
  EndProgram action;
  return action.methodCall(method, params);
}

}  // namespace vesk
