#include <cstdio>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "manage/installed_mods.h"
#include "platform/text_codec.h"

namespace tarnwick::cli {

int CommandRun::List() {
  if (!OpenGame()) return Finish(kExitRefused);
  const std::vector<InstalledMod> mods = ListInstalledMods(session_, messages_);
  nlohmann::json listed = nlohmann::json::array();
  for (const InstalledMod& mod : mods) {
    listed.push_back({{"number", mod.number},
                      {"title", Cp1252ToUtf8(mod.title)},
                      {"changes", mod.changes},
                      {"complete", mod.complete},
                      {"package_kept", mod.package_kept}});
  }
  result_["mods"] = std::move(listed);
  if (line_.json) return Finish(kExitOk);
  // The window's list says "None" when it is empty.
  if (mods.empty()) {
    console_.PrintLine("None");
    return Finish(kExitOk);
  }
  console_.PrintLine("  No.  Changes  Package   State       Title");
  for (const InstalledMod& mod : mods) {
    char line[64];
    std::snprintf(line, sizeof line, "%5d  %7d  %-8s  %-10s  ", mod.number, mod.changes,
                  mod.package_kept ? "kept" : "not kept", mod.complete ? "complete" : "incomplete");
    console_.PrintLine(line + Cp1252ToUtf8(mod.title));
  }
  return Finish(kExitOk);
}

}  // namespace tarnwick::cli
