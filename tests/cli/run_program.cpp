#include "run_program.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace tarnwick::testing {
namespace {

std::string Slurp(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

pid_t Spawn(const std::string& program, const std::vector<std::string>& args,
            const std::vector<std::string>& environment, const std::string& out,
            const std::string& err) {
  std::vector<std::string> argv = {program};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<std::string> envp = environment;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = -1;
  const int failed = posix_spawn(&pid, program.c_str(), &actions, nullptr, Pointers(argv).data(),
                                 Pointers(envp).data());
  posix_spawn_file_actions_destroy(&actions);
  return failed ? -1 : pid;
}

}  // namespace

std::vector<std::string> ProgramEnvironment(const std::string& scratch,
                                            const std::vector<std::string>& extra) {
  std::vector<std::string> environment = {"HOME=" + scratch + "/home",
                                          "XDG_CONFIG_HOME=" + scratch + "/config", "LANG=C.UTF-8"};
  if (const char* path = std::getenv("PATH")) environment.push_back(std::string("PATH=") + path);
  environment.insert(environment.end(), extra.begin(), extra.end());
  return environment;
}

Ran RunProgram(const std::string& program, const std::vector<std::string>& args,
               const std::vector<std::string>& environment, const std::string& scratch) {
  const std::string out = scratch + "/stdout";
  const std::string err = scratch + "/stderr";
  Ran ran;
  const pid_t pid = Spawn(program, args, environment, out, err);
  if (pid < 0) return ran;
  int status = 0;
  if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) ran.status = WEXITSTATUS(status);
  ran.out = Slurp(out);
  ran.err = Slurp(err);
  return ran;
}

pid_t StartProgram(const std::string& program, const std::vector<std::string>& args,
                   const std::vector<std::string>& environment) {
  return Spawn(program, args, environment, "/dev/null", "/dev/null");
}

}  // namespace tarnwick::testing
