// Removing a mod from the middle of a stack, cut off at any change it makes to a file: the next
// start finishes the plan and the game is byte for byte a fresh install of the other mods in
// their order; or, left as it stands, Remove latest takes every mod off down to the untouched game.

#include <gtest/gtest.h>

#include <iostream>
#include <string>

#include "driver_test.h"
#include "fixtures/files.h"
#include "ledger/ledger.h"

namespace tarnwick {
namespace {

class RemoveAnyCrash : public DriverTest {
 protected:
  void Install(std::initializer_list<int> mods) {
    const std::vector<std::string> packages = StackPackages();
    for (int which : mods) {
      fixtures::WriteAll(package_, packages[static_cast<size_t>(which)]);
      ASSERT_EQ(Drive("install"), 0);
    }
  }

  Snapshot GameBytes() {
    Snapshot bytes = ReadFolder(game_);
    std::erase_if(bytes, [](const auto& file) { return file.first.starts_with("tarnwick/"); });
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
};

TEST_F(RemoveAnyCrash, CutAnywhereThenFinishedGivesAFreshInstallOfTheOthers) {
  // Skins, new names, sounds: the first and the last redirect the same graphics entry, so the
  // order they go back in shows.
  Restore(pristine_);
  Install({0, 1});
  const Snapshot expected = GameBytes();
  Restore(pristine_);
  Install({0, 2, 1});
  const Snapshot stacked = ReadFolder(game_);
  const Snapshot stacked_game = GameBytes();

  long changes = 0;
  ASSERT_EQ(Cut("remove-any 2", 0, "kill", &changes), 0);
  ExpectSame(GameBytes(), expected, "a whole removal");
  ExpectLedgerMatchesLog("a whole removal", false);
  ASSERT_GT(changes, 30);

  int runs = 0;
  for (long cut = 1; cut <= changes && !HasFatalFailure(); ++cut, ++runs) {
    const std::string what = "removal of mod 2 cut at change " + std::to_string(cut);
    Restore(stacked);
    Cut("remove-any 2", cut);
    const Snapshot cut_off = ReadFolder(game_);

    Ledger ledger;
    const bool planned =
        ParseLedger(fixtures::ReadAll(game_ + "/tarnwick/ledger.json"), ledger) && ledger.plan;
    if (!planned && GameBytes() != expected) {
      // Cut before the plan was recorded: nothing was written to the game, so asking again is
      // all there is to do.
      ExpectSame(GameBytes(), stacked_game, what);
      ASSERT_EQ(Drive("remove-any 2"), 0) << what;
    }
    ASSERT_EQ(Drive("resume"), 0) << what;
    ExpectSame(GameBytes(), expected, what);
    ExpectLedgerMatchesLog(what, false);

    // Left as it stands instead: Remove latest takes every mod off, down to the untouched game.
    Restore(cut_off);
    for (int left = ReadLog().ModCount(); left > 0; --left) {
      ASSERT_EQ(Drive("remove"), 0) << what;
    }
    // Every game file as it was (a backup file the cut left empty may stay beside them).
    ExpectPristine(what);
  }
  std::cout << "[ cut points ] remove any: " << changes << " changes, " << runs << " runs\n";
  RecordProperty("remove_any_cut_points", static_cast<int>(changes));
}

}  // namespace
}  // namespace tarnwick
