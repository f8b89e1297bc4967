// Removing a mod from the middle of a stack, cut off at any change it makes to a file: the next
// start finishes the plan and the game is byte for byte a fresh install of the other mods in
// their order; or, left as it stands, Remove latest takes every mod off down to the untouched game.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
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

class RemoveAnyCrash : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::vector<std::string> packages = StackPackages();
    for (size_t i = 0; i < packages.size(); ++i) {
      packages_.push_back(root_ / ("mod" + std::to_string(i) + ".mpi"));
      fixtures::WriteAll(packages_.back(), packages[i]);
    }
  }

  void Restore(const Snapshot& files) {
    LayOut(game_, files);
    LayOut(temp_, {});
  }

  // Runs the driver (`arguments` after the game folder); with a cut point, the shim ends it
  // there. Returns the exit status.
  int Drive(const std::string& command, const std::string& arguments = {}, long cut_at = 0,
            long* changes_counted = nullptr) {
    std::string line = "TMPDIR='" + temp_ + "' ";
    const std::string report = root_ / "count";
    if (cut_at > 0 || changes_counted != nullptr) {
      line += "LD_PRELOAD='" TARNWICK_FAULT_SHIM
              "' ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0 TARNWICK_FAULT_MODE=kill ";
      line += "TARNWICK_FAULT_AT=" + std::to_string(cut_at) + " ";
      if (changes_counted != nullptr) line += "TARNWICK_FAULT_REPORT='" + report + "' ";
    }
    line += "'" TARNWICK_DRIVER "' " + command + " '" + game_ + "' " + arguments + " 2>/dev/null";
    const int status = std::system(line.c_str());
    if (changes_counted != nullptr) *changes_counted = std::stol(fixtures::ReadAll(report));
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  void Install(std::initializer_list<int> mods) {
    for (int which : mods) {
      ASSERT_EQ(Drive("install", "'" + packages_[static_cast<size_t>(which)] + "'"), 0);
    }
  }

  Snapshot GameBytes() {
    Snapshot bytes = ReadFolder(game_);
    for (auto it = bytes.begin(); it != bytes.end();) {
      it = it->first.starts_with("tarnwick/") ? bytes.erase(it) : std::next(it);
    }
    return bytes;
  }

  // Names the files that differ, not their bytes.
  static void ExpectSame(const Snapshot& actual, const Snapshot& expected,
                         const std::string& what) {
    for (const auto& [name, bytes] : expected) {
      ASSERT_TRUE(actual.count(name) == 1 && actual.at(name) == bytes)
          << name << " differs or is missing, " << what;
    }
    for (const auto& [name, bytes] : actual) {
      ASSERT_EQ(expected.count(name), 1u) << name << " is left over, " << what;
    }
  }

  ModLog ReadLog() {
    ModLog log;
    log.LogPath = game_ + "/mods.log";
    fixtures::RecordingMessages messages;
    EXPECT_FALSE(ReadModLog(log, MakeGameFiles(game_ + "/", game_ + "/"), messages));
    return log;
  }

  // The plan is gone, every mod has its record again, and every record its package.
  void ExpectRecordsSettled(const std::string& what) {
    const ModLog log = ReadLog();
    Ledger ledger;
    ASSERT_TRUE(ParseLedger(fixtures::ReadAll(game_ + "/tarnwick/ledger.json"), ledger)) << what;
    EXPECT_FALSE(ledger.plan.has_value()) << what;
    std::set<std::string> used;
    for (const LedgerRecord& record : ledger.records) {
      EXPECT_TRUE(RecordMatches(record, log, record.position)) << what;
      used.insert(record.package + ".mpi");
    }
    EXPECT_EQ(ledger.records.size(), static_cast<size_t>(log.ModCount())) << what;
    // A package no record uses may stay when the cut fell on its deletion; the next save
    // deletes it.
    for (const std::string& name : used) {
      EXPECT_TRUE(fixtures::Exists(game_ + "/tarnwick/packages/" + name)) << name << ", " << what;
    }
  }

  fixtures::TempDir root_;
  std::string game_ = root_ / "game";
  std::string temp_ = root_ / "tmp";
  std::vector<std::string> packages_;
};

TEST_F(RemoveAnyCrash, CutAnywhereThenFinishedGivesAFreshInstallOfTheOthers) {
  const Snapshot pristine = SampleGame();
  // Skins, new names, sounds: the first and the last redirect the same graphics entry, so the
  // order they go back in shows.
  Restore(pristine);
  Install({0, 1});
  const Snapshot expected = GameBytes();
  Restore(pristine);
  Install({0, 2, 1});
  const Snapshot stacked = ReadFolder(game_);
  const Snapshot stacked_game = GameBytes();

  long changes = 0;
  ASSERT_EQ(Drive("remove-any", "2", 0, &changes), 0);
  ExpectSame(GameBytes(), expected, "a whole removal");
  ExpectRecordsSettled("a whole removal");
  ASSERT_GT(changes, 30);

  int runs = 0;
  for (long cut = 1; cut <= changes && !HasFatalFailure(); ++cut, ++runs) {
    const std::string what = "removal of mod 2 cut at change " + std::to_string(cut);
    Restore(stacked);
    Drive("remove-any", "2", cut);
    const Snapshot cut_off = ReadFolder(game_);

    Ledger ledger;
    const bool planned =
        ParseLedger(fixtures::ReadAll(game_ + "/tarnwick/ledger.json"), ledger) && ledger.plan;
    if (!planned && GameBytes() != expected) {
      // Cut before the plan was recorded: nothing was written to the game, so asking again is
      // all there is to do.
      ExpectSame(GameBytes(), stacked_game, what);
      ASSERT_EQ(Drive("remove-any", "2"), 0) << what;
    }
    ASSERT_EQ(Drive("resume"), 0) << what;
    ExpectSame(GameBytes(), expected, what);
    ExpectRecordsSettled(what);

    // Left as it stands instead: Remove latest takes every mod off, down to the untouched game.
    Restore(cut_off);
    for (int left = ReadLog().ModCount(); left > 0; --left) {
      ASSERT_EQ(Drive("remove"), 0) << what;
    }
    ASSERT_EQ(ReadLog().ModCount(), 0) << what;
    // Every game file as it was (a backup file the cut left empty may stay beside them).
    for (const auto& [name, bytes] : pristine) {
      ASSERT_TRUE(fixtures::ReadAll(game_ + "/" + name) == bytes) << name << " differs, " << what;
    }
  }
  std::cout << "[ cut points ] remove any: " << changes << " changes, " << runs << " runs\n";
  RecordProperty("remove_any_cut_points", static_cast<int>(changes));
}

}  // namespace
}  // namespace tarnwick
