// The benchmark program behind `make bench`: builds its own game and packages in a scratch folder
// on the disk under test, times installs and removals against plain copies, and prints the
// report as Markdown.

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "scenarios.h"

namespace {

constexpr char kUsage[] =
    "usage: tarnwick-bench [--quick] [--only large|small|wine|memory|startup|hashing|slow|"
    "remove-any|drift|plan] "
    "[--scratch "
    "FOLDER]\n";

std::string ThisProgram() {
  char path[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return {};
  return std::string(path, static_cast<size_t>(n));
}

void MakeQuick(tarnwick::bench::Options& options) {
  options.large_payload = int64_t{16} << 20;
  options.large_runs = 3;
  options.small_counts = {100, 400, 1600};
  options.small_runs = {3, 3, 1};
  options.archive_entries = 1600;
  options.memory_payload = int64_t{16} << 20;
  options.memory_runs = 1;
  options.startup_mods = 100;
  options.window_runs = 3;
  options.slow_counts = {100, 400};
  options.plan_counts = {400, 1600};
  options.plan_runs = 3;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 6 && std::string(argv[1]) == "--child") {
    return tarnwick::bench::RunChildMode(argv[2], argv[3], argv[4], argv[5]);
  }
  tarnwick::bench::Options options;
  options.self = ThisProgram();
  options.slow_sync_shim = TARNWICK_SLOW_SYNC_SHIM;
  options.window_program = TARNWICK_BENCH_WINDOW;
  std::string only;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--quick") {
      MakeQuick(options);
    } else if (arg == "--only" && i + 1 < argc) {
      only = argv[++i];
    } else if (arg == "--scratch" && i + 1 < argc) {
      options.scratch = argv[++i];
    } else {
      std::fputs(kUsage, stderr);
      return 2;
    }
  }
  if (options.self.empty()) {
    std::fputs("tarnwick-bench: cannot find its own program file\n", stderr);
    return 1;
  }
  // Beside the program, which `make bench` builds under build/: on the project's disk, not in a
  // temporary folder that may live in memory.
  if (options.scratch.empty()) {
    options.scratch = std::filesystem::path(options.self).parent_path().string() + "/scratch";
  }
  std::error_code error;
  std::filesystem::create_directories(options.scratch, error);
  options.scratch = std::filesystem::absolute(options.scratch, error).string();

  std::printf("# Tarnwick benchmarks\n\n");
  tarnwick::bench::PrintMachine(options);
  bool ok = true;
  if (ok && (only.empty() || only == "large")) ok = tarnwick::bench::RunLargeResource(options);
  if (ok && (only.empty() || only == "small")) ok = tarnwick::bench::RunSmallResources(options);
  if (ok && (only.empty() || only == "wine")) ok = tarnwick::bench::RunWinePaths(options);
  if (ok && (only.empty() || only == "memory")) ok = tarnwick::bench::RunMemoryPeak(options);
  if (ok && (only.empty() || only == "startup")) ok = tarnwick::bench::RunStartUp(options);
  if (ok && (only.empty() || only == "hashing")) ok = tarnwick::bench::RunHashingPeak(options);
  if (ok && (only.empty() || only == "slow")) ok = tarnwick::bench::RunSlowStorage(options);
  if (ok && (only.empty() || only == "remove-any")) ok = tarnwick::bench::RunRemoveAny(options);
  if (ok && (only.empty() || only == "drift")) ok = tarnwick::bench::RunDrift(options);
  if (ok && (only.empty() || only == "plan")) ok = tarnwick::bench::RunPlan(options);
  std::filesystem::remove_all(options.scratch, error);
  return ok ? 0 : 1;
}
