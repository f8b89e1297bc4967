#pragma once

// The registry keys belong to finding the game, which both faces share.
#include "manage/game_session.h"
