#pragma once

#include <string>
#include <vector>

#include "install/install_plan.h"

namespace tarnwick {

// What installing a package would change, one line per change in the order the log would record
// them, then the row the install would stop at and the totals: the words every face shows.
// UTF-8 apart from the refusal's message, which is game text.
[[nodiscard]] std::vector<std::string> DescribePlan(const InstallPlan& plan);

}  // namespace tarnwick
