#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "archive/drs.h"
#include "writers/bytes.h"
#include "fixtures/drs_checks.h"
#include "fixtures/files.h"
#include "fixtures/recording_messages.h"

namespace tarnwick {
namespace {

using fixtures::BuildDrs;
using fixtures::DrsLayout;
using fixtures::DrsTable;
using fixtures::RecordingMessages;

constexpr char kReadError[] = "Error reading from DRS file!";

std::vector<DrsTable> ThreeTables() {
  return {{"pls ", {{100, "alpha"}, {101, "be"}, {102, ""}}},
          {"nib ", {{200, "gamma!"}}},
          {"vaw ", {{300, "d"}, {301, "epsilon"}}}};
}

std::string Patched(std::string bytes, size_t position, int32_t value) {
  unsigned char field[4];
  StoreI32(field, value);
  bytes.replace(position, 4, reinterpret_cast<const char*>(field), 4);
  return bytes;
}

constexpr size_t RowField(size_t table, size_t field) { return 84 + 12 * table + field; }

class DrsReaderTest : public ::testing::Test {
 protected:
  DrsRead Read(const std::string& bytes) {
    const std::string path = dir_ / "test.drs";
    fixtures::WriteAll(path, bytes);
    BinaryFile file;
    EXPECT_FALSE(file.Open(path, OpenMode::kRead));
    return ReadDrsDirectory(file, directory_, messages_, &io_error_);
  }

  void ExpectRejected(const std::string& bytes) {
    messages_.boxes.clear();
    EXPECT_EQ(Read(bytes), DrsRead::kInvalid);
    EXPECT_EQ(messages_.Errors(), std::vector<std::string>{kReadError});
  }

  fixtures::TempDir dir_;
  RecordingMessages messages_;
  DrsDirectory directory_;
  std::error_code io_error_;
};

TEST_F(DrsReaderTest, ReadsEveryLayoutByItsOffsets) {
  const std::vector<DrsLayout> layouts = {{0, false}, {7, false}, {0, true}, {13, true}};
  for (const DrsLayout& layout : layouts) {
    SCOPED_TRACE(testing::Message() << "gap " << layout.gap_between_runs << " reversed "
                                    << layout.runs_in_reverse_order);
    const std::string bytes = BuildDrs(ThreeTables(), layout);
    ASSERT_EQ(Read(bytes), DrsRead::kOk);
    EXPECT_TRUE(messages_.boxes.empty());

    EXPECT_EQ(std::string(directory_.header.signature.data(), 28), kDrsSignature);
    EXPECT_EQ(std::string(directory_.header.version.data(), 4), "1.00");
    EXPECT_EQ(directory_.header.tableCount, 3);
    EXPECT_EQ(directory_.header.firstFileOffset, fixtures::I32At(bytes, 80));
    ASSERT_EQ(directory_.tables.size(), 3u);
    EXPECT_EQ(std::string(directory_.tables[1].typeTag.data(), 4), "nib ");
    EXPECT_EQ(directory_.tables[2].entryCount, 2);

    const auto expected = fixtures::ParseDrsEntries(bytes);
    ASSERT_EQ(directory_.totalEntries, 6);
    ASSERT_EQ(directory_.entries.size(), 6);
    for (int32_t n = 1; n <= 6; ++n) {
      const auto& want = expected[static_cast<size_t>(n - 1)];
      EXPECT_EQ(directory_.entries[n], (DrsFileEntry{want.id, want.offset, want.size}));
      EXPECT_EQ(EntryPosition(directory_, n), want.position);
    }
    EXPECT_EQ(EntryPosition(directory_, 0), -1);
    EXPECT_EQ(EntryPosition(directory_, 7), -1);
  }
}

TEST_F(DrsReaderTest, KeepsAnIdOfTwoTablesInTableOrderAndSkipsAnEmptyTable) {
  const std::string bytes = BuildDrs(
      {{"pls ", {{5, "first"}}}, {"nib ", {}}, {"vaw ", {{6, "x"}, {5, "second"}}}}, {3, true});
  ASSERT_EQ(Read(bytes), DrsRead::kOk);
  ASSERT_EQ(directory_.totalEntries, 3);
  EXPECT_EQ(directory_.entries[1].id, 5);
  EXPECT_EQ(directory_.entries[3].id, 5);
  EXPECT_EQ(directory_.entries[1].size, 5);
  EXPECT_EQ(directory_.entries[3].size, 6);
  // The empty table's row holds an offset of its own but adds no entries.
  EXPECT_EQ(EntryPosition(directory_, 2), fixtures::I32At(bytes, RowField(2, 4)));
}

TEST_F(DrsReaderTest, ChecksTheSignatureByteForByte) {
  const std::string good = BuildDrs(ThreeTables());
  std::string zeros_after = good;
  std::memset(zeros_after.data() + 28, 0, 32);
  EXPECT_EQ(Read(zeros_after), DrsRead::kOk);

  std::string lower = good;
  lower[1] = 'O';
  ExpectRejected(lower);
  ExpectRejected(" " + good);
  ExpectRejected(good.substr(0, 27));
  ExpectRejected("");
  // The signature alone, with no room for the header after it.
  ExpectRejected(good.substr(0, 60));
}

TEST_F(DrsReaderTest, RejectsMissingTablesAndEntries) {
  const std::string good = BuildDrs(ThreeTables());
  ExpectRejected(Patched(good, 76, 0));
  ExpectRejected(Patched(good, 76, -1));
  ExpectRejected(Patched(good, 76, INT32_MIN));
  ExpectRejected(BuildDrs({{"pls ", {}}, {"nib ", {}}}));
}

TEST_F(DrsReaderTest, RejectsDirectoriesThatRunPastTheArchive) {
  const std::string good = BuildDrs(ThreeTables());
  const int32_t last_run = fixtures::I32At(good, RowField(2, 4));
  // Rows: more tables than the file can hold.
  ExpectRejected(Patched(good, 76, INT32_MAX));
  ExpectRejected(Patched(good, 76, static_cast<int32_t>((good.size() - 84) / 12 + 1)));
  // Runs: cut inside, counts and offsets out of range, sums that overflow 32 bits.
  ExpectRejected(good.substr(0, static_cast<size_t>(last_run) + 13));
  ExpectRejected(Patched(good, RowField(0, 8), INT32_MAX));
  ExpectRejected(Patched(good, RowField(0, 8), -1));
  ExpectRejected(Patched(good, RowField(1, 4), -12));
  ExpectRejected(Patched(good, RowField(1, 4), INT32_MAX - 5));
  ExpectRejected(Patched(good, RowField(1, 4), static_cast<int32_t>(good.size()) - 11));
  // Exactly at the end is still inside.
  EXPECT_EQ(Read(Patched(good, RowField(1, 4), static_cast<int32_t>(good.size()) - 12)),
            DrsRead::kOk);
}

TEST_F(DrsReaderTest, RejectsOverlappingRunsThatSumBeyondTheFile) {
  // Every table points at the same run, each as long as the file allows: the sum of the counts
  // would be far more entries than the file holds.
  fixtures::Bytes bytes;
  const int32_t tables = 64;
  const int32_t per_table = 84 / 12 + tables;
  bytes.Text(kDrsSignature, 60).Text("1.00", 4).Text("swbg", 12).I32(tables).I32(0);
  for (int32_t t = 0; t < tables; ++t) bytes.Text("pls ", 4).I32(0).I32(per_table);
  ExpectRejected(bytes.str());

  fixtures::Bytes shared;
  shared.Text(kDrsSignature, 60).Text("1.00", 4).Text("swbg", 12).I32(2).I32(0);
  shared.Text("pls ", 4).I32(84).I32(1).Text("nib ", 4).I32(84).I32(1);
  shared.Zeros(100);
  ASSERT_EQ(Read(shared.str()), DrsRead::kOk);
  EXPECT_EQ(directory_.totalEntries, 2);
}

TEST_F(DrsReaderTest, PassesFileFailuresOnWithoutAMessage) {
  BinaryFile closed;
  EXPECT_EQ(ReadDrsDirectory(closed, directory_, messages_, &io_error_), DrsRead::kIoError);
  EXPECT_EQ(io_error_, std::error_code(EBADF, std::generic_category()));
  EXPECT_TRUE(messages_.boxes.empty());
}

}  // namespace
}  // namespace tarnwick
