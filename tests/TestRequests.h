#pragma once

#include <string>

namespace vesk::test {

// A request envelope with the given children texts; `params` is written as is.
inline std::string Envelope(const std::string& target, const std::string& method,
                            const std::string& params = "<params/>") {
  return "<request><plugin>" + target + "</plugin><method>" + method + "</method>" + params + "</request>";
}

// A params element holding a settings record with `values`.
inline std::string Record(std::initializer_list<std::string> values) {
  std::string text = "<params><sett>";
  for (const std::string& value : values) text += "<s>" + value + "</s>";
  return text + "</sett></params>";
}

}  // namespace vesk::test
