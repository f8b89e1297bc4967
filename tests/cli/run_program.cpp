#include "run_program.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

#include "fixtures/files.h"

namespace tarnwick::testing {
namespace {

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

// Starts `program` with the standard streams `streams` sets up; -1 when it could not be started.
pid_t Spawn(const std::string& program, const std::vector<std::string>& args,
            std::vector<std::string> environment, posix_spawn_file_actions_t& streams) {
  std::vector<std::string> argv = {program};
  argv.insert(argv.end(), args.begin(), args.end());
  pid_t pid = -1;
  const int failed = posix_spawn(&pid, program.c_str(), &streams, nullptr, Pointers(argv).data(),
                                 Pointers(environment).data());
  posix_spawn_file_actions_destroy(&streams);
  return failed ? -1 : pid;
}

// Its exit status; -1 when it did not exit normally.
int Wait(pid_t pid) {
  int status = 0;
  return pid >= 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status)
                                                                          : -1;
}

pid_t SpawnToFiles(const std::string& program, const std::vector<std::string>& args,
                   const std::vector<std::string>& environment, const std::string& out,
                   const std::string& err) {
  posix_spawn_file_actions_t streams;
  posix_spawn_file_actions_init(&streams);
  posix_spawn_file_actions_addopen(&streams, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&streams, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&streams, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  return Spawn(program, args, environment, streams);
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
  Ran ran;
  ran.status =
      Wait(SpawnToFiles(program, args, environment, scratch + "/stdout", scratch + "/stderr"));
  ran.out = fixtures::ReadAll(scratch + "/stdout");
  ran.err = fixtures::ReadAll(scratch + "/stderr");
  return ran;
}

pid_t StartProgram(const std::string& program, const std::vector<std::string>& args,
                   const std::vector<std::string>& environment) {
  return SpawnToFiles(program, args, environment, "/dev/null", "/dev/null");
}

Ran RunOnTerminal(const std::string& program, const std::vector<std::string>& args,
                  const std::vector<std::string>& environment, const std::string& prompt,
                  const std::string& answer) {
  Ran ran;
  int terminal = -1;
  int side = -1;  // the program's
  if (openpty(&terminal, &side, nullptr, nullptr, nullptr) != 0) return ran;
  posix_spawn_file_actions_t streams;
  posix_spawn_file_actions_init(&streams);
  for (const int stream : {0, 1, 2}) posix_spawn_file_actions_adddup2(&streams, side, stream);
  posix_spawn_file_actions_addclose(&streams, terminal);
  const pid_t pid = Spawn(program, args, environment, streams);
  close(side);
  bool answered = false;
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (pid >= 0 && std::chrono::steady_clock::now() < give_up) {
    pollfd ready = {terminal, POLLIN, 0};
    if (poll(&ready, 1, 100) <= 0) continue;
    char block[4096];
    const ssize_t got = read(terminal, block, sizeof block);
    if (got <= 0) break;  // the program ended and closed its side
    ran.out.append(block, static_cast<size_t>(got));
    if (!answered && ran.out.find(prompt) != std::string::npos) {
      answered = true;
      if (write(terminal, answer.data(), answer.size()) < 0) break;
    }
  }
  close(terminal);
  ran.status = Wait(pid);
  return ran;
}

}  // namespace tarnwick::testing
