#include "platform/game_process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <tuple>
#include <vector>

#include "fixtures/files.h"

namespace tarnwick {
namespace {

// A shell looping until killed, run as `program` with `args` (argv[0] first): a game or a loader.
struct Helper {
  Helper(const std::string& program, std::vector<std::string> args) {
    args.insert(args.begin() + 1, {"-c", "while sleep 1; do :; done"});
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    EXPECT_EQ(::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ), 0);
  }
  ~Helper() {
    if (pid > 0) ::kill(pid, SIGKILL), ::waitpid(pid, nullptr, 0);
  }
  pid_t pid = 0;
};

// /proc shows the helper's new name only once it has called exec.
bool SeenWithin(bool expected) {
  for (int i = 0; i < 200; ++i) {
    if (GameIsRunning() == expected) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

TEST(GameProcessTest, FindsTheGameByItsProgramNameOnlyAndNeverCountsItself) {
  ASSERT_FALSE(GameIsRunning()) << "a game process runs on this machine";
  fixtures::TempDir dir;
  // The kernel's name of a process is its program file's name cut to 15 bytes.
  const std::string copy = dir / "battlegrounds_x1.exe";
  ASSERT_EQ(::symlink("/bin/sh", copy.c_str()), 0);
  const std::tuple<std::string, std::vector<std::string>, bool> cases[] = {
      {"/bin/sh", {"C:\\Games\\Battlegrounds.exe.bak"}, false},
      {"/bin/sh", {"sh", "Battlegrounds.exe"}, false},
      {"/bin/sh", {"C:\\Program Files\\SWGB\\game\\BATTLEGROUNDS.EXE"}, true},
      {"/bin/sh", {"/usr/lib/wine/wine64-preloader", "Z:\\home\\u\\Battlegrounds_x1.exe"}, true},
      {copy, {"sh"}, true},
  };
  for (const auto& [program, args, game] : cases) {
    {
      Helper helper(program, args);
      if (!game) std::this_thread::sleep_for(std::chrono::milliseconds(200));
      EXPECT_TRUE(SeenWithin(game)) << args.back();
    }
    EXPECT_TRUE(SeenWithin(false));
  }

  char old_name[32] = {};
  ASSERT_EQ(::prctl(PR_GET_NAME, old_name), 0);
  ASSERT_EQ(::prctl(PR_SET_NAME, "Battlegrounds.exe"), 0);
  const bool running = GameIsRunning();
  ASSERT_EQ(::prctl(PR_SET_NAME, old_name), 0);
  EXPECT_FALSE(running);
}

}  // namespace
}  // namespace tarnwick
