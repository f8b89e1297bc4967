// An install or a removal cut off at any change it makes to a file must leave a log from which
// "Remove latest" brings every game file back byte for byte.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <iostream>
#include <string>

#include "common/game_files.h"
#include "fixtures/files.h"
#include "fixtures/recording_messages.h"
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

  // Cuts `command` off at each of its `changes` in every mode, starting from `start` each time,
  // then removes the latest mod (again) and expects the untouched game. Returns the runs made.
  int CutEverywhere(const Snapshot& start, const std::string& command, long changes) {
    int runs = 0;
    for (const std::string mode : {"kill", "torn", "enospc", "eacces"}) {
      for (long cut = 1; cut <= changes && !HasFatalFailure(); ++cut, ++runs) {
        Restore(start);
        // Some cuts hit steps whose failure is ignored (removing a temporary sprite); the
        // command then completes, and the removal must restore the game just the same.
        Drive(command, cut, mode.c_str());
        Drive("remove");
        const bool failed_call = mode == "enospc" || mode == "eacces";
        ExpectPristine(command + " cut at change " + std::to_string(cut) + " (" + mode + ")",
                       command == "remove" && failed_call);
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
  ASSERT_EQ(Drive("remove"), 0);
  ExpectPristine("a whole install");
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
