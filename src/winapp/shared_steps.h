#pragma once

// Start-up and package choice as the faces share them. These stand in for the shared operations
// of src/manage (finding the game, choosing a package) until the Windows build carries that room;
// the window calls nothing else for these steps, so the switch is confined to this file.

#include <string>

#include "common/game_files.h"
#include "package/package.h"

namespace tarnwick::winapp {

struct OpenedGame {
  std::string GamePath;
  std::string DataPath;
  bool CCPresent = false;
  tarnwick::GameFiles GameFiles;
};

enum class OpenGameResult { kOpened, kNoGame, kNoBaseFiles, kNoCcFiles };

// Finds the game through its registry keys and checks its files, the base game's first.
[[nodiscard]] OpenGameResult OpenGame(OpenedGame& game);
[[nodiscard]] std::string OpenGameMessage(OpenGameResult result);
[[nodiscard]] const char* OpenGameTrace(OpenGameResult result);

enum class PackageChoice { kChosen, kNotListed, kCannotOpen, kInvalid };
[[nodiscard]] PackageChoice ChoosePackage(const std::string& package_path, PackageHeader& header);
[[nodiscard]] std::string PackageChoiceMessage(PackageChoice choice);

}  // namespace tarnwick::winapp
