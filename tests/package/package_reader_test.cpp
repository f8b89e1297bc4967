#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "fixtures/files.h"
#include "package/package.h"
#include "writers/mpi_writer.h"

namespace tarnwick {
namespace {

using fixtures::MpiPackage;
using fixtures::MpiRow;

class PackageReaderTest : public ::testing::Test {
 protected:
  PackageRead Read(const std::string& bytes) {
    const std::string path = dir_ / "mod.mpi";
    fixtures::WriteAll(path, bytes);
    header_ = PackageHeader{};
    return ReadPackage(path, header_);
  }
  PackageRead Read(const MpiPackage& package) { return Read(fixtures::BuildMpi(package)); }

  static MpiPackage TwoRows() {
    MpiPackage package;
    package.title = "Better \xe9wok sounds";
    package.readme = "Line one\r\nLine two\r\n";
    package.rows = {{2, 3, 6613, "sound-bytes", {}, {}}, {5, 200, 0, "whole file", {}, {}}};
    return package;
  }

  fixtures::TempDir dir_;
  PackageHeader header_;
};

TEST_F(PackageReaderTest, ReadsBothVersionsToTheSameHeader) {
  MpiPackage package = TwoRows();
  ASSERT_EQ(Read(package), PackageRead::kValid);
  const PackageHeader v06 = header_;
  EXPECT_EQ(v06.magic, "MPI 0.6 ");
  EXPECT_EQ(v06.title, package.title);
  EXPECT_EQ(v06.readme, package.readme);
  ASSERT_EQ(v06.resources.size(), 2);
  const auto payload_at =
      static_cast<int32_t>(14 + package.title.size() + package.readme.size() + 2 * 14);
  EXPECT_EQ(v06.resources[1], (ResourceEntry{2, 3, 6613, 11, payload_at}));
  // A file-replacement row's target is not checked until it is installed.
  EXPECT_EQ(v06.resources[2], (ResourceEntry{5, 200, 0, 10, payload_at + 11}));

  package.magic = "MPI 0.5 ";
  ASSERT_EQ(Read(package), PackageRead::kValid);
  EXPECT_EQ(header_.magic, "MPI 0.5 ");
  EXPECT_EQ(header_.resources, v06.resources);

  // Hostile lengths and offsets are kept for the install to judge.
  ASSERT_EQ(Read(MpiPackage{.rows = {{1, 1, -5, "x", -1, INT32_MIN}}}), PackageRead::kValid);
  EXPECT_EQ(header_.resources[1], (ResourceEntry{1, 1, -5, -1, INT32_MIN}));
}

TEST_F(PackageReaderTest, RejectsABadHeader) {
  struct Case {
    const char* magic;
    std::optional<int16_t> count, title, readme;
  };
  const std::vector<Case> cases = {
      {"MPI 0.6", {}, {}, {}},      {"mpi 0.6 ", {}, {}, {}},    {"MPI 0.7 ", {}, {}, {}},
      {"MPI 0.6\t", {}, {}, {}},    {"MPI 0.6 ", 0, {}, {}},     {"MPI 0.6 ", -1, {}, {}},
      {"MPI 0.6 ", -32768, {}, {}}, {"MPI 0.6 ", 32767, {}, {}}, {"MPI 0.6 ", {}, -1, {}},
      {"MPI 0.6 ", {}, -32768, {}}, {"MPI 0.6 ", {}, 32767, {}}, {"MPI 0.6 ", {}, {}, -1},
      {"MPI 0.6 ", {}, {}, -32768}};
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases.data());
    MpiPackage package = TwoRows();
    package.magic = c.magic;
    package.resource_count = c.count;
    package.title_length = c.title;
    package.readme_length = c.readme;
    EXPECT_EQ(Read(package), PackageRead::kInvalid);
  }
}

TEST_F(PackageReaderTest, RejectsAFileThatEndsEarlyOrCannotBeOpened) {
  const MpiPackage package = TwoRows();
  const std::string bytes = fixtures::BuildMpi(package);
  const size_t table_at = 14 + package.title.size() + package.readme.size();
  // Inside the magic, the counts, the title, the readme, the first and the last row.
  for (const size_t cut : {size_t{0}, size_t{5}, size_t{9}, size_t{13}, size_t{17}, table_at - 1,
                           table_at + 7, table_at + 27}) {
    SCOPED_TRACE(cut);
    EXPECT_EQ(Read(bytes.substr(0, cut)), PackageRead::kInvalid);
  }
  // Payloads are not the reader's business: a table that ends the file is whole.
  EXPECT_EQ(Read(bytes.substr(0, table_at + 28)), PackageRead::kValid);
  // No file, or a folder, cannot be opened.
  EXPECT_EQ(ReadPackage(dir_ / "absent.mpi", header_), PackageRead::kCannotOpen);
  fixtures::MakeFolders(dir_ / "folder.mpi");
  EXPECT_EQ(ReadPackage(dir_ / "folder.mpi", header_), PackageRead::kCannotOpen);
}

TEST_F(PackageReaderTest, TheFirstInvalidRowStopsTheReading) {
  struct Case {
    uint8_t type;
    uint8_t target;
    bool valid;
  };
  const std::vector<Case> cases = {{0, 0, false}, {7, 0, false}, {255, 0, false}, {1, 4, true},
                                   {1, 5, false}, {2, 5, false}, {3, 255, false}, {4, 4, true},
                                   {4, 5, false}, {5, 7, true},  {5, 255, true},  {6, 255, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << int{c.type} << "/" << int{c.target});
    MpiPackage package;  // empty texts: the table follows the counts
    package.title = package.readme = "";
    package.rows = {
        {1, 0, 10, "a", {}, {}}, {c.type, c.target, 11, "b", {}, {}}, {1, 0, 12, "c", {}, {}}};
    EXPECT_EQ(Read(package), c.valid ? PackageRead::kValid : PackageRead::kInvalid);
    // The rows up to the invalid one stay in the header; none after it is read.
    EXPECT_EQ(header_.resources.size(), c.valid ? 3 : 2);
    EXPECT_EQ(header_.resources[1], (ResourceEntry{1, 0, 10, 1, 14 + 3 * 14}));
    // Type 4 is held as 1.
    EXPECT_EQ(header_.resources[2].typeCode, c.type == 4 ? 1 : c.type);
    EXPECT_EQ(header_.resources[2].targetCode, c.target);
  }
}

}  // namespace
}  // namespace tarnwick
