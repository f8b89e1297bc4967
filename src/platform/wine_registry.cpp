#include "platform/wine_registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <mutex>

#include "platform/small_file_posix.h"
#include "platform/text_codec.h"

namespace tarnwick {
namespace {

constexpr std::string_view kHeader = "WINE REGISTRY Version 2";
// A prefix's system.reg is a few megabytes; anything far beyond is not one worth holding.
constexpr int64_t kMaxRegistryBytes = 64 * 1024 * 1024;
// The program asks with room for 1023 characters and the terminating zero.
constexpr size_t kQueryBufferUnits = 1024;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Simple case folding for what Windows-1252 can name: ASCII, Latin-1 and the letters of the
// code page's 0x80-0x9F range. Wine compares key and value names without letter case.
char16_t Fold(char16_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? static_cast<char16_t>(c + 0x20) : c;
  if ((c >= 0xC0 && c <= 0xDE && c != 0xD7)) return static_cast<char16_t>(c + 0x20);
  switch (c) {
    case 0x0152:
    case 0x0160:
    case 0x017D:
      return static_cast<char16_t>(c + 1);
    case 0x0178:
      return 0x00FF;
    default:
      return c;
  }
}

std::u16string FoldName(std::u16string_view name) {
  std::u16string out(name);
  for (char16_t& c : out) c = Fold(c);
  return out;
}

// Folded key path with its empty components dropped, so "A\\B\" and "a\b" name one key.
std::u16string KeyPath(std::u16string_view key) {
  std::u16string out;
  size_t start = 0;
  while (start <= key.size()) {
    size_t end = key.find(u'\\', start);
    if (end == std::u16string_view::npos) end = key.size();
    if (end > start) {
      if (!out.empty()) out += u'\\';
      out += FoldName(key.substr(start, end - start));
    }
    start = end + 1;
  }
  return out;
}

// Reads an escaped string from just after its opening delimiter up to `end_char`, leaving `pos`
// after the closing one. False when the line ends first.
bool ParseEscaped(std::string_view line, size_t& pos, char end_char, std::u16string& out) {
  while (pos < line.size() && line[pos] != end_char) {
    if (line[pos] != '\\') {
      DecodeUtf8Char(line, pos, out);
      continue;
    }
    if (++pos >= line.size()) return false;
    const char c = line[pos];
    switch (c) {
      case 'a':
        out += u'\a';
        ++pos;
        continue;
      case 'b':
        out += u'\b';
        ++pos;
        continue;
      case 'e':
        out += u'\x1B';
        ++pos;
        continue;
      case 'f':
        out += u'\f';
        ++pos;
        continue;
      case 'n':
        out += u'\n';
        ++pos;
        continue;
      case 'r':
        out += u'\r';
        ++pos;
        continue;
      case 't':
        out += u'\t';
        ++pos;
        continue;
      case 'v':
        out += u'\v';
        ++pos;
        continue;
      case 'x': {
        ++pos;
        if (pos >= line.size() || HexDigit(line[pos]) < 0) {
          out += u'x';
          continue;
        }
        unsigned unit = 0;
        for (int digits = 0; digits < 4 && pos < line.size() && HexDigit(line[pos]) >= 0;
             ++digits) {
          unit = unit * 16 + static_cast<unsigned>(HexDigit(line[pos++]));
        }
        out += static_cast<char16_t>(unit);
        continue;
      }
      default:
        break;
    }
    if (c >= '0' && c <= '7') {
      unsigned unit = 0;
      for (int digits = 0; digits < 3 && pos < line.size() && line[pos] >= '0' && line[pos] <= '7';
           ++digits) {
        unit = unit * 8 + static_cast<unsigned>(line[pos++] - '0');
      }
      out += static_cast<char16_t>(unit);
      continue;
    }
    // Any other escaped character stands for itself: \\ \" \[ \].
    DecodeUtf8Char(line, pos, out);
  }
  if (pos >= line.size()) return false;
  ++pos;
  return true;
}

std::string Utf16Bytes(std::u16string_view units) {
  std::string bytes;
  bytes.reserve(units.size() * 2);
  for (const char16_t unit : units) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

class LineReader {
 public:
  explicit LineReader(std::string_view text) : text_(text) {}
  bool Next(std::string_view& line) {
    if (pos_ >= text_.size()) return false;
    size_t end = text_.find('\n', pos_);
    if (end == std::string_view::npos) end = text_.size();
    line = text_.substr(pos_, end - pos_);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    pos_ = end + 1;
    return true;
  }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

bool StartsWith(std::string_view text, size_t pos, std::string_view prefix) {
  return text.substr(pos, prefix.size()) == prefix;
}

// Comma-separated byte values; a trailing backslash continues the list on the next line.
bool ParseHexList(std::string_view line, size_t pos, LineReader& lines, std::string& data) {
  for (;;) {
    while (pos < line.size() && HexDigit(line[pos]) >= 0) {
      unsigned value = 0;
      while (pos < line.size() && HexDigit(line[pos]) >= 0) {
        value = value * 16 + static_cast<unsigned>(HexDigit(line[pos++]));
        if (value > 0xFF) return false;
      }
      data += static_cast<char>(value);
      while (pos < line.size() && IsSpace(line[pos])) ++pos;
      if (pos < line.size() && line[pos] == ',') ++pos;
      while (pos < line.size() && IsSpace(line[pos])) ++pos;
    }
    if (pos >= line.size() || line[pos] != '\\') return true;
    if (!lines.Next(line)) return false;
    pos = 0;
    while (pos < line.size() && IsSpace(line[pos])) ++pos;
  }
}

// One value line: `@=` or `"name"=`, then the data in one of Wine's forms.
bool ParseValue(std::string_view line, size_t pos, LineReader& lines, std::u16string& name,
                WineRegValue& value) {
  if (line[pos] == '@') {
    ++pos;
  } else if (!ParseEscaped(line, ++pos, '"', name)) {
    return false;
  }
  while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
  if (pos >= line.size() || line[pos] != '=') return false;
  ++pos;
  while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;

  struct StringForm {
    std::string_view lead;
    uint32_t type;
  };
  constexpr StringForm kStringForms[] = {
      {"\"", kRegSz}, {"str:\"", kRegSz}, {"str(2):\"", kRegExpandSz}, {"str(7):\"", kRegMultiSz}};
  for (const StringForm& form : kStringForms) {
    if (!StartsWith(line, pos, form.lead)) continue;
    pos += form.lead.size();
    std::u16string text;
    if (!ParseEscaped(line, pos, '"', text)) return false;
    text += u'\0';
    value.type = form.type;
    value.data = Utf16Bytes(text);
    return true;
  }
  if (StartsWith(line, pos, "dword:")) {
    pos += 6;
    uint32_t number = 0;
    int digits = 0;
    while (pos < line.size() && HexDigit(line[pos]) >= 0) {
      if (++digits > 8) return false;
      number = number * 16 + static_cast<uint32_t>(HexDigit(line[pos++]));
    }
    if (digits == 0) return false;
    value.type = kRegDword;
    value.data.clear();
    for (int shift = 0; shift < 32; shift += 8) value.data += static_cast<char>(number >> shift);
    return true;
  }
  if (StartsWith(line, pos, "hex:")) {
    value.type = kRegBinary;
    return ParseHexList(line, pos + 4, lines, value.data);
  }
  if (StartsWith(line, pos, "hex(")) {
    pos += 4;
    uint32_t type = 0;
    int digits = 0;
    while (pos < line.size() && HexDigit(line[pos]) >= 0) {
      if (++digits > 8) return false;
      type = type * 16 + static_cast<uint32_t>(HexDigit(line[pos++]));
    }
    if (digits == 0 || !StartsWith(line, pos, "):")) return false;
    value.type = type;
    return ParseHexList(line, pos + 2, lines, value.data);
  }
  return false;
}

struct FileVersion {
  dev_t device = 0;
  ino_t inode = 0;
  int64_t size = 0;
  int64_t seconds = 0;
  int64_t nanoseconds = 0;
  bool operator==(const FileVersion&) const = default;
};

struct CachedRegistry {
  FileVersion version;
  std::shared_ptr<const WineRegistry> registry;
};

bool ReadWholeFile(const std::string& host_path, FileVersion& version, std::string& bytes) {
  struct stat info;
  if (!ReadSmallFile(host_path, kMaxRegistryBytes, &bytes, &info)) return false;
  version = {info.st_dev, info.st_ino, static_cast<int64_t>(info.st_size),
             static_cast<int64_t>(info.st_mtim.tv_sec), static_cast<int64_t>(info.st_mtim.tv_nsec)};
  // Wine may be rewriting the file; what was read is parsed, a cut line is just skipped.
  return true;
}

}  // namespace

std::optional<WineRegistry> WineRegistry::Parse(std::string_view text) noexcept {
  try {
    LineReader lines(text);
    std::string_view line;
    if (!lines.Next(line)) return std::nullopt;
    while (!line.empty() && IsSpace(line.back())) line.remove_suffix(1);
    if (line != kHeader) return std::nullopt;

    WineRegistry registry;
    Values* current = nullptr;
    while (lines.Next(line)) {
      size_t pos = 0;
      while (pos < line.size() && IsSpace(line[pos])) ++pos;
      if (pos >= line.size()) continue;
      switch (line[pos]) {
        case '[': {
          std::u16string name;
          ++pos;
          current = nullptr;
          if (!ParseEscaped(line, pos, ']', name)) break;
          std::u16string path = KeyPath(name);
          if (path.empty()) break;
          current = &registry.keys_[std::move(path)];
          break;
        }
        case '@':
        case '"': {
          std::u16string name;
          WineRegValue value;
          // Values outside a readable section belong to no key.
          if (!ParseValue(line, pos, lines, name, value) || current == nullptr) break;
          (*current)[FoldName(name)] = std::move(value);
          break;
        }
        default:
          // Comments (;), options of the section (#time, #link, #class) and the file (#arch),
          // and lines in no known form.
          break;
      }
    }
    return registry;
  } catch (...) {
    return std::nullopt;
  }
}

const WineRegValue* WineRegistry::Find(std::string_view key,
                                       std::string_view value_name) const noexcept {
  try {
    const auto found = keys_.find(KeyPath(Utf16FromUtf8(key)));
    if (found == keys_.end()) return nullptr;
    const auto value = found->second.find(FoldName(Utf16FromUtf8(value_name)));
    return value == found->second.end() ? nullptr : &value->second;
  } catch (...) {
    return nullptr;
  }
}

bool WineRegistry::HasKey(std::string_view key) const noexcept {
  try {
    return keys_.count(KeyPath(Utf16FromUtf8(key))) != 0;
  } catch (...) {
    return false;
  }
}

std::string RegStringValue(const WineRegValue& value) {
  if (value.type != kRegSz && value.type != kRegExpandSz) return {};
  std::u16string units;
  units.reserve(value.data.size() / 2);
  // An odd last byte is no whole character.
  for (size_t i = 0; i + 1 < value.data.size(); i += 2) {
    units += static_cast<char16_t>(static_cast<unsigned char>(value.data[i]) |
                                   static_cast<unsigned char>(value.data[i + 1]) << 8);
  }
  const bool terminated = !units.empty() && units.back() == u'\0';
  if (units.size() + (terminated ? 0 : 1) > kQueryBufferUnits) return {};
  if (const size_t zero = units.find(u'\0'); zero != std::u16string::npos) units.resize(zero);
  return Utf8FromUtf16(units);
}

std::shared_ptr<const WineRegistry> LoadWineRegistry(const std::string& host_path) {
  static std::mutex mutex;
  static std::map<std::string, CachedRegistry> cache;
  try {
    FileVersion version;
    std::string bytes;
    struct stat info;
    if (::stat(host_path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return nullptr;
    {
      std::lock_guard lock(mutex);
      const FileVersion seen{info.st_dev, info.st_ino, static_cast<int64_t>(info.st_size),
                             static_cast<int64_t>(info.st_mtim.tv_sec),
                             static_cast<int64_t>(info.st_mtim.tv_nsec)};
      const auto cached = cache.find(host_path);
      if (cached != cache.end() && cached->second.version == seen) return cached->second.registry;
    }
    if (!ReadWholeFile(host_path, version, bytes)) return nullptr;
    std::optional<WineRegistry> parsed = WineRegistry::Parse(bytes);
    std::shared_ptr<const WineRegistry> registry;
    if (parsed) registry = std::make_shared<const WineRegistry>(std::move(*parsed));
    std::lock_guard lock(mutex);
    cache[host_path] = {version, registry};
    return registry;
  } catch (...) {
    return nullptr;
  }
}

}  // namespace tarnwick
