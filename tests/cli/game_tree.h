#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "fixtures/files.h"

namespace tarnwick::testing {

using Tree = std::map<std::string, std::string>;  // relative path -> bytes

// Every file below `folder`, by path relative to it; Tarnwick's own folder beside the log, whose
// records carry install times, is left out.
inline Tree ReadTree(const std::string& folder) {
  Tree tree;
  for (auto entry = std::filesystem::recursive_directory_iterator(folder);
       entry != std::filesystem::recursive_directory_iterator(); ++entry) {
    if (entry->is_directory() && entry->path().filename() == "tarnwick") {
      entry.disable_recursion_pending();
    } else if (entry->is_regular_file()) {
      tree[std::filesystem::relative(entry->path(), folder).string()] =
          fixtures::ReadAll(entry->path().string());
    }
  }
  return tree;
}

// The files that are not the same in both (added, gone or changed), by name: a failure names them
// rather than printing game files.
inline std::vector<std::string> Differing(const Tree& before, const Tree& after) {
  std::vector<std::string> names;
  for (const auto& [name, bytes] : before) {
    const auto found = after.find(name);
    if (found == after.end() || found->second != bytes) names.push_back(name);
  }
  for (const auto& [name, bytes] : after) {
    if (!before.contains(name)) names.push_back(name);
  }
  return names;
}

}  // namespace tarnwick::testing
