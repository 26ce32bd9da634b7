// Services of parts of the game that are not built yet, each a minimal
// stand-in that says once, when first used, that it answered.  Each owner
// replaces its part here when it lands: the game controller (the screen
// flash), the characters (their special-message codes).
#pragma once

#include "ZevEngine2/Zev.h"

// The running game's controller: for now only what explosions ask of it.
// Replaced by the game flow's GameController.
struct GameControllerStandIn
{
    bool bEnableImpoundLots = false; // the 24/7 spots and impound lots are open
    int nScreenFlashes = 0;          // flashes asked for
    int lastFlashDuration = 0;       // frames
    u32 lastFlashColour = 0;         // colour word, red in the low byte

    // A full-screen flash of colour fading over duration frames.
    void ScreenFlash(int duration, u32 colour);
};
extern GameControllerStandIn* g_pgcTest;

// Special-message codes the characters answer (OM_SPECIAL).  Replaced by the
// characters' own message table.
enum
{
    SMSG_DAMAGE = 27,        // param 0: damage points
    SMSG_SET_ON_FIRE = 39,
    SMSG_KNOCKBACK = 80,     // params 0-2: the push
    SMSG_BULLET_HIT = 20464,
    SMSG_Q_COLLISION = 29005, // param 0: the CollisionRecord; the reply is the damage dealt
};

// Says once per name that a stand-in answered.
void StandInUsed(const char* what);
