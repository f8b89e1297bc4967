// The mod log reader over any text: it reads the log or says why not, and whatever it read comes
// back the same after the program's own save.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/game_files.h"
#include "fuzz_support.h"
#include "modlog/mod_log.h"

namespace {

using namespace tarnwick;

// The expansion's archives exist with lengths of their own, so that a version 1 log, which takes
// them from the disk, has something to take.
const GameFiles& Files() {
  static const GameFiles files = [] {
    const std::string folder = fuzz::WorkFolder() + "/";
    GameFiles made = MakeGameFiles(folder, folder);
    for (int k = kCcOffset; k <= kCcOffset + 4; ++k) {
      const std::string bytes(static_cast<size_t>(100 + k), 'a');
      (void)fuzz::WriteInput(GameFileName(k), reinterpret_cast<const uint8_t*>(bytes.data()),
                             bytes.size());
    }
    return made;
  }();
  return files;
}

// A title holding a line break is saved with a blank in its place.
std::string AsSaved(std::string name) {
  for (char& c : name) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const GameFiles& files = Files();
  ModLog log;
  log.LogPath = fuzz::WriteInput("mods.log", data, size);
  log.FileState.fill(-7);  // what the file does not hold stays as it was
  fuzz::QuietMessages messages;
  const bool failed = ReadModLog(log, files, messages);
  TARNWICK_FUZZ_CHECK(messages.texts.size() == (failed ? 1u : 0u));
  if (failed) return 0;
  for (int k = 8; k < kCcOffset; ++k) TARNWICK_FUZZ_CHECK(log.FileState[size_t(k)] == -7);
  // A version 1 log takes the expansion's archives from the disk and leaves the rest alone.
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string_view first_line = text.substr(0, text.find('\n'));
  if (!first_line.empty() && first_line.back() == '\r') first_line.remove_suffix(1);
  if (first_line == "Mod Log") {
    for (int k = kCcOffset; k <= kCcOffset + 4; ++k) {
      TARNWICK_FUZZ_CHECK(log.FileState[size_t(k)] == 100 + k);
    }
    for (int k : {6, 7, 25, 26, 27}) TARNWICK_FUZZ_CHECK(log.FileState[size_t(k)] == -7);
  }
  for (const ModLogEntry& mod : log.Mods) {
    for (const FileChange& change : mod.Changes) {
      TARNWICK_FUZZ_CHECK(change.FileIndex >= 0 && change.FileIndex < kGameFileCount);
    }
  }

  TARNWICK_FUZZ_CHECK(!SaveModLog(log, messages));
  ModLog again;
  again.LogPath = log.LogPath;
  TARNWICK_FUZZ_CHECK(!ReadModLog(again, files, messages));
  TARNWICK_FUZZ_CHECK(again.ModCount() == log.ModCount());
  for (int k = 0; k < kGameFileCount; ++k) {
    if (IsGameFileIndex(k))
      TARNWICK_FUZZ_CHECK(again.FileState[size_t(k)] == log.FileState[size_t(k)]);
  }
  for (int32_t i = 1; i <= log.ModCount(); ++i) {
    TARNWICK_FUZZ_CHECK(again.Mods[i].Name == AsSaved(log.Mods[i].Name));
    TARNWICK_FUZZ_CHECK(again.Mods[i].Changes == log.Mods[i].Changes);
  }
  return 0;
}
