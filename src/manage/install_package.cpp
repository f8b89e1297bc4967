#include "manage/install_package.h"

#include <vector>

#include "install/install.h"
#include "ledger/ledger.h"
#include "manage/mod_records.h"
#include "modlog/removal.h"
#include "platform/failure.h"
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

}  // namespace

bool InstallPackage(const std::string& package_path, const PackageHeader& header, ModLog& log,
                    const GameFiles& game_files, bool cc_present, Messages& messages,
                    Progress* progress, const InstallTuning& tuning) {
  const LedgerPaths paths = LedgerPathsFor(log.LogPath);
  Ledger ledger = OpenLedger(paths, messages);
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

void RemoveLatest(ModLog& log, const GameFiles& game_files, Messages& messages) {
  Ledger ledger = OpenLedger(LedgerPathsFor(log.LogPath), messages);
  RemoveLatestMod(log, game_files, messages);
  RecordLedger(log.LogPath, ledger, game_files, std::string());
}

}  // namespace tarnwick
