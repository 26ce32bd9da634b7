// The mission scripts: each episode's table of records, the episode table,
// the level-select list, and the walk of the script from record to record.
#include "game/GameFlow.h"

#include <ee/demo.h>

#include <iterator>

#include "ZevEngine2/Utilities.h"
#include "game/Levels/Levels.h"

static GamePlayRecord rgprTest[4] = {
    {Mission_Test_Main, -1, -1, 0, 0},
    {TestInt_Main, -1, -1, 0, 0},
    {Explosion_Test_Main, -1, -1, 0, 0},
    {RaceTrack_Test_Main, -1, -1, 0, 0},
};
static GamePlayRecord rgprM1[13] = {
    {M1_S1G1_Main, 0, -1, 0, 0},
    {M1_S2G2_Main, 0, 1, 0, 0},
    {M1_S3a_Main, 1, 1, 0, 0},
    {M1_S3b_Main, 0, 0, 0, 0},
    {M1_G3_Main, 0, 1, 0, 0},
    {M1_S4a_Main, 1, 1, 0, 0},
    {M1_S4b_Main, 0, 0, 0, 0},
    {M1_S4a2G4_Main, 0, -1, 0, 0},
    {M1_S5G5_Main, 0, 2, 0, 0},
    {M1_S6a_Main, 0, 0, 0, 0},
    {M1_S6a2G6_Main, 1, -257, 0, 0},
    {M1_S6bG6_Main, 0, -257, 0, 0},
    {BDriveToM1_Main, -256, -1, 0, 0},
};
static GamePlayRecord rgprM2[21] = {
    {M2_S1A_Main, 0, 0, 0, 0},
    {M2_G1_Main, 0, -1, 0, 0},
    {M2_S2G2_Main, 1, 0, 0, 0},
    {M2_G2Repeat_Main, 0, -1, 0, 0},
    {M2_S3_Main, 0, 0, 0, 0},
    {M2_G3_Main, 0, -257, 0, 0},
    {M2_S4G4_Main, -256, -256, 0, 0},
    {M2_S5_Main, 0, 0, 0, 0},
    {M2_G5_Main, 0, 1, 0, 0},
    {M2_G6A_Main, 1, 1, 0, 0},
    {M2_G6B_Main, 0, 0, 0, 0},
    {M2_S7A_Main, 8, -257, 0, 0},
    {M2_S8_Main, 6, -257, 0, 0},
    {M2_S9_Main, -5, -4, 0, 0},
    {M2_S9_Main, -6, -5, 0, 0},
    {M2_JumpTo24_Main, 0, 0, 0, 0},
    {M2_JumpTo25_Main, 0, 0, 0, 0},
    {M2_GXDojo_Main, 0, 0, 0, 0},
    {M2_S1BG1_Main, -17, -1, 0, 0},
    {BDriveToM2_Main, -256, -1, 0, 0},
    {M2_S7_Main, -9, -257, 0, 0},
};
static GamePlayRecord rgprM3[16] = {
    {M3_S1A_Main, 1, 1, 0, 0},
    {M3_S1B_Main, 0, 0, 0, 0},
    {M3_G1_Main, 0, -1, 0, 0},
    {M3_S2_01_Main, 0, 0, 0, 0},
    {M3_S2G2_02_Main, 0, 2, 3, 2},
    {M3_S3G3_Main, 0, 7, 0, 0},
    {M3_S4AG4_Main, 2, 2, 0, 0},
    {M3_S4BG4_Main, 1, 1, 0, 0},
    {M3_S4CG4_Main, 0, 0, 0, 0},
    {M3_S5_Main, 0, 0, 0, 0},
    {M3_G5_Main, 0, 3, 0, 0},
    {M3_S6G6_Main, 0, -257, 0, 0},
    {M3_S7G7_Main, -256, -256, 0, 0},
    {M3_S8_01_Main, 0, 0, 0, 0},
    {M3_S8_02G8_Main, -3, -257, 0, 0},
    {BDriveToM3_Main, -256, -1, 0, 0},
};
static GamePlayRecord rgprM4[17] = {
    {M4_S1a_Main, 1, 1, 0, 0},
    {M4_G1_Main, 1, 0, 0, 0},
    {M4_G1_Main, 0, -1, 0, 0},
    {M4_S201_Main, 0, 0, 0, 0},
    {M4_S202G2_Main, 0, 2, 0, 0},
    {M4_S3G3_Main, 0, 1, 0, 0},
    {M4_S4a_Main, 1, 1, 0, 0},
    {M4_G4b_Main, 1, 0, 0, 0},
    {M4_G4_Main, 0, -1, 0, 0},
    {M4_S5G5_Main, 0, 5, 0, 0},
    {M4_S6G6_Main, 0, 1, 0, 0},
    {M4_S7a_Main, 1, 1, 0, 0},
    {M4_S7b_Main, 0, 0, 0, 0},
    {M4_G7_Main, 0, -257, 0, 0},
    {M4_S8G8_Main, 1, -257, 0, 0},
    {M4_S9G9_Main, -5, -4, 0, 0},
    {BDriveToM4_Main, -256, -1, 0, 0},
};
static GamePlayRecord rgprM5[17] = {
    {M5_S1aG1_Main, 2, 5, 6, 5},
    {M5_S1b_Main, 0, 0, 0, 0},
    {M5_G1_Main, 0, 3, 4, 3},
    {M5_S201_Main, 0, 0, 0, 0},
    {M5_S202G2_Main, 0, 9, 0, 0},
    {M5_S3aG3_Main, 2, -1, 0, 0},
    {M5_S3bG3_Main, 1, -1, 0, 0},
    {M5_S401_Main, 0, 0, 0, 0},
    {M5_S402_Main, 0, 0, 0, 0},
    {M5_G4_Main, 0, 1, 0, 0},
    {M5_S5G5_Main, 0, 1, 0, 0},
    {M5_S6G6_Main, 1, -257, 0, 0},
    {M5_S701_Main, 0, 0, 0, 0},
    {M5_S702G7_Main, 2, -257, 0, 0},
    {M5_S8_Main, 0, 0, 0, 0},
    {M5_G8_Main, -6, -1, 0, 0},
    {BDriveToM5_Main, -256, -1, 0, 0},
};
static GamePlayRecord rgprM6[13] = {
    {M6_S1a_Main, 1, 1, 0, 0},
    {M6_S1b_Main, 0, 0, 0, 0},
    {M6_G1_Main, 1, -1, 0, 0},
    {M6_S202G2_Main, 1, 6, 0, 0},
    {M6_S202G2_Main, 0, 5, 0, 0},
    {M6_S3G3_Main, 0, 4, 0, 0},
    {M6_S4G4_Main, 0, 4, 0, 0},
    {M6_S5G5_Main, 0, -257, 0, 0},
    {M6_S6AG6_Main, 0, -257, 0, 0},
    {M6_S7G7_Main, 2, -257, 0, 0},
    {M6_S8G8_Main, -4, 0, 0, 0},
    {M6_S6BG6_Main, -3, -257, 0, 0},
    {BDriveToM6_Main, -256, -1, 0, 0},
};
static GamePlayRecord rgprM7[15] = {
    {M7_S1aG1_Main, 2, 2, 0, 0},
    {M7_S1b_Main, 0, 0, 0, 0},
    {M7_G1_Main, 0, -1, 0, 0},
    {M7_S2G2_Main, 0, 9, 0, 0},
    {M7_S3G3_Main, 0, 1, 4, 1},
    {M7_G4_Main, 0, 4, 0, 0},
    {M7_S5G5_Main, 0, 4, 2, 4},
    {M7_S6a01_Main, 0, 0, 0, 0},
    {M7_S6a02G6_Main, 3, 3, 0, 0},
    {M7_S6b01_Main, 0, 0, 0, 0},
    {M7_S6b02_Main, -3, -3, 0, 0},
    {M7_S701_Main, 0, 0, 0, 0},
    {M7_S702G7_Main, 1, -257, 0, 0},
    {M7_S8G8_Main, -8, -4, 0, 0},
    {BDriveToM7_Main, -256, -1, 0, 0},
};
static GamePlayRecord rgprM8[18] = {
    {M8_S1a01_Main, 0, 0, 0, 0},
    {M8_S1a02G1_Main, 1, 14, 1, 14},
    {M8_S1b02G1_Main, 0, 13, 14, 13},
    {M8_S2_Main, 0, 0, 0, 0},
    {M8_G2_Main, 0, 11, 0, 0},
    {M8_S3G3_Main, 0, 3, 0, 0},
    {M8_S4a_Main, 0, 0, 0, 0},
    {M8_G4_Main, 1, -1, 0, 0},
    {M8_S4bG4_Main, 0, -1, 0, 0},
    {M8_S501_Main, 0, 0, 0, 0},
    {M8_S502G5_Main, 0, 4, 0, 0},
    {M8_S601_Main, 0, 3, 0, 0},
    {M8_S602G6_Main, 0, 2, 0, 0},
    {M8_S7G7_Main, 0, 1, 0, 0},
    {M8_S8a_Main, -256, -256, 0, 0},
    {M8_S8b_Main, -257, -257, 0, 0},
    {M8_S9G9_Main, -9, -7, 0, 0},
    {M8_S2B_Main, -14, -14, 0, 0},
};
static GamePlayRecord rgprM9[14] = {
    {M9_S101_Main, 0, 0, 0, 0},
    {M9_S102G1_Main, 0, -1, 0, 0},
    {M9_S2G2_Main, 0, 7, 0, 0},
    {M9_S3_Main, 0, 0, 0, 0},
    {M9_G3_Main, 0, -1, 0, 0},
    {M9_S401_Main, 0, 0, 0, 0},
    {M9_S402G4_Main, 0, 5, 0, 0},
    {M9_S5G5_Main, 0, -257, 0, 0},
    {M9_S6G6_Main, 0, -257, 0, 0},
    {M9_S7G7_Main, 3, -257, 0, 0},
    {M9_S8G8_Main, 0, 1, 0, 0},
    {M9_S9aG9_Main, 0, 0, 0, 0},
    {M9_S9bG9_Main, -6, -257, 0, 0},
    {BDriveToM9_Main, -256, -1, 0, 0},
};
static GamePlayRecord rgprM10[13] = {
    {M10_S1a_Main, 1, 1, 0, 0},
    {M10_S1bG1_Main, 1, 0, 0, 0},
    {M10_G1_Main, 0, -1, 0, 0},
    {M10_S2G2_Main, 0, 2, 0, 0},
    {M10_S3G3_Main, 0, 6, 0, 0},
    {M10_S4G4_Main, 0, 6, 0, 0},
    {M10_S5aG5_Main, 0, 5, 0, 0},
    {M10_S6G6_Main, 0, 2, 0, 0},
    {M10_S7G7_Main, 0, 1, 0, 0},
    {M10_S8a_Main, -256, -256, 0, 0},
    {M10_S8b_Main, -257, -257, 0, 0},
    {M10_S901_Main, 0, 0, 0, 0},
    {M10_S902G9_Main, -5, -3, 0, 0},
};
static GamePlayRecord rgprM11[16] = {
    {M11_S1G1_Main, 0, 12, 0, 0},
    {M11_S2G2_Main, 0, 2, 0, 0},
    {M11_S3G3_Main, 0, 5, 0, 0},
    {M11_S4a_Main, 2, 2, 0, 0},
    {M11_S4bG4_Main, 2, 1, 0, 0},
    {M11_S4c_Main, 0, 0, 0, 0},
    {M11_G4_Main, 0, -1, 0, 0},
    {M11_S5aG5_Main, 1, 3, 0, 0},
    {M11_S5bG5_Main, 0, 2, 0, 0},
    {M11_S6_Main, 0, 0, 0, 0},
    {M11_G6_Main, 3, -1, 0, 0},
    {M11_S7B01_Main, 0, 0, 0, 0},
    {M11_S7B02G7_Main, 2, -257, 0, 0},
    {M11_S8G8_Main, -9, -6, 0, 0},
    {M11_S7AG7_Main, 0, -257, 0, 0},
    {BDriveToM11_Main, -256, -1, 0, 0},
};
static GamePlayRecord rgprM12[14] = {
    {M12_S1a_Main, 1, 1, 0, 0},
    {M12_S1bG1_Main, 1, 3, 0, 0},
    {M12_G1_Main, 0, 2, 0, 0},
    {M12_S2G2_Main, 0, 3, 0, 0},
    {M12_S3aG3_Main, 1, 2, 0, 0},
    {M12_S3bG3_Main, 0, 1, 0, 0},
    {M12_S4a_Main, 1, 1, 0, 0},
    {M12_S4b_Main, 0, 0, 0, 0},
    {M12_G4_Main, 0, -1, 0, 0},
    {M12_S5G5_Main, 0, 3, 0, 0},
    {M12_S6G6_Main, 0, 2, 0, 0},
    {M12_S7G7_Main, 0, 1, 0, 0},
    {M12_S8a_Main, -256, -256, 0, 0},
    {M12_S8b_Main, -257, -257, 0, 0},
};
static GamePlayRecord rgprM247[7] = {
    {M247_ImpoundLot_Main, -1, -1, 0, 0},
    {M247_GXDojo_Main, -1, -1, 0, 0},
    {M247_FRange_Main, -1, -1, 0, 0},
    {M247_Race_Main, -1, -1, 0, 0},
    {M247_BonusRace_Main, -1, -1, 0, 0},
    {M247_BonusFRange_Main, -1, -1, 0, 0},
    {M247_BonusGXDojo_Main, -1, -1, 0, 0},
};

MissionInfo rgMissions[NUM_MISSIONS] = {
    {rgprTest, "Missions\\Mission1.exm", 0, 0, 0, 0},
    {rgprM1, "KORVALIS\\DemoData\\Missions\\Mission1.exm", 2, 0, 2, 18},
    {rgprM2, "KORVALIS\\DemoData\\Missions\\Mission2.exm", -1, 0, 3, 12},
    {rgprM3, "KORVALIS\\DemoData\\Missions\\Mission3.exm", -1, -1, -1, -1},
    {rgprM4, "KORVALIS\\DemoData\\Missions\\Mission4.exm", 5, 0, 5, 1},
    {rgprM5, "KORVALIS\\DemoData\\Missions\\Mission5.exm", 6, 0, 6, 1},
    {rgprM6, "KORVALIS\\DemoData\\Missions\\Mission6.exm", 7, 0, 7, 1},
    {rgprM7, "KORVALIS\\DemoData\\Missions\\Mission7.exm", 8, 0, 8, 1},
    {rgprM8, "KORVALIS\\DemoData\\Missions\\Mission8.exm", 8, 0, 8, 1},
    {rgprM9, "KORVALIS\\DemoData\\Missions\\Mission9.exm", 10, 0, 10, 1},
    {rgprM10, "KORVALIS\\DemoData\\Missions\\Mision10.exm", 10, 0, 10, 1},
    {rgprM11, "KORVALIS\\DemoData\\Missions\\Mision11.exm", 12, 0, 12, 1},
    {rgprM12, "KORVALIS\\DemoData\\Missions\\Mision12.exm", 12, 0, 12, 1},
    {rgprM247, "KORVALIS\\DemoData\\Missions\\Mision99.exm", 12, 0, 12, 1},
};

const int rgMissionRecordCounts[NUM_MISSIONS] = {
    int(std::size(rgprTest)), int(std::size(rgprM1)),  int(std::size(rgprM2)),  int(std::size(rgprM3)),
    int(std::size(rgprM4)),   int(std::size(rgprM5)),  int(std::size(rgprM6)),  int(std::size(rgprM7)),
    int(std::size(rgprM8)),   int(std::size(rgprM9)),  int(std::size(rgprM10)), int(std::size(rgprM11)),
    int(std::size(rgprM12)),  int(std::size(rgprM247)),
};

const LevelSelectInfo rglsi[NUM_LEVELSELECT] = {
    {0, 2},  {1, 2},  {2, 2},  {4, 2},  {5, 2},  {6, 2},  {7, 2},  {8, 2},  {9, 2},  {10, 2}, {11, 2},
    {12, 2}, {13, 2}, {14, 2}, {15, 2}, {16, 2}, {17, 2}, {0, 3},  {1, 3},  {2, 3},  {3, 3},  {4, 3},
    {5, 3},  {6, 3},  {7, 3},  {8, 3},  {9, 3},  {10, 3}, {11, 3}, {12, 3}, {13, 3}, {14, 3},
};

int GameController::ProcessGPRecord()
{
    // A run asked for while a step is running (a scene whose cinematic
    // cannot be read ends as it starts) waits until the step has returned,
    // and then runs the step's next entry: run at once it would start the
    // running entry again, without end.
    static bool running, again;
    if (running) {
        again = true;
        return 1;
    }
    running = true;
    int r;
    do {
        again = false;
        r = RunScriptRecords();
    } while (again && r >= 0);
    running = false;
    return r;
}

int GameController::RunScriptRecords()
{
    if (iGPREntryIndex < 0)
        iGPREntryIndex = 0;
    for (;;) {
        if (pgprCurr == nullptr || pgprCurr->pgdf == nullptr) {
            printf("GameController: no script record to run\n");
            return -1;
        }
        // The launcher hears of every record the run enters.
        if (iGPREntryIndex == 0 && unsigned(iMission) < unsigned(NUM_MISSIONS))
            sceeDemoRecord(u16(iMission), u16(pgprCurr - rgMissions[iMission].pgpr));
        iGPREntryIndex = pgprCurr->pgdf(*this, iGPREntryIndex, iMissionRet);
        if (iGPREntryIndex >= 0)
            return 1;

        bool forced = false;
        if (iFlags & GCF_SIDETRIP_FINISHED) {
            // Back from a side trip: the saved record's success jump follows.
            iFlags &= ~(GCF_SIDETRIP_FINISHED | GCF_SIDETRIP_RUNNING);
            if (bForceLevel) {
                iFlags &= ~(GCF_SIDETRIP_REQUESTED | GCF_SIDETRIP_RUNNING);
                forced = true;
            } else {
                iMission = i16SavedMission;
                i16ChooseMission = i16SavedMission;
                i16ChooseTask = i16SavedTask;
                if (unsigned(iMission) < unsigned(NUM_MISSIONS) &&
                    unsigned(i16SavedTask) < unsigned(rgMissionRecordCounts[iMission]))
                    pgprCurr = rgMissions[iMission].pgpr + i16SavedTask;
                iMissionRet = 0;
            }
        }
        if (!forced && bForceLevel) {
            iFlags &= ~(GCF_SIDETRIP_REQUESTED | GCF_SIDETRIP_RUNNING);
            forced = true;
        }
        if (!forced && (iFlags & GCF_SIDETRIP_REQUESTED)) {
            i16ChooseMission = i16SavedMission;
            i16ChooseTask = i16SavedTask;
            i16SavedMission = i16CurrMission;
            i16SavedTask = i16CurrTask;
            iFlags = (iFlags & ~GCF_SIDETRIP_REQUESTED) | GCF_SIDETRIP_RUNNING;
            forced = true;
        } else if (!forced && (iFlags & GCF_SIDETRIP_RUNNING)) {
            i16ChooseMission = i16SavedMission;
            i16ChooseTask = i16SavedTask;
            iMissionRet = 0;
            forced = true;
        }

        if (forced) {
            bForceLevel = false;
            g_GlobalMFI.ClearDeleteableMF();
            SwitchToMission(i16ChooseMission, i16ChooseTask, i8Loop);
        } else if (i8Loop != 0) {
            iMissionRet = 0;
        } else {
            int jump;
            switch (iMissionRet) {
            case 0:
            case 1: jump = pgprCurr->iOffsetSuccess; break;
            case 2: jump = pgprCurr->iOffsetFailure; break;
            case 3: jump = pgprCurr->iOffsetSecondarySuccess; break;
            default: jump = pgprCurr->iOffsetSecondaryFailure; break;
            }
            if (jump == GPR_EPISODE_UNSOLVED || jump == GPR_EPISODE_SOLVED) {
                const bool solved = jump == GPR_EPISODE_SOLVED;
                SetEpisodeState(iMission, solved ? ES_SOLVED : ES_UNSOLVED);
                g_GlobalMFI.ClearDeleteableMF();
                const MissionInfo& mi = rgMissions[iMission];
                const int next = solved ? mi.i16SuccessMission : mi.i16FailureMission;
                const int task = solved ? mi.i16SuccessTask : mi.i16FailureTask;
                if (next < 0)
                    return -1;
                SwitchToMission(next, task, i8Loop);
            } else {
                GamePlayRecord* target = pgprCurr + jump + 1;
                const int count = rgMissionRecordCounts[iMission];
                const GamePlayRecord* first = rgMissions[iMission].pgpr;
                if (target < first || target >= first + count) {
                    // A jump out of the episode's table would run whatever
                    // lies beside it: the run ends instead.
                    printf("GameController: a jump of %d from record %d leaves episode %d; the run ends\n", jump,
                           int(pgprCurr - first), iMission);
                    return -1;
                }
                pgprCurr = target;
            }
        }
        iGPREntryIndex = 0;
    }
}
