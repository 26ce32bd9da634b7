// The step functions of the 24/7 script and the pieces they are built from.
// Unlike the episodes' steps they never touch the current task and book no
// task state: a row's result goes into the player's ability, challenge and
// upgrade counters and the level-position tables.
#include "game/Levels/M247Desc.h"

#include <algorithm>
#include <cstdio>

#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/PS2/Model.h"
#include "game/Levels/BonusDT.h"
#include "game/QuadTree.h"
#include "game/ShotEffects.h"
#include "game/Vehicle.h"
#include "game/Weapons.h"
#include "game/cardrivr.h"

const u32 refaList[10] = {0x1, 0x2, 0x4, 0x8, 0x10, 0x20, 0x40, 0x80, 0x100, 0x200};
const u32 regaList[7] = {0x1, 0x2, 0x4, 0x8, 0x10, 0x20, 0x40};
const u32 recaList[9] = {0x1, 0x2, 0x4, 0x8, 0x10, 0x20, 0x40, 0x80, 0x100};
const u32 regaListBonus[3] = {0x80, 0x100, 0x200};
const u32 refaBonusList[3] = {0x400, 0x800, 0x1000};

namespace {

EnemyGenRunner_params Rival(u8 character, s16 id)
{
    EnemyGenRunner_params p{};
    p.character = character;
    p.id = id;
    p.weapon = 0;
    p.caronly = 1;
    p.walking = 0;
    p.oblivious = 0;
    p.init_strength = 100;
    p.badass = 0.75f;
    return p;
}

constexpr int kRow = 13;   // the script's mission number
enum { ROW_IMPOUND, ROW_DOJO, ROW_FRANGE, ROW_RACE, ROW_BONUSRACE, ROW_BONUSFRANGE, ROW_BONUSDOJO };

constexpr int kPlayerSlot = 48;
constexpr int kCastSlot = 49;
constexpr int kBonusGunSlot = 128;
constexpr int kInteriorSlot = 195;
constexpr int kDriverSeat = 116;
constexpr int kCourseSpot = -900;
constexpr int kRaceStart = -401;
constexpr int kRaceFinish = -404;
constexpr int kPlayerCar = 65;
constexpr u16 kGunDropNode = 0x8001;
constexpr int kDriveToPoint = 3;

// The bonus levels' opponents (model, animation group) and rival cars with
// one more pedestrian model.
constexpr struct
{
    int model, group;
} kBonusFighters[3] = {{123, 10}, {166, 13}, {91, 12}};
constexpr struct
{
    int cars[3], ped;
} kBonusRaceModels[3] = {{{1, 26, 13}, 382}, {{2, 13, 28}, 402}, {{3, 28, 15}, 399}};

// The activity files, numbered from 1 by the level.
char* LevelFile(char (&out)[64], const char* format, int level)
{
    snprintf(out, sizeof out, format, level + 1);
    return out;
}

void Grant(u32& ability, u32 bit)
{
    ability = (ability & ~bit) + bit;
}

void PlayerAt(GameController& gc, int placeholder)
{
    gc.CreateCharacterAt(kPlayerSlot, -1, placeholder, szDace, false);
}

// The level of a 24/7 activity: the one its target was completed as, or
// the next new one; a bonus override forces a level and grants every level
// up to it.
int Level247(GameController& gc, int (GameController::*get)(VectorPos&), int max, const u32* table, u32& ability)
{
    int level = (gc.*get)(gc.vpSavedTargetPos);
    const int n = g_pgcTest != nullptr ? g_pgcTest->iBonus247Override : 0;
    if (n != 0) {
        level = std::clamp(n - 1, 0, max);
        for (int k = 0; k <= level; k++)
            Grant(ability, table[k]);
    }
    return level;
}

// The level of a bonus activity: its upgrade counter, or the override's;
// the gun course and the fight grant the levels below an override's and take
// it as their counter (the race does not).
int LevelBonus(GameController& gc, u32& upgrade, const u32* table, u32* ability)
{
    int level = std::clamp(int(upgrade), 0, 2);
    const int n = gc.iBonus247Override;
    if (n != 0) {
        level = std::clamp(n - 1, 0, 2);
        if (ability != nullptr) {
            for (int k = 0; k < level; k++)
                Grant(*ability, table[k]);
            upgrade = u32(level);
        }
    }
    return level;
}

// A 24/7 level won for the first time: one more challenge completed, the
// target's position kept for the level, the level's ability learnt.
void BookWon247(GameController& gc, int level, int levels, u32& challenge, u32& ability, const u32* table,
                int (GameController::*set)(VectorPos&, int))
{
    if (level >= levels || challenge >= u32(level + 1))
        return;
    challenge += 1;
    (gc.*set)(gc.vpSavedTargetPos, level);
    Grant(ability, table[level]);
}

// A weapon of the bonus level lying at the interior's drop node.
void DropBonusGun(GameController& gc, int level)
{
    const OBJMESSAGEHANDLER pickup = reinterpret_cast<OBJMESSAGEHANDLER>(intptr_t(Name::Find("GunPickup")));
    if (gc.CreateObjectAt(kBonusGunSlot, -1, pickup) == nullptr)
        return;
    MDLFILE* interior = g_GlobalMFI.GetMF(kInteriorSlot, false);
    const NODE* node = interior != nullptr && interior->nodes != nullptr ? interior->FindNode1(0, kGunDropNode) : nullptr;
    if (node == nullptr)
        return;
    Weapon w{};
    w.SetType(level + 1);
    w.iGunMFIndex = kBonusGunSlot;
    CreateGunPickup(node->GetMatrix() * gc.matPH, VectorDir(0.0f, 0.0f, 0.0f), &w, -1);
}

}  // namespace

EnemyGenRunner_params M247_BonusRace_RunnerParams[3] = {Rival(32, -51), Rival(33, -52), Rival(34, -53)};
BadGuyGenInfo M247_BonusRace_rbggi[3] = {{BGGT_RUNNER, kRaceStart, &M247_BonusRace_RunnerParams[0]},
                                         {BGGT_RUNNER, kRaceStart, &M247_BonusRace_RunnerParams[1]},
                                         {BGGT_RUNNER, kRaceStart, &M247_BonusRace_RunnerParams[2]}};
const VectorDir M247_BonusRace_RivalOffsets[3] = {VectorDir(-1.09375f, 0.0f, 1.71875f),
                                                  VectorDir(0.0f, 0.0f, 1.71875f),
                                                  VectorDir(-1.09375f, 0.0f, 0.0f)};

// ---------------------------------------------------------------------------
// The driving set (no row uses it)

int M247_Driving_Load(GameController& gc)
{
    gc.StartLoading();
    gc.FreeInteriorAnimGroups();
    gc.CheckMemory();
    gc.LoadMDLFile(nullptr, 0, 2, 0);
    gc.LoadMDLFile(nullptr, 5, 27, 1);
    gc.LoadMDLFile(nullptr, 6, 38, 10);
    gc.LoadMDLFile(nullptr, 7, 37, 10);
    gc.LoadFillAmbientCars(1, -1);
    gc.LoadFillAmbientPeds(80, -1);
    gc.EndLoading();
    gc.ResetTime();
    return 0;
}

int M247_Driving_Destroy(GameController& gc)
{
    MBonus_Driving_Destroy(gc);
    return 0;
}

// ---------------------------------------------------------------------------
// The impound garage

int M247_ImpoundLot_Load(GameController& gc)
{
    gc.StartLoading();
    gc.CheckMemory();
    gc.FreeInteriorAnimGroups();
    for (int s = 0; s <= 3; s++)
        gc.LoadMDLFile(nullptr, s, s, 0);
    gc.ResetTime();
    return 0;
}

int M247_ImpoundLot(GameController& gc)
{
    PlayerAt(gc, -1);
    gc.CreateInteriorAt(StepFile("KORVALIS\\DemoData\\Int\\IMPOUND.P2B"), -1, 0);
    gc.ResetTime();
    gc.SetImpoundLotMissionMode(25);
    return 1;
}

int M247_ImpoundLot_Destroy(GameController& gc)
{
    for (int s = 0; s <= 3; s++)
        gc.DestroyMDLFile(s, true);
    gc.DestroyInterior(true);
    return 0;
}

// ---------------------------------------------------------------------------
// The 24/7 dojo

int M247_GXDojo_Load(GameController& gc)
{
    gc.StartLoading();
    gc.CheckMemory();
    gc.ResetTime();
    return 0;
}

int M247_GXDojo(GameController& gc, int level)
{
    char file[64];
    gc.LoadInteriorAnimGroups();
    PlayerAt(gc, -1);
    gc.CreateInteriorAt(LevelFile(file, "KORVALIS\\DemoData\\Int\\DOJO24\\DOJO%d.P2B", level), -1, 0);
    gc.ResetTime();
    gc.SetDojoTrainingMode(30);
    return 1;
}

int M247_GXDojo_Destroy(GameController& gc)
{
    gc.DestroyInterior(true);
    return 0;
}

// ---------------------------------------------------------------------------
// The 24/7 firing range

int M247_FRange_Load(GameController& gc)
{
    gc.CheckMemory();
    gc.StartLoading();
    gc.LoadMDLFile(nullptr, kCastSlot, 100, 0);
    gc.LoadMDLFile(nullptr, kCastSlot + 1, 140, 0);
    gc.SetTimeOfDay(15, 0, false);
    return 0;
}

int M247_FRange(GameController& gc, int level)
{
    char file[64];
    gc.CheckMemory();
    gc.LoadInteriorAnimGroups();
    PlayerAt(gc, -1);
    gc.CreateInteriorAt(LevelFile(file, "KORVALIS\\DemoData\\Int\\FRANGE24\\FRANGE%d.P2B", level), -1, 0);
    gc.EndLoading();
    gc.ResetTime();
    gc.SetFRangeMissionMode(30);
    return 1;
}

int M247_FRange_Destroy(GameController& gc)
{
    gc.DestroyMDLFile(kCastSlot, true);
    gc.DestroyMDLFile(kCastSlot + 1, true);
    gc.DestroyInterior(true);
    return 1;
}

// ---------------------------------------------------------------------------
// The 24/7 lap race: the player's car stands where the course puts him.

int M247_Race(GameController& gc, int level)
{
    char file[64];
    gc.StartLoading();
    gc.CheckMemory();
    gc.FreeInteriorAnimGroups();
    gc.LoadMDLFile(nullptr, 5, 27, 1);
    gc.LoadMDLFile(nullptr, 6, 38, 10);
    gc.LoadMDLFile(nullptr, 7, 37, 10);
    gc.SyncGridPosAt(kCourseSpot, true);
    Object* player = gc.CreateCharacterAt(kPlayerSlot, -1, kCourseSpot, szDace, false);
    Object* car = gc.CreateVehicleAt(5, kPlayerCar, kCourseSpot, false);
    gc.CreateExteriorAt(LevelFile(file, "KORVALIS\\DemoData\\Int\\DRV24\\COURSE%d.P2B", level), kCourseSpot, 0);
    if (car != nullptr && player != nullptr)
        car->mat = player->mat;
    gc.PutObjectInCar(-1, kPlayerCar, kDriverSeat, true);
    gc.CheckMemory();
    gc.ResetTime();
    gc.SetRace247MissionMode(2, 0);
    gc.EndLoading();
    return 1;
}

int M247_Race_Destroy(GameController& gc)
{
    for (int s = 0; s <= 7; s++)
        gc.DestroyMDLFile(s, true);
    for (int s = 80; s <= 84; s++)
        gc.DestroyMDLFile(s, true);
    gc.DestroyMDLFile(kPhoneSlot, true);
    gc.DestroyInterior(true);
    return 0;
}

// ---------------------------------------------------------------------------
// The bonus street race, in the streets of the episode the player left

int M247_BonusRace_Load(GameController& gc, int level)
{
    gc.StartLoading();
    gc.LoadMissionFile(gc.i16SavedMission);
    gc.FreeInteriorAnimGroups();
    gc.CheckMemory();
    gc.LoadDaceCarMDLFile(nullptr, 0, 2, 0);
    gc.LoadMDLFile(nullptr, 5, 27, 1);
    gc.LoadMDLFile(nullptr, 6, 38, 10);
    gc.LoadMDLFile(nullptr, 7, 37, 10);
    gc.LoadMDLFile(nullptr, 80, 376, 0);
    if (level >= 0 && level < 3) {
        for (int i = 0; i < 3; i++)
            gc.LoadMDLFile(nullptr, i + 1, kBonusRaceModels[level].cars[i], 0);
        gc.LoadMDLFile(nullptr, 81, kBonusRaceModels[level].ped, 0);
    }
    gc.LoadFillAmbientCars(1, -1);
    gc.LoadFillAmbientPeds(80, -1);
    gc.SyncGridPosAt(kRaceStart, true);
    gc.EndLoading();
    gc.ResetTime();
    return 0;
}

int M247_BonusRace(GameController& gc)
{
    Matrix finish(true);
    if (Object* ph = world.placeholderlist.Find(kRaceFinish))
        finish = ph->mat;
    const VectorPos finishPos = finish.GetTrans();
    gc.CheckMemory();
    PlayerAt(gc, kRaceStart);
    for (BadGuyGenInfo& g : M247_BonusRace_rbggi)
        gc.CreateBadGuyGenerator(g, true);
    gc.CreateVehicleAt(0, kPlayerCar, kRaceStart, false);
    gc.PutObjectInCar(-1, kPlayerCar, kDriverSeat, true);
    for (int i = 0; i < 3; i++) {
        Object* car = gc.CreateVehicleAt(i + 1, kPlayerCar + 1 + i, kRaceStart, false);
        if (car == nullptr)
            continue;
        const VectorDir& off = M247_BonusRace_RivalOffsets[i];
        const Matrix& m = car->mat;
        car->mat.SetTrans(m.GetTrans() + VectorDir(m.x.xyz()) * off[0] + VectorDir(m.y.xyz()) * off[1] +
                          VectorDir(m.z.xyz()) * off[2]);
        gc.PutObjectInCar(-51 - i, kPlayerCar + 1 + i, kDriverSeat, true);
        if (car->type == OBJT_VEHICLE) {
            if (Object* driver = static_cast<Vehicle*>(car)->rcoDriver.p) {
                VectorPos to = finishPos;
                SpecialMessage m(SMSG_CD_SET_DRIVE, nullptr, kDriveToPoint, &to);
                driver->SendMessage(OM_SPECIAL, &m);
            }
        }
        for (Object*& target : gc.rvpSubMissionTargets)
            if (target == nullptr) {
                target = car;
                break;
            }
    }
    gc.CheckMemory();
    gc.SetStreetRaceMissionMode(-51, kRaceFinish, 0, 0);
    if (gc.pmd != nullptr) {
        gc.pmd->vpStaticTarget = finishPos;
        gc.pmd->flags |= HUDF_STATICTARGET;
    }
    gc.EndLoading();
    return 1;
}

int M247_BonusRace_Destroy(GameController& gc)
{
    MBonus_Driving_Destroy(gc);
    return 0;
}

// ---------------------------------------------------------------------------
// The bonus gun course

int Bonus_FRange_Load(GameController& gc, int)
{
    gc.StartLoading();
    gc.CheckMemory();
    gc.ResetTime();
    gc.SetTimeOfDay(15, 0, false);
    return 0;
}

int Bonus_FRange(GameController& gc, int level)
{
    static const char* const guns[3] = {"KORVALIS\\DemoData\\Misc\\DACEGUN2.P2B",
                                        "KORVALIS\\DemoData\\Misc\\DACEGUN3.P2B",
                                        "KORVALIS\\DemoData\\Misc\\DACEGUN4.P2B"};
    char file[64];
    gc.CheckMemory();
    gc.LoadInteriorAnimGroups();
    if (level >= 0 && level < 3)
        gc.LoadMDLFile(guns[level], kBonusGunSlot, 0, 0);
    PlayerAt(gc, -1);
    gc.CreateInteriorAt(LevelFile(file, "KORVALIS\\DemoData\\Int\\BONUS\\GUNCRSE%d.P2B", level), -1, 0);
    DropBonusGun(gc, level);
    gc.EndLoading();
    gc.ResetTime();
    gc.SetGunCourseMissionMode(30);
    if (gc.pCamInitScript != nullptr)
        gc.SetCineWalkMode(-1, 2, gc.pCamInitScript, 6, 0);
    return 1;
}

int Bonus_FRange_Destroy(GameController& gc)
{
    gc.DestroyMDLFile(kBonusGunSlot, true);
    gc.DestroyInterior(true);
    return 0;
}

// ---------------------------------------------------------------------------
// The bonus fight

int Bonus_GXDojo_Load(GameController& gc, int)
{
    gc.CheckMemory();
    gc.StartLoading();
    gc.ResetTime();
    return 0;
}

int Bonus_GXDojo(GameController& gc, int level)
{
    char file[64];
    const int l = std::clamp(level, 0, 2);
    gc.LoadMDLFile(nullptr, kCastSlot, kBonusFighters[l].model, 0);
    gc.LoadAnimGroup(kBonusFighters[l].group);
    gc.LoadInteriorAnimGroups();
    PlayerAt(gc, -1);
    gc.CreateInteriorAt(LevelFile(file, "KORVALIS\\DemoData\\Int\\BONUS\\BNSGYM%d.P2B", level), -1, 0);
    gc.ResetTime();
    gc.SetFightMissionMode(nullptr, 25);
    if (gc.pCamInitScript != nullptr)
        gc.SetCineWalkMode(-1, 2, gc.pCamInitScript, 4, 0);
    return 1;
}

int Bonus_GXDojo_Destroy(GameController& gc, int level)
{
    gc.DestroyAnimGroup(kBonusFighters[std::clamp(level, 0, 2)].group);
    gc.DestroyMDLFile(kCastSlot, true);
    gc.DestroyInterior(true);
    return 0;
}

// ---------------------------------------------------------------------------
// The rows

int M247_ImpoundLot_Main(GameController& gc, int iEntryIndex, int)
{
    switch (iEntryIndex) {
    case 0:
        gc.SetLevelNumber(kRow, ROW_IMPOUND);
        M247_ImpoundLot_Load(gc);
        M247_ImpoundLot(gc);
        return 1;
    case 1:
        M247_ImpoundLot_Destroy(gc);
        return -1;
    default:
        return 0;
    }
}

int M247_GXDojo_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    sPlayerStats& s = gc.stats;
    const int level = Level247(gc, &GameController::GetDojo247LevelNumber, 9, refaList, s.fightAbility);
    switch (iEntryIndex) {
    case 0:
        gc.SetLevelNumber(kRow, ROW_DOJO);
        gc.iChallengeValue = level;
        M247_GXDojo_Load(gc);
        M247_GXDojo(gc, level);
        return 1;
    case 1:
        if (iSuccess == 1)
            BookWon247(gc, level, 10, s.curFightChallenge, s.fightAbility, refaList,
                       &GameController::SetDojo247LevelNumber);
        M247_GXDojo_Destroy(gc);
        return -1;
    default:
        return 0;
    }
}

int M247_FRange_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    sPlayerStats& s = gc.stats;
    const int level = Level247(gc, &GameController::GetFRange247LevelNumber, 6, regaList, s.gunAbility);
    switch (iEntryIndex) {
    case 0:
        gc.SetLevelNumber(kRow, ROW_FRANGE);
        gc.iChallengeValue = level;
        M247_FRange_Load(gc);
        M247_FRange(gc, level);
        return 1;
    case 1:
        if (iSuccess == 1)
            BookWon247(gc, level, 7, s.curGunChallenge, s.gunAbility, regaList,
                       &GameController::SetFRange247LevelNumber);
        M247_FRange_Destroy(gc);
        return -1;
    default:
        return 0;
    }
}

// The level's car ability is lent for the race and taken back after a loss
// unless the level was completed before.
int M247_Race_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    sPlayerStats& s = gc.stats;
    const int level = Level247(gc, &GameController::GetRace247LevelNumber, 8, recaList, s.carAbility);
    switch (iEntryIndex) {
    case 0:
        gc.SetLevelNumber(kRow, ROW_RACE);
        gc.iChallengeValue = level;
        Grant(s.carAbility, recaList[level]);
        M247_Race(gc, level);
        return 1;
    case 1:
        if (iSuccess == 1)
            BookWon247(gc, level, 9, s.curCarChallenge, s.carAbility, recaList,
                       &GameController::SetRace247LevelNumber);
        else if (u32(level) >= s.curCarChallenge)
            s.carAbility &= ~recaList[level];
        M247_Race_Destroy(gc);
        return -1;
    default:
        return 0;
    }
}

int M247_BonusRace_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    sPlayerStats& s = gc.stats;
    const int level = LevelBonus(gc, s.curCarUpgrade, nullptr, nullptr);
    switch (iEntryIndex) {
    case 0:
        gc.SetLevelNumber(kRow, ROW_BONUSRACE);
        gc.iChallengeValue = level;
        M247_BonusRace_Load(gc, level);
        M247_BonusRace(gc);
        return 1;
    case 1:
        M247_BonusRace_Destroy(gc);
        if (iSuccess == 1)
            s.curCarUpgrade = std::min(s.curCarUpgrade + 1, 3u);
        gc.iFlags |= GCF_SIDETRIP_FINISHED;
        return -1;
    default:
        return 0;
    }
}

int M247_BonusFRange_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    sPlayerStats& s = gc.stats;
    const int level = LevelBonus(gc, s.curGunUpgrade, regaListBonus, &s.gunAbility);
    switch (iEntryIndex) {
    case 0:
        gc.SetLevelNumber(kRow, ROW_BONUSFRANGE);
        gc.iChallengeValue = level;
        Bonus_FRange_Load(gc, level);
        Bonus_FRange(gc, level);
        return 1;
    case 1:
        Bonus_FRange_Destroy(gc);
        if (iSuccess == 1 && level < 3 && s.curGunUpgrade < u32(level + 1)) {
            Grant(s.gunAbility, regaListBonus[level]);
            s.curGunUpgrade += 1;
        }
        gc.iFlags |= GCF_SIDETRIP_FINISHED;
        return -1;
    default:
        return 0;
    }
}

int M247_BonusGXDojo_Main(GameController& gc, int iEntryIndex, int iSuccess)
{
    sPlayerStats& s = gc.stats;
    const int level = LevelBonus(gc, s.curFightUpgrade, refaBonusList, &s.fightAbility);
    switch (iEntryIndex) {
    case 0:
        gc.SetLevelNumber(kRow, ROW_BONUSDOJO);
        gc.iChallengeValue = level;
        Bonus_GXDojo_Load(gc, level);
        Bonus_GXDojo(gc, level);
        return 1;
    case 1:
        if (iSuccess == 1 && s.curFightUpgrade < u32(level + 1)) {
            Grant(s.fightAbility, refaBonusList[level]);
            s.curFightUpgrade += 1;
        }
        Bonus_GXDojo_Destroy(gc, level);
        gc.iFlags |= GCF_SIDETRIP_FINISHED;
        return -1;
    default:
        return 0;
    }
}
