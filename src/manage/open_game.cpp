#include "manage/open_game.h"

#include "platform/file_system.h"
#include "platform/host_path.h"

namespace tarnwick {

InstallPick PickInstall(const std::vector<GameInstall>& installs, std::string_view remembered) {
  InstallPick pick;
  if (installs.empty()) return pick;
  pick.index = 0;
  for (size_t i = 0; i < installs.size(); ++i) {
    if (!remembered.empty() && InstallKey(installs[i]) == remembered) {
      pick.index = i;
      return pick;
    }
  }
  pick.ask = installs.size() > 1;
  return pick;
}

OpenGameResult OpenGame(const GameInstall* install, OpenedGame& game) {
  game = OpenedGame();
  if (install != nullptr) {
    SetWinePrefix(install->prefix);
    game.GamePath = install->game_path;
    game.CCPresent = install->cc_present;
  }
  game.DataPath = game.GamePath + "data\\";
  if (game.GamePath.empty() || !PathListed(game.GamePath)) return OpenGameResult::kNoGame;
  game.GameFiles = MakeGameFiles(game.GamePath, game.DataPath);
  for (int i = 0; i <= 7; ++i) {
    if (!PathListed(game.GameFiles[static_cast<size_t>(i)])) return OpenGameResult::kNoBaseFiles;
  }
  if (game.CCPresent) {
    for (int i = kCcOffset; i <= kCcOffset + 7; ++i) {
      if (!PathListed(game.GameFiles[static_cast<size_t>(i)])) return OpenGameResult::kNoCcFiles;
    }
  }
  return OpenGameResult::kOpened;
}

std::string OpenGameMessage(OpenGameResult result) {
  switch (result) {
    case OpenGameResult::kOpened:
      break;
    case OpenGameResult::kNoGame:
#ifdef _WIN32
      return "Unable to find SWGB! Please ensure that it is correctly installed and that it has "
             "been run at least once.";
#else
      // Under Wine the game may sit in a prefix of its own that no one told us about.
      return "Unable to find SWGB! Please ensure that it is correctly installed and that it has "
             "been run at least once. If it is installed in a Wine prefix of its own, start the "
             "installer with WINEPREFIX set to that prefix.";
#endif
    case OpenGameResult::kNoBaseFiles:
      return "Unable to find SWGB data files! Please ensure that the game is correctly installed.";
    case OpenGameResult::kNoCcFiles:
      return "Unable to find CC data files! Please ensure that the game is correctly installed.";
  }
  return {};
}

std::string_view OpenGameTrace(OpenGameResult result) {
  switch (result) {
    case OpenGameResult::kOpened:
      break;
    case OpenGameResult::kNoGame:
      return "Couldn't find game path";
    case OpenGameResult::kNoBaseFiles:
    case OpenGameResult::kNoCcFiles:
      return "Couldn't find DRS";
  }
  return {};
}

}  // namespace tarnwick
