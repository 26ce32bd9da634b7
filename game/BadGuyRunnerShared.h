// What the runner's files share: the sub-object numbers of the rig, the
// flat-direction helpers and the event send.  Internal to the runner.
#pragma once

#include <cmath>

#include "game/BadGuy.h"
#include "game/Bystander.h"
#include "game/GameFlow.h"
#include "game/GameFEnt.h"
#include "game/QuadTree.h"

namespace runner {

using BA = BadGuyAnims;

enum
{
    SUB_LHAND = 0,
    SUB_RHAND = 1,
    SUB_LARM = 2,
    SUB_RARM = 3,
    SUB_LFOOT = 6,
    SUB_RFOOT = 7,
    SUB_EYE = 14,
    SUB_HEAD = 15,
    SUB_TORSO = 20,
    SUB_GRAB = 31,
};

constexpr int kGunSlot = 161;           // the enemies' gun file
constexpr float kNear2Ahead = 87.890625f;    // 9.375 squared
constexpr float kNear2Behind = 39.0625f;     // 6.25 squared

inline bool In(u16 a, BA lo, BA hi) { return a >= +lo && a <= +hi; }

inline VectorDir Flat(VectorDir d) { return VectorDir(d[0], 0.0f, d[2]); }

// The horizontal unit direction of d; zero when d has no horizontal part.
inline VectorDir FlatUnit(VectorDir d)
{
    d = Flat(d);
    const float l = Length(d);
    return l > 0.0f ? d * (1.0f / l) : VectorDir(0.0f, 0.0f, 0.0f);
}

inline VectorDir Forward(const Object* o) { return VectorDir(o->mat.z.xyz()); }

inline float Dist2(VectorPos a, VectorPos b)
{
    const VectorDir d = a - b;
    return Dot(d, d);
}

inline float FlatDist2(VectorPos a, VectorPos b) { return Flat(a - b).LengthSq(); }

// OM_SPECIAL {code, obj, p0, p1} to `to` (nothing when null); its reply.
inline int Send(Object* to, int code, Object* obj = nullptr, Variant p0 = 0, Variant p1 = 0)
{
    if (to == nullptr)
        return 0;
    SpecialMessage m(code, obj, p0, p1);
    return to->SendMessage(OM_SPECIAL, &m);
}

// A random crime is running: the game controller has its spawner.
inline bool RandomCrimeRunning() { return g_pgcTest != nullptr && g_pgcTest->prms != nullptr; }

// Builds the gun of model-file slot `slot` (its node of id 1) and hangs it
// at the owner's node `at`; null when the file or the node is missing.
Object* MakeHandGun(Object* owner, int slot, u16 nodeid, u16 at);

// Special-message codes of the runner's table.
enum : int
{
    SMSG_HIBERNATE = 22,
    SMSG_UNHIBERNATE = 23,
    SMSG_TACKLED = 24,
    SMSG_GIVE_UP = 30,
    SMSG_GRABBED = 31,
    SMSG_RELEASED = 32,
    SMSG_ATTACK_OBJECT = 50,
    SMSG_ATTACK_OBJECT_NODAMAGE = 51,
    SMSG_SHOOT_OBJECT = 52,
    SMSG_SHOOT_OBJECT_NODAMAGE = 53,
    SMSG_RUN_AWAY_FROM = 54,
    SMSG_HARASS_OBJECT = 55,
    SMSG_TAKE_HOSTAGE = 60,
    SMSG_ALLY_WITH = 61,
    SMSG_WANDER = 63,
    SMSG_GET_IN_CAR = 64,
    SMSG_CONGREGATE = 65,
    SMSG_SCOOT_OVER = 66,
    SMSG_REACT_TO = 67,
    SMSG_THREATEN = 68,
    SMSG_STOP_CAR = 88,
    SMSG_TURN_INTO_HOSTAGE = 89,
    SMSG_STRUGGLE_WITH = 90,
    SMSG_BAIL_OUT = 91,
    SMSG_SPOTTED_QUERY = 93,
    SMSG_BODY_SNATCH = 97,
    SMSG_SOFT_POPOUT = 99,
    SMSG_PLAYER_RGUN_FLAG_OFF = 131,
    SMSG_PLAYER_RGUN_FLAG_ON = 133,
    SMSG_EV_THREATENED = 23036,
    SMSG_Q_29004 = 29004,
};

}  // namespace runner
