#pragma once

#include <memory>
#include <string>

#include "host/IPlugIn.h"

namespace vesk {

// Creates a new object of the library's class `class_name` ("plugin" and the
// settings panels), as a host does by class name. An unknown name fails
// with errors::kCannotCreateObject.
std::unique_ptr<IPlugIn> CreateObjectByClassName(const std::string& class_name);

}  // namespace vesk
