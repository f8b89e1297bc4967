#include "modlog/removal.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "fixtures/drs_checks.h"
#include "fixtures/files.h"
#include "fixtures/recording_messages.h"
#include "modlog/mod_log.h"
#include "writers/bytes.h"

namespace tarnwick {
namespace {

using fixtures::Exists;
using fixtures::ReadAll;
using fixtures::WriteAll;

constexpr char kRemoveError[] = "Error removing mod!";

class RemovalTest : public ::testing::Test {
 protected:
  RemovalTest() {
    fixtures::MakeFolders(dir_ / "data");
    game_files_ = MakeGameFiles(dir_.path() + "/", dir_.path() + "/data/");
    WriteAll(File(kGraphicsDrs),
             fixtures::BuildDrs({{"pls ", {{100, "a"}, {101, "bb"}}}, {"naw ", {{200, "sound"}}}}));
    WriteAll(File(kInterfacDrs + kCcOffset), fixtures::BuildDrs({{"pls ", {{50000, "icons"}}}}));
    WriteAll(File(kLanguageDll), "original");
    log_.LogPath = dir_ / "data/mods.log";
    EXPECT_FALSE(ReadModLog(log_, game_files_, messages_));
  }

  const std::string& File(int index) const { return game_files_[static_cast<size_t>(index)]; }

  void StartMod(const std::string& name) { log_.Mods.push_back({name, {}}); }

  // Records and appends one resource the way an install does.
  void Append(int index, int32_t id, const std::string& data) {
    std::string archive = ReadAll(File(index));
    fixtures::DrsEntryView entry{};
    for (const auto& e : fixtures::ParseDrsEntries(archive)) entry = e.id == id ? e : entry;
    int32_t& state = log_.FileState[static_cast<size_t>(index)];
    log_.Mods.back().Changes.push_back({static_cast<int16_t>(index), state,
                                        static_cast<int32_t>(entry.position), entry.offset,
                                        entry.size});
    archive.resize(static_cast<size_t>(state));
    archive.replace(static_cast<size_t>(entry.position) + 4, 8,
                    fixtures::Bytes().I32(state).I32(static_cast<int32_t>(data.size())).str());
    state += static_cast<int32_t>(data.size());
    ASSERT_FALSE(SaveModLog(log_, messages_));
    WriteAll(File(index), archive + data);
  }

  // Records and replaces one file as an install does; no content: stops after the record.
  void Replace(int index, const std::string& content) {
    int32_t& counter = log_.FileState[static_cast<size_t>(index)];
    WriteAll(BackupPath(File(index), counter), ReadAll(File(index)));
    log_.Mods.back().Changes.push_back({static_cast<int16_t>(index), counter++, 0, 0, 0});
    ASSERT_FALSE(SaveModLog(log_, messages_));
    if (!content.empty()) WriteAll(File(index), content);
  }

  ModLog OnDisk() {
    ModLog read{log_.LogPath, {}, {}};
    EXPECT_FALSE(ReadModLog(read, game_files_, messages_));
    return read;
  }

  fixtures::TempDir dir_;
  GameFiles game_files_;
  ModLog log_;
  fixtures::RecordingMessages messages_;
};

TEST_F(RemovalTest, ArchivesReturnToTheirExactBytes) {
  StartMod("Older");
  Append(kGraphicsDrs, 101, "older mod's unit");
  const std::string graphics = ReadAll(File(kGraphicsDrs));
  const std::string icons = ReadAll(File(kInterfacDrs + kCcOffset));
  const ModLog before = OnDisk();
  const std::string log_text = ReadAll(log_.LogPath);

  StartMod("Newer");
  Append(kGraphicsDrs, 100, "first");
  Append(kInterfacDrs + kCcOffset, 50000, "new icons");
  Append(kGraphicsDrs, 100, "second, longer");
  Append(kGraphicsDrs, 200, "a sound");
  StartMod("Skipped everything");
  ASSERT_FALSE(SaveModLog(log_, messages_));

  // The entry without changes goes without touching a file.
  RemoveLatestMod(log_, game_files_, messages_);
  EXPECT_EQ(OnDisk().ModCount(), 2);
  RemoveLatestMod(log_, game_files_, messages_);
  EXPECT_TRUE(messages_.boxes.empty());
  EXPECT_EQ(ReadAll(File(kGraphicsDrs)), graphics);
  EXPECT_EQ(ReadAll(File(kInterfacDrs + kCcOffset)), icons);
  EXPECT_EQ(log_.FileState, before.FileState);
  EXPECT_EQ(ReadAll(log_.LogPath), log_text);
}

TEST_F(RemovalTest, ReplacedFileComesBackFromTheModsFirstBackup) {
  log_.FileState[kLanguageDll] = 2;
  const std::string dll = File(kLanguageDll);
  WriteAll(BackupPath(dll, 1), "earlier mod's backup");
  StartMod("Twice (incomplete)");
  Replace(kLanguageDll, "mod one");
  Replace(kLanguageDll, "mod two");
  Append(kGraphicsDrs, 101, "x");
  Replace(kLanguageDll, "");

  RemoveLatestMod(log_, game_files_, messages_);
  EXPECT_TRUE(messages_.boxes.empty());
  EXPECT_EQ(ReadAll(dll), "original");
  for (int n : {2, 3, 4}) EXPECT_FALSE(Exists(BackupPath(dll, n))) << n;
  EXPECT_EQ(ReadAll(BackupPath(dll, 1)), "earlier mod's backup");
  EXPECT_EQ(OnDisk().FileState[kLanguageDll], 2);
  EXPECT_EQ(OnDisk().ModCount(), 0);
}

TEST_F(RemovalTest, MissingArchiveStopsAndASecondRemovalFinishes) {
  const std::string graphics = ReadAll(File(kGraphicsDrs));
  StartMod("Mixed");
  Append(kGraphicsDrs, 101, "appended");
  Replace(kLanguageDll, "mine");
  const std::string log_text = ReadAll(log_.LogPath);
  const std::string graphics_modded = ReadAll(File(kGraphicsDrs));

  std::filesystem::remove(File(kGraphicsDrs));
  RemoveLatestMod(log_, game_files_, messages_);
  EXPECT_EQ(messages_.Errors(),
            std::vector<std::string>{"Error removing mod! Unable to continue."});
  // The newer change stays undone; the log still lists the whole mod.
  EXPECT_EQ(ReadAll(File(kLanguageDll)), "original");
  EXPECT_EQ(ReadAll(log_.LogPath), log_text);

  WriteAll(File(kGraphicsDrs), graphics_modded);
  messages_.boxes.clear();
  RemoveLatestMod(log_, game_files_, messages_);
  EXPECT_TRUE(messages_.boxes.empty());
  EXPECT_EQ(ReadAll(File(kGraphicsDrs)), graphics);
  EXPECT_EQ(ReadAll(File(kLanguageDll)), "original");
  EXPECT_EQ(OnDisk().ModCount(), 0);
}

TEST_F(RemovalTest, NoModOnDiskOrDamagedRecordsTouchNothing) {
  StartMod("Only in memory");
  RemoveLatestMod(log_, game_files_, messages_);
  EXPECT_EQ(messages_.Errors(), std::vector<std::string>{kRemoveError});
  EXPECT_EQ(log_.ModCount(), 0);

  StartMod("Sound");
  Append(kGraphicsDrs, 200, "sound data");
  const FileChange sound = log_.Mods[1].Changes[1];
  const std::string graphics = ReadAll(File(kGraphicsDrs));
  WriteAll(BackupPath(File(kLanguageDll), 0), "backup");
  // Each damaged record is the oldest: a removal that did not check first would undo the sound.
  for (const FileChange& damaged : std::vector<FileChange>{
           {1, 0, -4, 0, 0}, {1, 0, 1 << 20, 0, 0}, {9, 0, 0, 0, 0}, {5, 1000, 0, 0, 0}}) {
    SCOPED_TRACE(damaged.FileIndex);
    log_.Mods[1].Changes.clear();
    log_.Mods[1].Changes.push_back(damaged);
    log_.Mods[1].Changes.push_back(sound);
    ASSERT_FALSE(SaveModLog(log_, messages_));
    const std::string log_text = ReadAll(log_.LogPath);
    messages_.boxes.clear();
    RemoveLatestMod(log_, game_files_, messages_);
    EXPECT_EQ(messages_.Errors(), std::vector<std::string>{kRemoveError});
    EXPECT_EQ(ReadAll(log_.LogPath), log_text);
    EXPECT_EQ(ReadAll(File(kGraphicsDrs)), graphics);
    EXPECT_EQ(ReadAll(File(kLanguageDll)), "original");
  }
}

#ifndef _WIN32
TEST_F(RemovalTest, ArchiveHeldByARunningProgramIsPermissionDenied) {
  // Not even root may open a running program for writing: the kernel's lock stands in for the game.
  const std::string archive = File(kSoundsDrs);
  std::filesystem::copy_file("/bin/sleep", archive);
  std::filesystem::permissions(archive, std::filesystem::perms::owner_all);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::execl(archive.c_str(), "sleep", "30", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  std::error_code ignored;
  const std::string exe = "/proc/" + std::to_string(child) + "/exe";
  for (int i = 0; i < 300 && std::filesystem::read_symlink(exe, ignored) != archive; ++i) {
    ::usleep(10000);
  }
  const int probe = ::open(archive.c_str(), O_RDWR);
  StartMod("Sound");
  log_.Mods[1].Changes.push_back(
      {kSoundsDrs, static_cast<int32_t>(std::filesystem::file_size(archive)), 100, 0, 0});
  ASSERT_FALSE(SaveModLog(log_, messages_));
  const std::string log_text = ReadAll(log_.LogPath);
  if (probe < 0) RemoveLatestMod(log_, game_files_, messages_);
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  if (probe >= 0) {
    ::close(probe);
    GTEST_SKIP() << "this system lets a running program be opened for writing";
  }
  EXPECT_EQ(messages_.Errors(),
            std::vector<std::string>{"Error removing mod! Unable to continue. "
                                     "Make sure SWGB is not currently running."});
  EXPECT_EQ(ReadAll(log_.LogPath), log_text);
}
#endif

}  // namespace
}  // namespace tarnwick
