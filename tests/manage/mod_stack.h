#pragma once

#include <string>
#include <vector>

#include "common/game_files.h"
#include "fixtures/files.h"
#include "fixtures/recording_messages.h"
#include "ledger/ledger.h"
#include "manage/remove_any.h"
#include "modlog/mod_log.h"
#include "sample_game.h"

namespace tarnwick {

// The sample game in a fresh folder, with the stack packages written beside it, and the
// operations run on it in this process as the window runs them.
class ModStack {
 public:
  // Without Clone Campaigns, its files stay in the folder and the installs leave them alone.
  explicit ModStack(const std::string& root, bool cc_present = true);

  // Lays the untouched game out again (Tarnwick's folder gone too).
  void Reset();
  // Installs package `which` of StackPackages(), or the package file at `path`; false when the
  // install failed.
  bool Install(int which) { return InstallFile(Package(which)); }
  bool InstallFile(const std::string& path);
  ModLog ReadLog();
  Ledger ReadLedger();
  RemovalPlan Plan(int32_t target, const std::vector<SuppliedPackage>& supplied = {});
  RemovalOutcome Apply(const RemovalPlan& plan);
  // Every game file, backup and mods.log: what a player's game holds, without Tarnwick's folder.
  Snapshot GameBytes() const;
  std::string KeptPackage(int32_t position);
  // The file of package `which` of StackPackages().
  const std::string& Package(int which) const { return packages_.at(static_cast<size_t>(which)); }

  const std::string& folder() const { return folder_; }
  const GameFiles& files() const { return files_; }
  fixtures::RecordingMessages messages;

 private:
  std::string folder_;
  std::vector<std::string> packages_;
  GameFiles files_;
  bool cc_present_;
};

}  // namespace tarnwick
