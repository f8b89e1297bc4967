// Fixed-seed mutations of packages, archives and logs: every input must end in success or in one
// of the program's own messages, never a crash or a write outside the bytes the log records.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <random>
#include <set>
#include <string>

#include "common/game_files.h"
#include "driver_test.h"
#include "fixtures/files.h"
#include "fixtures/recording_messages.h"
#include "install/install.h"
#include "modlog/mod_log.h"
#include "modlog/removal.h"
#include "package/package.h"
#include "writers/mpi_writer.h"

namespace tarnwick {
namespace {

const std::set<std::string> kKnownMessages = {
    "Specified MPI file is invalid or corrupted! Installation incomplete. Make sure you have the "
    "latest version of the mod installer.",
    "Error reading from DRS file!",
    "Error installing mod! Unable to continue. Make sure SWGB is not currently running.",
    "Out of disk space! Unable to continue.",
    "Error installing mod! Unable to continue.",
    "This mod requires the Clone Campaigns expansion pack, which cannot be found - if you have "
    "installed it, make sure it has been run at least once. If you don't have CC, you can't use "
    "this mod until you buy it!",
    "Error reading from log file!",
    "Invalid log file! (it may have been created with a newer version of the mod installer)",
    "Cannot save log file!",
    "Error removing mod! Unable to continue. Make sure SWGB is not currently running.",
    "Error removing mod! Unable to continue.",
    "Error removing mod!",
};

class Mutator {
 public:
  explicit Mutator(uint32_t seed) : random_(seed) {}

  // Changes a few bytes in [from, to) of `bytes`, or cuts it short.
  std::string Mutate(std::string bytes, size_t from, size_t to) {
    to = std::min(to, bytes.size());
    const int changes = Pick(1, 6);
    for (int i = 0; i < changes && from < to; ++i) {
      const size_t at = from + static_cast<size_t>(Pick(0, static_cast<int>(to - from) - 1));
      const int kind = Pick(0, 4);
      if (kind == 0) bytes[at] = static_cast<char>(bytes[at] ^ (1 << Pick(0, 7)));
      if (kind == 1) bytes[at] = static_cast<char>(kBytes[Pick(0, 4)]);
      if (kind == 2 && at + 4 <= bytes.size()) {
        const auto value = static_cast<uint32_t>(kWords[Pick(0, 7)]);
        for (size_t k = 0; k < 4; ++k) bytes[at + k] = static_cast<char>(value >> (8 * k));
      }
      if (kind == 3) bytes[at] = static_cast<char>(Pick(0, 255));
      if (kind == 4 && Pick(0, 3) == 0) bytes.resize(at);
    }
    return bytes;
  }

  int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

 private:
  static constexpr unsigned char kBytes[] = {0x00, 0xFF, 0x7F, 0x80, 0x04};
  static constexpr int32_t kWords[] = {0, -1, 1, 0x7FFFFFFF, INT32_MIN, 64000, 1 << 20, -12};
  std::mt19937 random_;
};

// Runs the program's operations in this process on the sample game.
class Fuzz : public DriverTest {
 protected:
  void SetUp() override {
    DriverTest::SetUp();
    files_ = MakeGameFiles(game_ + "/", game_ + "/");
    setenv("TMPDIR", temp_.c_str(), 1);
  }
  void TearDown() override { unsetenv("TMPDIR"); }

  void ExpectKnownMessages(const fixtures::RecordingMessages& messages, const std::string& what) {
    for (const auto& box : messages.boxes) {
      EXPECT_TRUE(kKnownMessages.count(box.text) == 1)
          << what << ": unexpected \"" << box.text << '"';
    }
  }

  // Installs `package`, checks that archives changed only where the log says, removes the mod
  // again and expects `game` back byte for byte.
  void InstallAndRemove(const Snapshot& game, const std::string& package, const std::string& what) {
    Restore(game);
    fixtures::WriteAll(package_, package);
    PackageHeader header;
    if (ReadPackage(package_, header) != PackageRead::kValid) return;
    ModLog log = ReadLog();
    fixtures::RecordingMessages messages;
    (void)InstallMod(package_, header, log, files_, true, messages, nullptr);
    ExpectKnownMessages(messages, what);

    ModLog on_disk = ReadLog();
    ExpectArchivesChangedOnlyAsRecorded(game, on_disk, what);
    if (on_disk.ModCount() > 0) RemoveLatestMod(on_disk, files_, messages);
    ExpectKnownMessages(messages, what);
    for (const auto& [name, bytes] : game) {
      ASSERT_EQ(fixtures::ReadAll(game_ + "/" + name), bytes) << name << " after " << what;
    }
  }

  void ExpectArchivesChangedOnlyAsRecorded(const Snapshot& game, const ModLog& log,
                                           const std::string& what) {
    for (int index = 0; index < kGameFileCount; ++index) {
      if (!IsGameFileIndex(index) || IsReplacedFile(index)) continue;
      const std::string name = GameFileName(index);
      std::string before = game.at(name);
      const std::string after = fixtures::ReadAll(game_ + "/" + name);
      ASSERT_LE(static_cast<int64_t>(after.size()),
                std::max<int64_t>(log.FileState[index], static_cast<int64_t>(before.size())))
          << name << " grew past its recorded length after " << what;
      std::string old_part = after.substr(0, std::min(after.size(), before.size()));
      for (const ModLogEntry& mod : log.Mods) {
        for (const FileChange& change : mod.Changes) {
          if (change.FileIndex != index) continue;
          for (int64_t at = change.EntryPos + 4; at < change.EntryPos + 12; ++at) {
            if (at >= 0 && at < static_cast<int64_t>(old_part.size())) {
              old_part[static_cast<size_t>(at)] = before[static_cast<size_t>(at)];
            }
          }
        }
      }
      ASSERT_EQ(old_part, before.substr(0, old_part.size()))
          << name << " changed outside its redirected entries after " << what;
    }
  }

  GameFiles files_;
};

TEST_F(Fuzz, MutatedPackagesEndInSuccessOrTheirMessage) {
  const Snapshot game = pristine_;
  const std::string package = SamplePackage();
  PackageHeader header;
  ASSERT_EQ(ReadPackage(package_, header), PackageRead::kValid);
  const size_t table_end = 14 + header.title.size() + header.readme.size() + 14 * 9;
  Mutator mutator(20261205);
  for (int round = 0; round < 250; ++round) {
    // Mostly the header and table, sometimes the payloads (the icon payload is parsed too).
    const bool header_part = mutator.Pick(0, 2) != 0;
    const std::string mutated = header_part ? mutator.Mutate(package, 0, table_end)
                                            : mutator.Mutate(package, table_end, package.size());
    InstallAndRemove(game, mutated, "package round " + std::to_string(round));
    if (HasFatalFailure()) return;
  }
}

TEST_F(Fuzz, MutatedArchivesEndInSuccessOrTheirMessage) {
  fixtures::MpiPackage package;
  package.rows = {Row(1, 1, 101, Pattern(3000, 40)),
                  Row(6, 0, 1, FourIcons("\x04\x01\x02\x0f\x04\x03\x04\x0f"))};
  const std::string bytes = fixtures::BuildMpi(package);
  Mutator mutator(7);
  for (int round = 0; round < 200; ++round) {
    Snapshot game = pristine_;
    const char* target = round % 2 == 0 ? "graphics.drs" : "interfac_x1.drs";
    std::string& archive = game[target];
    // The directory, or (for the icon archive) the sprites the icon step copies.
    const size_t end = round % 4 == 3 ? archive.size() : std::min<size_t>(archive.size(), 400);
    archive = mutator.Mutate(archive, 0, end);
    InstallAndRemove(game, bytes, std::string(target) + " round " + std::to_string(round));
    if (HasFatalFailure()) return;
  }
}

TEST_F(Fuzz, MutatedLogsEndInSuccessOrTheirMessage) {
  Restore(pristine_);
  PackageHeader header;
  ModLog log = ReadLog();
  fixtures::RecordingMessages setup;
  ASSERT_EQ(ReadPackage(package_, header), PackageRead::kValid);
  ASSERT_FALSE(InstallMod(package_, header, log, files_, true, setup, nullptr));
  const Snapshot installed = ReadFolder(game_);

  Mutator mutator(99);
  for (int round = 0; round < 200; ++round) {
    Snapshot files = installed;
    std::string& text = files["mods.log"];
    if (round % 3 != 0) {
      text = mutator.Mutate(text, 0, text.size());
    } else {  // a whole line replaced with a hostile number or text
      const char* const kLines[] = {"-1", "2147483648", "99999999", "x", "", "28", "-5", "1e9"};
      size_t at = 0;
      for (int skip = mutator.Pick(1, 60); skip > 0 && at != std::string::npos; --skip) {
        at = text.find('\n', at + 1);
      }
      if (at != std::string::npos) {
        text.replace(at + 1, text.find('\r', at + 1) - at - 1, kLines[mutator.Pick(0, 7)]);
      }
    }
    Restore(files);
    ModLog damaged;
    damaged.LogPath = log.LogPath;
    fixtures::RecordingMessages messages;
    if (!ReadModLog(damaged, files_, messages)) RemoveLatestMod(damaged, files_, messages);
    ExpectKnownMessages(messages, "log round " + std::to_string(round));
  }
}

}  // namespace
}  // namespace tarnwick
