#include "platform/host_path.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
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
  EXPECT_EQ(WinePrefix(), prefix_);
  EXPECT_EQ(HostPath("C:\\PROGRAM FILES\\swgb\\data\\GRAPHICS.DRS"),
            drive_c_ + "/Program Files/SWGB/Data/graphics.drs");
  // A folder keeps its separator; names not there yet keep their spelling past the first one.
  EXPECT_EQ(HostPath("c:\\program files\\swgb\\data\\"), drive_c_ + "/Program Files/SWGB/Data/");
  EXPECT_EQ(HostPath("C:\\Program Files\\swgb\\data\\mods.log"),
            drive_c_ + "/Program Files/SWGB/Data/mods.log");
  EXPECT_EQ(HostPath("C:\\program files\\New\\Sub\\x"), drive_c_ + "/Program Files/New/Sub/x");
  EXPECT_EQ(HostPath("C:\\"), drive_c_ + "/");
  // ".." never climbs out of the drive.
  EXPECT_EQ(HostPath("C:\\..\\..\\dosdevices\\x"), drive_c_ + "/dosdevices/x");
  EXPECT_EQ(HostPath("C:\\a\\.\\..\\Program Files\\"), drive_c_ + "/Program Files/");

  EXPECT_EQ(HostPath("Z:\\etc\\"), prefix_ + "/dosdevices/z:/etc/");
  EXPECT_EQ(HostPath("D:\\x"), "");  // dangling link
  EXPECT_EQ(HostPath("Q:\\x"), "");  // no link
  EXPECT_EQ(HostPath(std::string("C:\\a\0b", 6)), "");

  // A host path is matched the same way; its backslashes separate too.
  EXPECT_EQ(HostPath(game_ + "\\DATA\\graphics.drs"), game_ + "/Data/graphics.drs");

  SetWinePrefix("");
  EXPECT_EQ(HostPath("C:\\x"), "");
  EXPECT_EQ(HostPath("z:\\tmp\\"), "/tmp/");
}

TEST_F(HostPathTest, HostPathsComeBackAsTheDriveThatHoldsThem) {
  EXPECT_EQ(ProgramPathFromHost(game_ + "/Data/graphics.drs"),
            "C:\\Program Files\\SWGB\\Data\\graphics.drs");
  EXPECT_EQ(ProgramPathFromHost(game_ + "/Data/"), "C:\\Program Files\\SWGB\\Data\\");
  const std::string outside = dir_ /
                              "Stra\xc3\x9f"
                              "e";
  MakeFolders(outside);
  std::string expected = "Z:" + outside + "/";
  for (char& c : expected) c = c == '/' ? '\\' : c;
  expected.replace(expected.find("\xc3\x9f"), 2, "\xdf");
  const std::string program = ProgramPathFromHost(outside + "/");
  EXPECT_EQ(program, expected);
  EXPECT_EQ(std::filesystem::canonical(HostPath(program)), std::filesystem::canonical(outside));
  EXPECT_EQ(HostPath(ProgramPathFromHost(game_ + "/Data/graphics.drs")),
            drive_c_ + "/Program Files/SWGB/Data/graphics.drs");
}

TEST_F(HostPathTest, PathListedCountsOrdinaryVisibleFilesOnly) {
  const std::string data = "C:\\Program Files\\SWGB\\data\\";
  EXPECT_TRUE(PathListed(data));
  EXPECT_TRUE(PathListed(data + "GRAPHICS.drs"));
  EXPECT_FALSE(PathListed("C:\\Program Files\\SWGB\\data"));  // a folder is no file
  EXPECT_FALSE(PathListed(data + "sounds.drs"));
  EXPECT_FALSE(PathListed("D:\\"));
  EXPECT_FALSE(PathListed("Q:\\"));

  // Only sub-folders, hidden files, a pipe and a socket: nothing listed.
  const std::string empty = dir_ / "empty";
  MakeFolders(empty + "/sub/deeper");
  WriteAll(empty + "/sub/deeper/file", "x");
  WriteAll(empty + "/.hidden", "x");
  ASSERT_EQ(::mkfifo((empty + "/pipe").c_str(), 0600), 0);
  const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(sock, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socket_path = empty + "/sock";
  if (socket_path.size() < sizeof(address.sun_path)) {
    socket_path.copy(address.sun_path, socket_path.size());
    EXPECT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  }
  ::close(sock);
  EXPECT_FALSE(PathListed(empty + "/"));
  EXPECT_FALSE(PathListed(empty + "/.hidden"));
  EXPECT_FALSE(PathListed(empty + "/pipe"));
  EXPECT_TRUE(PathListed(empty + "/sub/deeper/"));
  ASSERT_EQ(::symlink("sub/deeper/file", (empty + "/link").c_str()), 0);
  EXPECT_TRUE(PathListed(empty + "/"));
}

TEST(FolderOfPathTest, CutsAfterTheLastBackslash) {
  EXPECT_EQ(FolderOfPath("C:\\Mods\\a.mpi"), "C:\\Mods\\");
  EXPECT_EQ(FolderOfPath("C:\\Mods\\"), "C:\\Mods\\");
  EXPECT_EQ(FolderOfPath("a.mpi"), "");
  EXPECT_EQ(FolderOfPath("/home/a/b.mpi"), "");
}

}  // namespace
}  // namespace tarnwick
