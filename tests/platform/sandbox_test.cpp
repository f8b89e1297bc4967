// The demo game and its prefix, read back through the program's own readers.
#if !defined(_WIN32)

#include "writers/sandbox.h"

#include <gtest/gtest.h>

#include <string>

#include "common/game_files.h"
#include "writers/bytes.h"
#include "fixtures/drs_checks.h"
#include "fixtures/files.h"
#include "writers/game_folder.h"
#include "writers/slp.h"
#include "writers/wine_prefix_writer.h"
#include "package/package.h"
#include "platform/file_system.h"
#include "platform/host_path.h"
#include "platform/registry.h"
#include "platform/scoped_env.h"
#include "platform/text_codec.h"
#include "platform/wine_registry.h"

namespace tarnwick::fixtures {
namespace {

const std::string kDataPath = std::string(kGameFolderPath) + "data\\";

// Points the program at one prefix only: WINEPREFIX, and a HOME without ~/.wine or Steam.
class PrefixEnvironment {
 public:
  PrefixEnvironment(const std::string& prefix, const std::string& home)
      : prefix_("WINEPREFIX", prefix), home_("HOME", home) {}
  ~PrefixEnvironment() { SetWinePrefix(""); }

 private:
  testing::ScopedEnv prefix_;
  testing::ScopedEnv home_;
};

// The program names the keys "SOFTWARE\..." as the game's installer did; Wine spells them
// "Software\...".
std::string ReadGamePath(std::string_view key) {
  return ReadRegString(RegRoot::kLocalMachine, "SOFTWARE" + std::string(key.substr(8)),
                       "Game Path");
}

TEST(SandboxTest, TheProgramFindsTheGameAndAllItsFilesThroughTheRegistry) {
  for (const bool cc : {true, false}) {
    SCOPED_TRACE(cc ? "with Clone Campaigns" : "without");
    TempDir dir;
    MakeFolders(dir / "home");
    ASSERT_FALSE(WriteSandbox(dir / "prefix", {cc}));
    PrefixEnvironment environment(dir / "prefix", dir / "home");

    EXPECT_EQ(ReadGamePath(kCcKey), cc ? kGameFolderPath : "");
    EXPECT_EQ(ReadGamePath(kBaseKey), kGameFolderPath);
    EXPECT_TRUE(PathListed(kGameFolderPath));
    const GameFiles files = MakeGameFiles(kGameFolderPath, kDataPath);
    for (int i = 0; i < kGameFileCount; ++i) {
      if (!IsGameFileIndex(i)) continue;
      const bool expected = cc || i < kCcOffset;
      EXPECT_EQ(PathListed(files[static_cast<size_t>(i)]), expected)
          << files[static_cast<size_t>(i)];
    }
  }
}

TEST(SandboxTest, RegistryOptionsReadBackAsWritten) {
  TempDir dir;
  MakeFolders(dir / "home");
  PrefixEnvironment environment(dir / "prefix", dir / "home");
  const std::string long_path = "C:\\" + std::string(1020, 'x');  // 1023 characters: fits
  struct Case {
    WinePrefixOptions options;
    std::string cc;
    std::string base;
  };
  std::vector<Case> cases(5);
  cases[0].options.cc_game_path = "C:\\Games\\SWGB";  // no trailing backslash, taken as it is
  cases[0].cc = "C:\\Games\\SWGB";
  cases[1].options.base_game_path = "D:\\Spiele\\Sterne \"Krieg\"\\";
  cases[1].options.wow6432_node = false;
  cases[1].options.win64 = false;
  cases[1].base = "D:\\Spiele\\Sterne \"Krieg\"\\";
  cases[2].options.cc_game_path = "C:\\%ProgramFiles%\\Jeux\\\xc3\xa9t\xc3\xa9 \xe2\x82\xac\\";
  cases[2].options.expand_string = true;
  cases[2].cc = Utf8ToCp1252(*cases[2].options.cc_game_path);
  cases[3].options.cc_game_path = long_path;
  cases[3].options.base_game_path = long_path + "y";  // 1024 characters do not fit
  cases[3].cc = long_path;
  // cases[4]: neither key.
  for (const Case& test : cases) {
    SCOPED_TRACE(BuildSystemReg(test.options).substr(0, 400));
    ASSERT_FALSE(WriteWinePrefix(dir / "prefix", test.options));
    EXPECT_EQ(ReadGamePath(kCcKey), test.cc);
    EXPECT_EQ(ReadGamePath(kBaseKey), test.base);
  }
}

TEST(SandboxTest, WineEscapesAsWineDoes) {
  // Key names escape brackets, values quotes; both escape the backslash.
  EXPECT_EQ(WineEscape("Key [br] \"q\"", "[]"), "Key \\[br\\] \"q\"");
  EXPECT_EQ(WineEscape("a\\\"b", "\""), "a\\\\\\\"b");
  // UTF-16 units in hex, zero-padded only before a hex digit; surrogate pairs unit by unit.
  EXPECT_EQ(WineEscape("=\xc3\xa9 \xe2\x82\xac\xf0\x9f\x98\x80", "\""),
            "=\\xe9 \\x20ac\\xd83d\\xde00");
  EXPECT_EQ(WineEscape("\u00e9b", "\""), "\\x00e9b");
  // Control characters: C escapes where they exist, else octal, padded before an octal digit.
  EXPECT_EQ(WineEscape("\t\r\n\x1b\001x\0017", "\""), "\\t\\r\\n\\e\\1x\\0017");
  // The program's reader of Wine's files gets the text back.
  WinePrefixOptions options;
  options.cc_game_path = "C:\\\xc3\xa9\t\"\\";
  const std::string text = BuildSystemReg(options);
  const auto registry = WineRegistry::Parse(text);
  ASSERT_TRUE(registry);
  const WineRegValue* value =
      registry->Find("Software\\Wow6432Node" + std::string(kCcKey).substr(8), "Game Path");
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(AnsiRegString(*value), "C:\\\xe9\t\"\\");
}

TEST(SandboxTest, SampleModsReadAndFitTheDemoGame) {
  TempDir dir;
  for (const SampleMod& mod : SampleMods()) {
    SCOPED_TRACE(mod.file_name);
    WriteAll(dir / mod.file_name, BuildMpi(mod.package));
    PackageHeader header;
    ASSERT_EQ(ReadPackage(dir / mod.file_name, header),
              mod.valid ? PackageRead::kValid : PackageRead::kInvalid);
    if (!mod.valid) continue;
    EXPECT_EQ(header.title, mod.package.title);
    EXPECT_NE(header.readme.find("\r\n"), header.readme.rfind("\r\n"));
    for (const ResourceEntry& row : header.resources) {
      const int archive = row.targetCode + (mod.needs_clone_campaigns ? kCcOffset : 0);
      if (row.typeCode <= 3) {
        // The id the mod replaces is in the archive it goes to.
        bool found = false;
        for (const DrsEntryView& entry : ParseDrsEntries(GameFileBytes(archive)))
          found = found || entry.id == row.resourceId;
        EXPECT_TRUE(found) << row.resourceId;
      } else if (row.typeCode == 6) {
        // Every icon sprite it selects has the frame it replaces, and the payload's frame
        // decodes once put in a sprite.
        const std::string payload =
            ReadAll(dir / mod.file_name)
                .substr(static_cast<size_t>(row.dataOffset), static_cast<size_t>(row.dataLength));
        const int32_t mask = I32At(payload, 0);
        for (const bool cc : {false, true}) {
          const std::string interfac = GameFileBytes(kInterfacDrs + (cc ? kCcOffset : 0));
          for (const int32_t id : IconSpriteIds(cc, mask >> 8)) {
            std::string why;
            EXPECT_TRUE(DecodeSlpFrame(ResourceData(interfac, id), row.resourceId, &why)) << why;
          }
        }
      }
    }
  }
}

TEST(SandboxTest, WritesOnlyIntoAnEmptyFolderOrAPreviousSandbox) {
  TempDir dir;
  WriteAll(dir / "notes.txt", "mine");
  EXPECT_EQ(WriteSandbox(dir.path(), {}), std::errc::directory_not_empty);
  EXPECT_EQ(ReadAll(dir / "notes.txt"), "mine");
  EXPECT_FALSE(Exists(dir / "system.reg"));

  const std::string prefix = dir / "prefix";
  ASSERT_FALSE(WriteSandbox(prefix, {true}));
  const std::string data = prefix +
                           "/drive_c/Program Files/LucasArts/Star Wars Galactic "
                           "Battlegrounds/Data/";
  WriteAll(data + "mods.log", "left from a try");
  ASSERT_FALSE(WriteSandbox(prefix, {false}));
  EXPECT_FALSE(Exists(data + "mods.log"));
  EXPECT_FALSE(Exists(data + "graphics_x1.drs"));
  EXPECT_EQ(ReadAll(data + "graphics.drs"), GameFileBytes(kGraphicsDrs));
}

}  // namespace
}  // namespace tarnwick::fixtures

#endif
