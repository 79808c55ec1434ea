#pragma once

#include "actions/ActionProtocol.h"

namespace vesk {

// The action that asks every running instance of a program to close: one
// top-level window of each process running the executable gets a close
// request. One object serves one request.
class EndProgram : public ActionProtocol {
 public:
  EndProgram();

 private:
  // Reads the executable path from position 0 of the settings record, finds
  // the windows of its processes and asks them to close; adds `success`.
  void ExecuteAction(const XmlElement& params, XmlElement& result) override;
};

}  // namespace vesk
