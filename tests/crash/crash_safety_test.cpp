// An install or a removal cut off at any change it makes to a file must leave a log from which
// "Remove latest" brings every game file back byte for byte.

#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <set>
#include <string>

#include "driver_test.h"
#include "fixtures/files.h"
#include "fixtures/recording_messages.h"
#include "ledger/ledger.h"
#include "modlog/mod_log.h"

namespace tarnwick {
namespace {

class CrashSafety : public DriverTest {
 protected:
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
    for (const std::string& mode : CutModes()) {
      for (long cut = 1; cut <= changes && !HasFatalFailure(); ++cut, ++runs) {
        Restore(start);
        // Some cuts hit steps whose failure is ignored (removing a temporary sprite); the
        // command then completes, and the removal must restore the game just the same.
        const std::string what =
            command + " cut at change " + std::to_string(cut) + " (" + mode + ")";
        Cut(command, cut, mode.c_str());
        ExpectRecordsUntorn(what);
        Cut("remove");
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
};

TEST_F(CrashSafety, InstallCutOffAtEveryChangeIsUndoneByRemoval) {
  Restore(pristine_);
  long changes = 0;
  ASSERT_EQ(Cut("install", 0, "kill", &changes), 0);
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
  EXPECT_EQ(CutEverywhere(pristine_, "install", changes),
            static_cast<int>(CutModes().size() * changes));
}

TEST_F(CrashSafety, RemovalCutOffAtEveryChangeCanBeRunAgain) {
  Restore(pristine_);
  ASSERT_EQ(Drive("install"), 0);
  const Snapshot installed = ReadFolder(game_);
  long changes = 0;
  ASSERT_EQ(Cut("remove", 0, "kill", &changes), 0);
  ExpectPristine("a whole removal");
  ASSERT_GT(changes, 20);
  EXPECT_EQ(CutEverywhere(installed, "remove", changes),
            static_cast<int>(CutModes().size() * changes));
}

// Under a file-size limit a write fails with EFBIG, as on a full disk, once SIGXFSZ is ignored;
// left at its default the signal would end the program without a word.
TEST_F(CrashSafety, AFileSizeLimitEndsTheInstallAsAFullDisk) {
  Restore(pristine_);
  std::string errors;
  EXPECT_EQ(Drive("install", "prlimit --fsize=20000", &errors), 1);
  EXPECT_NE(errors.find("Error: Out of disk space! Unable to continue."), std::string::npos)
      << errors;
  // The limit may stop the install as early as keeping its package, before anything is recorded;
  // whatever was recorded comes off again.
  Drive("remove");
  ExpectPristine("an install stopped by a file-size limit");
}

}  // namespace
}  // namespace tarnwick
