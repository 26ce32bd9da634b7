// The traffic's eyes at close range: pedestrians and cars in the look-ahead,
// the signal states at the line, and the lanes a turn leaves and arrives in.
#include "game/cardriver_support.h"

namespace {

using namespace drivetest;

class DriverLine : public DriverWorld
{
protected:
    int wide = 0;
    // A crossing at (128, 128) with signals of `signal` kind; arms of the
    // given kind and length.
    void Crossing(u8 signal, int kind, float arm = 60.0f)
    {
        tools::CityDescription c;
        tools::AddSampleRoadKinds(c);
        wide = AddRoadKind(c, 0x03, {-4.5f, -3.0f, -1.5f, 1.5f, 3.0f, 4.5f}, 3, 0.12f);
        const int k = kind < 0 ? wide : kind;
        AddCrossing(c, signal, k, k, arm, 14.0f);
        Load(c);
        ASSERT_TRUE(SyncTo(VectorPos(128, -1, 128)));
    }
    // The first frame at which the approach from rs shows cmd.
    static int TimeOf(const Junction* J, const RoadSeg* rs, int cmd)
    {
        for (int t = 0; t < 4800; t++)
            if (J->GetSignalCommand(*rs, t) == cmd)
                return t;
        return -1;
    }
    static void SetTime(int t)
    {
        world.time = t;
        world.timePrecise = AnimTime(u32(t) << 8);
    }
};

TEST_F(DriverLine, PedestriansStopACarOnlyInFrontOfIt)
{
    Crossing(1, tools::kRoadStreet);
    CarDriver* d = Car(90.0f, 125.5f, 1.0f, 0.0f, 0);
    Object ped;
    world.pedlist.AddTail(&ped);
    auto look = [&](float ahead, float across, float* stop) {
        ped.mat = TransMatrix(90.0f + ahead, d->pveh->mat.w[1], 125.5f + across);
        VectorDir lead(1.0f, 1.0f, 1.0f);
        *stop = 10.0f;
        const bool found = d->CheckToAdjust(stop, &lead);
        if (found) {
            EXPECT_EQ(lead.LengthSq(), 0.0f);
        }
        return found;
    };
    float stop;
    EXPECT_FALSE(look(0.2f, 0.0f, &stop));
    EXPECT_TRUE(look(0.3f, 0.0f, &stop));
    EXPECT_NEAR(stop, 0.3f - 0.234375f, 1e-5f);
    EXPECT_TRUE(look(5.0f, 0.78f, &stop));
    EXPECT_FALSE(look(5.0f, 0.781f, &stop));   // 0.781² > 0.609375: beside it
    EXPECT_FALSE(look(12.0f, 0.0f, &stop));    // beyond the stop distance
    // One riding in something is not a pedestrian in the way.
    Object seat;
    seat.Attach(&ped);
    EXPECT_FALSE(look(2.0f, 0.0f, &stop));
    ped.Detach();
    world.pedlist.RemoveAll();
}

TEST_F(DriverLine, SignalStatesSortWhoWaitsAtTheLine)
{
    Crossing(2, tools::kRoadStreet);
    CarDriver* d = Car(96.0f, 125.5f, 1.0f, 0.0f, 0);
    d->SetCurrentRS();
    ASSERT_NE(d->rs, nullptr);
    const Junction* J = d->JunctionAhead();
    d->fLastSpeed = 0.05f;
    auto step = [&](int sub, int code) {
        d->i16DriveSubMode = s16(sub);
        d->i8NextCode = s8(code);
        d->i16MiscCount = 0;   // not let go from the line
        d->iCDFlags = 0;
        int reason = 0;
        float t = d->fT + 0.05f * d->fIVelT;
        return d->CruiseDoJunctions(0.05f * d->fIVelT, 0, reason, 0.1f, t);
    };
    // State 4: the left-turner goes, the others keep waiting.
    SetTime(TimeOf(J, d->rs, 4));
    step(4, -1);
    EXPECT_EQ(d->i16DriveSubMode, 2);
    step(3, 0);
    EXPECT_EQ(d->i16DriveSubMode, 3);
    step(4, 1);
    EXPECT_EQ(d->i16DriveSubMode, 4);
    // Waiting lanes: the outermost for a right turn, lane 1 for a left one.
    EXPECT_EQ(step(4, 1), 100);
    EXPECT_EQ(step(4, -1), 1);
    // State 12: everyone waits; green: the straight-on car goes.
    SetTime(TimeOf(J, d->rs, 12));
    step(3, 0);
    EXPECT_EQ(d->i16DriveSubMode, 3);
    SetTime(TimeOf(J, d->rs, 1));
    step(3, 0);
    EXPECT_EQ(d->i16DriveSubMode, 1);
    // Approaching a red within the signal window: wait.
    SetTime(TimeOf(J, d->rs, 12));
    d->iCreationTime = world.time - 100;
    step(1, 0);
    EXPECT_EQ(d->i16DriveSubMode, 1);   // still far from the line
    d->iCreationTime = world.time;
    step(1, 0);
    EXPECT_EQ(d->i16DriveSubMode, 3);   // a new car reads the signal at once
}

TEST_F(DriverLine, WhenTheJunctionIsClearAWaitingLeftTurnerGoesStraightOn)
{
    Crossing(3, tools::kRoadStreet);
    CarDriver* d = Car(96.0f, 125.5f, 1.0f, 0.0f, 0);
    d->SetCurrentRS();
    const Junction* J = d->JunctionAhead();
    if (J->GetSignalCommand(*d->rs, 0) != 15) {
        // This road is in the first group: come from the other road.
        d = Car(130.5f, 96.0f, 0.0f, 1.0f, 0);
        d->SetCurrentRS();
    }
    ASSERT_EQ(J->GetSignalCommand(*d->rs, 0), 15);
    d->fLastSpeed = 0.05f;
    d->i16DriveSubMode = 4;
    d->i8NextCode = -1;
    int reason = 0;
    float t = d->fT + 0.01f;
    d->CruiseDoJunctions(0.01f, 0, reason, 0.1f, t);
    EXPECT_EQ(d->i8NextCode, 0);
    bool fwd = d->rsdir;
    EXPECT_EQ(d->nextrs, d->rs->Next(fwd));
    EXPECT_EQ(d->i16DriveSubMode, 2);
    // With a car crossing its path near the junction, it keeps waiting.
    const Matrix& m = d->pveh->mat;
    Car(m.w[0] + 10.0f * m.z[0] + 2.0f * m.x[0], m.w[2] + 10.0f * m.z[2] + 2.0f * m.x[2], m.x[0], m.x[2], 0);
    d->i16DriveSubMode = 4;
    d->i8NextCode = -1;
    d->CruiseDoJunctions(0.01f, 0, reason, 0.1f, t);
    EXPECT_EQ(d->i16DriveSubMode, 4);
    EXPECT_EQ(d->i8NextCode, -1);
}

// Into the junction on a right turn, from 60 or from 20 long arms.
struct TurnLanes
{
    int from, to, current;
};

TEST_F(DriverLine, ARightTurnLeavesAndArrivesInTheOutermostLane)
{
    TurnLanes got[2];
    for (int shortArms = 0; shortArms < 2; shortArms++) {
        Crossing(1, -1, shortArms ? 20.0f : 60.0f);
        const float x = 128.0f - (shortArms ? 17.0f : 30.0f);
        CarDriver* d = Car(x, 123.5f, 1.0f, 0.0f, 0);
        d->SetCurrentRS();
        ASSERT_NE(d->rs, nullptr);
        d->i16DefLane = 0;
        d->i8NextCode = 1;
        const Junction* J = d->JunctionAhead();
        d->nextrs = const_cast<RoadSeg*>(J->Next(d->rs));
        d->i16DriveSubMode = 2;
        d->fLastSpeed = 0.05f;
        int reason = 0;
        float t = d->fT + 0.001f;
        EXPECT_EQ(d->CruiseDoJunctions(0.01f, 0, reason, 0.1f, t), 100);
        EXPECT_EQ(d->i16DriveSubMode, 2);
        EXPECT_FALSE(d->bTrans);
        t = d->frsT1 + 0.001f;
        const int lane = d->CruiseDoJunctions(0.01f, 0, reason, 0.1f, t);
        EXPECT_TRUE(d->bTrans);
        EXPECT_EQ(t, 0.0f);
        got[shortArms] = {lane, d->i16TransitionFromLane, d->i16CurrentLane};
        // The curve ends in the outermost lane of the new segment.
        EXPECT_NEAR(d->fU, d->GetLaneOffsetDist(100, nullptr, false), 1e-5f);
        if (shortArms == 0) {
            TearDown();
            SetUp();
        }
    }
    EXPECT_EQ(got[0].from, 2);
    EXPECT_EQ(got[0].to, 2);
    EXPECT_EQ(got[0].current, 1);   // one lane toward the preferred lane 0
    EXPECT_EQ(got[1].to, 2);
    EXPECT_EQ(got[1].current, 2);   // a short segment keeps the arrival lane
}

TEST(DriverCurves, TurnCurvesTakeTheirHandlesFromTheSideAndTheTurn)
{
    // Nearly straight on (tangents within 18 degrees): half-chord handles
    // scaled by the side's factors, shortened by a third of the dot.
    VectorPos S(0, 0, 0), E(0, 0, 10);
    VectorDir tS(0, 0, 1), tE(0, 0, 1);
    Bezier b = CalcEscapeTurnBezier(S, tS, E, tE);
    EXPECT_NEAR(b.c1[2], 5.0f * (0.625f - 1.0f / 3.0f), 1e-5f);
    EXPECT_NEAR(b.c2[2], 10.0f - 5.0f * (0.75f - 1.0f / 3.0f), 1e-5f);
    EXPECT_EQ(b.c0[3], 1.0f);
    EXPECT_EQ(b.c1[3], 0.0f);
    Bezier t = CalcTurnBezier(S, tS, E, tE);
    EXPECT_NEAR(t.c1[2], 5.0f * (0.75f - 1.0f / 3.0f), 1e-5f);
    // The other side: the escape factors 0.325 and 0.55.
    VectorPos E2(-1, 0, 10);
    const float half = 0.5f * std::sqrt(101.0f);
    b = CalcEscapeTurnBezier(S, tS, E2, tE);
    EXPECT_NEAR(b.c1[2], half * (0.325f - 1.0f / 3.0f), 1e-5f);
    EXPECT_NEAR(b.c2[2], 10.0f - half * (0.55f - 1.0f / 3.0f), 1e-5f);
    // A right angle: the handles reach toward the crossing of the lines.
    VectorPos E3(10, 0, 10);
    VectorDir tE3 = Normalise(VectorDir(1.0f, 0.0f, 0.02f));
    b = CalcTurnBezier(S, tS, E3, tE3);
    const VectorDir r = -tE3;
    const float a = (r[2] * 10.0f - r[0] * 10.0f) / (tS[0] * r[2] - r[0] * tS[2]);
    const float fDot = Dot(tS, r);
    EXPECT_NEAR(fDot, -0.02f, 1e-3f);
    EXPECT_NEAR(b.c1[2], a * (0.75f + fDot / 3.0f), 1e-4f);
    EXPECT_NEAR(a, 10.0f, 0.25f);
}

}  // namespace
