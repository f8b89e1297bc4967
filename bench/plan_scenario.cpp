// What `tarnwick show` computes for a large package, against reading the package's header and
// table: the plan (PlanInstall), whom each change meets (FindConflicts) and the table every face
// shows, on a game where one installed mod provides every entry the package redirects.

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

struct Timing {
  std::vector<double> read, plan, conflicts, table;
};

// One pass: reads the package and plans it as `show` does; false when the result is not what the
// case must give.
bool TimeOnce(const std::string& path, const BenchGame& game, int count, const PlanCase& c,
              Timing& timing) {
  PackageHeader header;
  Clock::time_point start = Clock::now();
  if (ReadPackage(path, header) != PackageRead::kValid) return Failed("a package is refused");
  timing.read.push_back(SecondsSince(start));

  start = Clock::now();
  const InstallPlan plan = PlanInstall(path, header, game.log, game.files, false);
  timing.plan.push_back(SecondsSince(start));

  start = Clock::now();
  std::error_code error;
  const std::vector<Conflict> conflicts =
      FindConflicts(path, header, plan, game.log, game.files, &error);
  timing.conflicts.push_back(SecondsSince(start));

  start = Clock::now();
  const ChangeTable table = PackageChangeTable(header, plan, conflicts, game.log, false);
  timing.table.push_back(SecondsSince(start));

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
  if (table.conflicts != expected_conflicts || static_cast<int>(table.rows.size()) != count) {
    return Failed("the table does not count the conflicts");
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
      "`resources` of them (%d-byte entries). Read: ReadPackage. Plan: PlanInstall. Conflicts: "
      "FindConflicts. Table: the shared table built from both. Median of %d runs, ms; "
      "ratios are medians of the per-run ratios.\n\n",
      entries, size, options.plan_runs);
  std::printf(
      "| Payloads | Resources | read | plan | conflicts | table | (plan + conflicts) / read | "
      "(plan + conflicts + table) / read | per resource, µs |\n"
      "|---|---:|---:|---:|---:|---:|---:|---:|---:|\n");
  for (const Measured& m : measured) {
    const Timing& t = m.timing;
    std::vector<double> ratio, with_table, per_resource;
    for (size_t i = 0; i < t.read.size(); ++i) {
      ratio.push_back((t.plan[i] + t.conflicts[i]) / t.read[i]);
      with_table.push_back((t.plan[i] + t.conflicts[i] + t.table[i]) / t.read[i]);
      per_resource.push_back((t.plan[i] + t.conflicts[i] + t.table[i]) / m.count * 1e6);
    }
    std::printf("| %s | %d | %.2f | %.2f | %.2f | %.2f | %.2f | %.2f | %.2f |\n", m.plan_case->name,
                m.count, Median(t.read) * 1e3, Median(t.plan) * 1e3, Median(t.conflicts) * 1e3,
                Median(t.table) * 1e3, Median(ratio), Median(with_table), Median(per_resource));
  }
  std::printf("\n");
  std::fflush(stdout);
  std::filesystem::remove_all(folder, ignored);
  return true;
}

}  // namespace tarnwick::bench
