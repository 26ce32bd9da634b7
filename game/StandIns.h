// Services of parts of the game that are not built yet, each a minimal
// stand-in that says once, when first used, that it answered.  Each owner
// replaces its part here when it lands: the game controller's screen flash
// and points (the game flow), the characters' special-message codes.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/PS2/Image.h"
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
    Object* lastGetOut = nullptr;   // the player last told to leave his car
    int nGetOuts = 0;
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

// The player leaves the car he sits in: the call is noted for the tests and
// passed to the player's own getting out when it is the player (the car
// entry and exit code takes the call over when it lands).
void DaceGetOut(Object* player);

// What the fist fight asks of its foes (the enemies replace these with
// their own attackmode and fightpos fields): kept here for up to 64 foes.
void SetFoeAttackMode(Object* foe, AttackMode m);
AttackMode FoeAttackMode(Object* foe);
void SetFoeFightPos(Object* foe, VectorPos p);
VectorPos FoeFightPos(Object* foe);
// What a generator makes of its enemy (the enemies replace these with their
// own fields and start calls): kept here for up to 64 enemies.
class Spline;
struct EnemyOrders
{
    int shootweapontype, fightweapontype, style, charid, tintset;
    int behavior, hidebehavior;   // STATIONARY 0, MOVING 4, HIDING 5, SEE_MOVING 6
    float aggro, strength, maxwander;
    int vobank;
    Spline* arrivepath;
    Spline* movepath;
    bool seenbydace, duckfire, usefalldeath, isboss, ishostage, iscivilian;
    bool hibernating;   // u32BGFlags bit 0
    int delay;          // frames
    Object* gameeventobj;
};
enum EnemyStart
{
    ENEMY_SHOOT_WAIT,     // dormant: mode 0
    ENEMY_SHOOT_ARRIVE,   // mode 1
    ENEMY_SHOOT_COVER,    // the hiding shooter's cover or sniping: mode 2
    ENEMY_FIGHT_START,    // mode 21
    ENEMY_FIGHT_WAIT,     // mode 22
    ENEMY_GUARD_CHECK,    // at a check point: mode 30
    ENEMY_GUARD_PATROL,   // along its path: mode 31
    ENEMY_GUARD,          // standing guard: mode 32
};
void GiveEnemyOrders(Object* enemy, const EnemyOrders& o);
const EnemyOrders* EnemyOrdersOf(Object* enemy);
void StartEnemy(Object* enemy, EnemyStart how);
// Enemy::Hibernate / Enemy::UnHibernate.
void SetEnemyHibernating(Object* enemy, bool asleep);




// The parameter records of the story's game modes still without their
// controllers, as the mission steps fill them; each controller takes its own
// over when it lands.
struct EnemyGenRunner_params;
struct TailMissionParams
{
    EnemyGenRunner_params* pegrp;
    int iPHId;
    int iTargetId;
    float tooclose;
    float tooclosetime;
    float toofar;
    float toofartime;
    bool bAbortOnDetection;
    const char* destname;
};
struct PursuitMissionParams
{
    EnemyGenRunner_params* pegrp;
    int i32RunnerId;
    int targetid;
    float maxcarradius;
    float maxfootradius;
    const char* targetname;
};
struct EscapeMissionParams
{
    float far_escape;
    int fartime;
    float close;
    float tooclose;
    int i32NumBadGuyGens;
    BadGuyGenInfo* pbggi;
};
struct InfiltrateMissionParams
{
    const char* targetname;
};

// Says once per name that a stand-in answered.
void StandInUsed(const char* what);


// The runner's choice of what to do when stopped (Enemy::SelectStoppedStrategy),
// asked of a runner just made from a pedestrian; the runners take it over.
class Enemy;
void RunnerSelectStoppedStrategy(Enemy* runner);
