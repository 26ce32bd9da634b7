// Lamps queued by a car as it is drawn, the motorbike's step, and a car
// driven by a cinematic and handed back.
#include "game/vehicle_support.h"

#include "ZevEngine2/PS2/RenderContext.h"
#include "game/Headlights.h"

using namespace vehtest;

namespace {

class CarLamps : public VehicleWorld
{
protected:
    CarFile file{0};
    void TearDown() override
    {
        nHeadlightNow = 0;
        world.time_of_day = KVWorld::DAY_FRAMES / 2;
        VehicleWorld::TearDown();
    }
    // The lamps the car queues when drawn at hh:mm, by type.
    static std::vector<int> Queued(Vehicle* v, int hh, int mm)
    {
        nHeadlightNow = 0;
        world.time_of_day = u32(hh) * KVWorld::HOUR_FRAMES + u32(mm) * KVWorld::HOUR_FRAMES / 60;
        v->SendMessage(OM_RENDER, nullptr);
        std::vector<int> types;
        for (int i = 0; i < nHeadlightNow; i++)
            types.push_back(Headlights[i].Type);
        return types;
    }
};

using Types = std::vector<int>;

}  // namespace

TEST_F(CarLamps, FrontLampsAtNightBrakeAndReversingLampsByGear)
{
    Vehicle* v = Make(file, 0);
    v->FindLights();
    v->iLastBrakeLightTime = world.time - 100;
    // No engine running, no lamps.
    EXPECT_EQ(Queued(v, 18, 0), Types{});
    v->enginesndchan[0] = 1;
    EXPECT_EQ(Queued(v, 18, 0), (Types{HEADLIGHT_FRONT, HEADLIGHT_FRONT}));
    // The first lamp where the model's lamp 0x807C sits, looking back along
    // the car.
    const NODE* n = file.mf.FindNode1(file.mf.nodes[v->i16OrigIndex].child, 0x807C);
    ASSERT_NE(n, nullptr);
    EXPECT_NEAR(Headlights[0].vPos[0], n->pos[0], 1e-5f);
    EXPECT_NEAR(Headlights[0].vPos[2], n->pos[2], 1e-5f);
    EXPECT_NEAR(Headlights[0].vDir[2], -1.0f, 1e-5f);
    EXPECT_EQ(Queued(v, 4, 59), (Types{HEADLIGHT_FRONT, HEADLIGHT_FRONT}));
    EXPECT_EQ(Queued(v, 5, 0), Types{});
    EXPECT_EQ(Queued(v, 13, 30), Types{});
    EXPECT_EQ(Queued(v, 17, 59), Types{});
    // Brake lamps for 18 frames after braking, forward.
    v->iLastBrakeLightTime = world.time - 17;
    EXPECT_EQ(Queued(v, 13, 30), (Types{HEADLIGHT_BREAK, HEADLIGHT_BREAK}));
    v->iLastBrakeLightTime = world.time - 18;
    EXPECT_EQ(Queued(v, 13, 30), Types{});
    // In reverse white lamps, and no brake lamps even just after braking.
    v->gear = -1;
    v->iLastBrakeLightTime = world.time;
    EXPECT_EQ(Queued(v, 13, 30), (Types{HEADLIGHT_REVERSE, HEADLIGHT_REVERSE}));
    EXPECT_EQ(Queued(v, 23, 0), (Types{HEADLIGHT_FRONT, HEADLIGHT_FRONT, HEADLIGHT_REVERSE, HEADLIGHT_REVERSE}));
    v->enginesndchan[0] = -1;
}

TEST_F(CarLamps, TheQueueHoldsFortyLampsAndRowsNearTheEyeAreNotDrawn)
{
    nHeadlightNow = 0;
    for (int i = 0; i < MAX_HEADLIGHTS; i++)
        EXPECT_EQ(GetNewHeadlightPos(), &Headlights[i]);
    EXPECT_EQ(GetNewHeadlightPos(), nullptr);
    EXPECT_EQ(nHeadlightNow, 40);
    nHeadlightNow = 0;

    // A front lamp 0.9 ahead of the eye, its beam toward it: the rows down to
    // 0.5625 ahead are drawn, the ones at 0.4525 and nearer not.
    RenderContext view;
    view.SetAspectRatio(1.0f, 1.0f);
    view.SetViewport(2048, 2048 + 256, 2048, 2048 + 128, 1.0f, 16000000.0f);
    view.SetZRange(0.25f, 100.0f);
    view.SetPerspective(1.0f);
    view.SetCameraMatrix(Matrix(true));
    const HeadLightPosition lamp{VectorPos(0.0f, 0.0f, 0.9f), VectorDir(0.0f, 0.0f, 1.0f), HEADLIGHT_FRONT};
    for (int j = 0; j < 10; j++) {
        float at[4];
        EXPECT_EQ(HeadlightRowOnScreen(view.world_screen, lamp, aSegmentsFront[j], at), j <= 4) << j;
        if (j == 0) {
            // Straight ahead: the screen's middle, half size 2000 x size over
            // the depth.
            EXPECT_NEAR(at[0], 2048.0f + 128.0f, 0.01f);
            EXPECT_NEAR(at[3], 0.0865625f * 2000.0f / 0.9f, 0.01f);
        }
    }
    // The rows' tables.
    EXPECT_EQ(aSegmentsFront[9].vDistance, -0.8734375f);
    EXPECT_EQ(aSegmentsFront[7].Col, Colour(80, 93, 117, 3));
    EXPECT_EQ(aSegmentsBreak[2].vSize, 0.128125f);
    EXPECT_EQ(aSegmentsBreak[1].Col, Colour(127, 0, 0, 19));
    EXPECT_EQ(aSegmentsReverse[1].Col, Colour(127, 127, 127, 19));
    // Cones: a computer driver's lamp 0 takes node 3, its others node 0; the
    // player's (or an empty seat's) 1 and 2.
    EXPECT_EQ(LightConeNode(0, true), 3);
    EXPECT_EQ(LightConeNode(2, true), 0);
    EXPECT_EQ(LightConeNode(0, false), 1);
    EXPECT_EQ(LightConeNode(3, false), 2);
}

namespace {

class Motorbike : public VehicleWorld
{
protected:
    CarFile file{14};
    Driver rider{-1};
    void TearDown() override
    {
        for (Vehicle* v : cars)
            v->rcoDriver = nullptr;
        VehicleWorld::TearDown();
    }
    Vehicle* Bike()
    {
        Vehicle* b = Make(file, 14);
        EXPECT_TRUE(b->bCycle);
        EXPECT_NE(b->pobjFork, nullptr);
        return b;
    }
    static void Steps(Vehicle* b, int n)
    {
        for (int i = 0; i < n; i++) {
            b->MoveCycle();
            Tick();
        }
    }
};

}  // namespace

TEST_F(Motorbike, OnItsSideStandItLeansSevenDegreesAndStaysPut)
{
    Vehicle* b = Bike();
    const float x = b->mat.w[0], z = b->mat.w[2];
    Steps(b, 300);
    EXPECT_NEAR(b->mat.GetEuler()[2], -0.12217306f, 0.01f);
    EXPECT_EQ(b->mat.w[0], x);
    EXPECT_EQ(b->mat.w[2], z);
}

TEST_F(Motorbike, SteeringLockNarrowsWithSpeedAndItRidesStraightUpright)
{
    Vehicle* b = Bike();
    b->rcoDriver = &rider;
    b->bKickStand = false;
    b->steer = 0.4f;
    b->vel = Vector(VectorXYZ(b->mat.z.xyz()) * b->fMaxCarSpeed, 0.0f);
    b->MoveCycle();
    EXPECT_NEAR(b->wheel[0]->ang.y, 0.4f / 8.0f, 1e-6f);
    EXPECT_EQ(b->wheel[1]->ang.y, 0.0f);
    // Standing, the full lock.
    Vehicle* c = Bike();
    c->rcoDriver = &rider;
    c->steer = 0.4f;
    c->MoveCycle();
    EXPECT_NEAR(c->wheel[0]->ang.y, 0.4f, 1e-6f);

    // Down a straight at a steady throttle it stays upright and moves on.
    Vehicle* d = Bike();
    d->rcoDriver = &rider;
    d->bKickStand = false;
    d->SetInitialSpeed(0.08f);
    d->fAccel = 0.4f;
    d->fBrake = 0.0f;
    Steps(d, 300);
    EXPECT_NEAR(d->mat.GetEuler()[2], 0.0f, 0.02f);
    EXPECT_GT(d->mat.w[2], 10.0f);
    EXPECT_GT(d->mat.y[1], 0.99f);
}

TEST_F(Motorbike, ItLeansIntoTheTurnAndLaysNoSkidMarksEvenSliding)
{
    Vehicle* b = Bike();
    b->rcoDriver = &rider;
    b->bKickStand = false;
    b->SetInitialSpeed(0.5f * b->fMaxCarSpeed);
    b->fAccel = 0.5f;
    b->fBrake = 0.0f;
    b->steer = 0.3f;
    Steps(b, 40);
    EXPECT_GT(b->mat.GetEuler()[2], 0.05f);   // toward the steer
    // Flung sideways at full speed, hand brake on: it slides without marks,
    // smoke or skid sound; the peel-out lasts a step.
    const int marks = SkidDraw::total;
    b->vel = Vector(b->fMaxCarSpeed, 0.0f, b->fMaxCarSpeed, 0.0f);
    b->fHandBrake = 1.0f;
    b->bPeelOut = true;
    b->MoveCycle();
    EXPECT_FALSE(b->bPeelOut);
    Steps(b, 20);
    EXPECT_EQ(SkidDraw::total, marks);
    for (int i = 0; i < 2; i++) {
        EXPECT_EQ(b->wheel[i]->pskdr, nullptr);
        EXPECT_EQ(b->wheel[i]->iChan, -1);
    }
}

namespace {

class CinematicCar : public VehicleWorld
{
protected:
    CarFile file{0};
    // The cinematic's matrix: heading yaw, at (x, y, z).
    static Matrix At(float yaw, VectorPos p)
    {
        Matrix m = RotY(yaw);
        m.SetTrans(p);
        return m;
    }
    static void Frame(Vehicle* v, const Matrix& m)
    {
        v->mat = m;
        v->SendMessage(OM_FRAME, &world);
        Tick();
    }
};

}  // namespace

TEST_F(CinematicCar, WheelsFollowThePathAndTheCarIsHandedBackUprightOnTheGround)
{
    Vehicle* v = Make(file, 0);
    v->messagehandler = Vehicle::staticcinemh;
    const Matrix m0 = At(0.0f, VectorPos(0.0f, -0.3f, 0.0f));
    // The first frame only learns the matrix.
    Frame(v, m0);
    EXPECT_EQ(v->matCinePrev.w[1], -0.3f);
    EXPECT_EQ(v->mat.w[1], -0.3f);
    EXPECT_EQ(v->wheel[0]->speed, 0.0f);
    EXPECT_EQ(v->wheel[0]->ang.x, 0.0f);
    // On 0.1 along the heading, turning by 0.01: each wheel rolls 0.1 less
    // its side's share of the turn (x times 0.01), the front ones steer an
    // eighth of the way toward ten times the turn.
    const Matrix m1 = At(0.01f, VectorPos(0.0f, -0.3f, 0.1f));
    Frame(v, m1);
    for (int i = 0; i < 4; i++)
        EXPECT_NEAR(v->wheel[i]->speed, 0.1f - v->wheel[i]->mat.w[0] * 0.01f, 2e-4f) << i;
    const VectorXYZ prevFwd = m0.z.xyz();
    const float yaw = atan2f(Dot(prevFwd, m1.x.xyz()), Dot(prevFwd, m1.z.xyz()));
    EXPECT_NEAR(v->wheel[0]->ang.y, 0.125f * -10.0f * yaw, 1e-4f);
    EXPECT_NEAR(v->wheel[1]->ang.y, 0.125f * -10.0f * yaw, 1e-4f);
    EXPECT_EQ(v->wheel[2]->ang.y, 0.0f);
    EXPECT_NE(v->wheel[2]->ang.x, 0.0f);
    // The path decides where it goes; the springs only its height.
    EXPECT_EQ(v->mat.w[0], m1.w[0]);
    EXPECT_EQ(v->mat.w[2], m1.w[2]);

    // The end: upright on the ground (y 0 with no city), the car's own
    // handler back.
    v->SendMessage(OM_CINEMAOVER, nullptr);
    EXPECT_EQ(v->messagehandler, &Vehicle::staticmh);
    EXPECT_FLOAT_EQ(v->mat.w[1], 0.0f - v->wheel[0]->rest - v->wheel[0]->radius);
    EXPECT_NEAR(v->mat.y[1], 1.0f, 1e-6f);
    EXPECT_NEAR(Dot(v->mat.z.xyz(), m1.z.xyz()), 1.0f, 1e-5f);
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(v->wheel[i]->ang.y, 0.0f);
        EXPECT_EQ(v->wheel[i]->mat.w[1], v->wheel[i]->rest);
    }
}

TEST_F(CinematicCar, InsideAnInteriorTheBodyKeepsTheCinematicsHeight)
{
    GameController gc;
    gc.bInterior = true;
    g_pgcTest = &gc;
    Vehicle* v = Make(file, 0);
    v->messagehandler = Vehicle::staticcinemh;
    for (int i = 0; i < 10; i++) {
        const Matrix m = At(0.0f, VectorPos(0.0f, -0.5f - 0.01f * float(i), 0.05f * float(i)));
        Frame(v, m);
        EXPECT_EQ(v->mat.w[1], m.w[1]) << i;
    }
    EXPECT_NEAR(v->wheel[3]->speed, 0.05f, 1e-4f);
    g_pgcTest = nullptr;
}

// Start speeds: the gear whose change-up speed (0.6 of its top) lies nearest
// above, or the one below when the speed is nearer that one's.
TEST_F(CinematicCar, AnInitialSpeedPicksTheFittingGear)
{
    Vehicle* v = Make(file, 0);
    auto L = [&](int g) { return fRatios[g] * kRatioSpeed * v->fMaxCarSpeed * 0.6f; };
    v->SetInitialSpeed(0.0f);
    EXPECT_EQ(v->gear, 0);
    EXPECT_EQ(v->fEngine, 0.0f);
    v->SetInitialSpeed(L(5) + 0.01f);
    EXPECT_EQ(v->gear, 5);
    EXPECT_FLOAT_EQ(v->fEngine, (L(5) + 0.01f) / (fRatios[5] * kRatioSpeed * v->fMaxCarSpeed));
    v->SetInitialSpeed(0.4f * L(1));
    EXPECT_EQ(v->gear, 0);
    v->SetInitialSpeed(0.6f * L(1));
    EXPECT_EQ(v->gear, 1);
    const float mid = 0.5f * (L(2) + L(3));
    v->SetInitialSpeed(mid - 0.001f);
    EXPECT_EQ(v->gear, 2);
    v->SetInitialSpeed(mid + 0.001f);
    EXPECT_EQ(v->gear, 3);
    EXPECT_NEAR(v->vel[2], mid + 0.001f, 1e-6f);
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(v->wheel[i]->speed, mid + 0.001f);
}
