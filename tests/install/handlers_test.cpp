// The three resource handlers, each run alone on a small game: archive resources, replaced files
// and rebuilt icons.

#include <algorithm>
#include <climits>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "install/install_setup.h"
#include "platform/failure.h"
#include "writers/bytes.h"
#include "writers/slp.h"

namespace tarnwick {
namespace {

using fixtures::Bytes;
using fixtures::DrsResource;
using fixtures::Exists;
using fixtures::I32At;
using fixtures::MpiRow;
using fixtures::ReadAll;

// Frames of 36 by 30 pixels, each a colour of its own.
std::string Sprite(int frames, int seed) {
  std::vector<fixtures::SlpFrame> list;
  for (int f = 0; f < frames; ++f)
    list.push_back({fixtures::PixelGrid(36, 30, (seed + f) & 0xFF), 3, -2});
  return fixtures::BuildSlp(list);
}

// Little-endian 32-bit values, then `tail`.
std::string I32s(std::initializer_list<int32_t> values, std::string_view tail = {}) {
  Bytes bytes;
  for (const int32_t value : values) bytes.I32(value);
  return bytes.Raw(tail).str();
}

MpiRow IconRow(int32_t frame, std::string payload) { return {6, 0, frame, std::move(payload)}; }

// The graphics archive (id 200 twice, an empty table between: the last occurrence is the one
// redirected) and the files a replacement names, each holding its own name.
class HandlersTest : public InstallTest {
 protected:
  void SetUp() override {
    WriteGraphics();
    for (const int index : {5, 6, 7, 25, 26, 27}) fixtures::WriteAll(File(index), Original(index));
    StartMod();
  }
  void WriteGraphics() {
    WriteArchive(kGraphicsDrs,
                 {{"bmp ", {{100, "old-100"}, {200, "first 200"}}},
                  {"bin ", {}},
                  {"pls ", {{3261, "x"}, {200, "old-200-data"}, {300, "three hundred"}}}},
                 {5, true});
  }
  void WriteIcons(int index, std::vector<DrsResource> icons) {
    WriteArchive(
        index, {{"plsb", {{50100, "button"}, {50101, "panel data"}}}, {"pls ", std::move(icons)}});
  }
  static std::string Original(int index) { return "original " + std::to_string(index); }
  const FileChange& LastChange() { return log.Mods[1].Changes[log.Mods[1].ChangeCount()]; }
  bool TempSpritesLeft() const { return !std::filesystem::is_empty(Path("tmp")); }
};

// Bytes past the recorded length, left by another program, are written over. Nothing is read of
// an empty payload, so its offset may point anywhere past the package's start.
TEST_F(HandlersTest, AppendsThePayloadAtTheRecordedLengthAndRedirectsTheLastEntryOfItsId) {
  const std::string stray = "stray bytes";
  for (const int32_t size : {0, 63999, 64000, 64001, 128017}) {
    SCOPED_TRACE(size);
    WriteGraphics();
    const std::string before = Archive(kGraphicsDrs);
    const fixtures::DrsEntryView was = fixtures::ParseDrsEntries(before)[3];  // the second 200
    const auto at = static_cast<int32_t>(was.position);
    const std::string payload = Payload(size);
    Prepare({{1, 1, 200, payload, {}, size == 0 ? std::optional(1 << 20) : std::nullopt}});
    fixtures::WriteAll(File(kGraphicsDrs), before + stray);
    ASSERT_EQ(Run(InsertResource, 1, false), HandlerOutcome::kDone);

    const auto s = static_cast<int32_t>(before.size());
    Bytes expected;
    expected.Raw(before).PatchI32(at + 4, s).PatchI32(at + 8, size).Raw(payload);
    expected.Raw(stray.substr(std::min<size_t>(size, stray.size())));  // what the payload left
    EXPECT_TRUE(Archive(kGraphicsDrs) == expected.str());
    ASSERT_EQ(log.Mods[1].ChangeCount(), 1);
    EXPECT_EQ(LastChange(), (FileChange{kGraphicsDrs, s, at, was.offset, was.size}));
    EXPECT_EQ(DiskLog().FileState[kGraphicsDrs], s + size);
  }
}

TEST_F(HandlersTest, CloneCampaignsIdsGoToTheExpansionOrStopTheInstall) {
  const std::tuple<uint8_t, int32_t, bool> cases[] = {
      {0, 100, false},      {1, -1, false},    {1, 3261, false},  {1, 3262, true},
      {1, INT32_MAX, true}, {2, 53213, false}, {2, 53214, true},  {2, 51106, false},
      {2, 51107, true},     {2, 51108, true},  {2, 51109, false}, {2, 51127, true},
      {2, 51128, true},     {2, 51147, true},  {2, 51148, true},  {2, 51149, false},
      {3, 6612, false},     {3, 6613, true},   {3, 6632, true},   {3, 6633, false},
      {3, 8797, false},     {3, 8798, true},   {4, 15039, false}, {4, 15040, true}};
  std::vector<DrsResource> resources;
  for (const auto& [target, id, cc_only] : cases) resources.push_back({id, "old"});
  for (int index = 0; index <= 4; ++index) {
    WriteArchive(index, {{"bin ", resources}});
    WriteArchive(index + kCcOffset, {{"bin ", resources}});
  }
  Prepare({{1, 0, 0, "data"}});
  for (const auto& [target, id, cc_only] : cases) {
    SCOPED_TRACE(testing::Message() << int{target} << " id " << id);
    const ResourceEntry row{1, target, id, 4, header.resources[1].dataOffset};
    // With the expansion, game data always goes to its copy.
    ASSERT_EQ(Run(InsertResource, row, true), HandlerOutcome::kDone);
    EXPECT_EQ(LastChange().FileIndex, target + (cc_only || target == 0 ? kCcOffset : 0));
    // Without it the expansion's ids stop the install (its box: the install table).
    EXPECT_EQ(Run(InsertResource, row, false),
              cc_only ? HandlerOutcome::kAbort : HandlerOutcome::kDone);
    EXPECT_EQ(LastChange().FileIndex, target + (cc_only ? kCcOffset : 0));
  }
}

// Each refused before anything is recorded or written; the install shows the one message.
TEST_F(HandlersTest, RefusedRowsChangeAndRecordNothing) {
  ASSERT_FALSE(DeleteFile(File(5)));
  Prepare({{1, 1, 100, Payload(100)}});
  log.FileState[7] = -1;
  const std::string log_before = DiskLogText();
  const std::string graphics_before = Archive(kGraphicsDrs);
  const int32_t at = header.resources[1].dataOffset;  // the payload ends the package
  const auto invalid = HandlerOutcome::kInvalidPackage;
  const std::tuple<const char*, InstallTest::Handler, ResourceEntry, HandlerOutcome> cases[] = {
      {"archive number 5", InsertResource, {1, 5, 100, 100, at}, invalid},
      {"id absent from the archive", InsertResource, {1, 1, 101, 100, at}, invalid},
      {"payload one byte past the end", InsertResource, {1, 1, 100, 101, at}, invalid},
      {"offset past the end", InsertResource, {1, 1, 100, 1, at + 100}, invalid},
      {"negative length", InsertResource, {1, 1, 100, -1, at}, invalid},
      {"negative offset", InsertResource, {1, 1, 100, 10, -10}, invalid},
      {"offset and length overflowing", InsertResource, {1, 1, 100, INT32_MAX, INT32_MAX}, invalid},
      {"replacement code 0", ReplaceGameFile, {5, 0, 0, 100, at}, invalid},
      {"replacement code 7", ReplaceGameFile, {5, 7, 0, 100, at}, invalid},
      {"replacement code 13", ReplaceGameFile, {5, 13, 0, 100, at}, invalid},
      {"replacement one byte past the end", ReplaceGameFile, {5, 9, 0, 101, at}, invalid},
      {"no file to back up", ReplaceGameFile, {5, 6, 0, 100, at}, HandlerOutcome::kError},
      {"a backup number below 0", ReplaceGameFile, {5, 11, 0, 100, at}, HandlerOutcome::kError},
  };
  for (const auto& [what, handler, row, outcome] : cases) {
    EXPECT_EQ(Run(handler, row, true), outcome) << what;
  }
  // An archive that would grow past what the log can record.
  log.FileState[kGraphicsDrs] = INT32_MAX - 50;
  EXPECT_EQ(Run(InsertResource, {1, 1, 100, 51, at}, false), invalid);

  EXPECT_TRUE(messages.boxes.empty());
  EXPECT_EQ(log.Mods[1].ChangeCount(), 0);
  EXPECT_EQ(DiskLogText(), log_before);
  EXPECT_EQ(Archive(kGraphicsDrs), graphics_before);
  EXPECT_EQ(ReadAll(File(6)), Original(6));
  EXPECT_EQ(ReadAll(File(7)), Original(7));
  EXPECT_FALSE(Exists(File(5)) || Exists(File(5) + ".000") || Exists(File(6) + ".000"));
}

// Each code replaces its own file, the expansion's only with it, the old file kept under the next
// backup number; backups stop at 999. Payloads around the block size arrive whole, and nothing is
// read of an empty one, so its offset may point anywhere past the package's start.
TEST_F(HandlersTest, EachTargetCodeReplacesItsOwnFileKeepingTheOldOneAsABackup) {
  log.FileState[6] = 998;
  const std::tuple<uint8_t, int, const char*, int> rows[] = {
      {6, 5, ".000", 0},   {8, 25, ".000", 64000}, {9, 6, ".998", 64001}, {9, 6, ".999", 128017},
      {10, 26, ".000", 3}, {11, 7, ".000", 3},     {12, 27, ".000", 3}};
  std::vector<MpiRow> package;
  for (const auto& [code, index, backup, size] : rows)
    package.push_back({5, code, 0, Payload(size, size)});
  package[0].offset = INT32_MAX;
  package.push_back({5, 9, 0, "one too many"});
  WritePackage(package);
  for (int row = 1; row <= 7; ++row) {
    const auto& [code, index, backup, size] = rows[row - 1];
    SCOPED_TRACE(row);
    const std::string before = ReadAll(File(index));
    ASSERT_EQ(Run(ReplaceGameFile, row, false), HandlerOutcome::kDone);
    if (index >= kCcOffset) {  // skipped without the expansion
      EXPECT_EQ(ReadAll(File(index)), before);
      ASSERT_EQ(Run(ReplaceGameFile, row, true), HandlerOutcome::kDone);
    }
    EXPECT_TRUE(ReadAll(File(index)) == package[row - 1].payload);
    EXPECT_TRUE(ReadAll(File(index) + backup) == before);
  }
  EXPECT_EQ(Run(ReplaceGameFile, 8, true), HandlerOutcome::kError);
  EXPECT_EQ(error, make_error_code(FileError::kOutOfRange));
  EXPECT_TRUE(ReadAll(File(6)) == package[3].payload);
  EXPECT_FALSE(Exists(File(6) + ".1000"));
  EXPECT_EQ(DiskLog().FileState[6], 1000);
  ASSERT_EQ(log.Mods[1].ChangeCount(), 7);
  EXPECT_EQ(log.Mods[1].Changes[3], (FileChange{6, 998, 0, 0, 0}));
}

// Frame N's row gets the new command and outline tables, width and height, its palette and
// hotspot kept; the new outline (zeros), command table (the payload's row offsets plus S + 8H,
// modulo 2^32) and commands follow the old sprite. Width and row offsets are only stored or added
// to, so any value installs; a row that selects no sprite is done after its IconInfo, whatever
// the rest holds. Hostile payloads and sprites are refused with nothing recorded. Each row
// against a fresh archive and log.
TEST_F(HandlersTest, TheNewSpriteIsTheOldOneWithFrameNRedrawn) {
  // S = 100: header, two frame rows (values 1000 to 1015), four bytes of old frame data.
  Bytes old;
  old.Text("2.0N", 4).I32(2).Text("icon comment", 24);
  for (int32_t v = 0; v < 16; ++v) old.I32(1000 + v);
  const std::string sprite = old.Raw("old!").str();
  const std::string short_table = Bytes().Text("2.0N", 4).I32(10).Zeros(92).str();  // 10 frames
  struct Case {
    const char* what;
    MpiRow row;
    std::string appended;  // after the old sprite; empty when nothing changes
    HandlerOutcome outcome = HandlerOutcome::kDone;
  };
  const std::string abc = "ABCDEFGHIJKLMNOPQRST";
  const std::string good = I32s({0x01, 7, 2, 0, 10}, abc);
  const auto invalid = HandlerOutcome::kInvalidPackage;
  const Case cases[] = {
      {"frame 2 of 2", IconRow(2, good), I32s({0, 0, 116, 126}, abc)},
      {"a negative width", IconRow(2, I32s({0x01, -5, 1, 0}, "ABCD")), I32s({0, 108}, "ABCD")},
      {"frame 1, row offsets outside the commands",
       IconRow(1, I32s({0x01, 3, 3, 1000, -200, INT32_MAX}, "XY")),
       I32s({0, 0, 0, 1124, -76, INT32_MIN + 123}, "XY")},
      {"no civilisation, a negative height", IconRow(1, I32s({0x100, 7, -9})), ""},
      {"no civilisation, the payload past the package", {6, 0, 1, I32s({0, 1, 1000}), 5000}, ""},
      {"icon set 5, a frame out of range", IconRow(99, I32s({0x501, 4, 2, 0})), ""},
      {"icon set -1", IconRow(0, I32s({-256 + 0x01, 4, -1})), ""},
      {"a civilisation without a sprite, height past the payload", IconRow(0, I32s({8, 4, 50})),
       ""},
      {"frame 0", IconRow(0, good), "", invalid},
      {"a frame past the sprite's", IconRow(3, good), "", invalid},
      {"a negative height", IconRow(1, I32s({0x01, 4, -1}, "commands")), "", invalid},
      {"row offsets cut short", IconRow(1, I32s({0x01, 4, 5, 0, 1})), "", invalid},
      {"no IconInfo", IconRow(1, I32s({0x01, 4})), "", invalid},
      {"sprite 2's frame table cut short", IconRow(1, I32s({0x03, 7, 2, 0, 10}, abc)), "", invalid},
      {"sprite 3 shorter than a header", IconRow(1, I32s({0x05, 7, 2, 0, 10}, abc)), "", invalid},
      {"the payload past the package", {6, 0, 1, good, 1000}, "", invalid},
      {"the IconInfo past the package", {6, 0, 1, good.substr(0, 12), {}, 1 << 20}, "", invalid},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteIcons(kInterfacDrs, {{50734, sprite}, {50735, short_table}, {50736, "tiny"}});
    const std::string before = Archive(kInterfacDrs);
    const fixtures::DrsEntryView entry = fixtures::ParseDrsEntries(before)[2];  // 50734
    const auto position = static_cast<int32_t>(entry.position);
    Prepare({c.row});
    const std::string log_before = DiskLogText();
    const int32_t recorded = log.FileState[kInterfacDrs];
    ASSERT_EQ(Run(InstallIcons, 1, false), c.outcome);
    EXPECT_FALSE(TempSpritesLeft());
    if (c.appended.empty()) {
      EXPECT_EQ(Archive(kInterfacDrs), before);
      EXPECT_EQ(DiskLogText(), log_before);
      continue;
    }
    const auto t = static_cast<int32_t>(sprite.size() + c.appended.size());
    const int32_t height = I32At(c.row.payload, 8);
    const size_t at = before.size() + 32 + 32 * static_cast<size_t>(c.row.id - 1);
    Bytes expected;
    expected.Raw(before).PatchI32(position + 4u, recorded).PatchI32(position + 8u, t).Raw(sprite);
    expected.PatchI32(at, 100 + 4 * height).PatchI32(at + 4, 100);
    expected.PatchI32(at + 16, I32At(c.row.payload, 4)).PatchI32(at + 20, height);
    EXPECT_EQ(Archive(kInterfacDrs), expected.Raw(c.appended).str());
    EXPECT_EQ(DiskLog().FileState[kInterfacDrs], recorded + t);
    ASSERT_EQ(log.Mods[1].ChangeCount(), 1);
    EXPECT_EQ(LastChange(), (FileChange{kInterfacDrs, recorded, position, entry.offset, 100}));
  }
}

// Sets 1 and 2 beside the sprites sought: only the mask's civilisations are rebuilt. Icon set 3
// gives every civilisation the same sprite, rebuilt once for each; that each such change records
// the values the one before it wrote, the random packages of the plan test hold both sides to.
TEST_F(HandlersTest, TheMaskChoosesTheCivilisationsSprites) {
  std::vector<DrsResource> sprites;  // in both archives
  for (int32_t id : {50690, 50705, 50721, 50734, 50735, 50736, 50737, 50739, 53241, 53248}) {
    sprites.push_back({id, Sprite(2, id)});
  }
  const std::tuple<int32_t, bool, std::vector<int32_t>> cases[] = {
      {0xFF, false, {50734, 50735, 50736, 50737, 50739}},  // set 0, all: one absent, 6 and 7 CC's
      {0x180, true, {53248}},  // set 1, civilisation 7: the expansion's, 53241 its civilisation 0
      {0x305, false, {50721, 50721}}};  // set 3, civilisations 0 and 2
  const fixtures::PixelGrid replacement(8, 6, 7);
  for (const auto& [mask, with_cc, ids] : cases) {
    SCOPED_TRACE(mask);
    WriteIcons(kInterfacDrs, sprites);
    WriteIcons(kInterfacDrs + kCcOffset, sprites);
    const std::string before = Archive(kInterfacDrs);
    Prepare({IconRow(2, fixtures::BuildIconPayload(mask, replacement))});
    ASSERT_EQ(Run(InstallIcons, 1, with_cc), HandlerOutcome::kDone);
    EXPECT_EQ(log.Mods[1].ChangeCount(), static_cast<int32_t>(ids.size()));
    EXPECT_EQ(Archive(kInterfacDrs) == before, with_cc);
    const std::string archive = Archive(kInterfacDrs + (with_cc ? kCcOffset : 0));
    for (const int32_t id : ids) {
      EXPECT_EQ(fixtures::DecodeSlpFrame(fixtures::ResourceData(archive, id), 2), replacement)
          << id;
    }
  }
}

}  // namespace
}  // namespace tarnwick
