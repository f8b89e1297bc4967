// Removing the oldest of ten mods against doing its steps by hand: the plan adds a drift check,
// the hashing of the kept packages and a ledger save per step to the removals and installs it
// replays.

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "fixtures/recording_messages.h"
#include "harness.h"
#include "ledger/ledger.h"
#include "manage/install_package.h"
#include "manage/remove_any.h"
#include "scenarios.h"
#include "writers/game_folder.h"

namespace tarnwick::bench {
namespace {

bool Failed(const std::string& what) {
  std::fprintf(stderr, "remove any: %s\n", what.c_str());
  return false;
}

// The stack: `mods` packages of `resources` resources each, installed oldest first.
bool BuildStack(const std::string& root, const SmallArchive& archive,
                const std::vector<std::string>& packages, BenchGame& game) {
  std::error_code ignored;
  std::filesystem::remove_all(root, ignored);
  if (MakeBenchGame(root, archive.bytes, &game)) return Failed("cannot build the game");
  fixtures::RecordingMessages messages;
  for (const std::string& package : packages) {
    PackageHeader header;
    if (ReadPackage(package, header) != PackageRead::kValid) return Failed("a package is refused");
    if (InstallPackage(package, header, game.log, game.files, false, messages, nullptr)) {
      return Failed("an install failed");
    }
  }
  return true;
}

}  // namespace

bool RunRemoveAny(const Options& options) {
  const int mods = 10;
  const int resources = 100;
  const std::string folder = options.scratch + "/remove-any/";
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  const SmallArchive archive = BuildSmallArchive(4 * resources, options.small_resource_size);
  std::vector<std::string> packages;
  for (int i = 0; i < mods; ++i) {
    // Each mod its own ids, so that every one keeps its own package.
    std::vector<int32_t> ids(archive.ids.begin() + i * resources / 4,
                             archive.ids.begin() + i * resources / 4 + resources);
    packages.push_back(folder + "mod" + std::to_string(i) + ".mpi");
    if (fixtures::WriteHostFile(packages.back(),
                                BuildSmallPackage(ids, resources, options.small_resource_size))) {
      return Failed("cannot write a package");
    }
  }

  std::vector<double> planned, by_hand, ratios;
  for (int run = 0; run < 3; ++run) {
    fixtures::RecordingMessages messages;
    BenchGame game;
    if (!BuildStack(folder + "game/", archive, packages, game)) return false;
    ::sync();
    Clock::time_point start = Clock::now();
    Ledger ledger;
    (void)LoadLedger(LedgerPathsFor(game.log.LogPath), ledger);
    const RemovalPlan plan = PlanRemoval(game.log, game.files, false, ledger, 1);
    if (!plan.Ok()) return Failed(Describe(plan.failed.front()));
    if (ApplyRemoval(plan, game.log, game.files, false, messages, nullptr) !=
            RemovalOutcome::kDone ||
        game.log.ModCount() != mods - 1) {
      return Failed("the planned removal did not finish");
    }
    planned.push_back(SecondsSince(start));

    // The same steps one by one: every mod off, then all but the oldest back on.
    if (!BuildStack(folder + "game/", archive, packages, game)) return false;
    double sum = 0;
    for (int i = 0; i < mods; ++i) {
      ::sync();
      start = Clock::now();
      RemoveLatest(game.log, game.files, messages);
      sum += SecondsSince(start);
    }
    for (int i = 1; i < mods; ++i) {
      PackageHeader header;
      if (ReadPackage(packages[static_cast<size_t>(i)], header) != PackageRead::kValid) {
        return Failed("a package is refused");
      }
      ::sync();
      start = Clock::now();
      if (InstallPackage(packages[static_cast<size_t>(i)], header, game.log, game.files, false,
                         messages, nullptr)) {
        return Failed("an install failed");
      }
      sum += SecondsSince(start);
    }
    if (!messages.boxes.empty()) return Failed(messages.boxes.front().text);
    by_hand.push_back(sum);
    ratios.push_back(planned.back() / sum);
  }
  std::printf("## Removing the oldest of %d mods of %d resources each\n\n", mods, resources);
  std::printf(
      "| planned removal ms | its steps by hand ms | ratio (median of runs) |\n"
      "|---:|---:|---:|\n");
  std::printf("| %.1f | %.1f | %.2f |\n\n", Median(planned) * 1000.0, Median(by_hand) * 1000.0,
              Median(ratios));
  std::fflush(stdout);
  std::filesystem::remove_all(folder, ignored);
  return true;
}

}  // namespace tarnwick::bench
