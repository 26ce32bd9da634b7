// The special opponents: the mannequin that shoots back on the practice
// range, and the mutant, the leaping melee creature.  Both are made by their
// generators by kind name ("Mannequin", "Mutant").
#pragma once

#include "game/EntParams.h"
#include "game/Guy.h"

class Spline;
class CollisionRecord;

// The reply to OM_CREATE of a creature of class T: a new zero-filled T with
// the handler mh and no icon, a character; 0 without memory.
template <class T>
int NewCreatureReply(OBJMESSAGEHANDLER mh)
{
    T* c = new T;
    if (c == nullptr)
        return 0;
    c->messagehandler = mh;
    c->ptexIcon = nullptr;
    c->type = OBJT_CHARACTER;
    return int(reinterpret_cast<intptr_t>(c));
}

class Mannequin : public Guy
{
public:
    static int Mannequin_mh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);

    MannequinShooter_params* ptmp;
    int state;         // 0 arriving, 1 aiming and firing, 2 going down
    u16 stateFrame;
    int round;
    u8 bRecoil;
    u16 recoilFrame;
    float aggro;       // lengthens the fire interval
    u8 fire;
    float fCurPathT;
    Object* pTarget;   // the player's aim point
    Object* pTorso;
    float fTorsoAngle; // pi/2 folded flat, 0 upright
    Object* pArm;
    float fArmAngle;   // 0 hanging down, pi/2 level
    Spline* arrivepath;
    Object* gameeventobj;

private:
    void Restart();
    void Frame();
    void Fire(float a);
    void BulletHit(Object* bullet);
};

// The flying opponent of the demon fight: it waits hidden high above the
// arena, climbs when its stage starts, circles the centre and swoops at the
// player while it is in front of the camera.
class Demon : public Guy
{
public:
    enum eDemonState {
        DEMON_WAIT, DEMON_ACTIVATE, DEMON_FOLLOW, DEMON_FLY, DEMON_ATTACK,
        DEMON_RETURN, DEMON_RECOIL, DEMON_DYING, DEMON_DEAD
    };
    static int Demon_mh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);
    void Init();
    void Frame();
    void Collision(CollisionRecord* rec);

    int state;
    float stateFrame;
    float curAngle;
    float curRadius;
    float deltaAngle;
    float deltaRadius;
    VectorPos vpTarget;
    VectorPos vpAccel;
    Object* pGlow1;
    Object* pGlow2;
    Object* gameeventobj;

private:
    void Fly();
    void Glows();
    void BulletHit(Object* bullet);
};

// The dragon: it hovers over the arena centre, rising and sinking, and now
// and then breathes flame and spits two fireballs at the player.
struct MDLFILE;
class Dragon : public Guy
{
public:
    enum eDragonState { DRAGON_UP, DRAGON_DOWN, DRAGON_ATTACKING, DRAGON_RECOIL, DRAGON_DYING, DRAGON_DEAD };
    static int Dragon_mh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);
    void Init();
    void Frame();

    int state;
    float stateFrame;
    bool bCanFire;
    Object* pHead;
    Object* pJaw;
    NODE* pNostrilR;
    NODE* pNostrilL;
    NODE* pMouth;
    Object* pNodeHolder[3];   // the objects the three nodes hang from
    MDLFILE* pmfFireball;
    Object* gameeventobj;

private:
    void BulletHit(Object* bullet);
    void Spin(float rate);
    VectorPos MouthPos() const;
};

// A model file read whole from the disc and set up, without textures; null,
// said once per name, when it is missing or not a model file.  Freed with
// FreeLoadedModel, which holds the data until the frames that may draw it
// have been drawn.
MDLFILE* LoadWholeModel(const char* path);
void FreeLoadedModel(MDLFILE*& mf);

// The mutant: a crouching, leaping melee creature whose state is the
// animation it plays (Guy::mode2).
struct AnimChar;
class Mutant : public Guy
{
public:
    enum MutantModes { MODE_NORMAL, MODE_GETUP, MODE_LEAP };
    enum MutantAnims {
        COMBAT_IDLE_ANI, COMBAT_IDLE_SPECIAL_ANI, COMBAT_IDLE_DUCK_ANI, COMBAT_IDLE_DUCK_ASSUME_ANI,
        COMBAT_FWD_ANI, COMBAT_KILLED_ANI, COMBAT_ATTACK_1_ANI, COMBAT_ATTACK_2_ANI, COMBAT_JUMP_ATTACK_ANI,
        COMBAT_JUMP_ATTACK_INAIR_ANI, COMBAT_JUMP_ATTACK_INAIR_KILLED_ANI, COMBAT_JUMP_ATTACK_STRIKE_ANI,
        COMBAT_IDLE_RECOIL_ANI, NUM_MUTANT_ANIMS
    };
    static const float AttackRingInner;
    static const u16 AnimDefs[NUM_MUTANT_ANIMS][3];
    static AnimChar* Anims[NUM_MUTANT_ANIMS];

    static int Mutant_mh(Object* o, OBJMESSAGE msg, void* data);
    int mh(OBJMESSAGE msg, void* data);
    void Init();
    void Frame();
    void AnimLoop();
    void Collision(CollisionRecord* rec);
    bool TargetInView();

    float stateFrame;
    Object* pTarget;
    Object* pRange;
    bool fadedeath;
    u32 deathtime;
    float jumpframe;
    VectorDir vdFallSpeed;
    float aggro;
    float maxwander;
    float animspeed;
    VectorDir pathdir;
    float patht;
    Spline* arrivepath;
    Spline* movepath;
    Object* gameeventobj;

private:
    void Start(int slot);       // cross-fade over 5 frames
    void Set(int slot);
    void Die();
    void Swipe();
    float Ground() const;
    float DistToPlayer() const;
    void TurnToPlayer();
    void Fade(void* rc);
};
