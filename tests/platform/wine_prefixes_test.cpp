#include "platform/wine_prefixes.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fixtures/files.h"
#include "platform/host_path.h"
#include "platform/registry.h"
#include "scoped_env.h"

namespace tarnwick {
namespace {

using fixtures::MakeFolders;
using fixtures::TempDir;
using fixtures::WriteAll;

constexpr char kCcKey[] =
    "SOFTWARE\\LucasArts Entertainment Company LLC\\Star Wars Galactic Battlegrounds: Clone "
    "Campaigns\\1.0";
constexpr char kBaseKey[] =
    "SOFTWARE\\LucasArts Entertainment Company LLC\\Star Wars Galactic Battlegrounds\\1.0";

// system.reg of a 64-bit prefix with a 32-bit installer's keys; the paths are written as they are.
std::string SystemReg(const std::string& wow_game_path, const std::string& plain_game_path = "") {
  const auto key = [](const char* view, const std::string& path) {
    return path.empty()
               ? std::string()
               : "[Software\\\\" + std::string(view) +
                     "LucasArts Entertainment Company LLC\\\\Star Wars Galactic "
                     "Battlegrounds: Clone Campaigns\\\\1.0] 1700000000\n\"Game Path\"=\"" +
                     path + "\"\n";
  };
  return "WINE REGISTRY Version 2\n\n#arch=win64\n" + key("", plain_game_path) +
         key("Wow6432Node\\\\", wow_game_path);
}

void MakePrefix(const std::string& prefix, const std::string& system_reg) {
  MakeFolders(prefix + "/dosdevices");
  MakeFolders(prefix + "/drive_c");
  ASSERT_EQ(::symlink("../drive_c", (prefix + "/dosdevices/c:").c_str()), 0);
  WriteAll(prefix + "/system.reg", system_reg);
}

std::string GamePath(const char* key = kCcKey) {
  return ReadRegString(RegRoot::kLocalMachine, key, "Game Path");
}

// A machine with only what each test builds: a fresh HOME and no WINEPREFIX.
class WinePrefixesTest : public ::testing::Test {
 protected:
  ~WinePrefixesTest() override { SetWinePrefix(""); }
  static std::string Proton(const std::string& library) {
    return library + "/steamapps/compatdata/356500/pfx";
  }

  TempDir dir_;
  const std::string home_ = dir_ / "home";
  testing::ScopedEnv home_env_{"HOME", home_};
  testing::ScopedEnv prefix_env_{"WINEPREFIX", std::nullopt};
  const std::string steam_ = home_ + "/.local/share/Steam";
};

TEST_F(WinePrefixesTest, PrefixesAreAskedInOrderAndTheOneThatAnswersIsKept) {
  const std::string explicit_prefix = dir_ / "explicit";
  const std::string library = dir_ / "games";
  MakePrefix(explicit_prefix, SystemReg("C:\\\\A\\\\"));
  MakePrefix(home_ + "/.wine", SystemReg("C:\\\\B\\\\"));
  MakePrefix(Proton(steam_), SystemReg("C:\\\\C\\\\"));
  MakePrefix(Proton(library), SystemReg("C:\\\\D\\\\"));
  WriteAll(steam_ + "/steamapps/libraryfolders.vdf",
           "\"libraryfolders\" { \"0\" { \"path\" \"" + steam_ + "\" } \"1\" { \"path\" \"" +
               library + "/\" \"apps\" { \"356500\" \"1\" } } }");
  // The usual link of ~/.steam/steam to the real root must not count twice.
  MakeFolders(home_ + "/.steam");
  ASSERT_EQ(::symlink(steam_.c_str(), (home_ + "/.steam/steam").c_str()), 0);

  prefix_env_.Set(explicit_prefix + "/");
  EXPECT_EQ(WinePrefixCandidates(),
            (std::vector<std::string>{explicit_prefix, home_ + "/.wine",
                                      Proton(home_ + "/.steam/steam"), Proton(library)}));
  EXPECT_EQ(GamePath(), "C:\\A\\");
  EXPECT_EQ(WinePrefix(), explicit_prefix);

  // A prefix without the value passes the question on.
  WriteAll(explicit_prefix + "/system.reg", SystemReg(""));
  EXPECT_EQ(GamePath(), "C:\\B\\");
  EXPECT_EQ(WinePrefix(), home_ + "/.wine");

  prefix_env_.Set(std::nullopt);
  ASSERT_EQ(::rename((home_ + "/.wine").c_str(), (home_ + "/old-wine").c_str()), 0);
  EXPECT_EQ(GamePath(), "C:\\C\\");
  EXPECT_EQ(WinePrefix(), Proton(home_ + "/.steam/steam"));
  ASSERT_EQ(::unlink((Proton(steam_) + "/system.reg").c_str()), 0);
  EXPECT_EQ(GamePath(), "C:\\D\\");
  EXPECT_EQ(WinePrefix(), Proton(library));
}

TEST_F(WinePrefixesTest, TheThirtyTwoBitViewComesFirstThenThePlainKey) {
  MakePrefix(home_ + "/.wine", SystemReg("C:\\\\Wow\\\\", "C:\\\\Plain\\\\"));
  EXPECT_EQ(GamePath(), "C:\\Wow\\");
  WriteAll(home_ + "/.wine/system.reg", SystemReg("", "C:\\\\Plain\\\\"));
  EXPECT_EQ(GamePath(), "C:\\Plain\\");
  EXPECT_EQ(GamePath(kBaseKey), "");
}

TEST_F(WinePrefixesTest, SteamGameStandsInForTheRegistry) {
  const std::string game = steam_ + "/steamapps/common/SWGB Saga/game";
  MakeFolders(game + "/data");
  WriteAll(game + "/Battlegrounds.exe", "MZ");
  WriteAll(steam_ + "/steamapps/appmanifest_356500.acf",
           "\"AppState\" { \"appid\" \"356500\" \"installdir\" \"swgb saga\" }");

  // Without a Proton prefix the host's root drive holds it.
  std::string expected = "Z:" + game + "/";
  for (char& c : expected) c = c == '/' ? '\\' : c;
  EXPECT_EQ(GamePath(), expected);
  EXPECT_EQ(WinePrefix(), "");
  EXPECT_EQ(HostPath(expected + "BATTLEGROUNDS.EXE"), game + "/Battlegrounds.exe");

  // With one, its drives map the path, even though its registry lacks the game's keys.
  MakePrefix(Proton(steam_), SystemReg(""));
  ASSERT_EQ(::symlink((steam_ + "/steamapps").c_str(), (Proton(steam_) + "/dosdevices/s:").c_str()),
            0);
  EXPECT_EQ(GamePath(kBaseKey), "S:\\common\\SWGB Saga\\game\\");
  EXPECT_EQ(WinePrefix(), Proton(steam_));
  EXPECT_EQ(ReadRegString(RegRoot::kLocalMachine, kCcKey, "Language"), "");

  // A manifest that points out of the library finds nothing.
  WriteAll(steam_ + "/steamapps/appmanifest_356500.acf", "\"AppState\" { \"installdir\" \"..\" }");
  EXPECT_EQ(GamePath(), "");
}

TEST(SteamFilesTest, LibraryFoldersInBothFormsAndOnlyPlainInstallDirs) {
  EXPECT_EQ(ParseLibraryFolders("\"LibraryFolders\" { \"TimeNextStatsReport\" \"1\" \"1\" "
                                "\"/mnt/games\" \"2\" \"/media/x \\\"y\\\"\" }"),
            (std::vector<std::string>{"/mnt/games", "/media/x \"y\""}));
  EXPECT_TRUE(ParseLibraryFolders("\"libraryfolders\" { \"0\" { \"path\"").empty());
  EXPECT_EQ(ParseInstallDir("\"AppState\" { \"appid\" \"1\" \"InstallDir\" \"SWGB\" }"), "SWGB");
  for (const char* bad :
       {"{ \"UserConfig\" { \"installdir\" \"x\" } }", "{ \"installdir\" \"a/b\" }",
        "{ \"installdir\" \"a\\\\b\" }", "{ \"installdir\" \""}) {
    EXPECT_EQ(ParseInstallDir(std::string("\"AppState\" ") + bad), "") << bad;
  }
}

}  // namespace
}  // namespace tarnwick
