// What `tarnwick show` computes for a large package, against reading the package's header and
// table: the plan (PlanInstall) and whom each change meets (FindConflicts), then the words it
// prints and, apart, the window's whole table, on a game where one installed mod provides every
// entry the package redirects.

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "fixtures/recording_messages.h"
#include "harness.h"
#include "install/install.h"
#include "install/install_plan.h"
#include "manage/change_table.h"
#include "manage/conflicts.h"
#include "manage/plan_text.h"
#include "scenarios.h"
#include "writers/game_folder.h"

namespace tarnwick::bench {
namespace {

bool Failed(const std::string& what) {
  std::fprintf(stderr, "plan: %s\n", what.c_str());
  return false;
}

// The packages planned: what their payloads meet in the archive decides how much of them the
// conflict check reads.
struct PlanCase {
  const char* name;
  int extra_bytes;  // payload length beyond the entries'
  char fill;        // BuildSmallPackage's fill: the installed bytes (0) or others
  bool identical;   // what every change must come out as
};

constexpr PlanCase kCases[] = {
    {"other lengths (nothing to compare)", 4, '\0', false},
    {"same length, other bytes (each payload compared)", 0, 'x', false},
    {"the installed bytes (each payload compared, identical)", 0, '\0', true},
};

// Seconds on the processor for this thread, kernel time included: a shared machine's other
// work stretches the wall clock of both sides of a ratio unevenly, this much less.
double ThreadSeconds() {
  timespec now{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

enum Stage { kRead, kPlan, kConflicts, kWords, kTable, kStages };

struct Timing {
  std::vector<double> wall[kStages];
  std::vector<double> cpu[kStages];
};

// Times one stage on both clocks.
class Stopwatch {
 public:
  Stopwatch(Timing& timing, Stage stage) : timing_(timing), stage_(stage) {}
  ~Stopwatch() {
    timing_.cpu[stage_].push_back(ThreadSeconds() - cpu_start_);
    timing_.wall[stage_].push_back(SecondsSince(wall_start_));
  }
  Stopwatch(const Stopwatch&) = delete;
  Stopwatch& operator=(const Stopwatch&) = delete;

 private:
  Timing& timing_;
  Stage stage_;
  Clock::time_point wall_start_ = Clock::now();
  double cpu_start_ = ThreadSeconds();
};

// One pass: reads the package and plans it as `show` does; false when the result is not what the
// case must give.
bool TimeOnce(const std::string& path, const BenchGame& game, int count, const PlanCase& c,
              Timing& timing) {
  PackageHeader header;
  bool read = false;
  {
    const Stopwatch watch(timing, kRead);
    read = ReadPackage(path, header) == PackageRead::kValid;
  }
  if (!read) return Failed("a package is refused");
  InstallPlan plan;
  {
    const Stopwatch watch(timing, kPlan);
    plan = PlanInstall(path, header, game.log, game.files, false);
  }
  std::error_code error;
  std::vector<Conflict> conflicts;
  {
    const Stopwatch watch(timing, kConflicts);
    conflicts = FindConflicts(path, header, plan, game.log, game.files, &error);
  }
  size_t plan_lines = 0;
  std::vector<std::string> met;
  ChangeTotals totals;
  {
    const Stopwatch watch(timing, kWords);
    plan_lines = DescribePlan(plan).size();
    met = DescribeConflicts(plan, conflicts, game.log);
    totals = PackageTotals(plan, conflicts);
  }
  ChangeTable table;
  {
    const Stopwatch watch(timing, kTable);
    table = PackageChangeTable(path, header, game.log, game.files, false);
  }

  if (plan.Refused() || static_cast<int>(plan.changes.size()) != count || error) {
    return Failed("the plan is not one change per resource");
  }
  for (const Conflict& conflict : conflicts) {
    if (conflict.provider != 1 || conflict.identical != c.identical) {
      return Failed(std::string("a change does not meet the installed mod as it should: ") +
                    c.name);
    }
  }
  const int expected_conflicts = c.identical ? 0 : count;
  if (table.conflicts != expected_conflicts || static_cast<int>(table.rows.size()) != count ||
      totals.conflicts != expected_conflicts || static_cast<int>(met.size()) != count ||
      static_cast<int>(plan_lines) != count + 1) {
    return Failed("the words or the table do not count the changes");
  }
  return true;
}

}  // namespace

bool RunPlan(const Options& options) {
  const std::string folder = options.scratch + "/plan/";
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  std::filesystem::create_directories(folder, ignored);
  const int size = options.small_resource_size;
  const SmallArchive archive = BuildSmallArchive(options.archive_entries, size);
  BenchGame game;
  if (MakeBenchGame(folder + "game/", archive.bytes, &game)) return Failed("cannot build the game");
  // The installed mod: every entry of the archive, in its pattern bytes.
  const std::string installed = folder + "installed.mpi";
  const int entries = static_cast<int>(archive.ids.size());
  if (fixtures::WriteHostFile(installed, BuildSmallPackage(archive.ids, entries, size))) {
    return Failed("cannot write a package");
  }
  PackageHeader header;
  fixtures::RecordingMessages messages;
  if (ReadPackage(installed, header) != PackageRead::kValid ||
      InstallMod(installed, header, game.log, game.files, false, messages, nullptr) ||
      !messages.boxes.empty()) {
    return Failed("the installed mod did not install");
  }

  struct Measured {
    const PlanCase* plan_case;
    int count;
    std::string path;
    Timing timing;
  };
  std::vector<Measured> measured;
  for (const PlanCase& c : kCases) {
    for (const int wanted : options.plan_counts) {
      const int count = std::min({wanted, entries, 32767});
      Measured m{&c, count, folder + "plan-" + std::to_string(measured.size()) + ".mpi", {}};
      if (fixtures::WriteHostFile(
              m.path, BuildSmallPackage(archive.ids, count, size + c.extra_bytes, c.fill))) {
        return Failed("cannot write a package");
      }
      measured.push_back(std::move(m));
    }
  }
  // A first pass warms the cache and is not counted; then round by round over the packages, so
  // that a slow spell of the shared machine hits them alike.
  for (int run = 0; run <= options.plan_runs; ++run) {
    for (Measured& m : measured) {
      Timing discarded;
      if (!TimeOnce(m.path, game, m.count, *m.plan_case, run == 0 ? discarded : m.timing)) {
        return false;
      }
    }
  }

  std::printf("## A package's plan and conflicts against reading its header and table\n\n");
  std::printf(
      "An installed mod provides every entry of an archive of %d entries; the package redirects "
      "`Resources` of them (%d-byte payloads). Read: ReadPackage. Plan: PlanInstall. Conflicts: "
      "FindConflicts. Words: what `show` prints of them (DescribePlan, DescribeConflicts, "
      "PackageTotals). Window table: PackageChangeTable as the window calls it, plan and "
      "conflicts included. Wall-clock medians of %d runs, ms. The ratios are medians of the "
      "runs' ratios, on the wall clock and on the thread's processor time (kernel included), "
      "which the machine's other work disturbs less.\n\n",
      entries, size, options.plan_runs);
  std::printf(
      "| Payloads | Resources | read | plan | conflicts | words | window table | (plan + "
      "conflicts) / read | the same, processor time | show's whole work / read | µs per "
      "resource |\n"
      "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
  for (const Measured& m : measured) {
    const Timing& t = m.timing;
    std::vector<double> ratio, cpu_ratio, whole, per_resource;
    for (size_t i = 0; i < t.wall[kRead].size(); ++i) {
      const double planned = t.wall[kPlan][i] + t.wall[kConflicts][i];
      ratio.push_back(planned / t.wall[kRead][i]);
      cpu_ratio.push_back((t.cpu[kPlan][i] + t.cpu[kConflicts][i]) / t.cpu[kRead][i]);
      whole.push_back((planned + t.wall[kWords][i]) / t.wall[kRead][i]);
      per_resource.push_back(planned / m.count * 1e6);
    }
    std::printf("| %s | %d | %.2f | %.2f | %.2f | %.2f | %.2f | %.2f | %.2f | %.2f | %.2f |\n",
                m.plan_case->name, m.count, Median(t.wall[kRead]) * 1e3,
                Median(t.wall[kPlan]) * 1e3, Median(t.wall[kConflicts]) * 1e3,
                Median(t.wall[kWords]) * 1e3, Median(t.wall[kTable]) * 1e3, Median(ratio),
                Median(cpu_ratio), Median(whole), Median(per_resource));
  }
  std::printf("\n");
  std::fflush(stdout);
  std::filesystem::remove_all(folder, ignored);
  return true;
}

}  // namespace tarnwick::bench
