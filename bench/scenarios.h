#pragma once

#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

#include "common/game_files.h"
#include "install/install.h"
#include "modlog/mod_log.h"
#include "package/package.h"

// The measured runs. Each builds its own game in the scratch folder, checks that what it timed
// really installed and removed, and prints its part of the report as Markdown.
namespace tarnwick::bench {

struct Options {
  std::string scratch;  // host folder on the disk under test; emptied and reused
  std::string self;     // this program, run again as a child for the memory peaks
  int64_t large_payload = int64_t{256} << 20;
  int large_runs = 5;
  std::vector<int> small_counts = {1000, 4000, 16000};
  std::vector<int> small_runs = {5, 3, 3};
  int archive_entries = 16000;
  int small_resource_size = 4096;
  int64_t memory_payload = int64_t{1} << 30;
  int memory_runs = 3;
  int startup_mods = 1000;
  int startup_changes = 10;
  std::string window_program;  // times the window's start-up in a process of its own
  int window_runs = 11;
  std::string slow_sync_shim;  // the LD_PRELOAD library that makes each sync take 10 ms
  std::vector<int> slow_counts = {100, 1000, 4000};
  std::vector<int> plan_counts = {4000, 16000};
  int plan_runs = 15;
};

// The install as it was before batches: one log save per resource, copies through the buffer
// only, appended data not synced. "After" is InstallTuning{}, what the program does.
inline constexpr InstallTuning kBefore{1, int64_t{1} << 40, false, false};

// A game folder holding only the base game-data archive, which is where a normal resource with
// archive number 0 goes when Clone Campaigns is absent.
struct BenchGame {
  std::string root;  // host path, ending with "/"
  GameFiles files;
  ModLog log;
  const std::string& archive() const { return files[kGamedataDrs]; }
};
[[nodiscard]] std::error_code MakeBenchGame(const std::string& root, const std::string& archive,
                                            BenchGame* game);

// The archive of the small-resource runs: `entries` ids in four tables, each entry's data
// `size` pattern bytes, and the id of every entry in directory order.
struct SmallArchive {
  std::string bytes;
  std::vector<int32_t> ids;
};
[[nodiscard]] SmallArchive BuildSmallArchive(int entries, int size);

// A package of `count` resources of `size` bytes for archive number 0, their ids spread evenly
// over `ids` so that every table is searched. Each payload is the pattern bytes every entry of
// BuildSmallArchive holds, or `size` times `fill` when one is given.
[[nodiscard]] std::string BuildSmallPackage(const std::vector<int32_t>& ids, int count, int size,
                                            char fill = '\0');

// Installs `package` and removes it again; false (with a line on stderr) when either did not do
// exactly what it should: no box shown, one mod of `changes` changes, the archive grown by
// `growth` bytes, and after removal the archive as `original` and the log empty again.
struct RoundTrip {
  double install_seconds = 0;
  double remove_seconds = 0;
  std::vector<double> resource_seconds;
  int64_t log_bytes = 0;          // mods.log after the install
  double longest_report_gap = 0;  // seconds between two progress reports, at most
};
[[nodiscard]] bool InstallAndRemove(BenchGame& game, const std::string& package_path,
                                    const PackageHeader& header, int changes, int64_t growth,
                                    const std::string* original, RoundTrip* trip,
                                    const InstallTuning& tuning = {});

// The child side of the memory runs, which writes its peak resident memory to `peak_file`:
// "install" installs the package `second` into the game at `first` ("install-before" and
// "install-after" the same, tuned so, writing the install's seconds instead of the peak; "remove"
// takes the newest mod off, writing its seconds); "idle" only reads the package and the log;
// "touch" holds `first` MiB of touched memory. Exit code 0 when it did what was asked.
[[nodiscard]] int RunChildMode(const std::string& mode, const std::string& first,
                               const std::string& second, const std::string& peak_file);

void PrintMachine(const Options& options);
[[nodiscard]] bool RunLargeResource(const Options& options);
[[nodiscard]] bool RunSmallResources(const Options& options);
[[nodiscard]] bool RunWinePaths(const Options& options);
[[nodiscard]] bool RunMemoryPeak(const Options& options);
[[nodiscard]] bool RunStartUp(const Options& options);
[[nodiscard]] bool RunHashingPeak(const Options& options);
[[nodiscard]] bool RunSlowStorage(const Options& options);
// Removing the oldest of ten mods, against the removals and installs it replays.
[[nodiscard]] bool RunRemoveAny(const Options& options);
// CheckDrift on a game of the real game's size, against its 0.2 s budget.
[[nodiscard]] bool RunDrift(const Options& options);
// A large package's plan and conflicts, as `tarnwick show` makes them, against reading its
// header and table.
[[nodiscard]] bool RunPlan(const Options& options);

}  // namespace tarnwick::bench
