#pragma once

#include <string>
#include <utility>
#include <vector>

namespace vesk::bench {

// The steps of one request done with pugixml: parse the envelope, read the
// plugin and method texts, write the params element, parse that text again,
// read the settings values named by `read_values`, then build and write a
// result element with `children` (name, text) and, when `record` is not
// empty, a sett element holding `record` as s children.
std::string PugiRoundTrip(const std::string& envelope, int read_values,
                          const std::vector<std::pair<std::string, std::string>>& children,
                          const std::vector<std::string>& record);

}  // namespace vesk::bench
