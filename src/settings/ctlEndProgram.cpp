#include "settings/ctlEndProgram.h"

namespace vesk {
namespace {

using platform::ControlKind;

// One row, 90 twips lower than the start panel's first row, on the same
// design size.
constexpr platform::ControlSpec kControls[] = {
    {"lblProgram", ControlKind::kLabel, "Program:", 0, 120, 1335, 255, 0},
    {"txtProgram", ControlKind::kTextBox, "", 1440, 120, 6015, 285, 1},
    {"btnBrowse", ControlKind::kCommandButton, "Browse...", 7560, 90, 1440, 345, 2},
    {"cdg", ControlKind::kCommonDialog, "", 0, 0, 0, 0, -1},
};
constexpr platform::PanelLayout kLayout{9000, 1080, kControls};

constexpr const char* kBoxes[] = {"txtProgram"};

}  // namespace

ctlEndProgram::ctlEndProgram() : SettingsPanel("ctlEndProgram", kLayout) {}

const platform::PanelLayout& ctlEndProgram::Layout() { return kLayout; }

std::string ctlEndProgram::ApplySettings(const std::string& params) { return ApplyRecord(params, kBoxes); }

std::string ctlEndProgram::CollectSettings(const std::string& params) { return CollectRecord(params, kBoxes); }

}  // namespace vesk
