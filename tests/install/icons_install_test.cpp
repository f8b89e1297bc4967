#ifndef _WIN32
#include <unistd.h>
#endif

#include <array>
#include <climits>
#include <filesystem>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "install/install_setup.h"
#include "writers/bytes.h"
#include "writers/slp.h"

namespace tarnwick {
namespace {

using fixtures::BuildIconPayload;
using fixtures::Bytes;
using fixtures::DecodeSlpFrame;
using fixtures::DrsResource;
using fixtures::PixelGrid;
using fixtures::ResourceData;

// Transparent margins and an empty row; then in fifths of the width a fill, a colour list, a fill,
// a transparent gap and a fill: in a wide picture, runs past every drawing command's reach.
PixelGrid Picture(int32_t width, int32_t height, int seed) {
  PixelGrid picture(width, height);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = (y + seed) % 3; x < width - y % 2 && y != 1; ++x) {
      const int32_t fifth = x * 5 / width;
      if (fifth == 3) continue;
      picture.At(x, y) = fifth == 1 ? (x * 13 + y * 7 + seed) & 0xFF : (seed * 40 + y) & 0xFF;
    }
  }
  return picture;
}

std::string Sprite(int frames, int seed) {
  std::vector<fixtures::SlpFrame> list;
  for (int f = 0; f < frames; ++f) list.push_back({Picture(36, 30, seed + f), 3, -2});
  return fixtures::BuildSlp(list);
}

fixtures::MpiRow IconRow(int32_t frame, std::string payload) {
  return {6, 0, frame, std::move(payload), {}, {}};
}

// S = 100: header, two frame rows (values 1000 to 1015), four bytes of old frame data.
std::string WorkedSprite() {
  Bytes sprite;
  sprite.Text("2.0N", 4).I32(2).Text("icon comment", 24);
  for (int32_t v = 0; v < 16; ++v) sprite.I32(1000 + v);
  return sprite.Raw("old!").str();
}

class InstallIconsTest : public InstallTest {
 protected:
  void WriteIcons(int index, std::vector<DrsResource> icons) {
    WriteArchive(
        index, {{"plsb", {{50100, "button"}, {50101, "panel data"}}}, {"pls ", std::move(icons)}});
  }
  HandlerOutcome Run(int row, bool cc = false) { return InstallTest::Run(InstallIcons, row, cc); }
  bool TempSpritesLeft() const { return !std::filesystem::is_empty(Path("tmp")); }
};

TEST_F(InstallIconsTest, WorkedExampleBuildsTheSpriteByteForByte) {
  const std::string sprite = WorkedSprite();
  WriteIcons(kInterfacDrs, {{50734, sprite}});
  const std::string before = Archive(kInterfacDrs);
  const auto entry = fixtures::ParseDrsEntries(before).back();
  const auto position = static_cast<int32_t>(entry.position);
  const std::string commands = "ABCDEFGHIJKLMNOPQRST";
  Prepare({IconRow(2, Bytes().I32(0x01).I32(7).I32(2).I32(0).I32(10).Raw(commands).str())});
  const int32_t recorded = log.FileState[kInterfacDrs];
  ASSERT_EQ(Run(1), HandlerOutcome::kDone);

  Bytes expected;  // frame 2's row: command and outline tables, size; palette and hotspot kept
  expected.Raw(before).PatchI32(position + 4u, recorded).PatchI32(position + 8u, 136);
  expected.Raw(sprite.substr(0, 64)).I32(108).I32(100).I32(1010).I32(1011).I32(7).I32(2);
  expected.I32(1014).I32(1015).Raw("old!").Zeros(8).I32(116).I32(126).Raw(commands);
  EXPECT_EQ(Archive(kInterfacDrs), expected.str());
  const ModLog disk = DiskLog();
  EXPECT_EQ(disk.FileState[kInterfacDrs], recorded + 136);
  ASSERT_EQ(disk.Mods[1].ChangeCount(), 1);
  EXPECT_EQ(disk.Mods[1].Changes[1],
            (FileChange{kInterfacDrs, recorded, position, entry.offset, 100}));
  EXPECT_FALSE(TempSpritesLeft());
}

TEST_F(InstallIconsTest, RebuiltFrameDrawsThePackagedPictureAndKeepsTheOthers) {
  const PixelGrid replacement = Picture(1400, 4, 6);  // runs of 280
  for (int32_t n = 1; n <= 3; ++n) {
    WriteIcons(kInterfacDrs, {{50734, Sprite(3, 1)}});
    Prepare({IconRow(n, BuildIconPayload(0x01, replacement))});
    ASSERT_EQ(Run(1), HandlerOutcome::kDone);
    const std::string sprite = ResourceData(Archive(kInterfacDrs), 50734);
    for (int32_t f = 1; f <= 3; ++f) {
      EXPECT_EQ(DecodeSlpFrame(sprite, f), f == n ? replacement : Picture(36, 30, f))
          << "frame " << f << " after frame " << n;
    }
  }
}

TEST_F(InstallIconsTest, IconSetThreeRedirectsOneSpriteOncePerCivilisation) {
  const std::string original = Sprite(2, 5);
  WriteIcons(kInterfacDrs, {{50721, original}});
  const auto position =
      static_cast<int32_t>(fixtures::ParseDrsEntries(Archive(kInterfacDrs)).back().position);
  const PixelGrid replacement = Picture(20, 10, 2);
  const std::string payload = BuildIconPayload(0x305, replacement);  // civs 0 and 2
  Prepare({IconRow(2, payload)});
  const int32_t recorded = log.FileState[kInterfacDrs];
  ASSERT_EQ(Run(1), HandlerOutcome::kDone);

  // Each copy: the old sprite, the commands, and a zero outline of four bytes a row.
  const auto t = static_cast<int32_t>(original.size() + payload.size() - 12 + 4 * 10);
  const std::string archive = Archive(kInterfacDrs);
  ASSERT_EQ(archive.size(), static_cast<size_t>(recorded + 2 * t));
  const ModLog disk = DiskLog();
  ASSERT_EQ(disk.Mods[1].ChangeCount(), 2);
  EXPECT_EQ(disk.Mods[1].Changes[2],
            (FileChange{kInterfacDrs, recorded + t, position, recorded, t}));
  // Both copies were built from the sprite as it was before the resource.
  const std::string second = archive.substr(static_cast<size_t>(recorded + t));
  EXPECT_EQ(archive.substr(static_cast<size_t>(recorded), static_cast<size_t>(t)), second);
  EXPECT_EQ(ResourceData(archive, 50721), second);
  EXPECT_EQ(DecodeSlpFrame(second, 2), replacement);
}

// Sets 1 and 2 beside the sprites sought: only the mask's civilisations are rebuilt.
TEST_F(InstallIconsTest, TheMaskChoosesTheCivilisationsSprites) {
  std::vector<DrsResource> base;
  std::vector<DrsResource> cc;
  for (int32_t id : {50690, 50705, 50734, 50735, 50736, 50737, 50739})
    base.push_back({id, Sprite(2, id)});
  for (int32_t id = 53241; id <= 53248; ++id) cc.push_back({id, Sprite(2, id)});
  const std::tuple<int32_t, bool, std::vector<int32_t>> cases[] = {
      {0xFF, false, {50734, 50735, 50736, 50737, 50739}},  // set 0, all: one absent, 6 and 7 CC's
      {0x180, true, {53248}},                              // set 1, civilisation 7: the expansion's
      {0x200, false, {}}};                                 // no civilisation
  const PixelGrid replacement = Picture(8, 6, 1);
  for (const auto& [mask, with_cc, ids] : cases) {
    SCOPED_TRACE(mask);
    WriteIcons(kInterfacDrs, base);
    WriteIcons(kInterfacDrs + kCcOffset, cc);
    const std::string before = Archive(kInterfacDrs);
    Prepare({IconRow(2, BuildIconPayload(mask, replacement))});
    ASSERT_EQ(Run(1, with_cc), HandlerOutcome::kDone);
    EXPECT_EQ(log.Mods[1].ChangeCount(), static_cast<int32_t>(ids.size()));
    EXPECT_EQ(Archive(kInterfacDrs) == before, ids.empty() || with_cc);
    for (const int32_t id : ids) {
      const std::string archive = Archive(kInterfacDrs + (with_cc ? kCcOffset : 0));
      EXPECT_EQ(DecodeSlpFrame(ResourceData(archive, id), 2), replacement) << id;
    }
  }
}

// Width and row offsets are only stored or added to; a resource that selects no sprite is done
// after its IconInfo, whatever the rest holds. Each row against a fresh archive and log.
TEST_F(InstallIconsTest, WhatTheRebuildDoesNotReadInstallsAsGiven) {
  struct Case {
    const char* what;
    int32_t frame;
    std::string payload;
    std::optional<int32_t> length;
    std::array<int32_t, 4> row;  // command table, outline table, width, height of the frame
    std::string appended;        // after the old sprite; empty when nothing changes
  };
  const Case cases[] = {
      {"negative width",
       2,
       Bytes().I32(0x01).I32(-5).I32(1).I32(0).Raw("ABCD").str(),
       {},
       {104, 100, -5, 1},
       Bytes().Zeros(4).I32(108).Raw("ABCD").str()},
      // S + 8H = 124 added modulo 2^32.
      {"row offsets outside the command data",
       1,
       Bytes().I32(0x01).I32(3).I32(3).I32(1000).I32(-200).I32(INT32_MAX).Raw("XY").str(),
       {},
       {112, 100, 3, 3},
       Bytes().Zeros(12).I32(1124).I32(-76).I32(INT32_MIN + 123).Raw("XY").str()},
      {"no civilisation, negative height", 1, Bytes().I32(0x100).I32(7).I32(-9).str(), {}, {}, ""},
      {"no civilisation, payload past the package",
       1,
       Bytes().I32(0).I32(1).I32(1000).str(),
       5000,
       {},
       ""},
      {"icon set 5, frame out of range",
       99,
       Bytes().I32(0x501).I32(4).I32(2).I32(0).str(),
       {},
       {},
       ""},
      {"icon set -1", 0, Bytes().I32(-256 + 0x01).I32(4).I32(-1).str(), {}, {}, ""},
      {"civilisation without a sprite, height past the payload",
       0,
       Bytes().I32(0x02).I32(4).I32(50).str(),
       {},
       {},
       ""},
  };
  const std::string sprite = WorkedSprite();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteIcons(kInterfacDrs, {{50734, sprite}});
    const std::string before = Archive(kInterfacDrs);
    const auto position = static_cast<int32_t>(fixtures::ParseDrsEntries(before).back().position);
    fixtures::MpiRow row = IconRow(c.frame, c.payload);
    row.length = c.length;
    Prepare({row});
    const std::string log_before = DiskLogText();
    const int32_t recorded = log.FileState[kInterfacDrs];
    const HandlerOutcome outcome = Run(1);
    EXPECT_EQ(outcome, HandlerOutcome::kDone);
    if (outcome != HandlerOutcome::kDone) continue;
    if (c.appended.empty()) {
      EXPECT_EQ(Archive(kInterfacDrs), before);
      EXPECT_EQ(log.Mods[1].ChangeCount(), 0);
      EXPECT_EQ(DiskLogText(), log_before);
      continue;
    }
    const auto t = static_cast<int32_t>(sprite.size() + c.appended.size());
    Bytes expected;
    expected.Raw(before).PatchI32(position + 4u, recorded).PatchI32(position + 8u, t);
    const size_t row_at = before.size() + 32 + 32 * static_cast<size_t>(c.frame - 1);
    expected.Raw(sprite).PatchI32(row_at, c.row[0]).PatchI32(row_at + 4, c.row[1]);
    expected.PatchI32(row_at + 16, c.row[2]).PatchI32(row_at + 20, c.row[3]).Raw(c.appended);
    EXPECT_EQ(Archive(kInterfacDrs), expected.str());
    EXPECT_EQ(DiskLog().FileState[kInterfacDrs], recorded + t);
    EXPECT_FALSE(TempSpritesLeft());
  }
}

TEST_F(InstallIconsTest, HostilePayloadsAndSpritesAreInvalidWithNothingRecorded) {
  const std::string short_table = Bytes().Text("2.0N", 4).I32(10).Zeros(92).str();  // 10 frames
  WriteIcons(kInterfacDrs, {{50734, Sprite(2, 0)}, {50735, short_table}, {50736, "tiny"}});
  const std::string before = Archive(kInterfacDrs);
  const PixelGrid picture = Picture(6, 3, 1);
  const std::string good = BuildIconPayload(0x01, picture);
  std::vector<fixtures::MpiRow> rows = {
      IconRow(0, good),                                                 // frame 0
      IconRow(3, good),                                                 // past frameCount
      IconRow(1, Bytes().I32(1).I32(4).I32(-1).Raw("commands").str()),  // negative height
      IconRow(1, Bytes().I32(1).I32(4).I32(5).I32(0).I32(1).str()),     // rows cut short
      IconRow(1, Bytes().I32(1).I32(4).str()),                          // no IconInfo
      IconRow(1, ""),                                                   // empty payload
      IconRow(1, BuildIconPayload(0x03, picture)),  // second sprite's table too short
      IconRow(1, BuildIconPayload(0x05, picture)),  // third sprite tiny
      IconRow(1, good),                             // payload beyond the package
  };
  rows.back().length = static_cast<int32_t>(good.size()) + 1000;
  rows.push_back(IconRow(1, good.substr(0, 12)));  // IconInfo itself past the package
  rows.back().offset = 1 << 20;
  Prepare(rows);
  for (int row = 1; row <= static_cast<int>(rows.size()); ++row) {
    EXPECT_EQ(Run(row), HandlerOutcome::kInvalidPackage) << "row " << row;
  }
  EXPECT_EQ(Archive(kInterfacDrs), before);
  EXPECT_EQ(log.Mods[1].ChangeCount(), 0);
  EXPECT_EQ(DiskLog().ModCount(), 0);
  EXPECT_FALSE(TempSpritesLeft());
}

#ifndef _WIN32
TEST_F(InstallIconsTest, LinkPlantedAtTheTemporaryNameIsNotFollowed) {
  WriteIcons(kInterfacDrs, {{50734, Sprite(1, 0)}});
  fixtures::WriteAll(Path("victim"), "keep me");
  ASSERT_EQ(::symlink(Path("victim").c_str(), Path("tmp/quillet0.slp").c_str()), 0);
  const PixelGrid replacement = Picture(5, 5, 3);
  Prepare({IconRow(1, BuildIconPayload(0x01, replacement))});
  ASSERT_EQ(Run(1), HandlerOutcome::kDone);
  EXPECT_EQ(fixtures::ReadAll(Path("victim")), "keep me");
  EXPECT_EQ(DecodeSlpFrame(ResourceData(Archive(kInterfacDrs), 50734), 1), replacement);
  EXPECT_FALSE(TempSpritesLeft());
}
#endif

}  // namespace
}  // namespace tarnwick
