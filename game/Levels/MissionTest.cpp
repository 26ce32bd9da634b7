// The step functions of the script rgprTest.  Each not yet built is a
// link stub that says so once and finishes its record.
#include "game/Levels/Levels.h"
#include "game/Levels/M2Desc.h"

#include "ZevEngine2/PS2/Model.h"
#include "game/QuadTree.h"

namespace {

constexpr int kDefaultSpot = -1;
constexpr int kPlayerSlot = 48;
constexpr int kPlayerCarSlot = 0;
constexpr int kPlayerCarId = 65;
constexpr int kTestPropSlot = 218;

// The quick drive: the player and his car at the default spot, free driving.
int Mission_Test(GameController& gc)
{
    gc.LoadMDLFile("KORVALIS\\DemoData\\Misc\\POO.P2B", kTestPropSlot, 0, 0);
    Matrix spot = TransMatrix(0.0f, 0.0f, 0.0f);
    if (Object* ph = world.placeholderlist.Find(kDefaultSpot))
        spot = ph->mat;
    // The city around the spot is streamed in before anything stands on it.
    if (world.quadtree != nullptr)
        while (!world.SyncTo(spot.GetTrans())) {
        }
    char dace[] = "Dace";
    gc.CreateCharacterAt(kPlayerSlot, -1, kDefaultSpot, dace, false);
    // The car is made resting on its springs; the line tells where.
    if (Object* car = gc.CreateVehicleAt(kPlayerCarSlot, kPlayerCarId, kDefaultSpot, false)) {
        const VectorPos at = car->mat.GetTrans();
        printf("Mission_Test: car %d at (%.3f, %.3f, %.3f)\n", kPlayerCarId, at[0], at[1], at[2]);
    }
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

MISSION_STEP_STUB(TestInt_Main)
MISSION_STEP_STUB(Explosion_Test_Main)
MISSION_STEP_STUB(RaceTrack_Test_Main)
