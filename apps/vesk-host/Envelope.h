#pragma once

#include <string>
#include <vector>

namespace vesk::host_app {

// The request envelope for `target` and `method` whose params element holds
// a settings record with `values` (none: an empty params element).
std::string BuildEnvelope(const std::string& target, const std::string& method,
                          const std::vector<std::string>& values);

}  // namespace vesk::host_app
