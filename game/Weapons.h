// The weapon record a gun arm carries, the weapons table, and the calls that
// put bullets, spent cases and muzzle flashes into the world.
//
// The objects shots leave behind are in ShotEffects.h.
#pragma once

#include "ZevEngine2/Object.h"

class CollisionRecord;

struct MDLFILE;

enum eWeaponType
{
    WEAP_DACE_DEF,
    WEAP_DACE_UPG1,
    WEAP_DACE_UPG2,
    WEAP_DACE_UPG3,
    WEAP_PISTOL_RUGER,
    WEAP_PISTOL_MATCH,
    WEAP_PISTOL_HUNTER,
    WEAP_PISTOL_TALLOWMERE,
    WEAP_SMG_G36,
    WEAP_SMG_MP5,
    WEAP_SMG_SPP,
    WEAP_SMG_UZI,
    WEAP_MG_AK47,
    WEAP_MG_AR15,
    WEAP_MG_AC556F,
    WEAP_MG_SG550,
    WEAP_SHOTG_M4SUPER,
    WEAP_SHOTG_SPAS12,
    WEAP_SHOTG_STSWEEPER,
    WEAP_SHOTG_SAWNOFF,
    WEAP_GREN_LAUNCH,
    WEAP_SNIPERRIFLE,
    WEAP_FIREBALL,
    WEAP_BLANK,
    WEAP_TENNISBALL,
    WEAP_TOTAL,
};

// Node ids of the guns inside the gun model files.  The player's gun file
// numbers its versions, the enemy gun file its kinds; which file a value
// refers to follows from the registry slot beside it.
enum eWeaponObjectIDs
{
    WEAP_ID_DACE_VER01 = 1,
    WEAP_ID_DACE_VER02,
    WEAP_ID_DACE_VER03,
    WEAP_ID_DACE_VER04,
    WEAP_ID_DACE_VER05,
    WEAP_ID_DACE_VER06,
    WEAP_ID_DACE_VER07,
    WEAP_ID_DACE_VER08,
    WEAP_ID_DACE_VER09,
    WEAP_ID_DACE_VER10,
    WEAP_ID_PISTOL_RUGER = 1,
    WEAP_ID_PISTOL_MATCH,
    WEAP_ID_PISTOL_HUNTER,
    WEAP_ID_PISTOL_TALLOWMERE,
    WEAP_ID_SMG_G36,
    WEAP_ID_SMG_MP5,
    WEAP_ID_SMG_SPP,
    WEAP_ID_SMG_UZI,
    WEAP_ID_MG_AK47,
    WEAP_ID_MG_AR15,
    WEAP_ID_MG_AC556F,
    WEAP_ID_MG_SG550,
    WEAP_ID_SHOTG_M4SUPER,
    WEAP_ID_SHOTG_SPAS12,
    WEAP_ID_SHOTG_STSWEEPER,
    WEAP_ID_SHOTG_SAWNOFF,
    WEAP_ID_GREN_LAUNCH,
};

struct Weapon
{
    u8 type;                  // eWeaponType, also its row in gWeapons
    float strength[2];        // damage far (6.25 units and more) and at point blank
    int bulletspershot;       // 2 or more: a burst
    float framespershot;      // frames between the bullets of a burst
    int magSize;
    int bulletsLeft;
    int iGunMFIndex;          // model-file registry slots; negative: none
    u32 gunmdlindex;
    int iBulletMFIndex;
    u32 bulletmdlindex;
    int iCasingMFIndex;
    u32 casingmdlindex;
    int iFlashMFIndex;
    u32 flashmdlindex;
    int* bulletsfxbank;       // the variable holding the shot's bank number; null: silent
    u16 bulletsfxindex;
    float bulletsfxpitch;     // applied only when above 0
    int* casingsfxbank;
    u16 casingsfxindex;

    // Copies row t (0..20) over the record, magazine full; the sniper rifle
    // and every other kind copy the first ordinary pistol's row.  The users
    // of the fire, blank and ball kinds copy those rows themselves.
    void SetType(int t);
    // The damage pair of the record's own row.
    void SetWeaponHot();
    // Almost harmless bullets: warning shots and shooters taken hostage.
    void SetWeaponCold();
    // Only the pistols switch to precision aiming.
    bool CanShootPrecise() const;
};

// The number of the loaded gun sound bank; negative until it is loaded.
extern int sndbank_gun;
extern const Weapon gWeapons[WEAP_TOTAL];

// A shot in flight.  It flies along its z row by itself, hears of contacts
// from the collision pass and handles the nearest one in its next frame:
// the struck object is told, marks and sounds are left, and the bullet goes
// (a grenade or a ball bounces instead).  Its timer ends an unhit flight.
class Bullet : public Object
{
public:
    struct Impact
    {
        int hit;                // a contact has been taken this pass
        RCptr<Object> obj;      // the struck object
        RCptr<Object> part;     // the struck part
        VectorPos pos;
        VectorDir normal;       // unit, out of the struck surface
    };

    Impact impact;
    s16 sourceid;               // the shooter's root id: never struck
    VectorDir vel;              // added to the flight along z, per frame
    VectorPos sourcePos;        // the muzzle at the shot
    u8 salvotype;               // eWeaponType of the gun that fired
    float strength[2];          // far and near damage at the shot
    u8 bIsPrecise;              // twice as fast, twice the damage
    u8 bounceCount;

    // The listener of passing bullets (the player) and where he is.
    static VectorPos whizpos;
    static RCptr<Object> whizobj;

    // The damage now: near at the muzzle falling to far from 6.25 units on,
    // doubled for a precise shot.
    float GetStrength() const;
    void Init();
    int mh(OBJMESSAGE msg, void* extra);
    static int Bullet_mh(Object* obj, OBJMESSAGE msg, void* extra);

private:
    int Frame();
    int Collision(CollisionRecord* rec);
    void Bounce();
    void Strike();
    void SendHit();
};

// One bullet at muzzlemat flying along its z row plus vel; false (nothing
// made) without the registered kind, without a model file or out of memory.
bool ShootBullet(const Matrix& muzzlemat, VectorDir vel, MDLFILE* bulletmdlfile, unsigned int bulletmdlindex,
                 Weapon* pWeapon, int id, int lifetime, bool isPrecise);
// One spent case at the chamber's world matrix with a landing sound (bank
// 0xFFFF: none); false without the kind or the model file.
bool EjectCasing(const Matrix& chambermat, VectorDir vel, MDLFILE* casingmdlfile, unsigned int casingmdlindex,
                 int lifetime, unsigned short casingsfxbank, unsigned short casingsfxindex);
// The flash model at muzzlemat in the gun's frame, hung under the gun with a
// light flash; false without a model file.
bool MuzzleFlash(Object* muzzleobj, const Matrix& muzzlemat, MDLFILE* flashmdlfile, unsigned int flashmdlindex);

