#pragma once

#include <map>
#include <string>
#include <vector>

#include "fixtures/files.h"
#include "run_program.h"

namespace tarnwick::testing {

using Tree = std::map<std::string, std::string>;  // relative path -> bytes

// Every file below `folder`, by path relative to it; Tarnwick's own folder beside the log is left
// out.
Tree ReadTree(const std::string& folder);

// The demo game prefix (with or without Clone Campaigns) and the real program run on it.
struct CliScene {
  explicit CliScene(bool clone_campaigns = true);

  std::string GameHost() const;
  std::string DataHost() const { return GameHost() + "/Data"; }
  std::string Mod(const std::string& file_name) const {
    return prefix + "/drive_c/Mods/" + file_name;
  }

  // `tarnwick --prefix PREFIX args...`
  Ran Run(const std::vector<std::string>& args) const;
  // `tarnwick args...` with no prefix or game chosen.
  Ran RunBare(const std::vector<std::string>& args) const;

  fixtures::TempDir dir;
  std::string prefix;
};

}  // namespace tarnwick::testing
