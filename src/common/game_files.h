#pragma once

#include <array>
#include <string>

namespace tarnwick {

// Full paths of the game's files by index; 8 to 19 stay empty, the Clone Campaigns variant of
// a file has the base file's index + 20.
using GameFiles = std::array<std::string, 28>;

inline constexpr int kGameFileCount = 28;
inline constexpr int kCcOffset = 20;

enum GameFileIndex : int {
  kGamedataDrs = 0,
  kGraphicsDrs = 1,
  kInterfacDrs = 2,
  kSoundsDrs = 3,
  kTerrainDrs = 4,
  kLanguageDll = 5,
  kGenieDat = 6,
  kGameExe = 7,
};

// File names of indices 0 to 7; the CC names follow at + 20 in kCcFileNames.
inline constexpr std::array<const char*, 8> kBaseFileNames = {
    "gamedata.drs", "graphics.drs", "interfac.drs", "sounds.drs",
    "terrain.drs",  "language.dll", "genie.dat",    "Battlegrounds.exe"};
inline constexpr std::array<const char*, 8> kCcFileNames = {
    "gamedata_x1.drs", "graphics_x1.drs", "interfac_x1.drs", "sounds_x1.drs",
    "terrain_x1.drs",  "language_x1.dll", "genie_x1.dat",    "Battlegrounds_x1.exe"};

// The file name of a game file index (0 to 7, 20 to 27).
inline const char* GameFileName(int index) {
  return index < kCcOffset ? kBaseFileNames[static_cast<size_t>(index)]
                           : kCcFileNames[static_cast<size_t>(index - kCcOffset)];
}

// The language library and the executables lie in the game folder, all else in its data folder.
inline constexpr bool LivesInGameFolder(int base_index) {
  return base_index == kLanguageDll || base_index == kGameExe;
}

// Indices of whole files that are replaced (with backups) rather than archives appended to.
inline constexpr bool IsReplacedFile(int index) {
  return index == 5 || index == 6 || index == 7 || index == 25 || index == 26 || index == 27;
}

// Indices that hold a value in the log: 0 to 7 and 20 to 27.
inline constexpr bool IsGameFileIndex(int index) {
  return (index >= 0 && index <= 7) || (index >= 20 && index <= 27);
}

inline GameFiles MakeGameFiles(const std::string& game_path, const std::string& data_path) {
  GameFiles files;
  for (int i = 0; i < 8; ++i) {
    const std::string& folder = LivesInGameFolder(i) ? game_path : data_path;
    files[static_cast<size_t>(i)] = folder + kBaseFileNames[static_cast<size_t>(i)];
    files[static_cast<size_t>(i + kCcOffset)] = folder + kCcFileNames[static_cast<size_t>(i)];
  }
  return files;
}

}  // namespace tarnwick
