#include "modlog/mod_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
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
#include "modlog/removal.h"
#include "writers/bytes.h"

namespace tarnwick {
namespace {

using fixtures::Exists;
using fixtures::ReadAll;
using fixtures::WriteAll;

constexpr char kReadError[] = "Error reading from log file!";
constexpr char kInvalidLog[] =
    "Invalid log file! (it may have been created with a newer version of the mod installer)";
constexpr char kSaveError[] = "Cannot save log file!";
constexpr char kRemoveError[] = "Error removing mod!";
constexpr char kArchiveError[] = "Error removing mod! Unable to continue.";

// A current log's text: the header, then `body`'s lines (separated by "|"), each ended by CR LF.
std::string Log(std::string body) {
  for (size_t at; (at = body.find('|')) != std::string::npos;) body.replace(at, 1, "\r\n");
  return "Mod Log v2.1\r\n** DO NOT ALTER THIS FILE! DOING SO MAY CAUSE MANY NASTY THINGS! **\r\n" +
         body + "\r\n";
}

ModLogEntry Entry(std::string name, std::vector<FileChange> changes) {
  ModLogEntry entry{std::move(name), {}};
  for (const FileChange& change : changes) entry.Changes.push_back(change);
  return entry;
}

class ModLogTest : public ::testing::Test {
 protected:
  ModLogTest() {
    fixtures::MakeFolders(dir_ / "data");
    game_files_ = MakeGameFiles(dir_.path() + "/", dir_.path() + "/data/");
    log_.LogPath = dir_ / "data/mods.log";
  }
  const std::string& File(int index) const { return game_files_[static_cast<size_t>(index)]; }

  fixtures::TempDir dir_;
  GameFiles game_files_;
  ModLog log_;
  fixtures::RecordingMessages messages_;
};

TEST_F(ModLogTest, SavesCurrentVersionAndReadsItBack) {
  log_.FileState = {1234, 0, 0, -5, 0, 0, 0, 0};
  log_.FileState[25] = 2;
  log_.FileState[27] = INT32_MAX;
  log_.Mods.push_back(Entry("Nothing", {}));
  log_.Mods.push_back(Entry("Two\r\nlines\n\xe9", {{2, 88, 124, -1, 0}, {5, 3, 0, 0, 0}}));
  ASSERT_FALSE(SaveModLog(log_, messages_));
  EXPECT_EQ(ReadAll(log_.LogPath), Log("2|1234|0|0|-5|0|0|0|0|0|0|0|0|0|2|0|2147483647|Nothing|0|"
                                       "Two  lines \xe9|2|2|88|124|-1|0|5|3|0|0|0"));
  EXPECT_FALSE(Exists(log_.LogPath + "_"));

  ModLog read{log_.LogPath, {}, {}};
  ASSERT_FALSE(ReadModLog(read, game_files_, messages_));
  EXPECT_EQ(read.FileState, log_.FileState);
  log_.Mods[2].Name = "Two  lines \xe9";
  EXPECT_EQ(read.Mods, log_.Mods);
  EXPECT_TRUE(messages_.boxes.empty());
}

TEST_F(ModLogTest, MissingLogIsCreatedWithTheArchiveLengths) {
  // Base and expansion archives are measured; other files and absent archives keep their value.
  for (int k : {0, 1, 2, 3, 4, 20, 21, 22}) WriteAll(File(k), std::string(size_t(100 + k), 'x'));
  WriteAll(File(kGenieDat), "not an archive");
  log_.FileState[26] = 4;
  ASSERT_FALSE(ReadModLog(log_, game_files_, messages_));
  EXPECT_EQ(ReadAll(log_.LogPath), Log("0|100|101|102|103|104|0|0|0|120|121|122|0|0|0|4|0"));
  EXPECT_TRUE(messages_.boxes.empty());
}

TEST_F(ModLogTest, OlderVersionsAreReadAndSavedAsCurrent) {
  WriteAll(File(20), std::string(300, 'a'));
  log_.FileState[6] = 7;
  log_.FileState[21] = 99;  // its archive is absent, so the value stays
  WriteAll(log_.LogPath,
           "Mod Log\r\nanything\r\n1\r\n10\r\n11\r\n12\r\n13\r\n14\r\n1\r\nA\r\n2\r\n"
           "2\r\n10\r\n100\r\n-1\r\n0\r\n12\r\n0\r\n0\r\n0\r\n0\r\n");
  ASSERT_FALSE(ReadModLog(log_, game_files_, messages_));
  EXPECT_EQ(log_.Mods[1], Entry("A", {{2, 10, 100, -1, 0}, {12, 0, 0, 0, 0}}));
  ASSERT_FALSE(SaveModLog(log_, messages_));
  EXPECT_EQ(ReadAll(log_.LogPath),
            Log("1|10|11|12|13|14|1|7|0|300|99|0|0|0|0|0|0|A|2|2|10|100|-1|0|12|0|0|0|0"));

  // Version 2 numbered the expansion's files from 10; bare line feeds and a missing last line
  // end are accepted as well.
  WriteAll(log_.LogPath,
           "Mod Log v2\n\n1\n0\n1\n2\n3\n4\n5\n20\n21\n22\n23\n24\n25\nB\n2\n12\n0\n0\n0\n0\n9\n0\n"
           "0\n0\n0");
  ASSERT_FALSE(ReadModLog(log_, game_files_, messages_));
  EXPECT_EQ(log_.Mods[1], Entry("B", {{22, 0, 0, 0, 0}, {9, 0, 0, 0, 0}}));
  EXPECT_EQ(log_.FileState[6], 7);
  EXPECT_EQ(log_.FileState[25], 25);
}

TEST_F(ModLogTest, DamagedOrForeignLogsFailWithTheirMessageAndChangeNothing) {
  const std::string states = "|0|0|0|0|0|0|0|0|0|0|0|0|0|0|0|0|";  // 16 file states
  const std::pair<std::string, const char*> cases[] = {
      {"", kReadError},
      {"Mod Log v3\r\nx\r\n0\r\n", kInvalidLog},
      {Log("0|1|2"), kReadError},
      {Log("1x" + states), kReadError},
      {Log("-1" + states), kReadError},
      {Log("4294967296" + states), kReadError},
      {Log("1" + states + "A"), kReadError},
      {Log("1" + states + "A|1|2|100|84"), kReadError},
      {Log("1" + states + "A|1|28|0|0|0|0"), kReadError},
      {Log("1" + states + "A|1|-1|0|0|0|0"), kReadError},
      {Log("1" + states + "A|1|2||0|0|0"), kReadError},
      {"Mod Log v2\r\n\r\n1\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\nA\r\n"
       "1\r\n18\r\n0\r\n0\r\n0\r\n0\r\n",
       kReadError},  // v2 had no file 18
      {"Mod Log v2\r\n\r\n1\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\nA\r\n"
       "1\r\n2147483647\r\n0\r\n0\r\n0\r\n0\r\n",
       kReadError},  // its renumbering must not overflow
      {"Mod Log v2.1\r\n" + std::string(200000, 'x'), kReadError},
  };
  log_.FileState[4] = 44;
  log_.Mods.push_back(Entry("kept", {}));
  for (const auto& [text, message] : cases) {
    SCOPED_TRACE(text.substr(0, 300));
    WriteAll(log_.LogPath, text);
    messages_.boxes.clear();
    EXPECT_TRUE(ReadModLog(log_, game_files_, messages_));
    EXPECT_EQ(messages_.Errors(), std::vector<std::string>{message});
    EXPECT_EQ(log_.FileState[4], 44);
    EXPECT_EQ(log_.ModCount(), 1);
    EXPECT_EQ(ReadAll(log_.LogPath), text);
  }
}

TEST_F(ModLogTest, FailedSaveLeavesTheOldLog) {
  log_.Mods.push_back(Entry("Installed", {{1, 10, 20, 30, 40}}));
  ASSERT_FALSE(SaveModLog(log_, messages_));
  const std::string before = ReadAll(log_.LogPath);
  fixtures::MakeFolders(log_.LogPath + "_/inside");
  log_.Mods.push_back(Entry("Next", {}));
  EXPECT_TRUE(SaveModLog(log_, messages_));
  EXPECT_EQ(messages_.Errors(), std::vector<std::string>{kSaveError});
  EXPECT_EQ(ReadAll(log_.LogPath), before);

  // A log that cannot be replaced: the written temporary log is not left behind.
  std::filesystem::remove_all(log_.LogPath + "_");
  std::filesystem::remove(log_.LogPath);
  fixtures::MakeFolders(log_.LogPath + "/keep");
  messages_.boxes.clear();
  EXPECT_TRUE(ReadModLog(log_, game_files_, messages_));
  EXPECT_EQ(messages_.Errors(), std::vector<std::string>{kSaveError});
  EXPECT_FALSE(Exists(log_.LogPath + "_"));
}

TEST_F(ModLogTest, SetFileLengthCutsExtendsAndNeverCreates) {
  WriteAll(File(kGraphicsDrs), "0123456789");
  for (int32_t length : {4, 6, -1}) SetFileLength(File(kGraphicsDrs), length);
  EXPECT_EQ(ReadAll(File(kGraphicsDrs)), std::string("0123\0\0", 6));
  SetFileLength(File(kSoundsDrs), 100);
  EXPECT_FALSE(Exists(File(kSoundsDrs)));
}

// A game with two archives and a replaceable library, and its fresh log.
class RemovalTest : public ModLogTest {
 protected:
  RemovalTest() {
    WriteAll(File(kGraphicsDrs),
             fixtures::BuildDrs({{"pls ", {{100, "a"}, {101, "bb"}}}, {"naw ", {{200, "sound"}}}}));
    WriteAll(File(kInterfacDrs + kCcOffset), fixtures::BuildDrs({{"pls ", {{50000, "icons"}}}}));
    WriteAll(File(kLanguageDll), "original");
    EXPECT_FALSE(ReadModLog(log_, game_files_, messages_));
  }

  void StartMod(const std::string& name) { log_.Mods.push_back({name, {}}); }

  // Records and appends one resource the way an install does.
  void Append(int index, int32_t id, const std::string& data) {
    std::string archive = ReadAll(File(index));
    fixtures::DrsEntryView entry{};
    for (const auto& e : fixtures::ParseDrsEntries(archive)) entry = e.id == id ? e : entry;
    const auto at = int32_t(entry.position), size = int32_t(data.size());
    int32_t& state = log_.FileState[size_t(index)];
    log_.Mods.back().Changes.push_back({int16_t(index), state, at, entry.offset, entry.size});
    archive.resize(size_t(state));
    archive.replace(size_t(at) + 4, 8, fixtures::Bytes().I32(state).I32(size).str());
    state += size;
    ASSERT_FALSE(SaveModLog(log_, messages_));
    WriteAll(File(index), archive + data);
  }

  // Records and replaces one file as an install does; no content: stops after the record.
  void Replace(int index, const std::string& content) {
    int32_t& counter = log_.FileState[size_t(index)];
    WriteAll(BackupPath(File(index), counter), ReadAll(File(index)));
    log_.Mods.back().Changes.push_back({int16_t(index), counter++, 0, 0, 0});
    ASSERT_FALSE(SaveModLog(log_, messages_));
    if (!content.empty()) WriteAll(File(index), content);
  }
};

// The newest mod comes off, the older one stays: archives cut back, each file back from the mod's
// first backup. Another installer numbered its backups past 999; the name simply grows a digit.
TEST_F(RemovalTest, ArchivesAndFilesReturnToTheirExactBytes) {
  const std::string dll = File(kLanguageDll);
  log_.FileState[kLanguageDll] = 999;
  StartMod("Older");
  Append(kGraphicsDrs, 101, "older mod's unit");
  Replace(kLanguageDll, "older mod's");  // backup 999
  const std::string graphics = ReadAll(File(kGraphicsDrs));
  const std::string icons = ReadAll(File(kInterfacDrs + kCcOffset));
  const std::string log_text = ReadAll(log_.LogPath);
  StartMod("Newer");
  Append(kGraphicsDrs, 100, "first");
  Replace(kLanguageDll, "first");  // backup 1000
  Append(kInterfacDrs + kCcOffset, 50000, "new icons");
  Replace(kLanguageDll, "second");
  Append(kGraphicsDrs, 100, "second, longer");
  Append(kGraphicsDrs, 200, "a sound");
  ASSERT_TRUE(Exists(dll + ".1001"));
  const std::string newer_log_text = ReadAll(log_.LogPath);
  StartMod("Skipped everything");
  ASSERT_FALSE(SaveModLog(log_, messages_));

  // The entry without changes goes without touching a file.
  RemoveLatestMod(log_, game_files_, messages_);
  EXPECT_EQ(ReadAll(log_.LogPath), newer_log_text);
  RemoveLatestMod(log_, game_files_, messages_);
  EXPECT_TRUE(messages_.boxes.empty());
  EXPECT_EQ(ReadAll(File(kGraphicsDrs)), graphics);
  EXPECT_EQ(ReadAll(File(kInterfacDrs + kCcOffset)), icons);
  EXPECT_EQ(ReadAll(dll), "older mod's");
  EXPECT_EQ(ReadAll(dll + ".999"), "original");
  EXPECT_FALSE(Exists(dll + ".1000") || Exists(dll + ".1001"));
  EXPECT_EQ(ReadAll(log_.LogPath), log_text);
  EXPECT_EQ(log_.ModCount(), 1);
}

// A damaged record, or a missing archive, stops the removal before anything is undone.
TEST_F(RemovalTest, NoModOnDiskOrDamagedRecordsTouchNothing) {
  StartMod("Only in memory");
  RemoveLatestMod(log_, game_files_, messages_);
  EXPECT_EQ(messages_.Errors(), std::vector<std::string>{kRemoveError});
  EXPECT_EQ(log_.ModCount(), 0);

  StartMod("Sound");
  Append(kGraphicsDrs, 200, "sound data");
  Replace(kLanguageDll, "mod's");
  const FileChange sound = log_.Mods[1].Changes[1], library = log_.Mods[1].Changes[2];
  const std::string graphics = ReadAll(File(kGraphicsDrs));
  // Each damaged record is the oldest: a removal that did not check first would undo the others.
  const std::pair<FileChange, const char*> damaged_records[] = {
      {{1, 0, -4, 0, 0}, kArchiveError},       // an entry before the archive's start
      {{1, 0, 1 << 20, 0, 0}, kArchiveError},  // an entry past its end
      {{9, 0, 0, 0, 0}, kArchiveError},        // no game file has this index
      {{4, 0, 0, 0, 0}, kArchiveError},        // terrain.drs, an archive, is not there
      {{5, -1, 0, 0, 0}, kRemoveError},        // no backup has a negative number
  };
  for (const auto& [damaged, message] : damaged_records) {
    SCOPED_TRACE(damaged.FileIndex);
    log_.Mods[1] = Entry("Sound", {damaged, sound, library});
    ASSERT_FALSE(SaveModLog(log_, messages_));
    const std::string log_text = ReadAll(log_.LogPath);
    messages_.boxes.clear();
    RemoveLatestMod(log_, game_files_, messages_);
    EXPECT_EQ(messages_.Errors(), std::vector<std::string>{message});
    EXPECT_EQ(ReadAll(log_.LogPath), log_text);
    EXPECT_EQ(ReadAll(File(kGraphicsDrs)), graphics);
    EXPECT_EQ(ReadAll(File(kLanguageDll)), "mod's");
  }
}

// Every file under the test's folder: its bytes, or what else stands at the name.
std::map<std::string, std::string> FolderState(const std::string& folder) {
  std::map<std::string, std::string> state;
  for (const auto& item : std::filesystem::recursive_directory_iterator(folder)) {
    const std::string name = item.path().string();
    if (item.is_symlink()) {
      state[name] = "link to " + std::filesystem::read_symlink(item.path()).string();
    } else if (item.is_directory()) {
      state[name] = "folder";
    } else {
      state[name] = ReadAll(name);
    }
  }
  return state;
}

// A removal that stopped part-way has copied back and deleted the newest backups of a file, newest
// first; only that shape counts as already restored (the crash tests run every such stop again).
// Any other missing or unreadable backup stops the removal before a byte is written.
TEST_F(RemovalTest, MissingBackupsCountAsRestoredOnlyWhereAStoppedRemovalLeftThem) {
  const std::string dll = File(kLanguageDll);
  const std::string genie = File(kGenieDat);
  WriteAll(genie, "genie");
  StartMod("Replacer");
  Replace(kLanguageDll, "one");  // backup 0
  Append(kGraphicsDrs, 101, "appended");
  Replace(kLanguageDll, "two");  // backup 1
  Replace(kGenieDat, "new genie");
  Replace(kLanguageDll, "three");  // backup 2
  const auto installed = FolderState(dir_.path());

  enum Plant { kNothing, kFolder, kDanglingLink };
  struct Shape {
    std::vector<int> dll_gone;  // backups of language.dll gone, their content in the file
    bool genie_gone;
    Plant plant_at_dll_1;
  };
  const Shape shapes[] = {
      {{1}, false, kNothing},  // the newest is still there
      {{0}, false, kNothing},     {{1, 0}, false, kNothing},
      {{2, 0}, true, kNothing},   {{}, false, kFolder},  // there but unreadable
#ifndef _WIN32
      {{}, false, kDanglingLink},
#endif
  };
  for (const Shape& shape : shapes) {
    SCOPED_TRACE(&shape - shapes);
    std::error_code ignored;
    std::filesystem::remove_all(BackupPath(dll, 1), ignored);
    for (const auto& [name, bytes] : installed) {
      if (bytes != "folder") WriteAll(name, bytes);
    }
    for (int n : shape.dll_gone) {
      WriteAll(dll, ReadAll(BackupPath(dll, n)));
      std::filesystem::remove(BackupPath(dll, n));
    }
    if (shape.genie_gone) {
      WriteAll(genie, ReadAll(BackupPath(genie, 0)));
      std::filesystem::remove(BackupPath(genie, 0));
    }
    const std::string planted = BackupPath(dll, 1);
    if (shape.plant_at_dll_1 == kFolder) {
      std::filesystem::remove(planted);
      fixtures::MakeFolders(planted + "/inside");
    } else if (shape.plant_at_dll_1 == kDanglingLink) {
      std::filesystem::remove(planted);
      std::filesystem::create_symlink(dir_ / "moved away", planted);
    }
    const auto before = FolderState(dir_.path());
    messages_.boxes.clear();
    RemoveLatestMod(log_, game_files_, messages_);
    EXPECT_EQ(messages_.Errors(), std::vector<std::string>{kRemoveError});
    EXPECT_EQ(FolderState(dir_.path()), before) << "touched although refused";
  }
}

#ifndef _WIN32
// The system refuses to open a running program's file for writing, as Windows refuses the game's.
TEST_F(RemovalTest, AnArchiveInUseTakesTheGameRunningMessage) {
  const std::string archive = File(kSoundsDrs);
  std::filesystem::copy_file("/bin/sleep", archive);  // with its permissions
  const pid_t child = ::fork();
  if (child == 0) {
    ::execl(archive.c_str(), "sleep", "30", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  log_.Mods.push_back(Entry("Sound", {{kSoundsDrs, 1000, 100, 0, 0}}));
  ASSERT_FALSE(SaveModLog(log_, messages_));
  const std::string log_text = ReadAll(log_.LogPath);
  bool busy = false;
  for (int tries = 0; tries < 200 && !busy; ++tries, ::usleep(10000)) {
    const int fd = ::open(archive.c_str(), O_RDWR | O_CLOEXEC);
    busy = fd < 0 && errno == ETXTBSY;
    if (fd >= 0) ::close(fd);
  }
  if (busy) RemoveLatestMod(log_, game_files_, messages_);
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  if (!busy) GTEST_SKIP() << "this system lets running programs be written";
  EXPECT_EQ(messages_.Errors(),
            std::vector<std::string>{"Error removing mod! Unable to continue. "
                                     "Make sure SWGB is not currently running."});
  EXPECT_EQ(ReadAll(log_.LogPath), log_text);
}
#endif

}  // namespace
}  // namespace tarnwick
