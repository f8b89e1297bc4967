#include <algorithm>
#include <climits>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "install/install_setup.h"
#include "platform/failure.h"
#include "writers/bytes.h"

namespace tarnwick {
namespace {

class InsertResourceTest : public InstallTest {
 protected:
  // Id 200 twice, an empty table between: the last occurrence is the one redirected.
  static std::vector<fixtures::DrsTable> Graphics() {
    return {{"bmp ", {{100, "old-100"}, {200, "first 200"}}},
            {"bin ", {}},
            {"pls ", {{3261, "x"}, {200, "old-200-data"}, {300, "three hundred"}}}};
  }
  const FileChange& LastChange() { return log.Mods[1].Changes[log.Mods[1].ChangeCount()]; }
};

// Bytes past the recorded length, left by another program, are written over.
TEST_F(InsertResourceTest,
       AppendsThePayloadAtTheRecordedLengthAndRedirectsOnlyTheLastEntryOfItsId) {
  const std::string stray = "stray bytes";
  for (const int32_t size : {0, 63999, 64000, 64001, 128017}) {
    SCOPED_TRACE(size);
    WriteArchive(kGraphicsDrs, Graphics(), {5, true});
    const std::string before = Archive(kGraphicsDrs);
    const fixtures::DrsEntryView was = fixtures::ParseDrsEntries(before)[3];  // the second 200
    const auto at = static_cast<int32_t>(was.position);
    const std::string payload = Payload(size);
    Prepare({{1, 1, 200, payload, {}, {}}});
    fixtures::WriteAll(File(kGraphicsDrs), before + stray);
    ASSERT_EQ(Run(InsertResource, 1, false), HandlerOutcome::kDone);

    const auto s = static_cast<int32_t>(before.size());
    fixtures::Bytes expected;
    expected.Raw(before).PatchI32(at + 4, s).PatchI32(at + 8, size).Raw(payload);
    expected.Raw(stray.substr(std::min<size_t>(size, stray.size())));  // what the payload left
    EXPECT_TRUE(Archive(kGraphicsDrs) == expected.str());
    const ModLog disk = DiskLog();
    ASSERT_EQ(disk.ModCount(), 1);
    ASSERT_EQ(disk.Mods[1].ChangeCount(), 1);
    EXPECT_EQ(disk.Mods[1].Changes[1], (FileChange{kGraphicsDrs, s, at, was.offset, was.size}));
    EXPECT_EQ(disk.FileState[kGraphicsDrs], s + size);
  }
}

TEST_F(InsertResourceTest, CloneCampaignsIdsGoToTheExpansionOrStopTheInstall) {
  const std::tuple<uint8_t, int32_t, bool> cases[] = {
      {0, 100, false},      {1, -1, false},    {1, 3261, false},  {1, 3262, true},
      {1, INT32_MAX, true}, {2, 53213, false}, {2, 53214, true},  {2, 51106, false},
      {2, 51107, true},     {2, 51108, true},  {2, 51109, false}, {2, 51127, true},
      {2, 51128, true},     {2, 51147, true},  {2, 51148, true},  {2, 51149, false},
      {3, 6612, false},     {3, 6613, true},   {3, 6632, true},   {3, 6633, false},
      {3, 8797, false},     {3, 8798, true},   {4, 15039, false}, {4, 15040, true}};
  std::vector<fixtures::DrsResource> resources;
  for (const auto& [target, id, cc_only] : cases) resources.push_back({id, "old"});
  for (int index = 0; index <= 4; ++index) {
    WriteArchive(index, {{"bin ", resources}});
    WriteArchive(index + kCcOffset, {{"bin ", resources}});
  }
  Prepare({{1, 0, 0, "data", {}, {}}});
  for (const auto& [target, id, cc_only] : cases) {
    SCOPED_TRACE(testing::Message() << int{target} << " id " << id);
    const ResourceEntry row{1, target, id, 4, header.resources[1].dataOffset};
    // With the expansion, game data always goes to its copy.
    ASSERT_EQ(Run(InsertResource, row, true), HandlerOutcome::kDone);
    EXPECT_EQ(LastChange().FileIndex, target + (cc_only || target == 0 ? kCcOffset : 0));
    messages.boxes.clear();
    const std::string saved = DiskLogText();
    ASSERT_EQ(Run(InsertResource, row, false),
              cc_only ? HandlerOutcome::kAbort : HandlerOutcome::kDone);
    EXPECT_EQ(messages.Errors(), cc_only ? Texts{kCcNeeded} : Texts{});
    EXPECT_EQ(DiskLogText() == saved, cc_only);
    EXPECT_EQ(LastChange().FileIndex, target + (cc_only ? kCcOffset : 0));
  }
}

TEST_F(InsertResourceTest, RejectsBeforeRecordingAnything) {
  WriteArchive(kGraphicsDrs, Graphics());
  Prepare({{1, 1, 100, Payload(100), {}, {}}});
  const std::string log_before = DiskLogText();
  const std::string graphics_before = Archive(kGraphicsDrs);
  const int32_t at = header.resources[1].dataOffset;  // the payload ends the package

  const std::vector<std::pair<const char*, ResourceEntry>> cases = {
      {"archive number 5", {1, 5, 100, 100, at}},
      {"id absent from the archive", {1, 1, 101, 100, at}},
      {"payload one byte past the end", {1, 1, 100, 101, at}},
      {"offset past the end", {1, 1, 100, 1, at + 100}},
      {"negative length", {1, 1, 100, -1, at}},
      {"negative offset", {1, 1, 100, 10, -10}},
      {"offset and length overflowing", {1, 1, 100, INT32_MAX, INT32_MAX}}};
  for (const auto& [what, row] : cases) {
    EXPECT_EQ(Run(InsertResource, row, true), HandlerOutcome::kInvalidPackage) << what;
  }
  // An archive that would grow past what the log can record.
  log.FileState[kGraphicsDrs] = INT32_MAX - 50;
  EXPECT_EQ(Run(InsertResource, {1, 1, 100, 51, at}, false), HandlerOutcome::kInvalidPackage);

  EXPECT_TRUE(messages.boxes.empty());  // the install shows the one message
  EXPECT_EQ(log.Mods[1].ChangeCount(), 0);
  EXPECT_EQ(DiskLogText(), log_before);
  EXPECT_EQ(Archive(kGraphicsDrs), graphics_before);
}

// Nothing is read of an empty payload, so its offset may point anywhere past the package's start.
TEST_F(InsertResourceTest, EmptyPayloadsPointingPastThePackageInstallAsEmpty) {
  WriteArchive(kGraphicsDrs, Graphics());
  fixtures::WriteAll(File(6), "original genie");
  Prepare({{1, 1, 100, "", {}, 1 << 20}, {5, 9, 0, "", {}, INT32_MAX}});
  const std::string before = Archive(kGraphicsDrs);
  const fixtures::DrsEntryView was = fixtures::ParseDrsEntries(before)[0];  // id 100
  const auto s = static_cast<int32_t>(before.size());
  const auto at = static_cast<int32_t>(was.position);
  ASSERT_EQ(Run(InsertResource, 1, false), HandlerOutcome::kDone);
  ASSERT_EQ(Run(ReplaceGameFile, 2, false), HandlerOutcome::kDone);

  EXPECT_EQ(Archive(kGraphicsDrs),
            fixtures::Bytes().Raw(before).PatchI32(at + 4, s).PatchI32(at + 8, 0).str());
  EXPECT_EQ(fixtures::ReadAll(File(6)), "");
  EXPECT_EQ(fixtures::ReadAll(File(6) + ".000"), "original genie");
  const ModLog disk = DiskLog();
  ASSERT_EQ(disk.ModCount(), 1);
  ASSERT_EQ(disk.Mods[1].ChangeCount(), 2);
  EXPECT_EQ(disk.Mods[1].Changes[1], (FileChange{kGraphicsDrs, s, at, was.offset, was.size}));
  EXPECT_EQ(disk.Mods[1].Changes[2], (FileChange{6, 0, 0, 0, 0}));
  EXPECT_EQ(disk.FileState[kGraphicsDrs], s);
  EXPECT_TRUE(messages.boxes.empty());
}

using fixtures::Exists;
using fixtures::MpiRow;
using fixtures::ReadAll;

MpiRow Replacement(uint8_t target, std::string payload) {
  return {5, target, 0, std::move(payload), {}, {}};
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
  for (const int size : {0, 64000, 64001, 128017})
    rows.push_back(Replacement(9, Payload(size, size)));
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
  const std::pair<uint8_t, int> targets[] = {{6, 5}, {8, 25}, {9, 6}, {10, 26}, {11, 7}, {12, 27}};
  for (const auto& [code, index] : targets) {
    SCOPED_TRACE(index);
    WritePackage({Replacement(code, "new")});
    ASSERT_EQ(Run(1, false), HandlerOutcome::kDone);
    if (index >= kCcOffset) {  // skipped without the expansion
      EXPECT_EQ(ReadAll(File(index)), Original(index));
      ASSERT_EQ(Run(1, true), HandlerOutcome::kDone);
    }
    EXPECT_EQ(ReadAll(File(index)), "new");
    EXPECT_EQ(ReadAll(File(index) + ".000"), Original(index));
  }
}

// Backup numbers past 999 or below 0, no file to back up, codes naming no file, too long a payload.
TEST_F(ReplaceGameFileTest, RefusedResourcesChangeAndRecordNothing) {
  log.FileState[6] = 999;
  log.FileState[7] = -1;
  ASSERT_FALSE(DeleteFile(File(5)));
  WritePackage({Replacement(9, "last"), Replacement(9, "one too many"), Replacement(11, "exe"),
                Replacement(6, "library")});
  ASSERT_EQ(Run(1), HandlerOutcome::kDone);
  EXPECT_EQ(ReadAll(File(6) + ".999"), Original(6));
  EXPECT_EQ(Run(2), HandlerOutcome::kError);
  EXPECT_EQ(error, make_error_code(FileError::kOutOfRange));
  EXPECT_EQ(Run(3), HandlerOutcome::kError);
  EXPECT_EQ(Run(4), HandlerOutcome::kError);
  const int32_t at = header.resources[4].dataOffset;  // 7 bytes that end the package
  for (const ResourceEntry& row : {ResourceEntry{5, 7, 0, 7, at}, ResourceEntry{5, 0, 0, 7, at},
                                   ResourceEntry{5, 13, 0, 7, at}, ResourceEntry{5, 6, 0, 8, at}}) {
    EXPECT_EQ(InstallTest::Run(ReplaceGameFile, row, true), HandlerOutcome::kInvalidPackage)
        << int{row.targetCode} << " " << row.dataLength << " at " << row.dataOffset;
  }
  EXPECT_EQ(ReadAll(File(6)), "last");
  EXPECT_FALSE(Exists(File(6) + ".1000") || Exists(File(6) + ".000"));
  EXPECT_EQ(ReadAll(File(7)), Original(7));
  EXPECT_FALSE(Exists(File(5)) || Exists(File(5) + ".000"));
  const ModLog disk = DiskLog();
  EXPECT_EQ(disk.FileState[6], 1000);
  EXPECT_EQ(disk.Mods[1].ChangeCount(), 1);
}

}  // namespace
}  // namespace tarnwick
