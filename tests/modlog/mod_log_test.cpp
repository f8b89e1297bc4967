#include "modlog/mod_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "fixtures/files.h"
#include "fixtures/recording_messages.h"

namespace tarnwick {
namespace {

using fixtures::Exists;
using fixtures::ReadAll;
using fixtures::WriteAll;

constexpr char kReadError[] = "Error reading from log file!";
constexpr char kInvalidLog[] =
    "Invalid log file! (it may have been created with a newer version of the mod installer)";
constexpr char kSaveError[] = "Cannot save log file!";

// A current log's text: the header, then `body`'s lines (separated by "|"), each ended by CR LF.
std::string Log(std::string body) {
  std::string text =
      "Mod Log v2.1\r\n** DO NOT ALTER THIS FILE! DOING SO MAY CAUSE MANY NASTY "
      "THINGS! **\r\n";
  for (size_t at; (at = body.find('|')) != std::string::npos;) body.replace(at, 1, "\r\n");
  return text + body + "\r\n";
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
  log_.FileState[27] = std::numeric_limits<int32_t>::max();
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
  for (int k = 0; k <= 4; ++k) WriteAll(File(k), std::string(static_cast<size_t>(100 + k), 'x'));
  WriteAll(File(kGenieDat), "not an archive");
  log_.FileState[26] = 4;
  ASSERT_FALSE(ReadModLog(log_, game_files_, messages_));
  EXPECT_EQ(ReadAll(log_.LogPath), Log("0|100|101|102|103|104|0|0|0|0|0|0|0|0|0|4|0"));

  // With the expansion installed its archives are measured too.
  std::filesystem::remove(log_.LogPath);
  for (int k = 20; k <= 24; ++k) WriteAll(File(k), std::string(static_cast<size_t>(k), 'y'));
  ASSERT_FALSE(ReadModLog(log_, game_files_, messages_));
  EXPECT_EQ(ReadAll(log_.LogPath), Log("0|100|101|102|103|104|0|0|0|20|21|22|23|24|0|4|0"));
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
      {"mod log v2.1\r\nx\r\n0\r\n", kInvalidLog},
      {"Mod Log v3\r\nx\r\n0\r\n", kInvalidLog},
      {Log("0|1|2"), kReadError},
      {Log("1x" + states), kReadError},
      {Log("-1" + states), kReadError},
      {Log("2147483647" + states + "A|0"), kReadError},
      {Log("4294967296" + states), kReadError},
      {Log("1" + states + "A"), kReadError},
      {Log("1" + states + "A|-3"), kReadError},
      {Log("1" + states + "A|1000000000|0|0|0|0|0"), kReadError},
      {Log("1" + states + "A|1|2|100|84"), kReadError},
      {Log("1" + states + "A|1|28|0|0|0|0"), kReadError},
      {Log("1" + states + "A|1|-1|0|0|0|0"), kReadError},
      {Log("1" + states + "A|1|2||0|0|0"), kReadError},
      {Log("1" + states + "A|1|2|2147483648|0|0|0"), kReadError},
      {"Mod Log v2\r\n\r\n1\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\nA\r\n"
       "1\r\n18\r\n0\r\n0\r\n0\r\n0\r\n",
       kReadError},  // v2 had no file 18
      {"Mod Log v2.1\r\n" + std::string(200000, 'x'), kReadError},
  };
  for (const auto& [text, message] : cases) {
    SCOPED_TRACE(text.substr(0, 300));
    WriteAll(log_.LogPath, text);
    ModLog log{log_.LogPath, {}, {}};
    log.FileState[4] = 44;
    log.Mods.push_back(Entry("kept", {}));
    fixtures::RecordingMessages messages;
    EXPECT_TRUE(ReadModLog(log, game_files_, messages));
    EXPECT_EQ(messages.Errors(), std::vector<std::string>{message});
    EXPECT_EQ(log.FileState[4], 44);
    EXPECT_EQ(log.ModCount(), 1);
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
  SetFileLength(File(kGraphicsDrs), 4);
  SetFileLength(File(kGraphicsDrs), 6);
  SetFileLength(File(kGraphicsDrs), -1);
  EXPECT_EQ(ReadAll(File(kGraphicsDrs)), std::string("0123\0\0", 6));
  SetFileLength(File(kSoundsDrs), 100);
  EXPECT_FALSE(Exists(File(kSoundsDrs)));
}

}  // namespace
}  // namespace tarnwick
