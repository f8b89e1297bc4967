#pragma once

#include <string>
#include <vector>

#include "install/install_plan.h"
#include "manage/conflicts.h"
#include "modlog/mod_log.h"

namespace tarnwick {

// What installing a package would change, one line per change in the order the log would record
// them, then the row the install would stop at and the totals: the words every face shows.
// UTF-8 apart from the refusal's message, which is game text.
[[nodiscard]] std::vector<std::string> DescribePlan(const InstallPlan& plan);

// The changes of a plan that meet bytes already there, in the plan's order, one line each: the
// change, then whom it overrides (the mod's number as the list numbers it, and its title) or that
// it writes the bytes already there and whose they are. Changes that meet only the game's own,
// other bytes are left out. `conflicts` are FindConflicts of the plan. UTF-8.
[[nodiscard]] std::vector<std::string> DescribeConflicts(const InstallPlan& plan,
                                                         const std::vector<Conflict>& conflicts,
                                                         const ModLog& log);

}  // namespace tarnwick
