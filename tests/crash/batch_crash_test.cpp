// Installs whose archive resources are recorded several to a log save, cut off at every change
// they make: every cut leaves a log from which "Remove latest" restores every byte, although a
// saved batch names changes whose bytes may not have been written yet.

#include <gtest/gtest.h>

#include <iostream>
#include <string>

#include "driver_test.h"
#include "fixtures/files.h"
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

class BatchCrashSafety : public DriverTest {
 protected:
  void SetUp() override {
    DriverTest::SetUp();
    package_ = root_ / "batches.mpi";
    fixtures::WriteAll(package_, ManyBatchPackage());
    install_options_ = "--batch 3";
  }
};

TEST_F(BatchCrashSafety, InstallOfSeveralBatchesCutOffAnywhereIsUndoneByRemoval) {
  Restore(pristine_);
  long changes = 0;
  ASSERT_EQ(Cut("install", 0, "kill", &changes), 0);
  const std::string installed_log = fixtures::ReadAll(game_ + "/mods.log");
  ASSERT_NE(installed_log.find("Many batches\r\n19\r\n"), std::string::npos) << installed_log;
  ASSERT_EQ(Drive("remove"), 0);
  ExpectPristine("a whole install");
  int runs = 0;
  for (const std::string& mode : CutModes()) {
    for (long cut = 1; cut <= changes && !HasFatalFailure(); ++cut, ++runs) {
      Restore(pristine_);
      Cut("install", cut, mode.c_str());
      Drive("remove");
      ExpectPristine("install cut at change " + std::to_string(cut) + " (" + mode + ")");
    }
  }
  std::cout << "[ cut points ] install in batches of 3: " << changes << " changes, " << runs
            << " runs\n";
  EXPECT_EQ(runs, static_cast<int>(CutModes().size() * changes));
}

}  // namespace
}  // namespace tarnwick
