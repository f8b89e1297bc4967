// Building a folder gives the package it was unpacked from, byte for byte, whatever the layout;
// and the sample mods' folders in mods/ build to the packages of the demo game.

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <set>

#include "fixtures/files.h"
#include "pack_run.h"
#include "package_layout.h"
#include "writers/mpi_writer.h"
#include "writers/sandbox.h"
#include "writers/slp.h"

namespace tarnwick {
namespace {

namespace fs = std::filesystem;
using fixtures::MpiPackage;
using fixtures::MpiRow;

std::string Bytes(size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 31 + i / 253 + seed * 7);
  return bytes;
}

int64_t TableEnd(const MpiPackage& package) {
  return 14 + static_cast<int64_t>(package.title.size() + package.readme.size()) +
         14 * static_cast<int64_t>(package.rows.size());
}

// A package whose rows point into `body`, which follows the table: rows are (offset into the
// body, or into the file when `absolute`, and length).
struct Stretch {
  int32_t offset;
  int32_t length;
  bool absolute = false;
};
std::string OddPackage(MpiPackage package, const std::vector<Stretch>& stretches,
                       const std::string& body) {
  const int64_t table_end = TableEnd(package);
  for (size_t i = 0; i < package.rows.size(); ++i) {
    MpiRow& row = package.rows[i];
    row.payload.clear();
    row.length = stretches[i].length;
    row.offset = static_cast<int32_t>(stretches[i].absolute ? stretches[i].offset
                                                            : table_end + stretches[i].offset);
  }
  return fixtures::BuildMpi(package) + body;
}

class RoundTrip : public ::testing::Test {
 protected:
  // Unpacks `bytes`, builds the folder again and expects the same bytes: with the program, or,
  // for the many random packages, with the library it runs.
  void ExpectRoundTrip(const std::string& bytes, const std::string& what, bool in_process = false) {
    const std::string package = dir_ / "package.mpi";
    const std::string folder = dir_ / ("folder" + std::to_string(++count_));
    const std::string rebuilt = dir_ / "rebuilt.mpi";
    fixtures::WriteAll(package, bytes);
    if (in_process) {
      std::vector<std::string> errors;
      ASSERT_TRUE(pack::UnpackPackage(package, folder, errors)) << what << "\n" << errors[0];
      ASSERT_TRUE(pack::BuildPackage(folder, rebuilt, errors)) << what << "\n" << errors[0];
    } else {
      const Ran unpacked = RunPack({"unpack", package, folder}, dir_);
      ASSERT_EQ(unpacked.status, 0) << what << "\n" << unpacked.err;
      const Ran built = RunPack({"build", folder, "-o", rebuilt}, dir_);
      ASSERT_EQ(built.status, 0) << what << "\n" << built.err;
    }
    EXPECT_TRUE(fixtures::ReadAll(rebuilt) == bytes) << what;
    fs::remove_all(folder);
  }

  fixtures::TempDir dir_;
  int count_ = 0;
};

TEST_F(RoundTrip, EverySampleModFolderBuildsTheDemoGamesPackage) {
  std::set<std::string> folders;
  for (const auto& entry : fs::directory_iterator(TARNWICK_MODS_DIR)) {
    if (entry.is_directory()) folders.insert(entry.path().filename().string());
  }
  std::set<std::string> samples;
  for (const fixtures::SampleMod& mod : fixtures::SampleMods()) {
    const std::string name = fs::path(mod.file_name).stem().string();
    samples.insert(name);
    const std::string output = dir_ / mod.file_name;
    const Ran built =
        RunPack({"build", std::string(TARNWICK_MODS_DIR) + "/" + name, "-o", output}, dir_);
    ASSERT_EQ(built.status, 0) << built.err;
    EXPECT_TRUE(fixtures::ReadAll(output) == fixtures::BuildMpi(mod.package))
        << name << " differs from SampleMods(): tools/pack/write-sample-mod-folders.sh writes "
        << "the folders again";

    // The folders are the unpacked packages, file for file, so neither side drifts alone.
    const std::string unpacked = dir_ / name;
    const Ran ran = RunPack({"unpack", output, unpacked}, dir_);
    ASSERT_EQ(ran.status, 0) << ran.err;
    // A broken package is unpacked too, so that it can be mended, with a word about it.
    EXPECT_EQ(ran.out.find("The installer refuses this package") != std::string::npos, !mod.valid)
        << ran.out;
    for (const auto& file : fs::directory_iterator(unpacked)) {
      const fs::path committed = fs::path(TARNWICK_MODS_DIR) / name / file.path().filename();
      EXPECT_TRUE(fixtures::Exists(committed.string()) &&
                  fixtures::ReadAll(committed.string()) == fixtures::ReadAll(file.path().string()))
          << committed;
    }
    ExpectRoundTrip(fixtures::BuildMpi(mod.package), name);
  }
  EXPECT_EQ(folders, samples);
}

// Every title byte, a payload of several blocks, odd codes and masks, through the program; the
// layouts other tools make (payloads in any order, shared, overlapping, outside the file, inside
// the header, of negative length) are RandomPackagesComeBackByteForByte's.
TEST_F(RoundTrip, EveryTitleByteAndALongPayloadComeBackByteForByte) {
  MpiPackage texts;
  for (int byte = 0; byte < 256; ++byte) texts.title += static_cast<char>(byte);
  texts.title += "\"quoted\" \\ back";
  texts.readme =
      "\xEF\xBB\xBF"
      "caf\xC3\xA9\r\n\x81\x00 end";
  texts.rows = {{5, 200, 12345, Bytes(130001, 5)},
                {6, 77, -3, fixtures::BuildIconPayload(-0x7FFFFF01, fixtures::PixelGrid(3, 2, 5))}};
  ExpectRoundTrip(fixtures::BuildMpi(texts), "texts");
}

// Random valid packages, canonical and not, from a fixed seed.
TEST_F(RoundTrip, RandomPackagesComeBackByteForByte) {
  std::mt19937 random(20261206);
  const auto pick = [&](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };
  for (int round = 0; round < 400; ++round) {
    MpiPackage package;
    package.magic = pick(0, 1) ? "MPI 0.6 " : "MPI 0.5 ";
    package.title = Bytes(static_cast<size_t>(pick(0, 40)), static_cast<unsigned>(pick(0, 255)));
    package.readme = Bytes(static_cast<size_t>(pick(0, 200)), static_cast<unsigned>(pick(0, 99)));
    const int rows = pick(1, 6);
    for (int r = 0; r < rows; ++r) {
      MpiRow row;
      row.type = static_cast<uint8_t>(pick(1, 6));
      row.target = static_cast<uint8_t>(row.type <= 4 ? pick(0, 4) : pick(0, 255));
      row.id = static_cast<int32_t>(random());
      row.payload = Bytes(static_cast<size_t>(pick(0, 60)), static_cast<unsigned>(r));
      package.rows.push_back(std::move(row));
    }
    if (pick(0, 1) == 0) {
      ExpectRoundTrip(fixtures::BuildMpi(package), "canonical round " + std::to_string(round),
                      true);
      continue;
    }
    const std::string body = Bytes(static_cast<size_t>(pick(0, 400)), static_cast<unsigned>(round));
    const int size = static_cast<int>(body.size());
    std::vector<Stretch> stretches;
    for (int r = 0; r < rows; ++r) {
      switch (pick(0, 5)) {
        case 0:  // anywhere, even outside the file or with a negative length
          stretches.push_back({pick(-100, size + 100), pick(-10, 100), pick(0, 1) == 1});
          break;
        default: {
          const int offset = pick(0, size);
          stretches.push_back({offset, pick(0, size - offset)});
        }
      }
    }
    ExpectRoundTrip(OddPackage(package, stretches, body), "odd round " + std::to_string(round),
                    true);
    if (HasFatalFailure() || HasFailure()) return;
  }
}

}  // namespace
}  // namespace tarnwick
