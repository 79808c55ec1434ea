// The control tables every UI backend draws.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "platform/PanelLayout.h"
#include "settings/ctlEndProgram.h"
#include "settings/ctlStartProgram.h"

namespace vesk {
namespace {

using platform::ControlKind;
using platform::ControlSpec;
using platform::PanelLayout;

const ControlSpec& Control(const PanelLayout& layout, const std::string& name) {
  for (const ControlSpec& control : layout.controls) {
    if (name == control.name) return control;
  }
  throw std::out_of_range("no control " + name);
}

struct Row {
  const char* label;
  const PanelLayout& layout;
  std::vector<std::string> focus_order;  // by tab index, labels and the dialog left out
  std::vector<std::string> rows;         // the text boxes, top to bottom
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.label; }

class PanelLayoutTest : public ::testing::TestWithParam<Row> {};

TEST_P(PanelLayoutTest, DesignSizeAndWholePixels) {
  const PanelLayout& layout = GetParam().layout;
  EXPECT_EQ(layout.width, 9000);
  EXPECT_EQ(layout.height, 1080);
  for (const ControlSpec& c : layout.controls) {
    for (int value : {c.left, c.top, c.width, c.height}) {
      EXPECT_EQ(value % platform::kTwipsPerPixel, 0) << c.name;
    }
    EXPECT_LE(c.left + c.width, layout.width) << c.name;
    EXPECT_LE(c.top + c.height, layout.height) << c.name;
  }
}

TEST_P(PanelLayoutTest, NamesAreUniqueAndOneDialogHasNoPlace) {
  const PanelLayout& layout = GetParam().layout;
  std::set<std::string> names;
  int dialogs = 0;
  for (const ControlSpec& c : layout.controls) {
    EXPECT_TRUE(names.insert(c.name).second) << c.name;
    EXPECT_EQ(std::string(c.caption).find('&'), std::string::npos) << "no access keys: " << c.name;
    if (c.kind == ControlKind::kCommonDialog) {
      ++dialogs;
      EXPECT_STREQ(c.name, "cdg");
      EXPECT_EQ(c.tab_index, -1);
    }
  }
  EXPECT_EQ(dialogs, 1);
  EXPECT_STREQ(Control(layout, "btnBrowse").caption, "Browse...");
}

TEST_P(PanelLayoutTest, FocusFollowsTabIndexes) {
  std::vector<const ControlSpec*> focusable;
  std::set<int> indexes;
  for (const ControlSpec& c : GetParam().layout.controls) {
    if (c.kind == ControlKind::kCommonDialog) continue;
    EXPECT_TRUE(indexes.insert(c.tab_index).second) << c.name;
    if (c.kind != ControlKind::kLabel) focusable.push_back(&c);
  }
  std::sort(focusable.begin(), focusable.end(),
            [](const ControlSpec* a, const ControlSpec* b) { return a->tab_index < b->tab_index; });
  std::vector<std::string> order;
  for (const ControlSpec* c : focusable) order.push_back(c->name);
  EXPECT_EQ(order, GetParam().focus_order);
}

TEST_P(PanelLayoutTest, RowsOfLabelAndBoxWithButtonAtTheRightOfTheFirst) {
  const PanelLayout& layout = GetParam().layout;
  const std::vector<std::string>& rows = GetParam().rows;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const ControlSpec& box = Control(layout, rows[i]);
    const ControlSpec& label = Control(layout, "lbl" + rows[i].substr(3));
    EXPECT_EQ(box.kind, ControlKind::kTextBox) << box.name;
    EXPECT_STREQ(box.caption, "") << box.name;
    EXPECT_EQ(box.left, 1440) << box.name;
    EXPECT_EQ(label.kind, ControlKind::kLabel) << label.name;
    EXPECT_EQ(label.left, 0) << label.name;
    EXPECT_EQ(label.top, box.top) << label.name;
    EXPECT_LT(label.left + label.width, box.left) << label.name;
    if (i > 0) {
      EXPECT_EQ(box.top - Control(layout, rows[i - 1]).top, 345) << box.name;
    }
  }
  const ControlSpec& first = Control(layout, rows.front());
  const ControlSpec& button = Control(layout, "btnBrowse");
  EXPECT_EQ(button.kind, ControlKind::kCommandButton);
  EXPECT_EQ(button.left + button.width, layout.width);
  EXPECT_EQ(button.left, first.left + first.width + 105);
  EXPECT_EQ(button.top, first.top - 30);
  EXPECT_EQ(button.width / platform::kTwipsPerPixel, 96);
  EXPECT_EQ(button.height / platform::kTwipsPerPixel, 23);
}

INSTANTIATE_TEST_SUITE_P(
    Panels, PanelLayoutTest,
    ::testing::Values(Row{"ctlStartProgram", ctlStartProgram::Layout(),
                          {"txtProgram", "btnBrowse", "txtArguments", "txtStartIn"},
                          {"txtProgram", "txtArguments", "txtStartIn"}},
                      Row{"ctlEndProgram", ctlEndProgram::Layout(), {"txtProgram", "btnBrowse"}, {"txtProgram"}}),
    [](const ::testing::TestParamInfo<Row>& row) { return std::string(row.param.label); });

TEST(PanelLayoutTest, EndPanelRowSitsLowerThanStartPanelFirstRow) {
  EXPECT_EQ(Control(ctlEndProgram::Layout(), "txtProgram").top - Control(ctlStartProgram::Layout(), "txtProgram").top,
            90);
  EXPECT_EQ(Control(ctlStartProgram::Layout(), "lblStartIn").caption, std::string("Start in:"));
  EXPECT_EQ(Control(ctlEndProgram::Layout(), "lblProgram").caption, std::string("Program:"));
}

}  // namespace
}  // namespace vesk
