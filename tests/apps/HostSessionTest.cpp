#include "vesk-host/HostSession.h"

#include <gtest/gtest.h>

#include <sstream>

#include "dispatch/plugin.h"
#include "host/Failure.h"
#include "host/XmlElement.h"
#include "platform/sim/SimPlatform.h"
#include "vesk-host/Envelope.h"

namespace vesk::host_app {
namespace {

// An object that echoes its request, or fails when asked to.
class Echo : public IPlugIn {
 public:
  std::string MethodCall(const std::string& args) override {
    if (args == "fail") throw Failure(75, "Echo", "refused\nfor now");
    return args;
  }
};

TEST(HostSessionTest, BatchPrintsOneLinePerRequestInOrder) {
  std::istringstream in("a\nfail\n\nline\nwith\r\n");
  std::ostringstream out;
  HostSession session(std::make_unique<Echo>(), out, out);
  EXPECT_FALSE(session.RunBatch(in));
  EXPECT_EQ(out.str(), "a\nerror 75 (Echo): refused for now\n\nline\nwith\n");
}

TEST(HostSessionTest, RepliesWithLineFeedsStayOnOneLine) {
  EXPECT_EQ(OneLine("<r>a\nb</r>"), "<r>a&#10;b</r>");
  // The same text to an XML reader.
  EXPECT_EQ(XmlElement().LoadXml(OneLine("<r><s>a\nb</s></r>")).GetElementText("s", 0), "a\nb");
}

TEST(HostSessionTest, EnvelopeCarriesAnyTextIntact) {
  const std::string tricky = " <a&b> \"q\" 'x' \t";
  const XmlElement request = XmlElement().LoadXml(BuildEnvelope("T", "M", {tricky, "", "z"}));
  EXPECT_EQ(request.GetElementText("plugin", 0), "T");
  const XmlElement settings = request.GetElement("params", 0).GetElement("sett", 0);
  EXPECT_EQ(settings.GetElementText("s", 0), tricky);
  EXPECT_EQ(settings.GetElementText("s", 1), "");
  EXPECT_EQ(settings.GetElementText("s", 2), "z");
  EXPECT_EQ(BuildEnvelope("PlugInInfo", "GetPlugIns", {}),
            "<request><plugin>PlugInInfo</plugin><method>GetPlugIns</method><params/></request>");
}

TEST(HostSessionTest, StartEnvelopeRunsTheStartAction) {
  platform::sim::InstalledSimPlatform sim;
  std::ostringstream out, err;
  HostSession session(std::make_unique<plugin>(), out, err);
  EXPECT_TRUE(session.Send(BuildEnvelope("StartProgram", "Execute", {"prog", "a b", ""})));
  EXPECT_EQ(out.str(), "<result><success/></result>\n");
  EXPECT_EQ(sim.log.calls().back().args[3], "a b");
}

}  // namespace
}  // namespace vesk::host_app
