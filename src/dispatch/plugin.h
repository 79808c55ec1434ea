#pragma once

#include <string>

#include "host/IPlugIn.h"

namespace vesk {

// The library's entry object: answers the catalogue query and routes every
// action request to a fresh object of that action. Keeps no state.
class plugin : public IPlugIn {
 public:
  // Serves one request envelope; a failure anywhere ends it as a Failure.
  std::string MethodCall(const std::string& args) override;

 private:
  static std::string IPlugIn_MethodCall(const std::string& args);
  static std::string BuildPlugInList();
  static std::string CallStartProgram(const std::string& method, const std::string& params);
  static std::string CallEndProgram(const std::string& method, const std::string& params);
};

}  // namespace vesk
