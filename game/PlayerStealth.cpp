// The player sneaking.  Until the stealth code lands, its frame says once
// that it stood in and only animates him where he stands.
#include "game/Player.h"

#include "game/StandIns.h"

void Dace::Frame_Stealth(PlayerController&)
{
    StandInUsed("the player's stealth frame");
    Animate();
}
