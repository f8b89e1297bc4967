#pragma once

#include <string>

// Texts both faces show for the same step, so that the window and the command line say the same.
namespace tarnwick {

inline constexpr char kInstalledTitle[] = "Mod installation";
inline constexpr char kInstalledText[] = "Mod installed successfully";
inline constexpr char kRemoveTitle[] = "Warning";

// Verifying the game files against the mod log: what is said when all is well, and above the
// findings when not.
inline constexpr char kVerifyTitle[] = "Verify game files";
inline constexpr char kVerifiedText[] = "The game files match the mod log.";
inline constexpr char kDriftWarning[] =
    "The game files have changed since the mod log was written; removing mods may not restore "
    "them.";

// Removing any mod: when a removal cut off no longer fits the log at the next start.
inline constexpr char kRemovalCutOffStale[] =
    "The mods changed since the removal was cut off; they are left as they are.";

// The question before "Remove latest", naming the mod (game text).
inline std::string RemoveLatestQuestion(const std::string& mod_name) {
  return "This will uninstall all the modifications made by the latest modpack that you have "
         "installed (" +
         mod_name + "). Do you wish to continue?";
}

}  // namespace tarnwick
