#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/game_files.h"
#include "fixtures/drs_checks.h"
#include "fixtures/files.h"
#include "fixtures/recording_messages.h"
#include "modlog/mod_log.h"

namespace tarnwick::testing_install {

// Payload bytes whose every position differs from its neighbours in a 64000-byte block, so that
// a block written twice or out of place shows.
inline std::string Payload(size_t size, unsigned seed = 1) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<char>((i * 7 + i / 251 + seed * 13) & 0xff);
  }
  return bytes;
}

// A game in a fresh folder: archives under data/, addressed by host paths, and its mod log.
class GameSetup {
 public:
  GameSetup() {
    fixtures::MakeFolders(dir_ / "data");
    files = MakeGameFiles(dir_.path() + "/", dir_.path() + "/data/");
    log.LogPath = dir_ / "data/mods.log";
  }

  std::string operator/(std::string_view name) const { return dir_ / name; }

  void WriteArchive(int index, const std::vector<fixtures::DrsTable>& tables,
                    const fixtures::DrsLayout& layout = {}) {
    fixtures::WriteAll(files[static_cast<size_t>(index)], fixtures::BuildDrs(tables, layout));
  }
  std::string Archive(int index) const {
    return fixtures::ReadAll(files[static_cast<size_t>(index)]);
  }

  // The log as the disk holds it, read by a separate record.
  ModLog DiskLog() const {
    ModLog fresh;
    fresh.LogPath = log.LogPath;
    fixtures::RecordingMessages quiet;
    EXPECT_FALSE(ReadModLog(fresh, files, quiet));
    return fresh;
  }
  std::string DiskLogText() const { return fixtures::ReadAll(log.LogPath); }

  GameFiles files;
  ModLog log;
  fixtures::RecordingMessages messages;

 private:
  fixtures::TempDir dir_;
};

}  // namespace tarnwick::testing_install
