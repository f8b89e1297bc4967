#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "common/game_files.h"
#include "fixtures/files.h"
#include "writers/mpi_writer.h"
#include "fixtures/recording_messages.h"
#include "install/install.h"
#include "modlog/mod_log.h"
#include "package/package.h"
#include "platform/failure.h"
#include "platform/file_system.h"
#include "platform/host_path.h"

namespace tarnwick {
namespace {

using fixtures::Exists;
using fixtures::MpiRow;
using fixtures::ReadAll;
using fixtures::WriteAll;

// Bytes that differ from block to block, so that a misplaced block shows.
std::string Pattern(size_t length, unsigned seed) {
  std::string bytes(length, '\0');
  for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251 + seed) & 0xFF);
  return bytes;
}

MpiRow Replacement(uint8_t target, std::string payload) {
  MpiRow row;
  row.type = 5;
  row.target = target;
  row.payload = std::move(payload);
  return row;
}

MpiRow Hostile(std::optional<int32_t> length, std::optional<int32_t> offset) {
  MpiRow row = Replacement(6, "payload");
  row.length = length;
  row.offset = offset;
  return row;
}

class ReplaceGameFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_prefix_ = WinePrefix();
    SetWinePrefix("");
    fixtures::MakeFolders(dir_ / "data");
    files_ = MakeGameFiles(dir_.path() + "/", dir_.path() + "/data/");
    for (const int index : {5, 6, 7, 25, 26, 27}) {
      WriteAll(File(index), "original " + std::to_string(index));
    }
    log_.LogPath = dir_.path() + "/data/mods.log";
    ASSERT_FALSE(SaveModLog(log_, messages_));
    log_.Mods.push_back(ModLogEntry{"Sample mod (incomplete)", {}});
  }
  void TearDown() override { SetWinePrefix(saved_prefix_); }

  const std::string& File(int index) const { return files_[static_cast<size_t>(index)]; }

  void WritePackage(std::vector<MpiRow> rows) {
    fixtures::MpiPackage package;
    package.rows = std::move(rows);
    const std::string path = dir_ / "mod.mpi";
    WriteAll(path, fixtures::BuildMpi(package));
    ASSERT_EQ(ReadPackage(path, header_), PackageRead::kValid);
    ASSERT_FALSE(package_.Open(path, OpenMode::kRead));
    ASSERT_FALSE(package_.Length(&package_length_));
  }

  HandlerOutcome Run(int row, bool cc_present = true) {
    InstallContext context{
        package_,  package_length_, buffer_,  row, header_.resources[row], log_, files_, cc_present,
        messages_, nullptr,         &copied_, {}};
    const HandlerOutcome outcome = ReplaceGameFile(context);
    error_ = context.error;
    return outcome;
  }

  ModLog LogOnDisk() {
    ModLog disk;
    disk.LogPath = log_.LogPath;
    EXPECT_FALSE(ReadModLog(disk, files_, messages_));
    return disk;
  }

  fixtures::TempDir dir_;
  std::string saved_prefix_;
  GameFiles files_;
  ModLog log_;
  fixtures::RecordingMessages messages_;
  PackageHeader header_;
  BinaryFile package_;
  int64_t package_length_ = 0;
  std::vector<unsigned char> buffer_ = std::vector<unsigned char>(kCopyBufferSize);
  int64_t copied_ = 0;
  std::error_code error_;
};

TEST_F(ReplaceGameFileTest, TwoReplacementsOfOneFileTakeConsecutiveBackups) {
  log_.FileState[5] = 3;
  WritePackage({Replacement(6, "first mod's library"), Replacement(6, "second mod's library")});

  ASSERT_EQ(Run(1), HandlerOutcome::kDone);
  ASSERT_EQ(Run(2), HandlerOutcome::kDone);

  EXPECT_EQ(ReadAll(File(5)), "second mod's library");
  EXPECT_EQ(ReadAll(File(5) + ".003"), "original 5");
  EXPECT_EQ(ReadAll(File(5) + ".004"), "first mod's library");
  const ModLog disk = LogOnDisk();
  EXPECT_EQ(disk.FileState[5], 5);
  ASSERT_EQ(disk.ModCount(), 1);
  EXPECT_EQ(disk.Mods[1].Name, "Sample mod (incomplete)");
  ASSERT_EQ(disk.Mods[1].ChangeCount(), 2);
  EXPECT_EQ(disk.Mods[1].Changes[1], (FileChange{5, 3, 0, 0, 0}));
  EXPECT_EQ(disk.Mods[1].Changes[2], (FileChange{5, 4, 0, 0, 0}));
  EXPECT_TRUE(messages_.boxes.empty());
}

TEST_F(ReplaceGameFileTest, EachTargetCodeReplacesItsOwnFile) {
  const std::vector<std::pair<uint8_t, int>> targets = {{6, 5},   {8, 25}, {9, 6},
                                                        {10, 26}, {11, 7}, {12, 27}};
  std::vector<MpiRow> rows;
  for (const auto& [code, index] : targets) {
    rows.push_back(Replacement(code, "new " + std::to_string(index)));
  }
  WritePackage(rows);

  for (int row = 1; row <= static_cast<int>(targets.size()); ++row) {
    ASSERT_EQ(Run(row), HandlerOutcome::kDone) << "row " << row;
  }
  const ModLog disk = LogOnDisk();
  ASSERT_EQ(disk.Mods[1].ChangeCount(), 6);
  for (size_t i = 0; i < targets.size(); ++i) {
    const int index = targets[i].second;
    EXPECT_EQ(ReadAll(File(index)), "new " + std::to_string(index));
    EXPECT_EQ(ReadAll(File(index) + ".000"), "original " + std::to_string(index));
    EXPECT_EQ(disk.Mods[1].Changes[static_cast<int32_t>(i + 1)].FileIndex, index);
    EXPECT_EQ(disk.FileState[static_cast<size_t>(index)], 1);
  }
}

TEST_F(ReplaceGameFileTest, PayloadsAroundTheBlockSizeArriveByteForByte) {
  const std::vector<size_t> sizes = {0, 64000, 64001, 2 * 64000 + 17};
  std::vector<MpiRow> rows;
  for (size_t i = 0; i < sizes.size(); ++i) {
    rows.push_back(Replacement(9, Pattern(sizes[i], static_cast<unsigned>(i))));
  }
  WritePackage(rows);

  std::string before = ReadAll(File(6));
  for (size_t i = 0; i < sizes.size(); ++i) {
    ASSERT_EQ(Run(static_cast<int>(i + 1)), HandlerOutcome::kDone) << sizes[i];
    EXPECT_EQ(ReadAll(File(6)), Pattern(sizes[i], static_cast<unsigned>(i))) << sizes[i];
    EXPECT_EQ(ReadAll(BackupPath(File(6), static_cast<int32_t>(i))), before) << sizes[i];
    before = ReadAll(File(6));
  }
  EXPECT_TRUE(ReadAll(File(6) + ".001").empty());
}

TEST_F(ReplaceGameFileTest, CloneCampaignsTargetsAreSkippedWithoutTheExpansion) {
  WritePackage({Replacement(8, "x"), Replacement(10, "y"), Replacement(12, "z")});

  for (int row = 1; row <= 3; ++row) EXPECT_EQ(Run(row, false), HandlerOutcome::kDone);

  for (const int index : {25, 26, 27}) {
    EXPECT_EQ(ReadAll(File(index)), "original " + std::to_string(index));
    EXPECT_FALSE(Exists(File(index) + ".000"));
  }
  EXPECT_EQ(log_.Mods[1].ChangeCount(), 0);
  EXPECT_EQ(LogOnDisk().ModCount(), 0);
  EXPECT_TRUE(messages_.boxes.empty());
}

TEST_F(ReplaceGameFileTest, RefusedResourcesChangeAndRecordNothing) {
  WritePackage({Replacement(7, "a"), Replacement(0, "b"), Replacement(13, "c"),
                Hostile(1000, std::nullopt), Hostile(std::nullopt, -1), Hostile(-2, std::nullopt)});

  for (int row = 1; row <= 6; ++row) {
    EXPECT_EQ(Run(row), HandlerOutcome::kInvalidPackage) << "row " << row;
  }
  EXPECT_EQ(ReadAll(File(5)), "original 5");
  EXPECT_FALSE(Exists(File(5) + ".000"));
  EXPECT_EQ(log_.Mods[1].ChangeCount(), 0);
  EXPECT_EQ(LogOnDisk().ModCount(), 0);
}

TEST_F(ReplaceGameFileTest, BackupNumbersStopAtNineHundredNinetyNine) {
  log_.FileState[6] = 999;
  WritePackage({Replacement(9, "last"), Replacement(9, "one too many")});

  ASSERT_EQ(Run(1), HandlerOutcome::kDone);
  EXPECT_EQ(ReadAll(File(6) + ".999"), "original 6");

  EXPECT_EQ(Run(2), HandlerOutcome::kError);
  EXPECT_EQ(error_, make_error_code(FileError::kOutOfRange));
  EXPECT_EQ(ReadAll(File(6)), "last");
  EXPECT_FALSE(Exists(File(6) + ".1000"));
  EXPECT_FALSE(Exists(File(6) + ".000"));
  const ModLog disk = LogOnDisk();
  EXPECT_EQ(disk.FileState[6], 1000);
  EXPECT_EQ(disk.Mods[1].ChangeCount(), 1);
}

TEST_F(ReplaceGameFileTest, NegativeBackupCounterIsRefused) {
  log_.FileState[7] = -1;
  WritePackage({Replacement(11, "exe")});
  EXPECT_EQ(Run(1), HandlerOutcome::kError);
  EXPECT_EQ(ReadAll(File(7)), "original 7");
  EXPECT_EQ(log_.Mods[1].ChangeCount(), 0);
}

TEST_F(ReplaceGameFileTest, MissingTargetIsAnErrorWithNothingRecorded) {
  ASSERT_FALSE(DeleteFile(File(5)));
  WritePackage({Replacement(6, "library")});

  EXPECT_EQ(Run(1), HandlerOutcome::kError);
  EXPECT_TRUE(error_);
  EXPECT_FALSE(Exists(File(5)));
  EXPECT_FALSE(Exists(File(5) + ".000"));
  const ModLog disk = LogOnDisk();
  EXPECT_EQ(disk.ModCount(), 0);
  EXPECT_EQ(disk.FileState[5], 0);
}

TEST_F(ReplaceGameFileTest, UnsavableLogLeavesTheGameFileUntouched) {
  log_.LogPath = dir_.path() + "/no such folder/mods.log";
  WritePackage({Replacement(6, "library")});

  EXPECT_EQ(Run(1), HandlerOutcome::kError);
  EXPECT_EQ(ReadAll(File(5)), "original 5");
  EXPECT_EQ(ReadAll(File(5) + ".000"), "original 5");
  EXPECT_EQ(messages_.Errors(), std::vector<std::string>{"Cannot save log file!"});
}

}  // namespace
}  // namespace tarnwick
