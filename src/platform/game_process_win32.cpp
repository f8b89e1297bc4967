#include "platform/game_process.h"

namespace tarnwick {

// On Windows the running game holds its files without sharing, so opening them fails with a
// sharing violation on its own; no process search is needed.
bool GameIsRunning() { return false; }

}  // namespace tarnwick
