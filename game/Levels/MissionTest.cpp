// The step functions of the script rgprTest: quick set-ups that put the
// player into a drive, a room, in front of a prop that blows up, or onto a
// driving course.  Each step function runs its set-up on step 0 (and stays
// on its record), its teardown on step 1 (and finishes the record), and
// nothing on any other step.
#include "game/Levels/Levels.h"
#include "game/Levels/M2Desc.h"

#include "ZevEngine2/PS2/Model.h"
#include "game/Player.h"
#include "game/QuadTree.h"

int TestDamageable_mh(Object* o, OBJMESSAGE msg, void* data);

namespace {

constexpr int kDefaultSpot = -1;
constexpr int kCourseSpot = -900;
constexpr int kPlayerId = -1;
constexpr int kPlayerSlot = 48;
constexpr int kPlayerCarSlot = 0;
constexpr int kCourseCarSlot = 5;
constexpr int kPlayerCarId = 65;
constexpr int kDriverSeat = 116;
constexpr int kTestPropSlot = 218;
constexpr int kExplodingPropSlot = 194;
constexpr int kWanderTrack = 2;

// The room's cast (slots 49..53 by character id) and its fighting styles'
// groups: kung fu, karate, knife, brawler, boxer.
constexpr int kCastSlot = 49;
constexpr int kCastIds[] = {162, 143, 83, 156, 156};
constexpr int kFightGroups[] = {10, 11, 14, 13, 12};

// The course's cars in slots 5..7 and how many copies each may make.
constexpr struct
{
    int slot, id, extra;
} kCourseCars[] = {{5, 27, 1}, {6, 38, 10}, {7, 37, 10}};

char g_szDace[] = "Dace";
char g_szInterior[] = "KORVALIS\\DemoData\\Int\\INTERIOR.P2B";
char g_szCourse[] = "KORVALIS\\DemoData\\Int\\DRV24\\TESTDRV.P2B";

// The quick drive: the player in his car at the default spot, free driving.
int Mission_Test(GameController& gc)
{
    gc.LoadMDLFile("KORVALIS\\DemoData\\Misc\\POO.P2B", kTestPropSlot, 0, 0);
    gc.SyncGridPosAt(kDefaultSpot, false);
    gc.CreateCharacterAt(kPlayerSlot, kPlayerId, kDefaultSpot, g_szDace, false);
    // The car is made resting on its springs; the line tells where.
    if (Object* car = gc.CreateVehicleAt(kPlayerCarSlot, kPlayerCarId, kDefaultSpot, false)) {
        const VectorPos at = car->mat.GetTrans();
        printf("Mission_Test: car %d at (%.3f, %.3f, %.3f)\n", kPlayerCarId, at[0], at[1], at[2]);
    }
    gc.PutObjectInCar(kPlayerId, kPlayerCarId, kDriverSeat, false);
    gc.SetCruiseMissionMode(0);
    gc.EndLoading();
    return 1;
}

int TestInt_Load(GameController& gc)
{
    gc.StartLoading();
    for (int i = 0; i < 5; i++)
        gc.LoadMDLFile(nullptr, kCastSlot + i, kCastIds[i], 0);
    for (int g : kFightGroups)
        gc.LoadAnimGroup(g);
    gc.ResetTime();
    return 0;
}

int TestInt(GameController& gc)
{
    gc.CreateCharacterAt(kPlayerSlot, kPlayerId, kDefaultSpot, g_szDace, false);
    gc.CreateInteriorAt(g_szInterior, kDefaultSpot, 0);
    gc.EndLoading();
    gc.ResetTime();
    gc.SetWanderMissionMode(kWanderTrack);
    return 0;
}

int TestInt_Destroy(GameController& gc)
{
    for (int i = 0; i < 5; i++)
        gc.DestroyMDLFile(kCastSlot + i, true);
    for (int i = 4; i >= 0; i--)
        gc.DestroyAnimGroup(kFightGroups[i]);
    gc.DestroyInterior(true);
    return 0;
}

// A prop that blows up when hit, just in front of the player.
int Explosion_Test(GameController& gc)
{
    gc.SyncGridPosAt(kDefaultSpot, false);
    Object* player = gc.CreateCharacterAt(kPlayerSlot, kPlayerId, kDefaultSpot, g_szDace, false);
    gc.LoadMDLFile("KORVALIS\\DemoData\\Misc\\POO.P2B", kExplodingPropSlot, 0, 0);
    if (Object* prop = gc.CreateObjectAt(kExplodingPropSlot, kDefaultSpot, TestDamageable_mh)) {
        if (player != nullptr) {
            const Matrix& p = player->mat;
            prop->mat = p;
            prop->mat.SetTrans(p.GetTrans() + VectorDir(p.z.xyz()) * 1.5625f + VectorDir(p.x.xyz()) * 0.3125f);
        }
    }
    gc.SetWanderMissionMode(kWanderTrack);
    gc.EndLoading();
    return 1;
}

int RaceTrack_Test(GameController& gc)
{
    gc.StartLoading();
    for (const auto& c : kCourseCars)
        gc.LoadMDLFile(nullptr, c.slot, c.id, c.extra);
    gc.LoadFillAmbientCars(1, -1);
    gc.SyncGridPosAt(kCourseSpot, false);
    gc.CreateCharacterAt(kPlayerSlot, kPlayerId, kCourseSpot, g_szDace, false);
    gc.CreateVehicleAt(kCourseCarSlot, kPlayerCarId, kCourseSpot, false);
    gc.CreateExteriorAt(g_szCourse, kCourseSpot, 0);
    gc.PutObjectInCar(kPlayerId, kPlayerCarId, kDriverSeat, false);
    gc.ResetTime();
    gc.SetCruiseMissionMode(0);
    gc.EndLoading();
    return 1;
}

}  // namespace

int Mission_Test_Main(GameController& gc, int step, int)
{
    if (step == 0) {
        M2_Driving_Load(gc);
        return Mission_Test(gc);
    }
    if (step == 1) {
        M2_Driving_Destroy(gc);
        return -1;
    }
    return 0;
}

int TestInt_Main(GameController& gc, int step, int)
{
    if (step == 0) {
        TestInt_Load(gc);
        TestInt(gc);
        return 1;
    }
    if (step == 1) {
        TestInt_Destroy(gc);
        return -1;
    }
    return 0;
}

int Explosion_Test_Main(GameController& gc, int step, int)
{
    if (step == 0) {
        Explosion_Test(gc);
        return 1;
    }
    if (step == 1) {
        gc.DestroyMDLFile(kExplodingPropSlot, true);
        return -1;
    }
    return 0;
}

int RaceTrack_Test_Main(GameController& gc, int step, int)
{
    if (step == 0) {
        RaceTrack_Test(gc);
        return 1;
    }
    if (step == 1) {
        M2_Driving_Destroy(gc);
        return -1;
    }
    return 0;
}
