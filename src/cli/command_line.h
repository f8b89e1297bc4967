#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/console.h"
#include "manage/game_session.h"

namespace tarnwick::cli {

// What the program was started with.
struct CommandLine {
  std::string command;  // "list", "show", "install", "remove", "verify"; empty: the window
  GameLocation location;
  bool json = false;
  bool yes = false;
  std::string package;        // host path: the package of show/install, or the window's
  std::optional<int> number;  // remove N, show N
  bool resume = false;        // remove --resume: finish a removal that was cut off
  // remove N --package POS=FILE: the package file (host path) of mod POS, to put it back when its
  // package is not kept.
  std::vector<std::pair<int, std::string>> package_files;
  // install and remove, when the game files changed under Tarnwick: the choice made in advance.
  bool start_over = false;
  bool carry_on = false;
};

// Parses the arguments. Empty when the program should end at once with `*exit_code`: --help and
// --version (0, after printing), or a usage error (2, after its message).
[[nodiscard]] std::optional<CommandLine> ParseCommandLine(int argc, const char* const* argv,
                                                          Console& console, int* exit_code);

// Runs a command (never the window) and returns the exit status.
[[nodiscard]] int RunCommand(const CommandLine& line, Console& console);

}  // namespace tarnwick::cli
