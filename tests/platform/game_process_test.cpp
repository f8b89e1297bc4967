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

using fixtures::ReadAll;
using fixtures::TempDir;
using fixtures::WriteAll;

// A shell that waits for its input to close, started under the given program file and
// arguments (argv[0] first), as a stand-in for the game or Wine's loader.
class Helper {
 public:
  Helper(const std::string& program, std::vector<std::string> args) {
    int fds[2];
    if (::pipe(fds) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(fds[0], 0);
      ::close(fds[0]);
      ::close(fds[1]);
      std::vector<char*> argv;
      for (std::string& arg : args) argv.push_back(arg.data());
      argv.push_back(nullptr);
      ::execv(program.c_str(), argv.data());
      ::_exit(127);
    }
    ::close(fds[0]);
    input_ = fds[1];
  }
  ~Helper() {
    if (input_ >= 0) ::close(input_);
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }

 private:
  pid_t pid_ = -1;
  int input_ = -1;
};

// The helper needs a moment between fork and exec before /proc shows its new name.
bool SeenWithin(bool expected) {
  for (int i = 0; i < 200; ++i) {
    if (GameIsRunning() == expected) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

const char kWait[] = "read line";

TEST(GameProcessTest, FindsTheGameByItsProgramNameOnly) {
  ASSERT_FALSE(GameIsRunning()) << "a game process runs on this machine";
  {
    Helper other("/bin/sh", {"C:\\Games\\Battlegrounds.exe.bak", "-c", kWait});
    Helper argument("/bin/sh", {"sh", "-c", kWait, "Battlegrounds.exe"});
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(GameIsRunning());
  }
  {
    Helper game("/bin/sh", {"C:\\Program Files\\SWGB\\game\\BATTLEGROUNDS.EXE", "-c", kWait});
    EXPECT_TRUE(SeenWithin(true));
  }
  EXPECT_TRUE(SeenWithin(false));
  {
    Helper loader("/bin/sh", {"/usr/lib/wine/wine64-preloader", "-c", kWait,
                              "Z:\\home\\u\\swgb\\Battlegrounds_x1.exe"});
    EXPECT_TRUE(SeenWithin(true));
  }
  EXPECT_TRUE(SeenWithin(false));
}

TEST(GameProcessTest, FindsTheGameByTheKernelsShortNameAndNeverCountsItself) {
  TempDir dir;
  // The kernel's name of a process is the program file's name cut to 15 bytes.
  const std::string copy = dir / "battlegrounds_x1.exe";
  WriteAll(copy, ReadAll("/bin/sh"));
  ASSERT_EQ(::chmod(copy.c_str(), 0755), 0);
  {
    Helper game(copy, {"sh", "-c", kWait});
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
