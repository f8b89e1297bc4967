#include <climits>
#include <string>
#include <vector>

#include "install/install_setup.h"
#include "writers/bytes.h"

namespace tarnwick {
namespace {

using fixtures::DrsTable;
using fixtures::ParseDrsEntries;
using testing_install::Payload;
using testing_install::Texts;

class InsertResourceTest : public testing_install::InstallTest {
 protected:
  static std::vector<DrsTable> Graphics() {
    return {{"bmp ", {{100, "old-100"}, {200, "old-200-data"}}},
            {"pls ", {{3261, "x"}, {300, "three hundred"}}}};
  }
  int32_t ChangeCount() { return log.Mods[1].ChangeCount(); }
  const FileChange& LastChange() { return log.Mods[1].Changes[ChangeCount()]; }
};

TEST_F(InsertResourceTest, AppendsThePayloadAndRedirectsOnlyItsEntry) {
  for (const size_t size :
       {size_t{0}, size_t{63999}, size_t{64000}, size_t{64001}, size_t{128017}}) {
    SCOPED_TRACE(size);
    WriteArchive(kGraphicsDrs, Graphics(), {5, true});
    const std::string before = Archive(kGraphicsDrs);
    const fixtures::DrsEntryView was = ParseDrsEntries(before)[1];  // id 200
    const std::string payload = Payload(size);
    WritePackage({{1, 1, 200, payload, {}, {}}});
    StartMod();
    ASSERT_EQ(Run(InsertResource, 1, false), HandlerOutcome::kDone);
    EXPECT_EQ(copied, static_cast<int64_t>(size));

    const auto s = static_cast<int32_t>(before.size());
    const auto position = static_cast<size_t>(was.position);
    fixtures::Bytes expected;
    expected.Raw(before)
        .PatchI32(position + 4, s)
        .PatchI32(position + 8, static_cast<int32_t>(size));
    EXPECT_TRUE(Archive(kGraphicsDrs) == expected.str() + payload);
    const ModLog disk = DiskLog();
    ASSERT_EQ(disk.ModCount(), 1);
    ASSERT_EQ(disk.Mods[1].ChangeCount(), 1);
    EXPECT_EQ(disk.Mods[1].Changes[1],
              (FileChange{kGraphicsDrs, s, static_cast<int32_t>(position), was.offset, was.size}));
    EXPECT_EQ(disk.FileState[kGraphicsDrs], s + static_cast<int32_t>(size));
  }
}

TEST_F(InsertResourceTest, AppendsAtTheRecordedLengthNotTheFileEnd) {
  WriteArchive(kGraphicsDrs, Graphics());
  const std::string before = Archive(kGraphicsDrs);
  WritePackage({{1, 1, 300, "NEW!", {}, {}}});
  StartMod();
  fixtures::WriteAll(File(kGraphicsDrs), before + "stray bytes");  // left by another program
  ASSERT_EQ(Run(InsertResource, 1, false), HandlerOutcome::kDone);
  EXPECT_EQ(Archive(kGraphicsDrs).substr(before.size()), "NEW!y bytes");
  EXPECT_EQ(fixtures::ResourceData(Archive(kGraphicsDrs), 300), "NEW!");
  EXPECT_EQ(log.FileState[kGraphicsDrs], static_cast<int32_t>(before.size() + 4));
}

TEST_F(InsertResourceTest, RedirectsTheLastOccurrenceOfAnId) {
  WriteArchive(kSoundsDrs,
               {{"wav ", {{5, "first"}, {6, "six"}}},
                {"bin ", {}},
                {"wav ", {{5, "second"}, {7, "seven"}, {5, "third"}}}},
               {2, true});
  const auto was = ParseDrsEntries(Archive(kSoundsDrs));
  WritePackage({{1, 3, 5, "replacement", {}, {}}});
  StartMod();
  ASSERT_EQ(Run(InsertResource, 1, false), HandlerOutcome::kDone);
  const auto now = ParseDrsEntries(Archive(kSoundsDrs));
  for (size_t k = 0; k < now.size(); ++k) EXPECT_EQ(now[k].offset == was[k].offset, k != 4) << k;
  EXPECT_EQ(LastChange().EntryPos, static_cast<int32_t>(was[4].position));
}

TEST_F(InsertResourceTest, CloneCampaignsIdsGoToTheExpansionOrStopTheInstall) {
  struct Case {
    uint8_t target;
    int32_t id;
    bool cc_only;
  };
  const std::vector<Case> cases = {
      {0, 100, false},      {1, -1, false},    {1, 3261, false},  {1, 3262, true},
      {1, INT32_MAX, true}, {2, 53213, false}, {2, 53214, true},  {2, 51106, false},
      {2, 51107, true},     {2, 51108, true},  {2, 51109, false}, {2, 51127, true},
      {2, 51128, true},     {2, 51147, true},  {2, 51148, true},  {2, 51149, false},
      {3, 6612, false},     {3, 6613, true},   {3, 6632, true},   {3, 6633, false},
      {3, 8797, false},     {3, 8798, true},   {4, 15039, false}, {4, 15040, true}};
  std::vector<fixtures::DrsResource> resources;
  for (const Case& c : cases) resources.push_back({c.id, "old"});
  for (int index = 0; index <= 4; ++index) {
    WriteArchive(index, {{"bin ", resources}});
    WriteArchive(index + kCcOffset, {{"bin ", resources}});
  }
  WritePackage({{1, 0, 0, "data", {}, {}}});
  StartMod();
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << int{c.target} << " id " << c.id);
    const ResourceEntry row{1, c.target, c.id, 4, header.resources[1].dataOffset};
    // With the expansion, game data always goes to its copy.
    ASSERT_EQ(Run(InsertResource, row, true), HandlerOutcome::kDone);
    EXPECT_EQ(LastChange().FileIndex, c.target + (c.cc_only || c.target == 0 ? kCcOffset : 0));

    messages.boxes.clear();
    const int32_t changes = ChangeCount();
    const std::string saved = DiskLogText();
    if (c.cc_only) {
      ASSERT_EQ(Run(InsertResource, row, false), HandlerOutcome::kAbort);
      EXPECT_EQ(messages.Errors(), Texts{testing_install::kCcNeeded});
      EXPECT_EQ(ChangeCount(), changes);
      EXPECT_EQ(DiskLogText(), saved);
    } else {
      ASSERT_EQ(Run(InsertResource, row, false), HandlerOutcome::kDone);
      EXPECT_EQ(LastChange().FileIndex, c.target);
    }
  }
}

TEST_F(InsertResourceTest, RejectsBeforeRecordingAnything) {
  WriteArchive(kGraphicsDrs, Graphics());
  WriteArchive(kTerrainDrs, {{"bad ", {{15000, "x"}}}});
  std::string broken = Archive(kTerrainDrs);
  broken[0] = 'c';  // a directory that fails its checks
  fixtures::WriteAll(File(kTerrainDrs), broken);
  WritePackage({{1, 1, 100, Payload(100), {}, {}}});
  StartMod();
  const std::string log_before = DiskLogText();
  const std::string graphics_before = Archive(kGraphicsDrs);
  const auto state_before = log.FileState;
  const int32_t at = header.resources[1].dataOffset;  // the payload ends the package

  struct Case {
    const char* what;
    uint8_t target;
    int32_t id, length, offset;
  };
  const std::vector<Case> cases = {
      {"archive number 5", 5, 100, 100, at},
      {"archive number 255", 255, 100, 100, at},
      {"id absent from the archive", 1, 101, 100, at},
      {"payload one byte past the end", 1, 100, 101, at},
      {"offset past the end", 1, 100, 1, at + 100},
      {"negative length", 1, 100, -1, at},
      {"negative offset", 1, 100, 10, -10},
      {"offset and length overflowing", 1, 100, INT32_MAX, INT32_MAX},
      {"damaged directory", 4, 15000, 10, at},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    messages.boxes.clear();
    EXPECT_EQ(Run(InsertResource, {1, c.target, c.id, c.length, c.offset}, true),
              HandlerOutcome::kInvalidPackage);
    EXPECT_EQ(messages.Errors(), c.target == 4 ? Texts{"Error reading from DRS file!"} : Texts{});
  }
  // An archive that would grow past what the log can record.
  log.FileState[kGraphicsDrs] = INT32_MAX - 50;
  EXPECT_EQ(Run(InsertResource, {1, 1, 100, 51, at}, false), HandlerOutcome::kInvalidPackage);
  log.FileState[kGraphicsDrs] = state_before[kGraphicsDrs];

  EXPECT_EQ(ChangeCount(), 0);
  EXPECT_EQ(log.FileState, state_before);
  EXPECT_EQ(DiskLogText(), log_before);
  EXPECT_EQ(Archive(kGraphicsDrs), graphics_before);
}

}  // namespace
}  // namespace tarnwick
