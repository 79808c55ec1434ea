#include "settings/ctlStartProgram.h"

namespace vesk {
namespace {

using platform::ControlKind;

// Three rows 345 twips apart; the button stands in the first row only.
constexpr platform::ControlSpec kControls[] = {
    {"lblProgram", ControlKind::kLabel, "Program:", 0, 30, 1335, 255, 1},
    {"txtProgram", ControlKind::kTextBox, "", 1440, 30, 6015, 285, 0},
    {"btnBrowse", ControlKind::kCommandButton, "Browse...", 7560, 0, 1440, 345, 2},
    {"lblArguments", ControlKind::kLabel, "Arguments:", 0, 375, 1335, 255, 3},
    {"txtArguments", ControlKind::kTextBox, "", 1440, 375, 6015, 285, 4},
    {"lblStartIn", ControlKind::kLabel, "Start in:", 0, 720, 1335, 255, 5},
    {"txtStartIn", ControlKind::kTextBox, "", 1440, 720, 6015, 285, 6},
    {"cdg", ControlKind::kCommonDialog, "", 0, 0, 0, 0, -1},
};
constexpr platform::PanelLayout kLayout{9000, 1080, kControls};

// The boxes by position in the settings record.
constexpr const char* kBoxes[] = {"txtProgram", "txtArguments", "txtStartIn"};

}  // namespace

ctlStartProgram::ctlStartProgram() : SettingsPanel("ctlStartProgram", kLayout) {}

const platform::PanelLayout& ctlStartProgram::Layout() { return kLayout; }

std::string ctlStartProgram::ApplySettings(const std::string& params) { return ApplyRecord(params, kBoxes); }

std::string ctlStartProgram::CollectSettings(const std::string& params) { return CollectRecord(params, kBoxes); }

}  // namespace vesk
