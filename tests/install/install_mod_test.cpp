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
    WritePackage(std::move(rows));
    messages.boxes.clear();
    return InstallMod(Path("mod.mpi"), header, log, files, false, messages, nullptr);
  }
  // The mod as the disk's log records it: its name and its changes' old lengths.
  void ExpectRecorded(const std::string& name, const std::vector<int32_t>& old_states) {
    const ModLog disk = DiskLog();
    ASSERT_EQ(disk.ModCount(), 1);
    EXPECT_EQ(disk.Mods[1].Name, name);
    std::vector<int32_t> states;
    for (const FileChange& change : disk.Mods[1].Changes) states.push_back(change.OldState);
    EXPECT_EQ(states, old_states);
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
  ExpectRecorded("Sample mod", {s, s + 70000, log.FileState[kTerrainDrs]});
}

TEST_F(InstallModTest, ARejectedRowLeavesTheEarlierChangesRecordedAsIncomplete) {
  EXPECT_TRUE(Install({{1, 1, 100, "first", {}, {}},
                       {1, 1, 999, "absent id", {}, {}},
                       {1, 1, 300, "never", {}, {}}}));
  EXPECT_EQ(messages.Errors(), Texts{kInvalidPackage});
  ExpectRecorded("Sample mod (incomplete)", {static_cast<int32_t>(graphics_before_.size())});
  EXPECT_EQ(ResourceData(Archive(kGraphicsDrs), 100), "first");
  EXPECT_EQ(ResourceData(Archive(kGraphicsDrs), 300), "old-300");
}

TEST_F(InstallModTest, FailuresBeforeTheFirstChangeLeaveNoTrace) {
  EXPECT_TRUE(Install({{1, 1, 100, "data", 5000, {}}}));  // reaches past the package's end
  EXPECT_EQ(messages.Errors(), Texts{kInvalidPackage});
  EXPECT_TRUE(Install({{1, 4, 15040, "cc", {}, {}}}));  // the expansion's terrain, without it
  EXPECT_EQ(messages.Errors(), Texts{kCcNeeded});
  // An unsavable log (its temporary sibling can't be made): every handler saves it before it
  // changes the game, as tests/crash proves for every kind.
  fixtures::MakeFolders(log.LogPath + "_");
  EXPECT_TRUE(Install({{1, 1, 100, "data", {}, {}}}));
  EXPECT_EQ(messages.Errors(), (Texts{"Cannot save log file!", kGeneric}));
  EXPECT_EQ(DiskLogText(), log_before_);
  EXPECT_EQ(Archive(kGraphicsDrs), graphics_before_);
}

TEST_F(InstallModTest, AModWhoseRowsAreAllSkippedIsStillRecorded) {
  EXPECT_FALSE(Install({{5, 8, 0, "cc language library", {}, {}}}));
  ExpectRecorded("Sample mod", {});
}

#ifndef _WIN32
TEST_F(InstallModTest, AnArchiveInUseTakesTheGameRunningMessage) {
  // A running copy of a program: its file refuses writing (text file busy) as a held archive does.
  const std::string archive = File(kGraphicsDrs);
  fixtures::WriteAll(archive, fixtures::ReadAll("/bin/sleep"));
  ::chmod(archive.c_str(), 0700);
  const pid_t child = ::fork();
  if (child == 0) {
    ::execl(archive.c_str(), "sleep", "30", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  bool busy = false;
  for (int tries = 0; tries < 200 && !busy; ++tries, ::usleep(10000)) {
    const int fd = ::open(archive.c_str(), O_RDWR | O_CLOEXEC);
    busy = fd < 0 && errno == ETXTBSY;
    if (fd >= 0) ::close(fd);
  }
  const bool failed = busy && Install({{1, 1, 100, "data", {}, {}}});
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  if (!busy) GTEST_SKIP() << "this system lets running programs be written";
  EXPECT_TRUE(failed);
  EXPECT_EQ(messages.Errors(), Texts{"Error installing mod! Unable to continue. Make sure SWGB "
                                     "is not currently running."});
  EXPECT_EQ(DiskLogText(), log_before_);
}

// A write beyond the process's file size limit fails as a full disk would (EFBIG).
TEST_F(InstallModTest, AFullDiskTakesItsMessageWithTheChangeAlreadyRecorded) {
  WritePackage({{1, 1, 100, Payload(300000), {}, {}}});
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
  ExpectRecorded("Sample mod (incomplete)", {static_cast<int32_t>(graphics_before_.size())});
  EXPECT_EQ(ResourceData(Archive(kGraphicsDrs), 100), "old-100");
}
#endif

}  // namespace
}  // namespace tarnwick
