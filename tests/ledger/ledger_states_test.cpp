// What the program does with each state the ledger can be in beside a log: every state keeps
// installing and removing as the log alone allows, and only records that match are trusted.

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "install/install.h"
#include "ledger_game.h"
#include "manage/install_package.h"
#include "manage/mod_records.h"
#include "modlog/removal.h"

namespace tarnwick {
namespace {

using Lines = std::vector<std::string>;

class LedgerStates : public LedgerGame {
 public:
  void InstallThroughTarnwick(const std::string& title, int seed) {
    const std::string path = WritePackage(title, seed);
    ASSERT_FALSE(InstallPackage(path, Header(path), log, files, true, messages, nullptr));
  }
  // As an installer that knows only mods.log does it.
  void InstallElsewhere(const std::string& title, int seed) {
    const std::string path = WritePackage(title, seed);
    ASSERT_FALSE(InstallMod(path, Header(path), log, files, true, messages, nullptr));
  }

  // Per log entry, oldest first: K when its record and package are there, N ("package not
  // kept") otherwise.
  std::string Describe() {
    std::string shown;
    for (const ModRecordStatus& status : ReadModRecords(DiskLog(), true, messages))
      shown += status.recorded && status.package == KeptPackage::kKept ? 'K' : 'N';
    return shown;
  }

  std::vector<std::string> KeptFiles() const {
    std::vector<std::string> names;
    if (!std::filesystem::is_directory(paths.packages)) return names;
    for (const auto& entry : std::filesystem::directory_iterator(paths.packages)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
};

struct StateCase {
  const char* name;
  std::function<void(LedgerStates&)> make;  // from two mods installed through Tarnwick
  std::string shown;                        // as Describe() gives it
  size_t boxes;                             // shown while reading the records
  std::string shown_after_removal;          // after Remove latest
};

TEST_F(LedgerStates, EachStateIsShownAndRemovalRestoresEveryByte) {
  const std::vector<StateCase> cases = {
      {"matching", [](LedgerStates&) {}, "KK", 0, "K"},
      {"stale: another installer replaced the newest mod",
       [](LedgerStates& t) {
         RemoveLatestMod(t.log, t.files, t.messages);
         t.InstallElsewhere("Third", 3);
       },
       "KN", 0, "K"},
      {"stale: the newest mod was removed elsewhere",
       [](LedgerStates& t) { RemoveLatestMod(t.log, t.files, t.messages); }, "K", 0, ""},
      {"missing", [](LedgerStates& t) { std::filesystem::remove(t.paths.file); }, "NN", 0, "N"},
      {"damaged",
       [](LedgerStates& t) { fixtures::WriteAll(t.paths.file, "{\"format\": \"tarnwick-led"); },
       "NN", 1, "N"},
      {"a kept package altered",
       [](LedgerStates& t) {
         const std::string kept = KeptPackagePath(t.paths, t.DiskLedger().records[1].package);
         fixtures::WriteAll(kept, fixtures::ReadAll(kept) + "x");
       },
       "KN", 0, "K"},
  };
  for (const StateCase& state : cases) {
    SCOPED_TRACE(state.name);
    std::filesystem::remove_all(game_);
    ASSERT_FALSE(fixtures::WriteGameFolder(game_, {}));
    log = ModLog{log.LogPath, {}, {}};
    InstallThroughTarnwick("First", 1);
    InstallThroughTarnwick("Second", 2);
    messages.boxes.clear();
    state.make(*this);
    const size_t boxes_before = messages.boxes.size();
    EXPECT_EQ(Describe(), state.shown);
    EXPECT_EQ(messages.boxes.size() - boxes_before, state.boxes);
    if (state.boxes == 1) {
      EXPECT_EQ(messages.boxes.back().text, kLedgerSetAside);
      // Set aside once, so the message is not repeated.
      EXPECT_EQ(Describe(), state.shown);
      EXPECT_EQ(messages.boxes.size() - boxes_before, 1u);
    }

    log = DiskLog();
    RemoveLatest(log, files, messages);
    EXPECT_EQ(Describe(), state.shown_after_removal);
    // The ledger now holds exactly the matching records, the store exactly their packages.
    const Ledger ledger = DiskLedger();
    std::vector<std::string> used;
    for (const LedgerRecord& record : ledger.records) {
      EXPECT_TRUE(RecordMatches(record, DiskLog(), record.position));
      used.push_back(record.package + ".mpi");
    }
    std::sort(used.begin(), used.end());
    EXPECT_EQ(KeptFiles(), used);
    while (DiskLog().ModCount() > 0) RemoveLatest(log, files, messages);
    ExpectGameAsWritten();
    EXPECT_TRUE(KeptFiles().empty());
    EXPECT_TRUE(DiskLedger().records.empty());
  }
}

TEST_F(LedgerStates, ModsOfAnotherInstallerStayUnrecordedBesideNewOnes) {
  InstallElsewhere("Elsewhere", 1);
  EXPECT_FALSE(std::filesystem::exists(paths.folder));
  EXPECT_EQ(Describe(), "N");
  InstallThroughTarnwick("Here", 2);
  EXPECT_EQ(Describe(), "NK");
  EXPECT_EQ(DiskLedger().records.at(0).position, 2);
  EXPECT_TRUE(messages.Errors().empty());
  // The log is the one any installer writes: another one removes both mods from it.
  log = DiskLog();
  RemoveLatestMod(log, files, messages);
  RemoveLatestMod(log, files, messages);
  ExpectGameAsWritten();
}

// The package is kept before the log's first save; when it cannot be, nothing else happens.
TEST_F(LedgerStates, APackageThatCannotBeKeptStopsTheInstallBeforeAnyChange) {
  fixtures::WriteAll(paths.folder.substr(0, paths.folder.size() - 1), "a file, not a folder");
  const std::string path = WritePackage("Mod", 1);
  EXPECT_TRUE(InstallPackage(path, Header(path), log, files, true, messages, nullptr));
  EXPECT_EQ(messages.Errors(), Lines{"Error installing mod! Unable to continue."});
  EXPECT_FALSE(fixtures::Exists(log.LogPath));
  ExpectGameAsWritten();
}

// An install that succeeds keeps the package byte for byte under its hash, which its record
// names; one that fails part-way gets no record, and the copy kept before it goes with that save.
TEST_F(LedgerStates, OnlyAnInstallThatSucceedsKeepsItsPackage) {
  InstallThroughTarnwick("First", 1);
  const std::string bytes = fixtures::ReadAll(dir_ / "First.mpi");
  const std::string hash = HashBytes(bytes.data(), bytes.size());
  EXPECT_EQ(DiskLedger().records.at(0).package, hash);
  EXPECT_EQ(KeptFiles(), Lines{hash + ".mpi"});
  EXPECT_EQ(fixtures::ReadAll(KeptPackagePath(paths, hash)), bytes);

  // Its last payload cut short: the package reads, and its install fails part-way.
  const std::string broken = WritePackage("Broken", 2);
  const std::string whole = fixtures::ReadAll(broken);
  const PackageHeader header = Header(broken);
  fixtures::WriteAll(broken, whole.substr(0, whole.size() - 100));
  EXPECT_TRUE(InstallPackage(broken, header, log, files, true, messages, nullptr));
  EXPECT_FALSE(messages.Errors().empty());
  EXPECT_EQ(KeptFiles(), Lines{hash + ".mpi"});
  EXPECT_EQ(DiskLedger().records.size(), 1u);
}

}  // namespace
}  // namespace tarnwick
