#include "manage/mod_package.h"

#include <algorithm>
#include <array>
#include <vector>

#include "install/game_before.h"
#include "install/install_plan.h"
#include "ledger/ledger.h"
#include "package/package.h"
#include "platform/binary_file.h"

namespace tarnwick {
namespace {

constexpr size_t kCompareBlock = 32000;

// Whether `count` bytes of `a` from `a_at` are those of `b` from `b_at`; a read that fails is a
// difference.
bool SameBytes(BinaryFile& a, int64_t a_at, BinaryFile& b, int64_t b_at, int64_t count,
               std::vector<unsigned char>& buffer) {
  buffer.resize(2 * kCompareBlock);
  for (int64_t done = 0; done < count;) {
    const size_t block = static_cast<size_t>(std::min<int64_t>(count - done, kCompareBlock));
    if (a.ReadAt(a_at + done, buffer.data(), block) ||
        b.ReadAt(b_at + done, buffer.data() + kCompareBlock, block) ||
        !std::equal(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(block),
                    buffer.begin() + static_cast<std::ptrdiff_t>(kCompareBlock))) {
      return false;
    }
    done += static_cast<int64_t>(block);
  }
  return true;
}

// Whether the package leaves what the mod left: the recorded lengths and backup counters right
// after it, the bytes it appended to archives and the files it replaced, as the game still holds
// them. Equal change records alone say nothing of the payloads of the mod's last resources.
bool LeavesWhatTheModLeft(BinaryFile& package, const PackageHeader& header, const InstallPlan& plan,
                          const ModLog& log, int32_t position, const GameFiles& game_files) {
  std::array<int32_t, kGameFileCount> state = RewindLog(log, position).file_state;
  for (const PlannedChange& planned : plan.changes) {
    state[static_cast<size_t>(planned.file_index)] =
        planned.kind == PlannedKind::kReplacement
            ? planned.change.OldState + 1
            : static_cast<int32_t>(planned.change.OldState + planned.size);
  }
  if (state != RewindLog(log, position + 1).file_state) return false;

  std::vector<unsigned char> buffer;
  for (const PlannedChange& planned : plan.changes) {
    const ResourceEntry& row = header.resources[planned.resource_number];
    const std::string& file = game_files[static_cast<size_t>(planned.file_index)];
    BinaryFile holder;
    int64_t at = 0;
    if (planned.kind == PlannedKind::kResource) {
      if (holder.Open(file, OpenMode::kRead)) return false;
      at = planned.change.OldState;
    } else if (planned.kind == PlannedKind::kReplacement) {
      // What the row wrote is the backup the next replacement of the file made, or the file.
      const int32_t next = planned.change.OldState + 1;
      const bool replaced_later = log.FileState[static_cast<size_t>(planned.file_index)] > next;
      int64_t length = 0;
      if (holder.Open(replaced_later ? BackupPath(file, next) : file, OpenMode::kRead) ||
          holder.Length(&length) || length != planned.size) {
        return false;
      }
    } else {
      continue;  // a rebuilt icon is made from the game's sprite; its size is checked above
    }
    if (!SameBytes(package, row.dataOffset, holder, at, planned.size, buffer)) return false;
  }
  return true;
}

}  // namespace

bool IsPackageOfMod(const std::string& path, const ModLog& log, int32_t position,
                    const GameFiles& game_files, bool cc_present) {
  if (position < 1 || position > log.ModCount()) return false;
  PackageHeader header;
  if (ReadPackage(path, header) != PackageRead::kValid) return false;
  const ModLogEntry& entry = log.Mods[position];
  // The title as the log would save it: a put-back under another name is another mod.
  if (RecordTitle(ModLogEntry{header.title, {}}) != RecordTitle(entry)) return false;
  const InstallPlan plan = PlanInstallBefore(path, header, log, position, game_files, cc_present);
  if (plan.Refused() || static_cast<int32_t>(plan.changes.size()) != entry.ChangeCount()) {
    return false;
  }
  for (int32_t j = 1; j <= entry.ChangeCount(); ++j) {
    if (plan.changes[static_cast<size_t>(j - 1)].change != entry.Changes[j]) return false;
  }
  BinaryFile package;
  return !package.Open(path, OpenMode::kRead) &&
         LeavesWhatTheModLeft(package, header, plan, log, position, game_files);
}

}  // namespace tarnwick
