#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace tarnwick::testing {

struct Ran {
  int status = -1;  // exit status; -1 when it did not exit normally
  std::string out;
  std::string err;
};

// The program's whole environment: a home and a config folder of the test's own, PATH, and
// `extra` ("NAME=value"); no display, no Wine prefix, no trace.
std::vector<std::string> ProgramEnvironment(const std::string& scratch,
                                            const std::vector<std::string>& extra = {});

// Runs `program` with `args` to its end, standard input from /dev/null (not a terminal) and both
// outputs caught through files in `scratch`.
Ran RunProgram(const std::string& program, const std::vector<std::string>& args,
               const std::vector<std::string>& environment, const std::string& scratch);

// Starts it without waiting (outputs to /dev/null); -1 when it could not be started.
pid_t StartProgram(const std::string& program, const std::vector<std::string>& args,
                   const std::vector<std::string>& environment);

// Runs it with all three streams on a terminal, typing `answer` once `prompt` shows; `out` is the
// screen, both outputs as the terminal got them.
Ran RunOnTerminal(const std::string& program, const std::vector<std::string>& args,
                  const std::vector<std::string>& environment, const std::string& prompt,
                  const std::string& answer);

}  // namespace tarnwick::testing
