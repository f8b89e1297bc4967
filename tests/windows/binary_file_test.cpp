#include "platform/binary_file.h"

#include <gtest/gtest.h>

#include <string>

#include "fixtures/files.h"
#include "fixtures/recording_messages.h"
#include "modlog/mod_log.h"
#include "platform/failure.h"
#include "platform/file_system.h"
#include "win32_files.h"

namespace tarnwick {
namespace {

using fixtures::ReadAll;
using fixtures::WriteAll;
using windows_tests::WinPath;

TEST(ClassifyFailure, SortsWin32Codes) {
  const auto expect = [](std::initializer_list<DWORD> codes, FailureClass expected) {
    for (const DWORD code : codes)
      EXPECT_EQ(ClassifyFailure({static_cast<int>(code), std::system_category()}), expected)
          << code;
  };
  expect({ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION, ERROR_LOCK_VIOLATION, ERROR_WRITE_PROTECT},
         FailureClass::kPermissionDenied);
  expect({ERROR_DISK_FULL, ERROR_HANDLE_DISK_FULL}, FailureClass::kDiskFull);
  // ERROR_INVALID_DATA is code 13, which is EACCES elsewhere.
  expect({ERROR_FILE_NOT_FOUND, ERROR_INVALID_DATA}, FailureClass::kOther);
}

// The running game holds its archives without sharing: every writer is refused as permission
// denied (SetFileLength without a word) and the file stays as it was.
TEST(HeldFile, EveryWriterIsPermissionDeniedAndTheFileKept) {
  fixtures::TempDir dir;
  const std::string archive = WinPath(dir, "interfac_x1.drs");
  const std::string other = WinPath(dir, "other.drs");
  WriteAll(archive, "0123456789");
  WriteAll(other, "replacement");
  {
    windows_tests::HeldHandle game(archive);
    ASSERT_TRUE(game.held());
    for (const OpenMode mode : {OpenMode::kRead, OpenMode::kReadWrite, OpenMode::kCreate}) {
      BinaryFile file;
      EXPECT_EQ(ClassifyFailure(file.Open(archive, mode)), FailureClass::kPermissionDenied);
      EXPECT_FALSE(file.is_open());
    }
    for (const std::error_code error :
         {ReplaceFileAtomically(other, archive), TruncateExistingFile(archive, 2),
          CopyFileOver(other, archive)}) {
      EXPECT_EQ(ClassifyFailure(error), FailureClass::kPermissionDenied) << error.message();
    }
    SetFileLength(archive, 3);
    fixtures::RecordingMessages messages;
    EXPECT_TRUE(SaveModLog(ModLog{archive, {}, {}}, messages));
    EXPECT_EQ(messages.Errors(), std::vector<std::string>{"Cannot save log file!"});
  }
  EXPECT_EQ(ReadAll(archive), "0123456789");
  EXPECT_EQ(ReadAll(other), "replacement");
  EXPECT_FALSE(fixtures::Exists(archive + "_"));

  // Ours asks for no sharing, so any open handle shuts it out, even one that shares everything.
  {
    windows_tests::HeldHandle reader(archive,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    ASSERT_TRUE(reader.held());
    EXPECT_EQ(ClassifyFailure(TruncateExistingFile(archive, 1)), FailureClass::kPermissionDenied);
  }
  SetFileLength(archive, 3);
  EXPECT_EQ(ReadAll(archive), "012");
}

TEST(BinaryFile, OurHandlesShareButNeitherAFileWithItselfNorFoldersAndDevices) {
  fixtures::TempDir dir;
  const std::string archive = WinPath(dir, "graphics.drs");
  const std::string link = WinPath(dir, "graphics.lnk");
  WriteAll(archive, "0123456789");
  // Copying onto the same file by another path or a hard link would empty it.
  ASSERT_TRUE(::CreateHardLinkA(link.c_str(), archive.c_str(), nullptr));
  EXPECT_TRUE(CopyFileOver(archive, link));
  EXPECT_TRUE(CopyFileOver(archive, dir.path() + "/graphics.drs"));
  BinaryFile reader;
  BinaryFile writer;
  ASSERT_FALSE(reader.Open(archive, OpenMode::kRead));
  ASSERT_FALSE(writer.Open(archive, OpenMode::kReadWrite));
  ASSERT_FALSE(writer.WriteAt(10, "AB", 2));
  char bytes[3] = {};
  ASSERT_FALSE(reader.ReadAt(9, bytes, 3));
  EXPECT_EQ(std::string(bytes, 3), "9AB");  // the whole file still there, and shared
  EXPECT_TRUE(BinaryFile().Open(archive, OpenMode::kCreateExclusive));

  const std::error_code folder = BinaryFile().Open(dir.path(), OpenMode::kRead);
  EXPECT_EQ(ClassifyFailure(folder), FailureClass::kOther) << folder.message();
  EXPECT_TRUE(folder);
  EXPECT_EQ(BinaryFile().Open("NUL", OpenMode::kRead), FileError::kNotOrdinaryFile);
}

}  // namespace
}  // namespace tarnwick
