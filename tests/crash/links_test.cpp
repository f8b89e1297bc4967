// Links in the game folder and the temporary folder: one planted where the program creates a file
// is replaced, never written through; a game file that is itself a link stays one.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "driver_test.h"
#include "fixtures/files.h"

namespace tarnwick {
namespace {

namespace fs = std::filesystem;

using Links = DriverTest;

TEST_F(Links, ALinkPlantedWhereAFileIsCreatedIsNeverWrittenThrough) {
  std::vector<std::string> sprites;
  for (int c = 0; c < 9; ++c) sprites.push_back("tmp/quillet" + std::to_string(c) + ".slp");
  // Names relative to the folder that holds the game and the temporary folder.
  const std::vector<std::vector<std::string>> planted_sets = {
      {"game/mods.log_"},        {"game/language.dll.000"},
      {"game/language.dll.001"},  // the mod's second replacement of the same file
      {"game/genie_x1.dat.000"}, sprites,
  };
  const std::string root = fs::path(game_).parent_path().string();
  const std::string victims = root + "/victims";
  for (const bool dangling : {false, true}) {
    for (const std::vector<std::string>& planted : planted_sets) {
      SCOPED_TRACE(planted.front() + (dangling ? ", leading nowhere" : ""));
      Restore(pristine_);
      LayOut(victims, {});
      for (size_t k = 0; k < planted.size(); ++k) {
        const std::string victim = victims + "/" + std::to_string(k);
        if (!dangling) fixtures::WriteAll(victim, "victim " + std::to_string(k));
        fs::create_symlink(victim, root + "/" + planted[k]);
      }
      std::string errors;
      EXPECT_EQ(Drive("install", "", &errors), 0) << errors;
      // The backups hold the files they were made of, in files of their own.
      EXPECT_FALSE(fs::is_symlink(game_ + "/language.dll.000"));
      EXPECT_EQ(fixtures::ReadAll(game_ + "/language.dll.000"), pristine_["language.dll"]);
      EXPECT_FALSE(fs::is_symlink(game_ + "/genie_x1.dat.000"));
      EXPECT_EQ(fixtures::ReadAll(game_ + "/genie_x1.dat.000"), pristine_["genie_x1.dat"]);
      EXPECT_EQ(Drive("remove", "", &errors), 0) << errors;
      ExpectPristine("an install and removal beside planted links");
      // What the install wrote through a link would still be there: the removal never writes to
      // the names it planted.
      for (size_t k = 0; k < planted.size(); ++k) {
        const std::string victim = victims + "/" + std::to_string(k);
        if (dangling) {
          EXPECT_FALSE(fixtures::Exists(victim)) << victim << " was created through the link";
        } else {
          EXPECT_EQ(fixtures::ReadAll(victim), "victim " + std::to_string(k));
        }
      }
      if (HasFatalFailure()) return;
    }
  }
}

TEST_F(Links, GameFilesThatAreLinksAreInstalledOverAndRestoredThroughTheLink) {
  Restore(pristine_);
  const std::string real = fs::path(game_).parent_path().string() + "/real";
  fs::create_directories(real);
  const std::vector<std::string> linked = {"language.dll", "genie_x1.dat", "graphics.drs"};
  for (const std::string& name : linked) {
    fs::rename(game_ + "/" + name, real + "/" + name);
    fs::create_symlink(real + "/" + name, game_ + "/" + name);
  }
  std::string errors;
  ASSERT_EQ(Drive("install", "", &errors), 0) << errors;
  for (const std::string& name : linked) {
    EXPECT_TRUE(fs::is_symlink(game_ + "/" + name)) << name << " after the install";
    EXPECT_NE(fixtures::ReadAll(real + "/" + name), pristine_[name]) << name;
  }
  ASSERT_EQ(Drive("remove", "", &errors), 0) << errors;
  for (const std::string& name : linked) {
    EXPECT_TRUE(fs::is_symlink(game_ + "/" + name)) << name << " after the removal";
    EXPECT_EQ(fixtures::ReadAll(real + "/" + name), pristine_[name]) << name;
  }
  ExpectPristine("an install and removal through linked game files");
}

}  // namespace
}  // namespace tarnwick
