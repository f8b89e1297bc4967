#pragma once

#include <string>

namespace tarnwick {

// Whether two paths name one file (a hard link, another spelling): copying one over the other
// would empty it.
[[nodiscard]] bool IsSameFile(const std::string& a, const std::string& b);

}  // namespace tarnwick
