#include <optional>
#include <string>
#include <vector>

#include "install/install_setup.h"
#include "platform/failure.h"

namespace tarnwick {
namespace {

using fixtures::Exists;
using fixtures::MpiRow;
using fixtures::ReadAll;

MpiRow Replacement(uint8_t target, std::string payload, std::optional<int32_t> length = {},
                   std::optional<int32_t> offset = {}) {
  return {5, target, 0, std::move(payload), length, offset};
}

class ReplaceGameFileTest : public InstallTest {
 protected:
  void SetUp() override {
    for (const int index : {5, 6, 7, 25, 26, 27}) fixtures::WriteAll(File(index), Original(index));
    StartMod();
  }
  static std::string Original(int index) { return "original " + std::to_string(index); }
  HandlerOutcome Run(int row, bool cc = true) { return InstallTest::Run(ReplaceGameFile, row, cc); }
};

TEST_F(ReplaceGameFileTest, PayloadsAroundTheBlockSizeArriveWithConsecutiveBackups) {
  log.FileState[6] = 3;
  std::vector<MpiRow> rows;
  for (const size_t size : {size_t{0}, size_t{64000}, size_t{64001}, size_t{128017}}) {
    rows.push_back(Replacement(9, Payload(size, static_cast<unsigned>(size))));
  }
  WritePackage(rows);
  std::string before = Original(6);
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(rows[i].payload.size());
    ASSERT_EQ(Run(static_cast<int>(i + 1)), HandlerOutcome::kDone);
    EXPECT_TRUE(ReadAll(File(6)) == rows[i].payload);
    EXPECT_EQ(ReadAll(File(6) + ".00" + std::to_string(3 + i)), before);
    before = rows[i].payload;
  }
  const ModLog disk = DiskLog();
  EXPECT_EQ(disk.FileState[6], 7);
  ASSERT_EQ(disk.ModCount(), 1);
  ASSERT_EQ(disk.Mods[1].ChangeCount(), 4);
  EXPECT_EQ(disk.Mods[1].Changes[1], (FileChange{6, 3, 0, 0, 0}));
}

TEST_F(ReplaceGameFileTest, EachTargetCodeReplacesItsOwnFileTheExpansionsOnlyWithIt) {
  const std::vector<std::pair<uint8_t, int>> targets = {{6, 5},   {8, 25}, {9, 6},
                                                        {10, 26}, {11, 7}, {12, 27}};
  std::vector<MpiRow> rows;
  for (const auto& [code, index] : targets) rows.push_back(Replacement(code, "new"));
  WritePackage(rows);

  for (int row = 1; row <= 6; ++row) ASSERT_EQ(Run(row, false), HandlerOutcome::kDone);
  EXPECT_EQ(log.Mods[1].ChangeCount(), 3);  // the expansion's three skipped
  for (int row = 2; row <= 6; row += 2) ASSERT_EQ(Run(row, true), HandlerOutcome::kDone);
  const ModLog disk = DiskLog();
  ASSERT_EQ(disk.Mods[1].ChangeCount(), 6);
  for (const auto& [code, index] : targets) {
    EXPECT_EQ(ReadAll(File(index)), "new") << index;
    EXPECT_EQ(ReadAll(File(index) + ".000"), Original(index)) << index;
    EXPECT_EQ(disk.FileState[static_cast<size_t>(index)], 1) << index;
  }
}

TEST_F(ReplaceGameFileTest, RefusedResourcesChangeAndRecordNothing) {
  WritePackage({Replacement(7, "a"), Replacement(0, "b"), Replacement(13, "c"),
                Replacement(6, "payload", 1000), Replacement(6, "payload", {}, -1),
                Replacement(6, "payload", -2)});
  for (int row = 1; row <= 6; ++row) {
    EXPECT_EQ(Run(row), HandlerOutcome::kInvalidPackage) << "row " << row;
  }
  EXPECT_EQ(ReadAll(File(5)), Original(5));
  EXPECT_FALSE(Exists(File(5) + ".000"));
  EXPECT_EQ(log.Mods[1].ChangeCount(), 0);
  EXPECT_EQ(DiskLog().ModCount(), 0);
}

// Each stops before anything is recorded: a backup number past 999 or below 0, a missing file.
TEST_F(ReplaceGameFileTest, BackupNumbersRunFromZeroTo999AndNeedTheFileToBackUp) {
  log.FileState[6] = 999;
  log.FileState[7] = -1;
  ASSERT_FALSE(DeleteFile(File(5)));
  WritePackage({Replacement(9, "last"), Replacement(9, "one too many"), Replacement(11, "exe"),
                Replacement(6, "library")});
  ASSERT_EQ(Run(1), HandlerOutcome::kDone);
  EXPECT_EQ(ReadAll(File(6) + ".999"), Original(6));
  EXPECT_EQ(Run(2), HandlerOutcome::kError);
  EXPECT_EQ(error, make_error_code(FileError::kOutOfRange));
  EXPECT_EQ(ReadAll(File(6)), "last");
  EXPECT_FALSE(Exists(File(6) + ".1000"));
  EXPECT_FALSE(Exists(File(6) + ".000"));
  EXPECT_EQ(Run(3), HandlerOutcome::kError);
  EXPECT_EQ(ReadAll(File(7)), Original(7));
  EXPECT_EQ(Run(4), HandlerOutcome::kError);
  EXPECT_FALSE(Exists(File(5) + ".000"));
  const ModLog disk = DiskLog();
  EXPECT_EQ(disk.FileState[6], 1000);
  EXPECT_EQ(disk.Mods[1].ChangeCount(), 1);
}

}  // namespace
}  // namespace tarnwick
