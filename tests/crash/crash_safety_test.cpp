// An install or a removal cut off at any change it makes to a file must leave a log from which
// "Remove latest" brings every game file back byte for byte.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "common/game_files.h"
#include "fixtures/bytes.h"
#include "fixtures/drs_writer.h"
#include "fixtures/files.h"
#include "fixtures/mpi_writer.h"
#include "fixtures/recording_messages.h"
#include "modlog/mod_log.h"

namespace tarnwick {
namespace {

namespace fs = std::filesystem;
using fixtures::Bytes;
using fixtures::DrsResource;
using fixtures::DrsTable;

using Snapshot = std::map<std::string, std::string>;  // file name -> bytes

std::string Pattern(size_t size, int seed) {
  std::string bytes(size, '\0');
  uint32_t state = static_cast<uint32_t>(seed) * 2654435761u + 1;
  for (char& c : bytes) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 24);
  }
  return bytes;
}

// A sprite the icon step can rebuild: header, `frames` frame rows, then some frame data.
std::string Sprite(int frames, int seed) {
  Bytes sprite;
  sprite.Text("2.0N", 4).I32(frames).Text("sprite", 24);
  const int32_t data_at = 32 + 32 * frames;
  for (int f = 0; f < frames; ++f) {
    sprite.I32(data_at + 8).I32(data_at).I32(0).I32(0x10).I32(2).I32(2).I32(0).I32(0);
  }
  sprite.I16(0).I16(0).I16(0).I16(0).Raw(Pattern(40, seed));
  return sprite.str();
}

std::vector<DrsResource> Run(int32_t first, int count, size_t size, int seed) {
  std::vector<DrsResource> resources;
  for (int i = 0; i < count; ++i) resources.push_back({first + i, Pattern(size + i, seed + i)});
  return resources;
}

std::vector<DrsResource> Sprites(int32_t first, int count) {
  std::vector<DrsResource> resources;
  for (int i = 0; i < count; ++i) resources.push_back({first + i, Sprite(3, first + i)});
  return resources;
}

Snapshot PristineGame() {
  Snapshot game;
  game["gamedata.drs"] = fixtures::BuildDrs({{"anib", Run(50000, 4, 300, 1)}});
  game["graphics.drs"] =
      fixtures::BuildDrs({{" pls", Run(100, 5, 500, 2)}, {" pls", Run(3000, 3, 200, 3)}});
  game["interfac.drs"] = fixtures::BuildDrs({{" pls", Sprites(50734, 6)}});
  game["sounds.drs"] = fixtures::BuildDrs({{" vaw", Run(5000, 3, 700, 4)}});
  game["terrain.drs"] = fixtures::BuildDrs({{" pls", Run(15000, 3, 400, 5)}});
  game["gamedata_x1.drs"] = fixtures::BuildDrs({{"anib", Run(50000, 4, 320, 6)}});
  game["graphics_x1.drs"] = fixtures::BuildDrs({{" pls", Run(3300, 4, 250, 7)}});
  game["interfac_x1.drs"] =
      fixtures::BuildDrs({{" pls", Sprites(53251, 8)}, {" pls", Run(53214, 2, 90, 8)}});
  game["sounds_x1.drs"] = fixtures::BuildDrs({{" vaw", Run(8800, 3, 600, 9)}});
  game["terrain_x1.drs"] = fixtures::BuildDrs({{" pls", Run(15040, 2, 300, 10)}});
  game["language.dll"] = Pattern(70000, 11);
  game["genie.dat"] = Pattern(3000, 12);
  game["Battlegrounds.exe"] = Pattern(5000, 13);
  game["language_x1.dll"] = Pattern(4000, 14);
  game["genie_x1.dat"] = Pattern(66000, 15);
  game["Battlegrounds_x1.exe"] = Pattern(5000, 16);
  return game;
}

// Touches archives of both kinds, replaces files (one of them twice) and rebuilds icons.
std::string Package() {
  Bytes icon;
  icon.I32(0x0F).I32(2).I32(2).I32(0).I32(3).Raw("\x04\x01\x02\x0f\x04\x03\x04\x0f");
  fixtures::MpiPackage package;
  package.title = "Everything at once";
  package.rows = {
      {1, 1, 100, Pattern(70000, 20)},    // graphics.drs, two blocks
      {2, 1, 3300, Pattern(900, 21)},     // graphics_x1.drs
      {5, 6, 0, Pattern(1000, 22)},       // language.dll
      {3, 0, 50001, Pattern(64000, 23)},  // gamedata_x1.drs, one whole block
      {6, 0, 2, icon.str()},              // frame 2 of four icons in interfac_x1.drs
      {5, 6, 0, Pattern(64001, 24)},      // language.dll again
      {5, 10, 0, Pattern(500, 25)},       // genie_x1.dat
      {1, 3, 8800, Pattern(10, 26)},      // sounds_x1.drs
      {1, 1, 100, Pattern(300, 27)},      // graphics.drs, the same id again
  };
  return fixtures::BuildMpi(package);
}

class CrashSafety : public ::testing::Test {
 protected:
  void SetUp() override {
    game_ = root_ / "game";
    temp_ = root_ / "tmp";
    package_ = root_ / "everything.mpi";
    fixtures::WriteAll(package_, Package());
    pristine_ = PristineGame();
  }

  // Lays the folder out exactly as `files` says, nothing else in it.
  void Restore(const Snapshot& files) {
    std::error_code ignored;
    fs::remove_all(game_, ignored);
    fs::remove_all(temp_, ignored);
    fs::create_directories(game_);
    fs::create_directories(temp_);
    for (const auto& [name, bytes] : files) fixtures::WriteAll(game_ + "/" + name, bytes);
  }

  Snapshot Folder() const {
    Snapshot files;
    for (const auto& entry : fs::directory_iterator(game_)) {
      files[entry.path().filename().string()] = fixtures::ReadAll(entry.path().string());
    }
    return files;
  }

  // Runs the driver; with a cut point, the shim cuts it off there. Returns the exit status.
  int Drive(const std::string& command, long cut_at = 0, const char* mode = "kill",
            long* changes_counted = nullptr) {
    std::string line = "TMPDIR='" + temp_ + "' ";
    if (cut_at > 0 || changes_counted != nullptr) {
      line += "LD_PRELOAD='" TARNWICK_FAULT_SHIM
              "' ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0 ";
      line += "TARNWICK_FAULT_AT=" + std::to_string(cut_at) + " TARNWICK_FAULT_MODE=" + mode + " ";
    }
    const std::string report = root_ / "count";
    if (changes_counted != nullptr) line += "TARNWICK_FAULT_REPORT='" + report + "' ";
    line += "'" TARNWICK_DRIVER "' " + command + " '" + game_ + "'";
    if (command == "install") line += " '" + package_ + "'";
    line += " 2>/dev/null";
    const int status = std::system(line.c_str());
    if (changes_counted != nullptr) *changes_counted = std::stol(fixtures::ReadAll(report));
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  // Every game file as it was before the mod, and no mod left in the log.
  void ExpectPristine(const std::string& what) {
    for (const auto& [name, bytes] : pristine_) {
      ASSERT_EQ(fixtures::ReadAll(game_ + "/" + name), bytes) << name << " differs after " << what;
    }
    ModLog log;
    log.LogPath = game_ + "/mods.log";
    fixtures::RecordingMessages messages;
    const GameFiles files = MakeGameFiles(game_ + "/", game_ + "/");
    ASSERT_FALSE(ReadModLog(log, files, messages)) << what;
    EXPECT_EQ(log.ModCount(), 0) << what;
  }

  fixtures::TempDir root_;
  std::string game_;
  std::string temp_;
  std::string package_;
  Snapshot pristine_;
};

const char* const kModes[] = {"kill", "torn", "enospc", "eacces"};

TEST_F(CrashSafety, InstallCutOffAtEveryChangeIsUndoneByRemoval) {
  Restore(pristine_);
  long changes = 0;
  ASSERT_EQ(Drive("install", 0, "kill", &changes), 0);
  ASSERT_GT(changes, 30);
  ASSERT_NE(fixtures::ReadAll(game_ + "/language.dll"), pristine_["language.dll"]);
  ASSERT_EQ(Drive("remove"), 0);
  ExpectPristine("a whole install");

  int runs = 0;
  for (const char* mode : kModes) {
    for (long cut = 1; cut <= changes; ++cut) {
      Restore(pristine_);
      // Some cuts hit steps whose failure is ignored (removing a temporary sprite); the install
      // then completes, and its removal must restore the game just the same.
      Drive("install", cut, mode);
      Drive("remove");
      ExpectPristine("install cut at change " + std::to_string(cut) + " (" + mode + ")");
      if (HasFatalFailure()) return;
      ++runs;
    }
  }
  std::cout << "[ cut points ] install: " << changes << " changes, " << runs << " runs\n";
  RecordProperty("install_cut_points", static_cast<int>(changes));
}

TEST_F(CrashSafety, RemovalCutOffAtEveryChangeCanBeRunAgain) {
  Restore(pristine_);
  ASSERT_EQ(Drive("install"), 0);
  const Snapshot installed = Folder();
  long changes = 0;
  ASSERT_EQ(Drive("remove", 0, "kill", &changes), 0);
  ExpectPristine("a whole removal");
  ASSERT_GT(changes, 20);

  int runs = 0;
  for (const char* mode : kModes) {
    for (long cut = 1; cut <= changes; ++cut) {
      Restore(installed);
      Drive("remove", cut, mode);
      Drive("remove");
      ExpectPristine("removal cut at change " + std::to_string(cut) + " (" + mode + ")");
      if (HasFatalFailure()) return;
      ++runs;
    }
  }
  std::cout << "[ cut points ] removal: " << changes << " changes, " << runs << " runs\n";
  RecordProperty("removal_cut_points", static_cast<int>(changes));
}

}  // namespace
}  // namespace tarnwick
