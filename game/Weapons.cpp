// The weapons table and the stand-in spawners (see Weapons.h).
#include "game/Weapons.h"

#include "ZevEngine2/Utilities.h"


int sndbank_gun = -1;
WeaponSpawnCounts gWeaponSpawnCounts;

// Every row's magazine starts full; the sound columns point at the gun
// bank's number so a reloaded bank is heard without touching the table.
const Weapon gWeapons[WEAP_TOTAL] = {
    {0, {17.0f, 34.0f}, 1, 20.0f, 6, 6, 160, 1, 148, 2, 148, 0, 151, 0, &sndbank_gun, 6, 1.0f, &sndbank_gun, 19},
    {1, {18.0f, 36.0f}, 1, 15.0f, 8, 8, 160, 1, 148, 2, 148, 0, 151, 0, &sndbank_gun, 7, 1.0f, &sndbank_gun, 19},
    {2, {19.0f, 38.0f}, 1, 12.0f, 10, 10, 160, 1, 148, 2, 148, 0, 151, 0, &sndbank_gun, 8, 1.0f, &sndbank_gun, 19},
    {3, {20.0f, 35.0f}, 1, 10.0f, 12, 12, 160, 1, 148, 2, 148, 0, 151, 0, &sndbank_gun, 9, 1.0f, &sndbank_gun, 19},
    {4, {19.0f, 38.0f}, 1, 15.0f, 9, 9, 161, 1, 148, 2, 148, 0, 151, 0, &sndbank_gun, 7, 0.94387f, &sndbank_gun, 19},
    {5, {19.0f, 38.0f}, 1, 10.0f, 8, 8, 161, 2, 148, 2, 148, 0, 151, 0, &sndbank_gun, 8, 0.8909f, &sndbank_gun, 19},
    {6, {10.0f, 40.0f}, 1, 30.0f, 6, 6, 161, 3, 148, 2, 148, 0, 151, 0, &sndbank_gun, 9, 0.7937f, &sndbank_gun, 19},
    {7, {18.0f, 36.0f}, 1, 12.0f, 7, 7, 161, 4, 148, 2, 148, 0, 151, 0, &sndbank_gun, 8, 1.05946f, &sndbank_gun, 19},
    {8, {5.0f, 20.0f}, 1, 5.0f, 30, 30, 161, 5, 148, 2, 148, 0, 151, 0, &sndbank_gun, 12, 1.0f, &sndbank_gun, 19},
    {9, {8.0f, 30.0f}, 1, 4.0f, 30, 30, 161, 6, 148, 2, 148, 0, 151, 0, &sndbank_gun, 12, 0.8909f, &sndbank_gun, 19},
    {10, {8.0f, 30.0f}, 1, 10.0f, 30, 30, 161, 7, 148, 2, 148, 0, 151, 0, &sndbank_gun, 13, 1.12246f, &sndbank_gun, 19},
    {11, {10.0f, 38.0f}, 1, 7.0f, 32, 32, 161, 8, 148, 2, 148, 0, 151, 0, &sndbank_gun, 13, 1.0f, &sndbank_gun, 19},
    {12, {13.0f, 26.0f}, 1, 7.0f, 30, 30, 161, 9, 148, 2, 148, 0, 151, 0, &sndbank_gun, 15, 1.05946f, &sndbank_gun, 19},
    {13, {10.0f, 20.0f}, 1, 6.0f, 32, 32, 161, 10, 148, 2, 148, 0, 151, 0, &sndbank_gun, 14, 0.94387f, &sndbank_gun, 19},
    {14, {10.0f, 20.0f}, 1, 5.0f, 30, 30, 161, 11, 148, 2, 148, 0, 151, 0, &sndbank_gun, 14, 1.05946f, &sndbank_gun, 19},
    {15, {13.0f, 26.0f}, 3, 10.0f, 30, 30, 161, 12, 148, 2, 148, 0, 151, 0, &sndbank_gun, 15, 0.94387f, &sndbank_gun, 19},
    {16, {5.0f, 40.0f}, 1, 30.0f, 7, 7, 161, 13, 148, 2, 148, 0, 151, 0, &sndbank_gun, 16, 0.94387f, &sndbank_gun, 19},
    {17, {5.0f, 40.0f}, 1, 30.0f, 8, 8, 161, 14, 148, 2, 148, 0, 151, 0, &sndbank_gun, 17, 1.0f, &sndbank_gun, 19},
    {18, {2.0f, 40.0f}, 1, 20.0f, 10, 10, 161, 15, 148, 2, 148, 0, 151, 0, &sndbank_gun, 16, 1.05946f, &sndbank_gun, 19},
    {19, {2.0f, 60.0f}, 1, 60.0f, 6, 6, 161, 16, 148, 2, 148, 0, 151, 0, &sndbank_gun, 17, 0.8909f, &sndbank_gun, 19},
    {20, {35.0f, 75.0f}, 1, 30.0f, 26, 26, 161, 17, 148, 4, 148, 0, 151, 0, &sndbank_gun, 21, 0.8909f, &sndbank_gun, 22},
    {21, {30.0f, 30.0f}, 1, 7.0f, 30, 30, 161, 13, 148, 2, 148, 0, 151, 0, &sndbank_gun, 0xFFFF, 1.0f, &sndbank_gun, 19},
    {22, {30.0f, 30.0f}, 1, 20.0f, 99, 99, -1, 0, -1, 0, -1, 0, -1, 0, nullptr, 0xFFFF, 1.0f, nullptr, 0xFFFF},
    {23, {0.0f, 0.0f}, 1, 99.0f, 99, 99, -1, 0, -1, 0, -1, 0, -1, 0, nullptr, 0xFFFF, 1.0f, nullptr, 0xFFFF},
    {24, {2.0f, 4.0f}, 1, 99.0f, 99, 99, -1, 0, -1, 0, -1, 0, -1, 0, nullptr, 0xFFFF, 1.0f, nullptr, 0xFFFF},
};

void Weapon::SetType(int t)
{
    // Kinds past the ordinary guns belong to their own users, who copy
    // those rows themselves; everything else falls back to a plain pistol.
    if (t < 0 || t > WEAP_GREN_LAUNCH)
        t = WEAP_PISTOL_RUGER;
    *this = gWeapons[t];
}

void Weapon::SetWeaponCold()
{
    strength[0] = 0.1f;
    strength[1] = 0.1f;
}

bool Weapon::CanShootPrecise() const
{
    return type < WEAP_SMG_G36;
}

void Weapon::SetWeaponHot()
{
    if (type >= WEAP_TOTAL)
        return;
    strength[0] = gWeapons[type].strength[0];
    strength[1] = gWeapons[type].strength[1];
}

Object* ShootBullet(const Matrix& mat, VectorDir, MDLFILE*, unsigned int, Weapon*, int, int, bool)
{
    static bool reported = false;
    if (!reported)
        printf("Weapons: bullets are counted but not yet spawned\n");
    reported = true;
    gWeaponSpawnCounts.bullets++;
    gWeaponSpawnCounts.lastBullet = mat;
    return nullptr;
}

Object* EjectCasing(const Matrix&, VectorDir, MDLFILE*, unsigned int, int, unsigned short, unsigned short)
{
    static bool reported = false;
    if (!reported)
        printf("Weapons: spent cases are counted but not yet spawned\n");
    reported = true;
    gWeaponSpawnCounts.casings++;
    return nullptr;
}

bool MuzzleFlash(Object*, const Matrix&, MDLFILE* mf, unsigned int)
{
    static bool reported = false;
    if (!reported)
        printf("Weapons: muzzle flashes are counted but not yet shown\n");
    reported = true;
    gWeaponSpawnCounts.flashes++;
    return mf != nullptr;
}
