#include "modlog/mod_log.h"
#include "platform/binary_file.h"

namespace tarnwick {

std::error_code SyncGameFiles(const std::array<bool, kGameFileCount>& which,
                              const GameFiles& game_files) {
  for (size_t index = 0; index < which.size(); ++index) {
    if (!which[index]) continue;
    BinaryFile file;
    if (auto error = file.Open(game_files[index], OpenMode::kReadWrite)) return error;
    if (auto error = file.Sync()) return error;
    if (auto error = file.Close()) return error;
  }
  return {};
}

}  // namespace tarnwick
