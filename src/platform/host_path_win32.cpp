#include "platform/host_path.h"
#include "platform/text_codec.h"

namespace tarnwick {

// Windows paths are the system's own: nothing maps them, and there is no Wine prefix to follow.
std::string HostPath(std::string_view path) { return std::string(path); }

std::string ProgramPathFromHost(std::string_view host_path) { return std::string(host_path); }

void SetWinePrefix(std::string) {}

std::wstring WidePath(std::string_view path) {
  const std::u16string units = Utf16FromUtf8(path);
  return std::wstring(units.begin(), units.end());
}

const std::string& WinePrefix() {
  static const std::string none;
  return none;
}

}  // namespace tarnwick
