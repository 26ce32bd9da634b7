// The car's physics step run headless on flat ground (no city: the ground is
// y 0 everywhere): suspension, gearbox, grip and the special moves' rules.
#include <cmath>

#include "vehicle_support.h"

namespace {

using namespace vehtest;

class CarPhysics : public VehicleWorld
{
protected:
    // Ticks of the clock and the step.
    static void Run(Vehicle* v, int ticks)
    {
        for (int i = 0; i < ticks; i++) {
            Tick();
            v->MoveVehicle();
        }
    }
    // A sedan settled on its springs, driven by an AI driver, its last
    // collision long past.
    Vehicle* Settled(CarFile& f, Object* driver)
    {
        Vehicle* v = Make(f, 0);
        v->iLastCollTime = -1000;
        Run(v, 400);
        v->rcoDriver = driver;
        v->fBrake = 0.0f;
        v->fHandBrake = 0.0f;
        return v;
    }
    static bool Skidding(const Vehicle* v, int i) { return (v->wheel[i]->flags & WHEELF_SKIDDING) != 0; }

    // The AI driver the tests' cars hold a counted reference to: it outlives
    // the cars, which let it go when the tear-down deletes them.
    Driver d;
};

TEST_F(CarPhysics, DriverlessCarDroppedSettlesOnItsSpringsAndStays)
{
    CarFile f(0);
    Vehicle* v = Make(f, 0, VectorPos(2.0f, 0.0f, -3.0f));
    v->mat.w[1] = -0.2f;   // 0.2 above the ground
    Run(v, 400);
    // Four wheels each carrying a quarter of gravity: the springs' rest
    // offset, the wheel's radius above the ground.
    EXPECT_NEAR(0.0f - v->Pos()[1], v->CalcBodyRestOffset() + v->wheel[0]->radius, 0.01f);
    EXPECT_EQ(v->fHandBrake, 0.02f);
    EXPECT_EQ(v->fAccel, 0.0f);
    EXPECT_EQ(v->fEngine, 0.0f);
    EXPECT_EQ(v->Pos()[0], 2.0f);
    EXPECT_EQ(v->Pos()[2], -3.0f);
    for (int i = 0; i < 4; i++)
        EXPECT_FALSE(Skidding(v, i)) << i;
    // Standing, it does not creep.
    const VectorPos at = v->Pos();
    Run(v, 1000);
    EXPECT_EQ(v->Pos()[0], at[0]);
    EXPECT_EQ(v->Pos()[2], at[2]);
    EXPECT_NEAR(v->Pos()[1], at[1], 1e-4f);
    // Quarter loads on the tyres.
    for (int i = 0; i < 4; i++)
        EXPECT_NEAR(g_rgfTires[i], kWheelLoad, kWheelLoad * 0.05f) << i;
}

TEST_F(CarPhysics, CarDroppedFromAStoreyHighLandsAndStandsWithAFinitePose)
{
    // Made 31.25 above the ground (a room's height over the street), at the
    // world speed of play with the player on foot (1.2): it falls, lands hard
    // on its bump stops and must come to rest on its springs, never with a
    // position or velocity that is not a number.
    world.playbackSpeed = 1.2f;
    CarFile f(0);
    Vehicle* v = Make(f, 0, VectorPos(1.0f, 0.0f, 4.0f));
    v->mat.w[1] = -31.25f;
    for (int t = 0; t < 1500; t++) {
        Run(v, 1);
        for (int k = 0; k < 3; k++) {
            ASSERT_TRUE(std::isfinite(v->Pos()[k])) << "tick " << t << " axis " << k;
            ASSERT_TRUE(std::isfinite(v->vel[k])) << "tick " << t << " axis " << k;
            ASSERT_TRUE(std::isfinite(v->angvel[k])) << "tick " << t << " axis " << k;
        }
    }
    EXPECT_NEAR(0.0f - v->Pos()[1], v->CalcBodyRestOffset() + v->wheel[0]->radius, 0.01f);
    EXPECT_GT(v->mat.y[1], 0.99f);   // upright
}

TEST_F(CarPhysics, FullThrottleShiftsUpOneGearAtATimeToFifth)
{
    CarFile f(0);
    Vehicle* v = Settled(f, &d);
    std::vector<int> gears{v->gear};
    float top = 0.0f;
    for (int t = 0; t < 3000; t++) {
        v->fAccel = 0.001f;
        Tick();
        v->MoveVehicle();
        if (v->gear != gears.back())
            gears.push_back(v->gear);
        top = std::max(top, Dot(v->vel.xyz(), v->mat.z.xyz()));
    }
    // Each change one gear; each gear first reached from the one below; and
    // fifth the top.  (Just after a shift up the engine sits below the
    // shift-down point until the road speed has pulled it up.)
    int highest = 1;
    for (size_t i = 1; i < gears.size(); i++) {
        EXPECT_EQ(std::abs(gears[i] - gears[i - 1]), 1) << i;
        if (gears[i] > highest) {
            EXPECT_EQ(gears[i], highest + 1);
            highest = gears[i];
        }
    }
    EXPECT_EQ(highest, 5);
    EXPECT_EQ(gears.back(), 5);
    // It drove forward, below its top speed.
    EXPECT_GT(top, 0.1f);
    EXPECT_LT(top, v->fMaxCarSpeed * 1.05f);
    EXPECT_GT(v->Pos()[2], 50.0f);
}

TEST_F(CarPhysics, GearboxShiftsByTheRatiosAndNeverFromReverseOrNeutral)
{
    CarFile f(0);
    // In the air no wheel feeds the engine back: the gearbox alone.
    Vehicle* v = Make(f, 0);
    v->rcoDriver = &d;
    v->mat.w[1] = -5.0f;
    v->fEngine = 0.98f;
    v->fAccel = 0.00098f;   // the engine holds at 0.98
    Tick();
    v->MoveVehicle();
    EXPECT_EQ(v->gear, 2);
    EXPECT_FLOAT_EQ(v->fEngine, 0.98f * 0.0625f / 0.11675f);
    // Down from 3 at a slack engine: the ratio the other way.
    v->gear = 3;
    v->fEngine = 0.5f;
    v->fAccel = 0.0f;
    Tick();
    v->MoveVehicle();
    EXPECT_EQ(v->gear, 2);
    EXPECT_FLOAT_EQ(v->fEngine, (0.5f - 0.5f * 0.5f * 0.025f) * 0.176f / 0.11675f);
    for (int g : {-1, -2, 0}) {
        v->gear = s8(g);
        for (int t = 0; t < 50; t++) {
            v->fAccel = 0.001f;
            v->mat.w[1] = -5.0f;
            Tick();
            v->MoveVehicle();
        }
        EXPECT_EQ(v->gear, g);
        EXPECT_LE(v->fEngine, 1.0f);
    }
    // Fifth is the top.
    v->gear = 5;
    v->fEngine = 1.0f;
    v->fAccel = 0.001f;
    Tick();
    v->MoveVehicle();
    EXPECT_EQ(v->gear, 5);
}

TEST_F(CarPhysics, LandingRearWheelsCountAsSkiddingForAStep)
{
    CarFile f(0);
    Vehicle* a = Settled(f, &d);
    Vehicle* b = Settled(f, &d);
    // b hung in the air for one step before this one.
    for (int i = 0; i < 4; i++)
        b->wheel[i]->flags |= WHEELF_SKIDDING;
    for (Vehicle* v : {a, b}) {
        v->fEngine = 1.0f;
        v->fAccel = 0.001f;
    }
    Tick();
    a->MoveVehicle();
    b->MoveVehicle();
    EXPECT_EQ(a->gear, 2);
    EXPECT_EQ(b->gear, 1);
    // A wheel in the air is flagged.
    Vehicle* c = Make(f, 0);
    c->mat.w[1] = -3.0f;
    Tick();
    c->MoveVehicle();
    for (int i = 0; i < 4; i++) {
        EXPECT_TRUE(Skidding(c, i)) << i;
        EXPECT_EQ(c->wheel[i]->mat.w[1], c->wheel[i]->rest);
    }
}

TEST_F(CarPhysics, OnItsRoofOnlyTheBodyContactsExtraGravityAndDragAct)
{
    CarFile f(0);
    Vehicle* v = Make(f, 0);
    v->rcoDriver = &d;
    v->mat = RotZ(3.1415927f);
    v->mat.w = Vector(0.0f, -3.0f, 0.0f, 1.0f);
    v->vel = Vector(0.01f, 0.0f, 0.0f, 0.0f);
    v->fAccel = 0.001f;
    g_rgfTires[0] = 123.0f;
    Tick();
    v->MoveVehicle();
    // In the air: gravity and a half, the drag alone slowing it.
    EXPECT_FLOAT_EQ(v->vel[1], kVehGravity + 0.00046835912f);
    EXPECT_FLOAT_EQ(v->vel[0], 0.01f - 0.0071f * 0.01f * 0.01f);
    EXPECT_EQ(v->wheel[0]->speed, 0.0f);
    EXPECT_EQ(g_rgfTires[0], 123.0f);
    // Roof down in the ground: pushed back up.
    v->mat.w = Vector(0.0f, 0.0f, 0.0f, 1.0f);
    v->vel = Vector(0.0f, 0.0f, 0.0f, 0.0f);
    Tick();
    v->MoveVehicle();
    EXPECT_LT(v->vel[1], 0.0f);
    EXPECT_EQ(v->wheel[0]->speed, 0.0f);
}

TEST_F(CarPhysics, SwitchbladeSlidesFreeAndCollisionsCutGrip)
{
    CarFile f(0);
    Vehicle* a = Settled(f, &d);
    Vehicle* b = Settled(f, &d);
    for (Vehicle* v : {a, b})
        v->vel = Vector(0.005f, 0.0f, 0.02f, 0.0f);
    b->vSpecialMove = VSpecialMove_FrontSwitchBlade;
    b->vMiscSpecial = Vector(0.0f, 0.0f, -1.0f, 1.0f);
    b->iBurstTimeLeft = 90;
    const float b0x = b->vel[0], b0z = b->vel[2];
    Tick();
    a->MoveVehicle();
    b->MoveVehicle();
    // The tyres' horizontal forces and the drag are off: only the body's
    // tilt can carry a little of the suspension's push sideways.
    EXPECT_NEAR(b->vel[0], b0x, 2e-6f);
    EXPECT_NEAR(b->vel[2], b0z, 2e-6f);
    EXPECT_LT(a->vel[0], b0x - 1e-4f);
    // The turn toward the reference direction began.
    EXPECT_NE(b->angvel[1], 0.0f);

    // Sideways at 0.005: the full grip holds it, an eighth (15 frames after a
    // collision) does not.
    Vehicle* g = Settled(f, &d);
    Vehicle* s = Settled(f, &d);
    for (Vehicle* v : {g, s}) {
        v->vel = Vector(0.005f, 0.0f, 0.0f, 0.0f);
        v->fEngine = 0.0f;
    }
    Tick();
    g->iLastCollTime = world.time - 16;
    s->iLastCollTime = world.time - 15;
    g->MoveVehicle();
    s->MoveVehicle();
    EXPECT_FALSE(Skidding(g, 0));
    EXPECT_TRUE(Skidding(s, 0));
}

TEST_F(CarPhysics, OnTwoWheelsItRightsItselfUnlessATwoWheelMoveRuns)
{
    CarFile f(0);
    Vehicle* a = Make(f, 0);
    Vehicle* b = Make(f, 0);
    for (Vehicle* v : {a, b}) {
        v->rcoDriver = &d;
        v->iLastCollTime = -1000;
        // Leaning 0.3 about z: the left wheels down.
        v->mat = RotZ(0.3f);
        v->mat.w = Vector(0.0f, 0.02f, 0.0f, 1.0f);
        v->vel = Vector(0.0f, 0.0f, 0.05f, 0.0f);
    }
    b->vSpecialMove = VSpecialMove_TwoWheels_Left;
    Tick();
    a->MoveVehicle();
    b->MoveVehicle();
    int touching = 0;
    for (int i = 0; i < 4; i++)
        touching += a->wheel[i]->mat.w[1] != a->wheel[i]->rest;
    ASSERT_GE(touching, 1);
    ASSERT_LE(touching, 2);
    // The righting turn is 0.001 of the lean's sine about the car's z:
    // b's move steers its roll to its own target instead.
    EXPECT_NE(a->angvel[2], b->angvel[2]);
    EXPECT_EQ(b->vSpecialMove, VSpecialMove_TwoWheels_Left);
}

TEST_F(CarPhysics, PeelOutBurstPushesForItsFramesThenEnds)
{
    CarFile f(0);
    Vehicle* v = Make(f, 0);
    v->rcoDriver = &d;
    v->mat.w[1] = -5.0f;
    v->vSpecialMove = VSpecialMove_PeelOutBurst;
    v->iTotalBurstTime = v->iBurstTimeLeft = 15;
    v->fBurstAccelValue = 0.00931333f;
    Tick();
    v->MoveVehicle();
    // Half the burst's value forward, before the drag (nothing else acts
    // forward in the air).
    EXPECT_NEAR(v->vel[2], 0.00931333f * 0.5f, 1e-6f);
    for (int i = 0; i < 14; i++) {
        Tick();
        v->MoveVehicle();
    }
    EXPECT_EQ(v->vSpecialMove, VSpecialMove_None);
    EXPECT_EQ(v->iBurstTimeLeft, 0);
}

TEST_F(CarPhysics, WorldsFrameCallsDriveTheCarAndItsListEntry)
{
    // Added to the world the car joins the vehicle list and its frame calls
    // run the step; an AI driver at full throttle moves it off.
    CarFile f(0);
    Vehicle* v = Make(f, 0, VectorPos(0.0f, 0.0f, 0.0f));
    v->iLastCollTime = -1000;
    ASSERT_TRUE(world.AddObject(v, nullptr));
    EXPECT_NE(world.vehlist.Find(v), nullptr);
    for (int t = 0; t < 100; t++)
        world.Update();
    EXPECT_EQ(v->Pos()[2], 0.0f);   // driverless: held
    EXPECT_EQ(v->nFrames, 100);
    v->rcoDriver = &d;
    for (int t = 0; t < 200; t++) {
        v->fAccel = 0.001f;
        world.Update();
    }
    EXPECT_GT(v->Pos()[2], 1.0f);
    EXPECT_NEAR(v->Pos()[0], 0.0f, 1e-3f);
    // A sleeping car (mode 1) and a car in neutral do not move.
    const VectorPos at = v->Pos();
    v->mode = 1;
    world.Update();
    EXPECT_EQ(v->Pos(), at);
    v->mode = 0;
    v->gear = 0;
    world.Update();
    EXPECT_EQ(v->Pos(), at);
    v->rcoDriver = nullptr;
    world.objectlist.Remove(v);
    cars.clear();
    v->Delete();
    EXPECT_EQ(world.vehlist.Find(v), nullptr);
}

}  // namespace
