#include "platform/wine_prefixes.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include "app/reg_keys.h"
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

std::string GamePath(const char* key = kCcRegKey) {
  return ReadRegString(RegRoot::kLocalMachine, key, kGamePathValue);
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

TEST_F(WinePrefixesTest, PrefixesAreAskedInOrderAndTheOneThatAnswersIsKept) {
  const std::string explicit_prefix = dir_ / "explicit", library = dir_ / "games \"x\"";
  MakePrefix(explicit_prefix, "C:\\A\\", "C:\\Plain\\");
  MakePrefix(home_ + "/.wine", "C:\\B\\");
  MakePrefix(Proton(steam_), "C:\\C\\");
  MakePrefix(Proton(library), "C:\\D\\");
  // Today's form with "path" keys and the older one of numbered values, in one file.
  WriteAll(steam_ + "/steamapps/libraryfolders.vdf",
           "\"libraryfolders\" { \"TimeNextStatsReport\" \"1\" \"0\" { \"path\" \"" + steam_ +
               "\" \"apps\" { \"356500\" \"1\" } } \"1\" \"" + dir_.path() +
               "/games \\\"x\\\"/\" }");
  // The usual link of ~/.steam/steam to the real root must not count twice.
  MakeFolders(home_ + "/.steam");
  ASSERT_EQ(::symlink(steam_.c_str(), (home_ + "/.steam/steam").c_str()), 0);

  ::setenv("WINEPREFIX", (explicit_prefix + "/").c_str(), 1);
  EXPECT_EQ(WinePrefixCandidates(),
            (std::vector<std::string>{explicit_prefix, home_ + "/.wine",
                                      Proton(home_ + "/.steam/steam"), Proton(library)}));
  // The 32-bit view first, then the plain key; a prefix with neither passes the question on.
  EXPECT_EQ(GamePath(), "C:\\A\\");
  EXPECT_EQ(WinePrefix(), explicit_prefix);
  MakePrefix(explicit_prefix, std::nullopt, "C:\\Plain\\");
  EXPECT_EQ(GamePath(), "C:\\Plain\\");
  MakePrefix(explicit_prefix, std::nullopt);
  EXPECT_EQ(GamePath(), "C:\\B\\");
  EXPECT_EQ(WinePrefix(), home_ + "/.wine");

  // Without them, a Proton prefix counts only with its registry.
  ::unsetenv("WINEPREFIX");
  ASSERT_EQ(::rename((home_ + "/.wine").c_str(), (home_ + "/old-wine").c_str()), 0);
  ASSERT_EQ(::unlink((Proton(steam_) + "/system.reg").c_str()), 0);
  EXPECT_EQ(WinePrefixCandidates(), std::vector<std::string>{Proton(library)});
  EXPECT_EQ(GamePath(), "C:\\D\\");
}

TEST_F(WinePrefixesTest, SteamGameStandsInForTheRegistry) {
  const std::string game = steam_ + "/steamapps/common/SWGB Saga/game";
  MakeFolders(game);
  WriteAll(steam_ + "/steamapps/appmanifest_356500.acf",
           "\"AppState\" { \"appid\" \"356500\" \"installdir\" \"swgb saga\" }");

  // Without a Proton prefix the host's root drive holds it.
  std::string expected = "Z:" + game + "/";
  for (char& c : expected) c = c == '/' ? '\\' : c;
  EXPECT_EQ(GamePath(), expected);
  EXPECT_EQ(WinePrefix(), "");

  // With one, its drives map the path, even though its registry lacks the game's keys.
  MakePrefix(Proton(steam_), std::nullopt);
  ASSERT_EQ(::symlink((steam_ + "/steamapps").c_str(), (Proton(steam_) + "/dosdevices/s:").c_str()),
            0);
  EXPECT_EQ(GamePath(kBaseRegKey), "S:\\common\\SWGB Saga\\game\\");
  EXPECT_EQ(WinePrefix(), Proton(steam_));
  EXPECT_EQ(ReadRegString(RegRoot::kLocalMachine, kCcRegKey, "Language"), "");

  // Only a plain folder name at the manifest's top level counts.
  for (const char* manifest : {"{ \"UserConfig\" { \"installdir\" \"swgb saga\" } }",
                               "{ \"installdir\" \"../common/SWGB Saga\" }"}) {
    WriteAll(steam_ + "/steamapps/appmanifest_356500.acf", std::string("\"AppState\" ") + manifest);
    EXPECT_EQ(GamePath(kBaseRegKey), "") << manifest;
  }
}

// The demo prefix of the writers, read back through the program's own readers.
TEST_F(WinePrefixesTest, TheDemoPrefixHoldsTheGameItsFilesAndEverySampleMod) {
  ASSERT_FALSE(fixtures::WriteSandbox(dir_ / "demo", {}));
  ::setenv("WINEPREFIX", (dir_ / "demo").c_str(), 1);
  const std::string game = fixtures::kGameFolderPath;
  EXPECT_EQ(GamePath(), game);
  EXPECT_EQ(GamePath(kBaseRegKey), game);
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
