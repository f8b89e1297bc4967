// Injected with LD_PRELOAD into a program under test: counts every call that changes a file
// (write, rename, truncate, delete) and lets the N-th one fail or end the process. It can also
// record, in order, every change and every sync (of files and folders) that succeeded, so that a
// test can check what was on disk at each save of the log.
//
//   TARNWICK_FAULT_AT      1-based number of the call to cut off (0 or unset: none)
//   TARNWICK_FAULT_MODE    enospc | eacces | kill (end before the call) | torn (write half, end)
//   TARNWICK_FAULT_REPORT  file that receives the number of calls counted, at exit
//   TARNWICK_FAULT_NO_SYNC 1: syncs succeed without waiting for the disk. A process that is cut
//                          off loses nothing that the system holds, so the cut tests need no
//                          real sync, and thousands of runs would wait for them.
//   TARNWICK_FAULT_RECORD  file that receives one line per call: "write", "truncate", "create"
//                          (an open that made or emptied a file), "unlink", "fsync", each with a
//                          tab and the path; "rename" with a tab, the old and, after another tab,
//                          the new path. Paths of open files are the system's (/proc/self/fd).

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

long g_count = 0;
long g_fault_at = 0;
enum class Mode { kNone, kEnospc, kEacces, kKill, kTorn } g_mode = Mode::kNone;

// Set while the shim does its own file work, which is neither counted nor recorded.
bool g_reporting = false;
FILE* g_record = nullptr;
bool g_no_sync = false;

__attribute__((constructor)) void Setup() {
  if (const char* at = std::getenv("TARNWICK_FAULT_AT")) g_fault_at = std::atol(at);
  if (const char* mode = std::getenv("TARNWICK_FAULT_MODE")) {
    if (std::strcmp(mode, "enospc") == 0) g_mode = Mode::kEnospc;
    if (std::strcmp(mode, "eacces") == 0) g_mode = Mode::kEacces;
    if (std::strcmp(mode, "kill") == 0) g_mode = Mode::kKill;
    if (std::strcmp(mode, "torn") == 0) g_mode = Mode::kTorn;
  }
  const char* no_sync = std::getenv("TARNWICK_FAULT_NO_SYNC");
  g_no_sync = no_sync != nullptr && std::strcmp(no_sync, "1") == 0;
  const char* path = std::getenv("TARNWICK_FAULT_RECORD");
  if (path == nullptr) return;
  g_reporting = true;
  g_record = std::fopen(path, "w");
  g_reporting = false;
}

void Record(const char* call, const char* path, const char* second = nullptr) {
  if (g_record == nullptr || g_reporting) return;
  g_reporting = true;
  std::fprintf(g_record, "%s\t%s%s%s\n", call, path, second != nullptr ? "\t" : "",
               second != nullptr ? second : "");
  std::fflush(g_record);
  g_reporting = false;
}

void RecordFd(const char* call, int fd) {
  if (g_record == nullptr) return;
  char link[64];
  char path[4096];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t n = readlink(link, path, sizeof path - 1);
  path[n > 0 ? n : 0] = '\0';
  Record(call, path);
}

__attribute__((destructor)) void Report() {
  g_reporting = true;
  const char* path = std::getenv("TARNWICK_FAULT_REPORT");
  if (path == nullptr) return;
  if (FILE* out = std::fopen(path, "w")) {
    std::fprintf(out, "%ld\n", g_count);
    std::fclose(out);
  }
}

template <typename F>
F Next(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

[[noreturn]] void EndNow() {
  raise(SIGKILL);
  _exit(137);
}

// What the counted call must do: 0 go on, -1 fail with errno set, 1 tear (writes only).
int Decide() {
  if (g_reporting) return 0;
  ++g_count;
  if (g_fault_at == 0 || g_count != g_fault_at) return 0;
  switch (g_mode) {
    case Mode::kEnospc:
      errno = ENOSPC;
      return -1;
    case Mode::kEacces:
      errno = EACCES;
      return -1;
    case Mode::kKill:
      EndNow();
    case Mode::kTorn:
      return 1;
    case Mode::kNone:
      break;
  }
  return 0;
}

// For calls that cannot be torn, a tear ends the process before the call.
int DecideWhole() {
  const int decision = Decide();
  if (decision == 1) EndNow();
  return decision;
}

// A call that writes `count` bytes through `write(n)`: failed, torn (half of it written, then the
// end) or made whole.
template <typename Write>
ssize_t CountedWrite(size_t count, Write write) {
  switch (Decide()) {
    case -1:
      return -1;
    case 1:
      write(count / 2);
      EndNow();
  }
  return write(count);
}

// A sync changes nothing, so it is never cut off; it is recorded.
int Synced(int fd, int (*real)(int)) {
  const int result = g_no_sync ? 0 : real(fd);
  if (result == 0) RecordFd("fsync", fd);
  return result;
}

// Writes to the terminal or a pipe are not file changes.
bool IsFile(int fd) {
  struct stat info;
  return fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

extern "C" {

ssize_t write(int fd, const void* buffer, size_t count) {
  static auto real = Next<ssize_t (*)(int, const void*, size_t)>("write");
  if (!IsFile(fd)) return real(fd, buffer, count);
  const ssize_t written = CountedWrite(count, [&](size_t n) { return real(fd, buffer, n); });
  if (written > 0) RecordFd("write", fd);
  return written;
}

ssize_t pwrite(int fd, const void* buffer, size_t count, off_t offset) {
  static auto real = Next<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite");
  if (!IsFile(fd)) return real(fd, buffer, count, offset);
  const ssize_t written =
      CountedWrite(count, [&](size_t n) { return real(fd, buffer, n, offset); });
  if (written > 0) RecordFd("write", fd);
  return written;
}

// Opening with O_TRUNC or O_CREAT can empty or create a file: a change like any other.
int open(const char* path, int flags, ...) {
  static auto real = Next<int (*)(const char*, int, ...)>("open");
  mode_t mode = 0;
  if ((flags & (O_CREAT | O_TMPFILE)) != 0) {
    va_list args;
    va_start(args, flags);
    mode = static_cast<mode_t>(va_arg(args, int));
    va_end(args);
  }
  if ((flags & (O_TRUNC | O_CREAT)) != 0 && DecideWhole() != 0) return -1;
  const int fd = real(path, flags, mode);
  if (fd >= 0 && (flags & (O_TRUNC | O_CREAT)) != 0) RecordFd("create", fd);
  return fd;
}

int rename(const char* from, const char* to) {
  static auto real = Next<int (*)(const char*, const char*)>("rename");
  if (DecideWhole() != 0) return -1;
  const int result = real(from, to);
  if (result == 0) Record("rename", from, to);
  return result;
}

int unlink(const char* path) {
  static auto real = Next<int (*)(const char*)>("unlink");
  if (DecideWhole() != 0) return -1;
  const int result = real(path);
  if (result == 0) Record("unlink", path);
  return result;
}

// The installer copies payloads inside the kernel where it can: a write like any other.
ssize_t copy_file_range(int in, off64_t* in_at, int out, off64_t* out_at, size_t count,
                        unsigned flags) {
  static auto real =
      Next<ssize_t (*)(int, off64_t*, int, off64_t*, size_t, unsigned)>("copy_file_range");
  const ssize_t written =
      CountedWrite(count, [&](size_t n) { return real(in, in_at, out, out_at, n, flags); });
  if (written > 0) RecordFd("write", out);
  return written;
}

int ftruncate(int fd, off_t length) {
  static auto real = Next<int (*)(int, off_t)>("ftruncate");
  if (DecideWhole() != 0) return -1;
  const int result = real(fd, length);
  if (result == 0) RecordFd("truncate", fd);
  return result;
}

int fsync(int fd) {
  static auto real = Next<int (*)(int)>("fsync");
  return Synced(fd, real);
}

int fdatasync(int fd) {
  static auto real = Next<int (*)(int)>("fdatasync");
  return Synced(fd, real);
}

}  // extern "C"
