// The player with his guns out.  Until the gun-mode code lands, its frame
// says once that it stood in and only animates him where he stands.
#include "game/Player.h"

#include "game/StandIns.h"

void Dace::Frame_GunMode(PlayerController&)
{
    StandInUsed("the player's gun-mode frame");
    Animate();
}

void Dace::GunReloadGuns() { StandInUsed("the player's picked-up gun reload"); }

void Dace::TakeProjectileDamage(float amount)
{
    StandInUsed("the player's bullet damage");
    TakeDamage(amount, 0);
}
