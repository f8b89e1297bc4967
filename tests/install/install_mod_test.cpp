#include <fcntl.h>
#include <signal.h>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <string>
#include <vector>

#include "install/install_setup.h"
#include "writers/slp.h"

namespace tarnwick {
namespace {

using fixtures::MpiRow;
using fixtures::ResourceData;

constexpr char kInvalidPackage[] =
    "Specified MPI file is invalid or corrupted! Installation incomplete. Make sure you have the "
    "latest version of the mod installer.";
constexpr char kGeneric[] = "Error installing mod! Unable to continue.";

class InstallModTest : public InstallTest {
 protected:
  void SetUp() override {
    WriteArchive(kGraphicsDrs, {{"bmp ", {{100, "old-100"}, {300, "old-300"}}}});
    WriteArchive(kTerrainDrs, {{"slp ", {{15000, "old terrain"}}}});
    ASSERT_FALSE(ReadModLog(log, files, messages));  // saved, empty, as start-up leaves it
    log_before_ = DiskLogText();
    graphics_before_ = Archive(kGraphicsDrs);
  }

  bool Install(std::vector<MpiRow> rows) {
    WritePackage(std::move(rows), "Sharper walkers");
    messages.boxes.clear();
    return InstallMod(Path("mod.mpi"), header, log, files, false, messages, nullptr);
  }
  void ExpectNoTrace() {
    EXPECT_EQ(DiskLogText(), log_before_);
    EXPECT_EQ(Archive(kGraphicsDrs), graphics_before_);
  }
  // The mod as the disk's log records it: its name and its changes' old lengths.
  void ExpectRecorded(const std::string& name, const std::vector<int32_t>& old_states) {
    const ModLog disk = DiskLog();
    ASSERT_EQ(disk.ModCount(), 1);
    EXPECT_EQ(disk.Mods[1].Name, name);
    ASSERT_EQ(disk.Mods[1].ChangeCount(), static_cast<int32_t>(old_states.size()));
    for (size_t k = 0; k < old_states.size(); ++k) {
      EXPECT_EQ(disk.Mods[1].Changes[static_cast<int32_t>(k + 1)].OldState, old_states[k]) << k;
    }
  }

  std::string log_before_;
  std::string graphics_before_;
};

TEST_F(InstallModTest, InstallsEveryResourceInOrderBackToBack) {
  const std::string big = Payload(70000);
  const auto s = static_cast<int32_t>(graphics_before_.size());
  ASSERT_FALSE(
      Install({{1, 1, 100, big, {}, {}}, {2, 1, 300, "tiny!", {}, {}}, {3, 4, 15000, "", {}, {}}}));
  const std::string graphics = Archive(kGraphicsDrs);
  EXPECT_EQ(graphics.size(), graphics_before_.size() + 70005);
  EXPECT_EQ(ResourceData(graphics, 100), big);
  EXPECT_EQ(ResourceData(graphics, 300), "tiny!");
  ExpectRecorded("Sharper walkers", {s, s + 70000, log.FileState[kTerrainDrs]});
}

TEST_F(InstallModTest, ARejectedRowLeavesTheEarlierChangesRecordedAsIncomplete) {
  EXPECT_TRUE(Install({{1, 1, 100, "first", {}, {}},
                       {1, 1, 999, "absent id", {}, {}},
                       {1, 1, 300, "never", {}, {}}}));
  EXPECT_EQ(messages.Errors(), Texts{kInvalidPackage});
  ExpectRecorded("Sharper walkers (incomplete)", {static_cast<int32_t>(graphics_before_.size())});
  EXPECT_EQ(ResourceData(Archive(kGraphicsDrs), 100), "first");
  EXPECT_EQ(ResourceData(Archive(kGraphicsDrs), 300), "old-300");
}

TEST_F(InstallModTest, FailuresBeforeTheFirstChangeLeaveNoTrace) {
  EXPECT_TRUE(Install({{1, 1, 100, "data", 5000, {}}}));  // reaches past the package's end
  EXPECT_EQ(messages.Errors(), Texts{kInvalidPackage});
  EXPECT_TRUE(Install({{1, 4, 15040, "cc", {}, {}}}));  // the expansion's terrain, without it
  EXPECT_EQ(messages.Errors(), Texts{kCcNeeded});
  ExpectNoTrace();
  fixtures::WriteAll(log.LogPath, "Mod Log v2.1\r\nwarning\r\nnot a number\r\n");
  EXPECT_TRUE(Install({{1, 1, 100, "data", {}, {}}}));
  EXPECT_EQ(messages.Errors(), (Texts{"Error reading from log file!", kGeneric}));
  EXPECT_EQ(Archive(kGraphicsDrs), graphics_before_);
}

// Every handler saves the log before it changes the game, and the install saves it at its end.
TEST_F(InstallModTest, AnUnsavableLogStopsEveryKindOfResourceBeforeTheGameChanges) {
  const fixtures::PixelGrid picture(2, 2, 5);
  WriteArchive(kInterfacDrs, {{"pls ", {{50734, fixtures::BuildSlp({{picture, 0, 0}})}}}});
  fixtures::WriteAll(File(kGenieDat), "original");
  const std::string interface_before = Archive(kInterfacDrs);
  fixtures::MakeFolders(log.LogPath + "_");  // the log's temporary sibling can't be made
  for (const MpiRow& row : {MpiRow{1, 1, 100, "data", {}, {}}, MpiRow{5, 9, 0, "new", {}, {}},
                            MpiRow{6, 0, 1, fixtures::BuildIconPayload(0x01, picture), {}, {}},
                            MpiRow{5, 8, 0, "skipped without the expansion", {}, {}}}) {
    SCOPED_TRACE(int{row.type});
    EXPECT_TRUE(Install({row}));
    EXPECT_EQ(messages.Errors(), (Texts{"Cannot save log file!", kGeneric}));
    ExpectNoTrace();
    EXPECT_EQ(Archive(kInterfacDrs), interface_before);
    EXPECT_EQ(fixtures::ReadAll(File(kGenieDat)), "original");
  }
}

TEST_F(InstallModTest, AModWhoseRowsAreAllSkippedIsStillRecorded) {
  EXPECT_FALSE(Install({{5, 8, 0, "cc language library", {}, {}}}));
  EXPECT_TRUE(messages.boxes.empty());
  ExpectRecorded("Sharper walkers", {});
}

#ifndef _WIN32
// A copy of a program, running: the system refuses to open its file for writing (text file busy)
// as Windows refuses an archive the game holds.
struct RunningProgram {
  explicit RunningProgram(const std::string& path) {
    fixtures::WriteAll(path, fixtures::ReadAll("/bin/sleep"));
    ::chmod(path.c_str(), 0700);
    pid = ::fork();
    if (pid == 0) {
      ::execl(path.c_str(), "sleep", "30", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    for (int tries = 0; tries < 200 && !busy; ++tries, ::usleep(10000)) {
      const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
      busy = fd < 0 && errno == ETXTBSY;
      if (fd >= 0) ::close(fd);
    }
  }
  ~RunningProgram() {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
  }
  pid_t pid;
  bool busy = false;
};

TEST_F(InstallModTest, AnArchiveInUseTakesTheGameRunningMessage) {
  const RunningProgram game(File(kGraphicsDrs));
  if (!game.busy) GTEST_SKIP() << "this system lets running programs be written";
  EXPECT_TRUE(Install({{1, 1, 100, "data", {}, {}}}));
  EXPECT_EQ(messages.Errors(), Texts{"Error installing mod! Unable to continue. Make sure SWGB "
                                     "is not currently running."});
  EXPECT_EQ(DiskLogText(), log_before_);
}

// A write beyond the process's file size limit fails as a full disk would (EFBIG).
TEST_F(InstallModTest, AFullDiskTakesItsMessageWithTheChangeAlreadyRecorded) {
  WritePackage({{1, 1, 100, Payload(300000), {}, {}}}, "Sharper walkers");
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const rlimit lowered{100000, saved.rlim_max};
  const sighandler_t saved_handler = ::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &lowered), 0);
  const bool failed = InstallMod(Path("mod.mpi"), header, log, files, false, messages, nullptr);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, saved_handler);
  EXPECT_TRUE(failed);
  EXPECT_EQ(messages.Errors(), Texts{"Out of disk space! Unable to continue."});
  // Removal can undo what reached the archive: the log names it.
  ExpectRecorded("Sharper walkers (incomplete)", {static_cast<int32_t>(graphics_before_.size())});
  EXPECT_EQ(ResourceData(Archive(kGraphicsDrs), 100), "old-100");
}
#endif

}  // namespace
}  // namespace tarnwick
