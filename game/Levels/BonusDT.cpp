// The bonus drive-to steps, one per episode that has one.  Each is a game
// that books no task state: the drive's success closes the episode through
// the script's jumps.
#include "game/Levels/BonusDT.h"

namespace {

constexpr int kStartPlaceholder = -400;
constexpr int kCarId = 65;

// The one step every bonus row runs: its task, episode and level, and the
// car or motorcycle version of the drive.
int BonusStep(GameController& gc, int iEntryIndex, TaskNumbers task, int episode, int level, bool motorcycle)
{
    switch (iEntryIndex) {
    case 0:
        gc.CurrentTaskNumber = task;
        MBonus_Driving_Load(gc);
        gc.SetLevelNumber(episode, level);
        if (motorcycle)
            BonusDriveTo_MotorCycle_G(gc);
        else
            BonusDriveTo_G(gc);
        return 1;
    case 1:
        MBonus_Driving_Destroy(gc);
        return -1;
    default:
        return 0;
    }
}

}  // namespace

int MBonus_Driving_Load(GameController& gc)
{
    return LoadDrivingSet(gc, false);
}

int LoadDrivingSet(GameController& gc, bool endLoading, bool withCar)
{
    gc.StartLoading();
    gc.FreeInteriorAnimGroups();
    gc.CheckMemory();
    if (withCar)
        gc.LoadDaceCarMDLFile(nullptr, 0, 2, 0);
    gc.LoadMDLFile(nullptr, 5, 27, 1);
    gc.LoadMDLFile(nullptr, 6, 38, 10);
    gc.LoadMDLFile(nullptr, 7, 37, 10);
    gc.LoadFillAmbientCars(1, -1);
    gc.LoadFillAmbientPeds(80, -1);
    if (endLoading)
        gc.EndLoading();
    gc.ResetTime();
    return 1;
}

int MBonus_Driving_Destroy(GameController& gc)
{
    for (int slot = 0; slot <= 7; slot++)
        gc.DestroyMDLFile(slot, true);
    for (int slot = 80; slot <= 84; slot++)
        gc.DestroyMDLFile(slot, true);
    gc.DestroyMDLFile(kPhoneSlot, true);
    gc.CheckMemory();
    return 1;
}

int BonusDriveTo_G(GameController& gc)
{
    gc.SetTimeOfDay(15, 5, false);
    gc.CheckMemory();
    gc.bEnableImpoundLots = true;
    gc.SyncGridPosAt(kStartPlaceholder, false);
    gc.CreateCharacterAt(48, -1, kStartPlaceholder, szDace, true);
    gc.CreateVehicleAt(0, kCarId, kStartPlaceholder, true);
    gc.PutObjectInCar(-1, kCarId, 116, false);
    StartAmbientLife(gc);
    gc.SetBonusDriveToMissionMode(0, false);
    gc.SetupGeneratedRandMission(-1);
    gc.EndLoading();
    return 1;
}

int BonusDriveTo_MotorCycle_G(GameController& gc)
{
    gc.DestroyMDLFile(0, true);
    gc.LoadMDLFile(nullptr, 0, 31, 0);
    return BonusDriveTo_G(gc);
}

int BDriveToM1_Main(GameController& gc, int iEntryIndex, int)
{
    return BonusStep(gc, iEntryIndex, TNUM_M1_Bonus_DT, 1, 12, false);
}

int BDriveToM2_Main(GameController& gc, int iEntryIndex, int)
{
    return BonusStep(gc, iEntryIndex, TNUM_M2_Bonus_DT, 2, 19, false);
}

int BDriveToM3_Main(GameController& gc, int iEntryIndex, int)
{
    return BonusStep(gc, iEntryIndex, TNUM_M3_Bonus_DT, 3, 15, false);
}

int BDriveToM4_Main(GameController& gc, int iEntryIndex, int)
{
    return BonusStep(gc, iEntryIndex, TNUM_M4_Bonus_DT, 4, 16, false);
}

int BDriveToM5_Main(GameController& gc, int iEntryIndex, int)
{
    return BonusStep(gc, iEntryIndex, TNUM_M5_Bonus_DT, 5, 16, true);
}

int BDriveToM6_Main(GameController& gc, int iEntryIndex, int)
{
    return BonusStep(gc, iEntryIndex, TNUM_M6_Bonus_DT, 6, 12, false);
}

int BDriveToM7_Main(GameController& gc, int iEntryIndex, int)
{
    return BonusStep(gc, iEntryIndex, TNUM_M7_Bonus_DT, 7, 14, false);
}

int BDriveToM9_Main(GameController& gc, int iEntryIndex, int)
{
    return BonusStep(gc, iEntryIndex, TNUM_M9_Bonus_DT, 9, 13, false);
}

int BDriveToM11_Main(GameController& gc, int iEntryIndex, int)
{
    return BonusStep(gc, iEntryIndex, TNUM_M11_Bonus_DT, 11, 15, false);
}
