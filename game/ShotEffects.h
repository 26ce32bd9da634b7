// What shots leave behind: spent cases, the sniper's laser beam, bullet
// holes, blood splats, and guns dropped in the world.  Each is an object with
// a handler of its own; the kinds are registered by name with the bullets.
#pragma once

#include "game/Weapons.h"

// A spent case: flies out of the chamber, falls, bounces and clinks.
class Casing : public Object
{
public:
    VectorDir vel;
    VectorDir rotvel;          // drawn at each bounce; the case is not turned by it
    VectorPos vpGroundPos;     // only y: the level it lands on
    u16 sfxbank, sfxindex;     // landing sound; 0xFFFF: none

    // The vertical-blank count of the last landing sound of any case.
    static u32 lastsfxcount;

    void Init();
    int mh(OBJMESSAGE msg, void* extra);
    // Always false: a case survives its contacts.
    bool Collision(VectorDir normal, float colldepth);
    static int Casing_mh(Object* obj, OBJMESSAGE msg, void* extra);
};

// A sniper's beam, stretched each frame to the first thing it meets.  Its
// owner attaches it at the gun's muzzle and sends it its frames.
class LaserSight : public Object
{
public:
    static const float MaxSightDist;
    static const float NormalScaleLength;   // the beam model's length at scale 1

    void Init();
    int mh(OBJMESSAGE msg, void* extra);
    static int LaserSight_mh(Object* obj, OBJMESSAGE msg, void* extra);
};

// A decal stuck to the struck object until its timer.
class BulletHole : public Object
{
public:
    VectorDir vel;
    VectorDir rotvel;
    u16 sfxbank, sfxindex;
    static u32 lastsfxcount;

    void Init();
    int mh(OBJMESSAGE msg, void* extra);
    static int BulletHole_mh(Object* obj, OBJMESSAGE msg, void* extra);
};

// A drop of blood flying on from a wound; on the first flat surface it
// becomes a decal, smaller the longer it flew.
class BloodSplat : public Object
{
public:
    using Impact = Bullet::Impact;
    Impact impact;
    s16 sourceid;
    VectorDir vel;
    VectorPos sourcePos;
    float scaleFactor;

    void Init();
    int mh(OBJMESSAGE msg, void* extra);
    static int BloodSplat_mh(Object* obj, OBJMESSAGE msg, void* extra);

private:
    int Frame();
};

// A gun lying in the world; the player takes its weapon (type OBJT_ICON,
// id -999) when he stands close enough.
class GunPickup : public Object
{
public:
    VectorDir vel;
    VectorDir rotvel;
    VectorPos vpGroundPos;     // only y: the level it settles on
    u16 sfxbank, sfxindex;     // always 0xFFFF: pickups land silently
    Weapon weapon;

    void Init();
    int mh(OBJMESSAGE msg, void* extra);
    // True when the pickup deleted itself (an empty gun at its first contact).
    bool Collision(VectorDir normal, float colldepth);
    static int GunPickup_mh(Object* obj, OBJMESSAGE msg, void* extra);

private:
    int Frame();
};

int flashmh(Object* f, OBJMESSAGE msg, void* extra);
// A hole at holemat (world placement, z into the surface) under parent; false
// without a parent, the kind or the model file.
bool CreateHole(Object* parent, const Matrix& holemat, MDLFILE* holemdlfile, unsigned int holemdlindex, int lifetime);
// A splat flying on from vpStart along the bullet's path; false without the
// kind or the blood model file.
bool CreateSplat(Bullet* srcBullet, VectorPos vpStart, int lifetime);
// A dropped gun of the weapon's model; null without the kind or a gun model.
GunPickup* CreateGunPickup(const Matrix& startmat, VectorDir vel, Weapon* pWeapon, int lifetime);

// The contact rule bullets and splats share: ignored contacts, the nearest
// along the flight within one pass, placeholders grazed and not struck, the
// point where the corner-to-corner ray enters the other object.
void TakeContact(Object* self, Bullet::Impact& impact, s16 sourceid, CollisionRecord* rec, bool splat);
// Type, radius from the first box's corners, upright rows at the same
// position, frame calls, mode 0: what bullets and splats start as.
void ProjectileInit(Object* o);
// A random turn in radians, any angle alike.
float RandomTurn();
// Inside an interior (whose floor is the controller's interior height).
bool InInterior();
