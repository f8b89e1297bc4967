#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/game_files.h"
#include "platform/registry.h"

namespace tarnwick {

// The game the program works on, as start-up leaves it.
struct OpenedGame {
  std::string GamePath;  // as the registry gives it, expected to end with a backslash
  std::string DataPath;  // GamePath + "data\"
  bool CCPresent = false;
  tarnwick::GameFiles GameFiles;
};

enum class OpenGameResult {
  kOpened,
  kNoGame,       // no game folder
  kNoBaseFiles,  // one of files 0 to 7 missing
  kNoCcFiles,    // with Clone Campaigns, one of files 20 to 27 missing
};

// Which install to open: the remembered one (an InstallKey) while it is still found, else the
// first found. `ask` is set when several are found and none of them is remembered, so that the
// player should choose; `index` is then the first, the one to take when the player does not.
struct InstallPick {
  std::optional<size_t> index;  // none when nothing was found
  bool ask = false;
};
[[nodiscard]] InstallPick PickInstall(const std::vector<GameInstall>& installs,
                                      std::string_view remembered);

// The start-up's decisions about the game: maps the install's paths through its prefix, sets
// GamePath, DataPath, CCPresent and GameFiles, and checks that the files are there, the base
// game's first. Null `install`: nothing found. The caller shows the result's message.
[[nodiscard]] OpenGameResult OpenGame(const GameInstall* install, OpenedGame& game);

// The message box text and the trace text of a result other than kOpened.
[[nodiscard]] std::string OpenGameMessage(OpenGameResult result);
[[nodiscard]] std::string_view OpenGameTrace(OpenGameResult result);

}  // namespace tarnwick
