#include "platform/file_system.h"

namespace tarnwick {

std::string FolderOfPath(const std::string& path) {
  const size_t last = path.rfind('\\');
  if (last == std::string::npos) return {};
  return path.substr(0, last + 1);
}

}  // namespace tarnwick
