#include <algorithm>
#include <climits>
#include <string>
#include <utility>
#include <vector>

#include "install/install_setup.h"
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
  for (const size_t size :
       {size_t{0}, size_t{63999}, size_t{64000}, size_t{64001}, size_t{128017}}) {
    SCOPED_TRACE(size);
    WriteArchive(kGraphicsDrs, Graphics(), {5, true});
    const std::string before = Archive(kGraphicsDrs);
    const fixtures::DrsEntryView was = fixtures::ParseDrsEntries(before)[3];
    ASSERT_EQ(was.id, 200);
    const std::string payload = Payload(size);
    Prepare({{1, 1, 200, payload, {}, {}}});
    fixtures::WriteAll(File(kGraphicsDrs), before + stray);
    ASSERT_EQ(Run(InsertResource, 1, false), HandlerOutcome::kDone);

    const auto s = static_cast<int32_t>(before.size());
    const auto position = static_cast<size_t>(was.position);
    fixtures::Bytes expected;
    expected.Raw(before)
        .PatchI32(position + 4, s)
        .PatchI32(position + 8, static_cast<int32_t>(size))
        .Raw(payload)
        .Raw(stray.substr(std::min(size, stray.size())));
    EXPECT_TRUE(Archive(kGraphicsDrs) == expected.str());
    const ModLog disk = DiskLog();
    ASSERT_EQ(disk.ModCount(), 1);
    ASSERT_EQ(disk.Mods[1].ChangeCount(), 1);
    EXPECT_EQ(disk.Mods[1].Changes[1],
              (FileChange{kGraphicsDrs, s, static_cast<int32_t>(position), was.offset, was.size}));
    EXPECT_EQ(disk.FileState[kGraphicsDrs], s + static_cast<int32_t>(size));
  }
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
  Prepare({{1, 0, 0, "data", {}, {}}});
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << int{c.target} << " id " << c.id);
    const ResourceEntry row{1, c.target, c.id, 4, header.resources[1].dataOffset};
    // With the expansion, game data always goes to its copy.
    ASSERT_EQ(Run(InsertResource, row, true), HandlerOutcome::kDone);
    EXPECT_EQ(LastChange().FileIndex, c.target + (c.cc_only || c.target == 0 ? kCcOffset : 0));
    messages.boxes.clear();
    const std::string saved = DiskLogText();
    ASSERT_EQ(Run(InsertResource, row, false),
              c.cc_only ? HandlerOutcome::kAbort : HandlerOutcome::kDone);
    EXPECT_EQ(messages.Errors(), c.cc_only ? Texts{kCcNeeded} : Texts{});
    EXPECT_EQ(DiskLogText() == saved, c.cc_only);
    EXPECT_EQ(LastChange().FileIndex, c.target + (c.cc_only ? kCcOffset : 0));
  }
}

TEST_F(InsertResourceTest, RejectsBeforeRecordingAnything) {
  WriteArchive(kGraphicsDrs, Graphics());
  WriteArchive(kTerrainDrs, {{"bad ", {{15000, "x"}}}});  // then damaged: it fails its checks
  fixtures::WriteAll(File(kTerrainDrs), "c" + Archive(kTerrainDrs).substr(1));
  Prepare({{1, 1, 100, Payload(100), {}, {}}});
  const std::string log_before = DiskLogText();
  const std::string graphics_before = Archive(kGraphicsDrs);
  const int32_t at = header.resources[1].dataOffset;  // the payload ends the package

  const std::vector<std::pair<const char*, ResourceEntry>> cases = {
      {"archive number 5", {1, 5, 100, 100, at}},
      {"archive number 255", {1, 255, 100, 100, at}},
      {"id absent from the archive", {1, 1, 101, 100, at}},
      {"payload one byte past the end", {1, 1, 100, 101, at}},
      {"offset past the end", {1, 1, 100, 1, at + 100}},
      {"negative length", {1, 1, 100, -1, at}},
      {"negative offset", {1, 1, 100, 10, -10}},
      {"offset and length overflowing", {1, 1, 100, INT32_MAX, INT32_MAX}},
      {"damaged directory", {1, 4, 15000, 10, at}},
  };
  for (const auto& [what, row] : cases) {
    SCOPED_TRACE(what);
    messages.boxes.clear();
    EXPECT_EQ(Run(InsertResource, row, true), HandlerOutcome::kInvalidPackage);
    EXPECT_EQ(messages.Errors(),
              row.targetCode == 4 ? Texts{"Error reading from DRS file!"} : Texts{});
  }
  // An archive that would grow past what the log can record.
  log.FileState[kGraphicsDrs] = INT32_MAX - 50;
  EXPECT_EQ(Run(InsertResource, {1, 1, 100, 51, at}, false), HandlerOutcome::kInvalidPackage);

  EXPECT_EQ(log.Mods[1].ChangeCount(), 0);
  EXPECT_EQ(DiskLogText(), log_before);
  EXPECT_EQ(Archive(kGraphicsDrs), graphics_before);
}

}  // namespace
}  // namespace tarnwick
