#include "winapp/shared_steps.h"

#include "platform/file_system.h"
#include "platform/registry.h"

namespace tarnwick::winapp {
namespace {

constexpr char kCcRegKey[] =
    "SOFTWARE\\LucasArts Entertainment Company LLC\\Star Wars Galactic Battlegrounds: Clone "
    "Campaigns\\1.0";
constexpr char kBaseRegKey[] =
    "SOFTWARE\\LucasArts Entertainment Company LLC\\Star Wars Galactic Battlegrounds\\1.0";
constexpr char kGamePathValue[] = "Game Path";

}  // namespace

OpenGameResult OpenGame(OpenedGame& game) {
  game = OpenedGame();
  game.GamePath = ReadRegString(RegRoot::kLocalMachine, kCcRegKey, kGamePathValue);
  if (game.GamePath.empty() || !PathListed(game.GamePath)) {
    game.GamePath = ReadRegString(RegRoot::kLocalMachine, kBaseRegKey, kGamePathValue);
  } else {
    game.CCPresent = true;
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
      return "Unable to find SWGB! Please ensure that it is correctly installed and that it has "
             "been run at least once.";
    case OpenGameResult::kNoBaseFiles:
      return "Unable to find SWGB data files! Please ensure that the game is correctly installed.";
    case OpenGameResult::kNoCcFiles:
      return "Unable to find CC data files! Please ensure that the game is correctly installed.";
  }
  return {};
}

const char* OpenGameTrace(OpenGameResult result) {
  switch (result) {
    case OpenGameResult::kOpened:
      break;
    case OpenGameResult::kNoGame:
      return "Couldn't find game path";
    case OpenGameResult::kNoBaseFiles:
    case OpenGameResult::kNoCcFiles:
      return "Couldn't find DRS";
  }
  return "";
}

PackageChoice ChoosePackage(const std::string& package_path, PackageHeader& header) {
  if (package_path.empty() || !PathListed(package_path)) return PackageChoice::kNotListed;
  switch (ReadPackage(package_path, header)) {
    case PackageRead::kValid:
      return PackageChoice::kChosen;
    case PackageRead::kCannotOpen:
      return PackageChoice::kCannotOpen;
    case PackageRead::kInvalid:
      return PackageChoice::kInvalid;
  }
  return PackageChoice::kInvalid;
}

std::string PackageChoiceMessage(PackageChoice choice) {
  switch (choice) {
    case PackageChoice::kChosen:
    case PackageChoice::kNotListed:
      break;
    case PackageChoice::kCannotOpen:
      return "Error opening mod!";
    case PackageChoice::kInvalid:
      return "Specified MPI file is invalid or corrupted! Make sure you have the latest version of "
             "the mod installer.";
  }
  return {};
}

}  // namespace tarnwick::winapp
