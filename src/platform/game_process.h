#pragma once

namespace tarnwick {

// True when the game (Battlegrounds.exe or Battlegrounds_x1.exe) runs as a process. Under Wine
// the game does not lock its files, so installing and removing look for it first. On Windows the
// files are locked by the game itself and this is always false.
[[nodiscard]] bool GameIsRunning();

}  // namespace tarnwick
