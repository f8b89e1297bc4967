#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "cli_scene.h"
#include "writers/game_folder.h"
#include "writers/mpi_writer.h"

namespace tarnwick::testing {
namespace {

struct TerminalRun {
  int status = -1;
  std::string screen;  // standard output and standard error as the terminal got them
};

// Runs the program with all three streams on a terminal, typing `answer` once `prompt` shows.
TerminalRun RunOnTerminal(const std::vector<std::string>& args, const std::string& scratch,
                          const std::string& prompt, const std::string& answer) {
  std::vector<std::string> argv = {TARNWICK_PROGRAM};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<std::string> envp = ProgramEnvironment(scratch, {"TERM=dumb"});
  std::vector<char*> argv_c, envp_c;
  for (std::string& text : argv) argv_c.push_back(text.data());
  for (std::string& text : envp) envp_c.push_back(text.data());
  argv_c.push_back(nullptr);
  envp_c.push_back(nullptr);

  TerminalRun run;
  int terminal = -1;
  const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
  if (pid < 0) return run;
  if (pid == 0) {
    execve(argv_c[0], argv_c.data(), envp_c.data());
    _exit(127);
  }
  bool answered = false;
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < give_up) {
    pollfd ready = {terminal, POLLIN, 0};
    if (poll(&ready, 1, 100) <= 0) continue;
    char block[4096];
    const ssize_t got = read(terminal, block, sizeof block);
    if (got <= 0) break;  // the program ended and closed its side
    run.screen.append(block, static_cast<size_t>(got));
    if (!answered && run.screen.find(prompt) != std::string::npos) {
      answered = true;
      if (write(terminal, answer.data(), answer.size()) < 0) break;
    }
  }
  close(terminal);
  int status = 0;
  if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) run.status = WEXITSTATUS(status);
  return run;
}

TEST(CliTerminalTest, AsksOnATerminalAndShowsTheProgress) {
  CliScene scene;
  fixtures::MpiPackage package;
  package.title = "Big graphic";
  package.rows = {{1, 1, 100, std::string(8'000'000, '\x5A'), {}, {}}};
  ASSERT_FALSE(fixtures::WriteHostFile(scene.Mod("big.mpi"), fixtures::BuildMpi(package)));

  const TerminalRun installed =
      RunOnTerminal({"--prefix", scene.prefix, "install", scene.Mod("big.mpi")}, scene.dir.path(),
                    "[y/N] ", "y\n");
  EXPECT_EQ(installed.status, 0) << installed.screen;
  const std::string& screen = installed.screen;
  const size_t question = screen.find("Mod installation: Install Big graphic? [y/N] ");
  const size_t bar = screen.find("resource 1 of 1");
  const size_t erased = screen.rfind("\r\x1b[K");
  const size_t done = screen.find("Mod installed successfully");
  ASSERT_NE(question, std::string::npos) << screen;
  ASSERT_NE(bar, std::string::npos) << screen;
  EXPECT_NE(screen.find("of 8.0 MB"), std::string::npos) << screen;
  EXPECT_TRUE(question < bar && bar < erased && erased < done) << screen;

  const Tree before = ReadTree(scene.prefix);
  const TerminalRun declined =
      RunOnTerminal({"--prefix", scene.prefix, "remove"}, scene.dir.path(), "[y/N] ", "n\n");
  EXPECT_EQ(declined.status, 1);
  EXPECT_NE(declined.screen.find("(Big graphic). Do you wish to continue? [y/N] "),
            std::string::npos);
  EXPECT_EQ(ReadTree(scene.prefix), before);
}

// A message while the bar stands (here the install's refusal of its second row) starts on a line
// of its own.
TEST(CliTerminalTest, MessagesNeverLandBehindTheBar) {
  CliScene scene;
  fixtures::MpiPackage package;
  package.title = "Half good";
  package.rows = {{1, 1, 100, std::string(4'000'000, '\x5A'), {}, {}},
                  {5, 200, 0, "no such file code", {}, {}}};
  ASSERT_FALSE(fixtures::WriteHostFile(scene.Mod("half.mpi"), fixtures::BuildMpi(package)));
  const TerminalRun run =
      RunOnTerminal({"--prefix", scene.prefix, "install", "--yes", scene.Mod("half.mpi")},
                    scene.dir.path(), "never asked", "");
  EXPECT_EQ(run.status, 1);
  ASSERT_NE(run.screen.find("resource 1 of 2"), std::string::npos) << run.screen;
  EXPECT_NE(run.screen.find("\r\x1b[KError: Specified MPI file is invalid or corrupted! "
                            "Installation incomplete."),
            std::string::npos)
      << run.screen;
}

}  // namespace
}  // namespace tarnwick::testing
