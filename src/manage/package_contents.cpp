#include "manage/package_contents.h"

#include <algorithm>

#include "common/game_files.h"
#include "install/install_rules.h"
#include "platform/file_system.h"

namespace tarnwick {

PackageChoice ChoosePackage(const std::string& package_path, PackageHeader& header) {
  if (package_path.empty() || !PathListed(package_path)) return PackageChoice::kNotListed;
  switch (ReadPackage(package_path, header)) {
    case PackageRead::kCannotOpen:
      return PackageChoice::kCannotOpen;
    case PackageRead::kInvalid:
      return PackageChoice::kInvalid;
    case PackageRead::kValid:
      break;
  }
  return PackageChoice::kChosen;
}

std::string PackageChoiceMessage(PackageChoice choice) {
  switch (choice) {
    case PackageChoice::kNotListed:
    case PackageChoice::kCannotOpen:
      return "Error opening mod!";
    case PackageChoice::kInvalid:
      return "Specified MPI file is invalid or corrupted! Make sure you have the latest version "
             "of the mod installer.";
    case PackageChoice::kChosen:
      break;
  }
  return {};
}

std::vector<PackageRow> DescribePackage(const PackageHeader& header, bool cc_present) {
  std::vector<PackageRow> rows;
  const int count = std::min<int>(header.resourceCount, header.resources.size());
  for (int i = 1; i <= count; ++i) {
    const ResourceEntry& resource = header.resources[i];
    PackageRow row;
    row.number = i;
    row.size = resource.dataLength;
    switch (resource.typeCode) {
      case 5:
        row.kind = "file";
        row.file_index = ReplacementTargetIndex(resource.targetCode);
        row.needs_cc = row.file_index >= kCcOffset && !cc_present;
        break;
      case 6:
        row.kind = "icons";
        row.file_index = IconArchiveIndex(cc_present);
        row.id = resource.resourceId;
        break;
      default: {
        row.kind = "resource";
        const ArchiveChoice archive =
            ChooseArchive(resource.targetCode, resource.resourceId, cc_present);
        row.file_index = archive.index;
        row.needs_cc = archive.needs_cc && !cc_present;
        row.id = resource.resourceId;
        break;
      }
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

int64_t PayloadBytes(const PackageHeader& header) {
  int64_t total = 0;
  for (const ResourceEntry& resource : header.resources) {
    if (resource.dataLength > 0) total += resource.dataLength;
  }
  return total;
}

}  // namespace tarnwick
