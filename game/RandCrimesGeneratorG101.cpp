// Crime groups 101..110: parole violators, robbers, assailants, muggers,
// carjackers and kidnappers; and the character groups every crime casts from.
#include "game/RandCrimesGenerator.h"

#include "game/RandCrimesRows.h"

// ---------------------------------------------------------------------------
// Character groups (1024 + n), lists of model ids ended by -1

static const s16 rgi16StreetThugListCharList[] = {68, 79, 85, 87, 91, 94, 109, 114, 120, 118, 153, 151, -1};
static const s16 rgi16CopsCharList[] = {140, 141, 100, -1};
static const s16 rgi16BossBaddiesCharList[] = {68, 87, 95, 109, 118, 138, 143, 161, -1};
static const s16 rgi16ProBaddiesCharList[] = {109, 114, 120, 158, 161, 162, -1};
static const s16 rgi16UniformedCharList[] = {140, 100, 136, 111, -1};
static const s16 rgi16DealersCharList[] = {138, 151, 153, 154, 155, 162, 163, -1};
static const s16 rgi16BadgirlsCharList[] = {68, 115, 120, 121, 158, 159, -1};
static const s16 rgi16CitizensCharList[] = {72, 74, 77, 95, 116, 126, 129, 111, 158, 164, -1};

const s16* rgpi16CharGroups[8] = {
    rgi16StreetThugListCharList, rgi16CopsCharList,     rgi16BossBaddiesCharList, rgi16ProBaddiesCharList,
    rgi16UniformedCharList,      rgi16DealersCharList,  rgi16BadgirlsCharList,    rgi16CitizensCharList,
};

// ---------------------------------------------------------------------------
// Asset lists, built by this unit's static initialiser in this order

AssetLoadParams ralpGenG101[4] = {
    AssetLoadParams("KORVALIS\\DemoData\\RCRIMES\\GENG101.P2B", AT_ENVIRONMENT, 0),
    AssetLoadParams(1024, AT_AMBCHAR, 0),
    AssetLoadParams(1025, AT_AMBCHAR, 0),
    AssetLoadParams(),
};
AssetLoadParams ralpGenG102[5] = {
    AssetLoadParams("KORVALIS\\DemoData\\RCRIMES\\GENG102.P2B", AT_ENVIRONMENT, 0),
    AssetLoadParams(1024, AT_AMBCHAR, 0),
    AssetLoadParams(1024, AT_AMBCHAR, 6),
    AssetLoadParams(1025, AT_AMBCHAR, 0),
    AssetLoadParams(),
};
AssetLoadParams ralpGenG103[5] = {
    AssetLoadParams("KORVALIS\\DemoData\\RCRIMES\\GENG103.P2B", AT_ENVIRONMENT, 0),
    AssetLoadParams(1029, AT_AMBCHAR, 0),
    AssetLoadParams(1030, AT_AMBCHAR, 0),
    AssetLoadParams(1025, AT_AMBCHAR, 0),
    AssetLoadParams(),
};
AssetLoadParams ralpGenG104[2] = {
    AssetLoadParams(1025, AT_AMBCHAR, 0),
    AssetLoadParams(),
};
AssetLoadParams ralpGenG105[3] = {
    AssetLoadParams("KORVALIS\\DemoData\\RCRIMES\\GENG105.P2B", AT_ENVIRONMENT, 0),
    AssetLoadParams(1025, AT_AMBCHAR, 0),
    AssetLoadParams(),
};
AssetLoadParams ralpGenG106[3] = {
    AssetLoadParams("KORVALIS\\DemoData\\RCRIMES\\GENG106.P2B", AT_ENVIRONMENT, 0),
    AssetLoadParams(1025, AT_AMBCHAR, 0),
    AssetLoadParams(),
};
AssetLoadParams ralpGenG107[3] = {
    AssetLoadParams("KORVALIS\\DemoData\\RCRIMES\\GENG107.P2B", AT_ENVIRONMENT, 0),
    AssetLoadParams(1025, AT_AMBCHAR, 0),
    AssetLoadParams(),
};
AssetLoadParams ralpGenG108[3] = {
    AssetLoadParams("KORVALIS\\DemoData\\RCRIMES\\GENG108.P2B", AT_ENVIRONMENT, 0),
    AssetLoadParams(1025, AT_AMBCHAR, 0),
    AssetLoadParams(),
};
AssetLoadParams ralpGenG109[3] = {
    AssetLoadParams("KORVALIS\\DemoData\\RCRIMES\\GENG109.P2B", AT_ENVIRONMENT, 0),
    AssetLoadParams(1025, AT_AMBCHAR, 0),
    AssetLoadParams(),
};
AssetLoadParams ralpGenG110[8] = {
    AssetLoadParams("KORVALIS\\DemoData\\RCRIMES\\GENG110.P2B", AT_ENVIRONMENT, 0),
    AssetLoadParams(1026, AT_AMBCHAR, 0),
    AssetLoadParams(1026, AT_AMBCHAR, 0),
    AssetLoadParams(1027, AT_AMBCHAR, 6),
    AssetLoadParams(1031, AT_AMBCHAR, 0),
    AssetLoadParams(32, AT_AMBVEH, 0),
    AssetLoadParams(1025, AT_AMBCHAR, 0),
    AssetLoadParams(),
};

// ---------------------------------------------------------------------------
// Parameter rows

using namespace randcrimerows;

RandMissParams rgg101rmp[3] = {
    Row(1, 0, kPlain, 1.5625f, 3000, ralpGenG101, "PAROLE VIOLATOR", "ARREST PAROLE VIOLATOR", "BUST PAROLE VIOLATOR"),
    Row(1, 1, kPlain, 1.5625f, 3000, ralpGenG101, "PAROLE VIOLATOR", "ARREST PAROLE VIOLATOR", "BUST PAROLE VIOLATOR"),
    Row(1, 2, kPlain, 1.5625f, 3000, ralpGenG101, "PAROLE VIOLATOR", "ARREST PAROLE VIOLATOR", "BUST PAROLE VIOLATOR"),
};
RandMissParams rgg102rmp[3] = {
    Row(2, 0, kGunfight, 3.125f, 3000, ralpGenG102, "ROBBERY SUSPECT", "ARREST ROBBERY SUSPECT", "BUST ROBBERY SUSPECT"),
    Row(2, 1, kGunfight, 3.125f, 3000, ralpGenG102, "ROBBERY SUSPECT", "ARREST ROBBERY SUSPECT", "BUST ROBBERY SUSPECT"),
    Row(2, 2, kGunfight, 3.125f, 3000, ralpGenG102, "ROBBERY SUSPECT", "ARREST ROBBERY SUSPECT", "BUST ROBBERY SUSPECT"),
};
RandMissParams rgg103rmp[3] = {
    Row(3, 0, kPlain, 1.5625f, 3000, ralpGenG103, "SEXUAL ASSAILANT", "ARREST SEXUAL ASSAILANT", "BUST SEXUAL ASSAILANT"),
    Row(3, 1, kPlain, 1.5625f, 3000, ralpGenG103, "SEXUAL ASSAILANT", "ARREST SEXUAL ASSAILANT", "BUST SEXUAL ASSAILANT"),
    Row(3, 2, kPlain, 1.5625f, 3000, ralpGenG103, "SEXUAL ASSAILANT", "ARREST SEXUAL ASSAILANT", "BUST SEXUAL ASSAILANT"),
};
RandMissParams rgg104rmp[3] = {
    Row(4, 0, kEmergent, 0.9375f, 3600, ralpGenG104, "MUGGER", "MUGGER", "MUGGER"),
    Row(4, 1, kEmergent, 0.9375f, 3600, ralpGenG104, "MUGGER", "MUGGER", "MUGGER"),
    Row(4, 2, kEmergent, 0.9375f, 3600, ralpGenG104, "MUGGER", "MUGGER", "MUGGER"),
};
RandMissParams rgg105rmp[3] = {
    Row(5, 0, kEmergent | kGunfight, 0.9375f, 3600, ralpGenG105, "MUGGER", "MUGGER", "MUGGER"),
    Row(5, 1, kEmergent | kGunfight, 0.9375f, 3600, ralpGenG105, "MUGGER", "MUGGER", "MUGGER"),
    Row(5, 2, kEmergent | kGunfight, 0.9375f, 3600, ralpGenG105, "MUGGER", "MUGGER", "MUGGER"),
};
RandMissParams rgg106rmp[3] = {
    Row(6, 0, kEmergent | kGunfight, 0.9375f, 3000, ralpGenG106, "MUGGER", "MUGGER", "MUGGER"),
    Row(6, 1, kEmergent | kGunfight, 0.9375f, 3000, ralpGenG106, "MUGGER", "MUGGER", "MUGGER"),
    Row(6, 2, kEmergent | kGunfight, 0.9375f, 3000, ralpGenG106, "MUGGER", "MUGGER", "MUGGER"),
};
RandMissParams rgg107rmp[3] = {
    Row(7, 0, kEmergent | kGunfight | kCarchase, 0.0f, 3600, ralpGenG107, "CARJACKING", "CARJACKING IN PROGRESS", "CARJACKING IN PROGRESS"),
    Row(7, 1, kEmergent | kGunfight | kCarchase, 0.0f, 3600, ralpGenG107, "CARJACKING", "CARJACKING IN PROGRESS", "CARJACKING IN PROGRESS"),
    Row(7, 2, kEmergent | kGunfight | kCarchase, 0.0f, 3600, ralpGenG107, "CARJACKING", "CARJACKING IN PROGRESS", "CARJACKING IN PROGRESS"),
};
RandMissParams rgg108rmp[3] = {
    Row(8, 0, kEmergent | kGunfight | kCarchase, 0.0f, 3600, ralpGenG108, "CARJACKING", "CARJACKING IN PROGRESS", "CARJACKING IN PROGRESS"),
    Row(8, 1, kEmergent | kGunfight | kCarchase, 0.0f, 3600, ralpGenG108, "CARJACKING", "CARJACKING IN PROGRESS", "CARJACKING IN PROGRESS"),
    Row(8, 2, kEmergent | kGunfight | kCarchase, 0.0f, 3600, ralpGenG108, "CARJACKING", "CARJACKING IN PROGRESS", "CARJACKING IN PROGRESS"),
};
RandMissParams rgg109rmp[3] = {
    Row(9, 0, kEmergent | kGunfight | kCarchase, 0.0f, 3600, ralpGenG109, "CARJACKING", "CARJACKING IN PROGRESS", "CARJACKING IN PROGRESS"),
    Row(9, 1, kEmergent | kGunfight | kCarchase, 0.0f, 3600, ralpGenG109, "CARJACKING", "CARJACKING IN PROGRESS", "CARJACKING IN PROGRESS"),
    Row(9, 2, kEmergent | kGunfight | kCarchase, 0.0f, 3600, ralpGenG109, "CARJACKING", "CARJACKING IN PROGRESS", "CARJACKING IN PROGRESS"),
};
RandMissParams rgg110rmp[3] = {
    Row(10, 0, kGunfight, 9.375f, 3000, ralpGenG110, "KIDNAPPING", "DEFUSE HOSTAGE SITUATION", "TAKE OUT HOSTAGE TAKER"),
    Row(10, 1, kGunfight, 9.375f, 3000, ralpGenG110, "KIDNAPPING", "DEFUSE HOSTAGE SITUATION", "TAKE OUT HOSTAGE TAKER"),
    Row(10, 2, kGunfight, 9.375f, 3000, ralpGenG110, "KIDNAPPING", "DEFUSE HOSTAGE SITUATION", "TAKE OUT HOSTAGE TAKER"),
};

// ---------------------------------------------------------------------------
// Creators

Object* CreateRMGenG101(Object* parent, int iDifficulty) { return CreateGroupCrime(parent, 1, iDifficulty, false); }
Object* CreateRMGenG102(Object* parent, int iDifficulty) { return CreateGroupCrime(parent, 2, iDifficulty, false); }
Object* CreateRMGenG103(Object* parent, int iDifficulty) { return CreateGroupCrime(parent, 3, iDifficulty, false); }
Object* CreateRMGenG104(Object* parent, int iDifficulty) { return CreateGroupCrime(parent, 4, iDifficulty, true); }
Object* CreateRMGenG105(Object* parent, int iDifficulty) { return CreateGroupCrime(parent, 5, iDifficulty, true); }
Object* CreateRMGenG106(Object* parent, int iDifficulty) { return CreateGroupCrime(parent, 6, iDifficulty, false); }
Object* CreateRMGenG107(Object* parent, int iDifficulty) { return CreateGroupCrime(parent, 7, iDifficulty, true); }
Object* CreateRMGenG108(Object* parent, int iDifficulty) { return CreateGroupCrime(parent, 8, iDifficulty, true); }
Object* CreateRMGenG109(Object* parent, int iDifficulty) { return CreateGroupCrime(parent, 9, iDifficulty, true); }
Object* CreateRMGenG110(Object* parent, int iDifficulty) { return CreateGroupCrime(parent, 10, iDifficulty, false); }
