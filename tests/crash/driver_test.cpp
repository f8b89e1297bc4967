#include "driver_test.h"

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "common/game_files.h"
#include "fixtures/recording_messages.h"
#include "modlog/mod_log.h"

namespace tarnwick {

void DriverTest::SetUp() {
  const std::string root = std::filesystem::canonical(root_.path()).string();
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
  std::string line = "TMPDIR='" + temp_ + "' " + environment + " '" TARNWICK_DRIVER "' " + command +
                     " '" + game_ + "'";
  if (command == "install") line += " '" + package_ + "' " + install_options_;
  line += " 2>'" + errors_path + "'";
  const int status = std::system(line.c_str());
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
  std::string mode;
  for (const char* c = chosen;; ++c) {
    if (*c == ',' || *c == '\0') {
      if (!mode.empty()) modes.push_back(mode);
      mode.clear();
      if (*c == '\0') break;
    } else {
      mode += *c;
    }
  }
  return modes;
}

void DriverTest::ExpectPristine(const std::string& what, bool stale_tail_allowed) {
  ModLog log;
  log.LogPath = game_ + "/mods.log";
  fixtures::RecordingMessages messages;
  const GameFiles files = MakeGameFiles(game_ + "/", game_ + "/");
  ASSERT_FALSE(ReadModLog(log, files, messages)) << what;
  EXPECT_EQ(log.ModCount(), 0) << what;
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

}  // namespace tarnwick
