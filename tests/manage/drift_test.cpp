// What Steam's file check, a game update, another tool or a player's hand does to the game after
// Tarnwick installed two mods, and what happens at the next install or removal: the check finds
// it before anything is written, the player chooses, and "Start over" leaves a game that installs
// and removes byte for byte.

#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "ledger/ledger_game.h"
#include "ledger/store_folder.h"
#include "manage/check_drift.h"
#include "manage/drift_texts.h"
#include "manage/install_package.h"
#include "manage/mod_records.h"
#include "manage/start_over.h"

namespace tarnwick {
namespace {

namespace fs = std::filesystem;
using Kind = fixtures::RecordingMessages::Kind;

// With Clone Campaigns the packages' archive row goes to the expansion's game data archive.
constexpr int kTouchedArchive = kGamedataDrs + kCcOffset;
constexpr int kCancel = 0;
constexpr int kStartOver = 1;
constexpr int kCarryOn = 2;

// Every file under a folder: its bytes and modification time.
using Snapshot = std::map<std::string, std::pair<std::string, fs::file_time_type>>;
Snapshot Snap(const std::string& folder) {
  Snapshot snapshot;
  for (const auto& item : fs::recursive_directory_iterator(folder)) {
    if (!item.is_regular_file()) continue;
    snapshot[item.path().string()] = {fixtures::ReadAll(item.path().string()),
                                      fs::last_write_time(item.path())};
  }
  return snapshot;
}

// One byte flipped: at `position`, or the last of an archive's directory.
void Flip(const std::string& path, int64_t position = -1) {
  std::error_code io_error;
  if (position < 0) position = DirectoryEnd(path, &io_error) - 1;
  std::string bytes = fixtures::ReadAll(path);
  bytes.at(static_cast<size_t>(position)) ^= 0x5A;
  fixtures::WriteAll(path, bytes);
}

class Drift : public LedgerGame {
 public:
  // The game with two mods installed through the shared operation.
  void InstallTwo() {
    fs::remove_all(game_);
    ASSERT_FALSE(fixtures::WriteGameFolder(game_, {}));
    log = ModLog{log.LogPath, {}, {}};
    for (int seed : {1, 2}) {
      const std::string path = WritePackage("Mod " + std::to_string(seed), seed);
      ASSERT_FALSE(InstallPackage(path, Header(path), log, files, true, messages, nullptr));
    }
    messages.boxes.clear();
  }
  std::string Backup(int number) const { return BackupPath(File(kLanguageDll), number); }
};

using Found = std::set<std::tuple<DriftKind, int32_t, int32_t>>;  // kind, file, backup

Found Kinds(const std::vector<DriftFinding>& findings) {
  Found found;
  for (const DriftFinding& finding : findings) {
    found.insert({finding.kind, finding.file_index, finding.backup});
  }
  return found;
}

struct Cause {
  const char* name;
  std::function<void(Drift&)> change;
  Found found;
  bool carry_on;         // whether "Carry on" is offered
  const char* sentence;  // one sentence the message must hold
};

std::vector<Cause> Causes() {
  return {
      {"the archive restored to its pristine bytes by Steam's file check",
       [](Drift& t) { fixtures::WriteAll(t.File(kTouchedArchive), t.original_[kTouchedArchive]); },
       {{DriftKind::kArchiveShorter, kTouchedArchive, -1},
        {DriftKind::kDirectoryChanged, kTouchedArchive, -1}},
       false,
       "gamedata_x1.drs is shorter than Tarnwick left it."},
      {"the archive replaced by another version by a game update",
       [](Drift& t) {
         fixtures::WriteAll(t.File(kTouchedArchive),
                            fixtures::GameFileBytes(kGraphicsDrs) + std::string(20000, 'u'));
       },
       {{DriftKind::kArchiveLonger, kTouchedArchive, -1},
        {DriftKind::kDirectoryChanged, kTouchedArchive, -1}},
       false,
       "gamedata_x1.drs: its directory was changed by another program."},
      {"bytes appended to an archive no mod touched, by another tool",
       [](Drift& t) {
         fixtures::WriteAll(t.File(kGraphicsDrs),
                            fixtures::ReadAll(t.File(kGraphicsDrs)) + std::string(500, 'x'));
       },
       {{DriftKind::kArchiveLonger, kGraphicsDrs, -1}},
       false,
       "graphics.drs is longer than Tarnwick left it: another program added data to its end."},
      {"one byte flipped in the directory of the archive the mods changed",
       [](Drift& t) { Flip(t.File(kTouchedArchive)); },
       {{DriftKind::kDirectoryChanged, kTouchedArchive, -1}},
       false,
       "gamedata_x1.drs: its directory was changed by another program."},
      {"one byte flipped in the directory of an archive no mod touched",
       [](Drift& t) { Flip(t.File(kGraphicsDrs)); },
       {{DriftKind::kDirectoryChanged, kGraphicsDrs, -1}},
       true,
       "graphics.drs: its directory was changed by another program."},
      {"a backup deleted",
       [](Drift& t) { fs::remove(t.Backup(0)); },
       {{DriftKind::kBackupMissing, kLanguageDll, 0}},
       false,
       "language.dll.000, the backup of language.dll, is missing."},
      {"a backup edited",
       [](Drift& t) { Flip(t.Backup(1), 3); },
       {{DriftKind::kBackupChanged, kLanguageDll, 1}},
       false,
       "language.dll.001, the backup of language.dll, was changed since Tarnwick made it."},
      {"the replaced file swapped back by hand",
       [](Drift& t) { fixtures::WriteAll(t.File(kLanguageDll), fixtures::ReadAll(t.Backup(0))); },
       {{DriftKind::kFileChanged, kLanguageDll, -1}},
       false,
       "language.dll was changed since Tarnwick left it."},
      {"Steam's file check on a game whose ledger is gone: the log's own check",
       [](Drift& t) {
         fs::remove(t.paths.file);
         fixtures::WriteAll(t.File(kTouchedArchive), t.original_[kTouchedArchive]);
         fs::remove(t.Backup(1));
       },
       {{DriftKind::kArchiveShorter, kTouchedArchive, -1},
        {DriftKind::kBackupMissing, kLanguageDll, 1}},
       false,
       "language.dll.001, the backup of language.dll, is missing."},
  };
}

TEST_F(Drift, EachCauseIsFoundAndNothingIsWrittenUntilThePlayerChooses) {
  for (const Cause& cause : Causes()) {
    SCOPED_TRACE(cause.name);
    for (const bool removing : {false, true}) {
      SCOPED_TRACE(removing ? "Remove latest" : "install");
      InstallTwo();
      cause.change(*this);
      const Snapshot before = Snap(game_);
      const std::string graphics = fixtures::ReadAll(File(kGraphicsDrs));
      const ModLog on_disk = DiskLog();
      const Ledger ledger = OpenLedger(paths, messages);
      const std::vector<DriftFinding> findings = CheckDrift(on_disk, files, ledger);
      EXPECT_EQ(Kinds(findings), cause.found);
      EXPECT_EQ(CarryOnAllowed(findings, on_disk), cause.carry_on);

      // At an install the face answers Carry on, which is taken only where it was offered; at
      // Remove latest, Cancel.
      messages.choices_made = {removing ? kCancel : kCarryOn};
      bool stopped = false;
      if (removing) {
        stopped = RemoveLatest(log, files, messages);
      } else {
        const std::string path = WritePackage("Mod 3", 3);
        stopped = InstallPackage(path, Header(path), log, files, true, messages, nullptr);
        fs::remove(path);
      }
      const bool carried_on = !removing && cause.carry_on;
      EXPECT_EQ(stopped, !carried_on);
      ASSERT_EQ(messages.boxes.size(), 1u);
      EXPECT_EQ(messages.boxes[0].kind, Kind::kChoose);
      EXPECT_EQ(messages.boxes[0].title, kDriftTitle);
      EXPECT_NE(messages.boxes[0].text.find(cause.sentence), std::string::npos)
          << messages.boxes[0].text;
      std::vector<std::string> offered = {"Cancel", "Start over"};
      if (cause.carry_on) offered.push_back("Carry on");
      EXPECT_EQ(messages.offered.back(), offered);
      if (!carried_on) {
        EXPECT_TRUE(Snap(game_) == before) << "a refusal wrote";
        continue;
      }
      // Installed, the archive taken as it is.
      EXPECT_EQ(DiskLog().ModCount(), 3);
      EXPECT_EQ(fixtures::ReadAll(File(kGraphicsDrs)), graphics);
      EXPECT_TRUE(CheckDrift(DiskLog(), files, OpenLedger(paths, messages)).empty());
    }
  }
}

// Steam's check restored the archive and the library, the backups stayed behind: Start over at
// Remove latest keeps everything and empties the list; the game then installs as an untouched one
// does, and removes down to it. Chosen at an install, the install goes on with the fresh log.
TEST_F(Drift, StartOverKeepsEverythingAndLeavesAGameThatInstallsAndRemovesExactly) {
  InstallTwo();
  fixtures::WriteAll(File(kTouchedArchive), original_[kTouchedArchive]);
  fixtures::WriteAll(File(kLanguageDll), original_[kLanguageDll]);
  const std::string old_log = fixtures::ReadAll(log.LogPath);
  const std::string old_ledger = fixtures::ReadAll(paths.file);
  const std::string backup0 = fixtures::ReadAll(Backup(0));
  const std::string backup1 = fixtures::ReadAll(Backup(1));
  const std::vector<std::string> kept = FilesInFolder(paths.packages);
  ASSERT_EQ(kept.size(), 2u);

  messages.choices_made = {kStartOver};
  EXPECT_TRUE(RemoveLatest(log, files, messages));
  EXPECT_EQ(messages.boxes.back().text, kStartedOverText);
  ExpectGameAsWritten();
  EXPECT_EQ(DiskLog().ModCount(), 0);
  EXPECT_EQ(DiskLog().FileState[kTouchedArchive],
            static_cast<int32_t>(original_[kTouchedArchive].size()));
  EXPECT_FALSE(fs::exists(Backup(0)));

  // Nothing a player could want back is gone: dated copies, backups and packages with a note.
  std::string folder;
  for (const auto& item : fs::directory_iterator(game_ + "/Data/tarnwick")) {
    if (item.path().filename().string().starts_with("backups-")) folder = item.path().string();
  }
  ASSERT_FALSE(folder.empty());
  const std::string stamp = fs::path(folder).filename().string().substr(8);
  EXPECT_EQ(fixtures::ReadAll(log.LogPath + "." + stamp), old_log);
  EXPECT_EQ(fixtures::ReadAll(paths.file + "." + stamp), old_ledger);
  EXPECT_EQ(fixtures::ReadAll(folder + "/language.dll.000"), backup0);
  EXPECT_EQ(fixtures::ReadAll(folder + "/language.dll.001"), backup1);
  for (const std::string& package : kept)
    EXPECT_TRUE(fixtures::Exists(folder + "/packages/" + package));
  const std::string note = fixtures::ReadAll(folder + "/README.txt");
  EXPECT_NE(note.find("language.dll.000    backup of " + File(kLanguageDll)), std::string::npos)
      << note;
  EXPECT_NE(note.find("Mod 1"), std::string::npos) << note;

  const std::string reference = dir_ / "reference";
  ASSERT_FALSE(fixtures::WriteGameFolder(reference, {}));
  ModLog reference_log{reference + "/Data/mods.log", {}, {}};
  const GameFiles reference_files = MakeGameFiles(reference + "/", reference + "/Data/");
  const std::string path = WritePackage("Mod 3", 3);
  ASSERT_FALSE(
      InstallPackage(path, Header(path), reference_log, reference_files, true, messages, nullptr));
  messages.boxes.clear();
  ASSERT_FALSE(InstallPackage(path, Header(path), log, files, true, messages, nullptr));
  EXPECT_TRUE(messages.boxes.empty());
  for (int index = 0; index < kGameFileCount; ++index) {
    if (!IsGameFileIndex(index)) continue;
    EXPECT_EQ(fixtures::ReadAll(File(index)),
              fixtures::ReadAll(reference_files[static_cast<size_t>(index)]))
        << GameFileName(index);
  }
  EXPECT_FALSE(RemoveLatest(log, files, messages));
  EXPECT_TRUE(messages.boxes.empty());
  ExpectGameAsWritten();

  InstallTwo();
  fs::remove(Backup(0));
  messages.choices_made = {kStartOver};
  ASSERT_FALSE(InstallPackage(path, Header(path), log, files, true, messages, nullptr));
  const ModLog now = DiskLog();
  ASSERT_EQ(now.ModCount(), 1);
  EXPECT_EQ(now.Mods[1].Name, "Mod 3");
  EXPECT_EQ(DiskLedger().records.size(), 1u);
  EXPECT_TRUE(CheckDrift(now, files, OpenLedger(paths, messages)).empty());
}

}  // namespace
}  // namespace tarnwick
