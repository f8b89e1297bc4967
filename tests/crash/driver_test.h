#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixtures/files.h"
#include "modlog/mod_log.h"
#include "sample_game.h"

namespace tarnwick {

// A sample game in a fresh folder, and the driver run on it as its own process, as the program
// would run: with its own temporary folder, optionally under the fault shim.
class DriverTest : public ::testing::Test {
 protected:
  void SetUp() override;

  // Lays the game folder out as `files` says and empties the temporary folder.
  void Restore(const Snapshot& files);

  // Runs the driver's `command`; words after its first go after the game folder ("install" alone
  // takes the test's package and install options). `environment` holds words put before the
  // driver on the shell's line, `errors` (if given) receives its standard error. Returns the exit
  // status, or 128 plus the signal that ended it.
  int Drive(const std::string& command, const std::string& environment = "",
            std::string* errors = nullptr);

  // The words that load the fault shim into the driver.
  static std::string ShimEnvironment();

  // Runs the driver under the shim, which cuts it off at `cut_at` (0: nowhere). Syncs are skipped:
  // a process cut off loses nothing the system holds. Returns the exit status; with
  // `changes_counted`, the number of changes the shim saw.
  int Cut(const std::string& command, long cut_at = 0, const char* mode = "kill",
          long* changes_counted = nullptr);

  // How a cut happens: all four ways, or those TARNWICK_CUT_MODES names (comma-separated), which
  // lets the much slower sanitizer run take a representative few.
  static std::vector<std::string> CutModes();

  ModLog ReadLog();

  // Every game file as it was before the mod, and no mod left in the log. When the removal's
  // cutting back of an archive failed, the removal goes on by design: the archive then keeps the
  // appended bytes as an unreferenced tail, and its recorded length is the old one, so that the
  // next install writes over that tail.
  void ExpectPristine(const std::string& what, bool stale_tail_allowed = false);

  // Right after a cut: the ledger is the old one or the new one whole (never torn), every package
  // it names is kept, and every kept package holds exactly the bytes its name hashes; a copy cut
  // short, or not yet synced, lies only under its temporary name.
  void ExpectRecordsUntorn(const std::string& what);

  // Once an operation has finished: no plan left, one record per log entry that matches it, and
  // every record's package kept; with `exact_store`, no other package either (a cut that fell on
  // a deletion may leave one, which the next save deletes).
  void ExpectLedgerMatchesLog(const std::string& what, bool exact_store = true);

  // Cuts `command` off at each of its `changes` in every mode, starting from `start` each time,
  // then removes the latest mod (again) and expects the untouched game and a matching ledger.
  // Returns the runs made.
  int CutEverywhere(const Snapshot& start, const std::string& command, long changes);

  fixtures::TempDir root_;
  std::string game_;  // without a trailing separator, no link on the way
  std::string temp_;
  std::string package_;
  std::string install_options_;  // words after the package on the driver's line
  Snapshot pristine_;
};

}  // namespace tarnwick
