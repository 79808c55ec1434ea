// Behaviour both settings panels share, run on each of them.
#include "settings/SettingsPanel.h"

#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <memory>

#include "TestRequests.h"
#include "host/Failure.h"
#include "platform/sim/SimPlatform.h"
#include "settings/PanelTestSupport.h"

namespace vesk {
namespace {

using platform::sim::SimCall;
using test::Envelope;
using test::FirstOf;
using test::ParamsWith;
using test::RecordValues;
using Values = std::vector<std::string>;

constexpr const char* kFilter = "Executables (*.exe)|*.exe|All files (*.*)|*.*";

template <class Panel>
class SettingsPanelTest : public ::testing::Test {
 protected:
  using Traits = test::PanelTraits<Panel>;
  static constexpr std::size_t kCount = std::size(Traits::kBoxes);

  std::string Call(const std::string& method, const std::string& params = "<params/>") {
    return panel.MethodCall(Envelope("Anything", method, params));
  }
  std::string Set(const Values& values) { return Call("SetSettings", ParamsWith(values)); }
  Values Get() { return RecordValues(Call("GetSettings")); }
  void Click(std::size_t panel_index = 0) { sim.ui.panels().at(panel_index)->Click("btnBrowse"); }
  // The calls named `name` in the log.
  std::vector<SimCall> Calls(const std::string& name) const {
    std::vector<SimCall> found;
    for (const SimCall& call : sim.log.calls()) {
      if (call.name == name) found.push_back(call);
    }
    return found;
  }

  platform::sim::InstalledSimPlatform sim;
  Panel panel;
  const Values old_ = FirstOf({"old 0", "old 1", "old 2"}, kCount);
  const Values new_ = FirstOf({"new 0", "new 1", "new 2"}, kCount);
};

using Panels = ::testing::Types<ctlStartProgram, ctlEndProgram>;
TYPED_TEST_SUITE(SettingsPanelTest, Panels);

TYPED_TEST(SettingsPanelTest, FreshPanelGivesRecordOfEmptyValues) {
  std::string expected = "<result><sett>";
  for (std::size_t i = 0; i < this->kCount; ++i) expected += "<s/>";
  expected += "</sett></result>";
  this->sim.log.Clear();
  EXPECT_EQ(this->Call("GetSettings"), expected);
  // GetSettings only reads the boxes, in record order; the params are not used.
  EXPECT_EQ(this->Call("GetSettings", "<params><sett><s>x</s></sett><other a='1'/></params>"), expected);
  const auto reads = this->Calls("GetText");
  ASSERT_EQ(reads.size(), 2 * this->kCount);
  for (std::size_t i = 0; i < reads.size(); ++i) {
    EXPECT_EQ(reads[i].args[1], TestFixture::Traits::kBoxes[i % this->kCount]) << i;
  }
  EXPECT_EQ(this->sim.log.Count("SetText"), 0);
}

TYPED_TEST(SettingsPanelTest, SetSettingsRepliesEmptyResultAndRecordComesBackUntrimmed) {
  const Values rows[] = {
      {"C:\\Program Files\\app.exe", "-x /y", "C:\\Temp"},
      {"  leading", "trailing  ", "  both  "},
      {"a & <b> \"q\" 'x'", "tab\there", "line\nbreak"},
      {"na\xC3\xAFve \xE2\x82\xAC", "", " "},
      {"", "", ""},
  };
  for (const Values& row : rows) {
    const Values values = FirstOf(row, this->kCount);
    EXPECT_EQ(this->Set(values), "<result/>") << row[0];
    EXPECT_EQ(this->Get(), values) << row[0];
  }
  this->Set(FirstOf({"C:\\p.exe", "-a", "C:\\"}, this->kCount));
  const std::string expected = this->kCount == 3 ? "<result><sett><s>C:\\p.exe</s><s>-a</s><s>C:\\</s></sett></result>"
                                                 : "<result><sett><s>C:\\p.exe</s></sett></result>";
  EXPECT_EQ(this->Call("GetSettings"), expected);
}

TYPED_TEST(SettingsPanelTest, RecordsWithMoreOrFewerValues) {
  struct Row {
    const char* label;
    std::string params;
    Values expected;
  } rows[] = {
      {"no values", "<params><sett/></params>", {"", "", ""}},
      {"one value", ParamsWith({"a"}), {"a", "", ""}},
      {"two values", ParamsWith({"a", "b"}), {"a", "b", ""}},
      {"five values", ParamsWith({"a", "b", "c", "d", "e"}), {"a", "b", "c"}},
      {"other children between", "<params><sett><x>no</x><s>a</s><y/><s>b</s></sett></params>", {"a", "b", ""}},
      {"empty s elements", "<params><sett><s/><s></s><s/></sett></params>", {"", "", ""}},
  };
  for (const Row& row : rows) {
    this->Set(this->old_);
    EXPECT_EQ(this->Call("SetSettings", row.params), "<result/>") << row.label;
    EXPECT_EQ(this->Get(), FirstOf(row.expected, this->kCount)) << row.label;
  }
}

TYPED_TEST(SettingsPanelTest, OnlyExactMethodNamesAreRecognised) {
  this->Set(this->old_);
  this->sim.log.Clear();
  for (const char* method : {"setsettings", "SETSETTINGS", " SetSettings", "SetSettings ", "getSettings",
                             "GetSettings\t", "", "Execute", "GetName"}) {
    EXPECT_EQ(this->Call(method, ParamsWith(this->new_)), "") << '[' << method << ']';
  }
  EXPECT_TRUE(this->sim.log.calls().empty());
  EXPECT_EQ(this->Get(), this->old_);
}

TYPED_TEST(SettingsPanelTest, TargetOfEnvelopePlaysNoPart) {
  const std::string params = ParamsWith(this->new_);
  for (const std::string& request :
       {"<r><method>SetSettings</method>" + params + "</r>", Envelope("", "SetSettings", params),
        Envelope("PlugInInfo", "SetSettings", params), Envelope("ctlEndProgram", "SetSettings", params),
        Envelope("ctlStartProgram", "SetSettings", params)}) {
    this->Set(this->old_);
    EXPECT_EQ(this->panel.MethodCall(request), "<result/>") << request;
    EXPECT_EQ(this->Get(), this->new_) << request;
  }
}

TYPED_TEST(SettingsPanelTest, FailedRequestsChangeNoBox) {
  const std::string class_name = TestFixture::Traits::kClass;
  struct Row {
    const char* label;
    std::string request;
    int number;
    const char* source;
  } rows[] = {
      {"SetSettings without params", "<r><plugin>x</plugin><method>SetSettings</method></r>", 91, "XmlElement"},
      {"GetSettings without params", "<r><plugin>x</plugin><method>GetSettings</method></r>", 91, "XmlElement"},
      {"unknown method without params", "<r><plugin>x</plugin><method>Nope</method></r>", 91, "XmlElement"},
      {"params not an element child", "<r><method>GetSettings</method>params</r>", 91, "XmlElement"},
      {"SetSettings without sett", Envelope("x", "SetSettings", "<params/>"), 91, "XmlElement"},
      {"SetSettings with sett nested too deep", Envelope("x", "SetSettings", "<params><a><sett><s>v</s></sett></a></params>"), 91, "XmlElement"},
      {"malformed envelope", "<r><method>SetSettings</method><params>", 1000, "XmlElement"},
  };
  for (const Row& row : rows) {
    this->Set(this->old_);
    this->sim.log.Clear();
    try {
      this->panel.MethodCall(row.request);
      ADD_FAILURE() << row.label << ": expected a failure";
    } catch (const Failure& failure) {
      EXPECT_EQ(failure.number(), row.number) << row.label;
      EXPECT_EQ(failure.source(), row.source) << row.label;
    }
    EXPECT_EQ(this->sim.log.Count("SetText"), 0) << row.label;
    EXPECT_EQ(this->Get(), this->old_) << row.label;
  }
}

TYPED_TEST(SettingsPanelTest, BoxFailingMidwayKeepsEarlierBoxesNewAndLaterOld) {
  for (std::size_t failing = 1; failing <= this->kCount; ++failing) {
    this->Set(this->old_);
    this->sim.log.Clear();
    this->sim.ui.FailSetText(static_cast<int>(failing));
    try {
      this->Set(this->new_);
      ADD_FAILURE() << "box " << failing << ": expected a failure";
    } catch (const Failure& failure) {
      EXPECT_EQ(failure.number(), 7);
      EXPECT_EQ(failure.source(), "SimPanelUi");
    }
    EXPECT_EQ(this->sim.log.Count("SetText"), static_cast<int>(failing)) << "no box is set after the failure";
    Values expected = this->old_;
    for (std::size_t i = 0; i + 1 < failing; ++i) expected[i] = this->new_[i];
    EXPECT_EQ(this->Get(), expected) << "box " << failing;
  }
}

TYPED_TEST(SettingsPanelTest, BrowseSetsFlagsAndFilterThenTakesConfirmedFile) {
  this->Set(this->old_);
  this->sim.log.Clear();
  this->sim.ui.script().Choose("/opt/tools/app.exe");
  this->Click();
  const std::vector<SimCall> expected = {
      {"SetFlags", {"cdg#1", "4100"}},
      {"SetFilter", {"cdg#1", kFilter}},
      {"ShowOpen", {"cdg#1", "chose /opt/tools/app.exe"}},
      {"SetText", {"panel#1", "txtProgram", "/opt/tools/app.exe"}},
  };
  ASSERT_EQ(this->sim.log.calls().size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(this->sim.log.calls()[i].name, expected[i].name) << i;
    EXPECT_EQ(this->sim.log.calls()[i].args, expected[i].args) << i;
  }
  Values values = this->old_;
  values[0] = "/opt/tools/app.exe";
  EXPECT_EQ(this->Get(), values);
}

TYPED_TEST(SettingsPanelTest, CancelledOrFailedBrowseKeepsTypedProgram) {
  enum class Step { kCancel, kFail, kNoAnswer, kSetTextFails, kChoose };
  const struct {
    const char* label;
    Step step;
    const char* chosen = "/new/choice";
  } rows[] = {
      {"cancel", Step::kCancel},
      {"dialog fails to display", Step::kFail},
      {"nobody answers", Step::kNoAnswer},
      {"box refuses the chosen path", Step::kSetTextFails},
      {"chosen name not UTF-8", Step::kChoose, "/opt/caf\xE9.exe"},
      {"chosen name truncated UTF-8", Step::kChoose, "/opt/\xE2\x82"},
      {"chosen name with a control character", Step::kChoose, "/opt/a\x01" "b"},
  };
  for (const auto& row : rows) {
    // The dialog already holds an earlier choice; the user typed since.
    this->sim.ui.script().Choose("/earlier/choice");
    this->Click();
    this->Set(this->old_);
    this->sim.log.Clear();
    if (row.step == Step::kCancel) this->sim.ui.script().Cancel();
    if (row.step == Step::kFail) this->sim.ui.script().FailToDisplay();
    if (row.step == Step::kChoose) this->sim.ui.script().Choose(row.chosen);
    if (row.step == Step::kSetTextFails) {
      this->sim.ui.script().Choose(row.chosen);
      this->sim.ui.FailSetText(1);
    }
    EXPECT_NO_THROW(this->Click()) << row.label;
    EXPECT_EQ(this->sim.log.Count("ShowOpen"), 1) << row.label;
    EXPECT_EQ(this->Get(), this->old_) << row.label;
  }
  EXPECT_EQ(this->sim.ui.script().pending(), 0u);
}

// The owner's click scope spans the whole click, dialog included, and may
// destroy the panel as it ends (a control released while its dialog was
// open): nothing of the panel may be touched after that (ASan watches).
TYPED_TEST(SettingsPanelTest, ClickScopeSpansTheClickAndMayEndThePanel) {
  auto owned = std::make_unique<TypeParam>();
  std::vector<std::size_t> dialogs_seen;
  owned->SetClickScope([&](const std::function<void()>& click) {
    dialogs_seen.push_back(this->Calls("ShowOpen").size());
    click();
    dialogs_seen.push_back(this->Calls("ShowOpen").size());
    owned.reset();  // the last owner lets go as the click ends
  });
  this->sim.ui.script().Choose("/opt/tools/app.exe");
  this->Click(1);
  EXPECT_EQ(owned, nullptr);
  EXPECT_EQ(dialogs_seen, (std::vector<std::size_t>{0, 1}));
  EXPECT_EQ(this->Calls("SetText").back().args, (std::vector<std::string>{"panel#2", "txtProgram", "/opt/tools/app.exe"}));
  EXPECT_EQ(this->sim.ui.panels().size(), 1u);  // the fixture's own panel is untouched
}

TYPED_TEST(SettingsPanelTest, OneDialogServesEveryClickOfThePanel) {
  EXPECT_EQ(this->sim.log.Count("CreateFileOpenDialog"), 1);
  this->sim.ui.script().Choose("/a");
  this->sim.ui.script().Cancel();
  this->sim.ui.script().Choose("/b");
  for (int i = 0; i < 3; ++i) this->Click();
  for (const SimCall& call : this->Calls("ShowOpen")) EXPECT_EQ(call.args[0], "cdg#1");
  EXPECT_EQ(this->sim.log.Count("ShowOpen"), 3);
  EXPECT_EQ(this->sim.log.Count("CreateFileOpenDialog"), 1);
  EXPECT_EQ(this->Get()[0], "/b");
}

TYPED_TEST(SettingsPanelTest, TwoPanelsShareNeitherBoxesNorDialogs) {
  TypeParam other;
  this->Set(this->old_);
  EXPECT_EQ(test::RecordValues(other.MethodCall(Envelope("x", "GetSettings"))), Values(this->kCount));

  this->sim.log.Clear();
  this->sim.ui.script().Choose("/other/choice");
  this->Click(1);
  for (const SimCall& call : this->sim.log.calls()) EXPECT_NE(call.args[0], "cdg#1") << call.name;
  EXPECT_EQ(this->Calls("ShowOpen").at(0).args[0], "cdg#2");
  EXPECT_EQ(this->Get(), this->old_);
  EXPECT_EQ(test::RecordValues(other.MethodCall(Envelope("x", "GetSettings")))[0], "/other/choice");

  this->sim.log.Clear();
  this->Click(0);  // no answer: cancelled
  EXPECT_EQ(this->Calls("ShowOpen").at(0).args, (std::vector<std::string>{"cdg#1", "cancelled"}));
  EXPECT_EQ(this->Get(), this->old_);
}

}  // namespace
}  // namespace vesk
