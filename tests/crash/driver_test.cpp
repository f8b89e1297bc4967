#include "driver_test.h"

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <set>
#include <sstream>

#include "common/game_files.h"
#include "fixtures/recording_messages.h"
#include "ledger/ledger.h"

namespace tarnwick {

namespace fs = std::filesystem;

void DriverTest::SetUp() {
  const std::string root = fs::canonical(root_.path()).string();
  game_ = root + "/game";
  temp_ = root + "/tmp";
  package_ = root + "/everything.mpi";
  fixtures::WriteAll(package_, SamplePackage());
  pristine_ = SampleGame();
}

void DriverTest::Restore(const Snapshot& files) {
  LayOut(game_, files);
  LayOut(temp_, {});
}

std::string DriverTest::ShimEnvironment() {
  return "LD_PRELOAD='" TARNWICK_FAULT_SHIM
         "' ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0 ";
}

int DriverTest::Drive(const std::string& command, const std::string& environment,
                      std::string* errors) {
  const std::string errors_path = root_ / "errors";
  const size_t space = command.find(' ');
  std::string line = "TMPDIR='" + temp_ + "' " + environment + " '" TARNWICK_DRIVER "' " +
                     command.substr(0, space) + " '" + game_ + "' ";
  if (command == "install") line += "'" + package_ + "' " + install_options_;
  if (space != std::string::npos) line += command.substr(space + 1);
  const int status = std::system((line + " 2>'" + errors_path + "'").c_str());
  if (errors != nullptr) *errors = fixtures::ReadAll(errors_path);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int DriverTest::Cut(const std::string& command, long cut_at, const char* mode,
                    long* changes_counted) {
  std::string environment = ShimEnvironment() +
                            "TARNWICK_FAULT_NO_SYNC=1 TARNWICK_FAULT_AT=" + std::to_string(cut_at) +
                            " TARNWICK_FAULT_MODE=" + mode + " ";
  const std::string report = root_ / "count";
  if (changes_counted != nullptr) environment += "TARNWICK_FAULT_REPORT='" + report + "' ";
  const int status = Drive(command, environment);
  if (changes_counted != nullptr) *changes_counted = std::stol(fixtures::ReadAll(report));
  return status;
}

std::vector<std::string> DriverTest::CutModes() {
  const char* chosen = std::getenv("TARNWICK_CUT_MODES");
  if (chosen == nullptr || *chosen == '\0') return {"kill", "torn", "enospc", "eacces"};
  std::vector<std::string> modes;
  std::istringstream list(chosen);
  for (std::string mode; std::getline(list, mode, ',');) {
    if (!mode.empty()) modes.push_back(mode);
  }
  return modes;
}

ModLog DriverTest::ReadLog() {
  ModLog log;
  log.LogPath = game_ + "/mods.log";
  fixtures::RecordingMessages messages;
  EXPECT_FALSE(ReadModLog(log, MakeGameFiles(game_ + "/", game_ + "/"), messages));
  return log;
}

void DriverTest::ExpectPristine(const std::string& what, bool stale_tail_allowed) {
  const ModLog log = ReadLog();
  ASSERT_EQ(log.ModCount(), 0) << what;
  for (int index = 0; index < kGameFileCount; ++index) {
    if (!IsGameFileIndex(index)) continue;
    const std::string name = GameFileName(index);
    const std::string& before = pristine_.at(name);
    const std::string after = fixtures::ReadAll(game_ + "/" + name);
    const bool tail_only = stale_tail_allowed && !IsReplacedFile(index) &&
                           after.size() > before.size() &&
                           after.compare(0, before.size(), before) == 0 &&
                           log.FileState[index] == static_cast<int32_t>(before.size());
    ASSERT_TRUE(after == before || tail_only)
        << name << " differs after " << what << " (" << after.size() << " bytes, was "
        << before.size() << ")";
  }
}

void DriverTest::ExpectRecordsUntorn(const std::string& what) {
  const std::string ledger_file = game_ + "/tarnwick/ledger.json";
  Ledger ledger;
  if (fixtures::Exists(ledger_file)) {
    ASSERT_TRUE(ParseLedger(fixtures::ReadAll(ledger_file), ledger)) << what;
  }
  const std::string packages = game_ + "/tarnwick/packages";
  // A package takes its hash name before any ledger names it.
  for (const LedgerRecord& record : ledger.records) {
    ASSERT_TRUE(fixtures::Exists(packages + "/" + record.package + ".mpi")) << what;
  }
  if (!fs::is_directory(packages)) return;
  for (const auto& entry : fs::directory_iterator(packages)) {
    if (entry.path().extension() != ".mpi") continue;
    const std::string bytes = fixtures::ReadAll(entry.path().string());
    ASSERT_EQ(HashBytes(bytes.data(), bytes.size()) + ".mpi", entry.path().filename()) << what;
  }
}

void DriverTest::ExpectLedgerMatchesLog(const std::string& what, bool exact_store) {
  const ModLog log = ReadLog();
  Ledger ledger;
  ASSERT_TRUE(ParseLedger(fixtures::ReadAll(game_ + "/tarnwick/ledger.json"), ledger)) << what;
  EXPECT_FALSE(ledger.plan.has_value()) << what;
  EXPECT_EQ(ledger.records.size(), static_cast<size_t>(log.ModCount())) << what;
  std::set<std::string> used;
  for (const LedgerRecord& record : ledger.records) {
    EXPECT_TRUE(RecordMatches(record, log, record.position)) << what;
    used.insert(record.package + ".mpi");
    EXPECT_TRUE(fixtures::Exists(game_ + "/tarnwick/packages/" + record.package + ".mpi")) << what;
  }
  const std::string packages = game_ + "/tarnwick/packages";
  if (!exact_store || !fs::is_directory(packages)) return;
  for (const auto& entry : fs::directory_iterator(packages)) {
    EXPECT_EQ(used.count(entry.path().filename().string()), 1u)
        << entry.path().filename() << " left after " << what;
  }
}

int DriverTest::CutEverywhere(const Snapshot& start, const std::string& command, long changes) {
  int runs = 0;
  for (const std::string& mode : CutModes()) {
    for (long cut = 1; cut <= changes && !HasFatalFailure(); ++cut, ++runs) {
      Restore(start);
      // Some cuts hit steps whose failure is ignored (removing a temporary sprite); the command
      // then completes, and the removal must restore the game just the same.
      const std::string what =
          command + " cut at change " + std::to_string(cut) + " (" + mode + ")";
      Cut(command, cut, mode.c_str());
      ExpectRecordsUntorn(what);
      Cut("remove");
      ExpectPristine(what, command == "remove" && (mode == "enospc" || mode == "eacces"));
      ExpectLedgerMatchesLog(what);
    }
  }
  std::cout << "[ cut points ] " << command << (install_options_.empty() ? "" : " ")
            << install_options_ << ": " << changes << " changes, " << runs << " runs\n";
  RecordProperty(command + "_cut_points", static_cast<int>(changes));
  return runs;
}

}  // namespace tarnwick
