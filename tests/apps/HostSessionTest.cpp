#include "vesk-host/HostSession.h"

#include <gtest/gtest.h>


#include "dispatch/plugin.h"
#include "host/Failure.h"
#include "host/XmlElement.h"
#include "platform/sim/SimPlatform.h"
#include "apps/HostSessionIo.h"
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
  std::string out;
  HostSession session(std::make_unique<Echo>(), AppendTo(out), AppendTo(out));
  // Blank lines and comments are skipped; a '#' inside a line is no comment.
  EXPECT_FALSE(session.RunBatch(LinesOf("a\nfail\n\n# fail\n \t\r\nline\nwith #\r\n")));
  EXPECT_EQ(out, "a\nerror 75 (Echo): refused for now\nline\nwith #\n");
}

TEST(HostSessionTest, SingleCallFailsOnEmptyReplyWithPrefixedLines) {
  std::string out, err;
  HostSession session(std::make_unique<Echo>(), AppendTo(out), AppendTo(err));
  session.SetErrorPrefix("vesk-host: ");
  EXPECT_FALSE(session.SendSingle(""));
  EXPECT_FALSE(session.SendSingle("fail"));
  EXPECT_TRUE(session.SendSingle("x"));
  EXPECT_TRUE(session.Send(""));  // a batch line keeps its empty reply
  EXPECT_EQ(out, "x\n\n");
  EXPECT_EQ(err, "vesk-host: empty reply: no plug-in or method of this object answers the request\n"
                 "vesk-host: error 75 (Echo): refused for now\n");
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
  std::string out, err;
  HostSession session(std::make_unique<plugin>(), AppendTo(out), AppendTo(err));
  EXPECT_TRUE(session.Send(BuildEnvelope("StartProgram", "Execute", {"prog", "a b", ""})));
  EXPECT_EQ(out, "<result><success/></result>\n");
  EXPECT_EQ(sim.log.calls().back().args[3], "a b");
}

}  // namespace
}  // namespace vesk::host_app
