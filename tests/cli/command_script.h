#pragma once

// What a script meets, the same from every build of the program: one game with Clone Campaigns
// taken through its commands, each with its exit status and a piece of what it prints. The Linux
// program's tests run it, and so do the Windows console program's under Wine.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "game_tree.h"

namespace tarnwick::testing {

inline constexpr char kTrooper[] = "trooper-graphics.mpi";      // 2 rows into graphics.drs
inline constexpr char kBlaster[] = "blaster-sound.mpi";         // 1 row into sounds.drs
inline constexpr char kLanguage[] = "unit-names-language.mpi";  // replaces language.dll
inline const std::string kNotAsked =
    "Nothing was changed: there is no terminal to ask on. Add --yes to go ahead without the "
    "question.\n";

// A command, its exit status and a piece of each output ("": not looked at).
struct Command {
  std::vector<std::string> args;
  int status;
  std::string out = "";
  std::string err = "";
  bool writes = false;  // otherwise every file stays as it was
};

// Runs each command in turn and holds it to its row. Without a terminal nothing is asked and no
// progress bar drawn; a usage error (status 2) prints nothing on standard output. `run(args)` gives
// what the program gave (status, out, err); `files()` reads the files that must not change.
template <typename Run>
void ExpectCommands(const std::vector<Command>& commands, const Run& run,
                    const std::function<Tree()>& files) {
  for (const Command& command : commands) {
    std::string line = "tarnwick";
    for (const std::string& arg : command.args) line += " " + arg;
    SCOPED_TRACE(line);
    const Tree was = files();
    const auto ran = run(command.args);
    EXPECT_EQ(static_cast<int>(ran.status), command.status);
    EXPECT_NE(ran.out.find(command.out), std::string::npos) << ran.out;
    EXPECT_NE(ran.err.find(command.err), std::string::npos) << ran.err;
    EXPECT_EQ((ran.out + ran.err).find('\r'), std::string::npos);  // no progress bar
    EXPECT_TRUE(command.status != 2 || ran.out.empty()) << ran.out;
    if (!command.writes) {
      EXPECT_EQ(Differing(was, files()), std::vector<std::string>{});
    }
  }
}

// The script, on a game with Clone Campaigns: the sample mods found by `mod(name)`, `empty` a
// folder without a game. Once every mod is off the game is as it was but for its log.
template <typename Run>
void ExpectCommandScript(const std::function<std::string(const char*)>& mod,
                         const std::string& empty, const Run& run,
                         const std::function<Tree()>& files) {
  const std::string warning =
      "Warning: This will uninstall all the modifications made by the latest modpack that you "
      "have installed (Striped trooper graphics). Do you wish to continue?\n";
  const std::string no_mod = "There is no mod number 3; tarnwick list shows the numbers.\n";
  const std::string n_usage = "tarnwick: N is a mod's number as tarnwick list shows it: 1 or more.";
  const Tree before = files();
  const std::vector<Command> script = {
      {{"list"}, 0, "None\n", "", true},  // creates the log
      {{"show", mod(kLanguage)}, 0, "    1  file      language.dll              -       6656\n"},
      {{"show", mod(kLanguage)}, 0, "Readme:\n  New unit names\n"},
      {{"install", "--yes", mod(kLanguage)}, 0, "", "Mod installed successfully\n", true},
      {{"install", "-y", mod(kTrooper)}, 0, "Title:     Striped trooper graphics\n", "", true},
      {{"install", mod(kBlaster)},
       1,
       "",
       "Mod installation: Install Louder blaster sound?\n" + kNotAsked},
      {{"list"},
       0,
       "  No.  Changes  Package   State       Title\n"
       "    2        2  kept      complete    Striped trooper graphics\n"
       "    1        1  kept      complete    New unit names (language library)\n"},
      {{"verify"},
       0,
       "terrain_x1.drs        as Tarnwick left it\n"
       "Mod 2: Striped trooper graphics (package kept)\n"
       "Mod 1: New unit names (language library) (package kept)\n"},
      {{"remove"}, 1, "", warning + kNotAsked},
      {{"remove", "2"}, 1, "", warning + kNotAsked},
      {{"remove", "1"}, 1, "", "Remove mod: Do you wish to continue?\n" + kNotAsked},
      {{"remove", "3", "-y"}, 1, "", no_mod},
      {{"show", "3"}, 1, "", no_mod},
      {{"remove", "2", "-y", "--package", "2=" + mod(kBlaster)},
       1,
       "",
       "Mod number 2 needs no package file: only a mod that is put back and whose package is "
       "not "
       "kept takes one.\n"},
      {{"install", "--yes", mod("broken-package.mpi")},
       1,
       "",
       "Error: Specified MPI file is invalid or corrupted! Make sure you have the latest "
       "version "
       "of the mod installer.\n"},
      {{"show", mod("nowhere.mpi")}, 1, "", "Error: Error opening mod!\n"},
      {{"--game", empty, "list"},
       1,
       "",
       "Error: Unable to find SWGB! Please ensure that it is correctly installed and that it "
       "has "
       "been run at least once."},
      {{"--frobnicate", "list"}, 2, "", "not expected: --frobnicate"},
      {{"show"}, 2, "", "FILE|N is required"},
      {{"install"}, 2, "", "FILE is required"},
      {{"remove", "0"}, 2, "", n_usage},
      {{"show", "0"}, 2, "", n_usage},
      {{"remove", "x"}, 2, "", "Could not convert: N = x"},
      {{"list", "extra"}, 2, "", "tarnwick: unexpected argument after list: extra"},
      {{"lst"}, 2, "", "tarnwick: lst is neither a command nor a package file"},
      {{"--json"}, 2, "", "tarnwick: --json and --yes go with a command"},
      {{"--yes"}, 2, "", "tarnwick: --json and --yes go with a command"},
      {{"verify", "--prefix"}, 2, "", "--prefix: 1 required DIR missing"},
      {{"remove", "1", "--package", mod(kTrooper)}, 2, "", "tarnwick: --package takes POS=FILE"},
      {{"remove", "1", "--package", "0=" + mod(kTrooper)}, 2, "", "tarnwick: --package takes"},
      {{"remove", "1", "--package", "2=" + mod("none.mpi")}, 2, "", ": there is no file "},
      {{"remove", "--resume", "--package", "2=" + mod(kTrooper)}, 2, "", "it takes no --package."},
      {{"--help"}, 0, "Usage: tarnwick [OPTIONS] [FILE] [SUBCOMMAND]\n"},
      {{"remove", "--help"}, 0, "  --package POS=FILE ..."},
      {{"--version"}, 0, "tarnwick 0.81\n"},
      {{"remove", "2", "--yes"}, 0, "Removed mod 2: Striped trooper graphics\n", "", true},
      {{"remove", "--yes"}, 0, "Removed mod 1: New unit names (language library)\n", "", true},
  };
  ExpectCommands(script, run, files);
  Tree after = files();
  std::erase_if(after, [](const auto& file) { return file.first.ends_with("mods.log"); });
  EXPECT_EQ(Differing(before, after), std::vector<std::string>{});
}

}  // namespace tarnwick::testing
