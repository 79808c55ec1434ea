#include "com/ComClass.h"

#include "com/ComIds.h"
#include "com/PlugInObject.h"

namespace vesk::com {
namespace {

// The settings panels are declared in the type library but join this table
// only once they exist as objects.
constexpr ComClass kClasses[] = {
    {&kCLSID_PlugIn, L"VeskProgramManager.PlugIn", L"PlugIn", &kIID_PlugInDefault, &PlugInObject::Create, false},
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
