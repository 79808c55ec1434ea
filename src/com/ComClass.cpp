#include "com/ComClass.h"

#include "com/ComIds.h"
#include "com/PanelControl.h"
#include "com/PlugInObject.h"

namespace vesk::com {
namespace {

constexpr ComClass kClasses[] = {
    {&kCLSID_PlugIn, L"VeskProgramManager.PlugIn", L"PlugIn", &kIID_PlugInDefault, &PlugInObject::Create, false, 0},
    {&kCLSID_ctlStartProgram, L"VeskProgramManager.ctlStartProgram", L"ctlStartProgram",
     &kIID_ctlStartProgramDefault, &PanelControl::CreateStartProgram, true, 30000},
    {&kCLSID_ctlEndProgram, L"VeskProgramManager.ctlEndProgram", L"ctlEndProgram", &kIID_ctlEndProgramDefault,
     &PanelControl::CreateEndProgram, true, 30001},
};

}  // namespace

std::span<const ComClass> ComClasses() { return kClasses; }

const ComClass* FindComClass(REFCLSID clsid) {
  for (const ComClass& row : kClasses) {
    if (IsEqualCLSID(*row.clsid, clsid)) return &row;
  }
  return nullptr;
}

}  // namespace vesk::com
