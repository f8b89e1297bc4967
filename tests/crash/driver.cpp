// Runs one installation or removal on a game folder as its own process, so that the crash tests
// can cut it off from outside. Messages go to standard error, one line each.
//
//   tarnwick-driver install GAME_FOLDER PACKAGE [--no-cc] [--batch N]
//   tarnwick-driver remove GAME_FOLDER [--no-cc]
//   tarnwick-driver remove-any GAME_FOLDER NUMBER [--no-cc]   plan and carry out, without asking
//   tarnwick-driver resume GAME_FOLDER [--no-cc]              finish a removal that was cut off
//
// GAME_FOLDER is a host path holding the game files flat (archives, data files, executables)
// and mods.log. Exit status: 0 done, 1 the program reported a failure, 2 bad usage.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "manage/install_package.h"
#include "manage/remove_any.h"
#include "modlog/mod_log.h"
#include "package/package.h"
#include "platform/file_system.h"

namespace {

class StderrMessages : public tarnwick::Messages {
 public:
  void Error(const std::string& text) override { Print("Error", text); }
  void Information(const std::string& title, const std::string& text) override {
    Print(title, text);
  }
  void Plain(const std::string& title, const std::string& text) override { Print(title, text); }
  bool Confirm(const std::string& title, const std::string& text) override {
    Print(title, text);
    return true;
  }
  // Drift is a refusal: the default (Cancel) and a failed run.
  int Choose(const std::string& title, const std::string& text, const std::vector<std::string>&,
             int default_choice) override {
    Print(title, text);
    failed = true;
    return default_choice;
  }
  bool failed = false;

 private:
  void Print(const std::string& title, const std::string& text) {
    std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
    failed = failed || title == "Error";
  }
};

}  // namespace

int main(int argc, char** argv) {
  tarnwick::IgnoreFileSizeSignal();
  if (argc < 3) return 2;
  const std::string command = argv[1];
  std::string folder = argv[2];
  if (folder.back() != '/') folder += '/';
  bool cc_present = true;
  tarnwick::InstallTuning tuning;  // --batch N: at most N resources per log save
  for (int i = 3; i < argc; ++i) {
    if (std::strcmp(argv[i], "--no-cc") == 0) cc_present = false;
    if (std::strcmp(argv[i], "--batch") == 0 && i + 1 < argc)
      tuning.batch_resources = std::atoi(argv[++i]);
  }
  const tarnwick::GameFiles game_files = tarnwick::MakeGameFiles(folder, folder);
  tarnwick::ModLog log;
  log.LogPath = folder + "mods.log";
  StderrMessages messages;
  if (tarnwick::ReadModLog(log, game_files, messages)) return 1;

  if (command == "install" && argc >= 4) {
    tarnwick::PackageHeader header;
    if (tarnwick::ReadPackage(argv[3], header) != tarnwick::PackageRead::kValid) {
      std::fprintf(stderr, "Error: package unreadable\n");
      return 1;
    }
    return tarnwick::InstallPackage(argv[3], header, log, game_files, cc_present, messages, nullptr,
                                    tuning)
               ? 1
               : 0;
  }
  if (command == "remove") {
    (void)tarnwick::RemoveLatest(log, game_files, messages);
    return messages.failed ? 1 : 0;
  }
  if (command == "remove-any" && argc >= 4) {
    tarnwick::Ledger ledger;
    (void)tarnwick::LoadLedger(tarnwick::LedgerPathsFor(log.LogPath), ledger);
    const tarnwick::RemovalPlan plan =
        tarnwick::PlanRemoval(log, game_files, cc_present, ledger, std::atoi(argv[3]));
    for (const std::string& line : tarnwick::Describe(plan)) {
      std::fprintf(stderr, "%s\n", line.c_str());
    }
    return tarnwick::ApplyRemoval(plan, log, game_files, cc_present, messages, nullptr) ==
                   tarnwick::RemovalOutcome::kDone
               ? 0
               : 1;
  }
  if (command == "resume") {
    const tarnwick::RemovalOutcome outcome =
        tarnwick::ResumeRemoval(log, game_files, cc_present, messages, nullptr);
    return outcome == tarnwick::RemovalOutcome::kDone ||
                   outcome == tarnwick::RemovalOutcome::kNoPlan
               ? 0
               : 1;
  }
  return 2;
}
