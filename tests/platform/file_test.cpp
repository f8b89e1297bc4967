#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "fixtures/files.h"
#include "platform/binary_file.h"
#include "platform/failure.h"
#include "platform/file_system.h"
#include "platform/text_codec.h"

namespace tarnwick {
namespace {

using fixtures::ReadAll;
using fixtures::TempDir;
using fixtures::WriteAll;

TEST(BinaryFileTest, ReadsPastTheEndFailAndWritesPastItFillWithZeros) {
  TempDir dir;
  const std::string path = dir / "f.bin";
  WriteAll(path, "abcdef");
  BinaryFile file;
  ASSERT_FALSE(file.Open(path, OpenMode::kRead));
  char buffer[8] = {};
  EXPECT_FALSE(file.ReadAt(2, buffer, 4));
  EXPECT_EQ(std::string(buffer, 4), "cdef");
  EXPECT_EQ(file.Read(buffer, 1), FileError::kShortRead);
  EXPECT_EQ(file.ReadAt(4, buffer, 3), FileError::kShortRead);
  EXPECT_EQ(file.Seek(-1), FileError::kOutOfRange);
  EXPECT_TRUE(file.Write("x", 1));  // opened for reading only
  ASSERT_FALSE(file.Close());
  ASSERT_FALSE(file.Open(path, OpenMode::kReadWrite));
  ASSERT_FALSE(file.WriteAt(8, "zz", 2));
  ASSERT_FALSE(file.Close());
  EXPECT_EQ(ReadAll(path), std::string("abcdef\0\0zz", 10));
}

#ifndef _WIN32
TEST(BinaryFileTest, OnlyOrdinaryFilesOpenOrAreTruncatedAndCuttingOnlyEverShortens) {
  TempDir dir;
  ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
  BinaryFile file;
  EXPECT_EQ(file.Open(dir / "pipe", OpenMode::kReadWrite), FileError::kNotOrdinaryFile);
  EXPECT_EQ(file.Open(dir.path(), OpenMode::kRead), std::errc::is_a_directory);
  EXPECT_TRUE(TruncateExistingFile(dir / "pipe", 0));
  EXPECT_TRUE(TruncateExistingFile(dir / "missing", 0));
  EXPECT_TRUE(CutExistingFile(dir / "missing", 0));
  EXPECT_FALSE(fixtures::Exists(dir / "missing"));
  const std::string path = dir / "archive";
  WriteAll(path, "0123456789");
  ASSERT_FALSE(CutExistingFile(path, 20));
  EXPECT_EQ(ReadAll(path), "0123456789");
  ASSERT_FALSE(CutExistingFile(path, 4));
  EXPECT_EQ(ReadAll(path), "0123");
}
#endif

// Copies of every size restore the game's files in the crash tests; here the one file it must
// never copy onto is itself.
TEST(FileSystemTest, CopyReplacesAllBytesButNeverEmptiesTheSameFile) {
  TempDir dir;
  WriteAll(dir / "a", "new");
  WriteAll(dir / "b", "old and longer than the new");
  ASSERT_FALSE(CopyFileOver(dir / "a", dir / "b"));
  EXPECT_EQ(ReadAll(dir / "b"), "new");
#ifndef _WIN32
  ASSERT_EQ(::link((dir / "a").c_str(), (dir / "a2").c_str()), 0);
  EXPECT_TRUE(CopyFileOver(dir / "a", dir / "a2"));
  EXPECT_EQ(ReadAll(dir / "a"), "new");
#endif
}

TEST(FailureTest, ClassesOfFailure) {
  const auto posix = [](int value) { return std::error_code(value, std::generic_category()); };
  for (const std::error_code& error : {posix(EACCES), posix(EPERM), posix(EROFS), posix(ETXTBSY),
                                       posix(EBUSY), make_error_code(FileError::kGameRunning)})
    EXPECT_EQ(ClassifyFailure(error), FailureClass::kPermissionDenied) << error;
#ifndef _WIN32  // Windows' system codes are its own, not errno values
  EXPECT_EQ(ClassifyFailure(std::error_code(EROFS, std::system_category())),
            FailureClass::kPermissionDenied);
#endif
  for (const std::error_code& error : {posix(ENOSPC), posix(EFBIG)})
    EXPECT_EQ(ClassifyFailure(error), FailureClass::kDiskFull) << error;
  for (const std::error_code& error :
       {posix(ENOENT), std::error_code(), make_error_code(FileError::kShortRead)})
    EXPECT_EQ(ClassifyFailure(error), FailureClass::kOther) << error;
}

TEST(TextCodecTest, EveryByteSurvivesAndWhatTheCodePageLacksBecomesQuestionMarks) {
  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(all)), all);
  EXPECT_EQ(Cp1252ToUtf8("\x80\xe9"), "\xe2\x82\xac\xc3\xa9");
  // Characters outside the code page, overlong forms, bad bytes and a sequence cut short.
  EXPECT_EQ(Utf8ToCp1252("\xe6\x98\x9f \xf0\x9f\x98\x80 \xe2\x82\xac \xc0\xaf/\xc3(\xff a\xc3"),
            "? ? \x80 ?\?/?(? a?");
}

}  // namespace
}  // namespace tarnwick
