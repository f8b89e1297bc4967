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
using fixtures::MakeFolders;
using fixtures::ReadAll;
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

ModLogEntry Entry(std::string name, std::vector<FileChange> changes) {
  ModLogEntry entry{std::move(name), {}};
  for (const FileChange& change : changes) entry.Changes.push_back(change);
  return entry;
}

class ModLogTest : public ::testing::Test {
 protected:
  ModLogTest() {
    MakeFolders(dir_ / "data");
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
  EXPECT_EQ(ReadAll(log_.LogPath), Lines({"Mod Log v2.1",
                                          kWarning,
                                          "2",
                                          "1234",
                                          "0",
                                          "0",
                                          "-5",
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
                                          "2147483647",
                                          "Nothing",
                                          "0",
                                          "Two  lines \xe9",
                                          "2",
                                          "2",
                                          "88",
                                          "124",
                                          "-1",
                                          "0",
                                          "5",
                                          "3",
                                          "0",
                                          "0",
                                          "0"}));
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
  EXPECT_EQ(ReadAll(log_.LogPath),
            Lines({"Mod Log v2.1", kWarning, "0", "100", "101", "102", "103", "104", "0", "0", "0",
                   "0", "0", "0", "0", "0", "0", "4", "0"}));

  // With the expansion installed its archives are measured too.
  std::filesystem::remove(log_.LogPath);
  for (int k = 20; k <= 24; ++k) WriteAll(File(k), std::string(static_cast<size_t>(k), 'y'));
  ASSERT_FALSE(ReadModLog(log_, game_files_, messages_));
  EXPECT_EQ(ReadAll(log_.LogPath),
            Lines({"Mod Log v2.1", kWarning, "0", "100", "101", "102", "103", "104", "0", "0", "0",
                   "20", "21", "22", "23", "24", "0", "4", "0"}));
  EXPECT_TRUE(messages_.boxes.empty());
}

TEST_F(ModLogTest, OlderVersionsAreReadAndSavedAsCurrent) {
  WriteAll(File(20), std::string(300, 'a'));
  log_.FileState[6] = 7;
  log_.FileState[21] = 99;  // its archive is absent, so the value stays
  WriteAll(log_.LogPath,
           Lines({"Mod Log", "anything", "1",   "10", "11", "12", "13", "14", "1", "A", "2",
                  "2",       "10",       "100", "-1", "0",  "12", "0",  "0",  "0", "0"}));
  ASSERT_FALSE(ReadModLog(log_, game_files_, messages_));
  EXPECT_EQ(log_.Mods[1], Entry("A", {{2, 10, 100, -1, 0}, {12, 0, 0, 0, 0}}));
  ASSERT_FALSE(SaveModLog(log_, messages_));
  EXPECT_EQ(ReadAll(log_.LogPath),
            Lines({"Mod Log v2.1", kWarning, "1",  "10", "11", "12", "13", "14", "1", "7", "0",
                   "300",          "99",     "0",  "0",  "0",  "0",  "0",  "0",  "A", "2", "2",
                   "10",           "100",    "-1", "0",  "12", "0",  "0",  "0",  "0"}));

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

TEST_F(ModLogTest, DamagedOrForeignLogsFailWithTheirMessage) {
  const auto log_with = [](std::vector<std::string> rest, std::string count = "1") {
    std::vector<std::string> lines = {"Mod Log v2.1", kWarning, count};
    lines.insert(lines.end(), 16, "0");
    lines.insert(lines.end(), rest.begin(), rest.end());
    return Lines(lines);
  };
  const std::vector<std::pair<std::string, const char*>> cases = {
      {"", kReadError},
      {Lines({"mod log v2.1", kWarning, "0"}), kInvalidLog},
      {Lines({"Mod Log v3", kWarning, "0"}), kInvalidLog},
      {Lines({"Mod Log v2.1", kWarning, "0", "1", "2"}), kReadError},
      {log_with({}, "1x"), kReadError},
      {log_with({}, "-1"), kReadError},
      {log_with({"A", "0"}, "2147483647"), kReadError},
      {log_with({}, "4294967296"), kReadError},
      {log_with({"A"}), kReadError},
      {log_with({"A", "-3"}), kReadError},
      {log_with({"A", "1000000000", "0", "0", "0", "0", "0"}), kReadError},
      {log_with({"A", "1", "2", "100", "84"}), kReadError},
      {log_with({"A", "1", "28", "0", "0", "0", "0"}), kReadError},
      {log_with({"A", "1", "-1", "0", "0", "0", "0"}), kReadError},
      {log_with({"A", "1", "2", "", "0", "0", "0"}), kReadError},
      {log_with({"A", "1", "2", "2147483648", "0", "0", "0"}), kReadError},
      {Lines({"Mod Log v2", "",  "1", "0", "0", "0", "0",  "0", "0", "0", "0",
              "0",          "0", "0", "0", "A", "1", "18", "0", "0", "0", "0"}),
       kReadError},
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
  MakeFolders(log_.LogPath + "_/inside");
  log_.Mods.push_back(Entry("Next", {}));
  EXPECT_TRUE(SaveModLog(log_, messages_));
  EXPECT_EQ(messages_.Errors(), std::vector<std::string>{kSaveError});
  EXPECT_EQ(ReadAll(log_.LogPath), before);

  // A log that cannot be replaced: the written temporary log is not left behind.
  std::filesystem::remove_all(log_.LogPath + "_");
  std::filesystem::remove(log_.LogPath);
  MakeFolders(log_.LogPath + "/keep");
  messages_.boxes.clear();
  EXPECT_TRUE(ReadModLog(log_, game_files_, messages_));
  EXPECT_EQ(messages_.Errors(), std::vector<std::string>{kSaveError});
  EXPECT_FALSE(Exists(log_.LogPath + "_"));
  EXPECT_TRUE(Exists(log_.LogPath + "/keep"));
}

TEST_F(ModLogTest, SetFileLengthCutsExtendsAndNeverCreates) {
  const std::string file = File(kGraphicsDrs);
  WriteAll(file, "0123456789");
  SetFileLength(file, 4);
  EXPECT_EQ(ReadAll(file), "0123");
  SetFileLength(file, 6);
  EXPECT_EQ(ReadAll(file), std::string("0123\0\0", 6));
  SetFileLength(file, -1);
  EXPECT_EQ(ReadAll(file).size(), 6u);
  SetFileLength(File(kSoundsDrs), 100);
  EXPECT_FALSE(Exists(File(kSoundsDrs)));
}

}  // namespace
}  // namespace tarnwick
