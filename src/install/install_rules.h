#pragma once

#include <cstdint>

// The installer's decisions that depend only on a package row and the game's edition: which
// archive a resource lands in, which file a replacement names, which sprites an icon row
// rebuilds. The handlers, the plan and the packer's checks all ask here.
namespace tarnwick {

// Whether a resource for archive number `archive` (1 to 4) with this id belongs to the Clone
// Campaigns archive; the expansion's resources were numbered above the base game's.
[[nodiscard]] bool CcArchiveById(int archive, int32_t id);

// The GameFiles index of the archive a normal resource goes to (archive number 0 to 4), and
// whether that archive is the expansion's. -1 for an archive number above 4.
struct ArchiveChoice {
  int index = -1;
  bool needs_cc = false;
};
[[nodiscard]] ArchiveChoice ChooseArchive(uint8_t archive_number, int32_t id, bool cc_present);

// The GameFiles index that a replacement's targetCode names, or -1.
[[nodiscard]] int ReplacementTargetIndex(uint8_t target_code);

// Backup names carry three digits.
inline constexpr int32_t kHighestBackup = 999;

// Civilisation icons: the interface archive they live in and how many civilisations it has.
[[nodiscard]] int IconArchiveIndex(bool cc_present);
[[nodiscard]] int IconCivCount(bool cc_present);
// Archive id of civilisation c's sprite in an icon set, or 0 for a set that does not exist.
[[nodiscard]] int32_t IconSpriteId(int32_t icon_set, int c, bool cc_present);
// The icon set of a civMask: bits 8 and up, as a signed number.
[[nodiscard]] int32_t IconSetOf(int32_t civ_mask);

}  // namespace tarnwick
