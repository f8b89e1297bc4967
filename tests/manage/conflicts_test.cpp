// Whom a package meets: across random stacks of mods, the provider of every entry and file a plan
// changes and whether its bytes are already there agree with answers worked out by hand from the
// log and the bytes on disk; and an installed mod's changes say which are still in effect.

#include "manage/conflicts.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "fixtures/files.h"
#include "manage/install_package.h"
#include "mod_stack.h"
#include "writers/bytes.h"

namespace tarnwick {
namespace {

using fixtures::Bytes;
using fixtures::I32At;

// The stack packages, one that writes what the game already holds, and an icon whose frame adds
// no rows (its rebuilt sprite is as long as the one it replaces, so installing it again changes
// nothing).
std::vector<std::string> Pool() {
  std::vector<std::string> pool = StackPackages();
  for (auto [title, rows] : {
           std::pair<const char*, std::vector<fixtures::MpiRow>>{
               "Same as the game",
               {Row(1, 1, 101, Pattern(501, 3)), Row(5, 9, 0, Pattern(3000, 12)),
                Row(1, 1, 100, Pattern(3000, 31))}},
           {"Flat icons",
            {Row(6, 0, 1, Bytes().I32(0x03).I32(5).I32(0).str()), Row(5, 6, 0, Pattern(1500, 41))}},
       }) {
    fixtures::MpiPackage package;
    package.title = title;
    package.rows = std::move(rows);
    pool.push_back(fixtures::BuildMpi(package));
  }
  return pool;
}

std::string EntryBytes(const std::string& archive, int32_t entry_pos) {
  return archive.substr(static_cast<size_t>(I32At(archive, entry_pos + 4)),
                        static_cast<size_t>(I32At(archive, entry_pos + 8)));
}

// The sprite an icon payload makes of `sprite`, written out from the icon format.
std::string Rebuilt(const std::string& sprite, const std::string& payload, int32_t frame) {
  const auto s = static_cast<int32_t>(sprite.size());
  const int32_t width = I32At(payload, 4);
  const int32_t height = I32At(payload, 8);
  Bytes row;
  row.I32(s + 4 * height).I32(s).Raw(sprite.substr(32 + 32 * (frame - 1) + 8, 8));
  row.I32(width).I32(height).Raw(sprite.substr(32 + 32 * (frame - 1) + 24, 8));
  std::string out = sprite;
  out.replace(static_cast<size_t>(32 + 32 * (frame - 1)), 32, row.str());
  Bytes tail;
  tail.Zeros(static_cast<size_t>(4 * height));
  for (int32_t r = 0; r < height; ++r) tail.I32(I32At(payload, 12 + 4 * r) + s + 8 * height);
  tail.Raw(payload.substr(static_cast<size_t>(12 + 4 * height)));
  return out + tail.str();
}

// The table whose entry run holds `entry_pos`, its tag read front to back.
std::string TableOf(const std::string& archive, int32_t entry_pos) {
  for (int32_t t = 0; t < I32At(archive, 76); ++t) {
    const int32_t run = I32At(archive, 84 + 12 * t + 4);
    if (entry_pos >= run && entry_pos < run + 12 * I32At(archive, 84 + 12 * t + 8)) {
      std::string tag(archive.substr(static_cast<size_t>(84 + 12 * t), 4));
      return {tag.rbegin(), tag.rend() - (tag[0] == ' ' ? 1 : 0)};
    }
  }
  return {};
}

bool SameTarget(const FileChange& a, const FileChange& b) {
  return a.FileIndex == b.FileIndex && (IsReplacedFile(a.FileIndex) || a.EntryPos == b.EntryPos);
}

TEST(ConflictsTest, ProvidersAndIdenticalBytesAgreeWithTheLogAndTheDisk) {
  const std::vector<std::string> pool = Pool();
  std::mt19937 random(1717);
  int overrides = 0;
  int identical_to_mods = 0;
  int identical_to_game = 0;
  int identical_icons = 0;
  int overridden = 0;
  for (int round = 0; round < 14; ++round) {
    fixtures::TempDir root;
    const bool cc = round % 4 != 3;
    ModStack game(root.path(), cc);
    std::ostringstream what;
    what << (cc ? "Clone Campaigns, stack" : "base game, stack");
    const int count = std::uniform_int_distribution<int>(1, 5)(random);
    for (int i = 0; i < count; ++i) {
      const size_t pick = random() % pool.size();
      what << ' ' << pick;
      fixtures::WriteAll(root / "stacked.mpi", pool[pick]);
      (void)game.InstallFile(root / "stacked.mpi");  // some need Clone Campaigns
    }
    SCOPED_TRACE(what.str());
    const ModLog log = game.ReadLog();

    for (size_t candidate = 0; candidate < pool.size(); ++candidate) {
      SCOPED_TRACE("planning package " + std::to_string(candidate));
      const std::string path = root / "candidate.mpi";
      fixtures::WriteAll(path, pool[candidate]);
      PackageHeader header;
      ASSERT_EQ(ReadPackage(path, header), PackageRead::kValid);
      const InstallPlan plan = PlanInstall(path, header, log, game.files(), cc);
      std::error_code error;
      const std::vector<Conflict> conflicts =
          FindConflicts(path, header, plan, log, game.files(), &error);
      EXPECT_FALSE(error) << error.message();
      ASSERT_EQ(conflicts.size(), plan.changes.size());
      int icon_row = 0;
      int civ = 0;
      for (size_t i = 0; i < plan.changes.size(); ++i) {
        const PlannedChange& planned = plan.changes[i];
        if (planned.kind == PlannedKind::kRefused) continue;
        const FileChange& change = planned.change;
        int32_t provider = 0;
        for (int32_t p = 1; p <= log.ModCount(); ++p) {
          for (const FileChange& record : log.Mods[p].Changes) {
            if (SameTarget(record, change)) provider = p;
          }
        }
        const ResourceEntry& row = header.resources[planned.resource_number];
        const std::string payload = pool[candidate].substr(static_cast<size_t>(row.dataOffset),
                                                           static_cast<size_t>(row.dataLength));
        const std::string file = fixtures::ReadAll(game.files()[change.FileIndex]);
        bool identical = false;
        switch (planned.kind) {
          case PlannedKind::kReplacement:
            identical = file == payload;
            break;
          case PlannedKind::kResource:
            identical = EntryBytes(file, change.EntryPos) == payload;
            break;
          default: {
            const std::string sprite = EntryBytes(file, change.EntryPos);
            identical = Rebuilt(sprite, payload, row.resourceId) == sprite;
            identical_icons += identical;
            // One change per selected civilisation, in order: bits 0 and 1, or 0 to 3.
            civ = planned.resource_number == icon_row ? civ + 1 : 0;
            icon_row = planned.resource_number;
            EXPECT_EQ(conflicts[i].civilisation, civ) << "change " << i;
            break;
          }
        }
        if (!IsReplacedFile(change.FileIndex)) {
          EXPECT_EQ(conflicts[i].table, TableOf(file, change.EntryPos)) << "change " << i;
        }
        EXPECT_EQ(conflicts[i].provider, provider) << "change " << i;
        EXPECT_EQ(conflicts[i].identical, identical) << "change " << i;
        overrides += conflicts[i].Overrides();
        identical_to_mods += identical && provider > 0;
        identical_to_game += identical && provider == 0;
      }
    }

    // Each installed mod's changes: still in effect exactly when the disk holds what it wrote.
    for (int32_t position = 1; position <= log.ModCount(); ++position) {
      const std::vector<InstalledChange> changes =
          DescribeInstalledMod(log, position, game.files());
      ASSERT_EQ(changes.size(), static_cast<size_t>(log.Mods[position].ChangeCount()));
      for (const InstalledChange& shown : changes) {
        SCOPED_TRACE("mod " + std::to_string(position) + " change " + std::to_string(shown.number));
        const FileChange& change = shown.change;
        EXPECT_EQ(change, log.Mods[position].Changes[shown.number]);
        const FileChange* next = nullptr;  // the first later record of the same target
        std::vector<int32_t> later;
        for (int32_t p = position; p <= log.ModCount(); ++p) {
          for (int32_t j = p == position ? shown.number + 1 : 1; j <= log.Mods[p].ChangeCount();
               ++j) {
            if (!SameTarget(log.Mods[p].Changes[j], change)) continue;
            if (next == nullptr) next = &log.Mods[p].Changes[j];
            if (later.empty() || later.back() != p) later.push_back(p);
          }
        }
        EXPECT_EQ(shown.overridden_by, later);
        overridden += !later.empty();
        const std::string& game_file = game.files()[change.FileIndex];
        if (IsReplacedFile(change.FileIndex)) {
          const std::string holder =
              next == nullptr ? game_file : BackupPath(game_file, next->OldState);
          EXPECT_EQ(shown.size, static_cast<int64_t>(fixtures::ReadAll(holder).size()));
          continue;
        }
        const std::string archive = fixtures::ReadAll(game_file);
        EXPECT_EQ(shown.id, I32At(archive, change.EntryPos));
        EXPECT_EQ(shown.table, TableOf(archive, change.EntryPos));
        // What it wrote is on disk, or recorded as the old values of the change after it.
        const int32_t offset =
            next == nullptr ? I32At(archive, change.EntryPos + 4) : next->OldOffset;
        const int32_t size = next == nullptr ? I32At(archive, change.EntryPos + 8) : next->OldSize;
        EXPECT_EQ(offset, change.OldState);
        EXPECT_EQ(shown.size, size);
      }
    }
  }
  // The stacks met every case.
  EXPECT_GT(overrides, 0);
  EXPECT_GT(identical_to_mods, 0);
  EXPECT_GT(identical_to_game, 0);
  EXPECT_GT(identical_icons, 0);
  EXPECT_GT(overridden, 0);
}

}  // namespace
}  // namespace tarnwick
