#include <fcntl.h>
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
  EXPECT_TRUE(file.Read(buffer, 1));

  ASSERT_FALSE(file.Open(path, OpenMode::kReadWrite));
  ASSERT_FALSE(file.WriteAt(8, "zz", 2));
  ASSERT_FALSE(file.Close());
  EXPECT_EQ(ReadAll(path), std::string("abcdef\0\0zz", 10));
}

#ifndef _WIN32
TEST(BinaryFileTest, OnlyOrdinaryFilesOpenAndNothingWaitsForAPipe) {
  TempDir dir;
  ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
  BinaryFile file;
  EXPECT_EQ(file.Open(dir / "pipe", OpenMode::kRead), FileError::kNotOrdinaryFile);
  EXPECT_EQ(file.Open(dir / "pipe", OpenMode::kReadWrite), FileError::kNotOrdinaryFile);
  EXPECT_EQ(file.Open(dir.path(), OpenMode::kRead), std::errc::is_a_directory);
  EXPECT_EQ(file.Open(dir / "missing", OpenMode::kReadWrite), std::errc::no_such_file_or_directory);
  EXPECT_TRUE(TruncateExistingFile(dir / "pipe", 0));
  EXPECT_TRUE(TruncateExistingFile(dir / "missing", 0));
  EXPECT_FALSE(fixtures::Exists(dir / "missing"));

  // An exclusive create refuses a planted link, and its target stays untouched.
  WriteAll(dir / "target", "keep");
  ASSERT_EQ(::symlink((dir / "target").c_str(), (dir / "planted").c_str()), 0);
  EXPECT_EQ(file.Open(dir / "planted", OpenMode::kCreateExclusive), std::errc::file_exists);
  EXPECT_EQ(ReadAll(dir / "target"), "keep");
}
#endif

TEST(FileSystemTest, CopyReplacesAllBytesButNeverEmptiesTheSameFile) {
  TempDir dir;
  std::string big(150000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  WriteAll(dir / "a", big);
  WriteAll(dir / "b", "old and longer than nothing");
  ASSERT_FALSE(CopyFileOver(dir / "a", dir / "b"));
  EXPECT_EQ(ReadAll(dir / "b"), big);
#ifndef _WIN32
  // The same file under a second name is not emptied.
  ASSERT_EQ(::link((dir / "a").c_str(), (dir / "a2").c_str()), 0);
  EXPECT_TRUE(CopyFileOver(dir / "a", dir / "a2"));
  EXPECT_EQ(ReadAll(dir / "a"), big);
#endif
}

TEST(FailureTest, ClassesOfFailure) {
  const auto of = [](int value) { return std::error_code(value, std::generic_category()); };
  for (const int value : {EACCES, EPERM, EROFS, ETXTBSY, EBUSY}) {
    EXPECT_EQ(ClassifyFailure(of(value)), FailureClass::kPermissionDenied) << value;
#ifndef _WIN32  // Windows' system codes are its own, not errno values
    EXPECT_EQ(ClassifyFailure(std::error_code(value, std::system_category())),
              FailureClass::kPermissionDenied);
#endif
  }
#ifdef EDQUOT
  EXPECT_EQ(ClassifyFailure(of(EDQUOT)), FailureClass::kDiskFull);
#endif
  for (const int value : {ENOSPC, EFBIG}) {
    EXPECT_EQ(ClassifyFailure(of(value)), FailureClass::kDiskFull) << value;
  }
  for (const int value : {ENOENT, EIO, EISDIR, 0}) {
    EXPECT_EQ(ClassifyFailure(of(value)), FailureClass::kOther) << value;
  }
  EXPECT_EQ(ClassifyFailure(FileError::kGameRunning), FailureClass::kPermissionDenied);
  EXPECT_EQ(ClassifyFailure(FileError::kShortRead), FailureClass::kOther);
  EXPECT_EQ(ClassifyFailure(std::make_error_code(std::io_errc::stream)), FailureClass::kOther);
}

TEST(TextCodecTest, EveryByteSurvivesAndWhatTheCodePageLacksBecomesQuestionMarks) {
  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(all)), all);
  EXPECT_EQ(Cp1252ToUtf8("\x80\x9f\xe9"), "\xe2\x82\xac\xc5\xb8\xc3\xa9");
  const std::pair<const char*, const char*> cases[] = {
      {"\xe6\x98\x9f \xf0\x9f\x98\x80 \xe2\x82\xac", "? ? \x80"},
      {"\xc2\x80", "?"},                // C1 control U+0080
      {"\xc0\x80/\xc0\xaf", "?\?/??"},  // overlong zero and slash
      {"\xe0\x80\xaf", "???"},
      {"a\xc3", "a?"},  // cut short
      {"\xc3(\xff\xf8\x88\x80\x80\x80", "?(??????"},
  };
  for (const auto& [utf8, cp1252] : cases) EXPECT_EQ(Utf8ToCp1252(utf8), cp1252) << utf8;
}

}  // namespace
}  // namespace tarnwick
