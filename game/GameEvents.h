// The codes by which the game flow, the mode controllers, the level entities
// and the characters talk about the running game mode (OM_SPECIAL), and the
// game events that characters report up their chain of event objects.
#pragma once

// The game-mode protocol.
enum {
    SMSG_MODE_START = 28001,          // obj: the current controller; param0: the game mode
    SMSG_MODE_END = 28002,            // obj: the ending controller
    SMSG_MODE_FINISHED = 28003,       // obj: the controller; the mode is won
    SMSG_MODE_GET_STAGE = 28004,      // reply: the current stage
    SMSG_MODE_SET_STAGE = 28005,      // param0: the new stage
    SMSG_MODE_FOE_REMOVED = 28006,    // obj: the enemy; param0: its stage
    SMSG_MODE_FOE_ADDED = 28007,      // obj: the enemy; param0: its stage
    SMSG_MODE_EPILOGUE = 28008,       // as SMSG_MODE_START, the mode kept waiting
    SMSG_MODE_BODY_TIMEOUT = 28009,   // param0: the world frame a body fades from
};

// Game events: every code of this range is passed on, unchanged, up the
// chain of event objects to the running controller and the game flow.
enum {
    SMSG_EV_FIRST = 23000,
    SMSG_EV_HIT_UNBLOCKED = 23005,
    SMSG_EV_CHARACTER_DIED = 23006,   // obj: the character
    SMSG_EV_ATTACK_STARTED = 23007,
    SMSG_EV_TARGET_SPOTTED = 23012,
    SMSG_EV_TARGET_LOST = 23013,
    SMSG_EV_ADD_PASSIVE_FOE = 23016,
    SMSG_EV_ENEMY_SUBDUED = 23018,    // obj: the character
    SMSG_EV_ENEMY_REMOVED = 23020,    // obj: the enemy, from its OM_DIE
    SMSG_EV_ENEMY_MORPHED = 23042,    // obj: the enemy; param0, param1: its old and new kind
    SMSG_EV_PLAYER_FIRED = 23021,
    SMSG_EV_PLAYER_GUN_JUMP = 23022,
    SMSG_EV_PLAYER_GUN_MODE = 23023,
    SMSG_EV_PLAYER_RESURRECTED = 23054,   // obj: the player
    SMSG_EV_TARGET_REACHED = 23025,   // param0: the marker's id
    SMSG_EV_GATE_PASSED = 23028,      // a course's start gate gave the start signal
    SMSG_EV_TARGET_DOWN = 23038,      // obj: a practice target; param0: its hit put it down / the attack bit
    SMSG_EV_BULLSEYE = 23039,
    SMSG_EV_INNOCENT_HIT = 23040,     // obj: the no-shoot target
    SMSG_EV_TARGET_DONE = 23041,      // obj: the target whose run ended
    SMSG_EV_PLAYER_WARNING = 23044,
    SMSG_EV_PLAYER_SHOTS_A = 23045,
    SMSG_EV_PLAYER_SHOTS_B = 23046,
    SMSG_EV_PLAYER_COMBAT = 23047,
    SMSG_EV_RUNNER_REACT = 23060,     // obj: the runner
    SMSG_EV_ENEMY_OUT_OF_CAR = 23063, // obj: the runner
    SMSG_EV_TAIL_ABORTED = 23068,
    SMSG_EV_TAIL_SPOOKED = 23069,
    SMSG_EV_TAIL_FINISHED = 23070,
    SMSG_EV_RUN_TRANSITION = 23071,   // a runner reached the door of the car it takes
    SMSG_EV_BULLET_WHIZZ = 23048,
    SMSG_EV_LAST = 23100,
};

// What characters and struck objects are told and asked.
enum {
    SMSG_DAMAGE = 27,             // param0: damage points
    SMSG_SET_ON_FIRE = 39,
    SMSG_PED_DANGER = 59,         // to every pedestrian at each shot
    SMSG_KNOCKBACK = 80,          // params 0-2: the push
    SMSG_BULLET_HIT = 20464,      // params: hit point, normal, struck part, precise
};

// The player's own commands.
enum {
    SMSG_PLAYER_SET_MODE = 4701,      // param0 1: on foot
    SMSG_PLAYER_LEAVE_WALL = 7754,    // obj: the wall's spline
    SMSG_PLAYER_SET_CAMERA = 8000,    // obj: the DaceCamTrigger_params to take
    SMSG_PLAYER_REFRESH = 8004,       // full health, then a report to his event object
    SMSG_PLAYER_STAND_UP = 8005,
    SMSG_PLAYER_REGROUND = 8006,
};

// Questions objects answer about themselves.
enum {
    SMSG_Q_SHOOT_TARGET = 29003,      // 1: a gun target
    SMSG_Q_COLLISION = 29005,         // param0: the CollisionRecord; the reply is the damage dealt
    SMSG_Q_MELEE = 29006,             // 1: dazed
    SMSG_Q_HUD_STRENGTH = 29008,      // the reply: the hits it still takes before it is dazed
    SMSG_Q_HUD_STRENGTH_MAX = 29009,  // the reply: the hits that daze it when fresh
    SMSG_Q_RETICLE_POS = 29007,       // param0: VectorPos* for an offset in the target's frame; param1: body part
    SMSG_Q_HUD_PLAYER = 29010,        // param0: the sDaceGunInfo the player fills
};

// Told to a car's driver and to characters in the way: hold still (param0 1)
// or go on.
enum {
    SMSG_CD_SUSPEND = 101,
};

inline bool IsGameEvent(int code)
{
    return code >= SMSG_EV_FIRST && code <= SMSG_EV_LAST;
}
