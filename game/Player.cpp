// The player character's global.
#include "game/Player.h"

Dace* dace = nullptr;
