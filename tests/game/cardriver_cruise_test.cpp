// Cruising traffic driven end to end by the world's ticks: the speed ramp,
// lanes and turns on the sample city, signals, the car ahead, and the
// switch between physical and kinematic driving by the camera.
#include "game/cardriver_support.h"

namespace {

using namespace drivetest;

constexpr float k = kCDSpeedStep;

class Cruising : public DriverWorld
{
protected:
    // A crossing at (128, 128) of two streets with signals of kind 2, each
    // arm 60 long to a dead end.
    void SignalledCrossing()
    {
        tools::CityDescription c;
        tools::AddSampleRoadKinds(c);
        AddCrossing(c, 2, tools::kRoadStreet, tools::kRoadStreet);
        Load(c);
        ASSERT_TRUE(SyncTo(VectorPos(128, -1, 128)));
    }
    static float Travel(const CarDriver* d) { return d->rsdir ? d->fU : -d->fU; }
};

TEST_F(Cruising, ALoneCarRampsUpAndKeepsItsLaneThroughTheSampleCity)
{
    Load(tools::SampleCity());
    Vehicle* v = nullptr;
    // On Elm Street (z = 32) heading east in its right lane.
    ASSERT_TRUE(SyncTo(VectorPos(-80, -1, 29.5f)));
    CarDriver* d = Car(-80.0f, 29.5f, 1.0f, 0.0f, 5, &v);
    d->fSpeedFact = 1.0f;
    const float restY = v->mat.w[1];
    // The ramp: 0.025 speed steps a frame from standing.
    for (int n = 1; n <= 40; n++) {
        Tick(v);
        ASSERT_NEAR(d->fLastSpeed, n * 0.025f * k, 1e-6f) << n;
    }
    int junctions = 0;
    float top = 0.0f, topInTurn = 0.0f;
    bool wasTrans = false;
    const RoadSeg* first = d->rs;
    for (int i = 0; i < 4000; i++) {
        if (i % 50 == 0)
            SyncTo(v->mat.GetTrans(), 20);
        Tick(v);
        ASSERT_EQ(v->mode, 0) << i;
        ASSERT_NE(d->rs, nullptr);
        ASSERT_NEAR(v->mat.w[1], restY, 0.3f) << i;
        top = std::max(top, d->fLastSpeed);
        if (d->bTrans && d->i8LastCode != 0)
            topInTurn = std::max(topInTurn, d->fLastSpeed);
        if (d->bTrans && !wasTrans)
            junctions++;
        wasTrans = d->bTrans;
        // In the middle of a segment the car is on its own side, within its
        // lanes.
        const float lo = d->GetLaneOffsetDist(0, nullptr, true), hi = d->GetLaneOffsetDist(100, nullptr, true);
        if (!d->bTrans && d->fT > d->frsT0 + 0.2f && d->fT < d->frsT1 - 0.2f && !(d->iCDFlags & CDF_STOPPED)) {
            ASSERT_GT(Travel(d), lo - 1.0f) << i;
            ASSERT_LT(Travel(d), hi + 1.0f) << i;
        }
    }
    EXPECT_GE(junctions, 3);
    EXPECT_NE(d->rs, first);
    EXPECT_LE(top, 4.5f * k + 1e-6f);
    EXPECT_GE(top, 4.5f * k - 1e-6f);
    EXPECT_LE(topInTurn, 2.0f * k + 1e-6f);
}

TEST_F(Cruising, ACarWaitsAtARedSignalAndGoesOnGreen)
{
    SignalledCrossing();
    Vehicle* v = nullptr;
    CarDriver* d = Car(80.0f, 125.5f, 1.0f, 0.0f, 0, &v);
    d->SetCurrentRS();
    ASSERT_NE(d->rs, nullptr);
    const Junction* J = d->JunctionAhead();
    // Start where this approach has just turned red (state 12 for 1200
    // frames).
    int t0 = 0;
    while ((J->GetSignalCommand(*d->rs, t0) & 0xC) != 12 || (J->GetSignalCommand(*d->rs, t0 - 1) & 0xC) == 12)
        t0++;
    world.time = t0;
    world.timePrecise = AnimTime(u32(t0) << 8);
    d->rs = nullptr;
    Drive(d, 5);
    float stopX = 0.0f;
    for (int i = 0; i < 900; i++)
        Tick(v);
    EXPECT_TRUE(d->iCDFlags & CDF_STOPPED);
    EXPECT_GE(d->i16DriveSubMode, 3);
    EXPECT_LT(v->vel.xyz().Length(), 0.002f);
    stopX = v->mat.w[0];
    // Short of the junction's mouth, within a few lengths of it.
    EXPECT_LT(stopX, 128.0f - 12.0f);
    EXPECT_GT(stopX, 128.0f - 12.0f - 8.0f);
    while ((J->GetSignalCommand(*d->rs, world.time) & 0xC) == 12) {
        Tick(v);
        ASSERT_NEAR(v->mat.w[0], stopX, 0.25f);
    }
    bool crossed = false;
    for (int i = 0; i < 600 && !crossed; i++) {
        Tick(v);
        crossed = d->bTrans;
    }
    EXPECT_TRUE(crossed);
}

// On the minor road of a give-way crossing the signal always says "go
// when clear" (state 12, low bits 3).  A car that has stopped at the line
// and is let go drives into the junction; it is not sent back to wait by
// the same standing signal (four cars once queued for good behind such a
// line).
TEST_F(Cruising, ACarLetGoAtAGiveWayLineDrivesIntoTheJunction)
{
    tools::CityDescription c;
    tools::AddSampleRoadKinds(c);
    AddCrossing(c, 3, tools::kRoadStreet, tools::kRoadStreet);
    Load(c);
    ASSERT_TRUE(SyncTo(VectorPos(128, -1, 128)));
    // Whichever road gives way: the car comes in along it.
    Vehicle* v = nullptr;
    CarDriver* d = Car(80.0f, 125.5f, 1.0f, 0.0f, 0, &v);
    d->SetCurrentRS();
    ASSERT_NE(d->rs, nullptr);
    if (d->JunctionAhead()->GetSignalCommand(*d->rs, 0) != 15) {
        v->Delete();
        Forget(v);
        d = Car(130.5f, 80.0f, 0.0f, 1.0f, 0, &v);
        d->SetCurrentRS();
        ASSERT_NE(d->rs, nullptr);
    }
    const Junction* J = d->JunctionAhead();
    for (int t = 0; t < 4800; t += 50)
        ASSERT_EQ(J->GetSignalCommand(*d->rs, t), 15) << t;
    // A car standing across its way in the junction keeps it at the line.
    const VectorDir f(v->mat.z.xyz()), across(f[2], 0.0f, -f[0]);
    Vehicle* other = nullptr;
    Car(128.0f - 4.0f * across[0], 128.0f - 4.0f * across[2], across[0], across[2], 0, &other);
    d->rs = nullptr;
    Drive(d, 5);
    int still = 0;
    for (int i = 0; i < 1200 && still < 60; i++) {
        Tick(v);
        still = d->i16DriveSubMode >= 3 && v->vel.xyz().Length() < 0.002f ? still + 1 : 0;
    }
    ASSERT_EQ(still, 60);
    EXPECT_FALSE(d->bTrans);
    // The way clears: it drives in.
    other->Delete();
    Forget(other);
    bool crossed = false;
    for (int i = 0; i < 600 && !crossed; i++) {
        Tick(v);
        crossed = d->bTrans;
    }
    EXPECT_TRUE(crossed);
}

TEST_F(Cruising, ACarStopsBehindAStandingCarUntilTheWayClears)
{
    SignalledCrossing();
    PlayerStandIn player;
    dace = player.AsDace();
    for (bool playerNear : {false, true}) {
        Vehicle* a = nullptr;
        Vehicle* v = nullptr;
        CarDriver* blocker = Car(100.0f, 125.5f, 1.0f, 0.0f, 6, &a);
        CarDriver* d = Car(72.0f, 125.5f, 1.0f, 0.0f, 5, &v);
        (void)blocker;
        for (int i = 0; i < 600; i++)
            Tick(v);
        EXPECT_TRUE(d->bForceStopped);
        EXPECT_LT(v->vel.xyz().Length(), 0.002f);
        const float gap = a->mat.w[0] - v->mat.w[0];
        EXPECT_GT(gap, a->radius + v->radius);
        EXPECT_LT(gap, a->radius + v->radius + 3.0f);
        player.mat.SetTrans(playerNear ? v->mat.GetTrans() + VectorDir(0.0f, 0.0f, -1.2f)
                                       : VectorPos(0.0f, -1.0f, 0.0f));
        Forget(a);
        a->Delete();
        int waited = 0;
        while (v->vel.xyz().Length() < 0.005f && waited < 400) {
            Tick(v);
            waited++;
        }
        if (playerNear)
            EXPECT_GE(waited, 110);
        else
            EXPECT_LE(waited, 40);
        EXPECT_LT(waited, 400);
        Forget(v);
        v->Delete();
    }
}

TEST_F(Cruising, FarFromTheCameraCarsSlideAlongTheRoad)
{
    SignalledCrossing();
    Vehicle* v = nullptr;
    CarDriver* d = Car(75.0f, 125.5f, 1.0f, 0.0f, 5, &v);
    const float r = v->radius;
    auto camera = [&](float depth) { CameraAt(VectorPos(v->mat.w[0], v->mat.w[1], v->mat.w[2] - depth)); };
    for (int i = 0; i < 100; i++)
        Tick(v);
    ASSERT_EQ(v->mode, 0);
    camera(14.0625f + r - 0.2f);
    world.Update();
    EXPECT_EQ(v->mode, 0);
    camera(14.0625f + r + 0.2f);
    world.Update();
    EXPECT_EQ(v->mode, 1);
    // Kinematic: along the lane at the cruise speed, inside the hysteresis.
    for (int i = 0; i < 100; i++) {
        camera(13.125f + r + 0.3f);
        const VectorPos before = v->mat.GetTrans();
        world.Update();
        ASSERT_EQ(v->mode, 1) << i;
        EXPECT_NEAR(v->mat.w[0] - before[0], d->fLastSpeed, 0.002f);
    }
    EXPECT_NEAR(v->mat.w[2], 125.5f, 0.05f);
    camera(13.125f + r - 0.3f);
    world.Update();
    EXPECT_EQ(v->mode, 0);
    EXPECT_NEAR(v->vel[0], d->fLastSpeed, 1e-5f);
    EXPECT_EQ(v->angvel.xyz().Length(), 0.0f);
    EXPECT_EQ(v->gear, 1);
    // Made physical, it stands its rest height above the ground under it:
    // the street's, or 0 where the city answers 0.
    VectorDir n;
    const float street = world.GroundHeight(v->mat.GetTrans(), &n, nullptr);
    EXPECT_NEAR(v->mat.w[1], street - d->fRestGroundOffset, 1e-3f);
    v->mode = 1;
    v->mat.w[0] = v->mat.w[2] = 5000.0f;   // far off the city
    v->mat.w[1] = -7.0f;
    ASSERT_EQ(world.GroundHeight(v->mat.GetTrans(), &n, nullptr), 0.0f);
    d->MakePhysical();
    EXPECT_EQ(v->mode, 0);
    EXPECT_FLOAT_EQ(v->mat.w[1], 0.0f - d->fRestGroundOffset);
}

TEST_F(Cruising, ACarStandingInATurnBacksOutUnlessPinned)
{
    SignalledCrossing();
    for (bool pinned : {false, true}) {
        Vehicle* v = nullptr;
        CarDriver* d = Car(90.0f, 125.5f, 1.0f, 0.0f, 5, &v);
        CameraAt(v->mat.GetTrans());
        d->SendMessage(OM_FRAME, nullptr);
        ASSERT_NE(d->rs, nullptr);
        // Put in a right turn from where it stands; its body is not moved.
        VectorPos p0 = v->mat.GetTrans(), p3 = p0 + VectorDir(10.0f, 0.0f, -10.0f);
        VectorDir d0(1.0f, 0.0f, 0.0f), d3(0.0f, 0.0f, -1.0f);
        d->bez = CalcTurnBezier(p0, d0, p3, d3);
        d->bTrans = true;
        d->i8LastCode = 1;
        d->fT = 0.0f;
        if (pinned)
            d->iCDFlags |= CDF_PINNED;
        const int start = d->iLastMoveTime;
        int reverseAt = -1, forwardAt = -1;
        for (int i = 0; i < 800; i++) {
            world.time++;
            d->SendMessage(OM_FRAME, nullptr);
            if (reverseAt < 0 && (d->iCDFlags & CDF_REVERSING)) {
                reverseAt = world.time - start;
                EXPECT_EQ(std::fabs(v->steer), 0.1309f);
            } else if (reverseAt >= 0 && forwardAt < 0) {
                if (pinned) {
                    EXPECT_NE(v->gear, -1);
                } else if (d->iCDFlags & CDF_REVERSING) {
                    EXPECT_EQ(v->gear, -1);
                    EXPECT_EQ(v->fAccel, 0.0005f);
                } else {
                    forwardAt = world.time - start - reverseAt;
                    EXPECT_EQ(v->gear, 1);
                }
            }
        }
        if (pinned) {
            // The flag is taken, but a pinned car does not back up.
            EXPECT_EQ(reverseAt, 601);
            EXPECT_EQ(forwardAt, -1);
            EXPECT_NE(v->gear, -1);
        } else {
            EXPECT_EQ(reverseAt, 601);
            EXPECT_EQ(forwardAt, 76);
        }
        Forget(v);
        v->Delete();
    }
    // Standing on a straight segment never starts it.
    Vehicle* v = nullptr;
    CarDriver* d = Car(90.0f, 125.5f, 1.0f, 0.0f, 5, &v);
    CameraAt(v->mat.GetTrans());
    for (int i = 0; i < 700; i++) {
        world.time++;
        d->SendMessage(OM_FRAME, nullptr);
    }
    EXPECT_FALSE(d->iCDFlags & CDF_REVERSING);
}

}  // namespace
