// The demo game and its prefix, read back through the program's own readers.
#if !defined(_WIN32)

#include "writers/sandbox.h"

#include <gtest/gtest.h>

#include <string>

#include "common/game_files.h"
#include "fixtures/drs_checks.h"
#include "fixtures/files.h"
#include "package/package.h"
#include "platform/file_system.h"
#include "platform/host_path.h"
#include "platform/registry.h"
#include "platform/scoped_env.h"
#include "writers/game_folder.h"
#include "writers/wine_prefix_writer.h"

namespace tarnwick::fixtures {
namespace {

TEST(SandboxTest, TheProgramFindsTheGameItsFilesAndEverySampleMod) {
  for (const bool cc : {true, false}) {
    SCOPED_TRACE(cc ? "with Clone Campaigns" : "without");
    TempDir dir;
    MakeFolders(dir / "home");
    ASSERT_FALSE(WriteSandbox(dir / "prefix", {cc}));
    testing::ScopedEnv prefix_env("WINEPREFIX", dir / "prefix");
    testing::ScopedEnv home_env("HOME", dir / "home");  // no ~/.wine, no Steam
    // The program names the keys "SOFTWARE\..."; Wine spells them "Software\...".
    const auto game_path = [](std::string_view key) {
      return ReadRegString(RegRoot::kLocalMachine, "SOFTWARE" + std::string(key.substr(8)),
                           "Game Path");
    };
    EXPECT_EQ(game_path(kCcKey), cc ? kGameFolderPath : "");
    EXPECT_EQ(game_path(kBaseKey), kGameFolderPath);
    const GameFiles files = MakeGameFiles(kGameFolderPath, std::string(kGameFolderPath) + "data\\");
    for (int i = 0; i < kGameFileCount; ++i) {
      if (!IsGameFileIndex(i)) continue;
      EXPECT_EQ(PathListed(files[static_cast<size_t>(i)]), cc || i < kCcOffset) << i;
    }

    // Each sample reads as it should, and what it replaces is in the archive it goes to.
    for (const SampleMod& mod : SampleMods()) {
      PackageHeader header;
      ASSERT_EQ(ReadPackage(HostPath("C:\\Mods\\" + mod.file_name), header),
                mod.valid ? PackageRead::kValid : PackageRead::kInvalid)
          << mod.file_name;
      if (!mod.valid) continue;
      for (const ResourceEntry& row : header.resources) {
        if (row.typeCode > 3) continue;
        bool found = false;
        const int archive = row.targetCode + (mod.needs_clone_campaigns ? kCcOffset : 0);
        for (const DrsEntryView& entry : ParseDrsEntries(GameFileBytes(archive))) {
          found = found || entry.id == row.resourceId;
        }
        EXPECT_TRUE(found) << mod.file_name << " " << row.resourceId;
      }
    }
    SetWinePrefix("");
  }
  // Never into a folder of the user's.
  TempDir mine;
  WriteAll(mine / "notes.txt", "mine");
  EXPECT_EQ(WriteSandbox(mine.path(), {}), std::errc::directory_not_empty);
  EXPECT_FALSE(Exists(mine / "system.reg"));
}

}  // namespace
}  // namespace tarnwick::fixtures

#endif
