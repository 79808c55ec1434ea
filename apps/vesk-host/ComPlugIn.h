#pragma once

#include <memory>
#include <string>

#include "com/ComInterfaces.h"
#include "com/ComPtr.h"
#include "host/IPlugIn.h"
#include "vesk-host/ComApartment.h"

namespace vesk::host_app {

// An object of the registered server, created through COM by its ProgID as
// a host creates it, and called through IPlugIn.MethodCall. The server shows
// its own message boxes and dialogs: host commands cannot reach them.
class ComPlugIn : public IPlugIn {
 public:
  // `class_name` as in linked mode: "plugin", "ctlStartProgram" or
  // "ctlEndProgram". An unknown name, a class that is not registered or
  // cannot be created fails with errors::kCannotCreateObject.
  static std::unique_ptr<IPlugIn> Create(const std::string& class_name);

  // The ProgID for `class_name`, or an empty text for an unknown name.
  static std::string ProgIdOf(const std::string& class_name);

  std::string MethodCall(const std::string& args) override;

 private:
  ComPlugIn() = default;

  ComApartment apartment_;              // first: outlives the object
  com::ComPtr<com::IPlugInCom> object_;
};

}  // namespace vesk::host_app
