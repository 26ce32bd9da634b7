// Mission drives: drive to a place two junctions away, getting free and
// being pinned, the slow escort near the player, the escape road choice,
// the chase and the race.
#include "game/cardriver_support.h"
#include "game/controller_support.h"

#include "game/CityObjects.h"

namespace {

using namespace drivetest;

constexpr float k = kCDSpeedStep;

class Missions : public DriverWorld
{
protected:
    const RoadSeg* joint[2] = {nullptr, nullptr};
    // Two junctions on Mill Street, A at (80, 128) and B at (200, 128),
    // joined through a plain joint at (140, 128); each has a road north and
    // south to a dead end; Mill runs on west of A and east of B.
    void TwoJunctions()
    {
        tools::CityDescription c;
        tools::AddSampleRoadKinds(c);
        const int st = tools::kRoadStreet;
        const int A = AddJunction(c, 80, 128, 12, 1), B = AddJunction(c, 200, 128, 12, 1);
        const int P = AddJunction(c, 140, 128, 6, 1);
        c.AddSegment(AddJunction(c, 20, 128, 0, 1), A, 1, st);
        c.AddSegment(A, P, 1, st);
        c.AddSegment(P, B, 1, st);
        c.AddSegment(B, AddJunction(c, 240, 128, 0, 1), 1, st);
        c.AddSegment(A, AddJunction(c, 80, 188, 0, 1), 4, st);
        c.AddSegment(AddJunction(c, 80, 68, 0, 1), A, 4, st);
        c.AddSegment(B, AddJunction(c, 200, 188, 0, 1), 2, st);
        c.AddSegment(AddJunction(c, 200, 68, 0, 1), B, 2, st);
        c.SortSlots();
        Load(c);
        ASSERT_TRUE(SyncTo(VectorPos(128, -1, 128)));
    }
};

TEST_F(Missions, AFleeingCarTakesTheBestRoadAtEachJunctionToItsTarget)
{
    TwoJunctions();
    Vehicle* v = nullptr;
    const VectorPos target(202.5f, -1.0f, 170.0f);
    CarDriver* d = Car(40.0f, 125.5f, 1.0f, 0.0f, 0, &v);
    Drive(d, 3, nullptr, &target);
    ASSERT_NE(d->prsTarget, nullptr);
    const Junction* P = FindJunction(VectorPos(140.0f, -1.0f, 128.0f));
    ASSERT_NE(P, nullptr);
    ASSERT_EQ(P->nRoadsegs, 2);
    bool viaJoint = false, jointCurve = false, arrived = false;
    float jointSpeed = 0.0f;
    for (int i = 0; i < 2500 && !arrived; i++) {
        const RoadSeg* was = d->rs;
        Tick(v);
        if (d->rs == nullptr)
            continue;
        // Through the plain joint: from one Mill segment to the next without
        // a curve.
        if (was != d->rs && (was == P->roadsegs[0] || was == P->roadsegs[1]) &&
            (d->rs == P->roadsegs[0] || d->rs == P->roadsegs[1])) {
            viaJoint = true;
            jointCurve |= d->bTrans;
            jointSpeed = d->fDestSpeed;
        }
        arrived = d->rs == d->prsTarget && !d->bTrans;
    }
    EXPECT_TRUE(viaJoint);
    EXPECT_FALSE(jointCurve);
    EXPECT_EQ(jointSpeed, v->fMaxCarSpeed);   // not slowed for it
    EXPECT_TRUE(arrived);
    EXPECT_NEAR(v->mat.w[0], 200.0f, 6.0f);
    EXPECT_GT(v->mat.w[2], 135.0f);
}

TEST_F(Missions, AStuckCarBacksUpAndAPinnedOneBrakes)
{
    TwoJunctions();
    Vehicle* v = nullptr;
    const VectorPos target(202.5f, -1.0f, 170.0f);
    CarDriver* d = Car(40.0f, 125.5f, 1.0f, 0.0f, 0, &v);
    Drive(d, 2, nullptr, &target);
    // Held where it is: its body is not simulated.
    v->mode = 1;
    const int start = world.time;
    while (!(d->iCDFlags & CDF_REVERSING)) {
        Tick();
        ASSERT_LT(world.time - start, 400);
    }
    EXPECT_EQ(world.time - start, 151);
    EXPECT_EQ(std::fabs(v->steer), 0.1309f);
    const float side = v->steer;
    const int reversing = world.time;
    while (d->iCDFlags & CDF_REVERSING) {
        Tick();
        if (d->iCDFlags & CDF_REVERSING) {
            ASSERT_EQ(v->gear, -1);
            ASSERT_EQ(v->steer, side);
        }
        ASSERT_LT(world.time - reversing, 400);
    }
    EXPECT_EQ(world.time - reversing, 106);
    EXPECT_EQ(v->gear, 1);

    // Pinned: no throttle, the brake on, straight wheels and half the engine
    // each frame, whatever the drive wants.
    SpecialMessage pin(SMSG_CD_PINNED, nullptr);
    d->SendMessage(OM_SPECIAL, &pin);
    v->fEngine = 0.8f;
    for (int i = 0; i < 3; i++) {
        d->iLastMoveTime = world.time;
        Tick();
        EXPECT_EQ(v->fAccel, 0.0f);
        EXPECT_EQ(v->fBrake, 0.01f);
        EXPECT_EQ(v->steer, 0.0f);
        EXPECT_FLOAT_EQ(v->fEngine, 0.8f / float(2 << i));
    }
}

TEST_F(Missions, AnEscortDrivesSlowlyFarFromThePlayerAndWandersWithoutATarget)
{
    TwoJunctions();
    PlayerStandIn player;
    dace = player.AsDace();
    Vehicle* v = nullptr;
    const VectorPos target(40.0f, -1.0f, 130.5f);
    CarDriver* d = Car(100.0f, 125.5f, 1.0f, 0.0f, 0, &v);
    Drive(d, 4, nullptr, &target);
    player.mat.SetTrans(v->mat.GetTrans() + VectorDir(0.0f, 0.0f, 63.0f));
    d->SendMessage(OM_FRAME, nullptr);
    // Lane keeping: the road speed, a tenth of 9 steps.
    EXPECT_NEAR(d->fDestSpeed, 0.1f * 9.0f * k, 1e-6f);
    player.mat.SetTrans(v->mat.GetTrans() + VectorDir(0.0f, 0.0f, 40.0f));
    d->SendMessage(OM_FRAME, nullptr);
    EXPECT_NEAR(d->fDestSpeed, (1.0f - (40.0f - 31.25f) * 0.0288f) * 9.0f * k, 1e-6f);
    // After 7200 frames the distance no longer matters.
    d->iCreationTime = world.time - 7200;
    d->SendMessage(OM_FRAME, nullptr);
    EXPECT_NEAR(d->fDestSpeed, 9.0f * k, 1e-6f);
    // Within 15.625 of its point, with no target object: a new point within
    // 502.92 each way of the car.
    d->vpTarget = v->mat.GetTrans() + VectorDir(10.0f, 0.0f, 10.0f);
    srand(5);
    const float rx = randf() * 1005.84f - 502.92f, rz = randf() * 1005.84f - 502.92f;
    srand(5);
    const VectorPos at = v->mat.GetTrans();
    d->SendMessage(OM_FRAME, nullptr);
    EXPECT_NEAR(d->vpTarget[0], at[0] + rx, 1e-3f);
    EXPECT_NEAR(d->vpTarget[2], at[2] + rz, 1e-3f);
}

TEST_F(Missions, TheEscapeChoiceIsFixedInModeThreeAndWeightedOtherwise)
{
    // A crossing of streets whose four arms end at dead ends; straight on
    // is allowed (no through road).
    tools::CityDescription c;
    tools::AddSampleRoadKinds(c);
    AddCrossing(c, 1, tools::kRoadStreet, tools::kRoadStreet);
    Load(c);
    ASSERT_TRUE(SyncTo(VectorPos(128, -1, 128)));
    CarDriver* d = Car(100.0f, 125.5f, 1.0f, 0.0f, 0);
    d->SetCurrentRS();
    ASSERT_NE(d->rs, nullptr);
    const Junction* J = d->JunctionAhead();
    // Behind the car, as far from the north as from the south dead end:
    // every way on ends at a dead end and scores alike.
    d->vpTarget = VectorPos(70.0f, -1.0f, 128.0f);
    RoadSeg* cand[17];
    float score[17];
    d->prsTarget = FindRoadSeg(d->vpTarget);
    ASSERT_EQ(d->prsTarget, d->rs);
    d->EscapeScoreRoadSegs(*J, *d->rs, 0.0f, cand, score, 6);
    ASSERT_NE(cand[0], nullptr);
    ASSERT_NE(cand[1], nullptr);
    ASSERT_NE(cand[2], nullptr);
    EXPECT_EQ(cand[3], nullptr);
    EXPECT_EQ(score[0], score[1]);
    EXPECT_EQ(score[1], score[2]);
    // A road to a dead end scores beyond 100000, so at the search's last
    // level none of them beats "no road" (15625).
    float dead = 0.0f;
    EXPECT_EQ(d->EscapeFindNextRoadSeg(*J, *d->rs, 0.0f, &dead, 0), nullptr);
    EXPECT_EQ(dead, 15625.0f);
    float len = 0.0f;
    EXPECT_GT(d->fGenPathScore(*J, *cand[0]->Other(J), &len), 100000.0f);
    EXPECT_NEAR(len, 60.0f, 1e-3f);

    d->i16DriveMode = 3;
    for (int i = 0; i < 50; i++) {
        d->EscapeChooseNextRS();
        ASSERT_EQ(d->nextrs, cand[0]);
    }
    d->i16DriveMode = 2;
    int first = 0;
    for (int i = 0; i < 2000; i++) {
        d->EscapeChooseNextRS();
        first += d->nextrs == cand[0];
    }
    EXPECT_NEAR(first, 1600, 60);
}

TEST_F(Missions, ACautiousChaserSettlesBehindItsTargetAtItsSpeed)
{
    Load(tools::TestCity(tools::TestCityKind::kDeadEnd));
    ASSERT_TRUE(SyncTo(VectorPos(128, -1, 128)));
    Vehicle* target = nullptr;
    Vehicle* v = nullptr;
    Car(150.0f, 128.0f, -1.0f, 0.0f, 0, &target);
    target->mode = 1;   // moved by the test
    const float ts = 0.07f;
    target->vel = Vector(-ts, 0.0f, 0.0f, 0.0f);
    CarDriver* d = Car(165.0f, 128.0f, -1.0f, 0.0f, 0, &v);
    const VectorPos aim = target->mat.GetTrans();
    Drive(d, 10, target, &aim);
    int states = 0;
    for (int i = 0; i < 500; i++) {
        target->mat.w[0] -= ts;
        Tick(v);
        states |= 1 << d->mode;
    }
    EXPECT_EQ(states, 1);
    const float gap = v->mat.w[0] - target->mat.w[0];
    EXPECT_NEAR(gap - target->radius - v->radius, 3.125f, 0.6f);
    EXPECT_NEAR(-v->vel[0], ts, 0.01f);
}

TEST_F(Missions, AChaserTurnsBackForATargetBehindAndRightsItselfFarAway)
{
    Load(tools::TestCity(tools::TestCityKind::kCrossing));
    ASSERT_TRUE(SyncTo(VectorPos(128, -1, 128)));
    Vehicle* target = nullptr;
    Vehicle* v = nullptr;
    Car(70.0f, 125.5f, 1.0f, 0.0f, 0, &target);
    target->mode = 1;
    CarDriver* d = Car(100.0f, 125.5f, 1.0f, 0.0f, 0, &v);
    Drive(d, 9, target);
    v->mode = 1;   // only the driver's step is watched
    d->SendMessage(OM_FRAME, nullptr);
    ASSERT_NE(d->rs, nullptr);
    // 30 behind along the road: the chaser reverses its direction on it.
    EXPECT_FALSE(d->rsdir);
    d->SendMessage(OM_FRAME, nullptr);
    EXPECT_FALSE(d->rsdir);

    // Overturned and still: righted in one frame when the target is beyond
    // 46.875, left as it is when nearer.
    auto overturn = [&]() {
        v->mat.x = -v->mat.x;
        v->mat.y = -v->mat.y;
        v->vel = Vector::zeroes();
    };
    overturn();
    target->mat.w[0] = v->mat.w[0] - 40.0f;
    d->SendMessage(OM_FRAME, nullptr);
    EXPECT_LT(v->mat.y[1], -0.707f);
    target->mat.w[0] = v->mat.w[0] - 50.0f;
    const float y = d->mat.w[1];
    d->SendMessage(OM_FRAME, nullptr);
    EXPECT_GT(v->mat.y[1], 0.99f);
    EXPECT_EQ(v->angvel.xyz().LengthSq(), 0.0f);
    EXPECT_EQ(d->mat.w[1], y - 0.3125f);
}

// A driver that keeps the make-way codes it is sent.
struct MakeWayLog : public Object
{
    std::vector<int> codes;
    static int mh(Object* o, OBJMESSAGE msg, void* data)
    {
        const SpecialMessage* m = static_cast<const SpecialMessage*>(data);
        if (msg == OM_SPECIAL && m->submsg == SMSG_CD_MAKE_WAY)
            static_cast<MakeWayLog*>(o)->codes.push_back(m->param[0].i);
        return 0;
    }
    explicit MakeWayLog(int who) : Object(mh) { id = s16(who); }
};

TEST_F(Missions, ChasersAskTheTrafficAheadToMakeWayButNotTheirTarget)
{
    Load(tools::TestCity(tools::TestCityKind::kCrossing));
    ASSERT_TRUE(SyncTo(VectorPos(128, -1, 128)));
    Vehicle *v = nullptr, *target = nullptr, *a = nullptr, *b = nullptr;
    Car(93.0f, 125.5f, 1.0f, 0.0f, 0, &target);
    Car(95.0f, 125.8f, 1.0f, 0.0f, 0, &a);    // the same way, a little to the left
    Car(97.0f, 125.0f, -1.0f, 0.0f, 0, &b);   // coming the other way, a little to the right
    MakeWayLog tl(29), al(30), bl(31);
    target->rcoDriver = &tl;
    a->rcoDriver = &al;
    b->rcoDriver = &bl;
    CarDriver* d = Car(88.0f, 125.5f, 1.0f, 0.0f, 0, &v);
    Drive(d, 9, target);
    d->SetCurrentRS();
    d->fLastSpeed = 0.1f;
    VectorDir dir = Normalise(d->rs->bezier.EvaluateTangent(d->fT));
    d->ChaseAvoidAmbientCars(dir);
    EXPECT_TRUE(tl.codes.empty());
    EXPECT_EQ(al.codes, std::vector<int>{9});
    EXPECT_EQ(bl.codes, std::vector<int>{9});
    EXPECT_TRUE(d->iCDFlags & CDF_BLOCKED);
    // Mirrored sides give 10.
    a->mat.w[2] = 125.2f;
    b->mat.w[2] = 125.8f;
    d->ChaseAvoidAmbientCars(dir);
    EXPECT_EQ(al.codes.back(), 10);
    EXPECT_EQ(bl.codes.back(), 10);
    target->rcoDriver = nullptr;
    a->rcoDriver = nullptr;
    b->rcoDriver = nullptr;
}

TEST_F(Missions, TheEscapeSwervesAroundABlockerUnlessACarIsAlongside)
{
    Load(tools::TestCity(tools::TestCityKind::kCrossing));
    ASSERT_TRUE(SyncTo(VectorPos(128, -1, 128)));
    Vehicle *v = nullptr, *b = nullptr, *side = nullptr;
    CarDriver* d = Car(90.0f, 125.5f, 1.0f, 0.0f, 0, &v);
    Car(98.0f, 125.0f, 1.0f, 0.0f, 0, &b);
    Car(90.0f, 140.0f, 1.0f, 0.0f, 0, &side);   // out of the way for now
    MakeWayLog bl(30);
    b->rcoDriver = &bl;
    const VectorPos nowhere(0.0f, 0.0f, 0.0f);
    Drive(d, 2, nullptr, &nowhere);
    d->SetCurrentRS();
    ASSERT_TRUE(d->rsdir);
    VectorDir dir(1.0f, 0.0f, 0.0f);
    auto avoid = [&](float bz, float sz) {
        b->mat.w[2] = bz;
        side->mat.w[2] = sz;
        d->fU = 2.5f;
        d->fLastSpeed = 0.1f;
        d->fForceLane = 0.0f;
        d->EscapeAvoidAmbientCars(dir);
        return d->fForceLane - 2.5f;
    };
    // The blocker 0.5 toward the larger offsets: clear it by 0.9375 toward
    // the smaller ones, and ask it to make way (2, hurried: 8 ahead is within
    // 120 frames).
    EXPECT_FLOAT_EQ(avoid(125.0f, 140.0f), 0.5f - 0.9375f);
    EXPECT_TRUE(d->iCDFlags & CDF_BLOCKED);
    EXPECT_EQ(bl.codes, std::vector<int>{2 + 8});
    // A car alongside on that side cancels the move.
    EXPECT_FLOAT_EQ(avoid(125.0f, 126.9f), 0.0f);
    EXPECT_TRUE(d->iCDFlags & CDF_CARLEFT);
    // Mirrored: toward the larger offsets, cancelled by a car on that side.
    EXPECT_FLOAT_EQ(avoid(126.0f, 140.0f), 0.9375f - 0.5f);
    EXPECT_EQ(bl.codes.back(), 1 + 8);
    EXPECT_FLOAT_EQ(avoid(126.0f, 124.1f), 0.0f);
    EXPECT_TRUE(d->iCDFlags & CDF_CARRIGHT);

    // Right behind the player's car, standing: no message, half the engine.
    vehtest::Driver player(-1);
    b->rcoDriver = &player;
    b->mat.w[0] = 94.0f;
    v->fEngine = 0.5f;
    avoid(125.0f, 140.0f);
    EXPECT_TRUE(player.heard.empty());
    EXPECT_EQ(v->fEngine, 0.25f);
    EXPECT_EQ(d->i16CheckTime, 1);
    b->rcoDriver = nullptr;
}

TEST_F(Missions, AChaserClosesDrawsAlongsideAndRams)
{
    tools::CityDescription c;
    tools::AddSampleRoadKinds(c);
    c.AddSegment(AddJunction(c, 10, 128, 0, 1), AddJunction(c, 246, 128, 0, 1), 2, tools::kRoadAvenue);
    c.SortSlots();
    Load(c);
    ASSERT_TRUE(SyncTo(VectorPos(128, -1, 128)));
    Vehicle *target = nullptr, *v = nullptr;
    Car(70.0f, 122.0f, 1.0f, 0.0f, 0, &target);   // in the outer lane, the chaser inner
    target->mode = 1;   // moved by the test
    const float ts = 0.1f;
    target->vel = Vector(ts, 0.0f, 0.0f, 0.0f);
    CarDriver* d = Car(40.0f, 126.0f, 1.0f, 0.0f, 0, &v);
    Drive(d, 9, target);
    int first[4] = {-1, -1, -1, -1};
    for (int i = 0; i < 900; i++) {
        target->mat.w[0] += ts;
        Tick(v);
        if (first[d->mode] < 0)
            first[d->mode] = i;
    }
    // Follows, then (close behind, too fast to stop short, the spot beside
    // the target on the road) draws alongside, then, level, rams: the side
    // gap closes.  (No collisions run here: it ends where the target is.)
    EXPECT_EQ(first[0], 0);
    const int alongside = std::max(first[1], first[2]);
    EXPECT_GT(alongside, 300);
    EXPECT_GT(first[3], alongside);
    EXPECT_LT(std::fabs(target->mat.w[2] - v->mat.w[2]), 0.5f);
}

TEST_F(Missions, RacersFollowTheCourseAndAOneWayRaceEndsAtItsEnd)
{
    // A straight course along +x of two segments, 0 to 60.
    alignas(16) Vector pts[7];
    for (int i = 0; i < 7; i++)
        pts[i] = Vector(float(i) * 10.0f, -1.5f, 0.0f, 0.0f);
    Spline* course = reinterpret_cast<Spline*>(pts);
    course->SetCount(7);
    ASSERT_EQ(course->NumSplines(), 2);
    Vehicle* v = nullptr;
    CarDriver* d = Car(15.0f, 0.5f, 1.0f, 0.0f, 0, &v);
    SpecialMessage race(SMSG_CD_SET_DRIVE, nullptr, 12, nullptr, course);
    d->SendMessage(OM_SPECIAL, &race);
    EXPECT_TRUE(d->iCDFlags & CDF_HELD);
    EXPECT_EQ(d->fT, -1.0f);
    d->fSetSpeed = 0.1f;
    v->mode = 1;
    d->SendMessage(OM_FRAME, nullptr);
    EXPECT_NEAR(d->fT, 0.5f, 1e-3f);
    // Standing, it looks 30 x 2 steps ahead along the course, to a point on
    // the line 0.5 to its side.
    EXPECT_NEAR(d->fIVelT, 1.0f / 30.0f, 1e-4f);
    EXPECT_NEAR(v->steer, std::atan2(0.5f, 30.0f * 2.0f * k), 2e-3f);
    EXPECT_EQ(d->Mode(), 12);
    EXPECT_NEAR(d->fLastSpeed, 0.1f, 1e-6f);
    // At the course's end: deactivated in that frame.
    v->mat.w[0] = 61.0f;
    d->SendMessage(OM_FRAME, nullptr);
    EXPECT_EQ(d->Mode(), 7);
    EXPECT_EQ(d->i16SaveMode, 12);

    // Mode 11 laps the mission course at 8 steps: near its end it aims back
    // at the start.
    GameController* gc = gametest::Controller();
    gc->psplMission = course;
    SpecialMessage lap(SMSG_CD_SET_DRIVE, nullptr, 11);
    d->SendMessage(OM_SPECIAL, &lap);
    EXPECT_EQ(d->pSpline, course);
    d->i16DriveSubMode = 0;
    v->mat.w[0] = 59.5f;
    v->mat.w[2] = 0.0f;
    d->SendMessage(OM_FRAME, nullptr);
    EXPECT_GT(d->fT, 1.95f);
    EXPECT_NEAR(std::fabs(v->steer), 0.523599f, 1e-5f);
    EXPECT_NEAR(d->fLastSpeed, 8.0f * k, 1e-6f);
    gc->psplMission = nullptr;
    delete gc;
    g_pgcTest = nullptr;
}

}  // namespace
