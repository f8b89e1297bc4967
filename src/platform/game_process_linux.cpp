#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <string>
#include <string_view>
#include <vector>

#include "platform/game_process.h"
#include "platform/text_codec.h"

namespace tarnwick {
namespace {

constexpr std::string_view kGamePrograms[] = {"Battlegrounds.exe", "Battlegrounds_x1.exe"};
// The kernel keeps a process name (comm) of at most 15 bytes.
constexpr size_t kCommLength = 15;
// Enough for any loader's command line worth looking at.
constexpr size_t kMaxCmdlineBytes = 64 * 1024;

// Under Wine the program's path is a Windows one, so both separators count.
std::string_view BaseName(std::string_view path) {
  const size_t last = path.find_last_of("\\/");
  return last == std::string_view::npos ? path : path.substr(last + 1);
}

bool IsGameProgram(std::string_view path) {
  const std::string_view name = BaseName(path);
  for (const std::string_view program : kGamePrograms) {
    if (SameIgnoringAsciiCase(name, program)) return true;
  }
  return false;
}

bool IsGameComm(std::string_view comm) {
  for (const std::string_view program : kGamePrograms) {
    if (SameIgnoringAsciiCase(comm, program.substr(0, kCommLength))) return true;
  }
  return false;
}

// Loaders that carry the Windows program as a later argument.
bool IsWineLoader(std::string_view path) {
  std::string name(BaseName(path));
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return name.find("wine") != std::string::npos || name.find("preloader") != std::string::npos ||
         name == "proton";
}

std::string ReadProcFile(const std::string& path, size_t limit) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  std::string bytes(limit, '\0');
  size_t done = 0;
  while (done < limit) {
    const ssize_t n = ::read(fd, bytes.data() + done, limit - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  ::close(fd);
  bytes.resize(done);
  return bytes;
}

bool ProcessIsGame(const std::string& folder) {
  const std::string cmdline = ReadProcFile(folder + "/cmdline", kMaxCmdlineBytes);
  std::vector<std::string_view> args;
  for (size_t start = 0; start < cmdline.size();) {
    size_t end = cmdline.find('\0', start);
    if (end == std::string::npos) end = cmdline.size();
    args.push_back(std::string_view(cmdline).substr(start, end - start));
    start = end + 1;
  }
  if (!args.empty()) {
    if (IsGameProgram(args[0])) return true;
    if (IsWineLoader(args[0])) {
      for (size_t i = 1; i < args.size(); ++i) {
        if (IsGameProgram(args[i])) return true;
      }
    }
  }
  std::string comm = ReadProcFile(folder + "/comm", 64);
  while (!comm.empty() && (comm.back() == '\n' || comm.back() == '\0')) comm.pop_back();
  return IsGameComm(comm);
}

}  // namespace

bool GameIsRunning() {
  try {
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) return false;
    const std::string self = std::to_string(::getpid());
    bool running = false;
    while (const dirent* entry = ::readdir(proc)) {
      const std::string_view name = entry->d_name;
      if (name.empty() || name.find_first_not_of("0123456789") != std::string_view::npos ||
          name == self) {
        continue;
      }
      if (ProcessIsGame("/proc/" + std::string(name))) {
        running = true;
        break;
      }
    }
    ::closedir(proc);
    return running;
  } catch (...) {
    return false;
  }
}

}  // namespace tarnwick
