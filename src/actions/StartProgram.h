#pragma once

#include "actions/ActionProtocol.h"

namespace vesk {

// The action that starts a program, or opens a file, with optional
// arguments in an optional start-in folder. One object serves one request.
class StartProgram : public ActionProtocol {
 public:
  StartProgram();

 private:
  // Reads program, arguments and folder from positions 0 to 2 of the
  // settings record and asks the shell to start it, owned by frmMain. A start
  // the platform refuses fails (53 no such file, 76 no such folder, 75 other).
  void ExecuteAction(const XmlElement& params, XmlElement& result) override;
};

}  // namespace vesk
