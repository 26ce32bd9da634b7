// Helpers the fist fighter's files share.
#pragma once

#include "game/BadGuy.h"
#include "ZevEngine2/PS2/Image.h"

struct AnimEventMessage;

namespace fighter {

// The codes of the melee and grab protocol with the player.
enum : int
{
    SMSG_GRABBED = 31,
    SMSG_RELEASED = 32,
    SMSG_EV_PLAYER_BLOW_LANDED = 23003,
    SMSG_EV_ATTACK_BLOCKED = 23009,
    SMSG_EV_FRONT_ANIM = 23049,
    SMSG_EV_PLAYER_ANIM_EVENT = 23059,
};

constexpr Colour kFlashGrey(0x80, 0x80, 0x80, 0x80);

// One draw: (rand() & 0x7FFF) below p (clamped to 0..1) times 32768.
bool Chance(float p);
bool IsLowStance(u16 a);
bool IsHighStance(u16 a);
bool IsHeld(u16 a);
bool IsDeadOrHeld(u16 a);
bool IsFloored(u16 a);
// The target is the player and he is in a move that must not be answered.
bool PlayerBusy(const Object* target);
bool PlayerUnattackable(u16 playeranim);
void FighterAnimEvent(Enemy* e, AnimEventMessage* m);
// Tells the event object, then (when it does not take it) the target, that
// the fighter's current animation is an attack.
void AnnounceAttack(Enemy* e);

}  // namespace fighter
