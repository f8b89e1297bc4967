#include "platform/wine_prefixes.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

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

std::vector<std::string> WinePrefixCandidates() {
  std::vector<std::string> prefixes;
  try {
    std::set<std::string> seen;
    if (const char* wine_prefix = std::getenv("WINEPREFIX");
        wine_prefix != nullptr && wine_prefix[0] != '\0' && IsFolder(wine_prefix)) {
      AddOnce(prefixes, seen, WithoutTrailingSlashes(wine_prefix));
    }
    if (const std::string home = Home(); !home.empty() && IsFolder(home + "/.wine")) {
      AddOnce(prefixes, seen, home + "/.wine");
    }
    for (const std::string& library : SteamLibraries()) {
      const std::string prefix = ProtonPrefix(library);
      if (IsOrdinaryFile(prefix + "/system.reg")) AddOnce(prefixes, seen, prefix);
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
