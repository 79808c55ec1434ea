#include "platform/headless/HeadlessPanelUi.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/Failure.h"
#include "platform/headless/HeadlessPanelUiFactory.h"

namespace vesk::platform::headless {
namespace {

using Kind = ControlKind;

constexpr ControlSpec kControls[] = {
    {"lblName", Kind::kLabel, "Name:", 0, 0, 600, 240, 1},
    {"txtName", Kind::kTextBox, "initial", 600, 0, 1500, 285, 0},
    {"txtOther", Kind::kTextBox, "", 600, 300, 1500, 285, 2},
    {"btnGo", Kind::kCommandButton, "Go", 2200, 0, 900, 345, 3},
    {"cdg", Kind::kCommonDialog, "", 0, 0, 0, 0, -1},
};
constexpr PanelLayout kLayout{3000, 700, kControls};

void ExpectFailure(const std::function<void()>& call, int number, const std::string& source, const char* label) {
  try {
    call();
    ADD_FAILURE() << label << ": expected a failure";
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.number(), number) << label;
    EXPECT_EQ(failure.source(), source) << label;
  }
}

TEST(HeadlessPanelUiTest, TextBoxesStartWithTheirInitialTextAndKeepWhatIsSet) {
  HeadlessPanelUiFactory factory;
  auto panel = factory.CreatePanel(kLayout, nullptr);
  EXPECT_EQ(panel->GetText("txtName"), "initial");
  EXPECT_EQ(panel->GetText("txtOther"), "");
  panel->SetText("txtOther", "  any\ttext  ");
  EXPECT_EQ(panel->GetText("txtOther"), "  any\ttext  ");
  EXPECT_EQ(panel->GetText("txtName"), "initial");
}

TEST(HeadlessPanelUiTest, OnlyTextBoxesHaveTextAndOnlyButtonsClick) {
  HeadlessPanelUiFactory factory;
  std::vector<std::string> clicks;
  auto owned = factory.CreatePanel(kLayout, [&](const std::string& name) { clicks.push_back(name); });
  HeadlessPanelUi& panel = *factory.panels().at(0);
  for (const char* name : {"lblName", "btnGo", "cdg", "txtname", "nope", ""}) {
    ExpectFailure([&] { panel.SetText(name, "x"); }, 5, "PanelUi", name);
    ExpectFailure([&] { static_cast<void>(panel.GetText(name)); }, 5, "PanelUi", name);
  }
  for (const char* name : {"txtName", "lblName", "cdg", "btngo"}) {
    ExpectFailure([&] { panel.Click(name); }, 5, "PanelUi", name);
  }
  panel.Click("btnGo");
  panel.Click("btnGo");
  EXPECT_EQ(clicks, (std::vector<std::string>{"btnGo", "btnGo"}));
}

TEST(HeadlessPanelUiTest, FactoryListsLivePanelsOldestFirst) {
  HeadlessPanelUiFactory factory;
  auto first = factory.CreatePanel(kLayout, nullptr);
  auto second = factory.CreatePanel(kLayout, nullptr);
  auto third = factory.CreatePanel(kLayout, nullptr);
  ASSERT_EQ(factory.panels().size(), 3u);
  EXPECT_EQ(factory.panels()[0], first.get());
  second.reset();
  EXPECT_EQ(factory.panels(), (std::vector<HeadlessPanelUi*>{static_cast<HeadlessPanelUi*>(first.get()),
                                                             static_cast<HeadlessPanelUi*>(third.get())}));
  first.reset();
  third.reset();
  EXPECT_TRUE(factory.panels().empty());
}

TEST(HeadlessFileOpenDialogTest, AnswersInScriptOrderAndCancelsWhenNoneIsLeft) {
  HeadlessPanelUiFactory factory;
  auto dialog = factory.CreateFileOpenDialog();
  auto other = factory.CreateFileOpenDialog();
  EXPECT_EQ(dialog->FileName(), "");
  factory.script().Choose("/first path");
  factory.script().Cancel();
  factory.script().FailToDisplay();
  factory.script().Choose("/second");

  EXPECT_TRUE(dialog->ShowOpen());
  EXPECT_EQ(dialog->FileName(), "/first path");
  EXPECT_FALSE(dialog->ShowOpen());
  EXPECT_EQ(dialog->FileName(), "/first path") << "a cancel keeps the name";
  ExpectFailure([&] { dialog->ShowOpen(); }, 75, "FileOpenDialog", "scripted failure");
  EXPECT_EQ(dialog->FileName(), "/first path");
  // The script is shared; the file name is each dialog's own.
  EXPECT_TRUE(other->ShowOpen());
  EXPECT_EQ(other->FileName(), "/second");
  EXPECT_EQ(dialog->FileName(), "/first path");
  EXPECT_FALSE(dialog->ShowOpen());
  EXPECT_FALSE(other->ShowOpen());
  EXPECT_EQ(other->FileName(), "/second");
}

}  // namespace
}  // namespace vesk::platform::headless
