// Folders named in any script: the game, the package, HOME and the temporary folder, through an
// install of every sample mod and the removal of all of them.
#include <gtest/gtest.h>
#include <stdlib.h>

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
#include "writers/game_folder.h"
#include "writers/sandbox.h"
#include "writers/wine_prefix_writer.h"

namespace tarnwick {
namespace {

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

class UnicodePathsTest : public ::testing::Test {
 protected:
  UnicodePathsTest() {
    if (const char* old = ::getenv("TMPDIR")) saved_tmp_ = old;
    ::unsetenv("WINEPREFIX");
  }
  ~UnicodePathsTest() override {
    saved_tmp_.empty() ? ::unsetenv("TMPDIR") : ::setenv("TMPDIR", saved_tmp_.c_str(), 1);
    SetWinePrefix("");
  }
  std::string saved_tmp_;
};

TEST_F(UnicodePathsTest, EveryModInstallsAndComesOffWhateverTheFoldersAreCalled) {
  for (const Names& names : kNames) {
    SCOPED_TRACE(names.row);
    saved_tmp_.empty() ? ::unsetenv("TMPDIR") : ::setenv("TMPDIR", saved_tmp_.c_str(), 1);
    fixtures::TempDir dir;
    const std::string home = dir / names.home;
    const std::string temp = dir / names.temp;
    fixtures::MakeFolders(temp);
    ::setenv("HOME", home.c_str(), 1);
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
