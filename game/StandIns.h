// Services of parts of the game that are not built yet, each a minimal
// stand-in that says once, when first used, that it answered.  Each owner
// replaces its part here when it lands: the game controller's screen flash
// and points (the game flow), the characters' special-message codes.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/PS2/Image.h"
#include "game/GameEvents.h"
#include "game/GameFEnt.h"
#include "game/GameFlow.h"

// What the stand-in services were asked last, for the stand-in scene and the
// tests to see.
struct StandInLog
{
    int nScreenFlashes = 0;
    float lastFlashFrames = 0.0f;
    Colour lastFlashColour;
    int points = 0;                 // the sum of AddPoints
    int nRepairs = 0;               // Vehicle::UnDamage calls
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
    SMSG_PED_DANGER = 59,    // to every pedestrian at each shot
    SMSG_KNOCKBACK = 80,     // params 0-2: the push
    SMSG_BULLET_HIT = 20464, // params: hit point, normal, struck part, precise
    SMSG_EV_BULLET_WHIZZ = 23048,
    SMSG_Q_COLLISION = 29005, // param 0: the CollisionRecord; the reply is the damage dealt
    SMSG_Q_RETICLE_POS = 29007, // param 0: VectorPos* for an offset in the target's frame; param 1: body part
    SMSG_Q_HUD_PLAYER = 29010,  // param 0: the sDaceGunInfo the player fills
};

// Screen texts are the HUD's (AddScreenText).
#include "game/HUD.h"


// The parameter records of the story's game modes still without their
// controllers, as the mission steps fill them; each controller takes its own
// over when it lands.
struct InfiltrateMissionParams
{
    const char* targetname;
};

// Says once per name that a stand-in answered.
void StandInUsed(const char* what);

