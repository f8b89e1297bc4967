#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli_scene.h"
#include "writers/game_folder.h"
#include "writers/mpi_writer.h"

namespace tarnwick::testing {
namespace {

// Asked on the terminal, with the progress bar erased before the result; a message while the bar
// stands (here the install's refusal of a second row) starts on a line of its own.
TEST(CliTerminalTest, AsksOnATerminalAndShowsTheProgress) {
  CliScene scene;
  fixtures::MpiPackage package;
  package.title = "Big graphic";
  package.rows = {{1, 1, 100, std::string(8'000'000, '\x5A'), {}, {}}};
  ASSERT_FALSE(fixtures::WriteHostFile(scene.Mod("big.mpi"), fixtures::BuildMpi(package)));
  const auto run = [&scene](const std::vector<std::string>& args, const std::string& answer) {
    std::vector<std::string> all = {"--prefix", scene.prefix};
    all.insert(all.end(), args.begin(), args.end());
    return RunOnTerminal(TARNWICK_PROGRAM, all, ProgramEnvironment(scene.dir.path(), {"TERM=dumb"}),
                         "[y/N] ", answer);
  };

  const Ran installed = run({"install", scene.Mod("big.mpi")}, "y\n");
  EXPECT_EQ(installed.status, 0) << installed.out;
  const std::string& screen = installed.out;
  const size_t question = screen.find("Mod installation: Install Big graphic? [y/N] ");
  const size_t bar = screen.find("resource 1 of 1");
  const size_t erased = screen.rfind("\r\x1b[K");
  const size_t done = screen.find("Mod installed successfully");
  ASSERT_NE(question, std::string::npos) << screen;
  ASSERT_NE(bar, std::string::npos) << screen;
  EXPECT_NE(screen.find("of 8.0 MB"), std::string::npos) << screen;
  EXPECT_TRUE(question < bar && bar < erased && erased < done) << screen;

  const Tree before = ReadTree(scene.prefix);
  const Ran declined = run({"remove"}, "n\n");
  EXPECT_EQ(declined.status, 1);
  EXPECT_NE(declined.out.find("(Big graphic). Do you wish to continue? [y/N] "), std::string::npos);
  EXPECT_EQ(ReadTree(scene.prefix), before);

  package.title = "Half good";
  package.rows.push_back({5, 200, 0, "no such file code", {}, {}});
  ASSERT_FALSE(fixtures::WriteHostFile(scene.Mod("half.mpi"), fixtures::BuildMpi(package)));
  const Ran half = run({"install", "--yes", scene.Mod("half.mpi")}, "");
  EXPECT_EQ(half.status, 1);
  ASSERT_NE(half.out.find("resource 1 of 2"), std::string::npos) << half.out;
  EXPECT_NE(half.out.find("\r\x1b[KError: Specified MPI file is invalid or corrupted! "
                          "Installation incomplete."),
            std::string::npos)
      << half.out;
}

}  // namespace
}  // namespace tarnwick::testing
