#include "manage/conflicts.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <unordered_map>

#include "archive/drs.h"
#include "install/install.h"
#include "install/install_rules.h"
#include "ledger/ledger.h"
#include "ledger/stream_hash.h"
#include "platform/file_system.h"

namespace tarnwick {
namespace {

// An archive entry or a replaced file, as the log names it.
int64_t TargetKey(int file_index, int32_t entry_pos) {
  return int64_t{file_index} << 32 |
         static_cast<uint32_t>(IsReplacedFile(file_index) ? 0 : entry_pos);
}

// The log position of the newest record per target.
std::unordered_map<int64_t, int32_t> NewestRecords(const ModLog& log) {
  std::unordered_map<int64_t, int32_t> newest;
  size_t records = 0;
  for (int32_t position = 1; position <= log.ModCount(); ++position) {
    records += log.Mods[position].Changes.size();
  }
  newest.reserve(records);
  for (int32_t position = 1; position <= log.ModCount(); ++position) {
    for (const FileChange& change : log.Mods[position].Changes) {
      newest[TargetKey(change.FileIndex, change.EntryPos)] = position;
    }
  }
  return newest;
}

// A DRS tag is stored back to front (" pls" for "slp "); shown the right way round, trimmed.
std::string TagText(const std::array<char, 4>& tag) {
  std::string text(tag.rbegin(), tag.rend());
  text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
  while (!text.empty() && text.back() == ' ') text.pop_back();
  while (!text.empty() && text.front() == ' ') text.erase(text.begin());
  return text;
}

// One archive as it stands: its entries by position and the table each lies in.
struct ArchiveNow {
  struct Slot {
    DrsFileEntry entry;
    size_t table = 0;
  };
  BinaryFile file;
  int64_t length = 0;
  DrsDirectory directory;
  std::vector<std::string> tags;  // each table's tag as shown
  std::vector<Slot> slots;        // in directory order
  // Slots by entry position, for a directory of too many tables to look through.
  std::unordered_map<int32_t, size_t> by_position;
  std::error_code error;  // why it could not be read
  bool readable = false;

  static constexpr size_t kTablesLookedThrough = 16;

  // Where tables overlap, the first that holds the position has it.
  const Slot* At(int32_t entry_pos) const {
    if (!readable) return nullptr;  // a directory read part way has tables but no slots
    if (directory.tables.size() > kTablesLookedThrough) {
      const auto found = by_position.find(entry_pos);
      return found == by_position.end() ? nullptr : &slots[found->second];
    }
    size_t before = 0;
    for (const DrsTableInfo& table : directory.tables) {
      const int64_t count = std::max(table.entryCount, 0);
      const int64_t k = (int64_t{entry_pos} - table.entriesOffset) / kDrsEntrySize;
      if (entry_pos >= table.entriesOffset && k < count &&
          table.entriesOffset + kDrsEntrySize * k == entry_pos) {
        const size_t index = before + static_cast<size_t>(k);
        return index < slots.size() ? &slots[index] : nullptr;
      }
      before += static_cast<size_t>(count);
    }
    return nullptr;
  }
  std::string TableAt(int32_t entry_pos) const {
    const Slot* slot = At(entry_pos);
    return slot == nullptr ? std::string() : tags[slot->table];
  }
};

// The archives a view looks at, each opened and read once.
class Archives {
 public:
  explicit Archives(const GameFiles& game_files) : game_files_(game_files) {}

  ArchiveNow& Get(int index) {
    std::unique_ptr<ArchiveNow>& archive = archives_[index];
    if (archive) return *archive;
    archive = std::make_unique<ArchiveNow>();
    const std::string& path = game_files_[static_cast<size_t>(index)];
    if (!PathListed(path)) return *archive;
    if ((archive->error = archive->file.Open(path, OpenMode::kRead)) ||
        (archive->error = archive->file.Length(&archive->length))) {
      return *archive;
    }
    QuietMessages quiet;
    if (ReadDrsDirectory(archive->file, archive->directory, quiet, &archive->error) !=
        DrsRead::kOk) {
      return *archive;
    }
    int32_t number = 0;
    const bool many_tables = archive->directory.tables.size() > ArchiveNow::kTablesLookedThrough;
    archive->slots.reserve(static_cast<size_t>(std::max(archive->directory.totalEntries, 0)));
    for (size_t t = 0; t < archive->directory.tables.size(); ++t) {
      const DrsTableInfo& table = archive->directory.tables[t];
      archive->tags.push_back(TagText(table.typeTag));
      for (int32_t k = 0; k < table.entryCount; ++k) {
        if (many_tables) {
          const auto position =
              static_cast<int32_t>(table.entriesOffset + int64_t{kDrsEntrySize} * k);
          archive->by_position.try_emplace(position, archive->slots.size());
        }
        archive->slots.push_back({archive->directory.entries[++number], t});
      }
    }
    archive->readable = true;
    return *archive;
  }

 private:
  const GameFiles& game_files_;
  std::map<int, std::unique_ptr<ArchiveNow>> archives_;
};

// Compares `count` bytes of two files block by block through the buffer, half for each side.
std::error_code SameBytes(BinaryFile& a, int64_t a_at, BinaryFile& b, int64_t b_at, int64_t count,
                          std::vector<unsigned char>& buffer, bool* same) {
  const size_t half = buffer.size() / 2;
  *same = true;
  for (int64_t done = 0; done < count;) {
    const size_t block = static_cast<size_t>(std::min<int64_t>(count - done, half));
    if (auto error = a.ReadAt(a_at + done, buffer.data(), block)) return error;
    if (auto error = b.ReadAt(b_at + done, buffer.data() + half, block)) return error;
    if (std::memcmp(buffer.data(), buffer.data() + half, block) != 0) {
      *same = false;
      return {};
    }
    done += static_cast<int64_t>(block);
  }
  return {};
}

std::error_code HashRange(BinaryFile& file, int64_t at, int64_t count,
                          std::vector<unsigned char>& buffer, std::string* hash) {
  StreamHash stream;
  for (int64_t done = 0; done < count;) {
    const size_t block = static_cast<size_t>(std::min<int64_t>(count - done, buffer.size()));
    if (auto error = file.ReadAt(at + done, buffer.data(), block)) return error;
    stream.Update(buffer.data(), block);
    done += static_cast<int64_t>(block);
  }
  *hash = stream.Hex();
  return {};
}

// The icon payload's first 12 bytes.
struct IconInfo {
  int32_t civ_mask = 0;
  int32_t width = 0;
  int32_t height = 0;
};

constexpr int64_t kSlpHeaderSize = 32;
constexpr int64_t kSlpFrameRowSize = 32;

class ConflictFinder {
 public:
  ConflictFinder(const std::string& package_path, const PackageHeader& header, const ModLog& log,
                 const GameFiles& game_files)
      : header_(header),
        game_files_(game_files),
        archives_(game_files),
        newest_(NewestRecords(log)),
        buffer_(kCopyBufferSize) {
    Keep(package_.Open(package_path, OpenMode::kRead));
    package_open_ = !error_;
  }

  std::vector<Conflict> Find(const InstallPlan& plan) {
    std::vector<Conflict> conflicts;
    conflicts.reserve(plan.changes.size());
    int icon_row = 0;  // the icon row whose civilisations are being walked
    int next_civ = 0;
    for (const PlannedChange& planned : plan.changes) {
      Conflict conflict;
      if (planned.kind != PlannedKind::kRefused) {
        const FileChange& change = planned.change;
        const auto found = newest_.find(TargetKey(change.FileIndex, change.EntryPos));
        if (found != newest_.end()) conflict.provider = found->second;
        const ResourceEntry& row = header_.resources[planned.resource_number];
        switch (planned.kind) {
          case PlannedKind::kResource:
            conflict.identical = SameAsEntry(planned, row);
            break;
          case PlannedKind::kIcon: {
            if (planned.resource_number != icon_row) {
              icon_row = planned.resource_number;
              next_civ = 0;
            }
            const IconInfo info = ReadIconInfo(row);
            conflict.civilisation = CivilisationOf(planned, info, &next_civ);
            conflict.identical = SameSprite(planned, row, info);
            break;
          }
          case PlannedKind::kReplacement:
            conflict.identical = SameAsFile(planned, row);
            break;
          case PlannedKind::kRefused:
            break;
        }
        if (!IsReplacedFile(change.FileIndex)) {
          conflict.table = archives_.Get(change.FileIndex).TableAt(change.EntryPos);
        }
      }
      conflicts.push_back(std::move(conflict));
    }
    return conflicts;
  }

  std::error_code error() const { return error_; }

 private:
  void Keep(std::error_code error) {
    if (error && !error_) error_ = error;
  }

  // The payload equals the bytes the entry points at now.
  bool SameAsEntry(const PlannedChange& planned, const ResourceEntry& row) {
    ArchiveNow& archive = archives_.Get(planned.file_index);
    Keep(archive.error);
    const ArchiveNow::Slot* slot = archive.At(planned.change.EntryPos);
    if (!package_open_ || slot == nullptr || slot->entry.size != row.dataLength ||
        slot->entry.offset < 0 || int64_t{slot->entry.offset} + slot->entry.size > archive.length) {
      return false;
    }
    bool same = false;
    const std::error_code error = SameBytes(package_, row.dataOffset, archive.file,
                                            slot->entry.offset, row.dataLength, buffer_, &same);
    Keep(error);
    return !error && same;
  }

  IconInfo ReadIconInfo(const ResourceEntry& row) {
    unsigned char raw[12];
    IconInfo info;
    if (!package_open_) return info;
    if (const std::error_code error = package_.ReadAt(row.dataOffset, raw, sizeof raw)) {
      Keep(error);
      return info;
    }
    info = {LoadI32(raw), LoadI32(raw + 4), LoadI32(raw + 8)};
    return info;
  }

  // Icon changes come in civilisation order, one for each selected civilisation whose sprite the
  // archive has; the sprite id tells them apart (icon set 3 shares one sprite, found for all).
  static int CivilisationOf(const PlannedChange& planned, const IconInfo& info, int* next_civ) {
    const bool cc = planned.file_index == IconArchiveIndex(true);
    const int32_t icon_set = IconSetOf(info.civ_mask);
    for (int c = *next_civ; c < IconCivCount(cc); ++c) {
      if ((info.civ_mask >> c & 1) != 0 && IconSpriteId(icon_set, c, cc) == planned.id) {
        *next_civ = c + 1;
        return c;
      }
    }
    return -1;
  }

  // The rebuilt sprite is the sprite now with frame N's row rewritten and the new frame after it;
  // it can only be the same when the new frame adds nothing and the row already says what the
  // rebuild writes.
  bool SameSprite(const PlannedChange& planned, const ResourceEntry& row, const IconInfo& info) {
    ArchiveNow& archive = archives_.Get(planned.file_index);
    Keep(archive.error);
    const ArchiveNow::Slot* slot = archive.At(planned.change.EntryPos);
    if (slot == nullptr || planned.size != slot->entry.size || info.height != 0) return false;
    const int64_t sprite_size = slot->entry.size;
    const int64_t row_at =
        slot->entry.offset + kSlpHeaderSize + kSlpFrameRowSize * (int64_t{row.resourceId} - 1);
    if (row.resourceId < 1 || row_at + kSlpFrameRowSize > archive.length) return false;
    unsigned char frame[kSlpFrameRowSize];
    if (const std::error_code error = archive.file.ReadAt(row_at, frame, sizeof frame)) {
      Keep(error);
      return false;
    }
    return LoadI32(frame) == sprite_size && LoadI32(frame + 4) == sprite_size &&
           LoadI32(frame + 16) == info.width && LoadI32(frame + 20) == info.height;
  }

  // The payload hashes as the file there now.
  bool SameAsFile(const PlannedChange& planned, const ResourceEntry& row) {
    const std::string& path = game_files_[static_cast<size_t>(planned.file_index)];
    int64_t length = 0;
    if (!package_open_ || FileLength(path, &length) || length != row.dataLength) return false;
    auto cached = file_hashes_.find(planned.file_index);
    if (cached == file_hashes_.end()) {
      std::string hash;
      if (const std::error_code error = HashFile(path, buffer_, hash, &length)) {
        Keep(error);
        hash.clear();
      }
      cached = file_hashes_.emplace(planned.file_index, hash).first;
    }
    std::string payload;
    if (const std::error_code error =
            HashRange(package_, row.dataOffset, row.dataLength, buffer_, &payload)) {
      Keep(error);
      return false;
    }
    return !cached->second.empty() && payload == cached->second;
  }

  const PackageHeader& header_;
  const GameFiles& game_files_;
  Archives archives_;
  std::unordered_map<int64_t, int32_t> newest_;
  std::map<int, std::string> file_hashes_;
  std::vector<unsigned char> buffer_;
  BinaryFile package_;
  bool package_open_ = false;
  std::error_code error_;
};

}  // namespace

std::vector<Conflict> FindConflicts(const std::string& package_path, const PackageHeader& header,
                                    const InstallPlan& plan, const ModLog& log,
                                    const GameFiles& game_files, std::error_code* error) {
  ConflictFinder finder(package_path, header, log, game_files);
  std::vector<Conflict> conflicts = finder.Find(plan);
  if (error != nullptr) *error = finder.error();
  return conflicts;
}

std::vector<InstalledChange> DescribeInstalledMod(const ModLog& log, int32_t position,
                                                  const GameFiles& game_files) {
  std::vector<InstalledChange> described;
  if (position < 1 || position > log.ModCount()) return described;
  // Every record of the log per target and per file, in log order.
  struct Record {
    int32_t position;
    const FileChange* change;
  };
  std::unordered_map<int64_t, std::vector<Record>> by_target;
  std::map<int, std::vector<Record>> by_file;
  // Where each change of the mod stands in those lists.
  std::vector<std::pair<size_t, size_t>> places;
  for (int32_t p = 1; p <= log.ModCount(); ++p) {
    for (const FileChange& change : log.Mods[p].Changes) {
      std::vector<Record>& same_target = by_target[TargetKey(change.FileIndex, change.EntryPos)];
      std::vector<Record>& same_file = by_file[change.FileIndex];
      if (p == position) places.emplace_back(same_target.size(), same_file.size());
      same_target.push_back({p, &change});
      same_file.push_back({p, &change});
    }
  }
  Archives archives(game_files);
  const ModLogEntry& entry = log.Mods[position];
  for (int32_t j = 1; j <= entry.ChangeCount(); ++j) {
    const FileChange& change = entry.Changes[j];
    InstalledChange shown;
    shown.number = j;
    shown.change = change;
    const int index = change.FileIndex;
    const auto [target_place, file_place] = places[static_cast<size_t>(j - 1)];
    const std::vector<Record>& same_file = by_file[index];
    const auto next_on_file = same_file.begin() + static_cast<std::ptrdiff_t>(file_place + 1);
    if (IsReplacedFile(index)) {
      // This mod's file is the next replacement's backup, or the file itself.
      const std::string& path = game_files[static_cast<size_t>(index)];
      const std::string holder =
          next_on_file == same_file.end() ? path : BackupPath(path, next_on_file->change->OldState);
      int64_t length = 0;
      if (!FileLength(holder, &length)) shown.size = length;
    } else {
      // Appends follow one another at the recorded length.
      const int64_t end = next_on_file == same_file.end()
                              ? int64_t{log.FileState[static_cast<size_t>(index)]}
                              : int64_t{next_on_file->change->OldState};
      if (IsGameFileIndex(index) && end >= change.OldState) shown.size = end - change.OldState;
      if (IsGameFileIndex(index)) {
        const ArchiveNow& archive = archives.Get(index);
        if (const ArchiveNow::Slot* slot = archive.At(change.EntryPos)) {
          shown.id = slot->entry.id;
          shown.table = archive.TableAt(change.EntryPos);
        }
      }
    }
    const std::vector<Record>& same_target = by_target[TargetKey(index, change.EntryPos)];
    for (auto later = same_target.begin() + static_cast<std::ptrdiff_t>(target_place + 1);
         later != same_target.end(); ++later) {
      if (shown.overridden_by.empty() || shown.overridden_by.back() != later->position) {
        shown.overridden_by.push_back(later->position);
      }
    }
    described.push_back(std::move(shown));
  }
  return described;
}

}  // namespace tarnwick
