#pragma once

#include <cstdlib>
#include <string>
#include <vector>

#include "fixtures/files.h"
#include "game_tree.h"
#include "run_program.h"
#include "writers/sandbox.h"

namespace tarnwick::testing {

// The demo game prefix (with or without Clone Campaigns) and the real program run on it.
struct CliScene {
  explicit CliScene(bool clone_campaigns = true) : prefix(dir / "prefix") {
    fixtures::MakeFolders(dir / "home");
    fixtures::MakeFolders(dir / "run");
    if (fixtures::WriteSandbox(prefix, {.clone_campaigns = clone_campaigns})) std::abort();
  }

  std::string GameHost() const {
    return prefix + "/drive_c/Program Files/LucasArts/Star Wars Galactic Battlegrounds";
  }
  std::string DataHost() const { return GameHost() + "/Data"; }
  std::string Mod(const std::string& file_name) const {
    return prefix + "/drive_c/Mods/" + file_name;
  }

  // `tarnwick --prefix PREFIX args...`
  Ran Run(std::vector<std::string> args) const {
    args.insert(args.begin(), {"--prefix", prefix});
    return RunBare(args);
  }
  // `tarnwick args...` with no prefix or game chosen.
  Ran RunBare(const std::vector<std::string>& args) const {
    return RunProgram(TARNWICK_PROGRAM, args, ProgramEnvironment(dir.path()), dir / "run");
  }

  fixtures::TempDir dir;
  std::string prefix;
};

}  // namespace tarnwick::testing
