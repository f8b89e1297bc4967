// Loaded with LD_PRELOAD into a benchmark child: storage where every sync takes a fixed time, as
// on an SD card or a USB stick, counted.
//
//   TARNWICK_SYNC_MS      milliseconds each fsync or fdatasync takes (default 10)
//   TARNWICK_SYNC_REPORT  file that receives the number of syncs, at exit

#include <dlfcn.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

long g_syncs = 0;
long g_sync_ms = 10;

__attribute__((constructor)) void Setup() {
  if (const char* ms = std::getenv("TARNWICK_SYNC_MS")) g_sync_ms = std::atol(ms);
}

__attribute__((destructor)) void Report() {
  const char* path = std::getenv("TARNWICK_SYNC_REPORT");
  if (path == nullptr) return;
  if (FILE* out = std::fopen(path, "w")) {
    std::fprintf(out, "%ld\n", g_syncs);
    std::fclose(out);
  }
}

void Wait() {
  ++g_syncs;
  timespec delay{g_sync_ms / 1000, (g_sync_ms % 1000) * 1000000};
  while (nanosleep(&delay, &delay) != 0) {
  }
}

}  // namespace

extern "C" {

int fsync(int fd) {
  static auto real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fsync"));
  Wait();
  return real(fd);
}

int fdatasync(int fd) {
  static auto real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fdatasync"));
  Wait();
  return real(fd);
}

}  // extern "C"
