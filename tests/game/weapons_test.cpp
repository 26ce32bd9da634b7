// The weapons table and the record's kind switches.
#include <gtest/gtest.h>

#include <cstring>

#include "game/Weapons.h"

namespace {

bool SameRecord(const Weapon& a, const Weapon& b)
{
    return a.type == b.type && a.strength[0] == b.strength[0] && a.strength[1] == b.strength[1] &&
           a.bulletspershot == b.bulletspershot && a.framespershot == b.framespershot && a.magSize == b.magSize &&
           a.bulletsLeft == b.bulletsLeft && a.iGunMFIndex == b.iGunMFIndex && a.gunmdlindex == b.gunmdlindex &&
           a.iBulletMFIndex == b.iBulletMFIndex && a.bulletmdlindex == b.bulletmdlindex &&
           a.iCasingMFIndex == b.iCasingMFIndex && a.casingmdlindex == b.casingmdlindex &&
           a.iFlashMFIndex == b.iFlashMFIndex && a.flashmdlindex == b.flashmdlindex &&
           a.bulletsfxbank == b.bulletsfxbank && a.bulletsfxindex == b.bulletsfxindex &&
           a.bulletsfxpitch == b.bulletsfxpitch && a.casingsfxbank == b.casingsfxbank &&
           a.casingsfxindex == b.casingsfxindex;
}

u32 Bits(float f)
{
    u32 u;
    std::memcpy(&u, &f, 4);
    return u;
}

}  // namespace

TEST(WeaponTable, RowsKnownFiguresAndPitchSteps)
{
    for (int t = 0; t < WEAP_TOTAL; t++) {
        EXPECT_EQ(gWeapons[t].type, t);
        EXPECT_EQ(gWeapons[t].bulletsLeft, gWeapons[t].magSize) << "row " << t;
    }
    const Weapon& dace = gWeapons[WEAP_DACE_DEF];
    EXPECT_EQ(dace.strength[0], 17.0f);
    EXPECT_EQ(dace.strength[1], 34.0f);
    EXPECT_EQ(dace.bulletspershot, 1);
    EXPECT_EQ(dace.framespershot, 20.0f);
    EXPECT_EQ(dace.magSize, 6);
    EXPECT_EQ(dace.iGunMFIndex, 160);
    EXPECT_EQ(dace.gunmdlindex, u32(WEAP_ID_DACE_VER01));
    EXPECT_EQ(dace.bulletsfxbank, &sndbank_gun);
    EXPECT_EQ(dace.bulletsfxindex, 6);
    EXPECT_EQ(dace.bulletsfxpitch, 1.0f);
    EXPECT_EQ(gWeapons[WEAP_MG_SG550].bulletspershot, 3);

    const Weapon& gren = gWeapons[WEAP_GREN_LAUNCH];
    EXPECT_EQ(gren.iBulletMFIndex, 148);
    EXPECT_EQ(gren.bulletmdlindex, 4u);
    EXPECT_EQ(gren.bulletsfxindex, 21);
    EXPECT_EQ(gren.casingsfxindex, 22);
    EXPECT_EQ(gren.gunmdlindex, u32(WEAP_ID_GREN_LAUNCH));

    // Semitone steps, stored with exactly these digits.
    EXPECT_EQ(Bits(gWeapons[WEAP_PISTOL_HUNTER].bulletsfxpitch), Bits(0.7937f));
    EXPECT_EQ(Bits(gWeapons[WEAP_PISTOL_MATCH].bulletsfxpitch), Bits(0.8909f));
    EXPECT_EQ(Bits(gWeapons[WEAP_PISTOL_RUGER].bulletsfxpitch), Bits(0.94387f));
    EXPECT_EQ(Bits(gWeapons[WEAP_PISTOL_TALLOWMERE].bulletsfxpitch), Bits(1.05946f));
    EXPECT_EQ(Bits(gWeapons[WEAP_SMG_SPP].bulletsfxpitch), Bits(1.12246f));

    // The silent kinds carry no bank at all.
    for (int t : {WEAP_FIREBALL, WEAP_BLANK, WEAP_TENNISBALL}) {
        EXPECT_EQ(gWeapons[t].bulletsfxbank, nullptr);
        EXPECT_EQ(gWeapons[t].bulletsfxindex, 0xFFFF);
        EXPECT_EQ(gWeapons[t].iGunMFIndex, -1);
    }
}

TEST(WeaponTable, SetTypeFallsBackToTheFirstPistolAndDamageSwitches)
{
    Weapon w;
    for (int t = 0; t <= WEAP_GREN_LAUNCH; t++) {
        w.SetType(t);
        EXPECT_TRUE(SameRecord(w, gWeapons[t])) << "kind " << t;
    }
    for (int t : {21, -1, -7, 22, 23, 24, 1000}) {
        w.SetType(t);
        EXPECT_EQ(w.type, WEAP_PISTOL_RUGER) << "kind " << t;
        EXPECT_TRUE(SameRecord(w, gWeapons[WEAP_PISTOL_RUGER])) << "kind " << t;
    }

    // A spent magazine is full again after a kind change.
    w.SetType(WEAP_SMG_UZI);
    w.bulletsLeft = 0;
    w.SetType(WEAP_SMG_UZI);
    EXPECT_EQ(w.bulletsLeft, 32);

    w.SetType(WEAP_PISTOL_TALLOWMERE);
    w.SetWeaponCold();
    EXPECT_EQ(w.strength[0], 0.1f);
    EXPECT_EQ(w.strength[1], 0.1f);
    EXPECT_EQ(w.magSize, 7);
    w.SetWeaponHot();
    EXPECT_EQ(w.strength[0], 18.0f);
    EXPECT_EQ(w.strength[1], 36.0f);

    Weapon blank = gWeapons[WEAP_PISTOL_RUGER];
    blank.type = WEAP_BLANK;
    blank.SetWeaponHot();
    EXPECT_EQ(blank.strength[0], 0.0f);
    EXPECT_EQ(blank.strength[1], 0.0f);

    for (int t = 0; t < WEAP_TOTAL; t++) {
        Weapon k = gWeapons[t];
        EXPECT_EQ(k.CanShootPrecise(), t <= WEAP_PISTOL_TALLOWMERE) << "kind " << t;
    }
}
