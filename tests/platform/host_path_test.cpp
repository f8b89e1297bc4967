#include "platform/host_path.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fixtures/files.h"
#include "platform/file_system.h"
#include "writers/game_folder.h"
#include "writers/wine_prefix_writer.h"

namespace tarnwick {
namespace {

using fixtures::MakeFolders;
using fixtures::WriteAll;

// A Wine prefix: the data folder spelt "Data" on disk, drive D: dangling, Q: unmapped.
class HostPathTest : public ::testing::Test {
 protected:
  HostPathTest() {
    EXPECT_FALSE(fixtures::WriteWinePrefix(prefix_, {}));
    EXPECT_FALSE(fixtures::WriteHostFile(game_ + "/Data/graphics.drs", "x"));
    EXPECT_EQ(::symlink("../gone", (prefix_ + "/dosdevices/d:").c_str()), 0);
    SetWinePrefix(prefix_ + "/");
  }
  ~HostPathTest() override { SetWinePrefix(""); }

  fixtures::TempDir dir_;
  const std::string prefix_ = dir_ / "pfx";
  const std::string drive_c_ = prefix_ + "/dosdevices/c:";
  const std::string game_ = prefix_ + "/drive_c/Program Files/SWGB";
};

TEST_F(HostPathTest, DrivePathsMapBothWaysThroughThePrefixWithoutRegardToCase) {
  const std::pair<std::string, std::string> cases[] = {
      {"C:\\PROGRAM FILES\\swgb\\data\\GRAPHICS.DRS",
       drive_c_ + "/Program Files/SWGB/Data/graphics.drs"},
      // A folder keeps its separator; names not there yet keep their spelling.
      {"c:\\program files\\swgb\\data\\", drive_c_ + "/Program Files/SWGB/Data/"},
      {"C:\\Program Files\\swgb\\data\\New\\mods.log",
       drive_c_ + "/Program Files/SWGB/Data/New/mods.log"},
      {"C:\\..\\..\\dosdevices\\x", drive_c_ + "/dosdevices/x"},  // never climbs out of the drive
      {"Z:\\etc\\", prefix_ + "/dosdevices/z:/etc/"},
      {"D:\\x", ""},
      {"Q:\\x", ""},
      {std::string("C:\\a\0b", 6), ""},
      {game_ + "\\DATA\\graphics.drs", game_ + "/Data/graphics.drs"},  // a host path
  };
  for (const auto& [program, host] : cases) EXPECT_EQ(HostPath(program), host) << program;
  // Host paths come back as the drive that holds them (names in any script: the Unicode path
  // tests of the manage room).
  EXPECT_EQ(ProgramPathFromHost(game_ + "/Data/"), "C:\\Program Files\\SWGB\\Data\\");
  SetWinePrefix("");
  EXPECT_EQ(HostPath("C:\\x"), "");
  EXPECT_EQ(HostPath("z:\\tmp\\"), "/tmp/");
}

TEST_F(HostPathTest, PathListedCountsOrdinaryVisibleFilesOnly) {
  for (const char* listed :
       {"C:\\Program Files\\SWGB\\data\\", "C:\\program files\\swgb\\DATA\\GRAPHICS.drs"})
    EXPECT_TRUE(PathListed(listed)) << listed;
  for (const char* absent : {"C:\\Program Files\\SWGB\\data",
                             "C:\\Program Files\\SWGB\\data\\sounds.drs", "D:\\", "Q:\\"})
    EXPECT_FALSE(PathListed(absent)) << absent;

  // Only a sub-folder, a hidden file and a pipe: nothing listed, until a link to a file comes.
  const std::string empty = dir_ / "empty";
  ASSERT_FALSE(fixtures::WriteHostFile(empty + "/sub/deeper/file", "x"));
  WriteAll(empty + "/.hidden", "x");
  ASSERT_EQ(::mkfifo((empty + "/pipe").c_str(), 0600), 0);
  for (const char* name : {"/", "/.hidden", "/pipe"})
    EXPECT_FALSE(PathListed(empty + name)) << name;
  EXPECT_TRUE(PathListed(empty + "/sub/deeper/"));
  ASSERT_EQ(::symlink("sub/deeper/file", (empty + "/link").c_str()), 0);
  EXPECT_TRUE(PathListed(empty + "/"));
}

}  // namespace
}  // namespace tarnwick
