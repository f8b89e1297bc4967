#pragma once

#include <string>
#include <system_error>
#include <vector>

namespace tarnwick {

// Creates a folder (path ending with a separator) unless it exists, and makes its entry durable
// in the folder above, so that files saved in it later survive a power cut with it.
[[nodiscard]] std::error_code CreateFolderDurably(const std::string& folder);

// The names of the ordinary files in a folder (path ending with a separator); empty when the
// folder is missing or unreadable.
[[nodiscard]] std::vector<std::string> FilesInFolder(const std::string& folder);

}  // namespace tarnwick
