#include "platform/game_process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

#include "fixtures/files.h"

namespace tarnwick {
namespace {

// A shell that loops until killed, started under the given program file and arguments (argv[0]
// first), as a stand-in for the game or Wine's loader. Its process group goes with it.
class Helper {
 public:
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

 private:
  pid_t pid_;
};

// The helper needs a moment between fork and exec before /proc shows its new name.
bool SeenWithin(bool expected) {
  for (int i = 0; i < 200; ++i) {
    if (GameIsRunning() == expected) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

TEST(GameProcessTest, FindsTheGameByItsProgramNameOnly) {
  ASSERT_FALSE(GameIsRunning()) << "a game process runs on this machine";
  {
    Helper other("/bin/sh", {"C:\\Games\\Battlegrounds.exe.bak"});
    Helper argument("/bin/sh", {"sh", "Battlegrounds.exe"});
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(GameIsRunning());
  }
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"C:\\Program Files\\SWGB\\game\\BATTLEGROUNDS.EXE"},
           {"/usr/lib/wine/wine64-preloader", "Z:\\home\\u\\swgb\\Battlegrounds_x1.exe"}}) {
    {
      Helper game("/bin/sh", args);
      EXPECT_TRUE(SeenWithin(true)) << args[0];
    }
    EXPECT_TRUE(SeenWithin(false));
  }
}

TEST(GameProcessTest, FindsTheGameByTheKernelsShortNameAndNeverCountsItself) {
  fixtures::TempDir dir;
  // The kernel's name of a process is the program file's name cut to 15 bytes.
  const std::string copy = dir / "battlegrounds_x1.exe";
  fixtures::WriteAll(copy, fixtures::ReadAll("/bin/sh"));
  ASSERT_EQ(::chmod(copy.c_str(), 0755), 0);
  {
    Helper game(copy, {"sh"});
    EXPECT_TRUE(SeenWithin(true));
  }
  EXPECT_TRUE(SeenWithin(false));

  char old_name[32] = {};
  ASSERT_EQ(::prctl(PR_GET_NAME, old_name), 0);
  ASSERT_EQ(::prctl(PR_SET_NAME, "Battlegrounds.exe"), 0);
  const bool running = GameIsRunning();
  ASSERT_EQ(::prctl(PR_SET_NAME, old_name), 0);
  EXPECT_FALSE(running);
}

}  // namespace
}  // namespace tarnwick
