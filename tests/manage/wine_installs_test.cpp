// Which installs of the game a Linux machine offers, and which one start-up opens.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <functional>
#include <string>
#include <vector>

#include "fixtures/files.h"
#include "manage/open_game.h"
#include "platform/file_system.h"
#include "platform/host_path.h"
#include "platform/registry.h"
#include "writers/game_folder.h"
#include "writers/wine_prefix_writer.h"

namespace tarnwick {
namespace {

using fixtures::MakeFolders;
using fixtures::WriteAll;

// A machine with a fresh HOME and nothing else unless a row puts it there.
struct Machine {
  Machine() {
    ::setenv("HOME", home.c_str(), 1);
    ::unsetenv("WINEPREFIX");
    MakeFolders(home);
  }
  ~Machine() { SetWinePrefix(""); }

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
  const std::string home = dir / "home";
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
    {"a named prefix without the game finds nothing",
     [](Machine& m) {
       m.Prefix(m.dir / "named", "C:\\Gone\\", "C:\\Gone\\", {});
       m.Prefix(m.home + "/.wine", "C:\\Full\\", std::nullopt, {"Full"});
       ::setenv("WINEPREFIX", (m.dir / "named").c_str(), 1);
       return Expected{.opened = OpenGameResult::kNoGame};
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
    {"several installs, the remembered one gone",
     [](Machine& m) {
       const std::string bottle = m.home + "/.local/share/bottles/bottles/SWGB";
       m.Prefix(m.home + "/.wine", "C:\\Wine Game\\", std::nullopt, {"Wine Game"});
       m.Prefix(bottle, std::nullopt, "C:\\Bottled\\", {"Bottled"});
       return Expected{.installs = {"Wine|C:\\Wine Game\\|cc|" + m.home + "/.wine",
                                    "Bottles: SWGB|C:\\Bottled\\|base|" + bottle},
                       .remembered = bottle + "|C:\\Elsewhere\\",
                       .ask = true};
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

}  // namespace
}  // namespace tarnwick
