#include "modlog/mod_log.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "fixtures/files.h"
#include "fixtures/recording_messages.h"

namespace tarnwick {
namespace {

using fixtures::Exists;
using fixtures::MakeFolders;
using fixtures::ReadAll;
using fixtures::RecordingMessages;
using fixtures::TempDir;
using fixtures::WriteAll;

constexpr char kWarning[] = "** DO NOT ALTER THIS FILE! DOING SO MAY CAUSE MANY NASTY THINGS! **";
constexpr char kReadError[] = "Error reading from log file!";
constexpr char kInvalidLog[] =
    "Invalid log file! (it may have been created with a newer version of the mod installer)";
constexpr char kSaveError[] = "Cannot save log file!";

std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

FileChange Change(int16_t index, int32_t state, int32_t pos, int32_t offset, int32_t size) {
  FileChange change;
  change.FileIndex = index;
  change.OldState = state;
  change.EntryPos = pos;
  change.OldOffset = offset;
  change.OldSize = size;
  return change;
}

ModLogEntry Entry(std::string name, std::vector<FileChange> changes) {
  ModLogEntry entry;
  entry.Name = std::move(name);
  for (const FileChange& change : changes) entry.Changes.push_back(change);
  return entry;
}

class ModLogTest : public ::testing::Test {
 protected:
  ModLogTest() {
    MakeFolders(dir_ / "data");
    game_files_ = MakeGameFiles(dir_.path() + "/", dir_.path() + "/data/");
    log_.LogPath = LogFile();
  }

  std::string LogFile() const { return dir_ / "data/mods.log"; }
  const std::string& File(int index) const { return game_files_[static_cast<size_t>(index)]; }

  // A log read fresh from disk, the way the program starts.
  ModLog ReadBack() {
    ModLog read;
    read.LogPath = LogFile();
    EXPECT_FALSE(ReadModLog(read, game_files_, messages_));
    return read;
  }

  TempDir dir_;
  GameFiles game_files_;
  ModLog log_;
  RecordingMessages messages_;
};

TEST_F(ModLogTest, SavedLogReadsBackUnchanged) {
  for (int k : {0, 1, 2, 3, 4, 5, 6, 7, 20, 21, 22, 23, 24, 25, 26, 27}) {
    log_.FileState[static_cast<size_t>(k)] = 1000 * k + 17;
  }
  log_.FileState[3] = -5;
  log_.FileState[27] = std::numeric_limits<int32_t>::max();
  log_.Mods.push_back(Entry("Empty mod", {}));
  log_.Mods.push_back(Entry("Mod \xe9t\xe9 (incomplete)",
                            {Change(1, 5000, 96, -1, 0), Change(5, 3, 0, 0, 0),
                             Change(24, std::numeric_limits<int32_t>::min(), 2147483647, -7, 12)}));
  log_.Mods.push_back(Entry("", {Change(9, 0, 0, 0, 0)}));
  ASSERT_FALSE(SaveModLog(log_, messages_));

  const ModLog read = ReadBack();
  EXPECT_EQ(read.ModCount(), 3);
  EXPECT_EQ(read.Mods, log_.Mods);
  EXPECT_EQ(read.FileState, log_.FileState);
  EXPECT_TRUE(messages_.boxes.empty());
  EXPECT_FALSE(Exists(LogFile() + "_"));
}

TEST_F(ModLogTest, WritesVersionTwoPointOneWithCrLfAndPlainNumbers) {
  log_.FileState[0] = 1234;
  log_.FileState[25] = 2;
  log_.Mods.push_back(Entry("Nothing", {}));
  log_.Mods.push_back(Entry("Tanks", {Change(2, 88, 124, -1, 0)}));
  ASSERT_FALSE(SaveModLog(log_, messages_));
  EXPECT_EQ(ReadAll(LogFile()), Lines({"Mod Log v2.1",
                                       kWarning,
                                       "2",
                                       "1234",
                                       "0",
                                       "0",
                                       "0",
                                       "0",
                                       "0",
                                       "0",
                                       "0",
                                       "0",
                                       "0",
                                       "0",
                                       "0",
                                       "0",
                                       "2",
                                       "0",
                                       "0",
                                       "Nothing",
                                       "0",
                                       "Tanks",
                                       "1",
                                       "2",
                                       "88",
                                       "124",
                                       "-1",
                                       "0"}));
}

TEST_F(ModLogTest, TitleLineBreaksAreStoredAsBlanks) {
  log_.Mods.push_back(Entry("Two\r\nlines\nand\rmore", {Change(0, 1, 2, 3, 4)}));
  ASSERT_FALSE(SaveModLog(log_, messages_));
  const ModLog read = ReadBack();
  ASSERT_EQ(read.ModCount(), 1);
  EXPECT_EQ(read.Mods[1].Name, "Two  lines and more");
  EXPECT_EQ(read.Mods[1].Changes, log_.Mods[1].Changes);
}

TEST_F(ModLogTest, MissingLogIsCreatedWithTheArchiveLengths) {
  for (int k = 0; k <= 4; ++k) WriteAll(File(k), std::string(static_cast<size_t>(100 + k), 'x'));
  for (int k = 20; k <= 24; ++k) WriteAll(File(k), std::string(static_cast<size_t>(k), 'y'));
  // Not an archive: its length must not be taken.
  WriteAll(File(6), "genie");
  log_.FileState[26] = 4;
  log_.Mods.push_back(Entry("stale", {}));

  ASSERT_FALSE(ReadModLog(log_, game_files_, messages_));
  EXPECT_EQ(log_.ModCount(), 0);
  EXPECT_EQ(ReadAll(LogFile()),
            Lines({"Mod Log v2.1", kWarning, "0", "100", "101", "102", "103", "104", "0", "0", "0",
                   "20", "21", "22", "23", "24", "0", "4", "0"}));
  EXPECT_TRUE(messages_.boxes.empty());
}

TEST_F(ModLogTest, MissingLogWithoutExpansionKeepsItsArchivesAtZero) {
  for (int k = 0; k <= 4; ++k) WriteAll(File(k), std::string(static_cast<size_t>(10 * k), 'x'));
  ASSERT_FALSE(ReadModLog(log_, game_files_, messages_));
  EXPECT_EQ(ReadAll(LogFile()), Lines({"Mod Log v2.1", kWarning, "0", "0", "10", "20", "30", "40",
                                       "0", "0", "0", "0", "0", "0", "0", "0", "0", "0", "0"}));
}

TEST_F(ModLogTest, VersionOneLogTakesExpansionLengthsAndIsSavedAsCurrent) {
  WriteAll(File(20), std::string(300, 'a'));
  WriteAll(File(22), std::string(5, 'a'));
  log_.FileState[6] = 7;
  log_.FileState[21] = 99;  // its archive is absent, so the value stays
  log_.FileState[27] = 3;
  WriteAll(LogFile(), Lines({"Mod Log", "anything", "2", "10", "11", "12",  "13", "14",
                             "1",       "First",    "1", "2",  "10", "100", "-1", "0",
                             "Second",  "1",        "5", "0",  "0",  "0",   "0"}));

  ASSERT_FALSE(ReadModLog(log_, game_files_, messages_));
  ASSERT_EQ(log_.ModCount(), 2);
  EXPECT_EQ(log_.Mods[1], Entry("First", {Change(2, 10, 100, -1, 0)}));
  EXPECT_EQ(log_.Mods[2], Entry("Second", {Change(5, 0, 0, 0, 0)}));

  ASSERT_FALSE(SaveModLog(log_, messages_));
  EXPECT_EQ(
      ReadAll(LogFile()),
      Lines({"Mod Log v2.1", kWarning, "2",  "10", "11",     "12", "13", "14", "1",     "7", "0",
             "300",          "99",     "5",  "0",  "0",      "0",  "0",  "3",  "First", "1", "2",
             "10",           "100",    "-1", "0",  "Second", "1",  "5",  "0",  "0",     "0", "0"}));
}

TEST_F(ModLogTest, VersionTwoMovesExpansionIndicesUp) {
  log_.FileState[7] = 8;
  log_.FileState[26] = 6;
  WriteAll(LogFile(), Lines({"Mod Log v2", "",   "1",  "0",  "1", "2",  "3",  "4", "5", "20", "21",
                             "22",         "23", "24", "25", "M", "3",  "12", "0", "0", "0",  "0",
                             "9",          "1",  "2",  "3",  "4", "15", "1",  "0", "0", "0"}));
  ASSERT_FALSE(ReadModLog(log_, game_files_, messages_));
  ASSERT_EQ(log_.ModCount(), 1);
  EXPECT_EQ(log_.Mods[1].Changes[1].FileIndex, 22);
  EXPECT_EQ(log_.Mods[1].Changes[2].FileIndex, 9);
  EXPECT_EQ(log_.Mods[1].Changes[3].FileIndex, 25);
  EXPECT_EQ(log_.FileState[7], 8);
  EXPECT_EQ(log_.FileState[25], 25);
  EXPECT_EQ(log_.FileState[26], 6);

  WriteAll(LogFile(), Lines({"Mod Log v2.1",
                             "",
                             "1",
                             "0",
                             "0",
                             "0",
                             "0",
                             "0",
                             "0",
                             "0",
                             "0",
                             "0",
                             "0",
                             "0",
                             "0",
                             "0",
                             "0",
                             "0",
                             "0",
                             "M",
                             "2",
                             "12",
                             "0",
                             "0",
                             "0",
                             "0",
                             "9",
                             "0",
                             "0",
                             "0",
                             "0"}));
  ASSERT_FALSE(ReadModLog(log_, game_files_, messages_));
  EXPECT_EQ(log_.Mods[1].Changes[1].FileIndex, 12);
  EXPECT_EQ(log_.Mods[1].Changes[2].FileIndex, 9);
}

TEST_F(ModLogTest, AcceptsBareLineFeedsAndAMissingLastLineEnd) {
  WriteAll(LogFile(),
           "Mod Log v2.1\n\n1\n1\n2\n3\n4\n5\n6\n7\n8\n20\r\n21\n22\n23\n24\n25\n26\n27\nA\n1\n"
           "0\n5\n6\n7\n8");
  ASSERT_FALSE(ReadModLog(log_, game_files_, messages_));
  EXPECT_EQ(log_.FileState[20], 20);
  EXPECT_EQ(log_.FileState[27], 27);
  ASSERT_EQ(log_.ModCount(), 1);
  EXPECT_EQ(log_.Mods[1], Entry("A", {Change(0, 5, 6, 7, 8)}));
}

TEST_F(ModLogTest, DamagedOrForeignLogsFailWithTheirMessage) {
  const std::vector<std::string> file_state(16, "0");
  const auto log_with = [&](std::vector<std::string> after_count, std::string count = "1") {
    std::vector<std::string> lines = {"Mod Log v2.1", kWarning, count};
    lines.insert(lines.end(), file_state.begin(), file_state.end());
    lines.insert(lines.end(), after_count.begin(), after_count.end());
    return Lines(lines);
  };
  struct Case {
    const char* what;
    std::string text;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"empty file", "", kReadError},
      {"header in other letter case", Lines({"mod log v2.1", kWarning, "0"}), kInvalidLog},
      {"later version", Lines({"Mod Log v3", kWarning, "0"}), kInvalidLog},
      {"header with trailing blank", Lines({"Mod Log ", kWarning, "0"}), kInvalidLog},
      {"ends after the header", Lines({"Mod Log v2.1"}), kReadError},
      {"ends inside the file states", Lines({"Mod Log v2.1", kWarning, "0", "1", "2"}), kReadError},
      {"count is not a number", log_with({}, "none"), kReadError},
      {"count with trailing text", log_with({}, "1x"), kReadError},
      {"negative mod count", log_with({}, "-1"), kReadError},
      {"absurd mod count", log_with({"A", "0"}, "2147483647"), kReadError},
      {"mod count beyond int32", log_with({}, "4294967296"), kReadError},
      {"ends before a name", log_with({}), kReadError},
      {"ends before a change count", log_with({"A"}), kReadError},
      {"negative change count", log_with({"A", "-3"}), kReadError},
      {"absurd change count", log_with({"A", "1000000000", "0", "0", "0", "0", "0"}), kReadError},
      {"ends inside a change", log_with({"A", "1", "2", "100", "84"}), kReadError},
      {"file index too high", log_with({"A", "1", "28", "0", "0", "0", "0"}), kReadError},
      {"negative file index", log_with({"A", "1", "-1", "0", "0", "0", "0"}), kReadError},
      {"file index beyond int16", log_with({"A", "1", "65541", "0", "0", "0", "0"}), kReadError},
      {"blank where a number is due", log_with({"A", "1", "2", "", "0", "0", "0"}), kReadError},
      {"value beyond int32", log_with({"A", "1", "2", "2147483648", "0", "0", "0"}), kReadError},
      {"version 2 index moved out of range",
       Lines({"Mod Log v2", "",  "1", "0", "0", "0", "0",  "0", "0", "0", "0",
              "0",          "0", "0", "0", "A", "1", "18", "0", "0", "0", "0"}),
       kReadError},
      {"overlong line", "Mod Log v2.1\r\n" + std::string(200000, 'x'), kReadError},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteAll(LogFile(), c.text);
    ModLog log;
    log.LogPath = LogFile();
    log.FileState[4] = 44;
    log.Mods.push_back(Entry("kept", {}));
    RecordingMessages messages;
    EXPECT_TRUE(ReadModLog(log, game_files_, messages));
    EXPECT_EQ(messages.Errors(), std::vector<std::string>{c.message});
    // A failed read leaves what was in memory.
    EXPECT_EQ(log.FileState[4], 44);
    EXPECT_EQ(log.ModCount(), 1);
    EXPECT_EQ(ReadAll(LogFile()), c.text);
  }
}

TEST_F(ModLogTest, SaveBlockedAtTheTemporaryLogKeepsTheOldLog) {
  log_.Mods.push_back(Entry("Installed", {Change(1, 10, 20, 30, 40)}));
  ASSERT_FALSE(SaveModLog(log_, messages_));
  const std::string before = ReadAll(LogFile());

  MakeFolders(LogFile() + "_/inside");
  log_.Mods.push_back(Entry("Next", {}));
  EXPECT_TRUE(SaveModLog(log_, messages_));
  EXPECT_EQ(messages_.Errors(), std::vector<std::string>{kSaveError});
  EXPECT_EQ(ReadAll(LogFile()), before);
  EXPECT_TRUE(Exists(LogFile() + "_/inside"));
  EXPECT_EQ(log_.ModCount(), 2);
}

TEST_F(ModLogTest, SaveThatCannotReplaceTheLogFailsAndCleansUp) {
  // A folder where the log belongs cannot be renamed over; the log is also not listed, so the
  // read tries to create it and must report the failed save.
  MakeFolders(LogFile() + "/keep");
  WriteAll(LogFile() + "/keep/file", "x");
  EXPECT_TRUE(ReadModLog(log_, game_files_, messages_));
  EXPECT_EQ(messages_.Errors(), std::vector<std::string>{kSaveError});
  EXPECT_FALSE(Exists(LogFile() + "_"));
  EXPECT_EQ(ReadAll(LogFile() + "/keep/file"), "x");
}

TEST(SetFileLengthTest, CutsExtendsAndNeverCreates) {
  TempDir dir;
  const std::string file = dir / "archive.drs";
  WriteAll(file, "0123456789");
  SetFileLength(file, 4);
  EXPECT_EQ(ReadAll(file), "0123");
  SetFileLength(file, 6);
  EXPECT_EQ(ReadAll(file), std::string("0123\0\0", 6));
  SetFileLength(file, -1);
  EXPECT_EQ(ReadAll(file).size(), 6u);

  SetFileLength(dir / "missing.drs", 100);
  EXPECT_FALSE(Exists(dir / "missing.drs"));
  MakeFolders(dir / "folder.drs");
  SetFileLength(dir / "folder.drs", 0);
  EXPECT_TRUE(Exists(dir / "folder.drs"));
}

}  // namespace
}  // namespace tarnwick
