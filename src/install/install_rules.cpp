#include "install/install_rules.h"

#include "common/game_files.h"

namespace tarnwick {

bool CcArchiveById(int archive, int32_t id) {
  switch (archive) {
    case kGraphicsDrs:
      return id > 3261;
    case kInterfacDrs:
      return id > 53213 || id == 51107 || id == 51108 || id == 51127 || id == 51128 ||
             id == 51147 || id == 51148;
    case kSoundsDrs:
      return id > 8797 || (id >= 6613 && id <= 6632);
    case kTerrainDrs:
      return id > 15039;
    default:
      return false;
  }
}

ArchiveChoice ChooseArchive(uint8_t archive_number, int32_t id, bool cc_present) {
  if (archive_number > 4) return {};
  // Game data follows the edition alone; the other archives follow the id.
  const bool to_cc =
      archive_number == kGamedataDrs ? cc_present : CcArchiveById(archive_number, id);
  return {archive_number + (to_cc ? kCcOffset : 0), to_cc && archive_number != kGamedataDrs};
}

int ReplacementTargetIndex(uint8_t target_code) {
  switch (target_code) {
    case 6:
      return kLanguageDll;
    case 8:
      return kLanguageDll + kCcOffset;
    case 9:
      return kGenieDat;
    case 10:
      return kGenieDat + kCcOffset;
    case 11:
      return kGameExe;
    case 12:
      return kGameExe + kCcOffset;
    default:
      return -1;
  }
}

int IconArchiveIndex(bool cc_present) {
  return cc_present ? kInterfacDrs + kCcOffset : kInterfacDrs;
}

int IconCivCount(bool cc_present) { return cc_present ? 8 : 6; }

int32_t IconSpriteId(int32_t icon_set, int c, bool cc_present) {
  switch (icon_set) {
    case 0:
      return (cc_present ? 53251 : 50734) + c;
    case 1:
      return (cc_present ? 53241 : 50705) + c;
    case 2:
      return (cc_present ? 53261 : 50690) + c;
    case 3:
      return 50721;
    default:
      return 0;
  }
}

int32_t IconSetOf(int32_t civ_mask) {
  // The low byte is cleared first so that the division is exact for negative masks too.
  return static_cast<int32_t>(civ_mask & ~0xFF) / 256;
}

}  // namespace tarnwick
