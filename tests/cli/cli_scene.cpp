#include "cli_scene.h"

#include <cstdlib>
#include <filesystem>

#include "writers/sandbox.h"

namespace tarnwick::testing {

Tree ReadTree(const std::string& folder) {
  Tree tree;
  for (auto entry = std::filesystem::recursive_directory_iterator(folder);
       entry != std::filesystem::recursive_directory_iterator(); ++entry) {
    // Tarnwick's own records carry install times; they are compared where a test means them.
    if (entry->is_directory() && entry->path().filename() == "tarnwick") {
      entry.disable_recursion_pending();
      continue;
    }
    if (!entry->is_regular_file()) continue;
    tree[std::filesystem::relative(entry->path(), folder).string()] =
        fixtures::ReadAll(entry->path().string());
  }
  return tree;
}

CliScene::CliScene(bool clone_campaigns) : prefix(dir / "prefix") {
  fixtures::MakeFolders(dir / "home");
  fixtures::MakeFolders(dir / "run");
  if (fixtures::WriteSandbox(prefix, {.clone_campaigns = clone_campaigns})) std::abort();
}

std::string CliScene::GameHost() const {
  return prefix + "/drive_c/Program Files/LucasArts/Star Wars Galactic Battlegrounds";
}

Ran CliScene::Run(const std::vector<std::string>& args) const {
  std::vector<std::string> all = {"--prefix", prefix};
  all.insert(all.end(), args.begin(), args.end());
  return RunBare(all);
}

Ran CliScene::RunBare(const std::vector<std::string>& args) const {
  return RunProgram(TARNWICK_PROGRAM, args, ProgramEnvironment(dir.path()), dir / "run");
}

}  // namespace tarnwick::testing
