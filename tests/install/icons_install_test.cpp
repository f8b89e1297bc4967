#include <gtest/gtest.h>
#include <stdlib.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <filesystem>
#include <string>
#include <vector>

#include "common/game_files.h"
#include "writers/bytes.h"
#include "fixtures/drs_checks.h"
#include "fixtures/files.h"
#include "writers/mpi_writer.h"
#include "fixtures/recording_messages.h"
#include "writers/slp.h"
#include "install/install.h"
#include "modlog/mod_log.h"
#include "package/package.h"
#include "platform/host_path.h"

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
using fixtures::WriteAll;

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
  for (int f = 0; f < count; ++f) {
    frames.push_back({Picture(36, 30, seed + f), 3 + f, -2 - f});
  }
  return frames;
}

fixtures::MpiRow IconRow(int32_t frame, std::string payload) {
  fixtures::MpiRow row;
  row.type = 6;
  row.id = frame;
  row.payload = std::move(payload);
  return row;
}

class InstallIconsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_prefix_ = WinePrefix();
    SetWinePrefix("");
    fixtures::MakeFolders(dir_ / "data");
    fixtures::MakeFolders(dir_ / "tmp");
    files_ = MakeGameFiles(dir_.path() + "/", dir_.path() + "/data/");
#ifdef _WIN32
    // GetTempPathA asks TMP first.
    if (const char* old = getenv("TMP")) saved_tmpdir_ = old;
    _putenv_s("TMP", (dir_ / "tmp").c_str());
#else
    if (const char* old = getenv("TMPDIR")) saved_tmpdir_ = old;
    setenv("TMPDIR", (dir_ / "tmp").c_str(), 1);
#endif
    log_.LogPath = dir_.path() + "/data/mods.log";
  }
  void TearDown() override {
    SetWinePrefix(saved_prefix_);
#ifdef _WIN32
    _putenv_s("TMP", saved_tmpdir_.c_str());
#else
    if (saved_tmpdir_.empty()) {
      unsetenv("TMPDIR");
    } else {
      setenv("TMPDIR", saved_tmpdir_.c_str(), 1);
    }
#endif
  }

  const std::string& File(int index) const { return files_[static_cast<size_t>(index)]; }

  // Writes the archive with a few unrelated resources around the icons, and records its length.
  void WriteArchive(int index, std::vector<DrsResource> icons) {
    std::vector<DrsResource> others = {{50100, "button"}, {50101, "panel data"}};
    WriteAll(File(index), fixtures::BuildDrs({{"plsb", others}, {"pls ", std::move(icons)}}));
    log_.FileState[static_cast<size_t>(index)] = static_cast<int32_t>(ReadAll(File(index)).size());
  }

  // Saves the log as it stands before the install and starts the mod's entry, then writes the
  // package and reads its table with the program's reader.
  void WritePackage(std::vector<fixtures::MpiRow> rows) {
    ASSERT_FALSE(SaveModLog(log_, messages_));
    log_.Mods.push_back(ModLogEntry{"Icons (incomplete)", {}});
    fixtures::MpiPackage package;
    package.rows = std::move(rows);
    const std::string path = dir_ / "icons.mpi";
    WriteAll(path, fixtures::BuildMpi(package));
    ASSERT_EQ(ReadPackage(path, header_), PackageRead::kValid);
    ASSERT_FALSE(package_.Open(path, OpenMode::kRead));
    ASSERT_FALSE(package_.Length(&package_length_));
  }

  HandlerOutcome Run(int row, bool cc_present) {
    InstallContext context{
        package_,  package_length_, buffer_,  row, header_.resources[row], log_, files_, cc_present,
        messages_, nullptr,         &copied_, {}};
    const HandlerOutcome outcome = InstallIcons(context);
    error_ = context.error;
    return outcome;
  }

  ModLog LogOnDisk() {
    ModLog disk;
    disk.LogPath = log_.LogPath;
    EXPECT_FALSE(ReadModLog(disk, files_, messages_));
    return disk;
  }

  bool TempSpritesLeft() const {
    return !std::filesystem::is_empty(std::filesystem::path(dir_ / "tmp"));
  }

  fixtures::TempDir dir_;
  std::string saved_prefix_;
  std::string saved_tmpdir_;
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

TEST_F(InstallIconsTest, WorkedExampleBuildsTheSpriteByteForByte) {
  // S = 100: header, two frame rows, four bytes of old frame data.
  Bytes sprite;
  sprite.Text("2.0N", 4).I32(2).Text("icon comment", 24);
  for (int32_t v = 0; v < 16; ++v) sprite.I32(1000 + v);
  sprite.Raw("old!");
  ASSERT_EQ(sprite.size(), 100u);
  WriteArchive(kInterfac, {{50734, sprite.str()}});
  const std::string archive_before = ReadAll(File(kInterfac));
  const int32_t recorded = log_.FileState[kInterfac];
  const auto entry_before = fixtures::ParseDrsEntries(archive_before).back();

  const std::string commands = "ABCDEFGHIJKLMNOPQRST";
  WritePackage({IconRow(2, Bytes().I32(0x01).I32(7).I32(2).I32(0).I32(10).Raw(commands).str())});
  ASSERT_EQ(Run(1, false), HandlerOutcome::kDone);

  Bytes expected;
  expected.Raw(sprite.str().substr(0, 64))
      .I32(108)   // command table
      .I32(100)   // outline table
      .I32(1010)  // palette offset, kept
      .I32(1011)  // properties, kept
      .I32(7)
      .I32(2)
      .I32(1014)  // hotspot, kept
      .I32(1015)
      .Raw("old!")
      .Zeros(8)
      .I32(116)
      .I32(126)
      .Raw(commands);
  ASSERT_EQ(expected.size(), 136u);
  const std::string archive = ReadAll(File(kInterfac));
  EXPECT_EQ(archive.size(), static_cast<size_t>(recorded) + 136);
  EXPECT_EQ(archive.substr(static_cast<size_t>(recorded)), expected.str());
  EXPECT_EQ(ResourceData(archive, 50734), expected.str());
  // Only the entry's offset and size changed before the appended sprite.
  Bytes patched;
  patched.Raw(archive_before);
  patched.PatchI32(static_cast<size_t>(entry_before.position) + 4, recorded)
      .PatchI32(static_cast<size_t>(entry_before.position) + 8, 136);
  EXPECT_EQ(archive.substr(0, static_cast<size_t>(recorded)), patched.str());

  const ModLog disk = LogOnDisk();
  EXPECT_EQ(disk.FileState[kInterfac], recorded + 136);
  ASSERT_EQ(disk.Mods[1].ChangeCount(), 1);
  EXPECT_EQ(disk.Mods[1].Changes[1],
            (FileChange{kInterfac, recorded, static_cast<int32_t>(entry_before.position),
                        entry_before.offset, 100}));
  EXPECT_FALSE(TempSpritesLeft());
}

TEST_F(InstallIconsTest, RebuiltFrameDrawsThePackagedPictureAndKeepsTheOthers) {
  const std::vector<SlpFrame> frames = IconFrames(3, 1);
  const PixelGrid replacement = Picture(90, 24, 7);  // wide enough for the long commands
  for (int32_t n = 1; n <= 3; ++n) {
    SCOPED_TRACE("frame " + std::to_string(n));
    log_ = ModLog{};
    log_.LogPath = dir_.path() + "/data/mods.log";
    WriteArchive(kInterfac, {{50734, fixtures::BuildSlp(frames)}});
    WritePackage({IconRow(n, fixtures::BuildIconPayload(0x01, replacement))});
    ASSERT_EQ(Run(1, false), HandlerOutcome::kDone);

    const std::string sprite = ResourceData(ReadAll(File(kInterfac)), 50734);
    for (int32_t f = 1; f <= 3; ++f) {
      std::string why;
      const auto drawn = DecodeSlpFrame(sprite, f, &why);
      ASSERT_TRUE(drawn.has_value()) << why;
      EXPECT_EQ(*drawn, f == n ? replacement : frames[static_cast<size_t>(f - 1)].picture)
          << "frame " << f;
      const size_t row = 32 + 32 * static_cast<size_t>(f - 1);
      EXPECT_EQ(I32At(sprite, row + 24), frames[static_cast<size_t>(f - 1)].hotspot_x);
      EXPECT_EQ(I32At(sprite, row + 28), frames[static_cast<size_t>(f - 1)].hotspot_y);
    }
  }
}

TEST_F(InstallIconsTest, FrameWithoutRowsAppendsOnlyItsCommandData) {
  const std::string original = fixtures::BuildSlp(IconFrames(2, 3));
  WriteArchive(kInterfac, {{50734, original}});
  WritePackage({IconRow(1, Bytes().I32(0x01).I32(0).I32(0).Raw("xyz").str())});
  ASSERT_EQ(Run(1, false), HandlerOutcome::kDone);

  const std::string sprite = ResourceData(ReadAll(File(kInterfac)), 50734);
  const auto s = static_cast<int32_t>(original.size());
  ASSERT_EQ(sprite.size(), original.size() + 3);
  EXPECT_EQ(sprite.substr(original.size()), "xyz");
  EXPECT_EQ(I32At(sprite, 32), s);
  EXPECT_EQ(I32At(sprite, 36), s);
  const auto drawn = DecodeSlpFrame(sprite, 1);
  ASSERT_TRUE(drawn.has_value());
  EXPECT_EQ(drawn->width, 0);
  EXPECT_EQ(drawn->height, 0);
}

TEST_F(InstallIconsTest, IconSetThreeRedirectsOneSpriteOncePerCivilisation) {
  const std::string original = fixtures::BuildSlp(IconFrames(2, 5));
  WriteArchive(kInterfac, {{50721, original}});
  const int32_t recorded = log_.FileState[kInterfac];
  const auto entry = fixtures::ParseDrsEntries(ReadAll(File(kInterfac))).back();
  const PixelGrid replacement = Picture(20, 10, 2);
  const std::string payload = fixtures::BuildIconPayload(0x305, replacement);  // civs 0 and 2
  WritePackage({IconRow(2, payload)});
  ASSERT_EQ(Run(1, false), HandlerOutcome::kDone);

  const auto t = static_cast<int32_t>(original.size() + payload.size() - 12 +
                                      4 * static_cast<size_t>(replacement.height));
  const ModLog disk = LogOnDisk();
  ASSERT_EQ(disk.Mods[1].ChangeCount(), 2);
  const auto pos = static_cast<int32_t>(entry.position);
  EXPECT_EQ(disk.Mods[1].Changes[1], (FileChange{kInterfac, recorded, pos, entry.offset,
                                                 static_cast<int32_t>(original.size())}));
  EXPECT_EQ(disk.Mods[1].Changes[2], (FileChange{kInterfac, recorded + t, pos, recorded, t}));
  EXPECT_EQ(disk.FileState[kInterfac], recorded + 2 * t);

  // Both copies were built from the sprite as it was before the resource.
  const std::string archive = ReadAll(File(kInterfac));
  ASSERT_EQ(archive.size(), static_cast<size_t>(recorded + 2 * t));
  EXPECT_EQ(archive.substr(static_cast<size_t>(recorded), static_cast<size_t>(t)),
            archive.substr(static_cast<size_t>(recorded + t)));
  EXPECT_EQ(ResourceData(archive, 50721), archive.substr(static_cast<size_t>(recorded + t)));
}

TEST_F(InstallIconsTest, CloneCampaignsChangesOnlyTheExpansionArchive) {
  const std::vector<SlpFrame> frames = IconFrames(2, 4);
  WriteArchive(kInterfac, {{50712, fixtures::BuildSlp(frames)}});
  std::vector<DrsResource> icons;
  for (int c = 0; c < 8; ++c) icons.push_back({53241 + c, fixtures::BuildSlp(IconFrames(2, c))});
  WriteArchive(kInterfacCc, icons);
  const std::string base_before = ReadAll(File(kInterfac));
  const std::string cc_before = ReadAll(File(kInterfacCc));
  const PixelGrid replacement = Picture(12, 12, 9);
  WritePackage({IconRow(2, fixtures::BuildIconPayload(0x180, replacement))});  // set 1, civ 7

  ASSERT_EQ(Run(1, true), HandlerOutcome::kDone);

  EXPECT_EQ(ReadAll(File(kInterfac)), base_before);
  const std::string cc = ReadAll(File(kInterfacCc));
  for (int c = 0; c < 7; ++c) {
    EXPECT_EQ(ResourceData(cc, 53241 + c), ResourceData(cc_before, 53241 + c));
  }
  EXPECT_EQ(DecodeSlpFrame(ResourceData(cc, 53248), 2), replacement);
  const ModLog disk = LogOnDisk();
  ASSERT_EQ(disk.Mods[1].ChangeCount(), 1);
  EXPECT_EQ(disk.Mods[1].Changes[1].FileIndex, kInterfacCc);
}

TEST_F(InstallIconsTest, SixCivilisationsChangeInOrderAndMissingSpritesAreSkipped) {
  std::vector<DrsResource> icons;
  for (int c = 0; c < 6; ++c) {
    if (c != 4) icons.push_back({50734 + c, fixtures::BuildSlp(IconFrames(1, c))});
  }
  WriteArchive(kInterfac, icons);
  const PixelGrid replacement = Picture(8, 6, 1);
  WritePackage({IconRow(1, fixtures::BuildIconPayload(0xFF, replacement))});  // set 0

  ASSERT_EQ(Run(1, false), HandlerOutcome::kDone);

  const std::string archive = ReadAll(File(kInterfac));
  const auto entries = fixtures::ParseDrsEntries(archive);
  const ModLog disk = LogOnDisk();
  ASSERT_EQ(disk.Mods[1].ChangeCount(), 5);
  int change = 1;
  for (int c = 0; c < 6; ++c) {
    if (c == 4) continue;
    EXPECT_EQ(DecodeSlpFrame(ResourceData(archive, 50734 + c), 1), replacement) << c;
    const int64_t position = entries[static_cast<size_t>(2 + change - 1)].position;
    EXPECT_EQ(disk.Mods[1].Changes[change].EntryPos, position) << c;
    ++change;
  }
  EXPECT_TRUE(messages_.boxes.empty());
}

TEST_F(InstallIconsTest, MasksThatSelectNothingChangeNothing) {
  std::vector<DrsResource> icons;
  for (int32_t id : {50690, 50695, 50696, 50705, 50710, 50711, 50734}) {
    icons.push_back({id, fixtures::BuildSlp(IconFrames(1, id))});
  }
  WriteArchive(kInterfac, icons);
  const std::string before = ReadAll(File(kInterfac));
  const PixelGrid picture = Picture(4, 4, 0);
  // Bits 6 and 7 without the expansion; an icon set beyond 3; a negative set; no civilisation.
  WritePackage({IconRow(1, fixtures::BuildIconPayload(0x1C0, picture)),
                IconRow(1, fixtures::BuildIconPayload(0x401, picture)),
                IconRow(1, fixtures::BuildIconPayload(-255, picture)),
                IconRow(1, fixtures::BuildIconPayload(0x200, picture))});

  for (int row = 1; row <= 4; ++row) EXPECT_EQ(Run(row, false), HandlerOutcome::kDone) << row;

  EXPECT_EQ(ReadAll(File(kInterfac)), before);
  EXPECT_EQ(log_.Mods[1].ChangeCount(), 0);
  EXPECT_EQ(LogOnDisk().ModCount(), 0);
}

TEST_F(InstallIconsTest, HostilePayloadsAndSpritesAreInvalidWithNothingRecorded) {
  Bytes short_table;  // claims ten frames in 100 bytes
  short_table.Text("2.0N", 4).I32(10).Zeros(24).Zeros(68);
  WriteArchive(
      kInterfac,
      {{50734, fixtures::BuildSlp(IconFrames(2, 0))}, {50735, short_table.str()}, {50736, "tiny"}});
  const std::string before = ReadAll(File(kInterfac));
  const std::string good = fixtures::BuildIconPayload(0x01, Picture(6, 3, 1));

  std::vector<fixtures::MpiRow> rows = {
      IconRow(0, good),                                                    // frame 0
      IconRow(3, good),                                                    // past frameCount
      IconRow(1, Bytes().I32(1).I32(4).I32(-1).Raw("commands").str()),     // negative height
      IconRow(1, Bytes().I32(1).I32(4).I32(5).I32(0).I32(1).str()),        // rows cut short
      IconRow(1, Bytes().I32(1).I32(4).str()),                             // no IconInfo
      IconRow(1, Bytes().I32(1).I32(-4).I32(0).Raw("x").str()),            // negative width
      IconRow(1, Bytes().I32(1).I32(4).I32(1).I32(9).Raw("short").str()),  // row outside data
      IconRow(1, Bytes().I32(1).I32(4).I32(1).I32(-1).Raw("data").str()),  // negative row
      IconRow(1, fixtures::BuildIconPayload(0x03, Picture(6, 3, 1))),      // 2nd sprite's table
      IconRow(1, fixtures::BuildIconPayload(0x05, Picture(6, 3, 1))),      // 2nd sprite tiny
  };
  fixtures::MpiRow beyond = IconRow(1, good);
  beyond.length = static_cast<int32_t>(good.size()) + 1000;
  rows.push_back(beyond);
  WritePackage(rows);

  for (int row = 1; row <= static_cast<int>(rows.size()); ++row) {
    EXPECT_EQ(Run(row, false), HandlerOutcome::kInvalidPackage) << "row " << row;
  }
  EXPECT_EQ(ReadAll(File(kInterfac)), before);
  EXPECT_EQ(log_.Mods[1].ChangeCount(), 0);
  EXPECT_EQ(LogOnDisk().ModCount(), 0);
  EXPECT_FALSE(TempSpritesLeft());
}

#ifndef _WIN32
TEST_F(InstallIconsTest, LinkPlantedAtTheTemporaryNameIsNotFollowed) {
  WriteArchive(kInterfac, {{50734, fixtures::BuildSlp(IconFrames(1, 0))}});
  const std::string victim = dir_ / "victim";
  WriteAll(victim, "keep me");
  ASSERT_EQ(::symlink(victim.c_str(), (dir_ / "tmp/quillet0.slp").c_str()), 0);
  const PixelGrid replacement = Picture(5, 5, 3);
  WritePackage({IconRow(1, fixtures::BuildIconPayload(0x01, replacement))});

  ASSERT_EQ(Run(1, false), HandlerOutcome::kDone);

  EXPECT_EQ(ReadAll(victim), "keep me");
  EXPECT_EQ(DecodeSlpFrame(ResourceData(ReadAll(File(kInterfac)), 50734), 1), replacement);
  EXPECT_FALSE(TempSpritesLeft());
}
#endif

TEST_F(InstallIconsTest, UnreadableArchivesEndTheInstall) {
  WritePackage({IconRow(1, fixtures::BuildIconPayload(0x01, Picture(3, 3, 0)))});
  EXPECT_EQ(Run(1, false), HandlerOutcome::kError);  // no archive at all
  EXPECT_TRUE(error_);

  WriteAll(File(kInterfac), "Copyright (c) 2001 LucasFilm and then some more bytes ....");
  EXPECT_EQ(Run(1, false), HandlerOutcome::kInvalidPackage);
  EXPECT_EQ(messages_.Errors(), std::vector<std::string>{"Error reading from DRS file!"});
  EXPECT_EQ(log_.Mods[1].ChangeCount(), 0);
}

TEST_F(InstallIconsTest, UnsavableLogLeavesTheArchiveUntouched) {
  WriteArchive(kInterfac, {{50734, fixtures::BuildSlp(IconFrames(1, 0))}});
  const std::string before = ReadAll(File(kInterfac));
  WritePackage({IconRow(1, fixtures::BuildIconPayload(0x01, Picture(3, 3, 0)))});
  log_.LogPath = dir_.path() + "/no such folder/mods.log";

  EXPECT_EQ(Run(1, false), HandlerOutcome::kError);
  EXPECT_EQ(ReadAll(File(kInterfac)), before);
  EXPECT_EQ(messages_.Errors(), std::vector<std::string>{"Cannot save log file!"});
}

}  // namespace
}  // namespace tarnwick
