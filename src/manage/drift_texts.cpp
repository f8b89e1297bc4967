#include "manage/drift_texts.h"

#include "modlog/mod_log.h"

namespace tarnwick {

std::string DriftSentence(const DriftFinding& finding) {
  const std::string name = GameFileName(finding.file_index);
  switch (finding.kind) {
    case DriftKind::kArchiveShorter:
      return name + " is shorter than Tarnwick left it.";
    case DriftKind::kArchiveMissing:
      return name + " is missing.";
    case DriftKind::kArchiveLonger:
      return name + " is longer than Tarnwick left it: another program added data to its end.";
    case DriftKind::kDirectoryChanged:
      return name + ": its directory was changed by another program.";
    case DriftKind::kFileChanged:
      return name + " was changed since Tarnwick left it.";
    case DriftKind::kFileMissing:
      return name + " is missing.";
    case DriftKind::kBackupChanged:
    case DriftKind::kBackupMissing: {
      const std::string backup =
          name + "." + ZeroPad(finding.backup, 3) + ", the backup of " + name + ",";
      return finding.kind == DriftKind::kBackupMissing
                 ? backup + " is missing."
                 : backup + " was changed since Tarnwick made it.";
    }
  }
  return name + " was changed.";
}

std::string DriftMessage(const std::vector<DriftFinding>& findings, bool carry_on_offered) {
  std::string text = "The game files changed since Tarnwick last wrote them:\n";
  for (const DriftFinding& finding : findings) text += "- " + DriftSentence(finding) + "\n";
  text += std::string("\n") + kDriftCause + "\n\n" + kDriftCancelText + "\n" + kDriftStartOverText;
  if (carry_on_offered) text += std::string("\n") + kDriftCarryOnText;
  return text;
}

}  // namespace tarnwick
