#include "modlog/mod_log.h"

#include <gtest/gtest.h>

#include <string>

#include "common/game_files.h"
#include "fixtures/files.h"
#include "fixtures/recording_messages.h"
#include "win32_files.h"

namespace tarnwick {
namespace {

using fixtures::ReadAll;
using fixtures::RecordingMessages;
using fixtures::TempDir;
using fixtures::WriteAll;
using windows_tests::ExclusiveHandle;
using windows_tests::WinPath;

ModLog LogWithOneMod(const std::string& log_path, const std::string& name) {
  ModLog log;
  log.LogPath = log_path;
  log.FileState[kGraphicsDrs] = 1000;
  ModLogEntry entry;
  entry.Name = name;
  entry.Changes.push_back(FileChange{kGraphicsDrs, 900, 76, 500, 400});
  log.Mods.push_back(entry);
  return log;
}

// Windows refuses to rename over an existing file unless asked to replace it, and every save
// after the first one is such a rename.
TEST(SaveModLog, ReplacesTheLogOnEverySave) {
  TempDir dir;
  const std::string data = WinPath(dir, "data\\");
  fixtures::MakeFolders(data);
  RecordingMessages messages;
  ASSERT_FALSE(SaveModLog(LogWithOneMod(data + "mods.log", "First"), messages));
  ASSERT_FALSE(SaveModLog(LogWithOneMod(data + "mods.log", "Second"), messages));
  EXPECT_TRUE(messages.boxes.empty());
  EXPECT_FALSE(fixtures::Exists(data + "mods.log_"));

  ModLog read;
  read.LogPath = data + "mods.log";
  ASSERT_FALSE(ReadModLog(read, MakeGameFiles(WinPath(dir, ""), data), messages));
  ASSERT_EQ(read.ModCount(), 1);
  EXPECT_EQ(read.Mods[1].Name, "Second");
  EXPECT_EQ(read.Mods[1].Changes[1], (FileChange{kGraphicsDrs, 900, 76, 500, 400}));
}

TEST(SaveModLog, ALogHeldByAnotherProgramStaysAsItWas) {
  TempDir dir;
  const std::string log_path = WinPath(dir, "mods.log");
  WriteAll(log_path, "the old log");
  RecordingMessages messages;
  {
    ExclusiveHandle editor(log_path);
    ASSERT_TRUE(editor.held());
    EXPECT_TRUE(SaveModLog(LogWithOneMod(log_path, "New"), messages));
  }
  EXPECT_EQ(messages.Errors(), std::vector<std::string>{"Cannot save log file!"});
  EXPECT_EQ(ReadAll(log_path), "the old log");
  EXPECT_FALSE(fixtures::Exists(log_path + "_"));
}

TEST(SetFileLength, LeavesAHeldArchiveAsItIsWithoutAWord) {
  TempDir dir;
  const std::string archive = WinPath(dir, "terrain.drs");
  WriteAll(archive, "0123456789");
  {
    ExclusiveHandle game(archive);
    ASSERT_TRUE(game.held());
    SetFileLength(archive, 3);
  }
  EXPECT_EQ(ReadAll(archive), "0123456789");
  SetFileLength(archive, 3);
  EXPECT_EQ(ReadAll(archive), "012");
}

}  // namespace
}  // namespace tarnwick
