#pragma once

#include <string>

namespace vesk {

// The host's call into the library: one request text in, one reply text out.
// A failed call throws vesk::Failure and gives no reply.
class IPlugIn {
 public:
  virtual ~IPlugIn() = default;
  virtual std::string MethodCall(const std::string& args) = 0;
};

}  // namespace vesk
