#include "modlog/mod_log.h"

#include <charconv>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <system_error>

#include "platform/binary_file.h"
#include "platform/file_system.h"
#include "platform/trace.h"

namespace tarnwick {
namespace {

constexpr std::string_view kHeaderV1 = "Mod Log";
constexpr std::string_view kHeaderV2 = "Mod Log v2";
constexpr std::string_view kHeaderV21 = "Mod Log v2.1";
constexpr std::string_view kWarningLine =
    "** DO NOT ALTER THIS FILE! DOING SO MAY CAUSE MANY NASTY THINGS! **";

constexpr char kReadError[] = "Error reading from log file!";
constexpr char kInvalidLog[] =
    "Invalid log file! (it may have been created with a newer version of the mod installer)";
constexpr char kSaveError[] = "Cannot save log file!";

// No line the program writes comes near this; a longer one means the file is not a log.
constexpr size_t kMaxLineLength = 1 << 16;
constexpr size_t kReadBlock = 64000;

// Reads a text file line by line through one block-sized buffer, so a large or damaged file
// never has to be held whole.
class LineReader {
 public:
  [[nodiscard]] std::error_code Open(const std::string& path) {
    if (auto error = file_.Open(path, OpenMode::kRead)) return error;
    return file_.Length(&length_);
  }

  // The next line without its CR LF (or lone LF). False at the end of the file, on a read
  // failure, or on a line too long to be part of a log.
  [[nodiscard]] bool Next(std::string_view* line) {
    size_t searched = start_;
    for (;;) {
      const size_t lf = buffer_.find('\n', searched);
      if (lf != std::string::npos) {
        size_t end = lf;
        if (end > start_ && buffer_[end - 1] == '\r') --end;
        *line = std::string_view(buffer_).substr(start_, end - start_);
        consumed_ += static_cast<int64_t>(lf + 1 - start_);
        start_ = lf + 1;
        return true;
      }
      if (buffer_.size() - start_ > kMaxLineLength) return false;
      if (read_ >= length_) {
        // The last line may lack its line end.
        if (start_ == buffer_.size()) return false;
        *line = std::string_view(buffer_).substr(start_);
        consumed_ += static_cast<int64_t>(buffer_.size() - start_);
        start_ = buffer_.size();
        return true;
      }
      buffer_.erase(0, start_);
      start_ = 0;
      searched = buffer_.size();
      const int64_t left = length_ - read_;
      const size_t block =
          left < static_cast<int64_t>(kReadBlock) ? static_cast<size_t>(left) : kReadBlock;
      buffer_.resize(searched + block);
      if (file_.ReadAt(read_, buffer_.data() + searched, block)) return false;
      read_ += static_cast<int64_t>(block);
    }
  }

  // Bytes of the file that no returned line has covered yet.
  [[nodiscard]] int64_t remaining() const { return length_ - consumed_; }

 private:
  BinaryFile file_;
  int64_t length_ = 0;
  int64_t read_ = 0;
  int64_t consumed_ = 0;
  std::string buffer_;
  size_t start_ = 0;
};

// Plain decimal with an optional minus; blanks around it are forgiven since a hand-edited log
// may carry them.
[[nodiscard]] bool ParseNumber(std::string_view text, int32_t* value) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  const auto [ptr, error] = std::from_chars(text.data(), end, *value);
  return error == std::errc() && ptr == end;
}

[[nodiscard]] bool ReadNumber(LineReader& reader, int32_t* value) {
  std::string_view line;
  return reader.Next(&line) && ParseNumber(line, value);
}

// Sets the recorded length of each listed archive; one too long to record keeps its value.
void TakeArchiveLengths(std::array<int32_t, kGameFileCount>& file_state,
                        const GameFiles& game_files, int first, int last) {
  for (int k = first; k <= last; ++k) {
    const std::string& path = game_files[static_cast<size_t>(k)];
    if (!PathListed(path)) continue;
    int64_t length = 0;
    if (FileLength(path, &length)) continue;
    if (length <= std::numeric_limits<int32_t>::max()) {
      file_state[static_cast<size_t>(k)] = static_cast<int32_t>(length);
    }
  }
}

enum class ParseResult { kOk, kDamaged, kUnknownVersion };

ParseResult ParseLog(LineReader& reader, const GameFiles& game_files,
                     std::array<int32_t, kGameFileCount>& file_state, OneBased<ModLogEntry>& mods) {
  std::string_view line;
  if (!reader.Next(&line)) return ParseResult::kDamaged;
  int version;
  if (line == kHeaderV1) {
    version = 1;
  } else if (line == kHeaderV2) {
    version = 2;
  } else if (line == kHeaderV21) {
    version = 3;
  } else {
    return ParseResult::kUnknownVersion;
  }
  if (!reader.Next(&line)) return ParseResult::kDamaged;

  // A version 1 log predates the expansion: its archives start from what is on disk.
  if (version == 1) TakeArchiveLengths(file_state, game_files, 20, 24);

  int32_t mod_count;
  if (!ReadNumber(reader, &mod_count) || mod_count < 0) return ParseResult::kDamaged;
  const int last_base = version == 3 ? 7 : 5;
  for (int k = 0; k <= last_base; ++k) {
    if (!ReadNumber(reader, &file_state[static_cast<size_t>(k)])) return ParseResult::kDamaged;
  }
  if (version >= 2) {
    const int last_cc = version == 3 ? 27 : 25;
    for (int k = 20; k <= last_cc; ++k) {
      if (!ReadNumber(reader, &file_state[static_cast<size_t>(k)])) return ParseResult::kDamaged;
    }
  }

  // Each mod takes at least two lines and each change five, none shorter than one byte: a count
  // the rest of the file cannot hold is damage, caught before anything is sized by it.
  if (mod_count > reader.remaining() / 2) return ParseResult::kDamaged;
  for (int32_t i = 1; i <= mod_count; ++i) {
    ModLogEntry entry;
    if (!reader.Next(&line)) return ParseResult::kDamaged;
    entry.Name.assign(line);
    int32_t change_count;
    if (!ReadNumber(reader, &change_count) || change_count < 0 ||
        change_count > reader.remaining() / 5) {
      return ParseResult::kDamaged;
    }
    entry.Changes.reserve(change_count);
    for (int32_t j = 1; j <= change_count; ++j) {
      FileChange change;
      int32_t file_index;
      if (!ReadNumber(reader, &file_index)) return ParseResult::kDamaged;
      // Version 2 numbered the expansion's files from 10.
      const int64_t index =
          version == 2 && file_index >= 10 ? int64_t{file_index} + 10 : file_index;
      if (index < 0 || index >= kGameFileCount) return ParseResult::kDamaged;
      change.FileIndex = static_cast<int16_t>(index);
      if (!ReadNumber(reader, &change.OldState) || !ReadNumber(reader, &change.EntryPos) ||
          !ReadNumber(reader, &change.OldOffset) || !ReadNumber(reader, &change.OldSize)) {
        return ParseResult::kDamaged;
      }
      entry.Changes.push_back(change);
    }
    mods.push_back(std::move(entry));
  }
  return ParseResult::kOk;
}

void AppendLine(std::string& text, std::string_view line) {
  text.append(line);
  text.append("\r\n");
}

void AppendNumber(std::string& text, int32_t value) {
  char digits[16];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  text.append(digits, result.ptr);
  text.append("\r\n");
}

std::string LogText(const ModLog& log) {
  size_t size = 256;
  for (const ModLogEntry& entry : log.Mods) {
    size += entry.Name.size() + 16 + static_cast<size_t>(entry.ChangeCount()) * 5 * 13;
  }
  std::string text;
  text.reserve(size);
  AppendLine(text, kHeaderV21);
  AppendLine(text, kWarningLine);
  AppendNumber(text, log.ModCount());
  for (int k = 0; k <= 7; ++k) AppendNumber(text, log.FileState[static_cast<size_t>(k)]);
  for (int k = 20; k <= 27; ++k) AppendNumber(text, log.FileState[static_cast<size_t>(k)]);
  for (const ModLogEntry& entry : log.Mods) {
    // The format has no escape for a line break inside a title.
    const size_t name_start = text.size();
    text.append(entry.Name);
    for (size_t i = name_start; i < text.size(); ++i) {
      if (text[i] == '\r' || text[i] == '\n') text[i] = ' ';
    }
    text.append("\r\n");
    AppendNumber(text, entry.ChangeCount());
    for (const FileChange& change : entry.Changes) {
      AppendNumber(text, change.FileIndex);
      AppendNumber(text, change.OldState);
      AppendNumber(text, change.EntryPos);
      AppendNumber(text, change.OldOffset);
      AppendNumber(text, change.OldSize);
    }
  }
  return text;
}

}  // namespace

bool ReadModLog(ModLog& log, const GameFiles& game_files, Messages& messages) {
  TraceLog("Opening mod log file");
  if (!PathListed(log.LogPath)) {
    TraceLog("Creating log");
    log.Mods.clear();
    TakeArchiveLengths(log.FileState, game_files, 0, 4);
    TakeArchiveLengths(log.FileState, game_files, 20, 24);
    if (SaveModLog(log, messages)) return true;
    TraceLog("Finished opening log");
    return false;
  }

  TraceLog("Reading log");
  LineReader reader;
  if (reader.Open(log.LogPath)) {
    TraceLog("Error reading log file!");
    messages.Error(kReadError);
    return true;
  }
  // Parsed aside, so that a damaged log leaves the record in memory as it was.
  std::array<int32_t, kGameFileCount> file_state = log.FileState;
  OneBased<ModLogEntry> mods;
  switch (ParseLog(reader, game_files, file_state, mods)) {
    case ParseResult::kOk:
      break;
    case ParseResult::kDamaged:
      TraceLog("Error reading log file!");
      messages.Error(kReadError);
      return true;
    case ParseResult::kUnknownVersion:
      TraceLog("Invalid log file!");
      messages.Error(kInvalidLog);
      return true;
  }
  log.FileState = file_state;
  log.Mods = std::move(mods);
  TraceLog("Finished opening log");
  return false;
}

bool SaveModLog(const ModLog& log, Messages& messages) {
  TraceLog("Saving mod log");
  // Written beside the log as "mods.log_" and swapped in: the log on disk is always the old one or
  // the new one in full.
  if (WriteFileAtomically(log.LogPath, LogText(log))) {
    TraceLog("Log saving error");
    messages.Error(kSaveError);
    return true;
  }
  TraceLog("Done saving log");
  return false;
}

void SetFileLength(const std::string& path, int32_t length) {
  if (length < 0) return;
  (void)TruncateExistingFile(path, length);
}

}  // namespace tarnwick
