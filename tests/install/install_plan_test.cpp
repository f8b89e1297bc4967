// The plan is the truth: what PlanInstall says before anything is written is what the log
// records after a real install, change for change, and where it says a row is refused the
// install stops there with that row's message. And batching changes how often the log is saved,
// never what the install leaves behind.

#include "install/install_plan.h"

#include <random>
#include <string>
#include <vector>

#include "install/archive_planner.h"
#include "install/install_setup.h"
#include "writers/game_folder.h"
#include "writers/sandbox.h"
#include "writers/slp.h"

namespace tarnwick {
namespace {

using fixtures::MpiRow;

constexpr char kInvalidPackage[] =
    "Specified MPI file is invalid or corrupted! Installation incomplete. Make sure you have the "
    "latest version of the mod installer.";

// The earlier program's order: one save per resource, copies through the buffer, no data sync.
constexpr InstallTuning kOnePerSave{1, int64_t{1} << 40, false, false};
// Small batches, so that a package of a few dozen rows spans several.
constexpr InstallTuning kSmallBatches{3, 9000, true, true};

struct Outcome {
  bool failed = false;
  Texts errors;
  std::string log_text;
  std::vector<std::string> game;  // every game file's bytes, by index
  bool operator==(const Outcome&) const = default;
};

class PlanTest : public InstallTest {
 protected:
  void LayOutGame() {
    for (int index = 0; index < kGameFileCount; ++index) {
      if (IsGameFileIndex(index)) fixtures::WriteAll(File(index), fixtures::GameFileBytes(index));
    }
    (void)DeleteFile(log.LogPath);
    log = ModLog{log.LogPath, {}, {}};
    ASSERT_FALSE(ReadModLog(log, files, messages));
  }

  Outcome Install(bool cc, const InstallTuning& tuning) {
    messages.boxes.clear();
    Outcome outcome;
    outcome.failed =
        InstallModTuned(Path("mod.mpi"), header, log, files, cc, messages, nullptr, tuning);
    outcome.errors = messages.Errors();
    outcome.log_text = DiskLogText();
    for (int index = 0; index < kGameFileCount; ++index) {
      outcome.game.push_back(IsGameFileIndex(index) ? fixtures::ReadAll(File(index)) : "");
    }
    return outcome;
  }

  // Plans the package on a fresh game, installs it, and holds the log to the plan; then installs
  // it again on a fresh game one resource per save and expects the very same result.
  void ExpectPlanHolds(const std::string& what, bool cc) {
    SCOPED_TRACE(what + (cc ? " with Clone Campaigns" : " without"));
    LayOutGame();
    const InstallPlan plan = PlanInstall(Path("mod.mpi"), header, log, files, cc);
    const Outcome batched = Install(cc, kSmallBatches);

    std::vector<FileChange> planned;
    for (const PlannedChange& change : plan.changes) {
      if (change.kind != PlannedKind::kRefused) planned.push_back(change.change);
    }
    const ModLog disk = DiskLog();
    std::vector<FileChange> recorded;
    if (disk.ModCount() > 0) {
      for (const FileChange& change : disk.Mods[disk.ModCount()].Changes) {
        recorded.push_back(change);
      }
    }
    EXPECT_EQ(recorded, planned);
    EXPECT_EQ(batched.failed, plan.Refused());
    if (plan.Refused() && !batched.errors.empty()) {
      const PlannedChange& refused = plan.changes.back();
      const std::string expected =
          refused.outcome == HandlerOutcome::kInvalidPackage ? kInvalidPackage : refused.message;
      if (refused.outcome != HandlerOutcome::kError) {
        EXPECT_EQ(batched.errors.back(), expected);
      }
    }
    for (int index = 0; index < kGameFileCount; ++index) {
      if (!IsGameFileIndex(index) || IsReplacedFile(index)) continue;
      EXPECT_EQ(batched.game[static_cast<size_t>(index)].size(),
                fixtures::GameFileBytes(index).size() +
                    static_cast<size_t>(plan.bytes_appended[static_cast<size_t>(index)]))
          << GameFileName(index);
    }

    LayOutGame();
    EXPECT_EQ(Install(cc, kOnePerSave), batched);
  }

  std::vector<int32_t> Ids(int index) {
    std::vector<int32_t> ids;
    for (const fixtures::DrsTable& table : fixtures::GameArchiveTables(index)) {
      for (const fixtures::DrsResource& resource : table.resources) ids.push_back(resource.id);
    }
    return ids;
  }

  // Rows of every kind, ids repeated, now and then one the install refuses.
  std::vector<MpiRow> RandomRows(std::mt19937& random, int count, bool refusals) {
    std::vector<MpiRow> rows;
    const auto pick = [&random](int n) {
      return static_cast<int>(random() % static_cast<unsigned>(n));
    };
    for (int r = 0; r < count; ++r) {
      const int kind = pick(20);
      if (kind < 14) {
        const auto archive = static_cast<uint8_t>(pick(5));
        std::vector<int32_t> ids = Ids(archive);
        const std::vector<int32_t> cc_ids = Ids(archive + kCcOffset);
        ids.insert(ids.end(), cc_ids.begin(), cc_ids.end());
        const int32_t id = ids[static_cast<size_t>(pick(static_cast<int>(ids.size())))];
        rows.push_back(
            {static_cast<uint8_t>(1 + pick(3)),
             archive,
             id,
             Payload(static_cast<size_t>(pick(3) == 0 ? 0 : pick(5000)), static_cast<unsigned>(r)),
             {},
             {}});
      } else if (kind < 17) {
        static constexpr uint8_t kTargets[] = {6, 8, 9, 10, 11, 12};
        rows.push_back(
            {5, kTargets[pick(6)], 0, Payload(static_cast<size_t>(pick(3000)), 7), {}, {}});
      } else {
        const int32_t mask = (pick(4) << 8) | (1 + pick(255));
        fixtures::PixelGrid picture(4 + pick(6), 3 + pick(5), 5 + pick(200));
        rows.push_back({6, 0, 1, fixtures::BuildIconPayload(mask, picture), {}, {}});
      }
      if (refusals && pick(12) == 0) {
        switch (pick(3)) {
          case 0:
            rows.push_back(
                {6, 0, 99, fixtures::BuildIconPayload(0x01, fixtures::PixelGrid(2, 2, 1)), {}, {}});
            break;
          case 1:
            rows.push_back({1, 2, 424242, "no such id", {}, {}});
            break;
          default:
            rows.push_back({1, 1, 3500, "an expansion-only graphic", {}, {}});
            break;
        }
      }
    }
    return rows;
  }
};

TEST_F(PlanTest, TheSampleModsInstallAsPlanned) {
  for (const fixtures::SampleMod& mod : fixtures::SampleMods()) {
    const std::string bytes = fixtures::BuildMpi(mod.package);
    fixtures::WriteAll(Path("mod.mpi"), bytes);
    if (ReadPackage(Path("mod.mpi"), header) != PackageRead::kValid) continue;
    package_length = static_cast<int64_t>(bytes.size());
    for (const bool cc : {true, false}) ExpectPlanHolds(mod.file_name, cc);
  }
}

TEST_F(PlanTest, RandomPackagesInstallAsPlanned) {
  std::mt19937 random(20);
  for (int round = 0; round < 24; ++round) {
    WritePackage(RandomRows(random, 4 + round % 20, round % 3 != 0));
    ExpectPlanHolds("random package " + std::to_string(round), round % 2 == 0);
  }
}

// Icon set 3 gives every civilisation the same sprite: each later change's old values are the
// ones the change before it wrote.
TEST_F(PlanTest, ASharedIconSpriteIsRecordedOncePerCivilisation) {
  WritePackage(
      {{6, 0, 1, fixtures::BuildIconPayload(0x0303, fixtures::PixelGrid(4, 4, 9)), {}, {}}});
  LayOutGame();
  const InstallPlan plan = PlanInstall(Path("mod.mpi"), header, log, files, true);
  ASSERT_EQ(plan.changes.size(), 2u);
  const FileChange& first = plan.changes[0].change;
  const FileChange& second = plan.changes[1].change;
  EXPECT_EQ(second.EntryPos, first.EntryPos);
  EXPECT_EQ(second.OldState, first.OldState + plan.changes[0].size);
  EXPECT_EQ(second.OldOffset, first.OldState);
  EXPECT_EQ(second.OldSize, plan.changes[0].size);
  ExpectPlanHolds("icon set 3 twice", true);
}

// A batch ends before the first row that would fail; that row then fails as it always did, the
// rows before it recorded and applied.
TEST_F(PlanTest, TheFirstFailingRowEndsTheBatchBeforeIt) {
  const std::vector<int32_t> ids = Ids(kGraphicsDrs);
  std::vector<MpiRow> rows;
  for (int r = 0; r < 7; ++r)
    rows.push_back({1, 1, ids[static_cast<size_t>(r % 2)], Payload(100 + r), {}, {}});
  struct Case {
    MpiRow failing;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{5, 7, 0, "x", {}, {}}, kInvalidPackage},
      {{1, 1, 3000, "x", {}, {}}, kInvalidPackage},
      {{1, 1, 3500, "x", {}, {}}, kCcNeeded},
      {{6, 0, 99, fixtures::BuildIconPayload(0x01, fixtures::PixelGrid(2, 2, 1)), {}, {}},
       kInvalidPackage},
  };
  for (const Case& c : cases) {
    std::vector<MpiRow> package = rows;
    package.insert(package.begin() + 5, c.failing);
    WritePackage(package);
    LayOutGame();
    const Outcome batched = Install(false, kSmallBatches);
    EXPECT_TRUE(batched.failed);
    EXPECT_EQ(batched.errors, Texts{c.message});
    const ModLog disk = DiskLog();
    ASSERT_EQ(disk.ModCount(), 1);
    EXPECT_EQ(disk.Mods[1].Name, "Sample mod (incomplete)");
    EXPECT_EQ(disk.Mods[1].ChangeCount(), 5);
    LayOutGame();
    EXPECT_EQ(Install(false, kOnePerSave), batched);
  }
}

// Payloads of several of the kernel's pieces, appended and replacing a file, come out the same
// through the buffer alone, the kernel, and the buffer while each piece's writing is started early.
TEST_F(PlanTest, LargePayloadsInstallAlikeWhateverCopiesThem) {
  const std::string large = Payload((size_t{20} << 20) + 12345);
  WritePackage({{1, 1, Ids(kGraphicsDrs)[0], large, {}, {}},
                {5, 6, 0, large.substr(0, (size_t{9} << 20) + 1), {}, {}}});
  LayOutGame();
  const Outcome by_buffer = Install(false, kOnePerSave);
  ASSERT_FALSE(by_buffer.failed);
  for (const InstallTuning& tuning :
       {InstallTuning{}, InstallTuning{4096, int64_t{64} << 20, false, true}}) {
    LayOutGame();
    EXPECT_TRUE(Install(false, tuning) == by_buffer) << tuning.kernel_copy;
  }
}

// An unfinished install whose changes were recorded but never made leaves the log saying an
// archive is longer than it is; appending there would leave a hole, so nothing is written.
TEST_F(PlanTest, AnArchiveRecordedPastItsEndIsRefusedBeforeAnyWrite) {
  WritePackage(
      {{5, 6, 0, "new library", {}, {}}, {1, 1, Ids(kGraphicsDrs)[0], Payload(50), {}, {}}});
  LayOutGame();
  log.FileState[kGraphicsDrs] += 10;
  ASSERT_FALSE(SaveModLog(log, messages));
  const std::string log_before = DiskLogText();
  const Outcome outcome = Install(false, InstallTuning{});
  EXPECT_TRUE(outcome.failed);
  ASSERT_EQ(outcome.errors.size(), 1u);
  EXPECT_NE(outcome.errors[0].find("\"Remove latest\""), std::string::npos);
  EXPECT_EQ(outcome.log_text, log_before);
  for (int index = 0; index < kGameFileCount; ++index) {
    if (!IsGameFileIndex(index)) continue;
    EXPECT_EQ(outcome.game[static_cast<size_t>(index)], fixtures::GameFileBytes(index));
  }
  const InstallPlan plan = PlanInstall(Path("mod.mpi"), header, log, files, false);
  ASSERT_EQ(plan.changes.size(), 1u);
  ASSERT_TRUE(plan.Refused());
  EXPECT_EQ(plan.changes.back().message, std::string(kUnfinishedModAhead));
}

}  // namespace
}  // namespace tarnwick
