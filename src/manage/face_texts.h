#pragma once

#include <string>

// Texts both faces show for the same step, so that the window and the command line say the same.
namespace tarnwick {

inline constexpr char kInstalledTitle[] = "Mod installation";
inline constexpr char kInstalledText[] = "Mod installed successfully";
inline constexpr char kRemoveTitle[] = "Warning";

// The question before "Remove latest", naming the mod (game text).
inline std::string RemoveLatestQuestion(const std::string& mod_name) {
  return "This will uninstall all the modifications made by the latest modpack that you have "
         "installed (" +
         mod_name + "). Do you wish to continue?";
}

}  // namespace tarnwick
