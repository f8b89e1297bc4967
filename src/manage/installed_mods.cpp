#include "manage/installed_mods.h"

#include <string_view>

namespace tarnwick {
namespace {

// What the install adds to a mod's name until its last resource is in.
constexpr std::string_view kIncompleteMark = " (incomplete)";

}  // namespace

std::vector<InstalledMod> ListInstalledMods(const GameSession& session) {
  const ModLog& log = session.ModLog;
  std::vector<InstalledMod> mods;
  for (int32_t i = log.ModCount(); i >= 1; --i) {
    const ModLogEntry& entry = log.Mods[i];
    InstalledMod mod;
    mod.number = i;
    mod.title = entry.Name;
    mod.changes = entry.ChangeCount();
    if (std::string_view(mod.title).ends_with(kIncompleteMark)) {
      mod.complete = false;
      mod.title.resize(mod.title.size() - kIncompleteMark.size());
    }
    mod.package_kept = PackageKept(session, i);
    mods.push_back(std::move(mod));
  }
  return mods;
}

bool PackageKept(const GameSession&, int) { return false; }

}  // namespace tarnwick
