// What `build` says about a folder it cannot build, and that it then leaves nothing behind.

#include <gtest/gtest.h>

#include <filesystem>

#include "fixtures/files.h"
#include "pack_run.h"
#include "writers/mpi_writer.h"

namespace tarnwick {
namespace {

namespace fs = std::filesystem;

class BuildErrors : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = dir_ / "mod";
    fixtures::MakeFolders(folder_);
    fixtures::WriteAll(folder_ + "/a.bin", "payload");
    fixtures::WriteAll(folder_ + "/readme.txt", "Readme\r\n");
    fixtures::WriteAll(folder_ + "/long.txt", std::string(32768, 'r'));
  }
  // Builds over an older package, which must stay as it was when the build fails.
  Ran Build(const std::string& manifest) {
    fixtures::WriteAll(folder_ + "/mod.toml", manifest);
    fixtures::WriteAll(output_, "older package");
    return RunPack({"build", folder_, "-o", output_}, dir_);
  }

  fixtures::TempDir dir_;
  std::string folder_;
  const std::string output_ = dir_ / "out.mpi";
};

constexpr char kRow[] = "\n[[row]]\nkind = \"resource\"\narchive = \"graphics.drs\"\nid = 100\n";

TEST_F(BuildErrors, NameTheFileLineAndColumnAndWhatWasExpected) {
  struct Case {
    std::string manifest;
    std::string message;  // after "<folder>/mod.toml:"
  };
  const std::string rows = std::string(kRow) + "file = \"a.bin\"\n" + kRow;
  const std::vector<Case> cases = {
      {"title = \"x", "1:11: Error while parsing string: encountered end-of-file"},
      {std::string("format = \"0.6\"\n") + kRow + "file = \"a.bin\"\n",
       "1:1: the top level: expected a key \"title\""},
      {"title = \"T\"\n", "1:1: expected at least one [[row]]"},
      {std::string("title = \"T\"\ntitel = \"T\"\n") + kRow + "file = \"a.bin\"\n",
       "2:1: unknown key \"titel\" in the top level"},
      {"title = \"T\"\nformat = \"0.7\"\n" + std::string(kRow) + "file = \"a.bin\"\n",
       "2:10: expected \"format\" to be \"0.6\" or \"0.5\""},
      {"title = \"T \xE2\x9C\x93\"\n" + std::string(kRow) + "file = \"a.bin\"\n",
       "1:9: expected \"title\" to hold only characters of Windows-1252"},
      {"title = \"T\"\n[[row]]\nkind = \"sprite\"\n",
       "3:8: row 1: expected \"kind\" to be \"resource\", \"replace\" or \"icons\""},
      {"title = \"T\"\n[[row]]\nkind = \"resource\"\narchive = \"graphic.drs\"\nid = 1\n"
       "file = \"a.bin\"\n",
       "4:11: row 1: expected \"archive\" to be one of \"gamedata.drs\", \"graphics.drs\", "
       "\"interfac.drs\", \"sounds.drs\", \"terrain.drs\" (or a code 0 to 255)"},
      {"title = \"T\"\n[[row]]\nkind = \"resource\"\narchive = 1\nid = 3000000000\n"
       "file = \"a.bin\"\n",
       "5:6: row 1: expected \"id\" to be a whole number from -2147483648 to 2147483647"},
      {"title = \"T\"\n[[row]]\nkind = \"replace\"\ngame_file = \"language.dll\"\n",
       "2:1: row 1: expected a key \"file\" (the payload)"},
      {"title = \"T\"\n[[row]]\nkind = \"replace\"\ngame_file = \"language.dll\"\n"
       "file = \"../a.bin\"\n",
       "5:8: row 1: expected \"file\" to name a file inside the mod's folder, not \"../a.bin\""},
      {"title = \"T\"\n[[row]]\nkind = \"icons\"\nframe = 1\ncivilisations = [0, 8]\n"
       "icon_set = 0\nfile = \"a.bin\"\n",
       "5:21: row 1: expected a civilisation number from 0 to 7"},
      {std::string("title = \"T\"\n") + kRow + "file = \"a.bin\"\nlength = 3\n",
       "8:10: row 1: expected no \"length\" beside \"file\" (the file's size is the payload's "
       "length)"},
      {"title = \"T\"\nrow = 3\n", "2:7: expected \"row\" to be written as [[row]] tables"},
      // A missing payload or readme is named by its path.
      {"title = \"T\"\nreadme = \"read-me.txt\"\n" + rows + "file = \"sprites/b.slp\"\n",
       "2:10: readme: no file " + folder_ + "/read-me.txt"},
      {"title = \"T\"\n" + rows + "file = \"sprites/b.slp\"\n",
       "13:8: row 2: no file " + folder_ + "/sprites/b.slp"},
      // Layouts that no package can hold.
      {std::string("title = \"T\"\n") + kRow + "file = \"a.bin\"\noffset = 20\n",
       "3:1: row 1: offset 20 lies inside the header and table, which end at 29"},
      {"title = \"T\"\nreadme = \"long.txt\"\n" + std::string(kRow) + "file = \"a.bin\"\n",
       "2:10: readme: " + folder_ + "/long.txt has 32768 bytes; a package holds at most 32767"},
  };
  for (const Case& c : cases) {
    const Ran ran = Build(c.manifest);
    EXPECT_EQ(ran.status, 1) << c.manifest;
    EXPECT_EQ(ran.err.substr(0, ran.err.find('\n') + 1), folder_ + "/mod.toml:" + c.message + "\n")
        << c.manifest;
    EXPECT_EQ(ran.out, "");
    EXPECT_EQ(fixtures::ReadAll(output_), "older package") << c.manifest;
    EXPECT_FALSE(fixtures::Exists(output_ + ".partial"));
  }
}

TEST_F(BuildErrors, AFreshFolderBuildsBackToBackAndUnpackKeepsToNewFolders) {
  fixtures::WriteAll(folder_ + "/b.bin", "more");
  const Ran built = Build("title = \"T\"\nreadme = \"readme.txt\"\n" + std::string(kRow) +
                          "file = \"a.bin\"\n" + kRow + "file = \"b.bin\"\ntype = 4\n");
  ASSERT_EQ(built.status, 0) << built.err;
  // The same id twice builds, and the build says that check has something to say.
  EXPECT_EQ(built.out, "wrote " + output_ +
                           " (62 bytes)\ncheck: 0 errors, 1 warning; 'tarnwick-pack check " +
                           output_ + "' shows them\n");
  fixtures::MpiPackage expected;
  expected.title = "T";
  expected.readme = "Readme\r\n";
  expected.rows = {{1, 1, 100, "payload", {}, {}}, {4, 1, 100, "more", {}, {}}};
  EXPECT_TRUE(fixtures::ReadAll(output_) == fixtures::BuildMpi(expected));

  // Unpacking never writes into a folder that holds files.
  const Ran refused = RunPack({"unpack", output_, folder_}, dir_);
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err, folder_ + ": already holds files; unpack into a new folder\n");
  const Ran not_package = RunPack({"unpack", folder_ + "/a.bin", dir_ / "new"}, dir_);
  EXPECT_EQ(not_package.status, 1);
  EXPECT_EQ(not_package.err, folder_ + "/a.bin: it ends inside its header\n");
  EXPECT_FALSE(fs::exists(dir_ / "new"));

  // A folder named with its trailing separator is the same folder.
  const Ran unpacked = RunPack({"unpack", output_, dir_ / "new/"}, dir_);
  ASSERT_EQ(unpacked.status, 0) << unpacked.err;
  EXPECT_EQ(unpacked.out, "wrote " + dir_ / "new/" + "\n");
  EXPECT_TRUE(fixtures::ReadAll(dir_ / "new/02-graphics-100.bin") == "more");
  EXPECT_FALSE(fs::exists(dir_ / "new/.unpacking"));
  EXPECT_FALSE(fs::exists(dir_ / "new.unpacking"));
}

TEST_F(BuildErrors, UsageMistakesExitWithTwo) {
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{},
                                             {"pack"},
                                             {"build"},
                                             {"unpack", "x.mpi"},
                                             {"check", "a", "b"},
                                             {"build", "d", "--frobnicate"}}) {
    const Ran ran = RunPack(args, dir_);
    EXPECT_EQ(ran.status, 2) << ::testing::PrintToString(args);
    EXPECT_NE(ran.err, "");
  }
}

}  // namespace
}  // namespace tarnwick
