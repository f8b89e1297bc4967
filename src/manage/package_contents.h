#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "package/package.h"

namespace tarnwick {

// A package chosen by its program path, read as "Open mod" reads it.
enum class PackageChoice { kChosen, kNotListed, kCannotOpen, kInvalid };
[[nodiscard]] PackageChoice ChoosePackage(const std::string& package_path, PackageHeader& header);

// The error box of a choice that failed (game text); empty for kChosen. The window's dialog only
// offers files that are there, so a missing file is one that cannot be opened.
[[nodiscard]] std::string PackageChoiceMessage(PackageChoice choice);

// One row of a package's table as a player reads it.
struct PackageRow {
  int number = 0;         // 1-based, install order
  std::string kind;       // "resource", "file" or "icons"
  int file_index = -1;    // GameFiles index it goes to; -1 when the row names none
  int32_t id = 0;         // resource id, or icon frame; 0 for a whole file
  int32_t size = 0;       // payload bytes
  bool needs_cc = false;  // belongs to Clone Campaigns, which this game lacks
};

[[nodiscard]] std::vector<PackageRow> DescribePackage(const PackageHeader& header, bool cc_present);

// The payload bytes of every row: what an install copies, near enough for a progress bar.
[[nodiscard]] int64_t PayloadBytes(const PackageHeader& header);

}  // namespace tarnwick
