#include "mod_stack.h"

#include "manage/install_package.h"
#include "package/package.h"

namespace tarnwick {

ModStack::ModStack(const std::string& root, bool cc_present)
    : folder_(root + "/game"), cc_present_(cc_present) {
  const std::vector<std::string> packages = StackPackages();
  for (size_t i = 0; i < packages.size(); ++i) {
    packages_.push_back(root + "/mod" + std::to_string(i) + ".mpi");
    fixtures::WriteAll(packages_.back(), packages[i]);
  }
  files_ = MakeGameFiles(folder_ + "/", folder_ + "/");
  Reset();
}

void ModStack::Reset() { LayOut(folder_, SampleGame()); }

bool ModStack::InstallFile(const std::string& path) {
  PackageHeader header;
  if (ReadPackage(path, header) != PackageRead::kValid) return false;
  ModLog log = ReadLog();
  return !InstallPackage(path, header, log, files_, cc_present_, messages, nullptr);
}

ModLog ModStack::ReadLog() {
  ModLog log;
  log.LogPath = folder_ + "/mods.log";
  (void)ReadModLog(log, files_, messages);
  return log;
}

Ledger ModStack::ReadLedger() {
  Ledger ledger;
  (void)LoadLedger(LedgerPathsFor(folder_ + "/mods.log"), ledger);
  return ledger;
}

RemovalPlan ModStack::Plan(int32_t target, const std::vector<SuppliedPackage>& supplied) {
  return PlanRemoval(ReadLog(), files_, cc_present_, ReadLedger(), target, supplied);
}

RemovalOutcome ModStack::Apply(const RemovalPlan& plan) {
  ModLog log = ReadLog();
  return ApplyRemoval(plan, log, files_, cc_present_, messages, nullptr);
}

Snapshot ModStack::GameBytes() const {
  Snapshot bytes = ReadFolder(folder_);
  for (auto it = bytes.begin(); it != bytes.end();) {
    it = it->first.starts_with("tarnwick/") ? bytes.erase(it) : std::next(it);
  }
  return bytes;
}

std::string ModStack::KeptPackage(int32_t position) {
  for (const LedgerRecord& record : ReadLedger().records) {
    if (record.position == position) {
      return KeptPackagePath(LedgerPathsFor(folder_ + "/mods.log"), record.package);
    }
  }
  return {};
}

}  // namespace tarnwick
