// Services of parts of the game that are not built yet, each a minimal
// stand-in that says once, when first used, that it answered.  Each owner
// replaces its part here when it lands: the game controller's screen flash
// and points (the game flow), the characters' special-message codes.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/PS2/Image.h"
#include "game/GameFlow.h"

// What the stand-in services were asked last, for the stand-in scene and the
// tests to see.
struct StandInLog
{
    int nScreenFlashes = 0;
    float lastFlashFrames = 0.0f;
    Colour lastFlashColour;
    int points = 0;                 // the sum of AddPoints
};
extern StandInLog standInLog;

// The game controller, made (zero-filled, with no script) when there is
// none yet.  The game flow makes it at start-up once it runs the game.
GameController* StandInController();

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
