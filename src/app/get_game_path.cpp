#include "app/installer_state.h"
#include "manage/game_session.h"

namespace tarnwick {

void getGamePath(InstallerState& state) {
  const FoundGame found = FindGame(ChosenGameLocation());
  state.GamePath = found.GamePath;
  state.CCPresent = found.CCPresent;
}

}  // namespace tarnwick
