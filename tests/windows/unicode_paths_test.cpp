// Folders and files named in any script, through the wide calls: the program's paths are UTF-8.
#include <gtest/gtest.h>

#include <string>

#include "fixtures/files.h"
#include "platform/binary_file.h"
#include "platform/file_system.h"
#include "platform/host_path.h"
#include "win32_files.h"

namespace tarnwick {
namespace {

using windows_tests::WinPath;

// "Игры 游戏 😀", "копия.drs"
constexpr char kFolder[] =
    "\xD0\x98\xD0\xB3\xD1\x80\xD1\x8B \xE6\xB8\xB8\xE6\x88\x8F \xF0\x9F\x98\x80\\";
constexpr char kCopy[] = "\xD0\xBA\xD0\xBE\xD0\xBF\xD0\xB8\xD1\x8F.drs";

TEST(UnicodePaths, EveryFileOperationTakesAnyName) {
  fixtures::TempDir dir;
  const std::string folder = WinPath(dir, kFolder);
  ASSERT_TRUE(::CreateDirectoryW(WidePath(folder).c_str(), nullptr));
  EXPECT_FALSE(PathListed(folder));

  const std::string archive = folder + "gamedata.drs";
  {
    BinaryFile file;
    ASSERT_FALSE(file.Open(archive, OpenMode::kCreate));
    ASSERT_FALSE(file.Write("abcdef", 6));
  }
  EXPECT_TRUE(PathListed(folder));
  EXPECT_TRUE(PathListed(archive));
  int64_t length = 0;
  EXPECT_FALSE(FileLength(archive, &length));
  EXPECT_EQ(length, 6);

  const std::string copy = folder + kCopy;
  EXPECT_FALSE(CopyFileOver(archive, copy));
  EXPECT_FALSE(TruncateExistingFile(copy, 2));
  EXPECT_FALSE(ReplaceFileAtomically(copy, archive));
  EXPECT_FALSE(PathListed(copy));
  EXPECT_FALSE(FileLength(archive, &length));
  EXPECT_EQ(length, 2);
  EXPECT_FALSE(DeleteFile(archive));
  EXPECT_FALSE(PathListed(folder));

  // A temporary folder with such a name comes back as it is.
  ASSERT_TRUE(::SetEnvironmentVariableW(L"TMP", WidePath(folder).c_str()));
  EXPECT_EQ(TempFolder(), folder);
  ::SetEnvironmentVariableW(L"TMP", nullptr);
}

}  // namespace
}  // namespace tarnwick
