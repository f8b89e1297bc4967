#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "fixtures/files.h"
#include "fixtures/recording_messages.h"
#include "ledger/ledger.h"
#include "modlog/mod_log.h"
#include "package/package.h"
#include "writers/game_folder.h"
#include "writers/mpi_writer.h"

namespace tarnwick {

// A game written by the writers (with Clone Campaigns), its log in Data/, and packages beside it.
class LedgerGame : public ::testing::Test {
 public:
  LedgerGame() {
    game_ = dir_ / "game";
    EXPECT_FALSE(fixtures::WriteGameFolder(game_, {}));
    files = MakeGameFiles(game_ + "/", game_ + "/Data/");
    log.LogPath = game_ + "/Data/mods.log";
    paths = LedgerPathsFor(log.LogPath);
    for (int index = 0; index < kGameFileCount; ++index) {
      if (IsGameFileIndex(index)) original_[index] = fixtures::ReadAll(File(index));
    }
  }

  const std::string& File(int index) const { return files[static_cast<size_t>(index)]; }

  // A package that appends to gamedata.drs and replaces language.dll; `seed` varies the bytes.
  std::string WritePackage(const std::string& title, int seed) {
    fixtures::MpiPackage package{.title = title};
    package.rows = {{1, 0, fixtures::GameArchiveTables(0)[0].resources[0].id,
                     std::string(3000 + seed, static_cast<char>('a' + seed))},
                    {5, 6, 0, std::string(700 + seed, static_cast<char>('A' + seed))}};
    const std::string path = dir_ / (title + ".mpi");
    fixtures::WriteAll(path, fixtures::BuildMpi(package));
    return path;
  }

  PackageHeader Header(const std::string& path) {
    PackageHeader header;
    EXPECT_EQ(ReadPackage(path, header), PackageRead::kValid);
    return header;
  }

  ModLog DiskLog() const {
    ModLog fresh;
    fresh.LogPath = log.LogPath;
    fixtures::RecordingMessages quiet;
    EXPECT_FALSE(ReadModLog(fresh, files, quiet));
    return fresh;
  }

  Ledger DiskLedger() const {
    Ledger ledger;
    EXPECT_TRUE(ParseLedger(fixtures::ReadAll(paths.file), ledger));
    return ledger;
  }

  void ExpectGameAsWritten() const {
    for (const auto& [index, bytes] : original_) {
      EXPECT_EQ(fixtures::ReadAll(File(index)), bytes) << GameFileName(index);
    }
  }

  fixtures::TempDir dir_;
  std::string game_;
  GameFiles files;
  ModLog log;
  LedgerPaths paths;
  fixtures::RecordingMessages messages;
  std::map<int, std::string> original_;
};

}  // namespace tarnwick
