#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <system_error>

#include "common/game_files.h"
#include "common/one_based.h"
#include "platform/messages.h"

namespace tarnwick {

// One change to one game file. For an archive: its recorded length before the change and the
// redirected entry's position and old values. For a replaced file: the backup number, rest 0.
struct FileChange {
  int16_t FileIndex = 0;
  int32_t OldState = 0;
  int32_t EntryPos = 0;
  int32_t OldOffset = 0;
  int32_t OldSize = 0;
  bool operator==(const FileChange&) const = default;
};

struct ModLogEntry {
  std::string Name;  // single-byte game text
  OneBased<FileChange> Changes;
  int32_t ChangeCount() const { return Changes.size(); }
  bool operator==(const ModLogEntry&) const = default;
};

// The installed mods, oldest first, and per game file its recorded archive length or backup
// counter (indices 8 to 19 unused).
struct ModLog {
  std::string LogPath;
  std::array<int32_t, kGameFileCount> FileState{};
  OneBased<ModLogEntry> Mods;
  int32_t ModCount() const { return Mods.size(); }
};

// Both return true on failure, after showing their own message.
[[nodiscard]] bool ReadModLog(ModLog& log, const GameFiles& game_files, Messages& messages);
[[nodiscard]] bool SaveModLog(const ModLog& log, Messages& messages);

// Decimal text of n, with a minus sign when negative, padded with "0" in front to `width`.
[[nodiscard]] std::string ZeroPad(int32_t n, int width);

// The backup of a replaced game file: its full path, ".", the number as three digits.
[[nodiscard]] std::string BackupPath(const std::string& game_file, int32_t number);

// Syncs each game file marked in `which`, once: the changes made to them are on disk before a log
// saved afterwards relies on them. The first failure ends it.
[[nodiscard]] std::error_code SyncGameFiles(const std::array<bool, kGameFileCount>& which,
                                            const GameFiles& game_files);

// Cuts (or extends) an existing file to `length` bytes from its start. Silent: a missing or
// locked file is left as it is.
void SetFileLength(const std::string& path, int32_t length);

}  // namespace tarnwick
