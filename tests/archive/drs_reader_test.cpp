#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "archive/drs.h"
#include "fixtures/drs_checks.h"
#include "fixtures/files.h"
#include "fixtures/recording_messages.h"
#include "writers/bytes.h"

namespace tarnwick {
namespace {

using fixtures::BuildDrs;
using fixtures::DrsTable;
using fixtures::I32At;

std::vector<DrsTable> ThreeTables() {
  return {{"pls ", {{100, "alpha"}, {101, "be"}, {102, ""}}},
          {"nib ", {{200, "gamma!"}}},
          {"vaw ", {{300, "d"}, {301, "epsilon"}}}};
}

std::string Patched(const std::string& bytes, size_t position, int32_t value) {
  return fixtures::Bytes().Raw(bytes).PatchI32(position, value).str();
}

// Byte position of a field of a table's row in the directory.
constexpr size_t RowField(size_t table, size_t field) { return 84 + 12 * table + field; }

// A header of `tables` rows, each pointing at `offset` with `count` entries.
std::string SharedRuns(int32_t tables, int32_t offset, int32_t count, size_t tail) {
  fixtures::Bytes bytes;
  bytes.Text(kDrsSignature, 60).Text("1.00", 4).Text("swbg", 12).I32(tables).I32(0);
  for (int32_t t = 0; t < tables; ++t) bytes.Text("pls ", 4).I32(offset).I32(count);
  return bytes.Zeros(tail).str();
}

class DrsReaderTest : public ::testing::Test {
 protected:
  DrsRead Read(const std::string& bytes) {
    fixtures::WriteAll(dir_ / "test.drs", bytes);
    BinaryFile file;
    EXPECT_FALSE(file.Open(dir_ / "test.drs", OpenMode::kRead));
    messages_.boxes.clear();
    return ReadDrsDirectory(file, directory_, messages_, &io_error_);
  }

  fixtures::TempDir dir_;
  fixtures::RecordingMessages messages_;
  DrsDirectory directory_;
  std::error_code io_error_;
};

TEST_F(DrsReaderTest, ReadsEntriesInTableOrderByTheRunsOffsets) {
  const std::string good = BuildDrs(ThreeTables());
  std::string zeros_after_signature = good;
  std::memset(zeros_after_signature.data() + 28, 0, 32);
  const std::string archives[] = {
      good, BuildDrs(ThreeTables(), {7, false}),  // gaps between runs
      BuildDrs(ThreeTables(), {13, true}),        // runs in reverse order
      // An id in two tables, an empty table.
      BuildDrs({{"pls ", {{5, "first"}}}, {"nib ", {}}, {"vaw ", {{6, "x"}, {5, "second"}}}},
               {3, true}),
      zeros_after_signature,
      Patched(good, RowField(1, 4), static_cast<int32_t>(good.size()) - 12),  // ends at the end
      SharedRuns(2, 84, 1, 100),  // two tables sharing one run
  };
  for (const std::string& bytes : archives) {
    SCOPED_TRACE(&bytes - archives);
    ASSERT_EQ(Read(bytes), DrsRead::kOk);
    EXPECT_TRUE(messages_.boxes.empty());
    const auto expected = fixtures::ParseDrsEntries(bytes);
    const auto count = static_cast<int32_t>(expected.size());
    ASSERT_EQ(directory_.totalEntries, count);
    for (int32_t n = 1; n <= count; ++n) {
      const auto& want = expected[static_cast<size_t>(n - 1)];
      EXPECT_EQ(directory_.entries[n], (DrsFileEntry{want.id, want.offset, want.size}));
      EXPECT_EQ(EntryPosition(directory_, n), want.position);
    }
    EXPECT_EQ(EntryPosition(directory_, 0), -1);
    EXPECT_EQ(EntryPosition(directory_, count + 1), -1);
  }
}

TEST_F(DrsReaderTest, RejectsHostileDirectoriesWithItsMessage) {
  const std::string good = BuildDrs(ThreeTables());
  const auto size = static_cast<int32_t>(good.size());
  std::string capital = good;
  capital[1] = 'O';
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"signature changed", capital},
      {"signature shifted", " " + good},
      {"cut inside the signature", good.substr(0, 27)},
      {"empty", ""},
      {"no room for the header", good.substr(0, 60)},
      {"no tables", Patched(good, 76, 0)},
      {"negative table count", Patched(good, 76, -1)},
      {"tables without entries", BuildDrs({{"pls ", {}}, {"nib ", {}}})},
      {"largest table count", Patched(good, 76, INT32_MAX)},
      {"one row more than fits", Patched(good, 76, (size - 84) / 12 + 1)},
      {"run cut short", good.substr(0, static_cast<size_t>(I32At(good, RowField(2, 4))) + 13)},
      {"largest entry count", Patched(good, RowField(0, 8), INT32_MAX)},
      {"negative entry count", Patched(good, RowField(0, 8), -1)},
      {"negative run offset", Patched(good, RowField(1, 4), -12)},
      {"run offset overflowing", Patched(good, RowField(1, 4), INT32_MAX - 5)},
      {"run one byte past the end", Patched(good, RowField(1, 4), size - 11)},
      {"overlapping runs summing past the file", SharedRuns(64, 0, 84 / 12 + 64, 0)},
  };
  for (const auto& [what, bytes] : cases) {
    SCOPED_TRACE(what);
    EXPECT_EQ(Read(bytes), DrsRead::kInvalid);
    EXPECT_EQ(messages_.Errors(), std::vector<std::string>{"Error reading from DRS file!"});
  }
}

TEST_F(DrsReaderTest, PassesFileFailuresOnWithoutAMessage) {
  BinaryFile closed;
  EXPECT_EQ(ReadDrsDirectory(closed, directory_, messages_, &io_error_), DrsRead::kIoError);
  EXPECT_EQ(io_error_, std::error_code(EBADF, std::generic_category()));
  EXPECT_TRUE(messages_.boxes.empty());
}

}  // namespace
}  // namespace tarnwick
