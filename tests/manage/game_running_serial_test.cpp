// Beside a process named like the game, every other install or removal would see the game
// running; so this runs alone.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "mod_stack.h"
#include "platform/game_process.h"

namespace tarnwick {
namespace {

TEST(RemoveAnyGameRunningTest, ARunningGameWritesNothingAndSaysSo) {
  fixtures::TempDir root;
  ModStack game(root.path());
  for (int which : {0, 1}) ASSERT_TRUE(game.Install(which));
  const std::string copy = root / "Battlegrounds.exe";
  ASSERT_EQ(::symlink("/bin/sh", copy.c_str()), 0);
  std::string name = "sh", script = "-c", loop = "while sleep 1; do :; done";
  char* argv[] = {name.data(), script.data(), loop.data(), nullptr};
  pid_t pid = 0;
  ASSERT_EQ(::posix_spawn(&pid, copy.c_str(), nullptr, nullptr, argv, environ), 0);
  // /proc shows the new name once the helper has called exec.
  for (int i = 0; i < 200 && !GameIsRunning(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const Snapshot before = ReadFolder(game.folder());
  const RemovalPlan plan = game.Plan(1);
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  ASSERT_EQ(plan.failed.size(), 1u);
  EXPECT_EQ(plan.failed[0].refusal, RemovalRefusal::kGameRunning);
  EXPECT_EQ(Describe(plan.failed[0]),
            "The game is running. Make sure SWGB is not currently running.");
  EXPECT_EQ(game.Apply(plan), RemovalOutcome::kRefused);
  EXPECT_EQ(ReadFolder(game.folder()), before);
}

}  // namespace
}  // namespace tarnwick
