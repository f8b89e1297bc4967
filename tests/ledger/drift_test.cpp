// What another tool, a game update or a file check does to the game after Tarnwick installed a
// mod, and what the drift check finds.

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "ledger_game.h"
#include "manage/check_drift.h"
#include "manage/install_package.h"
#include "manage/mod_records.h"
#include "modlog/removal.h"
#include "platform/binary_file.h"

namespace tarnwick {
namespace {

class Drift : public LedgerGame {};

// With Clone Campaigns, game data goes to the expansion's archive.
constexpr int kTouchedArchive = kGamedataDrs + kCcOffset;

TEST_F(Drift, EachChangeUnderTarnwickIsFoundAndNothingElse) {
  struct Case {
    const char* name;
    std::function<void(Drift&)> change;
    std::vector<DriftFinding> found;  // lengths -2: not compared
  };
  const int64_t dll_length = 700 + 2;  // the newer mod's replacement
  const std::vector<Case> cases = {
      {"untouched", [](Drift&) {}, {}},
      {"data appended to an archive",
       [](Drift& t) {
         fixtures::WriteAll(t.File(kGraphicsDrs), fixtures::ReadAll(t.File(kGraphicsDrs)) + "x");
       },
       {}},
      {"an entry redirected by another tool",
       [](Drift& t) {
         BinaryFile archive;
         ASSERT_FALSE(archive.Open(t.File(kGraphicsDrs), OpenMode::kReadWrite));
         const unsigned char zero[4] = {};
         std::error_code io_error;
         ASSERT_FALSE(archive.WriteAt(DirectoryEnd(t.File(kGraphicsDrs), &io_error) - 4, zero, 4));
         ASSERT_FALSE(archive.Close());
       },
       {{DriftKind::kDirectoryChanged, kGraphicsDrs, -1, -2, -2}}},
      {"the archive restored by a file check",
       [](Drift& t) { fixtures::WriteAll(t.File(kTouchedArchive), t.original_[kTouchedArchive]); },
       {{DriftKind::kArchiveShorter, kTouchedArchive, -1, -2, -2},
        {DriftKind::kDirectoryChanged, kTouchedArchive, -1, -2, -2}}},
      {"the archive deleted",
       [](Drift& t) { std::filesystem::remove(t.File(kTouchedArchive)); },
       {{DriftKind::kArchiveMissing, kTouchedArchive, -1, -2, -1},
        {DriftKind::kDirectoryChanged, kTouchedArchive, -1, -2, -1}}},
      {"a replaced file updated",
       [](Drift& t) { fixtures::WriteAll(t.File(kLanguageDll), "updated"); },
       {{DriftKind::kFileChanged, kLanguageDll, -1, dll_length, 7}}},
      {"a backup deleted",
       [](Drift& t) { std::filesystem::remove(t.File(kLanguageDll) + ".000"); },
       {{DriftKind::kBackupChanged, kLanguageDll, 0, -2, -1}}},
      {"the newest mod removed by another installer",
       [](Drift& t) {
         fixtures::RecordingMessages quiet;
         RemoveLatestMod(t.log, t.files, quiet);
       },
       {{DriftKind::kLogChangedElsewhere, 0, -1, -1, -1}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(game_);
    ASSERT_FALSE(fixtures::WriteGameFolder(game_, {}));
    log = ModLog{log.LogPath, {}, {}};
    for (int seed : {1, 2}) {
      const std::string path = WritePackage("Mod " + std::to_string(seed), seed);
      ASSERT_FALSE(InstallPackage(path, Header(path), log, files, true, messages, nullptr));
    }
    c.change(*this);
    const ModLog now = DiskLog();
    std::vector<DriftFinding> found = CheckDrift(now, files, OpenLedger(paths, messages));
    // Lengths the case does not name are the test's to ignore.
    ASSERT_EQ(found.size(), c.found.size());
    for (size_t i = 0; i < found.size(); ++i) {
      if (c.found[i].expected_length == -2) found[i].expected_length = -2;
      if (c.found[i].actual_length == -2) found[i].actual_length = -2;
      EXPECT_EQ(found[i], c.found[i]) << i;
    }
  }
}

}  // namespace
}  // namespace tarnwick
