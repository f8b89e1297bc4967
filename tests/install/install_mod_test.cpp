#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "writers/mpi_writer.h"
#include "install/install.h"
#include "install/install_setup.h"
#include "package/package.h"

namespace tarnwick {
namespace {

using fixtures::MpiPackage;
using fixtures::MpiRow;
using testing_install::GameSetup;
using testing_install::Payload;

constexpr char kInvalidPackage[] =
    "Specified MPI file is invalid or corrupted! Installation incomplete. Make sure you have the "
    "latest version of the mod installer.";
constexpr char kGameRunning[] =
    "Error installing mod! Unable to continue. Make sure SWGB is not currently running.";
constexpr char kDiskFull[] = "Out of disk space! Unable to continue.";
constexpr char kGeneric[] = "Error installing mod! Unable to continue.";

using Texts = std::vector<std::string>;

class RecordingProgress : public Progress {
 public:
  void Begin(int resource_count) override { begun.push_back(resource_count); }
  void Update(int resource, int64_t bytes_copied) override {
    updates.push_back({resource, bytes_copied});
  }
  void End() override { ++ended; }

  std::vector<int> begun;
  std::vector<std::pair<int, int64_t>> updates;
  int ended = 0;
};

class InstallModTest : public ::testing::Test {
 protected:
  void SetUp() override {
    game_.WriteArchive(kGraphicsDrs, {{"bmp ", {{100, "old-100"}, {300, "old-300"}}}});
    game_.WriteArchive(kTerrainDrs, {{"slp ", {{15000, "old terrain"}}}});
    game_.WriteArchive(kTerrainDrs + kCcOffset, {{"slp ", {{15040, "old cc terrain"}}}});
  }

  bool Install(const MpiPackage& package, bool cc = false) {
    const std::string path = game_ / "mod.mpi";
    fixtures::WriteAll(path, fixtures::BuildMpi(package));
    PackageHeader header;
    EXPECT_EQ(ReadPackage(path, header), PackageRead::kValid);
    return InstallMod(path, header, game_.log, game_.files, cc, game_.messages, &progress_);
  }

  static MpiPackage Package(std::vector<MpiRow> rows) {
    MpiPackage package;
    package.title = "Sharper walkers";
    package.rows = std::move(rows);
    return package;
  }

  // Creates the log as start-up does, so that each test starts from a saved, empty log.
  void StartLog() { ASSERT_FALSE(ReadModLog(game_.log, game_.files, game_.messages)); }

  GameSetup game_;
  RecordingProgress progress_;
};

TEST_F(InstallModTest, InstallsEveryResourceInOrderAndNamesTheEntry) {
  const std::string big = Payload(70000, 1);
  const std::string graphics_before = game_.Archive(kGraphicsDrs);
  ASSERT_FALSE(Install(Package(
      {{1, 1, 100, big, {}, {}}, {2, 1, 300, "tiny!", {}, {}}, {3, 4, 15000, "", {}, {}}})));
  EXPECT_TRUE(game_.messages.boxes.empty());

  const std::string graphics = game_.Archive(kGraphicsDrs);
  EXPECT_EQ(graphics.size(), graphics_before.size() + 70005);
  EXPECT_EQ(fixtures::ResourceData(graphics, 100), big);
  EXPECT_EQ(fixtures::ResourceData(graphics, 300), "tiny!");
  const auto entries = fixtures::ParseDrsEntries(graphics);
  EXPECT_EQ(entries[1].offset, entries[0].offset + 70000);

  const ModLog disk = game_.DiskLog();
  ASSERT_EQ(disk.ModCount(), 1);
  EXPECT_EQ(disk.Mods[1].Name, "Sharper walkers");
  ASSERT_EQ(disk.Mods[1].ChangeCount(), 3);
  EXPECT_EQ(disk.Mods[1].Changes[1].FileIndex, kGraphicsDrs);
  EXPECT_EQ(disk.Mods[1].Changes[2].OldState, static_cast<int32_t>(graphics_before.size() + 70000));
  EXPECT_EQ(disk.Mods[1].Changes[3].FileIndex, kTerrainDrs);
  EXPECT_EQ(disk.Mods[1].Changes[3].OldSize, 11);
  EXPECT_EQ(disk.FileState[kGraphicsDrs], static_cast<int32_t>(graphics.size()));
  EXPECT_EQ(game_.log.Mods.back().Name, "Sharper walkers");

  EXPECT_EQ(progress_.begun, std::vector<int>{3});
  EXPECT_EQ(progress_.ended, 1);
  ASSERT_FALSE(progress_.updates.empty());
  for (size_t k = 1; k < progress_.updates.size(); ++k) {
    EXPECT_GE(progress_.updates[k].first, progress_.updates[k - 1].first);
    EXPECT_GE(progress_.updates[k].second, progress_.updates[k - 1].second);
  }
  EXPECT_EQ(progress_.updates.back(), (std::pair<int, int64_t>{3, 70005}));
}

TEST_F(InstallModTest, ARejectedRowLeavesTheEarlierChangesRecordedAsIncomplete) {
  StartLog();
  const std::string graphics_before = game_.Archive(kGraphicsDrs);
  EXPECT_TRUE(Install(Package({{1, 1, 100, "first", {}, {}},
                               {1, 1, 999, "absent id", {}, {}},
                               {1, 1, 300, "never", {}, {}}})));
  EXPECT_EQ(game_.messages.Errors(), Texts{kInvalidPackage});
  EXPECT_EQ(progress_.ended, 1);

  const ModLog disk = game_.DiskLog();
  ASSERT_EQ(disk.ModCount(), 1);
  EXPECT_EQ(disk.Mods[1].Name, "Sharper walkers (incomplete)");
  ASSERT_EQ(disk.Mods[1].ChangeCount(), 1);
  EXPECT_EQ(disk.Mods[1].Changes[1].OldState, static_cast<int32_t>(graphics_before.size()));
  const std::string graphics = game_.Archive(kGraphicsDrs);
  EXPECT_EQ(fixtures::ResourceData(graphics, 100), "first");
  EXPECT_EQ(fixtures::ResourceData(graphics, 300), "old-300");
  EXPECT_EQ(graphics.size(), graphics_before.size() + 5);
}

TEST_F(InstallModTest, AFirstRowThatCannotBeInstalledLeavesNoTrace) {
  StartLog();
  const std::string log_before = game_.DiskLogText();
  const std::string graphics_before = game_.Archive(kGraphicsDrs);

  // A payload said to reach past the end of the package.
  EXPECT_TRUE(Install(Package({{1, 1, 100, "data", 5000, {}}})));
  EXPECT_EQ(game_.messages.Errors(), Texts{kInvalidPackage});

  // Clone Campaigns terrain without the expansion: its own message and nothing more.
  game_.messages.boxes.clear();
  EXPECT_TRUE(Install(Package({{1, 4, 15040, "cc", {}, {}}})));
  ASSERT_EQ(game_.messages.Errors().size(), 1u);
  EXPECT_EQ(game_.messages.Errors()[0].rfind("This mod requires the Clone Campaigns", 0), 0u);

  EXPECT_EQ(game_.DiskLogText(), log_before);
  EXPECT_EQ(game_.Archive(kGraphicsDrs), graphics_before);

  // With the expansion the same row goes to its archive.
  game_.messages.boxes.clear();
  EXPECT_FALSE(Install(Package({{1, 4, 15040, "cc", {}, {}}}), true));
  EXPECT_EQ(fixtures::ResourceData(game_.Archive(kTerrainDrs + kCcOffset), 15040), "cc");
}

TEST_F(InstallModTest, FailuresBeforeTheFirstChangeTakeTheGenericMessage) {
  StartLog();
  const std::string log_before = game_.DiskLogText();
  PackageHeader header;
  EXPECT_TRUE(InstallMod(game_ / "absent.mpi", header, game_.log, game_.files, false,
                         game_.messages, nullptr));
  EXPECT_EQ(game_.messages.Errors(), Texts{kGeneric});

  game_.messages.boxes.clear();
  fixtures::WriteAll(game_.log.LogPath, "Mod Log v2.1\r\nwarning\r\nnot a number\r\n");
  EXPECT_TRUE(Install(Package({{1, 1, 100, "data", {}, {}}})));
  EXPECT_EQ(game_.messages.Errors(), (Texts{"Error reading from log file!", kGeneric}));

  // The archive has gone.
  fixtures::WriteAll(game_.log.LogPath, log_before);
  game_.messages.boxes.clear();
  ASSERT_EQ(::unlink(game_.files[kGraphicsDrs].c_str()), 0);
  EXPECT_TRUE(Install(Package({{1, 1, 100, "data", {}, {}}})));
  EXPECT_EQ(game_.messages.Errors(), Texts{kGeneric});
  EXPECT_EQ(game_.DiskLogText(), log_before);
}

TEST_F(InstallModTest, UnsavedLogsStopTheInstallBeforeTheGameChanges) {
  StartLog();
  const std::string log_before = game_.DiskLogText();
  const std::string graphics_before = game_.Archive(kGraphicsDrs);
  fixtures::MakeFolders(game_.log.LogPath + "_");  // the log's temporary sibling can't be made

  EXPECT_TRUE(Install(Package({{1, 1, 100, "data", {}, {}}})));
  EXPECT_EQ(game_.messages.Errors(), (Texts{"Cannot save log file!", kGeneric}));
  EXPECT_EQ(game_.Archive(kGraphicsDrs), graphics_before);

  // A package whose only row is skipped saves the log only at its end.
  game_.messages.boxes.clear();
  EXPECT_TRUE(Install(Package({{5, 8, 0, "cc language library", {}, {}}})));
  EXPECT_EQ(game_.messages.Errors(), (Texts{"Cannot save log file!", kGeneric}));
  EXPECT_EQ(game_.DiskLogText(), log_before);
}

TEST_F(InstallModTest, AllSkippedStillRecordsTheMod) {
  StartLog();
  EXPECT_FALSE(Install(Package({{5, 8, 0, "cc language library", {}, {}}})));
  EXPECT_TRUE(game_.messages.boxes.empty());
  const ModLog disk = game_.DiskLog();
  ASSERT_EQ(disk.ModCount(), 1);
  EXPECT_EQ(disk.Mods[1].Name, "Sharper walkers");
  EXPECT_EQ(disk.Mods[1].ChangeCount(), 0);
}

// A running program and a file size limit are made with POSIX calls.
#ifndef _WIN32
// A program running from the archive's file: the system refuses to open it for writing (text
// file busy), as a locked file would be refused.
class RunningProgram {
 public:
  explicit RunningProgram(const std::string& path) {
    fixtures::WriteAll(path, fixtures::ReadAll("/bin/sleep"));
    EXPECT_EQ(::chmod(path.c_str(), 0755), 0);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::execl(path.c_str(), path.c_str(), "30", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    for (int tries = 0; tries < 200 && !busy_; ++tries) {
      const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
      if (fd >= 0) {
        ::close(fd);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      } else {
        busy_ = errno == ETXTBSY;
      }
    }
  }
  ~RunningProgram() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;

  bool busy() const { return busy_; }

 private:
  pid_t pid_ = -1;
  bool busy_ = false;
};

TEST_F(InstallModTest, AnArchiveInUseTakesTheGameRunningMessage) {
  StartLog();
  const std::string log_before = game_.DiskLogText();
  RunningProgram holder(game_.files[kGraphicsDrs]);
  if (!holder.busy()) GTEST_SKIP() << "this system lets running programs be written";
  EXPECT_TRUE(Install(Package({{1, 1, 100, "data", {}, {}}})));
  EXPECT_EQ(game_.messages.Errors(), Texts{kGameRunning});
  EXPECT_EQ(game_.DiskLogText(), log_before);
}

// Lowers the largest file size this process may write; a write beyond it fails as a full disk
// would (EFBIG).
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    EXPECT_EQ(::getrlimit(RLIMIT_FSIZE, &saved_), 0);
    rlimit lowered = saved_;
    lowered.rlim_cur = bytes;
    saved_handler_ = ::signal(SIGXFSZ, SIG_IGN);
    EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &lowered), 0);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    ::signal(SIGXFSZ, saved_handler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  sighandler_t saved_handler_ = SIG_DFL;
};

TEST_F(InstallModTest, AFullDiskTakesItsMessageWithTheChangeAlreadyRecorded) {
  StartLog();
  const std::string graphics_before = game_.Archive(kGraphicsDrs);
  const std::string path = game_ / "mod.mpi";
  fixtures::WriteAll(path, fixtures::BuildMpi(Package({{1, 1, 100, Payload(300000), {}, {}}})));
  PackageHeader header;
  ASSERT_EQ(ReadPackage(path, header), PackageRead::kValid);
  bool failed = false;
  {
    FileSizeLimit limit(100000);
    failed = InstallMod(path, header, game_.log, game_.files, false, game_.messages, nullptr);
  }
  EXPECT_TRUE(failed);
  EXPECT_EQ(game_.messages.Errors(), Texts{kDiskFull});

  // Removal can undo what reached the archive: the log names it.
  const ModLog disk = game_.DiskLog();
  ASSERT_EQ(disk.ModCount(), 1);
  EXPECT_EQ(disk.Mods[1].Name, "Sharper walkers (incomplete)");
  ASSERT_EQ(disk.Mods[1].ChangeCount(), 1);
  EXPECT_EQ(disk.Mods[1].Changes[1].OldState, static_cast<int32_t>(graphics_before.size()));
  EXPECT_EQ(fixtures::ResourceData(game_.Archive(kGraphicsDrs), 100), "old-100");
}
#endif

}  // namespace
}  // namespace tarnwick
