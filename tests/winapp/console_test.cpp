// tarnwick.exe as a script runs it, under Wine: the command script the Linux program is held to,
// on a game written into the prefix and found through its registry keys.
#include "winapp/window_driver.h"
// (window_driver.h brings <windows.h> first)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "command_script.h"
#include "fixtures/files.h"
#include "writers/game_folder.h"

namespace tarnwick::winapp_tests {
namespace {

std::wstring g_console;  // tarnwick.exe, from the command line

TEST(ConsoleTest, RunsTheCommandScript) {
  fixtures::TempDir dir;
  const std::string game = dir / "Game";
  ASSERT_FALSE(fixtures::WriteGameFolder(game, {}));
  ASSERT_TRUE(RegisterGame(game + "\\"));
  ASSERT_TRUE(WriteSampleMods(dir / "Mods"));
  fixtures::MakeFolders(dir / "empty");
  testing::ExpectCommandScript(
      [&dir](const char* name) { return dir / ("Mods\\" + std::string(name)); }, dir / "empty",
      [&dir](const std::vector<std::string>& args) { return RunConsole(g_console, dir, args); },
      [&game] { return testing::ReadTree(game); });
}

}  // namespace
}  // namespace tarnwick::winapp_tests

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc < 2) {
    std::fputs("usage: console_tests PATH_OF_TARNWICK_EXE\n", stderr);
    return 2;
  }
  tarnwick::winapp_tests::g_console = tarnwick::winapp_tests::WindowsPath(argv[1]);
  return RUN_ALL_TESTS();
}
