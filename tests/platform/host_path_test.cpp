#include "platform/host_path.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "fixtures/files.h"
#include "platform/file_system.h"

namespace tarnwick {
namespace {

using fixtures::MakeFolders;
using fixtures::TempDir;
using fixtures::WriteAll;

// A prefix as Wine lays it out, with the game's data folder spelt "Data" on disk, a drive whose
// target is gone, and drives not mapped at all.
class HostPathTest : public ::testing::Test {
 protected:
  HostPathTest() {
    MakeFolders(prefix_ + "/dosdevices");
    MakeFolders(game_ + "/Data");
    EXPECT_EQ(::symlink("../drive_c", (prefix_ + "/dosdevices/c:").c_str()), 0);
    EXPECT_EQ(::symlink("/", (prefix_ + "/dosdevices/z:").c_str()), 0);
    EXPECT_EQ(::symlink("../gone", (prefix_ + "/dosdevices/d:").c_str()), 0);
    WriteAll(game_ + "/Data/graphics.drs", "x");
    SetWinePrefix(prefix_ + "/");
  }
  ~HostPathTest() override { SetWinePrefix(""); }

  TempDir dir_;
  const std::string prefix_ = dir_ / "pfx";
  const std::string drive_c_ = prefix_ + "/dosdevices/c:";
  const std::string game_ = prefix_ + "/drive_c/Program Files/SWGB";
};

TEST_F(HostPathTest, DrivePathsMapThroughThePrefixWithoutRegardToCase) {
  const std::pair<std::string, std::string> cases[] = {
      {"C:\\PROGRAM FILES\\swgb\\data\\GRAPHICS.DRS",
       drive_c_ + "/Program Files/SWGB/Data/graphics.drs"},
      // A folder keeps its separator; names not there yet keep their spelling.
      {"c:\\program files\\swgb\\data\\", drive_c_ + "/Program Files/SWGB/Data/"},
      {"C:\\Program Files\\swgb\\data\\mods.log", drive_c_ + "/Program Files/SWGB/Data/mods.log"},
      {"C:\\program files\\New\\Sub\\x", drive_c_ + "/Program Files/New/Sub/x"},
      // ".." never climbs out of the drive.
      {"C:\\..\\..\\dosdevices\\x", drive_c_ + "/dosdevices/x"},
      {"C:\\a\\.\\..\\Program Files\\", drive_c_ + "/Program Files/"},
      {"Z:\\etc\\", prefix_ + "/dosdevices/z:/etc/"},
      {"D:\\x", ""},  // dangling link
      {"Q:\\x", ""},  // no link
      {std::string("C:\\a\0b", 6), ""},
      // A host path is matched the same way; its backslashes separate too.
      {game_ + "\\DATA\\graphics.drs", game_ + "/Data/graphics.drs"},
  };
  for (const auto& [program, host] : cases) EXPECT_EQ(HostPath(program), host) << program;

  SetWinePrefix("");
  EXPECT_EQ(HostPath("C:\\x"), "");
  EXPECT_EQ(HostPath("z:\\tmp\\"), "/tmp/");
}

TEST_F(HostPathTest, HostPathsComeBackAsTheDriveThatHoldsThem) {
  EXPECT_EQ(ProgramPathFromHost(game_ + "/Data/"), "C:\\Program Files\\SWGB\\Data\\");
  EXPECT_EQ(HostPath(ProgramPathFromHost(game_ + "/Data/graphics.drs")),
            drive_c_ + "/Program Files/SWGB/Data/graphics.drs");
  // Outside drive C through Z:, the name in the program's code page.
  const std::string outside = dir_ / "Stra\303\237e";
  MakeFolders(outside);
  std::string expected = "Z:" + dir_.path() + "/Stra\337e/";
  for (char& c : expected) c = c == '/' ? '\\' : c;
  EXPECT_EQ(ProgramPathFromHost(outside + "/"), expected);
  EXPECT_EQ(std::filesystem::canonical(HostPath(expected)), std::filesystem::canonical(outside));
}

TEST_F(HostPathTest, PathListedCountsOrdinaryVisibleFilesOnly) {
  const std::string data = "C:\\Program Files\\SWGB\\data\\";
  EXPECT_TRUE(PathListed(data));
  EXPECT_TRUE(PathListed(data + "GRAPHICS.drs"));
  EXPECT_FALSE(PathListed("C:\\Program Files\\SWGB\\data"));  // a folder is no file
  for (const char* absent : {"C:\\Program Files\\SWGB\\data\\sounds.drs", "D:\\", "Q:\\"}) {
    EXPECT_FALSE(PathListed(absent)) << absent;
  }

  // Only a sub-folder, a hidden file and a pipe: nothing listed, until a link to a file comes.
  const std::string empty = dir_ / "empty";
  MakeFolders(empty + "/sub/deeper");
  WriteAll(empty + "/sub/deeper/file", "x");
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
