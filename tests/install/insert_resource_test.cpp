#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "archive/drs.h"
#include "install/install.h"
#include "install/install_setup.h"

namespace tarnwick {
namespace {

using fixtures::DrsTable;
using testing_install::GameSetup;
using testing_install::Payload;

constexpr char kCcNeeded[] =
    "This mod requires the Clone Campaigns expansion pack, which cannot be found - if you have "
    "installed it, make sure it has been run at least once. If you don't have CC, you can't use "
    "this mod until you buy it!";

// A stand-in package: some leading bytes, then the payload. InsertResource reads only the
// payload's bytes, wherever the row puts them.
constexpr int32_t kPayloadAt = 37;

// Drives InsertResource on one game the way the install driver does.
class Inserter {
 public:
  explicit Inserter(GameSetup& game) : game_(game) {}

  // Reads the log from disk (creating it with the archives' lengths) and starts the mod's entry.
  void Begin() {
    ASSERT_FALSE(ReadModLog(game_.log, game_.files, game_.messages));
    ModLogEntry entry;
    entry.Name = "Test mod (incomplete)";
    game_.log.Mods.push_back(entry);
  }

  void WritePackage(const std::string& payload) {
    fixtures::WriteAll(game_ / "mod.mpi", std::string(kPayloadAt, 'P') + payload);
  }

  HandlerOutcome Insert(uint8_t target, int32_t id, int32_t length, bool cc,
                        int32_t offset = kPayloadAt) {
    BinaryFile package;
    EXPECT_FALSE(package.Open(game_ / "mod.mpi", OpenMode::kRead));
    int64_t package_length = 0;
    EXPECT_FALSE(package.Length(&package_length));
    std::vector<unsigned char> buffer(kCopyBufferSize);
    int64_t copied = 0;
    const ResourceEntry resource{1, target, id, length, offset};
    InstallContext context{package,        package_length, buffer,      1,
                           resource,       game_.log,      game_.files, cc,
                           game_.messages, nullptr,        &copied,     {}};
    const HandlerOutcome outcome = InsertResource(context);
    if (outcome == HandlerOutcome::kDone) {
      EXPECT_EQ(copied, length);
    }
    return outcome;
  }

 private:
  GameSetup& game_;
};

class InsertResourceTest : public ::testing::Test {
 protected:
  void Begin() { inserter_.Begin(); }
  void WritePackage(const std::string& payload) { inserter_.WritePackage(payload); }
  HandlerOutcome Insert(uint8_t target, int32_t id, int32_t length, bool cc,
                        int32_t offset = kPayloadAt) {
    return inserter_.Insert(target, id, length, cc, offset);
  }

  GameSetup game_;
  Inserter inserter_{game_};
};

std::vector<DrsTable> Graphics() {
  return {{"bmp ", {{100, "old-100"}, {200, "old-200-data"}}},
          {"pls ", {{3261, "x"}, {300, "three hundred"}}}};
}

TEST_F(InsertResourceTest, AppendsThePayloadAndRedirectsOnlyItsEntry) {
  for (const size_t size :
       {size_t{0}, size_t{1}, size_t{63999}, size_t{64000}, size_t{64001}, size_t{192000 + 17}}) {
    SCOPED_TRACE(size);
    GameSetup game;
    Inserter inserter(game);
    game.WriteArchive(kGraphicsDrs, Graphics(), {5, true});
    const std::string before = game.Archive(kGraphicsDrs);
    const auto entries_before = fixtures::ParseDrsEntries(before);
    const std::string payload = Payload(size);
    inserter.WritePackage(payload);
    inserter.Begin();

    ASSERT_EQ(inserter.Insert(1, 200, static_cast<int32_t>(size), false), HandlerOutcome::kDone);
    EXPECT_TRUE(game.messages.boxes.empty());

    const std::string after = game.Archive(kGraphicsDrs);
    ASSERT_EQ(after.size(), before.size() + size);
    EXPECT_EQ(after.substr(before.size()), payload);
    const auto entries_after = fixtures::ParseDrsEntries(after);
    ASSERT_EQ(entries_after.size(), entries_before.size());
    const fixtures::DrsEntryView* old_entry = nullptr;
    for (size_t k = 0; k < entries_after.size(); ++k) {
      const auto& was = entries_before[k];
      const auto& now = entries_after[k];
      EXPECT_EQ(now.id, was.id);
      if (was.id == 200) {
        old_entry = &was;
        EXPECT_EQ(now.offset, static_cast<int32_t>(before.size()));
        EXPECT_EQ(now.size, static_cast<int32_t>(size));
      } else {
        EXPECT_EQ(now.offset, was.offset);
        EXPECT_EQ(now.size, was.size);
      }
    }
    ASSERT_NE(old_entry, nullptr);
    // Only the entry's two fields changed among the old bytes.
    std::string old_part = after.substr(0, before.size());
    old_part.replace(static_cast<size_t>(old_entry->position) + 4, 8,
                     before.substr(static_cast<size_t>(old_entry->position) + 4, 8));
    EXPECT_EQ(old_part, before);

    const ModLog disk = game.DiskLog();
    ASSERT_EQ(disk.ModCount(), 1);
    EXPECT_EQ(disk.Mods[1].Name, "Test mod (incomplete)");
    ASSERT_EQ(disk.Mods[1].ChangeCount(), 1);
    EXPECT_EQ(disk.Mods[1].Changes[1],
              (FileChange{kGraphicsDrs, static_cast<int32_t>(before.size()),
                          static_cast<int32_t>(old_entry->position), old_entry->offset,
                          old_entry->size}));
    EXPECT_EQ(disk.FileState[kGraphicsDrs], static_cast<int32_t>(after.size()));
    EXPECT_EQ(game.log.FileState, disk.FileState);
  }
}

TEST_F(InsertResourceTest, AppendsAtTheRecordedLengthNotTheFileEnd) {
  game_.WriteArchive(kGraphicsDrs, Graphics());
  const std::string before = game_.Archive(kGraphicsDrs);
  WritePackage("NEW!");
  Begin();
  // Bytes beyond the recorded length (left by some other program) are written over.
  fixtures::WriteAll(game_.files[kGraphicsDrs], before + "stray bytes");
  ASSERT_EQ(Insert(1, 300, 4, false), HandlerOutcome::kDone);
  const std::string after = game_.Archive(kGraphicsDrs);
  EXPECT_EQ(after.size(), before.size() + 11);
  EXPECT_EQ(after.substr(before.size()), "NEW!y bytes");
  EXPECT_EQ(fixtures::ResourceData(after, 300), "NEW!");
  EXPECT_EQ(game_.log.FileState[kGraphicsDrs], static_cast<int32_t>(before.size() + 4));
}

TEST_F(InsertResourceTest, RedirectsTheLastOccurrenceOfAnId) {
  game_.WriteArchive(kSoundsDrs,
                     {{"wav ", {{5, "first"}, {6, "six"}}},
                      {"bin ", {}},
                      {"wav ", {{5, "second"}, {7, "seven"}, {5, "third"}}},
                      {"wav ", {{8, "eight"}}}},
                     {2, true});
  const std::string before = game_.Archive(kSoundsDrs);
  WritePackage("replacement");
  Begin();
  ASSERT_EQ(Insert(3, 5, 11, false), HandlerOutcome::kDone);
  const auto was = fixtures::ParseDrsEntries(before);
  const auto now = fixtures::ParseDrsEntries(game_.Archive(kSoundsDrs));
  for (size_t k = 0; k < now.size(); ++k) {
    SCOPED_TRACE(k);
    const bool redirected = k == 4;  // the third 5: later table, later in its run
    EXPECT_EQ(now[k].offset == was[k].offset, !redirected);
  }
  EXPECT_EQ(game_.log.Mods[1].Changes[1].EntryPos, static_cast<int32_t>(was[4].position));
  EXPECT_EQ(game_.log.Mods[1].Changes[1].OldSize, 5);
}

// Every archive of both games holds every id the cases use, so the only thing that decides
// where a resource lands is the rule.
class CcRuleTest : public InsertResourceTest {
 protected:
  void WriteAllArchives() {
    std::vector<fixtures::DrsResource> resources;
    for (const int32_t id : kIds) resources.push_back({id, "old"});
    for (int index = 0; index <= 4; ++index) {
      game_.WriteArchive(index, {{"bin ", resources}});
      game_.WriteArchive(index + kCcOffset, {{"bin ", resources}});
    }
    WritePackage("data");
  }

  static constexpr int32_t kIds[] = {-1,    100,   3261,  3262,  6612,  6613,  6632,  6633,
                                     8797,  8798,  15039, 15040, 51106, 51107, 51108, 51109,
                                     51127, 51128, 51147, 51148, 51149, 53213, 53214, INT32_MAX};
};

struct CcCase {
  uint8_t target;
  int32_t id;
  bool to_cc;
};

const std::vector<CcCase> kCcCases = {
    {0, 100, false},  {0, 15040, false},    {1, -1, false},    {1, 100, false},  {1, 3261, false},
    {1, 3262, true},  {1, INT32_MAX, true}, {2, 53213, false}, {2, 53214, true}, {2, 51106, false},
    {2, 51107, true}, {2, 51108, true},     {2, 51109, false}, {2, 51127, true}, {2, 51128, true},
    {2, 51147, true}, {2, 51148, true},     {2, 51149, false}, {3, 6612, false}, {3, 6613, true},
    {3, 6632, true},  {3, 6633, false},     {3, 8797, false},  {3, 8798, true},  {4, 15039, false},
    {4, 15040, true}, {4, -1, false}};

TEST_F(CcRuleTest, WithCloneCampaignsTheRuleChoosesTheArchive) {
  WriteAllArchives();
  Begin();
  int32_t changes = 0;
  for (const CcCase& c : kCcCases) {
    SCOPED_TRACE(testing::Message() << int{c.target} << " id " << c.id);
    ASSERT_EQ(Insert(c.target, c.id, 4, true), HandlerOutcome::kDone);
    ASSERT_EQ(game_.log.Mods[1].ChangeCount(), ++changes);
    // Game data follows the presence of the expansion alone.
    const bool to_cc = c.target == 0 || c.to_cc;
    EXPECT_EQ(game_.log.Mods[1].Changes[changes].FileIndex, c.target + (to_cc ? kCcOffset : 0));
  }
  EXPECT_TRUE(game_.messages.boxes.empty());
}

TEST_F(CcRuleTest, WithoutCloneCampaignsItsResourcesStopTheInstall) {
  WriteAllArchives();
  Begin();
  for (const CcCase& c : kCcCases) {
    SCOPED_TRACE(testing::Message() << int{c.target} << " id " << c.id);
    game_.messages.boxes.clear();
    const int32_t changes = game_.log.Mods[1].ChangeCount();
    const std::string log_before = game_.DiskLogText();
    if (c.to_cc) {
      ASSERT_EQ(Insert(c.target, c.id, 4, false), HandlerOutcome::kAbort);
      EXPECT_EQ(game_.messages.Errors(), std::vector<std::string>{kCcNeeded});
      EXPECT_EQ(game_.log.Mods[1].ChangeCount(), changes);
      EXPECT_EQ(game_.DiskLogText(), log_before);
    } else {
      ASSERT_EQ(Insert(c.target, c.id, 4, false), HandlerOutcome::kDone);
      EXPECT_EQ(game_.log.Mods[1].Changes[changes + 1].FileIndex, c.target);
    }
  }
}

TEST_F(InsertResourceTest, RejectsBeforeRecordingAnything) {
  game_.WriteArchive(kGraphicsDrs, Graphics());
  game_.WriteArchive(kGraphicsDrs + kCcOffset, {{"bmp ", {{3262, "cc only"}}}});
  game_.WriteArchive(kTerrainDrs, {{"bad ", {{15000, "x"}}}});
  {
    // A directory that fails its checks.
    std::string broken = game_.Archive(kTerrainDrs);
    broken[0] = 'c';
    fixtures::WriteAll(game_.files[kTerrainDrs], broken);
  }
  WritePackage(Payload(100));
  Begin();
  const std::string log_before = game_.DiskLogText();
  const std::string graphics_before = game_.Archive(kGraphicsDrs);
  const std::array<int32_t, kGameFileCount> state_before = game_.log.FileState;

  struct Case {
    const char* what;
    uint8_t target;
    int32_t id;
    int32_t length;
    int32_t offset;
  };
  const std::vector<Case> cases = {
      {"archive number 5", 5, 100, 100, kPayloadAt},
      {"archive number 255", 255, 100, 100, kPayloadAt},
      {"id absent from the archive", 1, 101, 100, kPayloadAt},
      {"payload one byte past the end", 1, 100, 101, kPayloadAt},
      {"offset past the end", 1, 100, 1, kPayloadAt + 100},
      {"negative length", 1, 100, -1, kPayloadAt},
      {"negative offset", 1, 100, 10, -10},
      {"offset and length overflowing", 1, 100, INT32_MAX, INT32_MAX},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Insert(c.target, c.id, c.length, true, c.offset), HandlerOutcome::kInvalidPackage);
  }
  EXPECT_TRUE(game_.messages.boxes.empty());
  EXPECT_EQ(Insert(4, 15000, 10, false), HandlerOutcome::kInvalidPackage);
  EXPECT_EQ(game_.messages.Errors(), std::vector<std::string>{"Error reading from DRS file!"});

  game_.log.FileState[kGraphicsDrs] = INT32_MAX - 50;
  EXPECT_EQ(Insert(1, 100, 51, false), HandlerOutcome::kInvalidPackage);
  game_.log.FileState = state_before;

  EXPECT_EQ(game_.log.Mods[1].ChangeCount(), 0);
  EXPECT_EQ(game_.log.FileState, state_before);
  EXPECT_EQ(game_.DiskLogText(), log_before);
  EXPECT_EQ(game_.Archive(kGraphicsDrs), graphics_before);
}

}  // namespace
}  // namespace tarnwick
