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
using testing::ScopedEnv;

constexpr char kCcKey[] =
    "SOFTWARE\\LucasArts Entertainment Company LLC\\Star Wars Galactic Battlegrounds: Clone "
    "Campaigns\\1.0";
constexpr char kBaseKey[] =
    "SOFTWARE\\LucasArts Entertainment Company LLC\\Star Wars Galactic Battlegrounds\\1.0";

// system.reg as a 64-bit prefix holds a 32-bit installer's keys; `game_path` is written as is.
std::string SystemReg(const std::string& wow_game_path, const std::string& plain_game_path = "") {
  std::string text =
      "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n\n";
  if (!plain_game_path.empty()) {
    text +=
        "[Software\\\\LucasArts Entertainment Company LLC\\\\Star Wars Galactic Battlegrounds: "
        "Clone Campaigns\\\\1.0] 1700000000\n#time=1da0b1e2f3a4b5c\n\"Game Path\"=\"" +
        plain_game_path + "\"\n\n";
  }
  if (!wow_game_path.empty()) {
    text +=
        "[Software\\\\Wow6432Node\\\\LucasArts Entertainment Company LLC\\\\Star Wars Galactic "
        "Battlegrounds: Clone Campaigns\\\\1.0] 1700000000\n#time=1da0b1e2f3a4b5c\n\"Game "
        "Path\"=\"" +
        wow_game_path + "\"\n";
  }
  return text;
}

void MakePrefix(const std::string& prefix, const std::string& system_reg) {
  MakeFolders(prefix + "/dosdevices");
  MakeFolders(prefix + "/drive_c");
  ASSERT_EQ(::symlink("../drive_c", (prefix + "/dosdevices/c:").c_str()), 0);
  ASSERT_EQ(::symlink("/", (prefix + "/dosdevices/z:").c_str()), 0);
  WriteAll(prefix + "/system.reg", system_reg);
}

// A machine with nothing on it but what each test builds: HOME in a fresh folder, no
// WINEPREFIX, and the program's prefix reset afterwards.
class WinePrefixesTest : public ::testing::Test {
 protected:
  ~WinePrefixesTest() override { SetWinePrefix(""); }

  std::string Proton(const std::string& library) {
    return library + "/steamapps/compatdata/356500/pfx";
  }

  TempDir dir_;
  const std::string home_ = dir_ / "home";
  ScopedEnv home_env_{"HOME", home_};
  ScopedEnv prefix_env_{"WINEPREFIX", std::nullopt};
  const std::string steam_ = home_ + "/.local/share/Steam";
};

TEST_F(WinePrefixesTest, PrefixesAreAskedInOrderAndTheOneThatAnswersIsKept) {
  const std::string explicit_prefix = dir_ / "explicit";
  const std::string other_library = dir_ / "games";
  MakePrefix(explicit_prefix, SystemReg("C:\\\\A\\\\"));
  MakePrefix(home_ + "/.wine", SystemReg("C:\\\\B\\\\"));
  MakePrefix(Proton(steam_), SystemReg("C:\\\\C\\\\"));
  MakePrefix(Proton(other_library), SystemReg("C:\\\\D\\\\"));
  WriteAll(steam_ + "/steamapps/libraryfolders.vdf",
           "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"" + steam_ +
               "\"\n\t}\n\t\"1\"\n\t{\n\t\t\"path\"\t\t\"" + other_library +
               "/\"\n\t\t\"apps\"\n\t\t{\n\t\t\t\"356500\"\t\t\"1\"\n\t\t}\n\t}\n}\n");
  // The usual link of ~/.steam/steam to the real root must not count twice.
  MakeFolders(home_ + "/.steam");
  ASSERT_EQ(::symlink(steam_.c_str(), (home_ + "/.steam/steam").c_str()), 0);

  prefix_env_.Set(explicit_prefix + "/");
  EXPECT_EQ(WinePrefixCandidates(),
            (std::vector<std::string>{explicit_prefix, home_ + "/.wine",
                                      Proton(home_ + "/.steam/steam"), Proton(other_library)}));

  EXPECT_EQ(ReadRegString(RegRoot::kLocalMachine, kCcKey, "Game Path"), "C:\\A\\");
  EXPECT_EQ(WinePrefix(), explicit_prefix);

  // A prefix without the value passes the question on, even when it has the key's sibling.
  WriteAll(explicit_prefix + "/system.reg", SystemReg(""));
  EXPECT_EQ(ReadRegString(RegRoot::kLocalMachine, kCcKey, "Game Path"), "C:\\B\\");
  EXPECT_EQ(WinePrefix(), home_ + "/.wine");

  prefix_env_.Set(std::nullopt);
  ASSERT_EQ(::rename((home_ + "/.wine").c_str(), (home_ + "/old-wine").c_str()), 0);
  EXPECT_EQ(ReadRegString(RegRoot::kLocalMachine, kCcKey, "Game Path"), "C:\\C\\");
  EXPECT_EQ(WinePrefix(), Proton(home_ + "/.steam/steam"));

  ASSERT_EQ(::unlink((Proton(steam_) + "/system.reg").c_str()), 0);
  EXPECT_EQ(ReadRegString(RegRoot::kLocalMachine, kCcKey, "Game Path"), "C:\\D\\");
  EXPECT_EQ(WinePrefix(), Proton(other_library));
  EXPECT_EQ(ReadRegString(RegRoot::kLocalMachine, kCcKey, "Other"), "");
}

TEST_F(WinePrefixesTest, TheThirtyTwoBitViewComesFirstThenThePlainKey) {
  MakePrefix(home_ + "/.wine", SystemReg("C:\\\\Wow\\\\", "C:\\\\Plain\\\\"));
  EXPECT_EQ(ReadRegString(RegRoot::kLocalMachine, kCcKey, "Game Path"), "C:\\Wow\\");
  WriteAll(home_ + "/.wine/system.reg", SystemReg("", "C:\\\\Plain\\\\"));
  EXPECT_EQ(ReadRegString(RegRoot::kLocalMachine, kCcKey, "Game Path"), "C:\\Plain\\");
  EXPECT_EQ(ReadRegString(RegRoot::kLocalMachine, kBaseKey, "Game Path"), "");
}

TEST_F(WinePrefixesTest, SteamGameStandsInForTheRegistry) {
  const std::string game = steam_ + "/steamapps/common/SWGB Saga/game";
  MakeFolders(game + "/data");
  WriteAll(game + "/Battlegrounds.exe", "MZ");
  WriteAll(steam_ + "/steamapps/appmanifest_356500.acf",
           "\"AppState\"\n{\n\t\"appid\"\t\t\"356500\"\n\t\"name\"\t\t\"x\"\n\t\"installdir\"\t\t"
           "\"swgb saga\"\n}\n");

  // Without a Proton prefix the host's root drive holds it.
  std::string expected = "Z:" + game + "/";
  for (char& c : expected) c = c == '/' ? '\\' : c;
  const std::string without_prefix = ReadRegString(RegRoot::kLocalMachine, kCcKey, "Game Path");
  EXPECT_EQ(without_prefix, expected);
  EXPECT_EQ(WinePrefix(), "");
  EXPECT_EQ(HostPath(without_prefix + "BATTLEGROUNDS.EXE"), game + "/Battlegrounds.exe");

  // With one, its drives map the path; its registry (without the game's keys) gives no value.
  MakePrefix(Proton(steam_), SystemReg(""));
  ASSERT_EQ(::symlink((steam_ + "/steamapps").c_str(), (Proton(steam_) + "/dosdevices/s:").c_str()),
            0);
  EXPECT_EQ(ReadRegString(RegRoot::kLocalMachine, kBaseKey, "Game Path"),
            "S:\\common\\SWGB Saga\\game\\");
  EXPECT_EQ(WinePrefix(), Proton(steam_));
  EXPECT_EQ(ReadRegString(RegRoot::kLocalMachine, kCcKey, "Language"), "");

  // A manifest that points out of the library finds nothing.
  WriteAll(steam_ + "/steamapps/appmanifest_356500.acf", "\"AppState\" { \"installdir\" \"..\" }");
  EXPECT_EQ(ReadRegString(RegRoot::kLocalMachine, kCcKey, "Game Path"), "");
}

TEST(SteamFilesTest, LibraryFoldersInBothFormsAndInstallDir) {
  EXPECT_EQ(ParseLibraryFolders("\"LibraryFolders\"\n{\n\t\"TimeNextStatsReport\"\t\"1\"\n"
                                "\t\"1\"\t\t\"/mnt/games\"\n\t\"2\"\t\"/media/x \\\"y\\\"\"\n}\n"),
            (std::vector<std::string>{"/mnt/games", "/media/x \"y\""}));
  EXPECT_EQ(ParseLibraryFolders("\"libraryfolders\" { \"0\" { \"PATH\" \"/a\" // note\n"
                                "\"apps\" { \"1\" \"2\" } } \"1\" { \"path\" \"/b\" } }"),
            (std::vector<std::string>{"/a", "/b"}));
  EXPECT_TRUE(ParseLibraryFolders("\"libraryfolders\" { \"0\" { \"path\"").empty());
  EXPECT_TRUE(ParseLibraryFolders("}}}}{{\"").empty());

  EXPECT_EQ(ParseInstallDir("\"AppState\" { \"appid\" \"356500\" \"InstallDir\" \"SWGB\" }"),
            "SWGB");
  EXPECT_EQ(ParseInstallDir("\"AppState\" { \"UserConfig\" { \"installdir\" \"x\" } }"), "");
  EXPECT_EQ(ParseInstallDir("\"AppState\" { \"installdir\" \"a/b\" }"), "");
  EXPECT_EQ(ParseInstallDir("\"AppState\" { \"installdir\" \"a\\\\b\" }"), "");
  EXPECT_EQ(ParseInstallDir("\"AppState\" { \"installdir\" \""), "");
}

}  // namespace
}  // namespace tarnwick
