#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "fixtures/files.h"

namespace tarnwick {

struct Ran {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs tarnwick-pack with `args`, its output caught in files of `dir`.
inline Ran RunPack(const std::vector<std::string>& args, const fixtures::TempDir& dir) {
  std::string command = std::string("'") + TARNWICK_PACK + "'";
  for (const std::string& arg : args) command += " '" + arg + "'";
  const std::string out = dir / "pack-stdout.txt";
  const std::string err = dir / "pack-stderr.txt";
  command += " >'" + out + "' 2>'" + err + "'";
  const int raw = std::system(command.c_str());
  Ran ran;
  ran.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  ran.out = fixtures::ReadAll(out);
  ran.err = fixtures::ReadAll(err);
  return ran;
}

}  // namespace tarnwick
