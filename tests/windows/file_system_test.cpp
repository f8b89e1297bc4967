#include "platform/file_system.h"

#include <gtest/gtest.h>

#include <string>

#include "fixtures/files.h"
#include "platform/binary_file.h"
#include "platform/failure.h"
#include "win32_files.h"

namespace tarnwick {
namespace {

using fixtures::ReadAll;
using fixtures::TempDir;
using fixtures::WriteAll;
using windows_tests::ExclusiveHandle;
using windows_tests::WinPath;

void SetAttributes(const std::string& path, DWORD attributes) {
  ASSERT_TRUE(::SetFileAttributesA(path.c_str(), attributes)) << path;
}

TEST(PathListed, CountsOnlyOrdinaryFilesNotHiddenOrSystemOnes) {
  TempDir dir;
  const std::string folder = WinPath(dir, "game\\");
  fixtures::MakeFolders(WinPath(dir, "game\\data"));
  EXPECT_FALSE(PathListed(folder)) << "a folder holding only a folder";

  const std::string hidden = folder + "hidden.drs";
  const std::string system = folder + "system.drs";
  WriteAll(hidden, "h");
  WriteAll(system, "s");
  SetAttributes(hidden, FILE_ATTRIBUTE_HIDDEN);
  SetAttributes(system, FILE_ATTRIBUTE_SYSTEM);
  EXPECT_FALSE(PathListed(folder));
  EXPECT_FALSE(PathListed(hidden));
  EXPECT_FALSE(PathListed(system));

  const std::string plain = folder + "Battlegrounds.exe";
  WriteAll(plain, "MZ");
  SetAttributes(plain, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_TRUE(PathListed(folder));
  EXPECT_TRUE(PathListed(plain));
  EXPECT_TRUE(PathListed(folder + "BATTLEGROUNDS.EXE")) << "names match in any letter case";
  SetAttributes(plain, FILE_ATTRIBUTE_NORMAL);

  EXPECT_FALSE(PathListed(WinPath(dir, "game"))) << "a folder path without its backslash";
  EXPECT_FALSE(PathListed(folder + "*.exe")) << "wildcards are not a listing";
  EXPECT_FALSE(PathListed(folder + "missing.drs"));
  EXPECT_FALSE(PathListed("Q:\\no\\such\\drive\\"));
}

TEST(TempFolder, EndsWithABackslashAndTakesTheDoubledSeparatorOfSpriteNames) {
  const std::string folder = TempFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '\\');
  EXPECT_EQ(folder.find('\0'), std::string::npos);

  // The sprite name is the folder followed by "\quillet<c>.slp", as the icon install builds it.
  const std::string sprite = TempFolder() + "\\quillet3.slp";
  (void)DeleteFile(sprite);
  BinaryFile file;
  ASSERT_FALSE(file.Open(sprite, OpenMode::kCreateExclusive));
  ASSERT_FALSE(file.Write("SLP", 3));
  ASSERT_FALSE(file.Close());
  int64_t length = 0;
  EXPECT_FALSE(FileLength(folder + "quillet3.slp", &length));
  EXPECT_EQ(length, 3);
  EXPECT_FALSE(DeleteFile(sprite));
  EXPECT_FALSE(PathListed(sprite));
}

TEST(FolderOfPath, CutsAfterTheLastBackslash) {
  EXPECT_EQ(FolderOfPath("C:\\Games\\Mods\\cool.mpi"), "C:\\Games\\Mods\\");
  EXPECT_EQ(FolderOfPath("C:\\cool.mpi"), "C:\\");
  EXPECT_EQ(FolderOfPath("cool.mpi"), "");
}

TEST(ReplaceFileAtomically, ReplacesAnExistingFileButNotOneThatIsHeld) {
  TempDir dir;
  const std::string log = WinPath(dir, "mods.log");
  const std::string temp = WinPath(dir, "mods.log_");
  WriteAll(log, "old log");
  WriteAll(temp, "new log");
  EXPECT_FALSE(ReplaceFileAtomically(temp, log));
  EXPECT_EQ(ReadAll(log), "new log");
  EXPECT_FALSE(fixtures::Exists(temp));

  WriteAll(temp, "newer log");
  {
    ExclusiveHandle game(log);
    ASSERT_TRUE(game.held());
    const std::error_code error = ReplaceFileAtomically(temp, log);
    EXPECT_TRUE(error);
    EXPECT_EQ(ClassifyFailure(error), FailureClass::kPermissionDenied) << error.message();
  }
  EXPECT_EQ(ReadAll(log), "new log");
  EXPECT_EQ(ReadAll(temp), "newer log");
}

TEST(TruncateExistingFile, CutsAndExtendsButNeverCreatesOrTouchesAHeldFile) {
  TempDir dir;
  const std::string archive = WinPath(dir, "graphics.drs");
  WriteAll(archive, "0123456789");
  EXPECT_FALSE(TruncateExistingFile(archive, 4));
  EXPECT_FALSE(TruncateExistingFile(archive, 6));
  EXPECT_EQ(ReadAll(archive), std::string("0123\0\0", 6));

  {
    ExclusiveHandle game(archive);
    ASSERT_TRUE(game.held());
    const std::error_code error = TruncateExistingFile(archive, 2);
    EXPECT_EQ(ClassifyFailure(error), FailureClass::kPermissionDenied) << error.message();
  }
  EXPECT_EQ(ReadAll(archive).size(), 6u);

  const std::string missing = WinPath(dir, "sounds.drs");
  EXPECT_TRUE(TruncateExistingFile(missing, 0));
  EXPECT_FALSE(fixtures::Exists(missing));
}

TEST(TruncateExistingFile, FailsWhileAnotherHandleIsOpenEvenWithFullSharing) {
  TempDir dir;
  const std::string archive = WinPath(dir, "interfac.drs");
  WriteAll(archive, "0123456789");
  HANDLE reader = ::CreateFileA(archive.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  // Ours asks for no sharing, so any open handle shuts it out, not only a handle that shares none.
  EXPECT_EQ(ClassifyFailure(TruncateExistingFile(archive, 1)), FailureClass::kPermissionDenied);
  ::CloseHandle(reader);
  EXPECT_EQ(ReadAll(archive), "0123456789");
}

TEST(CopyFileOver, TruncatesALongerTargetButNeverItsOwnSourceOrAHeldFile) {
  TempDir dir;
  const std::string from = WinPath(dir, "language.dll.000");
  const std::string to = WinPath(dir, "language.dll");
  WriteAll(from, std::string(64001, 'n'));
  WriteAll(to, std::string(100000, 'o'));
  EXPECT_FALSE(CopyFileOver(from, to));
  EXPECT_EQ(ReadAll(to), std::string(64001, 'n'));

  // The same file by another path or a hard link must not be emptied by creating the target.
  const std::string link = WinPath(dir, "language.lnk");
  ASSERT_TRUE(::CreateHardLinkA(link.c_str(), from.c_str(), nullptr));
  EXPECT_TRUE(CopyFileOver(from, link));
  EXPECT_TRUE(CopyFileOver(from, dir.path() + "/language.dll.000"));
  EXPECT_EQ(ReadAll(from), std::string(64001, 'n'));

  ExclusiveHandle game(to);
  ASSERT_TRUE(game.held());
  EXPECT_EQ(ClassifyFailure(CopyFileOver(from, to)), FailureClass::kPermissionDenied);
}

}  // namespace
}  // namespace tarnwick
