#include "manage/installed_mods.h"

#include <string_view>

#include "manage/mod_records.h"

namespace tarnwick {
namespace {

// What the install adds to a mod's name until its last resource is in.
constexpr std::string_view kIncompleteMark = " (incomplete)";

}  // namespace

bool IsComplete(const ModLogEntry& entry) {
  return !std::string_view(entry.Name).ends_with(kIncompleteMark);
}

std::vector<InstalledMod> ListInstalledMods(const GameSession& session, Messages& messages) {
  const ModLog& log = session.ModLog;
  const std::vector<ModRecordStatus> records = ReadModRecords(log, false, messages);
  std::vector<InstalledMod> mods;
  for (int32_t i = log.ModCount(); i >= 1; --i) {
    const ModLogEntry& entry = log.Mods[i];
    InstalledMod mod;
    mod.number = i;
    mod.title = entry.Name;
    mod.changes = entry.ChangeCount();
    mod.complete = IsComplete(entry);
    if (!mod.complete) mod.title.resize(mod.title.size() - kIncompleteMark.size());
    const ModRecordStatus& record = records[static_cast<size_t>(i - 1)];
    mod.package_kept = record.package == KeptPackage::kKept;
    if (record.recorded) mod.installed = record.installed;
    mods.push_back(std::move(mod));
  }
  return mods;
}

}  // namespace tarnwick
