#pragma once

#include <string>

#include "host/XmlElement.h"

namespace vesk {

// The texts an action shows and reports through the method protocol.
struct ActionTexts {
  const char* name;
  const char* about;
  const char* help;
  const char* settings;
  const char* short_description;
  const char* category;
  const char* description;
  const char* settings_control_name;
};

// The application title that every message box carries.
inline constexpr const char* kApplicationTitle = "VeskProgramManager";

// The method protocol that every action follows. An action brings its texts
// and its "Execute"; everything else is answered here.
class ActionProtocol {
 public:
  virtual ~ActionProtocol() = default;

  // Runs `method` with the XML text of the request's params element and
  // returns the XML text of the reply's result element. The params text is
  // parsed first, whatever the method; an unrecognised method gives an empty
  // result. Failures pass straight up.
  std::string methodCall(const std::string& method, const std::string& params);

 protected:
  explicit ActionProtocol(const ActionTexts& texts) : texts_(texts) {}

  // "Execute": reads the settings record from `params`, does the action's
  // work and adds to `result`.
  virtual void ExecuteAction(const XmlElement& params, XmlElement& result) = 0;

 private:
  void ShowMessage(const char* text);

  const ActionTexts& texts_;
};

}  // namespace vesk
