// Lays out the demo game in the Wine prefix it runs in, for a picture of the window: the game
// with Clone Campaigns where its installer puts it, its registry keys, and the sample mods in
// C:\Mods\. Run by packaging/windows-screenshot.sh.
#include "winapp/window_driver.h"
// (window_driver.h brings <windows.h> first)
#include <cstdio>
#include <string>

#include "writers/game_folder.h"

int main() {
  namespace fixtures = tarnwick::fixtures;
  const std::string game = fixtures::kGameFolderPath;
  const bool done = !fixtures::WriteGameFolder(game.substr(0, game.size() - 1), {}) &&
                    tarnwick::winapp_tests::WriteSampleMods("C:\\Mods") &&
                    tarnwick::winapp_tests::RegisterGame(game);
  if (!done) std::fputs("demo_scene: the demo game could not be written\n", stderr);
  return done ? 0 : 1;
}
