#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <vector>

#include "platform/host_path.h"
#include "platform/text_codec.h"

namespace tarnwick {
namespace {

std::string g_prefix;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool Exists(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0;
}

// The entry of `folder` that `name` means: itself when it exists, else the first entry that
// differs only in letter case, else the name as given (for a file about to be created).
std::string MatchEntry(const std::string& folder, const std::string& name) {
  if (Exists(folder + name)) return name;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return name;
  std::string found = name;
  while (const dirent* entry = ::readdir(dir)) {
    if (SameIgnoringAsciiCase(entry->d_name, name)) {
      found = entry->d_name;
      break;
    }
  }
  ::closedir(dir);
  return found;
}

// Appends the components of `rest` to `base` (which ends with "/"), matching each one. In a
// drive path "." and ".." are taken by their text, as Windows does, so that none leads out of
// the drive.
std::string Resolve(std::string base, std::string_view rest, bool drive_path) {
  const bool folder = !rest.empty() && IsSeparator(rest.back());
  std::vector<std::string> parts;
  std::string part;
  const auto take = [&] {
    if (drive_path && part == ".") {
    } else if (drive_path && part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty()) {
      parts.push_back(std::move(part));
    }
    part.clear();
  };
  for (const char c : rest) {
    if (IsSeparator(c)) {
      take();
    } else {
      part += c;
    }
  }
  take();
  bool matching = true;
  for (size_t i = 0; i < parts.size(); ++i) {
    const std::string& name = parts[i];
    if (name == "." || name == "..") {
      base += name;
    } else {
      const std::string entry = matching ? MatchEntry(base, name) : name;
      matching = matching && Exists(base + entry);
      base += entry;
    }
    if (i + 1 < parts.size() || folder) base += '/';
  }
  return base;
}

std::string DriveRoot(char letter) {
  const char drive = static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
  if (!g_prefix.empty()) {
    // A link whose target is gone is a drive that is not there, as Wine sees it.
    std::string link = g_prefix + "/dosdevices/" + drive + ":";
    struct stat info;
    if (::stat(link.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return link + "/";
    if (Exists(link)) return {};
  }
  if (drive == 'z') return "/";
  return {};
}

bool IsDrivePath(std::string_view path) {
  return path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
}

std::string RealPath(const std::string& path) {
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) == nullptr) return {};
  return resolved;
}

}  // namespace

void SetWinePrefix(std::string host_prefix) {
  while (host_prefix.size() > 1 && host_prefix.back() == '/') host_prefix.pop_back();
  g_prefix = std::move(host_prefix);
}

const std::string& WinePrefix() { return g_prefix; }

std::string HostPath(std::string_view path) {
  // The system would see only the part before a zero byte: a different file.
  if (path.find('\0') != std::string_view::npos) return {};
  std::string_view text = path;
  if (!text.empty() && IsSeparator(text[0])) return Resolve("/", text, false);
  if (IsDrivePath(text)) {
    const std::string root = DriveRoot(text[0]);
    // An unmapped drive is not found: an empty path opens nothing.
    if (root.empty()) return {};
    return Resolve(root, text.substr(2), true);
  }
  std::string relative(text);
  for (char& c : relative) {
    if (c == '\\') c = '/';
  }
  return relative;
}

std::string ProgramPathFromHost(std::string_view host_path) {
  std::string absolute(host_path);
  if (absolute.empty() || absolute[0] != '/') {
    char cwd[PATH_MAX];
    if (::getcwd(cwd, sizeof cwd) != nullptr) absolute = std::string(cwd) + "/" + absolute;
  }
  const bool folder = absolute.size() > 1 && absolute.back() == '/';
  std::string real = RealPath(absolute);
  if (real.empty()) real = absolute;
  if (folder && real.back() != '/') real += '/';

  char best_drive = 'z';
  std::string best_root = "/";
  if (!g_prefix.empty()) {
    for (char drive = 'a'; drive <= 'y'; ++drive) {
      std::string root = RealPath(g_prefix + "/dosdevices/" + drive + ":");
      if (root.empty()) continue;
      if (root.back() != '/') root += '/';
      const bool inside = real.compare(0, root.size(), root) == 0 || real + "/" == root;
      if (inside && root.size() > best_root.size()) {
        best_root = root;
        best_drive = drive;
      }
    }
  }
  std::string program(1, static_cast<char>(std::toupper(static_cast<unsigned char>(best_drive))));
  program += ":\\";
  if (real.size() > best_root.size()) program += real.substr(best_root.size());
  for (char& c : program) {
    if (c == '/') c = '\\';
  }
  return program;
}

}  // namespace tarnwick
