#include "dispatch/plugin.h"

#include <gtest/gtest.h>

#include "TestRequests.h"
#include "actions/StartProgram.h"
#include "dispatch/ClassFactory.h"
#include "host/ErrorNumbers.h"
#include "host/Failure.h"
#include "host/XmlElement.h"
#include "platform/sim/SimPlatform.h"

namespace vesk {
namespace {

using test::Envelope;
using test::Record;

constexpr const char* kCatalogue =
    "<result><plugins><plugin><type>ActionPlugIn</type><name>StartProgram</name></plugin>"
    "<plugin><type>ActionPlugIn</type><name>EndProgram</name></plugin></plugins></result>";

class PluginTest : public ::testing::Test {
 protected:
  platform::sim::InstalledSimPlatform sim;
  plugin entry;
};

TEST_F(PluginTest, CatalogueIsExactWhateverParamsHold) {
  EXPECT_EQ(entry.MethodCall(Envelope("PlugInInfo", "GetPlugIns")), kCatalogue);
  EXPECT_EQ(entry.MethodCall(Envelope("PlugInInfo", "GetPlugIns", "<params><x a='1'>junk</x></params>")), kCatalogue);
  EXPECT_EQ(entry.MethodCall("<anything><method>GetPlugIns</method><params/><plugin>PlugInInfo</plugin></anything>"),
            kCatalogue);
  EXPECT_TRUE(sim.log.calls().empty());
}

TEST_F(PluginTest, OnlyExactTargetsAndMethodsAreRecognised) {
  struct Row {
    const char* label;
    const char* target;
    const char* method;
  } rows[] = {
      {"catalogue method lower case", "PlugInInfo", "getplugins"},
      {"catalogue method with blank", "PlugInInfo", "GetPlugIns "},
      {"catalogue other method", "PlugInInfo", "GetName"},
      {"target lower case", "pluginInfo", "GetPlugIns"},
      {"start target lower case", "startprogram", "GetName"},
      {"start target with blank", " StartProgram", "GetName"},
      {"unknown target", "Nothing", "GetName"},
      {"empty target", "", "GetName"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(entry.MethodCall(Envelope(row.target, row.method)), "") << row.label;
  }
}

TEST_F(PluginTest, OnlyFirstChildOfEachNameCounts) {
  const std::string request =
      "<r><plugin>StartProgram</plugin><plugin>PlugInInfo</plugin><method>GetName</method>"
      "<method>GetPlugIns</method><params/><params>not xml?</params></r>";
  EXPECT_EQ(entry.MethodCall(request), "<result><name>Start program plug-in</name></result>");
}

TEST_F(PluginTest, ActionReceivesParamsWithItsOwnTag) {
  // Execute reads sett from the params element it is given, so the whole
  // element, tag included, must reach the action.
  EXPECT_EQ(entry.MethodCall(Envelope("StartProgram", "Execute", Record({"prog", "a b", "/tmp"}))),
            "<result><success/></result>");
  ASSERT_EQ(sim.log.Count("StartFile"), 1);
}

TEST_F(PluginTest, UnknownActionMethodGivesActionsEmptyResult) {
  EXPECT_EQ(entry.MethodCall(Envelope("StartProgram", "NoSuchMethod")), "<result/>");
}

TEST_F(PluginTest, MissingChildren) {
  // No params: the missing element fails when asked for its text, for every target.
  for (const char* target : {"PlugInInfo", "StartProgram", "Other"}) {
    try {
      entry.MethodCall(std::string("<r><plugin>") + target + "</plugin><method>GetPlugIns</method></r>");
      ADD_FAILURE() << target << ": expected a failure";
    } catch (const Failure& failure) {
      EXPECT_EQ(failure.number(), errors::kEmptyElement) << target;
      EXPECT_EQ(failure.source(), "XmlElement") << target;
    }
  }
  // No plugin or method: their texts read as empty, giving the empty reply.
  EXPECT_EQ(entry.MethodCall("<r><params/></r>"), "");
}

TEST_F(PluginTest, BadInputIsAFailedCallNeverACrash) {
  const std::string deep = std::string(100000, '<') + "a>";
  std::string nested;
  for (int i = 0; i < 5000; ++i) nested += "<a>";
  const char* bad[] = {"", "not xml", "<r>", "<r></s>", "<r/><r/>", "<!DOCTYPE r><r/>", "<r>&bogus;</r>",
                       "<r>\xff\xfe</r>"};
  for (const std::string& text : std::initializer_list<std::string>{bad[0], bad[1], bad[2], bad[3], bad[4], bad[5],
                                                                     bad[6], bad[7], deep, nested}) {
    try {
      entry.MethodCall(text);
      ADD_FAILURE() << "accepted: " << text.substr(0, 40);
    } catch (const Failure& failure) {
      EXPECT_EQ(failure.number(), errors::kXmlParse) << text.substr(0, 40);
      EXPECT_FALSE(failure.description().empty());
    }
  }
}

// A request over the size limit fails before it is read, well-formed or not,
// on every object; one of exactly the limit is served.
TEST(RequestSizeLimit, LongerRequestsFailBeforeParsing) {
  platform::sim::InstalledSimPlatform sim;
  constexpr std::size_t kLimit = XmlElement::kMaxTextSize;
  const auto padded = [](const std::string& target, const std::string& method, std::size_t size) {
    const std::string bare = Envelope(target, method, "<params></params>");
    return Envelope(target, method, "<params>" + std::string(size - bare.size(), 'x') + "</params>");
  };
  const struct {
    const char* class_name;
    const char* target;
    const char* method;
    const char* reply;  // at the limit
  } rows[] = {
      {"plugin", "PlugInInfo", "GetPlugIns", kCatalogue},
      {"plugin", "StartProgram", "GetName", "<result><name>Start program plug-in</name></result>"},
      {"ctlStartProgram", "x", "GetSettings", "<result><sett><s/><s/><s/></sett></result>"},
      {"ctlEndProgram", "x", "GetSettings", "<result><sett><s/></sett></result>"},
  };
  for (const auto& row : rows) {
    const auto object = CreateObjectByClassName(row.class_name);
    const std::string at_limit = padded(row.target, row.method, kLimit);
    ASSERT_EQ(at_limit.size(), kLimit);
    EXPECT_EQ(object->MethodCall(at_limit), row.reply) << row.class_name << " " << row.method;
    for (const std::string& request : {padded(row.target, row.method, kLimit + 1), std::string(kLimit + 7, '<')}) {
      try {
        object->MethodCall(request);
        ADD_FAILURE() << row.class_name << ": accepted " << request.size() << " bytes";
      } catch (const Failure& failure) {
        EXPECT_EQ(failure.number(), errors::kOutOfMemory) << row.class_name;
        EXPECT_EQ(failure.source(), "XmlElement") << row.class_name;
        EXPECT_EQ(failure.description(), "The XML text is " + std::to_string(request.size()) +
                                             " bytes long, more than the limit of 4194304 bytes")
            << row.class_name;
      }
    }
  }
  // The params text handed to an action directly is held to the same limit.
  StartProgram action;
  try {
    action.methodCall("GetName", "<params>" + std::string(kLimit, ' ') + "</params>");
    ADD_FAILURE() << "long params accepted";
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.number(), errors::kOutOfMemory);
  }
}

TEST_F(PluginTest, TwoRequestsUseTwoActionObjects) {
  // An action keeps nothing: a failed Execute does not affect the next request.
  sim.shell.set_outcome({platform::StartOutcome::Result::kFileNotFound, "gone"});
  EXPECT_THROW(entry.MethodCall(Envelope("StartProgram", "Execute", Record({"x"}))), Failure);
  sim.shell.set_outcome({});
  EXPECT_EQ(entry.MethodCall(Envelope("StartProgram", "Execute", Record({"x"}))), "<result><success/></result>");
}

TEST(ClassFactoryTest, CreatesByClassNameAndRejectsOthers) {
  platform::sim::InstalledSimPlatform sim;
  auto object = CreateObjectByClassName("plugin");
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(object->MethodCall(Envelope("PlugInInfo", "GetPlugIns")), kCatalogue);
  for (const char* name : {"Plugin", "", "StartProgram", "EndProgram"}) {
    try {
      CreateObjectByClassName(name);
      ADD_FAILURE() << name;
    } catch (const Failure& failure) {
      EXPECT_EQ(failure.number(), errors::kCannotCreateObject) << name;
    }
  }
}

}  // namespace
}  // namespace vesk
