#include <stdlib.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "install/install_setup.h"
#include "writers/bytes.h"
#include "writers/slp.h"

namespace tarnwick {
namespace {

using fixtures::Bytes;
using fixtures::DecodeSlpFrame;
using fixtures::DrsResource;
using fixtures::I32At;
using fixtures::PixelGrid;
using fixtures::ReadAll;
using fixtures::ResourceData;
using fixtures::SlpFrame;

constexpr int kInterfac = 2;
constexpr int kInterfacCc = 22;

// A picture with transparent margins, a fully transparent row, long fills and mixed colours.
PixelGrid Picture(int32_t width, int32_t height, int seed) {
  PixelGrid picture(width, height);
  for (int32_t y = 0; y < height; ++y) {
    if (y == 1) continue;
    for (int32_t x = (y + seed) % 3; x < width - y % 2; ++x) {
      picture.At(x, y) = x % 9 < 5 ? (seed * 40 + y) & 0xFF : (x * 13 + y * 7 + seed) & 0xFF;
    }
  }
  return picture;
}

std::vector<SlpFrame> IconFrames(int count, int seed) {
  std::vector<SlpFrame> frames;
  for (int f = 0; f < count; ++f) frames.push_back({Picture(36, 30, seed + f), 3 + f, -2 - f});
  return frames;
}
std::string Sprite(int frames, int seed) { return fixtures::BuildSlp(IconFrames(frames, seed)); }

fixtures::MpiRow IconRow(int32_t frame, std::string payload) {
  return {6, 0, frame, std::move(payload), {}, {}};
}
fixtures::MpiRow IconRow(int32_t frame, int32_t mask, const PixelGrid& picture) {
  return IconRow(frame, fixtures::BuildIconPayload(mask, picture));
}

class InstallIconsTest : public testing_install::InstallTest {
 protected:
  // Temporary sprites go to a folder of the test's own.
  void SetUp() override {
    fixtures::MakeFolders(Path("tmp"));
#ifdef _WIN32
    if (const char* old = getenv("TMP")) saved_tmp_ = old;
    _putenv_s("TMP", Path("tmp").c_str());  // GetTempPathA asks TMP first
#else
    if (const char* old = getenv("TMPDIR")) saved_tmp_ = old;
    setenv("TMPDIR", Path("tmp").c_str(), 1);
#endif
  }
  void TearDown() override {
#ifdef _WIN32
    _putenv_s("TMP", saved_tmp_.c_str());
#else
    saved_tmp_.empty() ? unsetenv("TMPDIR") : setenv("TMPDIR", saved_tmp_.c_str(), 1);
#endif
  }

  // The icons beside a few unrelated resources.
  void WriteIcons(int index, std::vector<DrsResource> icons) {
    WriteArchive(
        index, {{"plsb", {{50100, "button"}, {50101, "panel data"}}}, {"pls ", std::move(icons)}});
  }
  // The package, then the mod begun on a log that holds the archives' lengths.
  void Prepare(std::vector<fixtures::MpiRow> rows) {
    WritePackage(std::move(rows));
    StartMod();
  }
  HandlerOutcome Run(int row, bool cc = false) { return InstallTest::Run(InstallIcons, row, cc); }
  bool TempSpritesLeft() const { return !std::filesystem::is_empty(Path("tmp")); }
  void ExpectNothingRecorded(const std::string& archive_before) {
    EXPECT_EQ(Archive(kInterfac), archive_before);
    EXPECT_EQ(log.Mods[1].ChangeCount(), 0);
    EXPECT_EQ(DiskLog().ModCount(), 0);
  }

  std::string saved_tmp_;
};

TEST_F(InstallIconsTest, WorkedExampleBuildsTheSpriteByteForByte) {
  // S = 100: header, two frame rows, four bytes of old frame data.
  Bytes sprite;
  sprite.Text("2.0N", 4).I32(2).Text("icon comment", 24);
  for (int32_t v = 0; v < 16; ++v) sprite.I32(1000 + v);
  sprite.Raw("old!");
  WriteIcons(kInterfac, {{50734, sprite.str()}});
  const std::string before = Archive(kInterfac);
  const auto entry = fixtures::ParseDrsEntries(before).back();
  const std::string commands = "ABCDEFGHIJKLMNOPQRST";
  Prepare({IconRow(2, Bytes().I32(0x01).I32(7).I32(2).I32(0).I32(10).Raw(commands).str())});
  const int32_t recorded = log.FileState[kInterfac];
  ASSERT_EQ(Run(1), HandlerOutcome::kDone);

  Bytes expected;  // frame 2's row: command and outline tables, size; palette and hotspot kept
  expected.Raw(before).PatchI32(static_cast<size_t>(entry.position) + 4, recorded);
  expected.PatchI32(static_cast<size_t>(entry.position) + 8, 136);
  expected.Raw(sprite.str().substr(0, 64)).I32(108).I32(100).I32(1010).I32(1011).I32(7).I32(2);
  expected.I32(1014).I32(1015).Raw("old!").Zeros(8).I32(116).I32(126).Raw(commands);
  EXPECT_EQ(Archive(kInterfac), expected.str());
  const ModLog disk = DiskLog();
  EXPECT_EQ(disk.FileState[kInterfac], recorded + 136);
  ASSERT_EQ(disk.Mods[1].ChangeCount(), 1);
  EXPECT_EQ(
      disk.Mods[1].Changes[1],
      (FileChange{kInterfac, recorded, static_cast<int32_t>(entry.position), entry.offset, 100}));
  EXPECT_FALSE(TempSpritesLeft());
}

TEST_F(InstallIconsTest, RebuiltFrameDrawsThePackagedPictureAndKeepsTheOthers) {
  const std::vector<SlpFrame> frames = IconFrames(3, 1);
  const PixelGrid replacement = Picture(90, 24, 7);  // wide enough for the long commands
  for (int32_t n = 1; n <= 3; ++n) {
    SCOPED_TRACE("frame " + std::to_string(n));
    WriteIcons(kInterfac, {{50734, fixtures::BuildSlp(frames)}});
    Prepare({IconRow(n, 0x01, replacement)});
    ASSERT_EQ(Run(1), HandlerOutcome::kDone);

    const std::string sprite = ResourceData(Archive(kInterfac), 50734);
    for (int32_t f = 1; f <= 3; ++f) {
      const SlpFrame& old = frames[static_cast<size_t>(f - 1)];
      std::string why;
      const auto drawn = DecodeSlpFrame(sprite, f, &why);
      ASSERT_TRUE(drawn.has_value()) << why;
      EXPECT_EQ(*drawn, f == n ? replacement : old.picture) << "frame " << f;
      const size_t row = 32 * static_cast<size_t>(f);
      EXPECT_EQ(I32At(sprite, row + 24), old.hotspot_x);
      EXPECT_EQ(I32At(sprite, row + 28), old.hotspot_y);
    }
  }
}

TEST_F(InstallIconsTest, IconSetThreeRedirectsOneSpriteOncePerCivilisation) {
  const std::string original = Sprite(2, 5);
  WriteIcons(kInterfac, {{50721, original}});
  const auto entry = fixtures::ParseDrsEntries(Archive(kInterfac)).back();
  const PixelGrid replacement = Picture(20, 10, 2);
  const std::string payload = fixtures::BuildIconPayload(0x305, replacement);  // civs 0 and 2
  Prepare({IconRow(2, payload)});
  const int32_t recorded = log.FileState[kInterfac];
  ASSERT_EQ(Run(1), HandlerOutcome::kDone);

  // Each copy: the old sprite, the commands, and a zero outline of four bytes a row.
  const auto t = static_cast<int32_t>(original.size() + payload.size() - 12 + 4 * 10);
  const std::string archive = Archive(kInterfac);
  ASSERT_EQ(archive.size(), static_cast<size_t>(recorded + 2 * t));
  const auto pos = static_cast<int32_t>(entry.position);
  const ModLog disk = DiskLog();
  ASSERT_EQ(disk.Mods[1].ChangeCount(), 2);
  EXPECT_EQ(disk.Mods[1].Changes[1], (FileChange{kInterfac, recorded, pos, entry.offset,
                                                 static_cast<int32_t>(original.size())}));
  EXPECT_EQ(disk.Mods[1].Changes[2], (FileChange{kInterfac, recorded + t, pos, recorded, t}));
  EXPECT_EQ(disk.FileState[kInterfac], recorded + 2 * t);
  // Both copies were built from the sprite as it was before the resource.
  const std::string second = archive.substr(static_cast<size_t>(recorded + t));
  EXPECT_EQ(archive.substr(static_cast<size_t>(recorded), static_cast<size_t>(t)), second);
  EXPECT_EQ(ResourceData(archive, 50721), second);
  EXPECT_EQ(DecodeSlpFrame(second, 2), replacement);
}

TEST_F(InstallIconsTest, TheMaskChoosesTheCivilisationsSpritesInOrder) {
  std::vector<DrsResource> base;
  std::vector<DrsResource> cc;
  for (int32_t id : {50690, 50695, 50696, 50705, 50710, 50711, 50734, 50735, 50736, 50737, 50739}) {
    base.push_back({id, Sprite(2, id)});
  }
  for (int32_t id = 53241; id <= 53248; ++id) cc.push_back({id, Sprite(2, id)});
  struct Case {
    int32_t mask;
    bool cc;
    std::vector<int32_t> ids;  // of the interface archive that holds them
  };
  const std::vector<Case> cases = {
      {0xFF, false, {50734, 50735, 50736, 50737, 50739}},  // set 0, every civilisation; one absent
      {0x180, true, {53248}},                              // set 1, civilisation 7: the expansion's
      {0x1C0, false, {}},                                  // civilisations 6 and 7 without it
      {0x401, false, {}},                                  // an icon set beyond 3
      {-255, false, {}},                                   // a negative set
      {0x200, false, {}}};                                 // no civilisation
  const PixelGrid replacement = Picture(8, 6, 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mask);
    WriteIcons(kInterfac, base);
    WriteIcons(kInterfacCc, cc);
    const std::string before[] = {Archive(kInterfac), Archive(kInterfacCc)};
    Prepare({IconRow(2, c.mask, replacement)});
    ASSERT_EQ(Run(1, c.cc), HandlerOutcome::kDone);
    EXPECT_TRUE(messages.boxes.empty());
    const int changed = c.cc ? kInterfacCc : kInterfac;
    EXPECT_EQ(Archive(c.cc ? kInterfac : kInterfacCc), before[c.cc ? 0 : 1]);
    const std::string archive = Archive(changed);
    if (c.ids.empty()) {
      EXPECT_EQ(archive, before[0]);
    }
    ASSERT_EQ(log.Mods[1].ChangeCount(), static_cast<int32_t>(c.ids.size()));
    const auto entries = fixtures::ParseDrsEntries(archive);
    for (size_t k = 0; k < c.ids.size(); ++k) {
      const FileChange& change = log.Mods[1].Changes[static_cast<int32_t>(k + 1)];
      EXPECT_EQ(change.FileIndex, changed);
      const auto entry = std::find_if(entries.begin(), entries.end(),
                                      [&](const auto& e) { return e.id == c.ids[k]; });
      ASSERT_NE(entry, entries.end());
      EXPECT_EQ(change.EntryPos, entry->position) << c.ids[k];
      EXPECT_EQ(DecodeSlpFrame(ResourceData(archive, c.ids[k]), 2), replacement) << c.ids[k];
    }
  }
}

TEST_F(InstallIconsTest, HostilePayloadsAndSpritesAreInvalidWithNothingRecorded) {
  Bytes short_table;  // claims ten frames in 100 bytes
  short_table.Text("2.0N", 4).I32(10).Zeros(92);
  WriteIcons(kInterfac, {{50734, Sprite(2, 0)}, {50735, short_table.str()}, {50736, "tiny"}});
  const std::string before = Archive(kInterfac);
  const PixelGrid picture = Picture(6, 3, 1);
  const std::string good = fixtures::BuildIconPayload(0x01, picture);
  std::vector<fixtures::MpiRow> rows = {
      IconRow(0, good),                                                    // frame 0
      IconRow(3, good),                                                    // past frameCount
      IconRow(1, Bytes().I32(1).I32(4).I32(-1).Raw("commands").str()),     // negative height
      IconRow(1, Bytes().I32(1).I32(4).I32(5).I32(0).I32(1).str()),        // rows cut short
      IconRow(1, Bytes().I32(1).I32(4).str()),                             // no IconInfo
      IconRow(1, Bytes().I32(1).I32(-4).I32(0).Raw("x").str()),            // negative width
      IconRow(1, Bytes().I32(1).I32(4).I32(1).I32(9).Raw("short").str()),  // row outside data
      IconRow(1, Bytes().I32(1).I32(4).I32(1).I32(-1).Raw("data").str()),  // negative row
      IconRow(1, 0x03, picture),  // second sprite's table too short
      IconRow(1, 0x05, picture),  // third sprite tiny
      IconRow(1, good),           // payload beyond the package
  };
  rows.back().length = static_cast<int32_t>(good.size()) + 1000;
  Prepare(rows);
  for (int row = 1; row <= static_cast<int>(rows.size()); ++row) {
    EXPECT_EQ(Run(row), HandlerOutcome::kInvalidPackage) << "row " << row;
  }
  ExpectNothingRecorded(before);
  EXPECT_FALSE(TempSpritesLeft());
}

#ifndef _WIN32
TEST_F(InstallIconsTest, LinkPlantedAtTheTemporaryNameIsNotFollowed) {
  WriteIcons(kInterfac, {{50734, Sprite(1, 0)}});
  fixtures::WriteAll(Path("victim"), "keep me");
  ASSERT_EQ(::symlink(Path("victim").c_str(), Path("tmp/quillet0.slp").c_str()), 0);
  const PixelGrid replacement = Picture(5, 5, 3);
  Prepare({IconRow(1, 0x01, replacement)});
  ASSERT_EQ(Run(1), HandlerOutcome::kDone);
  EXPECT_EQ(ReadAll(Path("victim")), "keep me");
  EXPECT_EQ(DecodeSlpFrame(ResourceData(Archive(kInterfac), 50734), 1), replacement);
  EXPECT_FALSE(TempSpritesLeft());
}
#endif

TEST_F(InstallIconsTest, UnreadableArchivesAndUnsavableLogsEndTheInstall) {
  Prepare({IconRow(1, 0x01, Picture(3, 3, 0))});
  EXPECT_EQ(Run(1), HandlerOutcome::kError);  // no archive at all
  EXPECT_TRUE(error);

  fixtures::WriteAll(File(kInterfac), "Copyright (c) 2001 LucasFilm and then some more bytes ....");
  EXPECT_EQ(Run(1), HandlerOutcome::kInvalidPackage);
  EXPECT_EQ(messages.Errors(), testing_install::Texts{"Error reading from DRS file!"});
  EXPECT_EQ(log.Mods[1].ChangeCount(), 0);

  WriteIcons(kInterfac, {{50734, Sprite(1, 0)}});
  const std::string before = Archive(kInterfac);
  log.FileState[kInterfac] = static_cast<int32_t>(before.size());
  log.LogPath = Path("no such folder/mods.log");
  messages.boxes.clear();
  EXPECT_EQ(Run(1), HandlerOutcome::kError);
  EXPECT_EQ(Archive(kInterfac), before);
  EXPECT_EQ(messages.Errors(), testing_install::Texts{"Cannot save log file!"});
}

}  // namespace
}  // namespace tarnwick
