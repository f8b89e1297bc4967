#include "manage/install_package.h"

#include <vector>

#include "install/install.h"
#include "ledger/ledger.h"
#include "ledger/store_folder.h"
#include "manage/check_drift.h"
#include "manage/drift_texts.h"
#include "manage/mod_records.h"
#include "manage/start_over.h"
#include "modlog/removal.h"
#include "platform/binary_file.h"
#include "platform/failure.h"
#include "platform/file_system.h"
#include "platform/trace.h"

namespace tarnwick {
namespace {

// The install's own texts, since keeping the package is the install's first write.
constexpr char kGameRunning[] =
    "Error installing mod! Unable to continue. Make sure SWGB is not currently running.";
constexpr char kDiskFull[] = "Out of disk space! Unable to continue.";
constexpr char kGeneric[] = "Error installing mod! Unable to continue.";

const char* KeepFailureText(std::error_code error) {
  switch (ClassifyFailure(error)) {
    case FailureClass::kPermissionDenied:
      return kGameRunning;
    case FailureClass::kDiskFull:
      return kDiskFull;
    case FailureClass::kOther:
      break;
  }
  return kGeneric;
}

// A removal in progress, named by the newest entry's position and change digest, so that a
// removal cut off part-way can be finished although it left the files unlike the fingerprints.
std::string RemovalMarkPath(const LedgerPaths& paths) { return paths.folder + "removing"; }

std::string RemovalMarkText(const ModLog& log) {
  return std::to_string(log.ModCount()) + "\n" + ChangesDigest(log.Mods[log.ModCount()]) + "\n";
}

bool RemovalMarked(const LedgerPaths& paths, const ModLog& log) {
  if (log.ModCount() < 1 || !PathListed(RemovalMarkPath(paths))) return false;
  BinaryFile mark;
  int64_t length = 0;
  const std::string expected = RemovalMarkText(log);
  if (mark.Open(RemovalMarkPath(paths), OpenMode::kRead) || mark.Length(&length) ||
      length != static_cast<int64_t>(expected.size())) {
    return false;
  }
  std::string text(expected.size(), '\0');
  return !mark.ReadAt(0, text.data(), text.size()) && text == expected;
}

enum class Gate { kGoOn, kStop };

// Before an operation's first write: nothing drifted, or the player chose what to do.
Gate PassDriftCheck(ModLog& log, const GameFiles& game_files, const Ledger& ledger, bool removing,
                    Messages& messages, bool* started_over = nullptr) {
  std::vector<DriftFinding> findings = CheckDrift(log, game_files, ledger);
  if (removing && RemovalMarked(LedgerPathsFor(log.LogPath), log)) {
    ExcuseUnfinishedRemoval(log, findings);
  }
  if (findings.empty()) return Gate::kGoOn;
  const bool carry_on = CarryOnAllowed(findings, log);
  std::vector<std::string> choices = {kDriftCancelChoice, kDriftStartOverChoice};
  if (carry_on) choices.push_back(kDriftCarryOnChoice);
  const int choice = messages.Choose(kDriftTitle, DriftMessage(findings, carry_on), choices, 0);
  if (choice == 2 && carry_on) {
    TraceLog("Drift: carrying on");
    return Gate::kGoOn;
  }
  if (choice != 1) {
    TraceLog("Drift: cancelled");
    return Gate::kStop;
  }
  if (auto error = StartOver(log, game_files, messages)) {
    TraceLog("Start over failed - " + error.message());
    messages.Error(kStartOverFailed);
    return Gate::kStop;
  }
  messages.Information(kDriftTitle, kStartedOverText);
  if (started_over != nullptr) *started_over = true;
  // A removal has nothing left to remove; an install goes on with the fresh log.
  return removing ? Gate::kStop : Gate::kGoOn;
}

}  // namespace

bool InstallPackage(const std::string& package_path, const PackageHeader& header, ModLog& log,
                    const GameFiles& game_files, bool cc_present, Messages& messages,
                    Progress* progress, const InstallTuning& tuning) {
  const LedgerPaths paths = LedgerPathsFor(log.LogPath);
  Ledger ledger = OpenLedger(paths, messages);
  bool started_over = false;
  if (PassDriftCheck(log, game_files, ledger, false, messages, &started_over) == Gate::kStop) {
    return true;
  }
  // The records are new too.
  if (started_over) ledger = OpenLedger(paths, messages);
  // Left by a removal that was finished by another installer; it must not excuse a later entry.
  (void)DeleteFile(RemovalMarkPath(paths));
  std::vector<unsigned char> buffer(kHashBufferSize);
  std::string hash;
  if (auto error = KeepPackage(paths, package_path, buffer, hash)) {
    TraceLog("Package could not be kept - " + error.message());
    messages.Error(KeepFailureText(error));
    return true;
  }
  const bool failed = InstallModTuned(package_path, header, log, game_files, cc_present, messages,
                                      progress, tuning);
  // A failed install leaves its incomplete entry for removal; it gets no record.
  RecordLedger(log.LogPath, ledger, game_files, failed ? std::string() : hash);
  return failed;
}

bool RemoveLatest(ModLog& log, const GameFiles& game_files, Messages& messages) {
  const LedgerPaths paths = LedgerPathsFor(log.LogPath);
  Ledger ledger = OpenLedger(paths, messages);
  // The check reads the log removal will read; one that is missing or damaged is removal's to
  // report, and reading a missing one would create it.
  ModLog on_disk;
  on_disk.LogPath = log.LogPath;
  QuietMessages silent;
  bool marked = false;
  if (PathListed(log.LogPath) && !ReadModLog(on_disk, game_files, silent) &&
      on_disk.ModCount() > 0) {
    if (PassDriftCheck(on_disk, game_files, ledger, true, messages) == Gate::kStop) {
      log = on_disk;
      return true;
    }
    // Durable before the first byte of the game is written back.
    marked = !CreateFolderDurably(paths.folder) &&
             !SaveLedgerFile(RemovalMarkPath(paths), RemovalMarkText(on_disk));
  }
  const int32_t before = on_disk.ModCount();
  RemoveLatestMod(log, game_files, messages);
  // What counts is the log on disk: a save that failed leaves the entry there, to be finished.
  ModLog after;
  after.LogPath = log.LogPath;
  const bool removed = PathListed(log.LogPath) && !ReadModLog(after, game_files, silent) &&
                       after.ModCount() < before;
  RecordLedger(log.LogPath, ledger, game_files, std::string());
  if (marked && removed) (void)DeleteFile(RemovalMarkPath(paths));
  return !removed;
}

}  // namespace tarnwick
