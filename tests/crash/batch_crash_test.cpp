// Installs whose archive resources are recorded several to a log save, cut off at every change
// they make: every cut leaves a log from which "Remove latest" restores every byte, although a
// saved batch names changes whose bytes may not have been written yet.

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
#include "writers/bytes.h"

namespace tarnwick {
namespace {

// Batches of three, broken by replacements and an icon row, with ids repeated inside a batch and
// across batches, and one payload larger than a kernel-copy piece of the buffer.
std::string ManyBatchPackage() {
  fixtures::Bytes icon;
  icon.I32(0x0F).I32(2).I32(2).I32(0).I32(3).Raw("\x04\x01\x02\x0f\x04\x03\x04\x0f");
  fixtures::MpiPackage package;
  package.title = "Many batches";
  package.rows = {
      Row(1, 1, 100, Pattern(70000, 30)),   // graphics.drs
      Row(1, 1, 101, Pattern(300, 31)),     // graphics.drs
      Row(3, 0, 50001, Pattern(900, 32)),   // gamedata_x1.drs
      Row(1, 3, 8800, Pattern(10, 33)),     // sounds_x1.drs
      Row(1, 1, 100, Pattern(200, 34)),     // graphics.drs, id 100 again in the same batch
      Row(2, 4, 15000, Pattern(0, 35)),     // terrain.drs, nothing appended
      Row(1, 1, 100, Pattern(150, 36)),     // graphics.drs, id 100 in the next batch
      Row(5, 6, 0, Pattern(1200, 37)),      // language.dll
      Row(1, 1, 3300, Pattern(400, 38)),    // graphics_x1.drs
      Row(1, 1, 3301, Pattern(64000, 39)),  // graphics_x1.drs, one whole block
      Row(6, 0, 2, icon.str()),             // four icons in interfac_x1.drs
      Row(1, 2, 53214, Pattern(90, 40)),    // interfac_x1.drs after the icons
      Row(1, 1, 3300, Pattern(500, 41)),    // graphics_x1.drs again
      Row(1, 4, 15040, Pattern(250, 42)),   // terrain_x1.drs
      Row(5, 10, 0, Pattern(700, 43)),      // genie_x1.dat
      Row(1, 0, 50001, Pattern(80, 44)),    // gamedata_x1.drs again
  };
  return fixtures::BuildMpi(package);
}

class BatchCrashSafety : public ::testing::Test {
 protected:
  void SetUp() override {
    game_ = root_ / "game";
    temp_ = root_ / "tmp";
    package_ = root_ / "batches.mpi";
    fixtures::WriteAll(package_, ManyBatchPackage());
    pristine_ = SampleGame();
  }

  int Drive(const std::string& command, long cut_at, const char* mode, long* counted = nullptr) {
    std::string line = "TMPDIR='" + temp_ + "' ";
    if (cut_at > 0 || counted != nullptr) {
      line += "LD_PRELOAD='" TARNWICK_FAULT_SHIM
              "' ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0 ";
      line += "TARNWICK_FAULT_AT=" + std::to_string(cut_at) + " TARNWICK_FAULT_MODE=" + mode + " ";
    }
    const std::string report = root_ / "count";
    if (counted != nullptr) line += "TARNWICK_FAULT_REPORT='" + report + "' ";
    line += "'" TARNWICK_DRIVER "' " + command + " '" + game_ + "'";
    if (command == "install") line += " '" + package_ + "' --batch 3";
    line += " 2>/dev/null";
    const int status = std::system(line.c_str());
    if (counted != nullptr) *counted = std::stol(fixtures::ReadAll(report));
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  void ExpectPristine(const std::string& what) {
    ModLog log;
    log.LogPath = game_ + "/mods.log";
    fixtures::RecordingMessages messages;
    const GameFiles files = MakeGameFiles(game_ + "/", game_ + "/");
    ASSERT_FALSE(ReadModLog(log, files, messages)) << what;
    EXPECT_EQ(log.ModCount(), 0) << what;
    for (int index = 0; index < kGameFileCount; ++index) {
      if (!IsGameFileIndex(index)) continue;
      const std::string name = GameFileName(index);
      ASSERT_EQ(fixtures::ReadAll(game_ + "/" + name), pristine_.at(name))
          << name << " differs after " << what;
    }
  }

  fixtures::TempDir root_;
  std::string game_;
  std::string temp_;
  std::string package_;
  Snapshot pristine_;
};

TEST_F(BatchCrashSafety, InstallOfSeveralBatchesCutOffAnywhereIsUndoneByRemoval) {
  LayOut(game_, pristine_);
  LayOut(temp_, {});
  long changes = 0;
  ASSERT_EQ(Drive("install", 0, "kill", &changes), 0);
  const std::string installed_log = fixtures::ReadAll(game_ + "/mods.log");
  ASSERT_NE(installed_log.find("Many batches\r\n19\r\n"), std::string::npos) << installed_log;
  ASSERT_EQ(Drive("remove", 0, "kill"), 0);
  ExpectPristine("a whole install");
  int runs = 0;
  for (const char* mode : {"kill", "torn", "enospc", "eacces"}) {
    for (long cut = 1; cut <= changes && !HasFatalFailure(); ++cut, ++runs) {
      LayOut(game_, pristine_);
      LayOut(temp_, {});
      Drive("install", cut, mode);
      Drive("remove", 0, "kill");
      ExpectPristine("install cut at change " + std::to_string(cut) + " (" + mode + ")");
    }
  }
  std::cout << "[ cut points ] install in batches of 3: " << changes << " changes, " << runs
            << " runs\n";
  EXPECT_EQ(runs, 4 * changes);
}

}  // namespace
}  // namespace tarnwick
