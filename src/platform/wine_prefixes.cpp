#include "platform/wine_prefixes.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <set>

#include "platform/small_file_posix.h"
#include "platform/text_codec.h"

namespace tarnwick {
namespace {

// Steam's text files are small; a larger one is not read.
constexpr off_t kMaxSteamFileBytes = 4 * 1024 * 1024;

bool IsFolder(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsOrdinaryFile(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string ReadSteamFile(const std::string& path) {
  std::string bytes;
  if (!ReadSmallFile(path, kMaxSteamFileBytes, &bytes)) bytes.clear();
  return bytes;
}

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string RealPathOr(const std::string& path) {
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) == nullptr) return path;
  return resolved;
}

// The sub-folder of `folder` called `name` in any letter case; the exact spelling wins.
std::optional<std::string> ChildFolder(const std::string& folder, const std::string& name) {
  if (IsFolder(folder + "/" + name)) return folder + "/" + name;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return std::nullopt;
  std::optional<std::string> found;
  while (const dirent* entry = ::readdir(dir)) {
    if (SameIgnoringAsciiCase(entry->d_name, name) && IsFolder(folder + "/" + entry->d_name)) {
      found = folder + "/" + entry->d_name;
      break;
    }
  }
  ::closedir(dir);
  return found;
}

// Valve's KeyValues text: quoted or bare tokens, braces, // comments.
struct VdfToken {
  enum Kind { kText, kOpen, kClose } kind;
  std::string text;
};

std::vector<VdfToken> TokenizeVdf(std::string_view vdf) {
  std::vector<VdfToken> tokens;
  size_t pos = 0;
  while (pos < vdf.size()) {
    const char c = vdf[pos];
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++pos;
    } else if (c == '/' && pos + 1 < vdf.size() && vdf[pos + 1] == '/') {
      pos = vdf.find('\n', pos);
    } else if (c == '{' || c == '}') {
      tokens.push_back({c == '{' ? VdfToken::kOpen : VdfToken::kClose, {}});
      ++pos;
    } else if (c == '"') {
      std::string text;
      ++pos;
      while (pos < vdf.size() && vdf[pos] != '"') {
        if (vdf[pos] == '\\' && pos + 1 < vdf.size()) {
          const char escaped = vdf[++pos];
          text += escaped == 'n' ? '\n' : escaped == 't' ? '\t' : escaped;
        } else {
          text += vdf[pos];
        }
        ++pos;
      }
      ++pos;
      tokens.push_back({VdfToken::kText, std::move(text)});
    } else {
      std::string text;
      while (pos < vdf.size() && !std::isspace(static_cast<unsigned char>(vdf[pos])) &&
             vdf[pos] != '{' && vdf[pos] != '}' && vdf[pos] != '"') {
        text += vdf[pos++];
      }
      tokens.push_back({VdfToken::kText, std::move(text)});
    }
  }
  return tokens;
}

// Calls `pair(depth, key, value)` for every key with a text value; `depth` 1 is inside the
// outermost block.
template <typename Pair>
void WalkVdf(std::string_view vdf, Pair pair) {
  const std::vector<VdfToken> tokens = TokenizeVdf(vdf);
  int depth = 0;
  for (size_t i = 0; i < tokens.size(); ++i) {
    if (tokens[i].kind == VdfToken::kOpen) {
      ++depth;
    } else if (tokens[i].kind == VdfToken::kClose) {
      if (depth > 0) --depth;
    } else if (i + 1 < tokens.size() && tokens[i + 1].kind == VdfToken::kText) {
      pair(depth, tokens[i].text, tokens[i + 1].text);
      ++i;
    }
  }
}

bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

void AddOnce(std::vector<std::string>& list, std::set<std::string>& seen, std::string path) {
  if (seen.insert(RealPathOr(path)).second) list.push_back(std::move(path));
}

std::string Home() {
  const char* home = std::getenv("HOME");
  return home != nullptr && home[0] == '/' ? WithoutTrailingSlashes(home) : std::string();
}

// The names in a folder, without "." and "..", in byte order; none when it cannot be read.
std::vector<std::string> SortedEntries(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return names;
  // A handful of games or bottles is usual; a folder of thousands is not walked further.
  constexpr size_t kMaxEntries = 1024;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    names.emplace_back(name);
    if (names.size() >= kMaxEntries) break;
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

std::string BaseName(const std::string& folder) {
  const size_t slash = folder.rfind('/');
  return slash == std::string::npos ? folder : folder.substr(slash + 1);
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
    text.remove_prefix(1);
  }
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
    text.remove_suffix(1);
  }
  return text;
}

std::string ProtonPrefix(const std::string& library) {
  return library + "/steamapps/compatdata/" + std::string(kSteamAppId) + "/pfx";
}

}  // namespace

std::vector<std::string> ParseLibraryFolders(std::string_view vdf) {
  std::vector<std::string> folders;
  try {
    WalkVdf(vdf, [&](int depth, const std::string& key, const std::string& value) {
      if (value.empty()) return;
      if (SameIgnoringAsciiCase(key, "path") || (depth == 1 && AllDigits(key))) {
        folders.push_back(value);
      }
    });
  } catch (...) {
    folders.clear();
  }
  return folders;
}

std::string ParseInstallDir(std::string_view acf) {
  std::string install_dir;
  try {
    WalkVdf(acf, [&](int depth, const std::string& key, const std::string& value) {
      if (depth == 1 && install_dir.empty() && SameIgnoringAsciiCase(key, "installdir")) {
        install_dir = value;
      }
    });
  } catch (...) {
    return {};
  }
  // One folder below steamapps/common, never a way out of it.
  if (install_dir == "." || install_dir == ".." ||
      install_dir.find_first_of(std::string_view("/\\\0", 3)) != std::string::npos) {
    return {};
  }
  return install_dir;
}

std::vector<std::string> SteamLibraries() {
  std::vector<std::string> libraries;
  try {
    const std::string home = Home();
    if (home.empty()) return libraries;
    std::set<std::string> seen;
    for (const char* root : {"/.steam/steam", "/.local/share/Steam",
                             "/.var/app/com.valvesoftware.Steam/.local/share/Steam"}) {
      const std::string steam = home + root;
      if (!IsFolder(steam)) continue;
      AddOnce(libraries, seen, steam);
      const std::vector<std::string> listed_libraries =
          ParseLibraryFolders(ReadSteamFile(steam + "/steamapps/libraryfolders.vdf"));
      // Steam itself keeps a handful; a file listing thousands is not worth walking.
      constexpr size_t kMaxListed = 256;
      for (size_t i = 0; i < listed_libraries.size() && i < kMaxListed; ++i) {
        const std::string& listed = listed_libraries[i];
        if (listed.empty() || listed[0] != '/' || !IsFolder(listed)) continue;
        AddOnce(libraries, seen, WithoutTrailingSlashes(listed));
      }
    }
  } catch (...) {
    libraries.clear();
  }
  return libraries;
}

std::vector<std::string> ParseLutrisPrefixes(std::string_view yml) {
  std::vector<std::string> prefixes;
  size_t start = 0;
  while (start < yml.size()) {
    size_t end = yml.find('\n', start);
    if (end == std::string_view::npos) end = yml.size();
    std::string_view line = yml.substr(start, end - start);
    start = end + 1;
    // The prefix of a game's runner sits indented under "game:"; a top-level key is no prefix.
    const size_t indent = line.find_first_not_of(' ');
    if (indent == 0 || indent == std::string_view::npos) continue;
    line.remove_prefix(indent);
    constexpr std::string_view kKey = "prefix:";
    if (line.substr(0, kKey.size()) != kKey) continue;
    std::string value(Trimmed(line.substr(kKey.size())));
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
      value = value.substr(1, value.size() - 2);
    }
    if (!value.empty()) prefixes.push_back(std::move(value));
  }
  return prefixes;
}

std::vector<PrefixCandidate> WinePrefixCandidates() {
  std::vector<PrefixCandidate> prefixes;
  try {
    std::set<std::string> seen;
    const auto add = [&](std::string folder, std::string label) {
      folder = WithoutTrailingSlashes(std::move(folder));
      if (seen.insert(RealPathOr(folder)).second) {
        prefixes.push_back({std::move(folder), std::move(label)});
      }
    };
    // As Wine itself: the prefix named in the environment is the only one.
    if (const char* wine_prefix = std::getenv("WINEPREFIX");
        wine_prefix != nullptr && wine_prefix[0] != '\0') {
      if (IsFolder(wine_prefix)) add(wine_prefix, "WINEPREFIX");
      return prefixes;
    }
    const std::string home = Home();
    if (!home.empty() && IsFolder(home + "/.wine")) add(home + "/.wine", "Wine");
    for (const std::string& library : SteamLibraries()) {
      const std::string prefix = ProtonPrefix(library);
      if (IsOrdinaryFile(prefix + "/system.reg")) add(prefix, "Steam (Proton)");
    }
    if (home.empty()) return prefixes;
    const auto add_with_registry = [&](const std::string& folder, const std::string& label) {
      if (IsOrdinaryFile(folder + "/system.reg")) add(folder, label + BaseName(folder));
    };
    // Lutris names each game's prefix in its configuration; its default place is ~/Games.
    for (const char* config : {"/.config/lutris/games", "/.local/share/lutris/games"}) {
      for (const std::string& file : SortedEntries(home + config)) {
        if (!file.ends_with(".yml")) continue;
        for (std::string prefix : ParseLutrisPrefixes(ReadSteamFile(home + config + "/" + file))) {
          if (prefix.starts_with("~/")) prefix = home + prefix.substr(1);
          if (!prefix.empty() && prefix[0] == '/') add_with_registry(prefix, "Lutris: ");
        }
      }
    }
    for (const std::string& entry : SortedEntries(home + "/Games")) {
      add_with_registry(home + "/Games/" + entry, "Lutris: ");
    }
    // Bottles keeps one prefix per bottle, natively or in its Flatpak's data.
    for (const char* bottles : {"/.local/share/bottles/bottles",
                                "/.var/app/com.usebottles.bottles/data/bottles/bottles"}) {
      for (const std::string& entry : SortedEntries(home + bottles)) {
        add_with_registry(home + bottles + "/" + entry, "Bottles: ");
      }
    }
  } catch (...) {
    prefixes.clear();
  }
  return prefixes;
}

std::optional<SteamGame> FindSteamGame() {
  try {
    for (const std::string& library : SteamLibraries()) {
      const std::string install_dir = ParseInstallDir(
          ReadSteamFile(library + "/steamapps/appmanifest_" + std::string(kSteamAppId) + ".acf"));
      if (install_dir.empty()) continue;
      const auto common = ChildFolder(library, "steamapps");
      const auto apps = common ? ChildFolder(*common, "common") : std::nullopt;
      const auto install = apps ? ChildFolder(*apps, install_dir) : std::nullopt;
      const auto game = install ? ChildFolder(*install, "Game") : std::nullopt;
      if (!game) continue;
      SteamGame found;
      found.game_folder = *game + "/";
      if (IsFolder(ProtonPrefix(library))) found.proton_prefix = ProtonPrefix(library);
      return found;
    }
  } catch (...) {
  }
  return std::nullopt;
}

}  // namespace tarnwick
