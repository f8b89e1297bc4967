#include "harness.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "fixtures/files.h"
#include "scenarios.h"
#include "writers/mpi_writer.h"

namespace tarnwick::bench {
namespace {

using fixtures::ReadAll;
using fixtures::TempDir;

TEST(StreamedPackage, IsTheSameFileAsTheWriterBuildsAndReadsAsValid) {
  TempDir dir;
  // Not a whole number of the writer's pieces, so the last piece is a short one.
  const int64_t size = (int64_t{5} << 19) + 7;
  StreamedPackage streamed;
  streamed.target = 3;
  streamed.resource_id = 8800;
  streamed.payload_size = size;
  ASSERT_FALSE(WriteStreamedPackage(dir / "streamed.mpi", streamed));

  fixtures::MpiPackage built;
  built.title = streamed.title;
  built.readme = "Benchmark payload.\r\n";
  built.rows.push_back({1, 3, 8800, PatternText(static_cast<size_t>(size)), {}, {}});
  EXPECT_EQ(ReadAll(dir / "streamed.mpi"), fixtures::BuildMpi(built));

  PackageHeader header;
  ASSERT_EQ(ReadPackage(dir / "streamed.mpi", header), PackageRead::kValid);
  EXPECT_EQ(header.resources[1].dataLength, size);
  EXPECT_EQ(header.resources[1].dataOffset + size,
            static_cast<int64_t>(ReadAll(dir / "streamed.mpi").size()));
}

TEST(StreamedPackage, RefusesPayloadsTheFormatCannotCount) {
  TempDir dir;
  StreamedPackage streamed;
  streamed.payload_size = int64_t{1} << 31;
  EXPECT_TRUE(WriteStreamedPackage(dir / "too-large.mpi", streamed));
  streamed.payload_size = -1;
  EXPECT_TRUE(WriteStreamedPackage(dir / "negative.mpi", streamed));
}

// The parent holds far more memory than the children; a peak that counted the parent's pages
// (as ru_maxrss of a spawned child does) would show it in the idle child.
TEST(ChildPeak, IsTheChildsOwnMemoryOnly) {
  TempDir dir;
  std::vector<unsigned char> parent(size_t{192} << 20);
  FillPattern(parent.data(), parent.size(), 1);
  const std::string peak = dir / "peak.txt";

  ChildRun run = RunChild({TARNWICK_BENCH_PROGRAM, "--child", "touch", "0", "-", peak});
  ASSERT_EQ(run.exit_code, 0);
  const int64_t idle = ReadPeak(peak);
  EXPECT_GT(idle, 0);
  EXPECT_LT(idle, 64 * 1024);

  run = RunChild({TARNWICK_BENCH_PROGRAM, "--child", "touch", "96", "-", peak});
  ASSERT_EQ(run.exit_code, 0);
  EXPECT_GE(ReadPeak(peak), 96 * 1024);
  EXPECT_LT(ReadPeak(peak), 160 * 1024);
}

TEST(ChildPeak, AFailedChildLeavesNoPeakAndReportsItsExit) {
  TempDir dir;
  const std::string peak = dir / "peak.txt";
  EXPECT_EQ(ReadPeak(peak), -1);
  const ChildRun run =
      RunChild({TARNWICK_BENCH_PROGRAM, "--child", "install", dir.path(), dir / "none.mpi", peak});
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_FALSE(RunChild({dir / "no-such-program"}).started);
}

TEST(FittingPayload, HalvesUntilPackageAndArchiveGrowthFit) {
  constexpr int64_t kMiB = int64_t{1} << 20;
  EXPECT_EQ(FittingPayload(1024 * kMiB, 10240 * kMiB), 1024 * kMiB);
  EXPECT_EQ(FittingPayload(1024 * kMiB, 1024 * kMiB), 256 * kMiB);
  EXPECT_EQ(FittingPayload(1024 * kMiB, 513 * kMiB), std::nullopt);
  EXPECT_EQ(FittingPayload(1024 * kMiB, 514 * kMiB), 1 * kMiB);
}

class SmallRoundTrip : public ::testing::Test {
 protected:
  void SetUp() override {
    archive_ = BuildSmallArchive(40, 100);
    ASSERT_FALSE(MakeBenchGame(dir_ / "game", archive_.bytes, &game_));
    package_path_ = dir_ / "small.mpi";
    fixtures::WriteAll(package_path_, BuildSmallPackage(archive_.ids, 8, 100));
    ASSERT_EQ(ReadPackage(package_path_, header_), PackageRead::kValid);
  }

  TempDir dir_;
  SmallArchive archive_;
  BenchGame game_;
  std::string package_path_;
  PackageHeader header_;
};

TEST_F(SmallRoundTrip, TimesEveryResourceAndPutsTheGameBack) {
  std::set<int32_t> ids;
  for (const ResourceEntry& row : header_.resources) ids.insert(row.resourceId / 10000);
  EXPECT_EQ(ids, (std::set<int32_t>{1, 2, 3, 4}));  // every table is searched

  RoundTrip trip;
  ASSERT_TRUE(InstallAndRemove(game_, package_path_, header_, 8, 800, &archive_.bytes, &trip));
  ASSERT_EQ(trip.resource_seconds.size(), 8u);
  for (double seconds : trip.resource_seconds) EXPECT_GT(seconds, 0);
  EXPECT_GT(trip.log_bytes, 0);
  EXPECT_EQ(ReadAll(game_.archive()), archive_.bytes);
}

TEST_F(SmallRoundTrip, RefusesToTimeWhatDidNotHappen) {
  RoundTrip trip;
  EXPECT_FALSE(InstallAndRemove(game_, package_path_, header_, 7, 800, nullptr, &trip));
  // The failed check above left the mod installed; a wrong growth is caught as well.
  EXPECT_FALSE(InstallAndRemove(game_, package_path_, header_, 8, 801, nullptr, &trip));

  BenchGame other;
  ASSERT_FALSE(MakeBenchGame(dir_ / "other", archive_.bytes, &other));
  std::string changed = archive_.bytes;
  changed[200] ^= 1;
  EXPECT_FALSE(InstallAndRemove(other, package_path_, header_, 8, 800, &changed, &trip));
}

}  // namespace
}  // namespace tarnwick::bench
