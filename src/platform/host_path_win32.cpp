#include "platform/host_path.h"

namespace tarnwick {

// Windows paths are the system's own: nothing maps them, and there is no Wine prefix to follow.
std::string HostPath(std::string_view path) { return std::string(path); }

std::string ProgramPathFromHost(std::string_view host_path) { return std::string(host_path); }

void SetWinePrefix(std::string) {}

const std::string& WinePrefix() {
  static const std::string none;
  return none;
}

}  // namespace tarnwick
