#include "platform/wine_prefixes.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include "common/game_files.h"
#include "fixtures/files.h"
#include "package/package.h"
#include "platform/file_system.h"
#include "platform/host_path.h"
#include "platform/registry.h"
#include "writers/game_folder.h"
#include "writers/sandbox.h"
#include "writers/wine_prefix_writer.h"

namespace tarnwick {
namespace {

using fixtures::MakeFolders;
using fixtures::WriteAll;

// The game folder of the only install found, or "" when none or several are.
std::string GamePath() {
  const std::vector<GameInstall> installs = FindGameInstalls();
  return installs.size() == 1 ? installs[0].game_path : std::string();
}

std::vector<std::string> Folders(const std::vector<PrefixCandidate>& candidates) {
  std::vector<std::string> folders;
  for (const PrefixCandidate& candidate : candidates) folders.push_back(candidate.folder);
  return folders;
}

// A machine with only what each test builds: a fresh HOME and no WINEPREFIX.
class WinePrefixesTest : public ::testing::Test {
 protected:
  WinePrefixesTest() {
    ::setenv("HOME", home_.c_str(), 1);
    ::unsetenv("WINEPREFIX");
  }
  ~WinePrefixesTest() override { SetWinePrefix(""); }
  static std::string Proton(const std::string& lib) {
    return lib + "/steamapps/compatdata/356500/pfx";
  }
  // A prefix whose registry has the game's key in the 32-bit view and, if given, the plain one.
  static void MakePrefix(const std::string& at, std::optional<std::string> wow,
                         std::optional<std::string> plain = std::nullopt) {
    fixtures::WinePrefixOptions keys[2];
    keys[0].cc_game_path = wow;
    keys[1].cc_game_path = plain;
    keys[1].wow6432_node = false;
    ASSERT_FALSE(fixtures::WriteWinePrefix(at, keys[0]));
    const std::string more = fixtures::BuildSystemReg(keys[1]);
    WriteAll(at + "/system.reg", fixtures::BuildSystemReg(keys[0]) + more.substr(more.find("\n[")));
  }

  fixtures::TempDir dir_;
  const std::string home_ = dir_ / "home";
  const std::string steam_ = home_ + "/.local/share/Steam";
};

TEST_F(WinePrefixesTest, PrefixesAreAskedInOrderAndWinePrefixAlone) {
  const std::string explicit_prefix = dir_ / "explicit", library = dir_ / "games \"x\"";
  MakePrefix(explicit_prefix, "C:\\A\\", "C:\\Plain\\");
  MakePrefix(home_ + "/.wine", "C:\\B\\");
  MakePrefix(Proton(steam_), "C:\\C\\");
  MakePrefix(Proton(library), "C:\\D\\");
  MakePrefix(home_ + "/Games/swgb", "C:\\E\\");
  MakePrefix(home_ + "/.local/share/bottles/bottles/b", "C:\\F\\");
  // Today's form with "path" keys and the older one of numbered values, in one file.
  WriteAll(steam_ + "/steamapps/libraryfolders.vdf",
           "\"libraryfolders\" { \"TimeNextStatsReport\" \"1\" \"0\" { \"path\" \"" + steam_ +
               "\" \"apps\" { \"356500\" \"1\" } } \"1\" \"" + dir_.path() +
               "/games \\\"x\\\"/\" }");
  // The usual link of ~/.steam/steam to the real root must not count twice.
  MakeFolders(home_ + "/.steam");
  ASSERT_EQ(::symlink(steam_.c_str(), (home_ + "/.steam/steam").c_str()), 0);

  ::setenv("WINEPREFIX", (explicit_prefix + "/").c_str(), 1);
  EXPECT_EQ(Folders(WinePrefixCandidates()), std::vector<std::string>{explicit_prefix});
  // The 32-bit view first, then the plain key, of the prefix the paths map through.
  SetWinePrefix(explicit_prefix);
  const auto read = [] { return ReadRegString(RegRoot::kLocalMachine, kCcRegKey, kGamePathValue); };
  EXPECT_EQ(read(), "C:\\A\\");
  MakePrefix(explicit_prefix, std::nullopt, "C:\\Plain\\");
  EXPECT_EQ(read(), "C:\\Plain\\");
  MakePrefix(explicit_prefix, std::nullopt);
  EXPECT_EQ(read(), "");

  ::unsetenv("WINEPREFIX");
  EXPECT_EQ(
      Folders(WinePrefixCandidates()),
      (std::vector<std::string>{home_ + "/.wine", Proton(home_ + "/.steam/steam"), Proton(library),
                                home_ + "/Games/swgb", home_ + "/.local/share/bottles/bottles/b"}));
  // A Proton prefix counts only with its registry.
  ASSERT_EQ(::rename((home_ + "/.wine").c_str(), (home_ + "/old-wine").c_str()), 0);
  ASSERT_EQ(::unlink((Proton(steam_) + "/system.reg").c_str()), 0);
  EXPECT_EQ(WinePrefixCandidates().front().folder, Proton(library));
}

TEST(ParseLutrisPrefixes, TakesTheIndentedPrefixesOnly) {
  EXPECT_EQ(ParseLutrisPrefixes("game:\n  exe: a.exe\n  prefix: '~/Games/x y'\nprefix: /top\n"
                                "system:\n    prefix: \"/deep\"\n  prefix:\n"),
            (std::vector<std::string>{"~/Games/x y", "/deep"}));
}

TEST_F(WinePrefixesTest, SteamGameStandsInForTheRegistry) {
  const std::string game = steam_ + "/steamapps/common/SWGB Saga/game";
  MakeFolders(game);
  WriteAll(game + "/Battlegrounds.exe", "x");
  WriteAll(steam_ + "/steamapps/appmanifest_356500.acf",
           "\"AppState\" { \"appid\" \"356500\" \"installdir\" \"swgb saga\" }");

  // A Proton prefix's drives map the path, even though its registry lacks the game's keys.
  MakePrefix(Proton(steam_), std::nullopt);
  ASSERT_EQ(::symlink((steam_ + "/steamapps").c_str(), (Proton(steam_) + "/dosdevices/s:").c_str()),
            0);
  EXPECT_EQ(GamePath(), "S:\\common\\SWGB Saga\\game\\");
  EXPECT_EQ(FindGameInstalls().at(0).prefix, Proton(steam_));
  EXPECT_EQ(WinePrefix(), "");

  // Only a plain folder name at the manifest's top level counts.
  for (const char* manifest : {"{ \"UserConfig\" { \"installdir\" \"swgb saga\" } }",
                               "{ \"installdir\" \"../common/SWGB Saga\" }"}) {
    WriteAll(steam_ + "/steamapps/appmanifest_356500.acf", std::string("\"AppState\" ") + manifest);
    EXPECT_EQ(GamePath(), "") << manifest;
  }
}

// The demo prefix of the writers, read back through the program's own readers.
TEST_F(WinePrefixesTest, TheDemoPrefixHoldsTheGameItsFilesAndEverySampleMod) {
  ASSERT_FALSE(fixtures::WriteSandbox(dir_ / "demo", {}));
  ::setenv("WINEPREFIX", (dir_ / "demo").c_str(), 1);
  const std::string game = fixtures::kGameFolderPath;
  EXPECT_EQ(GamePath(), game);
  SetWinePrefix(dir_ / "demo");
  EXPECT_EQ(ReadRegString(RegRoot::kLocalMachine, kBaseRegKey, kGamePathValue), game);
  const GameFiles files = MakeGameFiles(game, game + "data\\");
  for (int i = 0; i < kGameFileCount; ++i)
    EXPECT_EQ(PathListed(files[size_t(i)]), IsGameFileIndex(i)) << i;
  PackageHeader header;
  for (const fixtures::SampleMod& mod : fixtures::SampleMods())
    EXPECT_EQ(ReadPackage(HostPath("C:\\Mods\\" + mod.file_name), header),
              mod.valid ? PackageRead::kValid : PackageRead::kInvalid)
        << mod.file_name;
}

}  // namespace
}  // namespace tarnwick
