#include "platform/binary_file.h"

#include <gtest/gtest.h>

#include <string>

#include "fixtures/files.h"
#include "platform/failure.h"
#include "win32_files.h"

namespace tarnwick {
namespace {

using fixtures::ReadAll;
using fixtures::TempDir;
using fixtures::WriteAll;
using windows_tests::ExclusiveHandle;
using windows_tests::WinPath;

std::error_code Win32(DWORD code) { return {static_cast<int>(code), std::system_category()}; }

TEST(ClassifyFailure, SortsWin32Codes) {
  EXPECT_EQ(ClassifyFailure(Win32(ERROR_ACCESS_DENIED)), FailureClass::kPermissionDenied);
  EXPECT_EQ(ClassifyFailure(Win32(ERROR_SHARING_VIOLATION)), FailureClass::kPermissionDenied);
  EXPECT_EQ(ClassifyFailure(Win32(ERROR_LOCK_VIOLATION)), FailureClass::kPermissionDenied);
  EXPECT_EQ(ClassifyFailure(Win32(ERROR_WRITE_PROTECT)), FailureClass::kPermissionDenied);
  EXPECT_EQ(ClassifyFailure(Win32(ERROR_DISK_FULL)), FailureClass::kDiskFull);
  EXPECT_EQ(ClassifyFailure(Win32(ERROR_HANDLE_DISK_FULL)), FailureClass::kDiskFull);
  EXPECT_EQ(ClassifyFailure(Win32(ERROR_FILE_NOT_FOUND)), FailureClass::kOther);
  // Win32 code 13 is ERROR_INVALID_DATA, not EACCES.
  EXPECT_EQ(ClassifyFailure(Win32(ERROR_INVALID_DATA)), FailureClass::kOther);
  EXPECT_EQ(ClassifyFailure(Win32(ERROR_PATH_NOT_FOUND)), FailureClass::kOther);
}

TEST(BinaryFile, AFileHeldWithoutSharingIsPermissionDenied) {
  TempDir dir;
  const std::string archive = WinPath(dir, "interfac_x1.drs");
  WriteAll(archive, "archive");
  ExclusiveHandle game(archive);
  ASSERT_TRUE(game.held());
  for (const OpenMode mode : {OpenMode::kRead, OpenMode::kReadWrite, OpenMode::kCreate}) {
    BinaryFile file;
    const std::error_code error = file.Open(archive, mode);
    EXPECT_EQ(ClassifyFailure(error), FailureClass::kPermissionDenied) << error.message();
    EXPECT_FALSE(file.is_open());
  }
}

TEST(BinaryFile, OurOwnHandlesShareWithEachOther) {
  TempDir dir;
  const std::string archive = WinPath(dir, "graphics.drs");
  WriteAll(archive, "0123456789");
  BinaryFile reader;
  BinaryFile writer;
  ASSERT_FALSE(reader.Open(archive, OpenMode::kRead));
  ASSERT_FALSE(writer.Open(archive, OpenMode::kReadWrite));
  ASSERT_FALSE(writer.WriteAt(10, "AB", 2));
  char bytes[3] = {};
  ASSERT_FALSE(reader.ReadAt(9, bytes, 3));
  EXPECT_EQ(std::string(bytes, 3), "9AB");
  EXPECT_EQ(reader.position(), 12);

  BinaryFile exclusive;
  EXPECT_TRUE(exclusive.Open(archive, OpenMode::kCreateExclusive));
  EXPECT_EQ(ReadAll(archive), "0123456789AB");
}

TEST(BinaryFile, FoldersAndDevicesAreNotFiles) {
  TempDir dir;
  BinaryFile file;
  const std::error_code folder = file.Open(dir.path(), OpenMode::kRead);
  EXPECT_TRUE(folder);
  EXPECT_EQ(ClassifyFailure(folder), FailureClass::kOther) << folder.message();
  EXPECT_EQ(file.Open("NUL", OpenMode::kRead), FileError::kNotOrdinaryFile);
  EXPECT_FALSE(file.is_open());
}

}  // namespace
}  // namespace tarnwick
