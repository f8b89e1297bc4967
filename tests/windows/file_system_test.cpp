#include "platform/file_system.h"

#include <gtest/gtest.h>

#include <string>

#include "fixtures/files.h"
#include "platform/binary_file.h"
#include "win32_files.h"

namespace tarnwick {
namespace {

using windows_tests::WinPath;

TEST(PathListed, CountsOnlyOrdinaryFilesNotHiddenOrSystemOnes) {
  fixtures::TempDir dir;
  const std::string folder = WinPath(dir, "game\\");
  fixtures::MakeFolders(WinPath(dir, "game\\data"));
  EXPECT_FALSE(PathListed(folder)) << "a folder holding only a folder";
  for (const DWORD attribute : {FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_SYSTEM}) {
    const std::string file = folder + std::to_string(attribute) + ".drs";
    fixtures::WriteAll(file, "h");
    ASSERT_TRUE(::SetFileAttributesA(file.c_str(), attribute));
    EXPECT_FALSE(PathListed(file));
  }
  EXPECT_FALSE(PathListed(folder));

  const std::string plain = folder + "Battlegrounds.exe";
  fixtures::WriteAll(plain, "MZ");
  ASSERT_TRUE(
      ::SetFileAttributesA(plain.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_TRUE(PathListed(folder));
  EXPECT_TRUE(PathListed(folder + "BATTLEGROUNDS.EXE")) << "names match in any letter case";
  EXPECT_FALSE(PathListed(folder + "*.exe")) << "wildcards are not a listing";
  EXPECT_FALSE(PathListed(WinPath(dir, "game"))) << "a folder path without its backslash";
  ASSERT_TRUE(::SetFileAttributesA(plain.c_str(), FILE_ATTRIBUTE_NORMAL));
}

// The icon install names its sprite as the folder followed by "\quillet<c>.slp".
TEST(TempFolder, EndsWithABackslashAndTakesTheDoubledSeparatorOfSpriteNames) {
  const std::string folder = TempFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '\\');
  const std::string sprite = folder + "\\quillet3.slp";
  (void)DeleteFile(sprite);
  BinaryFile file;
  ASSERT_FALSE(file.Open(sprite, OpenMode::kCreateExclusive));
  ASSERT_FALSE(file.Write("SLP", 3));
  ASSERT_FALSE(file.Close());
  EXPECT_EQ(fixtures::ReadAll(folder + "quillet3.slp"), "SLP");
  EXPECT_FALSE(DeleteFile(sprite));
}

// New files are created with CREATE_NEW once the name is freed: a temporary log or a backup left
// by an earlier run is replaced, the log itself too, a folder under the name is refused, and the
// folder sync that follows succeeds where the file system allows it.
TEST(CreateFileAnew, ReplacesWhatAnEarlierRunLeftAndRefusesAFolder) {
  fixtures::TempDir dir;
  const std::string data = WinPath(dir, "data\\");
  fixtures::MakeFolders(data);
  fixtures::WriteAll(data + "mods.log_", "left by a run cut off");
  fixtures::WriteAll(data + "language.dll", "game's own");
  fixtures::WriteAll(data + "language.dll.000", "stale backup, longer than the file");
  // Windows refuses to rename over an existing file unless asked to replace it, and every save
  // after the first is such a rename.
  for (const char* log : {"first log", "second log"}) {
    ASSERT_FALSE(WriteFileAtomically(data + "mods.log", log));
    EXPECT_EQ(fixtures::ReadAll(data + "mods.log"), log);
    EXPECT_FALSE(fixtures::Exists(data + "mods.log_"));
  }
  ASSERT_FALSE(CopyToNewFile(data + "language.dll", data + "language.dll.000"));
  EXPECT_EQ(fixtures::ReadAll(data + "language.dll.000"), "game's own");
  EXPECT_FALSE(SyncFolderOf(data + "language.dll.000"));

  fixtures::MakeFolders(data + "language.dll.001\\inside");
  EXPECT_TRUE(CopyToNewFile(data + "language.dll", data + "language.dll.001"));
  EXPECT_TRUE(fixtures::Exists(data + "language.dll.001\\inside"));
}

}  // namespace
}  // namespace tarnwick
