#include "dispatch/ClassFactory.h"

#include "dispatch/plugin.h"
#include "host/ErrorNumbers.h"
#include "host/Failure.h"

namespace vesk {

std::unique_ptr<IPlugIn> CreateObjectByClassName(const std::string& class_name) {
  if (class_name == "plugin") return std::make_unique<plugin>();
  throw Failure(errors::kCannotCreateObject, "VeskProgramManager",
                "Cannot create object: no class named \"" + class_name + "\"");
}

}  // namespace vesk
