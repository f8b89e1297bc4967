#include <string>

#include "modlog/mod_log.h"

namespace tarnwick {

std::string ZeroPad(int32_t n, int width) {
  std::string text = std::to_string(n);
  if (static_cast<int>(text.size()) < width) {
    text.insert(0, static_cast<size_t>(width) - text.size(), '0');
  }
  return text;
}

std::string BackupPath(const std::string& game_file, int32_t number) {
  return game_file + "." + ZeroPad(number, 3);
}

}  // namespace tarnwick
