// The random crime on a loaded test street: cars set down on their side of
// the road, the target car asleep far from the player and awake near him,
// and the police call with its officers, car and driver, their chase and
// their leaving.
#include "game/cardriver_support.h"

#include <vector>

#include "ZevEngine2/EntTypes.h"
#include "game/BadGuy.h"
#include "game/controller_support.h"
#include "game/GameFEnt.h"
#include "game/RandomCrimes.h"
#include "game/enemy_support.h"

namespace {

using namespace drivetest;

struct Said
{
    Object* to;
    int code;
    Object* obj;
    int param0;
};
std::vector<Said> g_said;

// Officers: plain enemies noting what they are told; registered as the
// runner kind while a test runs.
int Officer_mh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return int(reinterpret_cast<intptr_t>(new Enemy(Officer_mh, nullptr, 0)));
    if (msg == OM_DIE) {
        delete static_cast<Enemy*>(o);
        return -1;
    }
    if (msg == OM_SPECIAL && data != nullptr) {
        auto* m = static_cast<SpecialMessage*>(data);
        g_said.push_back({o, m->submsg, m->obj, int(m->param[0])});
    }
    return 0;
}

// A kind registered for one test, shadowing the game's own.
struct KindForTest
{
    Name name;
    KindForTest(const char* n, OBJMESSAGEHANDLER mh) : name(n, int(reinterpret_cast<intptr_t>(mh))) {}
    ~KindForTest()
    {
        if (Name::first == &name)
            Name::first = name.link;
    }
};

class CrimeStreet : public DriverWorld
{
protected:
    void SetUp() override
    {
        DriverWorld::SetUp();
        g_said.clear();
        tools::CityDescription c;
        tools::AddSampleRoadKinds(c);
        const int kind = AddRoadKind(c, 0x07, {-2.5f, 2.5f}, 1, 0.12f);
        Streets(c, kind);
        Load(c);
        ASSERT_TRUE(SyncTo(VectorPos(128, -1, 128)));
        player = new PlayerStandIn;
        player->id = -1;
        player->type = OBJT_CHARACTER;
        player->mat = TransMatrix(VectorPos(100.0f, -1.0f, 110.0f));
        world.AddObject(player, nullptr);
        row.palp = noAssets;
        crime = NewRandomMissionController(nullptr, &row);
        hold = crime;
    }
    void TearDown() override
    {
        if (!crime->IsDead())
            crime->Delete();
        hold = nullptr;
        DriverWorld::TearDown();
    }
    // A crossing at (128, 128) with four 60-long arms.
    virtual void Streets(tools::CityDescription& c, int kind)
    {
        AddCrossing(c, 2 | JUNCTION_THROUGHROAD, kind, kind, 60.0f, 12.0f, false);
    }
    // The west arm: the road from the dead end at x 68 into the crossing.
    RoadSeg* WestArm()
    {
        RoadSeg* s = FindNearestRoadSeg(VectorPos(100.0f, -1.0f, 128.0f), nullptr, false);
        EXPECT_NE(s, nullptr);
        return s;
    }

    AssetLoadParams noAssets[1];
    RandMissParams row{};
    RandomMissionController* crime = nullptr;
    RCptr<Object> hold;
    PlayerStandIn* player = nullptr;
};

TEST_F(CrimeStreet, CarsAreSetDownOnTheirOwnSideFacingTheirWay)
{
    RoadSeg* s = WestArm();
    ASSERT_NE(s, nullptr);
    const RoadTypeFile& rt = *s->type;
    // The arm runs along +x at z 128, its curve's normal toward -z.
    const float dir = s->bezier.c3[0] > s->bezier.c0[0] ? 1.0f : -1.0f;
    const float right = rt.vXSect[rt.iJunc][0] - 0.546875f;
    const float left = -rt.vXSect[rt.iJuncLeft][0] - 0.546875f;
    Vehicle* v = nullptr;
    Car(100.0f, 126.0f, 1.0f, 0.0f, 0, &v);
    v->id = -200;
    crime->pobjectlist->AddTail(v);
    v->maxoccupancy = 4;

    // On the normal's side (-z for a curve along +x): along the curve.
    v->mat.SetTrans(VectorPos(100.0f, -1.0f, 128.0f - 1.0f * dir));
    crime->AlignVehicleToStreet(-200);
    EXPECT_NEAR(v->mat.w[2], 128.0f - dir * right, 1e-3f);
    EXPECT_NEAR(v->mat.z[0], dir, 1e-3f);
    EXPECT_EQ(v->maxoccupancy, 2);
    // Its wheels stand on the ground: body above them by its rest offset.
    const float ground = world.GroundHeight(v->mat.GetTrans(), nullptr, nullptr);
    EXPECT_NEAR(v->mat.w[1], ground - (v->CalcBodyRestOffset() + v->wheel[0]->radius), 1e-3f);

    // On the other side, and on the curve itself: against the curve.
    for (float side : {1.0f, 0.0f}) {
        v->mat = TransMatrix(VectorPos(100.0f, -1.0f, 128.0f + side * dir));
        crime->AlignVehicleToStreet2(v);
        EXPECT_NEAR(v->mat.w[2], 128.0f + dir * left, 1e-3f) << side;
        EXPECT_NEAR(v->mat.z[0], -dir, 1e-3f) << side;
    }
    // Near the dead end the car goes no nearer than a tenth of the way.
    const float end = s->bezier.c0[0];
    v->mat = TransMatrix(VectorPos(end + 0.5f * dir, -1.0f, 127.0f));
    crime->AlignVehicleToStreet2(v);
    EXPECT_NEAR(v->mat.w[0], s->bezier.Evaluate(0.1f)[0], 1e-2f);
    // No car of that id: nothing.
    EXPECT_EQ(crime->AlignVehicleToStreet(-201), 0);
}

TEST_F(CrimeStreet, TheTargetCarSleepsFarFromThePlayerAndWakesNearHim)
{
    Vehicle* v = nullptr;
    CarDriver* d = Car(100.0f, 126.0f, 1.0f, 0.0f, 0, &v);
    v->id = -200;
    crime->pobjectlist->AddTail(v);
    crime->mode = RCM_ACTIVE;
    // 93.75 away (squared just above 8789.06): asleep.
    player->mat.SetTrans(VectorPos(100.0f, -1.0f, 126.0f + 93.76f));
    crime->CheckTargetVehicleStatus();
    EXPECT_EQ(crime->mode, RCM_HIBERNATE);
    EXPECT_NE(d->iCDFlags & CDF_ASLEEP, 0);
    // Still asleep while the player is no nearer.
    crime->CheckTargetVehicleStatus();
    EXPECT_EQ(crime->mode, RCM_HIBERNATE);
    // Back within reach: set down on the near carriageway, awake, active.
    player->mat.SetTrans(VectorPos(100.0f, -1.0f, 126.0f + 93.7f));
    crime->CheckTargetVehicleStatus();
    EXPECT_EQ(crime->mode, RCM_ACTIVE);
    EXPECT_EQ(d->iCDFlags & CDF_ASLEEP, 0);
    RoadSeg* s = WestArm();
    ASSERT_NE(s, nullptr);
    const float half = 0.5f * s->type->vXSect[s->type->iJunc][0];
    const float dir = s->bezier.c3[0] > s->bezier.c0[0] ? 1.0f : -1.0f;
    EXPECT_NEAR(v->mat.w[2], 128.0f - dir * half, 1e-3f);
    // Active or engaged, it is left where it is.
    v->mat.SetTrans(VectorPos(100.0f, -1.0f, 120.0f));
    crime->mode = RCM_ENGAGED;
    crime->CheckTargetVehicleStatus();
    EXPECT_EQ(v->mat.w[2], 120.0f);
    // Far out of the city (not loaded there) it never wakes.
    crime->mode = RCM_HIBERNATE;
    v->mat.SetTrans(VectorPos(5000.0f, -1.0f, 5000.0f));
    player->mat.SetTrans(VectorPos(5000.0f, -1.0f, 5010.0f));
    ASSERT_FALSE(world.CompleteAt(VectorPos(5000.0f, -1.0f, 5000.0f)));
    crime->CheckTargetVehicleStatus();
    EXPECT_EQ(crime->mode, RCM_HIBERNATE);
}

TEST_F(CrimeStreet, ThePoliceComeChaseAndLeave)
{
    KindForTest officerKind("RunnerEnemy", Officer_mh);
    playerrig::Rig rig;
    ASSERT_NE(rig.Model(90, enemyrig::EnemyFiles().enemy), nullptr);
    g_GlobalMFI.rgmfi[90].i16Id = 397;
    std::vector<u8> carBytes;
    std::string error;
    ASSERT_TRUE(tools::WriteP2B(tools::SampleVehicleFile(0), carBytes, error)) << error;
    ASSERT_NE(rig.Model(20, carBytes), nullptr);
    g_GlobalMFI.rgmfi[20].i16Id = 27;
    gametest::Controller();

    // A chase: the car 1.875 behind the chased car, told to chase it.
    Vehicle* chased = nullptr;
    Car(110.0f, 126.0f, 1.0f, 0.0f, 0, &chased);
    chased->mat.SetTrans(VectorPos(110.0f, -1.0f, 126.0f));
    const int called = world.time;
    ASSERT_EQ(crime->CallTheCops(chased), 1);
    EXPECT_EQ(crime->iCallTheCopsTime, called);
    Object* cop0 = crime->lastcop[0];
    Object* cop1 = crime->lastcop[1];
    Vehicle* car = static_cast<Vehicle*>(static_cast<Object*>(crime->lastcopcar));
    ASSERT_TRUE(cop0 != nullptr && cop1 != nullptr && car != nullptr);
    EXPECT_EQ(cop0->id, -196);
    EXPECT_EQ(cop1->id, -197);
    EXPECT_EQ(car->id, -226);
    EXPECT_EQ(car->strength, 100.0f);
    ASSERT_TRUE(car->HasDriver());
    Object* driver = car->rcoDriver;
    EXPECT_EQ(driver->id, -201);
    EXPECT_NE(static_cast<CarDriver*>(driver)->iCDFlags & 0x80, 0);
    EXPECT_EQ(static_cast<CarDriver*>(driver)->gameeventobj, crime);
    const VectorPos behind = chased->mat.GetTrans() - VectorDir(chased->mat.z.v) * 1.875f;
    EXPECT_NEAR(car->mat.w[0], behind[0], 1e-3f);
    EXPECT_NEAR(car->mat.w[2], behind[2], 1e-3f);
    bool seated0 = false, seated1 = false;
    for (const Said& s : g_said) {
        seated0 |= s.to == cop0 && s.code == 26 && s.obj == car && s.param0 == 116;
        seated1 |= s.to == cop1 && s.code == 26 && s.obj == car && s.param0 == 117;
    }
    EXPECT_TRUE(seated0 && seated1);
    CarDriver* cd = static_cast<CarDriver*>(driver);
    EXPECT_EQ(cd->i16DriveMode, 10);
    EXPECT_EQ(cd->pobjTarget, chased);
    EXPECT_EQ(cd->iCDFlags & CDF_HELD, 0);
    EXPECT_TRUE(car->bSiren);

    // The wrap-up: nothing for 300 frames, then siren off and away (mode 6).
    crime->mode = RCM_WRAPUP;
    crime->enemydist2 = 0.0f;
    world.time = called + 300;
    crime->RCFrameWrapup();
    EXPECT_EQ(cd->i16DriveMode, 10);
    EXPECT_TRUE(car->bSiren);
    world.time = called + 301;
    crime->RCFrameWrapup();
    EXPECT_EQ(cd->i16DriveMode, 6);
    EXPECT_FALSE(car->bSiren);
    EXPECT_EQ(crime->mode, RCM_WRAPUP);

    // Called to the player, with the camera behind him: the car comes from
    // behind the camera onto the street and drives to where he stands.
    const Matrix savedCamera = rc.view_world;
    rc.view_world = TransMatrix(VectorPos(100.0f, -1.0f, 112.0f));
    Object* firstCar = car;
    ASSERT_EQ(crime->CallTheCops(nullptr), 1);
    Vehicle* second = static_cast<Vehicle*>(static_cast<Object*>(crime->lastcopcar));
    ASSERT_TRUE(second != nullptr && second != firstCar && second->HasDriver());
    CarDriver* cd2 = static_cast<CarDriver*>(static_cast<Object*>(second->rcoDriver));
    EXPECT_EQ(cd2->i16DriveMode, 10);
    EXPECT_EQ(cd2->vpTarget, player->mat.GetTrans());
    RoadSeg* arm = WestArm();
    ASSERT_NE(arm, nullptr);
    const RoadTypeFile& rt = *arm->type;
    const float dir = arm->bezier.c3[0] > arm->bezier.c0[0] ? 1.0f : -1.0f;
    EXPECT_NEAR(second->mat.w[2], 128.0f - dir * (rt.vXSect[rt.iJunc][0] - 0.546875f), 1e-3f);
    EXPECT_TRUE(second->bSiren);
    rc.view_world = savedCamera;
    for (Object* o : {cop0, cop1})
        if (!o->IsDead())
            o->Delete();
    if (!firstCar->IsDead())
        firstCar->Delete();
    cop0 = crime->lastcop[0];
    cop1 = crime->lastcop[1];
    car = second;

    // Let go at the end: the references go, the car drives off.
    crime->LoseTheCops();
    EXPECT_EQ(crime->lastcopcar, nullptr);
    EXPECT_EQ(crime->lastcop[0], nullptr);
    for (Object* o : {cop0, cop1})
        if (!o->IsDead())
            o->Delete();
    if (!car->IsDead())
        car->Delete();
    g_GlobalMFI.rgmfi[90].i16Id = -1;
    g_GlobalMFI.rgmfi[20].i16Id = -1;
}

// A street that climbs east from x 68: 1 in 2 up to x 108, then 12 in 1 up
// to x 118, a dead end at each end (y points down).
class CrimeHill : public CrimeStreet
{
protected:
    void Streets(tools::CityDescription& c, int kind) override
    {
        const int a = AddJunction(c, 68.0f, 128.0f, 0.0f, 1);
        const int b = AddJunction(c, 108.0f, 128.0f, 0.0f, 0);
        const int e = AddJunction(c, 118.0f, 128.0f, 0.0f, 1);
        c.junctions[b].pos[1] = -1.0f - 20.0f;
        c.junctions[e].pos[1] = -1.0f - 140.0f;
        c.AddSegment(a, b, 1, kind);
        c.AddSegment(b, e, 1, kind);
        c.SortSlots();
    }
};

// The car is stood on its wheels on the ground wherever it is set down:
// across the slope its rows follow the road's rise, its height is the
// ground's less its rest offset and wheel radius, on the gentle rise and on
// the steep one (whose ground normal lies within 0.1 of level).
TEST_F(CrimeHill, ACarIsStoodOnItsWheelsOnGentleAndSteepGround)
{
    Vehicle* v = nullptr;
    Car(88.0f, 126.0f, 1.0f, 0.0f, 0, &v);
    v->id = -200;
    crime->pobjectlist->AddTail(v);
    const float rest = v->CalcBodyRestOffset() + v->wheel[0]->radius;
    struct Case
    {
        float x, rise;   // where the car is put down, and the rise per unit
    } cases[] = {{88.0f, 0.5f}, {113.0f, 12.0f}};
    for (const Case& k : cases) {
        RoadSeg* s = FindNearestRoadSeg(VectorPos(k.x, -1.0f, 127.0f), nullptr, false);
        ASSERT_NE(s, nullptr);
        v->mat = TransMatrix(VectorPos(k.x, s->bezier.Evaluate(0.5f)[1], 127.0f));
        crime->AlignVehicleToStreet(-200);
        const VectorPos at = v->mat.GetTrans();
        VectorDir n;
        const float ground = world.GroundHeight(VectorPos(at[0], at[1] - 0.5f, at[2]), &n, nullptr);
        if (k.rise > 10.0f)
            EXPECT_LE(std::fabs(n[1]), 0.1f) << "steep enough";
        else
            EXPECT_GT(std::fabs(n[1]), 0.1f);
        EXPECT_NEAR(at[1], ground - rest, 1e-3f) << k.x;
        // Facing along the road (east or west, whichever side it is on):
        // forward climbs `rise` per unit, and the rows stay square.
        const VectorDir z(v->mat.z.xyz()), y(v->mat.y.xyz()), x(v->mat.x.xyz());
        const float run = 1.0f / std::sqrt(1.0f + k.rise * k.rise);
        EXPECT_NEAR(std::fabs(z[0]), run, 1e-3f) << k.x;
        EXPECT_NEAR(std::fabs(z[1]), k.rise * run, 1e-3f) << k.x;
        EXPECT_NEAR(z[2], 0.0f, 1e-4f) << k.x;
        EXPECT_NEAR(Dot(x, z), 0.0f, 1e-4f);
        EXPECT_NEAR(Dot(y, z), 0.0f, 1e-4f);
        EXPECT_NEAR(Dot(x, y), 0.0f, 1e-4f);
        for (int w = 0; w < 4; w++)
            EXPECT_FLOAT_EQ(v->wheel[w]->mat.w[1], v->CalcBodyRestOffset());
        EXPECT_EQ(v->maxoccupancy, 2);
    }
}

}  // namespace
