// An install or a removal cut off at any change it makes to a file must leave a log from which
// "Remove latest" brings every game file back byte for byte.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <set>
#include <string>

#include "common/game_files.h"
#include "fixtures/files.h"
#include "fixtures/recording_messages.h"
#include "ledger/ledger.h"
#include "modlog/mod_log.h"
#include "sample_game.h"

namespace tarnwick {
namespace {

class CrashSafety : public ::testing::Test {
 protected:
  void SetUp() override {
    game_ = root_ / "game";
    temp_ = root_ / "tmp";
    package_ = root_ / "everything.mpi";
    fixtures::WriteAll(package_, SamplePackage());
    pristine_ = SampleGame();
  }

  void Restore(const Snapshot& files) {
    LayOut(game_, files);
    LayOut(temp_, {});
  }

  // Runs the driver; with a cut point, the shim cuts it off there. Returns the exit status.
  int Drive(const std::string& command, long cut_at = 0, const char* mode = "kill",
            long* changes_counted = nullptr) {
    std::string line = "TMPDIR='" + temp_ + "' ";
    if (cut_at > 0 || changes_counted != nullptr) {
      line += "LD_PRELOAD='" TARNWICK_FAULT_SHIM
              "' ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0 ";
      line += "TARNWICK_FAULT_AT=" + std::to_string(cut_at) + " TARNWICK_FAULT_MODE=" + mode + " ";
    }
    const std::string report = root_ / "count";
    if (changes_counted != nullptr) line += "TARNWICK_FAULT_REPORT='" + report + "' ";
    line += "'" TARNWICK_DRIVER "' " + command + " '" + game_ + "'";
    if (command == "install") line += " '" + package_ + "'";
    line += " 2>/dev/null";
    const int status = std::system(line.c_str());
    if (changes_counted != nullptr) *changes_counted = std::stol(fixtures::ReadAll(report));
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  // Every game file as it was before the mod, and no mod left in the log. When the removal's
  // cutting back of an archive failed, the removal goes on by design: the archive then keeps the
  // appended bytes as an unreferenced tail, and its recorded length is the old one, so that the
  // next install writes over that tail.
  void ExpectPristine(const std::string& what, bool stale_tail_allowed = false) {
    ModLog log;
    log.LogPath = game_ + "/mods.log";
    fixtures::RecordingMessages messages;
    const GameFiles files = MakeGameFiles(game_ + "/", game_ + "/");
    ASSERT_FALSE(ReadModLog(log, files, messages)) << what;
    EXPECT_EQ(log.ModCount(), 0) << what;
    for (int index = 0; index < kGameFileCount; ++index) {
      if (!IsGameFileIndex(index)) continue;
      const std::string name = GameFileName(index);
      const std::string& before = pristine_.at(name);
      const std::string after = fixtures::ReadAll(game_ + "/" + name);
      const bool tail_only = stale_tail_allowed && !IsReplacedFile(index) &&
                             after.size() > before.size() &&
                             after.compare(0, before.size(), before) == 0 &&
                             log.FileState[index] == static_cast<int32_t>(before.size());
      ASSERT_TRUE(after == before || tail_only)
          << name << " differs after " << what << " (" << after.size() << " bytes, was "
          << before.size() << ")";
    }
  }

  // Right after a cut: the ledger is the old one or the new one whole (never torn), and every
  // kept package holds exactly the bytes its name hashes; a copy cut short lies only under its
  // temporary name.
  void ExpectRecordsUntorn(const std::string& what) {
    const std::string ledger_file = game_ + "/tarnwick/ledger.json";
    if (fixtures::Exists(ledger_file)) {
      Ledger ledger;
      ASSERT_TRUE(ParseLedger(fixtures::ReadAll(ledger_file), ledger)) << what;
    }
    const std::string packages = game_ + "/tarnwick/packages";
    if (!std::filesystem::is_directory(packages)) return;
    for (const auto& entry : std::filesystem::directory_iterator(packages)) {
      const std::string name = entry.path().filename().string();
      if (entry.path().extension() != ".mpi") continue;
      const std::string bytes = fixtures::ReadAll(entry.path().string());
      ASSERT_EQ(HashBytes(bytes.data(), bytes.size()) + ".mpi", name) << what;
    }
  }

  // After Remove latest: the ledger was saved against the log it left, so each record belongs to
  // a log entry, and each kept package is one a record uses.
  void ExpectLedgerMatchesLog(const std::string& what) {
    ModLog log;
    log.LogPath = game_ + "/mods.log";
    fixtures::RecordingMessages messages;
    const GameFiles files = MakeGameFiles(game_ + "/", game_ + "/");
    ASSERT_FALSE(ReadModLog(log, files, messages)) << what;
    Ledger ledger;
    ASSERT_TRUE(ParseLedger(fixtures::ReadAll(game_ + "/tarnwick/ledger.json"), ledger)) << what;
    std::set<std::string> used;
    for (const LedgerRecord& record : ledger.records) {
      EXPECT_TRUE(RecordMatches(record, log, record.position)) << what;
      used.insert(record.package + ".mpi");
    }
    const std::string packages = game_ + "/tarnwick/packages";
    if (!std::filesystem::is_directory(packages)) return;
    for (const auto& entry : std::filesystem::directory_iterator(packages)) {
      EXPECT_EQ(used.count(entry.path().filename().string()), 1u)
          << entry.path().filename() << " left after " << what;
    }
  }

  // Cuts `command` off at each of its `changes` in every mode, starting from `start` each time,
  // then removes the latest mod (again) and expects the untouched game. Returns the runs made.
  int CutEverywhere(const Snapshot& start, const std::string& command, long changes) {
    int runs = 0;
    for (const std::string mode : {"kill", "torn", "enospc", "eacces"}) {
      for (long cut = 1; cut <= changes && !HasFatalFailure(); ++cut, ++runs) {
        Restore(start);
        // Some cuts hit steps whose failure is ignored (removing a temporary sprite); the
        // command then completes, and the removal must restore the game just the same.
        const std::string what =
            command + " cut at change " + std::to_string(cut) + " (" + mode + ")";
        Drive(command, cut, mode.c_str());
        ExpectRecordsUntorn(what);
        Drive("remove");
        const bool failed_call = mode == "enospc" || mode == "eacces";
        ExpectPristine(what, command == "remove" && failed_call);
        ExpectLedgerMatchesLog(what);
      }
    }
    std::cout << "[ cut points ] " << command << ": " << changes << " changes, " << runs
              << " runs\n";
    RecordProperty(command + "_cut_points", static_cast<int>(changes));
    return runs;
  }

  fixtures::TempDir root_;
  std::string game_;
  std::string temp_;
  std::string package_;
  Snapshot pristine_;
};

TEST_F(CrashSafety, InstallCutOffAtEveryChangeIsUndoneByRemoval) {
  Restore(pristine_);
  long changes = 0;
  ASSERT_EQ(Drive("install", 0, "kill", &changes), 0);
  ASSERT_GT(changes, 30);
  ASSERT_NE(fixtures::ReadAll(game_ + "/language.dll"), pristine_["language.dll"]);
  // The whole install is recorded, its package kept byte for byte.
  Ledger ledger;
  ASSERT_TRUE(ParseLedger(fixtures::ReadAll(game_ + "/tarnwick/ledger.json"), ledger));
  ASSERT_EQ(ledger.records.size(), 1u);
  EXPECT_EQ(fixtures::ReadAll(game_ + "/tarnwick/packages/" + ledger.records[0].package + ".mpi"),
            fixtures::ReadAll(package_));
  ExpectLedgerMatchesLog("a whole install");
  ASSERT_EQ(Drive("remove"), 0);
  ExpectPristine("a whole install");
  ExpectLedgerMatchesLog("a whole removal");
  EXPECT_EQ(CutEverywhere(pristine_, "install", changes), 4 * changes);
}

TEST_F(CrashSafety, RemovalCutOffAtEveryChangeCanBeRunAgain) {
  Restore(pristine_);
  ASSERT_EQ(Drive("install"), 0);
  const Snapshot installed = ReadFolder(game_);
  long changes = 0;
  ASSERT_EQ(Drive("remove", 0, "kill", &changes), 0);
  ExpectPristine("a whole removal");
  ASSERT_GT(changes, 20);
  EXPECT_EQ(CutEverywhere(installed, "remove", changes), 4 * changes);
}

}  // namespace
}  // namespace tarnwick
