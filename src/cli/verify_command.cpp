#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "manage/drift_texts.h"
#include "manage/verify_game.h"
#include "platform/host_path.h"
#include "platform/text_codec.h"

namespace tarnwick::cli {
namespace {

const char* KindName(DriftKind kind) {
  switch (kind) {
    case DriftKind::kArchiveShorter:
      return "archive_shorter";
    case DriftKind::kArchiveMissing:
      return "archive_missing";
    case DriftKind::kArchiveLonger:
      return "archive_longer";
    case DriftKind::kDirectoryChanged:
      return "directory_changed";
    case DriftKind::kFileChanged:
      return "file_changed";
    case DriftKind::kFileMissing:
      return "file_missing";
    case DriftKind::kBackupChanged:
      return "backup_changed";
    case DriftKind::kBackupMissing:
      return "backup_missing";
  }
  return "";
}

}  // namespace

int CommandRun::Verify() {
  if (!OpenGame()) return Finish(kExitRefused);
  const GameVerification verified = VerifyGame(session_, messages_);
  nlohmann::json findings = nlohmann::json::array();
  for (const DriftFinding& finding : verified.findings) {
    nlohmann::json item = {{"kind", KindName(finding.kind)},
                           {"file", HostPath(FindingPath(finding, session_.GameFiles))},
                           {"file_index", finding.file_index},
                           {"text", Cp1252ToUtf8(DriftSentence(finding))}};
    if (finding.backup >= 0) item["backup"] = finding.backup;
    findings.push_back(std::move(item));
  }
  nlohmann::json files = nlohmann::json::array();
  for (const VerifiedFile& file : verified.files) {
    files.push_back({{"name", file.name}, {"file", HostPath(file.path)}, {"state", file.state}});
    if (line_.json) continue;
    std::string line = file.name;
    line.resize(std::max<size_t>(line.size() + 2, 22), ' ');
    console_.PrintLine(line + file.state);
    for (const std::string& note : file.notes) console_.PrintLine("  " + Cp1252ToUtf8(note));
  }
  nlohmann::json mods = nlohmann::json::array();
  for (const InstalledMod& mod : verified.mods) {
    mods.push_back({{"number", mod.number},
                    {"title", Cp1252ToUtf8(mod.title)},
                    {"package_kept", mod.package_kept}});
    if (line_.json) continue;
    console_.PrintLine("Mod " + std::to_string(mod.number) + ": " + Cp1252ToUtf8(mod.title) +
                       (mod.package_kept ? " (package kept)" : " (package not kept)"));
  }
  result_["findings"] = std::move(findings);
  result_["files"] = std::move(files);
  result_["mods"] = std::move(mods);
  result_["fingerprints_checked"] = verified.fingerprints_apply;
  if (verified.fingerprints_stale) Say(kFingerprintsStale);
  if (verified.findings.empty()) return Finish(kExitOk);
  Say(kDriftCause);
  return Finish(kExitRefused);
}

}  // namespace tarnwick::cli
