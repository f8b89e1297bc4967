// Which installs of the game a Linux machine offers, and which one start-up opens; and folders
// named in any script (the game, the package, HOME and the temporary folder) through an install of
// every sample mod and the removal of all of them.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "fixtures/files.h"
#include "fixtures/recording_messages.h"
#include "install/install.h"
#include "manage/open_game.h"
#include "modlog/removal.h"
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

// A machine with a fresh HOME and nothing else unless a row puts it there; TMPDIR is as it was
// once it is gone.
struct Machine {
  explicit Machine(const std::string& home_name = "home") : home(dir / home_name) {
    if (const char* tmp = ::getenv("TMPDIR")) old_tmp = tmp;
    ::setenv("HOME", home.c_str(), 1);
    ::unsetenv("WINEPREFIX");
    MakeFolders(home);
  }
  ~Machine() {
    SetWinePrefix("");
    old_tmp.empty() ? ::unsetenv("TMPDIR") : ::setenv("TMPDIR", old_tmp.c_str(), 1);
  }
  // A prefix with the game's keys; each game folder named by a key that `installed` lists is
  // written under drive_c.
  void Prefix(const std::string& at, std::optional<std::string> cc, std::optional<std::string> base,
              const std::vector<std::string>& installed) {
    ASSERT_FALSE(fixtures::WriteWinePrefix(at, {.cc_game_path = cc, .base_game_path = base}));
    for (const std::string& relative : installed)
      ASSERT_FALSE(fixtures::WriteGameFolder(at + "/drive_c/" + relative, {}));
  }
  std::string Steam() const { return home + "/.local/share/Steam"; }
  std::string Proton() const { return Steam() + "/steamapps/compatdata/356500/pfx"; }

  fixtures::TempDir dir;
  const std::string home;
  std::string old_tmp;
};

struct Expected {
  std::vector<std::string> installs = {};  // label|game path|cc or base|prefix
  std::string remembered = {};
  size_t pick = 0;
  bool ask = false;
  OpenGameResult opened = OpenGameResult::kOpened;
};

std::string Described(const GameInstall& install) {
  return install.label + "|" + install.game_path + "|" + (install.cc_present ? "cc" : "base") +
         "|" + install.prefix;
}

struct Layout {
  const char* name;
  std::function<Expected(Machine&)> build;
};

const Layout kLayouts[] = {
    {"the named prefix is the only one read",
     [](Machine& m) {
       const std::string named = m.dir / "named";
       m.Prefix(named, std::nullopt, "C:\\Base\\", {"Base"});
       // A full game elsewhere, and Steam's, are not asked once a prefix is named.
       m.Prefix(m.home + "/.wine", "C:\\Full\\", "C:\\Full\\", {"Full"});
       ::setenv("WINEPREFIX", (named + "/").c_str(), 1);
       return Expected{.installs = {"WINEPREFIX|C:\\Base\\|base|" + named}};
     }},
    {"keys to folders that are gone fall through to the next prefix",
     [](Machine& m) {
       m.Prefix(m.home + "/.wine", "C:\\Old CC\\", "C:\\Old\\", {});
       m.Prefix(m.Proton(), "C:\\Games\\SWGB\\", std::nullopt, {"Games/SWGB"});
       return Expected{.installs = {"Steam (Proton)|C:\\Games\\SWGB\\|cc|" + m.Proton()}};
     }},
    {"a stale expansion key leaves the base game of the same prefix",
     [](Machine& m) {
       m.Prefix(m.home + "/.wine", "C:\\Old CC\\", "C:\\Base\\", {"Base"});
       m.Prefix(m.Proton(), "C:\\Games\\SWGB\\", std::nullopt, {"Games/SWGB"});
       return Expected{.installs = {"Wine|C:\\Base\\|base|" + m.home + "/.wine",
                                    "Steam (Proton)|C:\\Games\\SWGB\\|cc|" + m.Proton()},
                       .ask = true};
     }},
    {"several installs and the remembered one",
     [](Machine& m) {
       const std::string bottle = m.home + "/.local/share/bottles/bottles/SWGB";
       m.Prefix(m.home + "/.wine", "C:\\Wine Game\\", std::nullopt, {"Wine Game"});
       m.Prefix(bottle, std::nullopt, "C:\\Bottled\\", {"Bottled"});
       return Expected{.installs = {"Wine|C:\\Wine Game\\|cc|" + m.home + "/.wine",
                                    "Bottles: SWGB|C:\\Bottled\\|base|" + bottle},
                       .remembered = bottle + "|C:\\Bottled\\",
                       .pick = 1};
     }},
    {"Steam's folder without any prefix",
     [](Machine& m) {
       const std::string game = m.Steam() + "/steamapps/common/SWGB Saga/Game";
       EXPECT_FALSE(fixtures::WriteGameFolder(game, {}));
       WriteAll(m.Steam() + "/steamapps/appmanifest_356500.acf",
                "\"AppState\" { \"installdir\" \"SWGB Saga\" }");
       std::string program = "Z:" + game + "/";
       for (char& c : program) c = c == '/' ? '\\' : c;
       return Expected{.installs = {"Steam|" + program + "|cc|"}};
     }},
    {"Lutris prefixes from its configuration and from ~/Games",
     [](Machine& m) {
       MakeFolders(m.home + "/.config/lutris/games");
       WriteAll(m.home + "/.config/lutris/games/star-wars-1.yml",
                "game:\n  exe: drive_c/x.exe\n  prefix: ~/Lutris/swgb\nprefix: /not/this\n");
       m.Prefix(m.home + "/Lutris/swgb", "C:\\SWGB\\", "C:\\SWGB\\", {"SWGB"});
       m.Prefix(m.home + "/Games/other", std::nullopt, "C:\\Other\\", {"Other"});
       m.Prefix(m.home + "/Games/empty", std::nullopt, std::nullopt, {});
       return Expected{.installs = {"Lutris: swgb|C:\\SWGB\\|cc|" + m.home + "/Lutris/swgb",
                                    "Lutris: other|C:\\Other\\|base|" + m.home + "/Games/other"},
                       .ask = true};
     }},
    {"a Bottles prefix of its Flatpak",
     [](Machine& m) {
       const std::string bottle =
           m.home + "/.var/app/com.usebottles.bottles/data/bottles/bottles/E";
       m.Prefix(bottle, "C:\\SWGB\\", std::nullopt, {"SWGB"});
       return Expected{.installs = {"Bottles: E|C:\\SWGB\\|cc|" + bottle}};
     }},
    {"nothing anywhere", [](Machine&) { return Expected{.opened = OpenGameResult::kNoGame}; }},
};

TEST(FindGameInstalls, EachPrefixIsJudgedWholeAndTheChoiceIsThePlayers) {
  for (const Layout& layout : kLayouts) {
    SCOPED_TRACE(layout.name);
    Machine machine;
    const Expected expected = layout.build(machine);
    const std::vector<GameInstall> installs = FindGameInstalls();
    std::vector<std::string> described;
    for (const GameInstall& install : installs) described.push_back(Described(install));
    EXPECT_EQ(described, expected.installs);
    EXPECT_EQ(WinePrefix(), "");

    const InstallPick pick = PickInstall(installs, expected.remembered);
    EXPECT_EQ(pick.ask, expected.ask);
    // One remembered that is no longer there counts as none remembered.
    if (expected.remembered.empty()) {
      const InstallPick gone = PickInstall(installs, machine.home + "/gone|C:\\Gone\\");
      EXPECT_EQ(gone.ask, pick.ask);
      EXPECT_EQ(gone.index, pick.index);
    }
    EXPECT_EQ(pick.index.has_value(), !installs.empty());
    OpenedGame game;
    const GameInstall* chosen = pick.index ? &installs[*pick.index] : nullptr;
    EXPECT_EQ(OpenGame(chosen, game), expected.opened);
    if (chosen == nullptr) continue;
    EXPECT_EQ(pick.index, expected.pick);
    // The chosen game's paths map through its own prefix.
    EXPECT_EQ(WinePrefix(), chosen->prefix);
    EXPECT_EQ(game.GamePath, chosen->game_path);
    EXPECT_EQ(game.CCPresent, chosen->cc_present);
    EXPECT_TRUE(PathListed(game.GameFiles[kGameExe]));
  }
}

struct Names {
  const char* row;
  std::string home;      // HOME below the test's folder
  std::string packages;  // the packages' folder in HOME
  std::string game;      // the game folder below C:\, as the registry names it
  std::string temp;      // TMPDIR below the test's folder
};

const Names kNames[] = {
    {"latin", "home", "Downloads", "Games\\SWGB", "tmp"},
    {"packages in ~/Загрузки", "home", "Загрузки", "Games\\SWGB", "tmp"},
    {"game in C:\\Игры\\SWGB", "home", "Downloads", "Игры\\SWGB", "tmp"},
    {"home with a name of its own", "Дом Ζήνων", "Downloads", "Games\\SWGB", "tmp"},
    {"temporary folder", "home", "Downloads", "Games\\SWGB", "Временные 文件 😀"},
    {"all at once", "家", "Загрузки", "Игры\\Ünïcødé ★\\SWGB", "Временные"},
};

std::string HostRelative(std::string windows) {
  for (char& c : windows) c = c == '\\' ? '/' : c;
  return windows;
}

TEST(UnicodePathsTest, EveryModInstallsAndComesOffWhateverTheFoldersAreCalled) {
  for (const Names& names : kNames) {
    SCOPED_TRACE(names.row);
    Machine machine(names.home);
    const std::string& home = machine.home;
    const std::string temp = machine.dir / names.temp;
    fixtures::MakeFolders(temp);
    ::setenv("TMPDIR", temp.c_str(), 1);
    const std::string prefix = home + "/.wine";
    const std::string game_path = "C:\\" + names.game + "\\";
    const fixtures::WinePrefixOptions keys{.cc_game_path = game_path, .base_game_path = game_path};
    // Wine writes non-ASCII text with \x escapes: no raw UTF-8 byte in the file.
    ASSERT_EQ(fixtures::BuildSystemReg(keys).find_first_of("\xD0\xE5\xE6"), std::string::npos);
    ASSERT_FALSE(fixtures::WriteWinePrefix(prefix, keys));
    ASSERT_FALSE(fixtures::WriteGameFolder(prefix + "/drive_c/" + HostRelative(names.game), {}));

    const std::vector<GameInstall> installs = FindGameInstalls();
    ASSERT_EQ(installs.size(), 1u);
    EXPECT_EQ(installs[0].game_path, game_path);
    OpenedGame game;
    ASSERT_EQ(OpenGame(&installs[0], game), OpenGameResult::kOpened);
    ASSERT_TRUE(game.CCPresent);
    std::map<int, std::string> before;
    for (int i = 0; i < kGameFileCount; ++i)
      if (IsGameFileIndex(i)) before[i] = fixtures::ReadAll(HostPath(game.GameFiles[size_t(i)]));

    fixtures::RecordingMessages messages;
    ModLog log{game.DataPath + "mods.log", {}, {}};
    ASSERT_FALSE(ReadModLog(log, game.GameFiles, messages));
    int installed = 0;
    for (const fixtures::SampleMod& mod : fixtures::SampleMods()) {
      if (!mod.valid) continue;
      const std::string host = home + "/" + names.packages + "/" + mod.file_name;
      ASSERT_FALSE(fixtures::WriteHostFile(host, fixtures::BuildMpi(mod.package)));
      // As the file dialog hands it over.
      const std::string chosen = ProgramPathFromHost(host);
      ASSERT_TRUE(PathListed(chosen)) << chosen;
      PackageHeader header;
      ASSERT_EQ(ReadPackage(chosen, header), PackageRead::kValid) << chosen;
      EXPECT_FALSE(InstallMod(chosen, header, log, game.GameFiles, true, messages, nullptr))
          << mod.file_name;
      ++installed;
    }
    EXPECT_EQ(log.ModCount(), installed);
    EXPECT_NE(fixtures::ReadAll(HostPath(game.GameFiles[kInterfacDrs + kCcOffset])),
              before[kInterfacDrs + kCcOffset]);
    EXPECT_NE(fixtures::ReadAll(HostPath(game.GameFiles[kLanguageDll])), before[kLanguageDll]);

    while (log.ModCount() > 0) RemoveLatestMod(log, game.GameFiles, messages);
    EXPECT_TRUE(messages.boxes.empty()) << messages.boxes.front().text;
    for (const auto& [index, bytes] : before)
      EXPECT_TRUE(fixtures::ReadAll(HostPath(game.GameFiles[size_t(index)])) == bytes) << index;
  }
}

}  // namespace
}  // namespace tarnwick
