#include "platform/game_process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <tuple>
#include <vector>

#include "fixtures/files.h"

namespace tarnwick {
namespace {

// A shell looping until killed, started as `program` with `args` (argv[0] first): a stand-in for
// the game or Wine's loader.
struct Helper {
  Helper(const std::string& program, std::vector<std::string> args) {
    args.insert(args.begin() + 1, {"-c", "while sleep 1; do :; done"});
    pid_ = ::fork();
    if (pid_ == 0) {
      ::setpgid(0, 0);
      std::vector<char*> argv;
      for (std::string& arg : args) argv.push_back(arg.data());
      argv.push_back(nullptr);
      ::execv(program.c_str(), argv.data());
      ::_exit(127);
    }
    ::setpgid(pid_, pid_);
  }
  ~Helper() {
    ::kill(-pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  pid_t pid_;
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
  fixtures::WriteAll(copy, fixtures::ReadAll("/bin/sh"));
  ASSERT_EQ(::chmod(copy.c_str(), 0755), 0);
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
