#include "dispatch/ClassFactory.h"

#include "dispatch/plugin.h"
#include "host/ErrorNumbers.h"
#include "host/Failure.h"
#include "settings/ctlEndProgram.h"
#include "settings/ctlStartProgram.h"

namespace vesk {

std::unique_ptr<IPlugIn> CreateObjectByClassName(const std::string& class_name) {
  // A public entry: out of memory while creating is a Failure too.
  return WithFailures("VeskProgramManager", [&]() -> std::unique_ptr<IPlugIn> {
    if (class_name == "plugin") return std::make_unique<plugin>();
    if (class_name == "ctlStartProgram") return std::make_unique<ctlStartProgram>();
    if (class_name == "ctlEndProgram") return std::make_unique<ctlEndProgram>();
    throw Failure(errors::kCannotCreateObject, "VeskProgramManager",
                  "Cannot create object: no class named \"" + class_name + "\"");
  });
}

}  // namespace vesk
