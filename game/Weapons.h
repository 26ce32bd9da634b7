// The weapon record a gun arm carries, the weapons table, and the calls that
// put bullets, spent cases and muzzle flashes into the world.
//
// The table and the record are the game's own; the three spawning calls are
// stand-ins until the projectile objects exist: each says once that it
// spawns nothing and counts its calls, so the arms that fire can be watched.
#pragma once

#include "ZevEngine2/Object.h"

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

// One bullet at mat moving along its z row plus vel.
Object* ShootBullet(const Matrix& mat, VectorDir vel, MDLFILE* mf, unsigned int model, Weapon* weapon, int sourceid,
                    int lifetime, bool precise);
// One spent case at mat with a landing sound (bank 0xFFFF: none).
Object* EjectCasing(const Matrix& mat, VectorDir vel, MDLFILE* mf, unsigned int model, int lifetime,
                    unsigned short sfxbank, unsigned short sfxindex);
// The flash model at mat in the gun's frame; false without a model file.
bool MuzzleFlash(Object* gun, const Matrix& mat, MDLFILE* mf, unsigned int model);

// Calls made to the three spawners so far, and the last matrix each was given.
struct WeaponSpawnCounts
{
    int bullets, casings, flashes;
    Matrix lastBullet;
};
extern WeaponSpawnCounts gWeaponSpawnCounts;
