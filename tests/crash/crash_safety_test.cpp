// An install or a removal cut off at any change it makes to a file must leave a log from which
// "Remove latest" brings every game file back byte for byte.

#include <gtest/gtest.h>

#include <string>

#include "driver_test.h"
#include "fixtures/files.h"
#include "ledger/ledger.h"

namespace tarnwick {
namespace {

using CrashSafety = DriverTest;

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

// Archive resources recorded several to a log save: a saved batch names changes whose bytes may
// not have been written yet when the cut comes.
TEST_F(CrashSafety, InstallInBatchesCutOffAnywhereIsUndoneByRemoval) {
  fixtures::WriteAll(package_, ManyBatchPackage());
  install_options_ = "--batch 3";
  Restore(pristine_);
  long changes = 0;
  ASSERT_EQ(Cut("install", 0, "kill", &changes), 0);
  ASSERT_NE(fixtures::ReadAll(game_ + "/mods.log").find("Many batches\r\n19\r\n"),
            std::string::npos);
  ASSERT_EQ(Drive("remove"), 0);
  ExpectPristine("a whole install in batches");
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
