// No save of the log may describe a state that a crash right after it could lose: what the saved
// log relies on (a new backup and its name in the folder, every restored game file) is synced
// before the log is renamed into place. The real install and removal run under the shim, which
// records every change and sync in order.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "common/game_files.h"
#include "driver_test.h"
#include "fixtures/files.h"
#include "ledger/ledger.h"

namespace tarnwick {
namespace {

struct Call {
  std::string name;  // write, truncate, create, unlink, rename, fsync
  std::string path;
  std::string to;  // rename only
};

class SyncOrder : public DriverTest {
 protected:
  std::vector<Call> Recorded(const std::string& command) {
    const std::string record = root_ / "record";
    EXPECT_EQ(Drive(command, ShimEnvironment() + "TARNWICK_FAULT_RECORD='" + record + "'"), 0);
    std::vector<Call> calls;
    std::istringstream lines(fixtures::ReadAll(record));
    for (std::string line; std::getline(lines, line);) {
      std::istringstream fields(line);
      Call& call = calls.emplace_back();
      std::getline(fields, call.name, '\t');
      std::getline(fields, call.path, '\t');
      std::getline(fields, call.to, '\t');
      for (std::string* path : {&call.path, &call.to})
        *path = std::filesystem::path(*path).lexically_normal().string();
    }
    return calls;
  }

  bool IsLogSave(const Call& call) const {
    return call.name == "rename" && call.to == game_ + "/mods.log";
  }

  // A game file's name, a dot and a number.
  bool IsBackup(const std::string& path) const {
    for (int index = 0; index < kGameFileCount; ++index) {
      if (!IsGameFileIndex(index) || !IsReplacedFile(index)) continue;
      const std::string stem = game_ + "/" + GameFileName(index) + ".";
      if (path.size() > stem.size() && path.starts_with(stem) &&
          path.find_first_not_of("0123456789", stem.size()) == std::string::npos)
        return true;
    }
    return false;
  }

  static bool Changes(const Call& call, const std::string& path) {
    return call.path == path &&
           (call.name == "write" || call.name == "truncate" || call.name == "create");
  }

  // Whether `path` was synced after its last change before `end`, and not before `start`.
  static bool SyncedBefore(const std::vector<Call>& calls, const std::string& path, size_t start,
                           size_t end) {
    bool synced = false;
    for (size_t i = start; i < end; ++i) {
      if (Changes(calls[i], path)) synced = false;
      if (calls[i].name == "fsync" && calls[i].path == path) synced = true;
    }
    return synced;
  }
};

TEST_F(SyncOrder, EachBackupAndItsFolderEntryAreOnDiskBeforeTheLogThatRecordsIt) {
  Restore(pristine_);
  const std::vector<Call> calls = Recorded("install");
  int backups = 0;
  int saves = 0;
  for (size_t i = 0; i < calls.size(); ++i) {
    if (IsLogSave(calls[i])) {
      ++saves;
      EXPECT_TRUE(SyncedBefore(calls, calls[i].path, 0, i)) << "save " << saves;
    }
    const std::string& path = calls[i].path;
    if (calls[i].name != "create" || !IsBackup(path)) continue;
    ++backups;
    size_t save = i + 1;
    while (save < calls.size() && !IsLogSave(calls[save])) ++save;
    ASSERT_LT(save, calls.size()) << path << " is never recorded";
    EXPECT_TRUE(SyncedBefore(calls, path, i, save)) << path << " content";
    EXPECT_TRUE(SyncedBefore(calls, game_, i, save)) << path << " folder entry";
  }
  EXPECT_EQ(backups, 3);  // language.dll twice, genie_x1.dat once
  EXPECT_GT(saves, backups);
}

// The kept package is whole, synced and under its hash name, its folder synced, before the
// install's first log save; the ledger that names it is saved after the install's last one.
TEST_F(SyncOrder, TheKeptPackageIsDurableUnderItsHashBeforeTheFirstLogSave) {
  Restore(pristine_);
  const std::vector<Call> calls = Recorded("install");
  const std::string packages = game_ + "/tarnwick/packages";
  const std::string incoming = packages + "/incoming.mpi_";
  const auto first = [&](const auto& found) {
    return static_cast<size_t>(std::find_if(calls.begin(), calls.end(), found) - calls.begin());
  };
  const auto last = [&](const auto& found) {
    const auto it = std::find_if(calls.rbegin(), calls.rend(), found);
    return it == calls.rend() ? calls.size() : static_cast<size_t>(calls.rend() - it) - 1;
  };
  const size_t copied = last([&](const Call& call) { return Changes(call, incoming); });
  const size_t named =
      first([&](const Call& call) { return call.name == "rename" && call.path == incoming; });
  // Counted from the copy's start: the driver reads the log before, as the program does, which
  // saves a missing one.
  const size_t created = first([&](const Call& call) { return Changes(call, incoming); });
  const auto saves = std::find_if(calls.begin() + static_cast<std::ptrdiff_t>(created), calls.end(),
                                  [&](const Call& call) { return IsLogSave(call); });
  const size_t log_saved = static_cast<size_t>(saves - calls.begin());
  const size_t last_log_saved = last([&](const Call& call) { return IsLogSave(call); });
  const size_t ledger_saved = last([&](const Call& call) {
    return call.name == "rename" && call.to == game_ + "/tarnwick/ledger.json";
  });
  ASSERT_LT(copied, named);
  ASSERT_LT(named, log_saved);
  ASSERT_LT(log_saved, calls.size());
  ASSERT_LT(last_log_saved, ledger_saved);
  ASSERT_LT(ledger_saved, calls.size());
  EXPECT_TRUE(SyncedBefore(calls, incoming, copied, named));
  EXPECT_TRUE(SyncedBefore(calls, packages, named, log_saved));
  const std::string bytes = fixtures::ReadAll(package_);
  EXPECT_EQ(calls[named].to, packages + "/" + HashBytes(bytes.data(), bytes.size()) + ".mpi");
  EXPECT_EQ(fixtures::ReadAll(calls[named].to), bytes);
}

// Every restored game file is synced once, after its last change (however many changes of the mod
// it undoes), before any backup goes and before the log forgets the mod.
TEST_F(SyncOrder, EveryRestoredGameFileIsSyncedOnceBeforeItsBackupsGoAndTheLogForgetsTheMod) {
  Restore(pristine_);
  ASSERT_EQ(Drive("install"), 0);
  const std::vector<Call> calls = Recorded("remove");
  size_t save = calls.size();
  size_t first_unlink = calls.size();
  int backups_gone = 0;
  for (size_t i = 0; i < calls.size(); ++i) {
    if (IsLogSave(calls[i])) save = i;
    if (calls[i].name == "unlink" && IsBackup(calls[i].path)) {
      first_unlink = std::min(first_unlink, i);
      ++backups_gone;
    }
  }
  ASSERT_LT(save, calls.size());
  EXPECT_EQ(backups_gone, 3);
  int restored = 0;
  for (int index = 0; index < kGameFileCount; ++index) {
    if (!IsGameFileIndex(index)) continue;
    const std::string path = game_ + "/" + GameFileName(index);
    bool changed = false;
    for (size_t i = 0; i < save; ++i) changed = changed || Changes(calls[i], path);
    if (!changed) continue;
    ++restored;
    EXPECT_TRUE(SyncedBefore(calls, path, 0, std::min(save, first_unlink))) << path;
    EXPECT_EQ(
        std::count_if(calls.begin(), calls.end(),
                      [&](const Call& call) { return call.name == "fsync" && call.path == path; }),
        1)
        << path;
  }
  // graphics, graphics_x1, gamedata_x1, interfac_x1, sounds_x1, language.dll (restored twice),
  // genie_x1.dat
  EXPECT_EQ(restored, 7);
  ExpectPristine("the recorded removal");
}

}  // namespace
}  // namespace tarnwick
