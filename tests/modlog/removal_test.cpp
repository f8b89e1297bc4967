#include "modlog/removal.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "fixtures/bytes.h"
#include "fixtures/drs_writer.h"
#include "fixtures/files.h"
#include "fixtures/recording_messages.h"
#include "modlog/mod_log.h"

namespace tarnwick {
namespace {

using fixtures::BuildDrs;
using fixtures::DrsEntryView;
using fixtures::Exists;
using fixtures::MakeFolders;
using fixtures::ParseDrsEntries;
using fixtures::ReadAll;
using fixtures::RecordingMessages;
using fixtures::TempDir;
using fixtures::WriteAll;

constexpr char kRemoveError[] = "Error removing mod!";

class RemovalTest : public ::testing::Test {
 protected:
  RemovalTest() {
    MakeFolders(dir_ / "data");
    game_files_ = MakeGameFiles(dir_.path() + "/", dir_.path() + "/data/");
    WriteAll(File(kGraphicsDrs),
             BuildDrs({{"pls ", {{100, "unit-a"}, {101, "unit-b"}, {102, "unit-c"}}},
                       {"naw ", {{200, "sound"}}}}));
    WriteAll(File(kInterfacDrs + kCcOffset), BuildDrs({{"pls ", {{50000, "icons"}}}}));
    WriteAll(File(kLanguageDll), "language, original");
    log_.LogPath = dir_ / "data/mods.log";
    EXPECT_FALSE(ReadModLog(log_, game_files_, messages_));
  }

  const std::string& File(int index) const { return game_files_[static_cast<size_t>(index)]; }

  // What an install records and does for one resource appended to an archive.
  void Append(int index, int32_t id, const std::string& data) {
    const std::string archive = ReadAll(File(index));
    DrsEntryView entry{};
    for (const DrsEntryView& e : ParseDrsEntries(archive)) {
      if (e.id == id) entry = e;
    }
    ASSERT_NE(entry.id, 0);
    int32_t& state = log_.FileState[static_cast<size_t>(index)];
    FileChange change;
    change.FileIndex = static_cast<int16_t>(index);
    change.OldState = state;
    change.EntryPos = static_cast<int32_t>(entry.position);
    change.OldOffset = entry.offset;
    change.OldSize = entry.size;
    log_.Mods.back().Changes.push_back(change);
    state += static_cast<int32_t>(data.size());
    ASSERT_FALSE(SaveModLog(log_, messages_));

    std::string changed = archive.substr(0, static_cast<size_t>(change.OldState)) + data;
    fixtures::Bytes fields;
    fields.I32(change.OldState).I32(static_cast<int32_t>(data.size()));
    changed.replace(static_cast<size_t>(entry.position) + 4, 8, fields.str());
    WriteAll(File(index), changed);
  }

  // What an install records and does for one replaced file; without `content` it stops after
  // recording, as a failed install does.
  void Replace(int index, const std::string* content) {
    int32_t& counter = log_.FileState[static_cast<size_t>(index)];
    std::filesystem::copy_file(File(index), BackupPath(File(index), counter),
                               std::filesystem::copy_options::overwrite_existing);
    FileChange change;
    change.FileIndex = static_cast<int16_t>(index);
    change.OldState = counter;
    log_.Mods.back().Changes.push_back(change);
    ++counter;
    ASSERT_FALSE(SaveModLog(log_, messages_));
    if (content != nullptr) WriteAll(File(index), *content);
  }

  void StartMod(const std::string& name) {
    ModLogEntry entry;
    entry.Name = name;
    log_.Mods.push_back(entry);
  }

  ModLog OnDisk() {
    ModLog read;
    read.LogPath = log_.LogPath;
    EXPECT_FALSE(ReadModLog(read, game_files_, messages_));
    return read;
  }

  TempDir dir_;
  GameFiles game_files_;
  ModLog log_;
  RecordingMessages messages_;
};

TEST_F(RemovalTest, EntryWithoutChangesIsDropped) {
  StartMod("Kept");
  Append(kGraphicsDrs, 101, "kept data");
  StartMod("Skipped everything");
  ASSERT_FALSE(SaveModLog(log_, messages_));
  const std::string graphics = ReadAll(File(kGraphicsDrs));

  RemoveLatestMod(log_, game_files_, messages_);
  EXPECT_TRUE(messages_.boxes.empty());
  EXPECT_EQ(ReadAll(File(kGraphicsDrs)), graphics);
  const ModLog disk = OnDisk();
  ASSERT_EQ(disk.ModCount(), 1);
  EXPECT_EQ(disk.Mods[1].Name, "Kept");
  EXPECT_EQ(log_.Mods, disk.Mods);
}

TEST_F(RemovalTest, ArchivesReturnToTheirExactBytes) {
  StartMod("Older");
  Append(kGraphicsDrs, 102, "older mod's unit");
  const std::string graphics_before = ReadAll(File(kGraphicsDrs));
  const std::string cc_before = ReadAll(File(kInterfacDrs + kCcOffset));
  const ModLog log_before = OnDisk();

  StartMod("Newer");
  Append(kGraphicsDrs, 100, "first");
  Append(kInterfacDrs + kCcOffset, 50000, "new icons");
  Append(kGraphicsDrs, 100, "second, longer");
  Append(kGraphicsDrs, 200, "a sound");
  ASSERT_NE(ReadAll(File(kGraphicsDrs)), graphics_before);

  RemoveLatestMod(log_, game_files_, messages_);
  EXPECT_TRUE(messages_.boxes.empty());
  EXPECT_EQ(ReadAll(File(kGraphicsDrs)), graphics_before);
  EXPECT_EQ(ReadAll(File(kInterfacDrs + kCcOffset)), cc_before);
  EXPECT_EQ(log_.FileState, log_before.FileState);
  const ModLog disk = OnDisk();
  EXPECT_EQ(disk.Mods, log_before.Mods);
  EXPECT_EQ(disk.FileState, log_before.FileState);
}

TEST_F(RemovalTest, ReplacedFileComesBackFromItsFirstBackup) {
  // Backups of earlier mods must survive.
  log_.FileState[kLanguageDll] = 2;
  const std::string dll = File(kLanguageDll);
  WriteAll(BackupPath(dll, 0), "game's own");
  WriteAll(BackupPath(dll, 1), "first mod's");
  StartMod("Twice");
  const std::string one = "language, mod one";
  const std::string two = "language, mod two";
  Replace(kLanguageDll, &one);
  Replace(kLanguageDll, &two);
  EXPECT_EQ(ReadAll(BackupPath(dll, 3)), one);

  RemoveLatestMod(log_, game_files_, messages_);
  EXPECT_TRUE(messages_.boxes.empty());
  EXPECT_EQ(ReadAll(dll), "language, original");
  EXPECT_FALSE(Exists(BackupPath(dll, 2)));
  EXPECT_FALSE(Exists(BackupPath(dll, 3)));
  EXPECT_EQ(ReadAll(BackupPath(dll, 0)), "game's own");
  EXPECT_EQ(ReadAll(BackupPath(dll, 1)), "first mod's");
  EXPECT_EQ(log_.FileState[kLanguageDll], 2);
  EXPECT_EQ(OnDisk().FileState[kLanguageDll], 2);
  EXPECT_EQ(OnDisk().ModCount(), 0);
}

TEST_F(RemovalTest, IncompleteInstallIsUndone) {
  const std::string graphics_before = ReadAll(File(kGraphicsDrs));
  StartMod("Broken (incomplete)");
  Append(kGraphicsDrs, 101, "written");
  // Recorded and backed up, but the new content never reached the file.
  Replace(kLanguageDll, nullptr);

  RemoveLatestMod(log_, game_files_, messages_);
  EXPECT_TRUE(messages_.boxes.empty());
  EXPECT_EQ(ReadAll(File(kGraphicsDrs)), graphics_before);
  EXPECT_EQ(ReadAll(File(kLanguageDll)), "language, original");
  EXPECT_FALSE(Exists(BackupPath(File(kLanguageDll), 0)));
  EXPECT_EQ(OnDisk().ModCount(), 0);
}

TEST_F(RemovalTest, UnopenableArchiveStopsAndASecondRemovalFinishes) {
  const std::string graphics_before = ReadAll(File(kGraphicsDrs));
  StartMod("Mixed");
  Append(kGraphicsDrs, 101, "appended");
  const std::string mine = "language, mine";
  Replace(kLanguageDll, &mine);
  const std::string log_text = ReadAll(log_.LogPath);
  const std::string graphics_modded = ReadAll(File(kGraphicsDrs));

  std::filesystem::remove(File(kGraphicsDrs));
  MakeFolders(File(kGraphicsDrs));
  RemoveLatestMod(log_, game_files_, messages_);
  EXPECT_EQ(messages_.Errors(),
            std::vector<std::string>{"Error removing mod! Unable to continue."});
  // The newer change was undone before the archive stopped the removal.
  EXPECT_EQ(ReadAll(File(kLanguageDll)), "language, original");
  EXPECT_FALSE(Exists(BackupPath(File(kLanguageDll), 0)));
  EXPECT_EQ(ReadAll(log_.LogPath), log_text);

  std::filesystem::remove(File(kGraphicsDrs));
  WriteAll(File(kGraphicsDrs), graphics_modded);
  messages_.boxes.clear();
  RemoveLatestMod(log_, game_files_, messages_);
  EXPECT_TRUE(messages_.boxes.empty());
  EXPECT_EQ(ReadAll(File(kGraphicsDrs)), graphics_before);
  EXPECT_EQ(ReadAll(File(kLanguageDll)), "language, original");
  EXPECT_EQ(log_.FileState[kLanguageDll], 0);
  EXPECT_EQ(OnDisk().ModCount(), 0);
}

TEST_F(RemovalTest, ArchiveHeldByARunningProgramIsPermissionDenied) {
  // A running executable cannot be opened for writing, even by root: the kernel's text-file
  // lock stands in for the game holding its archive.
  const std::string archive = File(kSoundsDrs);
  std::filesystem::copy_file("/bin/sleep", archive);
  std::filesystem::permissions(archive, std::filesystem::perms::owner_all);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::execl(archive.c_str(), "sleep", "30", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  // Wait until the program image is in place.
  const std::string exe_link = "/proc/" + std::to_string(child) + "/exe";
  std::error_code ignored;
  for (int i = 0; i < 300 && std::filesystem::read_symlink(exe_link, ignored) != archive; ++i) {
    ::usleep(10000);
  }
  const int probe = ::open(archive.c_str(), O_RDWR);
  if (probe >= 0) {
    ::close(probe);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    GTEST_SKIP() << "this system lets a running program be opened for writing";
  }
  const int32_t length = static_cast<int32_t>(std::filesystem::file_size(archive));
  StartMod("Sound");
  FileChange change;
  change.FileIndex = kSoundsDrs;
  change.OldState = length;
  change.EntryPos = 100;
  log_.Mods.back().Changes.push_back(change);
  ASSERT_FALSE(SaveModLog(log_, messages_));
  const std::string log_text = ReadAll(log_.LogPath);

  RemoveLatestMod(log_, game_files_, messages_);
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  EXPECT_EQ(
      messages_.Errors(),
      std::vector<std::string>{
          "Error removing mod! Unable to continue. Make sure SWGB is not currently running."});
  EXPECT_EQ(ReadAll(log_.LogPath), log_text);
}

TEST_F(RemovalTest, LogWithoutModsOnDiskIsAnError) {
  StartMod("Only in memory");
  RemoveLatestMod(log_, game_files_, messages_);
  EXPECT_EQ(messages_.Errors(), std::vector<std::string>{kRemoveError});
  EXPECT_EQ(log_.ModCount(), 0);

  messages_.boxes.clear();
  WriteAll(log_.LogPath, "Mod Log v9\r\n");
  RemoveLatestMod(log_, game_files_, messages_);
  EXPECT_EQ(messages_.Errors(),
            (std::vector<std::string>{"Invalid log file! (it may have been created with a newer "
                                      "version of the mod installer)",
                                      kRemoveError}));
}

TEST_F(RemovalTest, DamagedChangesTouchNothing) {
  StartMod("Sound mod");
  Append(kGraphicsDrs, 200, "sound data");
  const std::string graphics = ReadAll(File(kGraphicsDrs));
  const std::string dll = ReadAll(File(kLanguageDll));
  WriteAll(BackupPath(File(kLanguageDll), 0), "backup");

  const FileChange sound = log_.Mods.back().Changes[1];

  struct Case {
    const char* what;
    FileChange change;
  };
  const std::vector<Case> cases = {
      {"negative entry position", {1, 0, -4, 0, 0}},
      {"entry past the archive's end", {1, 0, 1 << 20, 0, 0}},
      {"unused file index", {9, 0, 0, 0, 0}},
      {"backup number beyond three digits", {5, 1000, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // The damaged change is the oldest, so the sound change would be undone first.
    log_.Mods.back().Changes.clear();
    log_.Mods.back().Changes.push_back(c.change);
    log_.Mods.back().Changes.push_back(sound);
    ASSERT_FALSE(SaveModLog(log_, messages_));
    const std::string log_text = ReadAll(log_.LogPath);
    messages_.boxes.clear();

    RemoveLatestMod(log_, game_files_, messages_);
    EXPECT_EQ(messages_.Errors(), std::vector<std::string>{kRemoveError});
    EXPECT_EQ(ReadAll(log_.LogPath), log_text);
    EXPECT_EQ(ReadAll(File(kGraphicsDrs)), graphics);
    EXPECT_EQ(ReadAll(File(kLanguageDll)), dll);
  }
}

}  // namespace
}  // namespace tarnwick
