#include "app/installer_state.h"
#include "app/reg_keys.h"
#include "platform/file_system.h"
#include "platform/registry.h"

namespace tarnwick {

void getGamePath(InstallerState& state) {
  state.CCPresent = false;
  state.GamePath = ReadRegString(RegRoot::kLocalMachine, kCcRegKey, kGamePathValue);
  if (state.GamePath.empty() || !PathListed(state.GamePath)) {
    state.GamePath = ReadRegString(RegRoot::kLocalMachine, kBaseRegKey, kGamePathValue);
  } else {
    state.CCPresent = true;
  }
}

}  // namespace tarnwick
