#include <fcntl.h>
#include <signal.h>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "install/install_setup.h"

namespace tarnwick {
namespace {

using fixtures::MpiRow;
using fixtures::ResourceData;
using testing_install::Payload;
using testing_install::Texts;

constexpr char kInvalidPackage[] =
    "Specified MPI file is invalid or corrupted! Installation incomplete. Make sure you have the "
    "latest version of the mod installer.";
constexpr char kGeneric[] = "Error installing mod! Unable to continue.";

class RecordingProgress : public Progress {
 public:
  void Begin(int resource_count) override { begun.push_back(resource_count); }
  void Update(int resource, int64_t bytes) override { updates.push_back({resource, bytes}); }
  void End() override { ++ended; }

  std::vector<int> begun;
  std::vector<std::pair<int, int64_t>> updates;
  int ended = 0;
};

class InstallModTest : public testing_install::InstallTest {
 protected:
  void SetUp() override {
    WriteArchive(kGraphicsDrs, {{"bmp ", {{100, "old-100"}, {300, "old-300"}}}});
    WriteArchive(kTerrainDrs, {{"slp ", {{15000, "old terrain"}}}});
    ASSERT_FALSE(ReadModLog(log, files, messages));  // saved, empty, as start-up leaves it
    log_before_ = DiskLogText();
    graphics_before_ = Archive(kGraphicsDrs);
  }

  bool Install(std::vector<MpiRow> rows, Progress* progress = nullptr) {
    WritePackage(std::move(rows), "Sharper walkers");
    messages.boxes.clear();
    return InstallMod(Path("mod.mpi"), header, log, files, false, messages, progress);
  }
  void ExpectNoTrace() {
    EXPECT_EQ(DiskLogText(), log_before_);
    EXPECT_EQ(Archive(kGraphicsDrs), graphics_before_);
  }

  std::string log_before_;
  std::string graphics_before_;
};

TEST_F(InstallModTest, InstallsEveryResourceInOrderBackToBack) {
  const std::string big = Payload(70000);
  const auto s = static_cast<int32_t>(graphics_before_.size());
  RecordingProgress progress;
  ASSERT_FALSE(
      Install({{1, 1, 100, big, {}, {}}, {2, 1, 300, "tiny!", {}, {}}, {3, 4, 15000, "", {}, {}}},
              &progress));
  EXPECT_TRUE(messages.boxes.empty());

  const std::string graphics = Archive(kGraphicsDrs);
  EXPECT_EQ(graphics.size(), graphics_before_.size() + 70005);
  EXPECT_EQ(ResourceData(graphics, 100), big);
  EXPECT_EQ(ResourceData(graphics, 300), "tiny!");
  const ModLog disk = DiskLog();
  ASSERT_EQ(disk.ModCount(), 1);
  EXPECT_EQ(disk.Mods[1].Name, "Sharper walkers");
  ASSERT_EQ(disk.Mods[1].ChangeCount(), 3);
  EXPECT_EQ(disk.Mods[1].Changes[2].OldState, s + 70000);
  EXPECT_EQ(disk.Mods[1].Changes[3].FileIndex, kTerrainDrs);
  EXPECT_EQ(disk.FileState[kGraphicsDrs], static_cast<int32_t>(graphics.size()));

  EXPECT_EQ(progress.begun, std::vector<int>{3});
  EXPECT_EQ(progress.ended, 1);
  ASSERT_FALSE(progress.updates.empty());
  for (size_t k = 1; k < progress.updates.size(); ++k) {
    EXPECT_GE(progress.updates[k].first, progress.updates[k - 1].first);
    EXPECT_GE(progress.updates[k].second, progress.updates[k - 1].second);
  }
  EXPECT_EQ(progress.updates.back(), (std::pair<int, int64_t>{3, 70005}));
}

TEST_F(InstallModTest, ARejectedRowLeavesTheEarlierChangesRecordedAsIncomplete) {
  EXPECT_TRUE(Install({{1, 1, 100, "first", {}, {}},
                       {1, 1, 999, "absent id", {}, {}},
                       {1, 1, 300, "never", {}, {}}}));
  EXPECT_EQ(messages.Errors(), Texts{kInvalidPackage});
  const ModLog disk = DiskLog();
  ASSERT_EQ(disk.ModCount(), 1);
  EXPECT_EQ(disk.Mods[1].Name, "Sharper walkers (incomplete)");
  ASSERT_EQ(disk.Mods[1].ChangeCount(), 1);
  EXPECT_EQ(disk.Mods[1].Changes[1].OldState, static_cast<int32_t>(graphics_before_.size()));
  const std::string graphics = Archive(kGraphicsDrs);
  EXPECT_EQ(graphics.size(), graphics_before_.size() + 5);
  EXPECT_EQ(ResourceData(graphics, 100), "first");
  EXPECT_EQ(ResourceData(graphics, 300), "old-300");
}

TEST_F(InstallModTest, AFirstRowThatCannotBeInstalledLeavesNoTrace) {
  EXPECT_TRUE(Install({{1, 1, 100, "data", 5000, {}}}));  // reaches past the package's end
  EXPECT_EQ(messages.Errors(), Texts{kInvalidPackage});
  EXPECT_TRUE(Install({{1, 4, 15040, "cc", {}, {}}}));  // the expansion's terrain, without it
  EXPECT_EQ(messages.Errors(), Texts{testing_install::kCcNeeded});
  ExpectNoTrace();
}

TEST_F(InstallModTest, FailuresBeforeTheFirstChangeTakeTheGenericMessage) {
  EXPECT_TRUE(InstallMod(Path("absent.mpi"), header, log, files, false, messages, nullptr));
  EXPECT_EQ(messages.Errors(), Texts{kGeneric});

  fixtures::WriteAll(log.LogPath, "Mod Log v2.1\r\nwarning\r\nnot a number\r\n");
  EXPECT_TRUE(Install({{1, 1, 100, "data", {}, {}}}));
  EXPECT_EQ(messages.Errors(), (Texts{"Error reading from log file!", kGeneric}));

  fixtures::WriteAll(log.LogPath, log_before_);
  ASSERT_FALSE(DeleteFile(File(kGraphicsDrs)));
  EXPECT_TRUE(Install({{1, 1, 100, "data", {}, {}}}));
  EXPECT_EQ(messages.Errors(), Texts{kGeneric});
  EXPECT_EQ(DiskLogText(), log_before_);
}

TEST_F(InstallModTest, AnUnsavableLogStopsTheInstallBeforeTheGameChanges) {
  fixtures::MakeFolders(log.LogPath + "_");  // the log's temporary sibling can't be made
  // A package whose only row is skipped fails alike, when it saves the log at its end.
  for (const MpiRow& row : {MpiRow{1, 1, 100, "data", {}, {}}, MpiRow{5, 8, 0, "cc", {}, {}}}) {
    EXPECT_TRUE(Install({row}));
    EXPECT_EQ(messages.Errors(), (Texts{"Cannot save log file!", kGeneric}));
  }
  ExpectNoTrace();
}

TEST_F(InstallModTest, AModWhoseRowsAreAllSkippedIsStillRecorded) {
  EXPECT_FALSE(Install({{5, 8, 0, "cc language library", {}, {}}}));
  EXPECT_TRUE(messages.boxes.empty());
  const ModLog disk = DiskLog();
  ASSERT_EQ(disk.ModCount(), 1);
  EXPECT_EQ(disk.Mods[1].Name, "Sharper walkers");
  EXPECT_EQ(disk.Mods[1].ChangeCount(), 0);
}

#ifndef _WIN32
// The system refuses to open a running program's file for writing (text file busy), as it refuses
// a locked file.
TEST_F(InstallModTest, AnArchiveInUseTakesTheGameRunningMessage) {
  const std::string path = File(kGraphicsDrs);
  fixtures::WriteAll(path, fixtures::ReadAll("/bin/sleep"));
  ASSERT_EQ(::chmod(path.c_str(), 0755), 0);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::execl(path.c_str(), path.c_str(), "30", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  bool busy = false;
  for (int tries = 0; tries < 200 && !busy; ++tries) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    busy = fd < 0 && errno == ETXTBSY;
    if (fd >= 0) ::close(fd);
    if (!busy) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (busy) {
    EXPECT_TRUE(Install({{1, 1, 100, "data", {}, {}}}));
    EXPECT_EQ(messages.Errors(), Texts{"Error installing mod! Unable to continue. Make sure SWGB "
                                       "is not currently running."});
    EXPECT_EQ(DiskLogText(), log_before_);
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  if (!busy) GTEST_SKIP() << "this system lets running programs be written";
}

// A write beyond the process's file size limit fails as a full disk would (EFBIG).
TEST_F(InstallModTest, AFullDiskTakesItsMessageWithTheChangeAlreadyRecorded) {
  WritePackage({{1, 1, 100, Payload(300000), {}, {}}}, "Sharper walkers");
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit lowered = saved;
  lowered.rlim_cur = 100000;
  const sighandler_t saved_handler = ::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &lowered), 0);
  const bool failed = InstallMod(Path("mod.mpi"), header, log, files, false, messages, nullptr);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, saved_handler);
  EXPECT_TRUE(failed);
  EXPECT_EQ(messages.Errors(), Texts{"Out of disk space! Unable to continue."});

  // Removal can undo what reached the archive: the log names it.
  const ModLog disk = DiskLog();
  ASSERT_EQ(disk.ModCount(), 1);
  EXPECT_EQ(disk.Mods[1].Name, "Sharper walkers (incomplete)");
  ASSERT_EQ(disk.Mods[1].ChangeCount(), 1);
  EXPECT_EQ(disk.Mods[1].Changes[1].OldState, static_cast<int32_t>(graphics_before_.size()));
  EXPECT_EQ(ResourceData(Archive(kGraphicsDrs), 100), "old-100");
}
#endif

}  // namespace
}  // namespace tarnwick
