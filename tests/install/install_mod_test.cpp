// Whole installs on the demo game. The plan is the truth: what PlanInstall says before anything
// is written is what the log records after a real install, change for change, and where it says a
// row is refused the install stops there with that row's message. Batching changes how often the
// log is saved, never what the install leaves behind.

#include <signal.h>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "install/archive_planner.h"
#include "install/install_plan.h"
#include "install/install_setup.h"
#include "writers/game_folder.h"
#include "writers/slp.h"

namespace tarnwick {
namespace {

using fixtures::MpiRow;
using fixtures::ResourceData;

constexpr char kGeneric[] = "Error installing mod! Unable to continue.";

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

class InstallModTest : public InstallTest {
 protected:
  // The demo game in files of its own (never through a link a row planted), and a fresh log.
  void LayOutGame() {
    for (int index = 0; index < kGameFileCount; ++index) {
      std::filesystem::remove(File(index));
      if (IsGameFileIndex(index)) fixtures::WriteAll(File(index), fixtures::GameFileBytes(index));
    }
    FreshLog();
  }

  std::vector<std::string> Game() const {
    std::vector<std::string> game;
    for (int index = 0; index < kGameFileCount; ++index) {
      game.push_back(IsGameFileIndex(index) ? fixtures::ReadAll(File(index)) : "");
    }
    return game;
  }

  Outcome Install(bool cc, const InstallTuning& tuning) {
    messages.boxes.clear();
    const bool failed =
        InstallModTuned(Path("mod.mpi"), header, log, files, cc, messages, nullptr, tuning);
    return {failed, messages.Errors(), DiskLogText(), Game()};
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
    for (int32_t p = 1; p <= disk.ModCount(); ++p) {
      for (const FileChange& change : disk.Mods[p].Changes) recorded.push_back(change);
    }
    EXPECT_EQ(recorded, planned);
    EXPECT_EQ(batched.failed, plan.Refused());
    if (plan.Refused() && plan.changes.back().outcome != HandlerOutcome::kError) {
      const std::string& box = plan.changes.back().message;  // none: the invalid package's
      EXPECT_EQ(batched.errors, Texts{box.empty() ? kInvalidPackage : box});
    }
    for (size_t index = 0; index < kGameFileCount; ++index) {  // archives grow as planned
      if (IsReplacedFile(static_cast<int>(index))) continue;
      EXPECT_EQ(
          batched.game[index].size() - fixtures::GameFileBytes(static_cast<int>(index)).size(),
          static_cast<size_t>(plan.bytes_appended[index]))
          << index;
    }
    LayOutGame();
    EXPECT_EQ(Install(cc, kOnePerSave), batched);
  }

  // Every id of archive `index` and of the expansion's copy of it.
  static std::vector<int32_t> Ids(int index) {
    std::vector<int32_t> ids;
    for (const int i : {index, index + kCcOffset}) {
      for (const fixtures::DrsTable& table : fixtures::GameArchiveTables(i)) {
        for (const fixtures::DrsResource& resource : table.resources) ids.push_back(resource.id);
      }
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
        const std::vector<int32_t> ids = Ids(archive);
        const int32_t id = ids[static_cast<size_t>(pick(static_cast<int>(ids.size())))];
        const auto size = static_cast<size_t>(pick(3) == 0 ? 0 : pick(5000));
        rows.push_back({static_cast<uint8_t>(1 + pick(3)), archive, id, Payload(size, r)});
      } else if (kind < 17) {
        static constexpr uint8_t kTargets[] = {6, 8, 9, 10, 11, 12};
        rows.push_back({5, kTargets[pick(6)], 0, Payload(static_cast<size_t>(pick(3000)), 7)});
      } else {
        const int32_t mask = (pick(4) << 8) | (1 + pick(255));
        fixtures::PixelGrid picture(4 + pick(6), 3 + pick(5), 5 + pick(200));
        std::string payload = fixtures::BuildIconPayload(mask, picture);
        // The rebuild only stores the width and adds to the row offsets: any value installs.
        if (pick(4) == 0) payload.replace(4, 4, "\xff\xff\xff\xff");
        if (pick(4) == 0) payload.replace(12, 4, "\xff\xff\xff\x7f");
        rows.push_back({6, 0, 1, payload});
      }
      if (refusals && pick(12) == 0) {
        const MpiRow refused[] = {
            {6, 0, 99, fixtures::BuildIconPayload(0x01, fixtures::PixelGrid(2, 2, 1))},
            {1, 2, 424242, "no such id"},
            {1, 1, 3500, "an expansion-only graphic"},
            {5, 7, 0, "no such file"}};
        rows.push_back(refused[pick(4)]);
      }
    }
    return rows;
  }
};

// The rows of a batch before a refused one are recorded and applied, as one resource per save
// would.
TEST_F(InstallModTest, RandomPackagesInstallAsPlanned) {
  std::mt19937 random(20);
  for (int round = 0; round < 24; ++round) {
    WritePackage(RandomRows(random, 4 + round % 20, round % 3 != 0));
    ExpectPlanHolds("random package " + std::to_string(round), round % 2 == 0);
  }
}

// Payloads of several of the kernel's pieces, appended and replacing a file, come out the same
// through the buffer alone, the kernel, and the buffer while each piece's writing is started early.
TEST_F(InstallModTest, LargePayloadsInstallAlikeWhateverCopiesThem) {
  const std::string large = Payload((size_t{20} << 20) + 12345);
  WritePackage(
      {{1, 1, Ids(kGraphicsDrs)[0], large}, {5, 6, 0, large.substr(0, (size_t{9} << 20) + 1)}});
  LayOutGame();
  const Outcome by_buffer = Install(false, kOnePerSave);
  ASSERT_FALSE(by_buffer.failed);
  for (const InstallTuning& tuning :
       {InstallTuning{}, InstallTuning{4096, int64_t{64} << 20, false, true}}) {
    LayOutGame();
    EXPECT_TRUE(Install(false, tuning) == by_buffer) << tuning.kernel_copy;
  }
}

// What a whole install ends with: its boxes, and the mod the disk's log records (its name and its
// changes' old lengths) with the graphics it leaves; or, where it fails before its first change,
// the log and the game as they were. One resource per save, so that payloads pass through the
// 64000-byte buffer.
TEST_F(InstallModTest, EachInstallEndsWithItsBoxesAndRecordsWhatItDid) {
  LayOutGame();
  const std::vector<std::string> pristine = Game();
  const auto g = static_cast<int32_t>(pristine[kGraphicsDrs].size());
  const std::string old100 = ResourceData(pristine[kGraphicsDrs], 100);
  const std::string big = Payload(70000);
  using Rows = std::vector<MpiRow>;
  using States = std::vector<int32_t>;
  enum Before { kFresh, kUnsavableLog, kRecordedPastTheEnd, kGraphicsRunning, kFileSizeLimit };
  struct Case {
    const char* what;
    Before before;
    Rows rows;
    Texts errors;
    std::string name{};  // empty: nothing recorded
    States old_states{};
    std::string id100{};
  };
  const Case cases[] = {
      {"every row, back to back", kFresh,
       Rows{{1, 1, 100, big}, {2, 1, 1000, "tiny!"}, {3, 4, 15000, ""}}, Texts{}, "Sample mod",
       States{g, g + 70000, static_cast<int32_t>(pristine[kTerrainDrs].size())}, big},
      {"a row refused half way", kFresh,
       Rows{{1, 1, 100, "first"}, {1, 1, 999, "absent id"}, {1, 1, 1000, "never"}},
       Texts{kInvalidPackage}, "Sample mod (incomplete)", States{g}, "first"},
      {"only skipped rows", kFresh, Rows{{5, 8, 0, "cc library"}}, Texts{}, "Sample mod", States{},
       old100},
      {"the expansion's terrain without it", kFresh, Rows{{1, 4, 15040, "cc"}}, Texts{kCcNeeded}},
      // Every handler saves the log before it changes the game, as tests/crash proves.
      {"a log that cannot be saved", kUnsavableLog, Rows{{1, 1, 100, "data"}},
       Texts{"Cannot save log file!", kGeneric}},
      // An unfinished install's changes recorded and never made: appending at the recorded length
      // would leave a hole, so not even the replacement before is made.
      {"an archive recorded past its end", kRecordedPastTheEnd,
       Rows{{5, 9, 0, "new data"}, {1, 1, 100, "x"}}, Texts{kUnfinishedModAhead}},
#ifndef _WIN32
      {"the graphics archive in use", kGraphicsRunning, Rows{{1, 1, 100, "data"}},
       Texts{kGeneric + std::string(" Make sure SWGB is not currently running.")}},
      // A write past the process's file size limit fails (EFBIG) as on a full disk.
      {"a full disk", kFileSizeLimit, Rows{{1, 1, 100, Payload(300000)}},
       Texts{"Out of disk space! Unable to continue."}, "Sample mod (incomplete)", States{g},
       old100},
#endif
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    LayOutGame();
    if (c.before == kRecordedPastTheEnd) {
      log.FileState[kGraphicsDrs] += 10;
      ASSERT_FALSE(SaveModLog(log, messages));
    }
    // Its temporary sibling cannot be made.
    if (c.before == kUnsavableLog) fixtures::MakeFolders(log.LogPath + "_");
#ifndef _WIN32
    if (c.before == kGraphicsRunning) {  // this very program's file: text file busy
      std::filesystem::remove(File(kGraphicsDrs));
      std::filesystem::create_symlink("/proc/self/exe", File(kGraphicsDrs));
      const int fd = ::open(File(kGraphicsDrs).c_str(), O_RDWR | O_CLOEXEC);
      if (fd >= 0) {  // this system lets running programs be written: nothing to try
        ::close(fd);
        continue;
      }
    }
#endif
    const std::string log_before = DiskLogText();
    const std::vector<std::string> game_before = Game();
    WritePackage(c.rows);
    const InstallPlan plan = PlanInstall(Path("mod.mpi"), header, log, files, false);
#ifndef _WIN32
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const rlimit limit{c.before == kFileSizeLimit ? 100000 : saved.rlim_cur, saved.rlim_max};
    const sighandler_t handler = ::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
#endif
    const Outcome outcome = Install(false, kOnePerSave);
#ifndef _WIN32
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, handler);
#endif
    std::filesystem::remove(log.LogPath + "_");
    EXPECT_EQ(outcome.failed, !c.errors.empty());
    EXPECT_EQ(outcome.errors, c.errors);
    if (c.before == kRecordedPastTheEnd) {  // the plan refuses before its first row too
      ASSERT_EQ(plan.changes.size(), 1u);
      EXPECT_EQ(plan.changes[0].message, std::string(kUnfinishedModAhead));
    }
    if (c.name.empty()) {
      EXPECT_EQ(outcome.log_text, log_before);
      EXPECT_TRUE(outcome.game == game_before);
      continue;
    }
    const ModLog disk = DiskLog();
    ASSERT_EQ(disk.ModCount(), 1);
    EXPECT_EQ(disk.Mods[1].Name, c.name);
    States states;
    for (const FileChange& change : disk.Mods[1].Changes) states.push_back(change.OldState);
    EXPECT_EQ(states, c.old_states);
    EXPECT_EQ(ResourceData(outcome.game[kGraphicsDrs], 100), c.id100);
  }
}

}  // namespace
}  // namespace tarnwick
