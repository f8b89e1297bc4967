#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "manage/face_texts.h"
#include "manage/log_check.h"
#include "platform/host_path.h"
#include "platform/text_codec.h"

namespace tarnwick::cli {
namespace {

const char* KindName(LogFinding::Kind kind) {
  switch (kind) {
    case LogFinding::Kind::kArchiveShorter:
      return "archive_shorter";
    case LogFinding::Kind::kArchiveMissing:
      return "archive_missing";
    case LogFinding::Kind::kBackupMissing:
      return "backup_missing";
  }
  return "";
}

}  // namespace

int CommandRun::Verify() {
  if (!OpenGame()) return Finish(kExitRefused);
  const std::vector<LogFinding> findings = CheckAgainstLog(session_);
  nlohmann::json listed = nlohmann::json::array();
  for (const LogFinding& finding : findings) {
    nlohmann::json item = {{"kind", KindName(finding.kind)},
                           {"file", HostPath(finding.file)},
                           {"file_index", finding.file_index},
                           {"text", Cp1252ToUtf8(finding.text)}};
    if (finding.mod_number > 0) item["mod"] = finding.mod_number;
    listed.push_back(std::move(item));
    if (!line_.json) console_.PrintLine(Cp1252ToUtf8(finding.text));
  }
  result_["findings"] = std::move(listed);
  if (findings.empty()) {
    if (!line_.json) console_.PrintLine(kVerifiedText);
    return Finish(kExitOk);
  }
  Say(kDriftWarning);
  return Finish(kExitRefused);
}

}  // namespace tarnwick::cli
