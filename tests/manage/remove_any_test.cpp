// Removing any mod of a stack leaves the game exactly as installing the others, in their order,
// on the untouched game would; and nothing is written while a precondition fails.

#include "manage/remove_any.h"

#include <gtest/gtest.h>
#include <sys/mount.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <set>

#include "fixtures/files.h"
#include "manage/install_package.h"
#include "mod_stack.h"

namespace tarnwick {
namespace {

void ExpectSameBytes(const Snapshot& actual, const Snapshot& expected, const std::string& what) {
  ASSERT_EQ(actual.size(), expected.size()) << what;
  for (const auto& [name, bytes] : expected) {
    ASSERT_EQ(actual.count(name), 1u) << name << " missing, " << what;
    EXPECT_TRUE(actual.at(name) == bytes) << name << " differs, " << what;
  }
}

TEST(RemoveAnyTest, LeavesTheBytesOfAFreshInstallOfTheOthersInTheirOrder) {
  // Without Clone Campaigns, the mods that need it are refused before they start.
  std::vector<int> base_game_mods;
  {
    fixtures::TempDir root;
    ModStack game(root.path(), false);
    for (int which = 0; which < 4; ++which, game.Reset()) {
      if (game.Install(which)) base_game_mods.push_back(which);
    }
  }
  ASSERT_GE(base_game_mods.size(), 2u);
  std::mt19937 random(20261206);
  int pointed_at = 0;  // stacks whose packages to put back came from files pointed at
  for (int round = 0; round < 18; ++round) {
    fixtures::TempDir root;
    const bool cc = round % 3 != 2;
    ModStack game(root.path(), cc);
    const int count = std::uniform_int_distribution<int>(2, 5)(random);
    std::vector<int> stack;
    std::string what = cc ? "Clone Campaigns, stack" : "base game, stack";
    for (int i = 0; i < count; ++i) {
      const int pick = std::uniform_int_distribution<int>(0, 3)(random);
      stack.push_back(cc ? pick : base_game_mods[pick % base_game_mods.size()]);
      what += " " + std::to_string(stack.back());
    }
    // Every fourth removes the newest: one step, as Remove latest takes it off.
    const int target =
        round % 4 == 0 ? count : std::uniform_int_distribution<int>(1, count)(random);
    what += ", removing number " + std::to_string(target);

    for (int which : stack) {
      ASSERT_TRUE(game.Install(which))
          << what << ": " << (game.messages.boxes.empty() ? "" : game.messages.boxes[0].text);
    }
    RemovalPlan plan = game.Plan(target);
    // Every other stack has lost the kept packages of the mods to put back: the player points at
    // their package files, each checked against the game as it stood before that mod.
    if (round % 2 == 1 && target < count) {
      for (int32_t position = target + 1; position <= count; ++position) {
        std::filesystem::remove(game.KeptPackage(position));
      }
      std::vector<SuppliedPackage> supplied;
      for (const FailedPrecondition& missing : MissingPackages(game.Plan(target))) {
        supplied.push_back({missing.position, game.Package(stack[missing.position - 1]), {}});
      }
      ASSERT_EQ(supplied.size(), static_cast<size_t>(count - target)) << what;
      plan = game.Plan(target, supplied);
      EXPECT_EQ(plan.supplied.size(), supplied.size()) << what;
      ++pointed_at;
    }
    ASSERT_TRUE(plan.Ok()) << what << ": " << Describe(plan.failed.front());
    ASSERT_EQ(plan.steps.size(), static_cast<size_t>(2 * (count - target) + 1)) << what;
    ASSERT_EQ(game.Apply(plan), RemovalOutcome::kDone) << what;
    EXPECT_TRUE(game.messages.boxes.empty()) << what;
    const Snapshot removed = game.GameBytes();
    // The plan is gone and every mod left has its record and its package.
    const Ledger ledger = game.ReadLedger();
    EXPECT_FALSE(ledger.plan.has_value()) << what;
    const ModLog log = game.ReadLog();
    ASSERT_EQ(log.ModCount(), count - 1) << what;
    for (const LedgerRecord* record : MatchRecords(log, ledger)) {
      ASSERT_NE(record, nullptr) << what;
    }
    std::set<std::string> used;
    for (const LedgerRecord& record : ledger.records) used.insert(record.package + ".mpi");
    for (const auto& entry :
         std::filesystem::directory_iterator(game.folder() + "/tarnwick/packages")) {
      EXPECT_EQ(used.count(entry.path().filename().string()), 1u) << what;
    }

    game.Reset();
    stack.erase(stack.begin() + (target - 1));
    for (int which : stack) ASSERT_TRUE(game.Install(which)) << what;
    ExpectSameBytes(removed, game.GameBytes(), what);
  }
  RecordProperty("stacks_with_files_pointed_at", pointed_at);
}

// Expansion Sounds, New Names and Civilization Icons, the oldest to remove: what the plan needs
// (its words: the command line's and the window's tests), then one row per refusal, each on the
// three mods as installed. Every refusal writes nothing and the plan's lines say why; a file
// pointed at for Civilization Icons, whose package is not kept, is taken only when it is its own.
TEST(RemoveAnyTest, ThePlanSaysWhatItDoesAndEachRefusalWritesNothing) {
  fixtures::TempDir root;
  ModStack game(root.path());
  for (int which : {1, 2, 3}) ASSERT_TRUE(game.Install(which));
  const Snapshot installed = ReadFolder(game.folder());
  const std::vector<std::string> packages = StackPackages();

  // The put-backs write their payloads again; their replacements keep a backup each.
  const RemovalPlan oldest = game.Plan(1);
  ASSERT_TRUE(oldest.Ok());
  EXPECT_GT(oldest.bytes_to_write, 2000 + 600 + 900 + 700 + 1500);
  EXPECT_LT(oldest.bytes_to_write, static_cast<int64_t>(packages[2].size() + packages[3].size()));
  EXPECT_GT(oldest.disk_needed, oldest.bytes_to_write + static_cast<int64_t>(packages[2].size()));
  EXPECT_EQ(Describe(game.Plan(3))[0], "Removes Civilization Icons, the latest mod.");
  EXPECT_EQ(Describe(game.Plan(4)), std::vector<std::string>{"There is no mod number 4."});

  const std::string& icons = packages[3];
  const auto changed = [&icons](const std::string& payload) {
    std::string bytes = icons;
    bytes[bytes.find(payload) + payload.size() / 2] ^= 1;
    return bytes;
  };
  fixtures::MpiPackage without_icon;
  without_icon.title = "Civilization Icons";
  without_icon.rows = {Row(3, 0, 50001, Pattern(700, 40)), Row(5, 6, 0, Pattern(1500, 41))};
  struct Refusal {
    const char* what;
    void (*spoil)(ModStack&);
    RemovalRefusal refusal;
    std::string offer = {};  // the file pointed at, if any: for Civilization Icons unless
    int32_t position = 3;    // another position is given
  };
  const auto drop_icons = [](ModStack& game) { std::filesystem::remove(game.KeptPackage(3)); };
  const Refusal refusals[] = {
      {"an archive cut short by a file check",
       [](ModStack& game) {
         std::filesystem::resize_file(
             game.folder() + "/graphics.drs",
             fixtures::ReadAll(game.folder() + "/graphics.drs").size() - 1);
       },
       RemovalRefusal::kDrifted},
      {"a package to put back deleted", drop_icons, RemovalRefusal::kPackageMissing},
      {"a package to put back altered",
       [](ModStack& game) {
         std::string bytes = fixtures::ReadAll(game.KeptPackage(3));
         bytes[bytes.size() / 2] ^= 1;
         fixtures::WriteAll(game.KeptPackage(3), bytes);
       },
       RemovalRefusal::kPackageAltered},
      {"no records at all",
       [](ModStack& game) { std::filesystem::remove(game.folder() + "/tarnwick/ledger.json"); },
       RemovalRefusal::kPackageMissing},
      {"the newest install stopped part way",
       [](ModStack& game) {
         ModLog log = game.ReadLog();
         log.Mods[3].Name += " (incomplete)";
         ASSERT_FALSE(SaveModLog(log, game.messages));
       },
       RemovalRefusal::kIncomplete},
      {"another mod's package", drop_icons, RemovalRefusal::kNotThePackage, packages[0]},
      {"its title over other rows", drop_icons, RemovalRefusal::kNotThePackage,
       fixtures::BuildMpi(without_icon)},
      // Same change records: only the bytes the mod left in the game tell these apart.
      {"one appended resource changed", drop_icons, RemovalRefusal::kNotThePackage,
       changed(Pattern(700, 40))},
      {"the replacing file changed", drop_icons, RemovalRefusal::kNotThePackage,
       changed(Pattern(1500, 41))},
      {"cut short in its payloads", drop_icons, RemovalRefusal::kNotThePackage,
       icons.substr(0, icons.size() - 100)},
      {"cut short in its header", drop_icons, RemovalRefusal::kNotThePackage, icons.substr(0, 20)},
      {"for a mod whose package is kept", drop_icons, RemovalRefusal::kPackageNotAsked, packages[2],
       2},
  };
  const std::string file = root / "chosen.mpi";
  for (const Refusal& row : refusals) {
    SCOPED_TRACE(row.what);
    LayOut(game.folder(), installed);
    row.spoil(game);
    std::vector<SuppliedPackage> supplied;
    if (!row.offer.empty()) {
      fixtures::WriteAll(file, row.offer);
      supplied.push_back({row.position, file, {}});
    }
    const Snapshot before = ReadFolder(game.folder());
    const RemovalPlan plan = game.Plan(1, supplied);
    // An offer is refused naming the mod and the file.
    const FailedPrecondition offered{
        row.refusal, row.position == 3 ? "Civilization Icons" : "New Names", row.position, file};
    EXPECT_TRUE(
        std::any_of(plan.failed.begin(), plan.failed.end(), [&](const FailedPrecondition& failed) {
          return row.offer.empty() ? failed.refusal == row.refusal : failed == offered;
        }));
    EXPECT_TRUE(plan.supplied.empty());
    EXPECT_EQ(game.Apply(plan), RemovalOutcome::kRefused);
    EXPECT_TRUE(ReadFolder(game.folder()) == before);
    const std::vector<std::string> said = Describe(plan);
    EXPECT_NE(std::find(said.begin(), said.end(), Describe(plan.failed.front())), said.end());
    // Sums that leave out a package's bytes are not shown.
    const bool sums_shown = std::any_of(said.begin(), said.end(), [](const std::string& line) {
      return line.rfind("Writes ", 0) == 0;
    });
    const bool package_refused = row.refusal == RemovalRefusal::kPackageMissing ||
                                 row.refusal == RemovalRefusal::kPackageAltered ||
                                 row.refusal == RemovalRefusal::kNotThePackage;
    EXPECT_TRUE(!sums_shown || !package_refused);
  }

  // A plan holds only for what it was made with: a mod installed meanwhile, or the file it took
  // changed before the answer, and it is refused with the game untouched.
  LayOut(game.folder(), installed);
  const RemovalPlan stale = game.Plan(1);
  ASSERT_TRUE(game.Install(0));
  Snapshot before = ReadFolder(game.folder());
  EXPECT_EQ(game.Apply(stale), RemovalOutcome::kRefused);
  EXPECT_TRUE(ReadFolder(game.folder()) == before);
  LayOut(game.folder(), installed);
  drop_icons(game);
  fixtures::WriteAll(file, icons);
  const RemovalPlan taken = game.Plan(1, {{3, file, {}}});
  ASSERT_TRUE(taken.Ok()) << Describe(taken.failed.front());
  fixtures::WriteAll(file, changed(Pattern(700, 40)));
  before = game.GameBytes();
  EXPECT_EQ(game.Apply(taken), RemovalOutcome::kRefused);
  EXPECT_TRUE(game.GameBytes() == before);

  // The mod's own file is taken, kept and recorded as the package of the mod put back.
  fixtures::WriteAll(file, icons);
  const RemovalPlan plan = game.Plan(1, {{3, file, {}}});
  ASSERT_TRUE(plan.Ok()) << Describe(plan.failed.front());
  ASSERT_EQ(game.Apply(plan), RemovalOutcome::kDone);
  EXPECT_EQ(fixtures::ReadAll(game.KeptPackage(2)), icons);
}

TEST(RemoveAnyTest, NotEnoughDiskSpaceWritesNothing) {
  fixtures::TempDir root;
  const std::string small = root / "small";
  fixtures::MakeFolders(small);
  if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=2m") != 0) {
    GTEST_SKIP() << "a small disk cannot be mounted here (needs root): " << std::strerror(errno);
  }
  {
    ModStack game(small);
    for (int which : {0, 2, 3}) ASSERT_TRUE(game.Install(which));
    // Fill the disk up to a little less than the plan needs.
    const RemovalPlan fits = game.Plan(1);
    ASSERT_TRUE(fits.Ok());
    const int64_t filler = fits.disk_free - fits.disk_needed + 4096;
    fixtures::WriteAll(small + "/filler", std::string(static_cast<size_t>(filler), 'x'));
    const Snapshot before = ReadFolder(game.folder());
    const RemovalPlan plan = game.Plan(1);
    ASSERT_EQ(plan.failed.size(), 1u);
    EXPECT_EQ(plan.failed[0].refusal, RemovalRefusal::kDiskSpace);
    EXPECT_EQ(game.Apply(plan), RemovalOutcome::kRefused);
    EXPECT_EQ(ReadFolder(game.folder()), before);
  }
  ::umount(small.c_str());
}

// A plan recorded in the ledger that cannot be finished is dropped when found, and the stack left
// as it is: one that does not read, and one the log no longer fits (another installer removed
// mods).
TEST(RemoveAnyTest, ARecordedPlanThatCannotBeFinishedIsDropped) {
  fixtures::TempDir root;
  ModStack game(root.path());
  for (int which : {0, 1, 2}) ASSERT_TRUE(game.Install(which));
  const RemovalPlan plan = game.Plan(1);
  RemovalPlan read;
  int32_t done = -1;
  ASSERT_TRUE(ParsePlan(PlanText(plan, 2), read, done));
  EXPECT_EQ(done, 2);
  EXPECT_EQ(read.steps, plan.steps);
  EXPECT_EQ(read.stack, plan.stack);
  EXPECT_EQ(read.target, 1);
  for (const char* text : {"{}", "[]", "not json", R"({"operation":"install"})",
                           R"({"operation":"remove","target":1,"title":"x","stack":[],)"
                           R"("steps":[],"done":0})",
                           R"({"operation":"remove","target":"1","title":"x","stack":["a"],)"
                           R"("steps":[{"step":"remove","position":1,"title":"x",)"
                           R"("changes":"a"}],"done":0})",
                           // numbers their fields cannot hold as they stand
                           R"({"operation":"remove","target":4294967297,"title":"x",)"
                           R"("stack":["a"],"steps":[{"step":"remove","position":1,"title":"x",)"
                           R"("changes":"a"}],"done":0})",
                           R"({"operation":"remove","target":1,"title":"x","stack":["a"],)"
                           R"("steps":[{"step":"remove","position":1,"title":"x",)"
                           R"("changes":"a"}],"done":0.5})"}) {
    EXPECT_FALSE(ParsePlan(text, read, done)) << text;
  }

  const std::string log_path = game.folder() + "/mods.log";
  Ledger ledger = game.ReadLedger();
  PendingRemoval pending;
  ledger.plan = R"({"operation":"remove","target":1})";
  ASSERT_FALSE(SaveLedger(LedgerPathsFor(log_path), ledger));
  EXPECT_FALSE(FindPendingRemoval(log_path, pending));
  EXPECT_FALSE(game.ReadLedger().plan.has_value());
  EXPECT_EQ(game.ReadLedger().records, ledger.records);

  ledger.plan = PlanText(plan, 0);
  ASSERT_FALSE(SaveLedger(LedgerPathsFor(log_path), ledger));
  ModLog log = game.ReadLog();
  RemoveLatest(log, game.files(), game.messages);
  RemoveLatest(log, game.files(), game.messages);
  ASSERT_TRUE(FindPendingRemoval(log_path, pending));
  const Snapshot before = game.GameBytes();
  log = game.ReadLog();
  // Two mods gone where the plan's next step takes off one: not a state the plan can reach.
  EXPECT_EQ(ResumeRemoval(log, game.files(), true, game.messages, nullptr),
            RemovalOutcome::kPlanStale);
  EXPECT_EQ(game.GameBytes(), before);
  EXPECT_FALSE(FindPendingRemoval(log_path, pending));
}

}  // namespace
}  // namespace tarnwick
