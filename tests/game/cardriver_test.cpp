// The car driver's road state, junction choice and message handler: lanes
// from the road kinds, route programs and random turns at junctions of a
// loaded test network, commands, sleep and the removal of far cars.
#include "game/cardriver_support.h"
#include "game/controller_support.h"

#include <cstring>

#include "ZevEngine2/Collision.h"
#include "game/GameFEnt.h"
#include "game/Weapons.h"

namespace {

using namespace drivetest;

// ---------------------------------------------------------------------------
// Lanes, from road records made in memory.

struct MemRoad
{
    alignas(16) u8 typebuf[sizeof(RoadType) + 64]{};
    float lanes[12]{};
    RoadSeg seg;
    alignas(16) u8 jbuf[2][128]{};

    MemRoad(std::vector<float> l, int right)
    {
        std::memset(static_cast<void*>(&seg), 0, sizeof seg);
        RoadType* t = type();
        t->flags = ROADTYPE_VEHICLES;
        t->num_lanes = u8(l.size());
        t->num_rightlanes = u8(right);
        for (size_t i = 0; i < l.size(); i++)
            lanes[i] = l[i];
        t->lanes = lanes;
        seg.type = t;
        // A straight road along +x from 0 to 30, its junctions at its ends.
        seg.bezier = Bezier(Vector(0, 0, 0, 0), Vector(10, 0, 0, 0), Vector(20, 0, 0, 0), Vector(30, 0, 0, 0));
        for (int i = 0; i < 2; i++) {
            Junction* j = junction(i);
            j->pos = VectorPos(i == 0 ? 0.0f : 30.0f, 0.0f, 0.0f);
            j->nRoadsegs = 1;
            j->roadsegs[0] = &seg;
            seg.jtn[i] = j;
        }
    }
    RoadType* type() { return reinterpret_cast<RoadType*>(typebuf); }
    Junction* junction(int i) { return reinterpret_cast<Junction*>(jbuf[i]); }
};

struct LooseDriver
{
    CarDriver* d;
    LooseDriver()
    {
        auto mh = reinterpret_cast<OBJMESSAGEHANDLER>(Name::Find("CarDriver"));
        d = reinterpret_cast<CarDriver*>(mh(nullptr, OM_CREATE, nullptr));
    }
    ~LooseDriver() { d->Delete(); }
    CarDriver* operator->() { return d; }
};

TEST(CarDriverLanes, SidesNumberTheirLanesFromTheCentreOutward)
{
    // Three lanes, two of them right-hand: one lane against the curve, two
    // along it, the last repeated.
    MemRoad road({-4.0f, 1.5f, 4.5f}, 2);
    LooseDriver d;
    d->rs = &road.seg;
    d->CalcRoadLaneOffsets();
    EXPECT_EQ(d->rliLeft.iNumLanes, 1);
    EXPECT_EQ(d->rliRight.iNumLanes, 2);
    for (int i = 0; i < 12; i++) {
        EXPECT_EQ(d->rliLeft.rgfLaneOffsets[i], -4.0f) << i;
        EXPECT_EQ(d->rliRight.rgfLaneOffsets[i], i == 0 ? 1.5f : 4.5f) << i;
    }

    // Three lanes a side: moves toward the wanted lane by the step.
    MemRoad six({-7.0f, -4.0f, -1.0f, 1.0f, 4.0f, 7.0f}, 3);
    d->rs = &six.seg;
    d->rsdir = true;
    d->CalcRoadLaneOffsets();
    EXPECT_EQ(d->GetMoveTowardsDefaultLane(0, 100, 1), 1);
    EXPECT_EQ(d->GetMoveTowardsDefaultLane(2, 0, 1), 1);
    EXPECT_EQ(d->GetMoveTowardsDefaultLane(1, 7, 3), 1);
    // Boundaries at 2.5 and 5.5 along the curve.
    EXPECT_EQ(d->GetCurrentLane(0.5f, true), 0);
    EXPECT_EQ(d->GetCurrentLane(3.0f, true), 1);
    EXPECT_EQ(d->GetCurrentLane(9.0f, true), 2);
    // Against the curve the outermost lane is the left edge; signed for
    // travel its offset changes sign.
    d->rsdir = false;
    int lane = -1;
    EXPECT_EQ(d->GetLaneOffsetDist(100, &lane, false), -7.0f);
    EXPECT_EQ(lane, 2);
    EXPECT_EQ(d->GetLaneOffsetDist(4, &lane, true), 4.0f);
    EXPECT_EQ(lane, 1);
    EXPECT_EQ(d->GetCurrentLane(-5.0f, false), 1);

    // A side without lanes of its own drives in the other side's lane next
    // to the centre, not on the centre line.
    MemRoad oneWay({-3.0f, 3.0f}, 0);
    d->rs = &oneWay.seg;
    d->CalcRoadLaneOffsets();
    EXPECT_EQ(d->rliRight.iNumLanes, 1);
    EXPECT_EQ(d->rliRight.rgfLaneOffsets[0], 3.0f);
    EXPECT_EQ(d->rliLeft.rgfLaneOffsets[0], 3.0f);
    EXPECT_EQ(d->rliLeft.rgfLaneOffsets[1], -3.0f);
}

TEST(CarDriverLanes, DirectionOnTheSegmentAndItsEnds)
{
    MemRoad road({-2.5f, 2.5f}, 1);
    LooseDriver d;
    // Facing exactly across the chord counts as against the curve.
    d->mat = Matrix(true);
    d->mat.SetTrans(VectorPos(12.0f, 0.0f, -2.5f));
    d->SetCurrentRS(&road.seg);
    EXPECT_FALSE(d->rsdir);
    EXPECT_EQ(d->i16CurrentLane, 0);
    d->mat = RotY(1.5707964f);
    d->mat.SetTrans(VectorPos(12.0f, 0.0f, -2.5f));
    ASSERT_GT(d->mat.z[0], 0.99f);
    d->SetCurrentRS(&road.seg);
    EXPECT_TRUE(d->rsdir);
    EXPECT_NEAR(d->fT, 0.4f, 1e-4f);
    EXPECT_NEAR(d->fVelT, 30.0f, 1e-3f);

    // The end direction points at the junction, or along the curve's end
    // handle when the junction lies on the end point.
    road.seg.bezier.c2 = Vector(20.0f, 0.0f, 5.0f, 0.0f);
    road.junction(1)->pos = VectorPos(35.0f, 0.0f, 5.0f);
    VectorDir t;
    d->rsdir = true;
    d->CalcRoadEndTangent(&t, true);
    EXPECT_NEAR(t[0], 0.7071068f, 1e-5f);
    EXPECT_NEAR(t[2], 0.7071068f, 1e-5f);
    road.junction(1)->pos = VectorPos(30.02f, 0.0f, 0.01f);
    d->CalcRoadEndTangent(&t, true);
    EXPECT_NEAR(t[0], 10.0f / std::sqrt(125.0f), 1e-5f);
    EXPECT_NEAR(t[2], -5.0f / std::sqrt(125.0f), 1e-5f);
    // The start of the travel: against the curve, toward c0's side negated.
    d->rsdir = false;
    d->CalcRoadEndTangent(&t, false);
    EXPECT_NEAR(t[0], -10.0f / std::sqrt(125.0f), 1e-5f);
    EXPECT_NEAR(t[2], 5.0f / std::sqrt(125.0f), 1e-5f);
}

// ---------------------------------------------------------------------------
// Junction choice on a loaded crossing.

class DriverJunctions : public DriverWorld
{
protected:
    int prio = 0, fast = 0, wide = 0;
    // A crossing of two priority roads at (128, 128) with flag 8, each arm
    // 60 long to a dead end; kinds for the arms.
    void Crossing(int westKind, int southKind, bool tee = false)
    {
        tools::CityDescription c;
        tools::AddSampleRoadKinds(c);
        prio = AddRoadKind(c, 0x07, {-2.5f, 2.5f}, 1, 0.12f);
        fast = AddRoadKind(c, 0x07, {-2.5f, 2.5f}, 1, 0.9f);
        wide = AddRoadKind(c, 0x03, {-4.5f, -3.0f, -1.5f, 1.5f, 3.0f, 4.5f}, 3, 0.12f);
        auto kind = [&](int k) { return k == 0 ? prio : k == 1 ? fast : wide; };
        AddCrossing(c, 2 | JUNCTION_THROUGHROAD, kind(westKind), kind(southKind), 60.0f, 12.0f, tee);
        Load(c);
        ASSERT_TRUE(SyncTo(VectorPos(128, -1, 128)));
    }
    // A driver on the west arm heading east in its right lane.
    CarDriver* West()
    {
        CarDriver* d = Car(100.0f, 125.5f, 1.0f, 0.0f, 0);
        d->SetCurrentRS();
        return d;
    }
};

TEST_F(DriverJunctions, RouteProgramsTurnByTheirCodesAndEnd)
{
    Crossing(0, 0);
    CarDriver* d = West();
    ASSERT_NE(d->rs, nullptr);
    ASSERT_TRUE(d->rsdir);
    const Junction* J = d->JunctionAhead();
    ASSERT_EQ(J->nRoadsegs, 4);
    bool fwd = true;
    const RoadSeg* straight = d->rs->Next(fwd);
    ASSERT_NE(straight, nullptr);

    // Left, straight on, and back to the start: left and straight for ever.
    s8 loop[] = {-1, 0, s8(0x81)};
    d->i16DriveMode = 0x105;
    d->pi8RouteOrig = d->pi8Route = loop;
    for (int i = 0; i < 6; i++) {
        EXPECT_EQ(d->ChooseNextRS(), 0);
        EXPECT_EQ(d->nextrs, i % 2 == 0 ? J->Prev(d->rs) : straight) << i;
        EXPECT_EQ(d->i8NextCode, i % 2 == 0 ? -1 : 0) << i;
    }
    // Right once, then the end of the route.
    s8 once[] = {1, s8(0x80), s8(0x80)};
    d->pi8RouteOrig = d->pi8Route = once;
    EXPECT_EQ(d->ChooseNextRS(), 0);
    EXPECT_EQ(d->nextrs, J->Next(d->rs));
    EXPECT_EQ(d->i8NextCode, 1);
    EXPECT_EQ(d->ChooseNextRS(), -2);
    // An escaped code and the stop marker.
    s8 escaped[] = {s8(0x80), -1, s8(0x82)};
    d->pi8RouteOrig = d->pi8Route = escaped;
    EXPECT_EQ(d->ChooseNextRS(), -1);
    EXPECT_EQ(d->nextrs, J->Prev(d->rs));
    EXPECT_EQ(d->ChooseNextRS(), -126);
    // A code outside -2..2 finds no exit: the arrival segment, code 0.
    EXPECT_EQ(d->GetNextRS(d->rs, true, 5), d->rs);
    EXPECT_EQ(d->i8NextCode, 0);
}

TEST_F(DriverJunctions, RandomTurnsKeepToTheLaneAndSpeedRules)
{
    // On a road faster than 0.75 cars go straight on; from a side road of a
    // T they turn right, having no straight on.
    Crossing(1, 1, true);
    CarDriver* d = West();
    ASSERT_NE(d->rs, nullptr);
    bool fwd = true;
    const RoadSeg* straight = d->rs->Next(fwd);
    for (int i = 0; i < 200; i++) {
        d->ChooseNextRS();
        ASSERT_EQ(d->i8NextCode, 0);
        ASSERT_EQ(d->nextrs, straight);
    }
    CarDriver* s = Car(130.5f, 90.0f, 0.0f, 1.0f, 0);
    s->SetCurrentRS();
    ASSERT_NE(s->rs, nullptr);
    const Junction* J = s->JunctionAhead();
    for (int i = 0; i < 200; i++) {
        s->ChooseNextRS();
        ASSERT_EQ(s->i8NextCode, 1);
        ASSERT_EQ(s->nextrs, J->Next(s->rs));
    }
}

TEST_F(DriverJunctions, OnlyTheInnerAndOuterLanesTurn)
{
    Crossing(2, 0);
    CarDriver* d = West();
    ASSERT_NE(d->rs, nullptr);
    ASSERT_EQ(d->Side(true).iNumLanes, 3);
    int turns[3][3] = {};
    for (int lane = 0; lane < 3; lane++)
        for (int i = 0; i < 300; i++) {
            d->i16CurrentLane = s16(lane);
            d->ChooseNextRS();
            turns[lane][d->i8NextCode + 1]++;
        }
    // The middle lane never turns; the inner one turns left only (the wide
    // road has no priority, so its left turns go straight on), the outer one
    // right only.
    EXPECT_EQ(turns[1][1], 300);
    EXPECT_EQ(turns[0][2], 0);
    EXPECT_EQ(turns[2][0], 0);
    EXPECT_EQ(turns[0][0], 0);
    EXPECT_GT(turns[2][2], 60);
    EXPECT_LT(turns[2][2], 140);
}

TEST_F(DriverJunctions, ABendTakesTheOtherRoadWhateverTheCode)
{
    Load(tools::TestCity(tools::TestCityKind::kBend));
    ASSERT_TRUE(SyncTo(VectorPos(128, -1, 128)));
    CarDriver* d = Car(100.0f, 125.5f, 1.0f, 0.0f, 0);
    d->SetCurrentRS();
    ASSERT_NE(d->rs, nullptr);
    const Junction* J = d->JunctionAhead();
    ASSERT_EQ(J->nRoadsegs, 2);
    for (int code = -2; code <= 2; code++) {
        EXPECT_EQ(d->GetNextRS(d->rs, d->rsdir, s8(code)), J->Next(d->rs)) << code;
        EXPECT_EQ(d->i8NextCode, 0) << code;
    }
}

// ---------------------------------------------------------------------------
// The handler.

class DriverHandler : public DriverWorld
{
};

TEST_F(DriverHandler, CreationDrawsItsLaneAndSpeedAndTheSeatTakesIt)
{
    srand(77);
    const int r = rand();
    const float f = randf();
    srand(77);
    LooseDriver d;
    EXPECT_EQ(d->i16DefLane, int((long long)r * 100 >> 31));
    EXPECT_FLOAT_EQ(d->fSpeedFact, 0.9f + 0.2f * f);
    EXPECT_EQ(d->iCreationTime, world.time);
    EXPECT_EQ(d->messagehandler, &CarDriver::CarDriver_mh);
    for (int i = 0; i < 50; i++) {
        LooseDriver e;
        EXPECT_GE(e->i16DefLane, 0);
        EXPECT_LE(e->i16DefLane, 99);
        EXPECT_GE(e->fSpeedFact, 0.9f);
        EXPECT_LT(e->fSpeedFact, 1.1f);
    }

    Vehicle* v = nullptr;
    CarDriver* c = Car(0.0f, 0.0f, 0.0f, 1.0f, 0, &v);
    EXPECT_EQ(c->parent, v);
    EXPECT_EQ(v->rcoDriver.p, c);
    EXPECT_EQ(c->mat.GetTrans()[0], 0.0f);
}

TEST_F(DriverHandler, SuspensionsNestAndTheHoldIgnoresTheTrafficCommands)
{
    Vehicle* v = nullptr;
    CarDriver* d = Car(0.0f, 0.0f, 0.0f, 1.0f, 5, &v);
    v->maxoccupancy = 1;
    auto send = [&](int code, Variant p0 = 0, Object* obj = nullptr) {
        SpecialMessage m(code, obj, p0);
        return d->SendMessage(OM_SPECIAL, &m);
    };
    EXPECT_EQ(send(SMSG_CD_SUSPEND, 1), 1);
    EXPECT_EQ(send(SMSG_CD_SUSPEND, 1), 1);
    EXPECT_EQ(d->Mode(), 7);
    EXPECT_TRUE(d->iCDFlags & CDF_UNSEATED);
    EXPECT_EQ(send(SMSG_CD_RESUME), 0);
    EXPECT_EQ(d->Mode(), 7);
    send(SMSG_CD_RESUME);
    EXPECT_EQ(d->Mode(), 5);
    // A resume with none outstanding does nothing.
    send(SMSG_CD_RESUME);
    EXPECT_EQ(d->Mode(), 5);
    EXPECT_EQ(d->iRefCount, 0);

    // Held (by any non-zero parameter, as the senders ask for it; 0 lets
    // go): deactivation, suspension, a character's seat and the lock are
    // refused; make-way and resume still work.
    EXPECT_EQ(send(SMSG_CD_SUSPEND, 1), 1);
    send(SMSG_CD_HOLD, 2);
    EXPECT_TRUE(d->iCDFlags & CDF_HELD);
    send(SMSG_CD_HOLD, 0);
    EXPECT_FALSE(d->iCDFlags & CDF_HELD);
    send(SMSG_CD_HOLD, 1);
    ASSERT_TRUE(d->iCDFlags & CDF_HELD);
    d->ReActivate();
    EXPECT_EQ(send(SMSG_CD_DEACTIVATE, 0), 0);
    EXPECT_EQ(send(SMSG_CD_SUSPEND, 1), 0);
    Object passenger;
    send(SMSG_CD_SEAT_TAKEN, 0, &passenger);
    EXPECT_EQ(v->rcoDriver.p, d);
    d->iCDFlags |= CDF_UNSEATED;
    send(SMSG_CD_LOCK);
    EXPECT_TRUE(d->iCDFlags & CDF_UNSEATED);
    EXPECT_EQ(d->Mode(), 5);
    EXPECT_EQ(d->iRefCount, 1);
    send(SMSG_CD_MAKE_WAY, 9);
    EXPECT_EQ(d->iForceReal, 30);
    EXPECT_EQ(d->iForceCommand, 9);
    send(SMSG_CD_RESUME);
    EXPECT_EQ(d->iRefCount, 0);
    // Released with 0: obeyed again.
    send(SMSG_CD_HOLD, 0);
    EXPECT_EQ(send(SMSG_CD_DEACTIVATE, 0), 1);
    EXPECT_EQ(d->Mode(), 7);
    EXPECT_EQ(d->i16SaveMode, 5);
    // The driver leaving ends a hold too, and deactivates.
    send(SMSG_CD_HOLD, 1);
    d->ReActivate();
    send(SMSG_CD_DRIVER_LEFT);
    EXPECT_FALSE(d->iCDFlags & CDF_HELD);
    EXPECT_EQ(d->Mode(), 7);
    // The flag query answers the asleep-or-inactive bit.
    EXPECT_EQ(send(SMSG_CD_QUERY_FLAG), 0);
    d->iCDFlags |= CDF_ASLEEPORINACTIVE;
    EXPECT_EQ(send(SMSG_CD_QUERY_FLAG), 1);
    // Pinned, unless racing.
    send(SMSG_CD_PINNED);
    EXPECT_TRUE(d->iCDFlags & CDF_PINNED);
}

TEST_F(DriverHandler, AFleeingDriverSleepsFarFromThePlayerAndWakesNear)
{
    Load(tools::TestCity(tools::TestCityKind::kCrossing));
    ASSERT_TRUE(SyncTo(VectorPos(128, -1, 128)));
    PlayerStandIn player;
    dace = player.AsDace();
    Vehicle* v = nullptr;
    // Off the roads: the drive step finds nothing to drive on.
    CarDriver* d = Car(10.0f, 10.0f, 0.0f, 1.0f, 3, &v);
    auto at = [&](float dist) { player.mat.SetTrans(VectorPos(10.0f + dist, -1.0f, 10.0f)); };
    at(203.0f);
    for (int i = 0; i < 200; i++)
        d->SendMessage(OM_FRAME, nullptr);
    EXPECT_FALSE(d->iCDFlags & CDF_ASLEEP);
    at(234.5f);
    d->SendMessage(OM_FRAME, nullptr);
    EXPECT_EQ(d->iCDFlags & (CDF_ASLEEP | CDF_ASLEEPORINACTIVE), CDF_ASLEEP | CDF_ASLEEPORINACTIVE);
    EXPECT_EQ(v->mode, 1);
    EXPECT_EQ(v->fBrake, 0.01f);
    // Asleep it still checks the distance each frame.
    EXPECT_TRUE(d->flags & OBJF_FRAMECALL);
    at(188.0f);
    d->SendMessage(OM_FRAME, nullptr);
    EXPECT_TRUE(d->iCDFlags & CDF_ASLEEP);
    at(187.0f);
    d->SendMessage(OM_FRAME, nullptr);
    EXPECT_FALSE(d->iCDFlags & (CDF_ASLEEP | CDF_ASLEEPORINACTIVE));
    EXPECT_EQ(v->mode, 0);
    EXPECT_EQ(d->i16MiscCount, 180);
    // Only the whole mode 3 sleeps: with the route flag it never does.
    d->i16DriveMode = 0x103;
    at(300.0f);
    d->SendMessage(OM_FRAME, nullptr);
    EXPECT_FALSE(d->iCDFlags & CDF_ASLEEP);
}

// Records the game events a driver reports.
struct EventLog : public Object
{
    std::vector<int> codes;
    static int mh(Object* o, OBJMESSAGE msg, void* data)
    {
        if (msg == OM_SPECIAL)
            static_cast<EventLog*>(o)->codes.push_back(static_cast<SpecialMessage*>(data)->submsg);
        return 0;
    }
    EventLog() : Object(mh) {}
};

TEST_F(DriverHandler, BumpsAndShotsReachTheDriver)
{
    Vehicle *v = nullptr, *other = nullptr;
    CarDriver* d = Car(0.0f, 0.0f, 0.0f, 1.0f, 5, &v);
    Car(3.0f, 0.0f, 0.0f, 1.0f, 0, &other);
    EventLog events;
    d->gameeventobj = &events;
    d->id = -20;
    // Brushed by a car driven by another character: kept physical for 60
    // frames and the stabiliser off.
    vehtest::Driver npc(-7), player(-1);
    other->rcoDriver = &npc;
    CollisionRecord cr(v, other);
    d->SendMessage(OM_PASSEDCOLL, &cr);
    EXPECT_EQ(d->iForceReal, 60);
    EXPECT_TRUE(d->iCDFlags & CDF_NOSTABILIZER);
    EXPECT_EQ(d->iDisableStabilizerTime, world.time);
    EXPECT_TRUE(events.codes.empty());
    // By the player's car: the driver reports it.
    other->rcoDriver = &player;
    d->SendMessage(OM_PASSEDCOLL, &cr);
    EXPECT_EQ(events.codes, std::vector<int>{SMSG_EV_DRIVER_SHOT});
    other->rcoDriver = nullptr;
    // Asleep or inactive, a brush does not wake the physics.
    d->iForceReal = 0;
    d->iCDFlags |= CDF_ASLEEPORINACTIVE;
    d->SendMessage(OM_PASSEDCOLL, &cr);
    EXPECT_EQ(d->iForceReal, 0);

    // Shot by the player: reported; by someone else: not.
    Bullet b;
    b.sourceid = -1;
    SpecialMessage hit(SMSG_BULLET_HIT, &b);
    d->SendMessage(OM_SPECIAL, &hit);
    EXPECT_EQ(events.codes.size(), 2u);
    b.sourceid = 40;
    d->SendMessage(OM_SPECIAL, &hit);
    EXPECT_EQ(events.codes.size(), 2u);
    // A tail's driver without a receiver reports to the mode controller.
    d->gameeventobj = nullptr;
    d->i16DriveMode = 8;
    GameController* gc = gametest::Controller();
    EventLog mission;
    gc->pMission = &mission;
    b.sourceid = -1;
    d->SendMessage(OM_SPECIAL, &hit);
    EXPECT_EQ(mission.codes, std::vector<int>{SMSG_EV_DRIVER_SHOT});
    gc->pMission = nullptr;
    delete gc;
    g_pgcTest = nullptr;
}

// A generator that records the all-zero message it is sent.
struct RecordingGen : public VehGen
{
    int zeroMessages = 0;
    static int mh(Object* o, OBJMESSAGE msg, void* data)
    {
        const SpecialMessage* m = static_cast<const SpecialMessage*>(data);
        if (msg == OM_SPECIAL && m->submsg == 0 && m->obj == nullptr && m->param[0].i == 0)
            static_cast<RecordingGen*>(o)->zeroMessages++;
        return 0;
    }
    RecordingGen() { messagehandler = mh; }
};

TEST_F(DriverHandler, FarInactiveCarsGoWithTheirDriversByViewDistance)
{
    CameraAt(VectorPos(0.0f, 0.0f, 0.0f));
    GameController* gc = gametest::Controller();
    RecordingGen gen;
    gc->pvs.pvg = &gen;
    // Each case: where the car stands in view space, whether it was drawn
    // lately, whether it keeps its driver, and whether it goes.
    struct Case
    {
        float x, z;
        bool drawn, driven, goes;
    };
    const Case cases[] = {
        {0.0f, 40.0f, true, true, false},  {0.0f, 40.0f, false, true, true},   {0.0f, 57.0f, true, true, true},
        {20.0f, 0.0f, false, true, true},  {16.0f, 0.0f, false, true, false},  {0.0f, -30.0f, false, true, true},
        {0.0f, -30.0f, true, true, false}, {0.0f, -46.0f, true, true, true},   {0.0f, 200.0f, true, false, false},
        {0.0f, 230.0f, true, false, true}, {0.0f, 140.0f, false, false, true},
    };
    int removed = 0;
    for (const Case& c : cases) {
        Vehicle* v = nullptr;
        CarDriver* d = Car(c.x, c.z, 0.0f, 1.0f, 0, &v);
        SpecialMessage off(SMSG_CD_DEACTIVATE, nullptr, 0);
        d->SendMessage(OM_SPECIAL, &off);
        d->i16MiscCount = 15;   // the countdown has run down
        v->iLastDrawnTime = c.drawn ? world.time - 2 : world.time - 16;
        if (!c.driven)
            v->rcoDriver = nullptr;
        RCptr<Object> keepCar(v), keepDriver(d);
        const int reply = d->SendMessage(OM_TIMER, nullptr);
        EXPECT_EQ(reply, c.goes ? -2 : 0) << c.x << " " << c.z;
        EXPECT_EQ(v->IsDead(), c.goes) << c.x << " " << c.z;
        EXPECT_EQ(d->IsDead(), c.goes);
        if (c.goes) {
            Forget(v);
            removed++;
            EXPECT_EQ(gen.zeroMessages, 1);
            EXPECT_EQ(gc->pvs.pvg, nullptr);
            gen.zeroMessages = 0;
            gc->pvs.pvg = &gen;
        } else {
            // Re-armed for 15 to 20 frames on.
            bool armed = false;
            for (Timer* t = world.timerlist.Head(); !t->IsEOList(); t = t->Next())
                if (t->obj.p == d) {
                    const u32 wait = t->time.t - world.timePrecise.t;
                    armed = wait >= 15 * 256 && wait <= 20 * 256;
                }
            EXPECT_TRUE(armed) << c.x << " " << c.z;
        }
    }
    EXPECT_EQ(removed, 7);

    // Far, inactive, but driven by the player: it stays.
    {
        Vehicle* v = nullptr;
        CarDriver* d = Car(0.0f, 300.0f, 0.0f, 1.0f, 7, &v);
        vehtest::Driver player(-1);
        v->rcoDriver = &player;
        v->iLastDrawnTime = world.time - 100;
        EXPECT_EQ(d->SendMessage(OM_TIMER, nullptr), 0);
        EXPECT_FALSE(v->IsDead());
        v->rcoDriver = d;
    }

    // A counted driver's death lowers both counts; without a controller or
    // generator it lowers what there is.
    Vehicle* v = nullptr;
    CarDriver* d = Car(0.0f, 0.0f, 0.0f, 1.0f, 0, &v);
    gen.i16NumSpawned = 3;
    gc->iNumVehs = 5;
    d->pvg = &gen;
    d->iCDFlags |= CDF_COUNTED;
    Forget(v);
    v->Delete();
    EXPECT_EQ(gen.i16NumSpawned, 2);
    EXPECT_EQ(gc->iNumVehs, 4);
    d = Car(0.0f, 0.0f, 0.0f, 1.0f, 0, &v);
    d->iCDFlags |= CDF_COUNTED;
    gc->pvs.pvg = nullptr;
    delete gc;
    g_pgcTest = nullptr;
    Forget(v);
    v->Delete();
}

}  // namespace
