// Removing any mod of a stack leaves the game exactly as installing the others, in their order,
// on the untouched game would; and nothing is written while a precondition fails.

#include "manage/remove_any.h"

#include <gtest/gtest.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <set>
#include <sstream>

#include "fixtures/files.h"
#include "manage/install_package.h"
#include "mod_stack.h"

namespace tarnwick {
namespace {

std::string Describe(const std::vector<int>& stack, int target, bool cc) {
  std::ostringstream text;
  text << "stack";
  for (int which : stack) text << ' ' << which;
  text << ", removing number " << target << (cc ? ", Clone Campaigns" : ", base game");
  return text.str();
}

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
  int stacks = 0;
  int pointed_at = 0;  // stacks whose packages to put back came from files pointed at
  for (int round = 0; round < 18; ++round) {
    fixtures::TempDir root;
    const bool cc = round % 3 != 2;
    ModStack game(root.path(), cc);
    const int count = std::uniform_int_distribution<int>(2, 5)(random);
    std::vector<int> stack;
    for (int i = 0; i < count; ++i) {
      const int pick = std::uniform_int_distribution<int>(0, 3)(random);
      stack.push_back(cc ? pick : base_game_mods[pick % base_game_mods.size()]);
    }
    const int target = std::uniform_int_distribution<int>(1, count)(random);
    const std::string what = Describe(stack, target, cc);

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
    ASSERT_TRUE(plan.Ok()) << what << ": " << tarnwick::Describe(plan.failed.front());
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
    ++stacks;
  }
  RecordProperty("stacks", stacks);
  RecordProperty("stacks_with_files_pointed_at", pointed_at);
}

TEST(RemoveAnyTest, TheNewestModComesOffAsRemoveLatestTakesItOff) {
  fixtures::TempDir root;
  ModStack game(root.path());
  for (int which : {2, 0, 3}) ASSERT_TRUE(game.Install(which));
  const Snapshot installed = ReadFolder(game.folder());
  const RemovalPlan plan = game.Plan(3);
  ASSERT_EQ(plan.steps.size(), 1u);
  EXPECT_EQ(plan.steps[0].kind, RemovalStepKind::kRemove);
  ASSERT_EQ(game.Apply(plan), RemovalOutcome::kDone);
  const Snapshot planned = game.GameBytes();
  const std::set<std::string> planned_store = [&] {
    std::set<std::string> names;
    for (const auto& [name, bytes] : ReadFolder(game.folder())) {
      if (name.starts_with("tarnwick/packages/")) names.insert(name);
    }
    return names;
  }();

  LayOut(game.folder(), installed);
  ModLog log = game.ReadLog();
  RemoveLatest(log, game.files(), game.messages);
  ExpectSameBytes(planned, game.GameBytes(), "the newest of three");
  for (const std::string& name : planned_store) {
    EXPECT_TRUE(fixtures::Exists(game.folder() + "/" + name)) << name;
  }
}

TEST(RemoveAnyTest, ThePlanSaysWhatComesOffAndGoesBackInOrder) {
  fixtures::TempDir root;
  ModStack game(root.path());
  for (int which : {0, 1, 2, 3}) ASSERT_TRUE(game.Install(which));
  const RemovalPlan plan = game.Plan(2);
  ASSERT_TRUE(plan.Ok());
  const std::vector<std::string> lines = tarnwick::Describe(plan);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0],
            "Takes off Civilization Icons and New Names, removes Expansion Sounds, puts back New "
            "Names then Civilization Icons.");
  EXPECT_TRUE(lines[1].starts_with("Writes ")) << lines[1];
  // The put-backs write their payloads again; their replacements keep a backup each.
  const std::vector<std::string> packages = StackPackages();
  EXPECT_GT(plan.bytes_to_write, 2000 + 600 + 900 + 700 + 1500);
  EXPECT_LT(plan.bytes_to_write, static_cast<int64_t>(packages[2].size() + packages[3].size()));
  EXPECT_GT(plan.disk_needed, plan.bytes_to_write + static_cast<int64_t>(packages[2].size()));
  EXPECT_EQ(Question(plan).substr(0, lines[0].size()), lines[0]);

  const RemovalPlan latest = game.Plan(4);
  EXPECT_EQ(tarnwick::Describe(latest)[0], "Removes Civilization Icons, the latest mod.");
  const RemovalPlan none = game.Plan(5);
  EXPECT_EQ(tarnwick::Describe(none), std::vector<std::string>{"There is no mod number 5."});
}

// One row per precondition: each refuses before anything is written, and says which.
TEST(RemoveAnyTest, AFailedPreconditionWritesNothingAndSaysWhich) {
  struct Row {
    const char* what;
    void (*spoil)(ModStack&);
    RemovalRefusal refusal;
  };
  const Row rows[] = {
      {"an archive cut short by a file check",
       [](ModStack& game) {
         std::filesystem::resize_file(
             game.folder() + "/graphics.drs",
             fixtures::ReadAll(game.folder() + "/graphics.drs").size() - 1);
       },
       RemovalRefusal::kDrifted},
      {"a package to put back deleted",
       [](ModStack& game) { std::filesystem::remove(game.KeptPackage(3)); },
       RemovalRefusal::kPackageMissing},
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
  };
  for (const Row& row : rows) {
    fixtures::TempDir root;
    ModStack game(root.path());
    for (int which : {1, 2, 3}) ASSERT_TRUE(game.Install(which));
    row.spoil(game);
    const Snapshot before = ReadFolder(game.folder());
    const RemovalPlan plan = game.Plan(1);
    ASSERT_FALSE(plan.Ok()) << row.what;
    // Editing the log by hand is also drift: the log is not the one Tarnwick left.
    EXPECT_NE(std::find_if(
                  plan.failed.begin(), plan.failed.end(),
                  [&](const FailedPrecondition& failed) { return failed.refusal == row.refusal; }),
              plan.failed.end())
        << row.what;
    EXPECT_EQ(game.Apply(plan), RemovalOutcome::kRefused) << row.what;
    EXPECT_TRUE(ReadFolder(game.folder()) == before) << row.what;
    const std::vector<std::string> lines = tarnwick::Describe(plan);
    EXPECT_NE(std::find(lines.begin(), lines.end(), tarnwick::Describe(plan.failed.front())),
              lines.end())
        << row.what;
  }
}

// A file pointed at for a mod whose package is not kept is taken only when it is that mod's
// package; anything else is refused, naming the mod and the file, and nothing is written.
TEST(RemoveAnyTest, OnlyTheModsOwnPackageFileIsTaken) {
  const std::string icons = StackPackages()[3];
  const auto changed = [&icons](const std::string& payload) {
    std::string bytes = icons;
    bytes[bytes.find(payload) + payload.size() / 2] ^= 1;
    return bytes;
  };
  fixtures::MpiPackage without_icon;
  without_icon.title = "Civilization Icons";
  without_icon.rows = {Row(3, 0, 50001, Pattern(700, 40)), Row(5, 6, 0, Pattern(1500, 41))};
  struct Offer {
    const char* what;
    std::string bytes;
    int32_t position;
    RemovalRefusal refusal;
  };
  const Offer offers[] = {
      {"another mod's package", StackPackages()[0], 3, RemovalRefusal::kNotThePackage},
      {"its title over other rows", fixtures::BuildMpi(without_icon), 3,
       RemovalRefusal::kNotThePackage},
      // Same change records: only the bytes the mod left in the game tell these apart.
      {"one appended resource changed", changed(Pattern(700, 40)), 3,
       RemovalRefusal::kNotThePackage},
      {"the replacing file changed", changed(Pattern(1500, 41)), 3, RemovalRefusal::kNotThePackage},
      {"cut short in its payloads", icons.substr(0, icons.size() - 100), 3,
       RemovalRefusal::kNotThePackage},
      {"cut short in its header", icons.substr(0, 20), 3, RemovalRefusal::kNotThePackage},
      {"for a mod whose package is kept", StackPackages()[2], 2, RemovalRefusal::kPackageNotAsked},
  };
  fixtures::TempDir root;
  ModStack game(root.path());
  for (int which : {1, 2, 3}) ASSERT_TRUE(game.Install(which));
  std::filesystem::remove(game.KeptPackage(3));
  const Snapshot before = ReadFolder(game.folder());
  const std::string file = root / "chosen.mpi";
  for (const Offer& row : offers) {
    fixtures::WriteAll(file, row.bytes);
    const RemovalPlan plan = game.Plan(1, {{row.position, file, {}}});
    const FailedPrecondition expected{
        row.refusal, row.position == 3 ? "Civilization Icons" : "New Names", row.position, file};
    EXPECT_NE(std::find(plan.failed.begin(), plan.failed.end(), expected), plan.failed.end())
        << row.what;
    EXPECT_TRUE(plan.supplied.empty()) << row.what;
    EXPECT_EQ(game.Apply(plan), RemovalOutcome::kRefused) << row.what;
    EXPECT_TRUE(ReadFolder(game.folder()) == before) << row.what;
  }
  EXPECT_EQ(tarnwick::Describe(FailedPrecondition{RemovalRefusal::kNotThePackage,
                                                  "Civilization Icons", 3, "C:\\Mods\\x.mpi"}),
            "C:\\Mods\\x.mpi is not the package of Civilization Icons: installing it would not "
            "make the changes the log holds for that mod.");

  // Taken, then changed before the answer: refused then, the game untouched.
  fixtures::WriteAll(file, icons);
  const RemovalPlan taken = game.Plan(1, {{3, file, {}}});
  ASSERT_TRUE(taken.Ok()) << tarnwick::Describe(taken.failed.front());
  fixtures::WriteAll(file, changed(Pattern(700, 40)));
  const Snapshot game_before = game.GameBytes();
  EXPECT_EQ(game.Apply(taken), RemovalOutcome::kRefused);
  EXPECT_TRUE(game.GameBytes() == game_before);

  // The mod's own file is taken, kept and recorded as the package of the mod put back.
  fixtures::WriteAll(file, icons);
  const RemovalPlan plan = game.Plan(1, {{3, file, {}}});
  ASSERT_TRUE(plan.Ok()) << tarnwick::Describe(plan.failed.front());
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

// The plan holds only for the log it was made with: a mod installed between the question and
// the answer makes it refuse.
TEST(RemoveAnyTest, APlanMadeBeforeTheLogChangedIsRefused) {
  fixtures::TempDir root;
  ModStack game(root.path());
  for (int which : {0, 1}) ASSERT_TRUE(game.Install(which));
  const RemovalPlan plan = game.Plan(1);
  ASSERT_TRUE(game.Install(2));
  const Snapshot before = ReadFolder(game.folder());
  EXPECT_EQ(game.Apply(plan), RemovalOutcome::kRefused);
  EXPECT_EQ(ReadFolder(game.folder()), before);
}

// A plan recorded in the ledger that the log no longer fits (another installer removed mods)
// is dropped on resume, and the stack left as it is.
TEST(RemoveAnyTest, ResumingAPlanTheLogNoLongerFitsLeavesTheStack) {
  fixtures::TempDir root;
  ModStack game(root.path());
  for (int which : {0, 1, 2}) ASSERT_TRUE(game.Install(which));
  const RemovalPlan plan = game.Plan(1);
  Ledger ledger = game.ReadLedger();
  ledger.plan = PlanText(plan, 0);
  ASSERT_FALSE(SaveLedger(LedgerPathsFor(game.folder() + "/mods.log"), ledger));
  // Another installer took the two newest off.
  ModLog log = game.ReadLog();
  RemoveLatest(log, game.files(), game.messages);
  RemoveLatest(log, game.files(), game.messages);
  PendingRemoval pending;
  ASSERT_TRUE(FindPendingRemoval(game.folder() + "/mods.log", pending));
  const Snapshot before = game.GameBytes();
  log = game.ReadLog();
  // Two mods gone where the plan's next step takes off one: not a state the plan can reach.
  EXPECT_EQ(ResumeRemoval(log, game.files(), true, game.messages, nullptr),
            RemovalOutcome::kPlanStale);
  EXPECT_EQ(game.GameBytes(), before);
  EXPECT_FALSE(FindPendingRemoval(game.folder() + "/mods.log", pending));
}

TEST(RemoveAnyTest, PlanTextReadsBackAndRefusesWhatItDidNotWrite) {
  fixtures::TempDir root;
  ModStack game(root.path());
  for (int which : {3, 1, 0}) ASSERT_TRUE(game.Install(which));
  RemovalPlan plan = game.Plan(1);
  plan.failed.clear();
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
                           R"("changes":"a"}],"done":0})"}) {
    EXPECT_FALSE(ParsePlan(text, read, done)) << text;
  }
  // A recorded plan that does not read is dropped when found: nothing could finish it.
  Ledger ledger = game.ReadLedger();
  ledger.plan = R"({"operation":"remove","target":1})";
  ASSERT_FALSE(SaveLedger(LedgerPathsFor(game.folder() + "/mods.log"), ledger));
  PendingRemoval pending;
  EXPECT_FALSE(FindPendingRemoval(game.folder() + "/mods.log", pending));
  EXPECT_FALSE(game.ReadLedger().plan.has_value());
  EXPECT_EQ(game.ReadLedger().records, ledger.records);
}

}  // namespace
}  // namespace tarnwick
