// The gunship of the night escape: it hovers after the player, holds a
// height over the ground, over him or over one of three hover spots, faces
// him, spins its rotors and carries up to two shooting gunners.  Bullets
// wear it down; at zero strength it stops following.
#pragma once

#include "ZevEngine2/Object.h"
#include "game/Guy.h"

class Enemy;

class Helicopter : public Object
{
public:
    enum { HM_FOLLOWING = 0, HM_DOWNED = 5 };
    static constexpr float kRing = 6.25f;             // its distance from the player
    static constexpr float kRotorStep = 0.418879f;    // radians a frame
    static constexpr float kMaxSpeed = 0.232833f;     // a frame
    static constexpr float kAboveGround = 0.9375f;
    static constexpr float kMaxClimb = 0.625f;        // the vertical goal's bound
    static constexpr int kHoverSpots = 3;

    static int staticmh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);
    // The height (y, down positive) it wants this frame.
    float GetDesiredHeight();

    VectorPos rvpPHLocs[kHoverSpots];
    VectorDir vdVel;
    Object* pobjMainBlade;
    Object* pobjTailBlade;
    float fMainBladeAng;
    float fTailBladeAng;
    s32 iSound;
    float fStrength;
    GHCache ghc;

private:
    void Init();
    void Frame();
    int Special(SpecialMessage* m);
};

int Helicopter_mh(Object* obj, OBJMESSAGE msg, void* data);

// Seats an enemy as gunner iAttachNum (0 or 1) at the helicopter's node
// 0x8000 + iAttachNum, shooting at the player; leftside is not used.  0.
int AttachEnemyToHelicopter(Enemy* enemy, Object* pobjCopter, int iAttachNum, bool leftside);
