// The gas station, the impound lot and the 24/7 spots with the player, his
// car and the game controller's stand-ins.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

#include "game/explode_support.h"
#include "game/hud_support.h"

#include "ZevEngine2/Collision.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/Model.h"
#include "game/Camera.h"
#include "game/CityDriveIns.h"
#include "game/CityObjects.h"
#include "game/controller_support.h"
#include "game/GameFlow.h"
#include "game/GameModes.h"
#include "game/HUD.h"
#include "game/Player.h"
#include "game/Vehicle.h"

using namespace explodetest;

namespace {

constexpr int kSlot = 252;
const VectorPos kPump(0.0f, 0.0f, 3.0f), kExit(0.0f, 0.0f, 6.0f);

// A place of node kind `kind`: its root (model 0) with the pump mark
// (0x8000) and the trigger mark (0x8001) unless left out.
tools::P2BFile PlaceModel(u16 kind, bool pump = true, bool trigger = true)
{
    tools::P2BFile f;
    f.models = {BareModel(1.0f)};
    f.AddNode(-1, tools::MakeNode(0, VectorPos(0, 0, 0), VectorXYZ(0, 0, 0), kind));
    if (pump)
        f.AddNode(0, tools::MakeNode(MDL_NOGEOM, kPump, VectorXYZ(0, 0, 0), 0x8000));
    if (trigger)
        f.AddNode(0, tools::MakeNode(MDL_NOGEOM, kExit, VectorXYZ(0, 0, 0), 0x8001));
    return f;
}

// The marker model of slot 144.
tools::P2BFile MarkerModel()
{
    tools::P2BFile f;
    f.models = {BareModel(0.2f)};
    for (int i = 0; i < 9; i++)
        f.AddNode(-1, tools::MakeNode(0));
    return f;
}

GameSubModeTargetMsg g_trip;
int g_trips = 0;
int RecordTrip(Object*, OBJMESSAGE msg, void* data)
{
    const SpecialMessage* sm = static_cast<SpecialMessage*>(data);
    if (msg == OM_SPECIAL && sm->submsg == SMSG_GC_SIDE_TRIP) {
        std::memcpy(&g_trip, sm->obj, sizeof g_trip);
        g_trips++;
    }
    return 0;
}

class DriveIns : public ::testing::Test
{
protected:
    void SetUp() override
    {
        world.Clear();
        world.playbackSpeed = 1.0f;
        srand(7);
        gametest::Controller()->messagehandler = RecordTrip;
        g_pgcTest->stats.nPoints = 0;
        g_pgcTest->bEnableImpoundLots = true;
        noMap.emplace(g_pgcTest->pmd, nullptr);
        g_trips = 0;
        SetCurrentCam(nullptr);
        car = new Vehicle;
        car->collision = ball.Chain();
        player = new Dace;
        car->Attach(player);
        dace = player;
    }
    void TearDown() override
    {
        world.Clear();
        dace = nullptr;
        player->Detach();
        player->Delete();
        car->Delete();
        g_pgcTest->bEnableImpoundLots = false;
        g_pgcTest->messagehandler = GameController::staticmh;
        noMap.reset();
        SetCurrentCam(nullptr);
    }

    // A real place of the model, made through its handler.
    static DriveIn* Place(MDLFILE* mf)
    {
        Object t;
        t.mdlfile = mf;
        OBJMESSAGEHANDLER h = GetGridMessageHandler(&t);
        EXPECT_NE(h, nullptr);
        Object* o = reinterpret_cast<Object*>(intptr_t(h(nullptr, OM_CREATE, nullptr)));
        mf->GetHierarchyTo(o, 0, GH_ANIMATE);
        o->mat = Matrix(true);
        world.AddObject(o, nullptr);
        return static_cast<DriveIn*>(o);
    }

    // The car at the trigger box, facing along dir, touching it.
    void Enter(DriveIn* place, VectorDir dir = VectorDir(0, 0, 1), Object* who = nullptr)
    {
        Object* mover = who != nullptr ? who : car;
        mover->mat = RotY(std::atan2(dir[0], dir[2]));
        mover->mat.SetTrans(place->Trigger()->GetWorldPos());
        Object* box = place->Trigger();
        CollisionRecord cr(place, mover);
        cr.Set(box->collision, ball.Chain(), box, mover);
        cr.SaveMatrix(box->GetWorldMatrix(), mover->GetWorldMatrix());
        place->SendMessage(OM_COLLISION, &cr);
    }

    static void Ticks(int n)
    {
        for (int i = 0; i < n; i++)
            world.Update();
    }
    static bool HasMarker(Object* place) { return place->FindSubObject(DRIVEIN_MARKER_ID) != nullptr; }

    CollSphereEnd ball{MakeCollisionID(1, 1), Sphere(VectorPos(0, 0, 0), 0.5f)};
    Vehicle* car = nullptr;
    std::optional<gametest::Lend<MapDisplay>> noMap;   // no map display unless a test lends one
    Dace* player = nullptr;
    SlotFile markers{MARKER_MODEL_SLOT, MarkerModel()};
};

using hudtest::TextHud;

}  // namespace

TEST_F(DriveIns, TheStationRepairsForPointsAndReleasesTheCarAtItsExitMark)
{
    TextHud texts;
    SlotFile file(kSlot, PlaceModel(258));
    DriveIn* station = Place(file.mf());
    EXPECT_EQ(station->id, 258);
    ASSERT_NE(station->Trigger(), nullptr);
    EXPECT_TRUE(HasMarker(station));
    const Camera* before = GetCurrentCam();

    // 10 points, 30 units of damage: 20 strength for 10 points.
    g_pgcTest->stats.nPoints = 10;
    car->strength = 70.0f;
    Enter(station);
    EXPECT_EQ(station->mode, 1);
    EXPECT_EQ(car->mode, 2);
    EXPECT_TRUE(car->flags & OBJF_NOCOLLISION);
    EXPECT_FALSE(HasMarker(station));
    EXPECT_NE(GetCurrentCam(), before);
    int ticks = 0;
    while (station->mode == 1 && ticks++ < 2000)
        Ticks(1);
    ASSERT_EQ(station->mode, 2);
    EXPECT_NEAR(car->mat.w[2], kPump[2], 0.0390625f);
    Ticks(120);
    EXPECT_EQ(car->strength, 90.0f);
    EXPECT_EQ(car->rgpartstrength[0], 22.5f);   // rebuilt whole: a quarter each
    EXPECT_EQ(g_pgcTest->stats.nPoints, 0u);   // the 10 points paid
    EXPECT_EQ(texts.TakeText(), "VEHICLE REPAIRED!");
    while (station->mode == 2 && ticks++ < 4000)
        Ticks(1);
    ASSERT_EQ(station->mode, 3);
    EXPECT_EQ(car->mode, 0);
    EXPECT_FALSE(car->flags & OBJF_NOCOLLISION);
    EXPECT_EQ(car->fEngine, 0.01f);
    EXPECT_EQ(GetCurrentCam(), before);
    // It re-arms once the player is 3.125 away from the trigger.
    Ticks(1260);
    EXPECT_EQ(station->mode, 3);
    car->mat.SetTrans(station->Trigger()->GetWorldPos() + VectorDir(3.2f, 0.0f, 0.0f));
    Ticks(60);
    EXPECT_EQ(station->mode, 0);
    EXPECT_TRUE(HasMarker(station));
}

TEST_F(DriveIns, RepairAmountsPointsAndRefusals)
{
    TextHud texts;
    SlotFile file(kSlot, PlaceModel(258));
    GasStation* station = static_cast<GasStation*>(Place(file.mf()));
    g_pgcTest->stats.nPoints = 10;
    car->strength = 93.0f;
    EXPECT_EQ(station->ComputeRepairAmount(car), 7.0f);
    Enter(station);
    Ticks(400);
    EXPECT_EQ(car->strength, 100.0f);
    EXPECT_EQ(g_pgcTest->stats.nPoints, 7u);   // 3 of the 10 points paid
    world.Clear();

    // Undamaged and without points: through with nothing taken.
    g_pgcTest->stats.nPoints = 0;
    station = static_cast<GasStation*>(Place(file.mf()));
    Enter(station);
    EXPECT_EQ(station->mode, 1);
    Ticks(600);
    EXPECT_EQ(station->mode, 3);
    EXPECT_EQ(g_pgcTest->stats.nPoints, 0u);
    world.Clear();

    // At right angles: ignored.
    station = static_cast<GasStation*>(Place(file.mf()));
    Enter(station, VectorDir(1, 0, 0));
    EXPECT_EQ(station->mode, 0);
    Enter(station, VectorDir(0.62f, 0, 0.78f));   // |cos| 0.78
    EXPECT_EQ(station->mode, 0);
    world.Clear();
    texts.TakeText();   // the repair's

    // Damaged without points: refused, re-armed only beyond 3.125.
    car->strength = 50.0f;
    car->mode = 0;
    station = static_cast<GasStation*>(Place(file.mf()));
    Enter(station);
    EXPECT_EQ(station->mode, 3);
    EXPECT_EQ(car->mode, 0);
    EXPECT_EQ(texts.TakeText(), "POINTS REQUIRED TO REPAIR!");
    EXPECT_FALSE(HasMarker(station));
    Ticks(300);
    EXPECT_EQ(station->mode, 3);
    car->mat.SetTrans(station->Trigger()->GetWorldPos() + VectorDir(0.0f, 0.0f, -3.2f));
    Ticks(60);
    EXPECT_EQ(station->mode, 0);
}

TEST_F(DriveIns, AStationWithoutItsMarksTakesNoCar)
{
    SlotFile file(kSlot, PlaceModel(258, false, true));
    DriveIn* station = Place(file.mf());
    Enter(station);
    EXPECT_EQ(station->mode, 0);
    EXPECT_EQ(car->mode, 0);
    SlotFile lot(kSlot + 1, PlaceModel(269, false, false));
    DriveIn* l = Place(lot.mf());
    EXPECT_FALSE(HasMarker(l));   // the box hangs on the lot itself
    Enter(l);
    EXPECT_EQ(l->mode, 0);
    EXPECT_EQ(g_trips, 0);
}

TEST_F(DriveIns, TheImpoundLotSendsItsSideTripByCarOrOnFootFromTheFront)
{
    static_assert(offsetof(GameSubModeTargetMsg, i16SubLevelNumberTrigger) == 80);
    static_assert(offsetof(GameSubModeTargetMsg, i8VehTypeId) == 82);
    static_assert(offsetof(GameSubModeTargetMsg, i16TableIndex) == 84);
    SlotFile file(kSlot, PlaceModel(269));
    DriveIn* lot = Place(file.mf());
    lot->mat.SetTrans(VectorPos(10.0f, 0.0f, 0.0f));
    EXPECT_EQ(lot->id, 269);
    Enter(lot);
    EXPECT_EQ(lot->mode, 1);
    Ticks(1000);
    ASSERT_EQ(g_trips, 1);
    EXPECT_EQ(lot->mode, 2);
    EXPECT_EQ(g_trip.i16SubLevelNumberTrigger, 13);
    EXPECT_EQ(g_trip.i8VehTypeId, -1);
    EXPECT_EQ(g_trip.i16TableIndex, 0);
    EXPECT_EQ(g_trip.vpTargetPos[0], 10.0f);
    // Back from the mark along -z, facing out.
    EXPECT_FLOAT_EQ(g_trip.vpSrceChar[2], kExit[2] - 0.3125f);
    EXPECT_EQ(g_trip.vdSrceVehDir[2], -1.0f);
    world.Clear();

    // On foot: from behind nothing; from the front the trip.
    player->Detach();
    player->id = -1;
    lot = Place(file.mf());
    Enter(lot, VectorDir(0, 0, -1), player);
    EXPECT_EQ(g_trips, 1);
    Enter(lot, VectorDir(0, 0, 1), player);
    EXPECT_EQ(g_trips, 2);
    EXPECT_EQ(lot->mode, 2);

    // Closed while the lots are disabled.
    g_pgcTest->bEnableImpoundLots = false;
    Object t;
    t.mdlfile = file.mf();
    EXPECT_EQ(GetGridMessageHandler(&t), nullptr);
}

TEST_F(DriveIns, SpotsPutUpTheirMarkerOnceThePlayerIsAway)
{
    SlotFile dojoFile(kSlot, PlaceModel(268, true, false));
    SlotFile raceFile(kSlot + 1, PlaceModel(266, true, false));
    player->Detach();
    Object* dojo = Place(dojoFile.mf());
    Object* race = Place(raceFile.mf());
    EXPECT_EQ(dojo->id, 268);
    const VectorPos mark = dojo->GetWorldPos() + kPump;
    // 2.1 away (4.41 < 4.6875): the dojo waits; 3.0 (9 < 9.375): the race too.
    player->mat = TransMatrix(mark + VectorDir(2.1f, 0.0f, 0.0f));
    Ticks(300);
    auto markers = [] {
        int n = 0;
        for (ObjectIterator it = world.objectlist.Begin(); !it.IsEOList(); ++it)
            n += it->messagehandler == GameModeTarget::staticmh ? 1 : 0;
        return n;
    };
    EXPECT_EQ(markers(), 0);
    player->mat = TransMatrix(mark + VectorDir(3.0f, 0.0f, 0.0f));
    Ticks(38);
    ASSERT_EQ(markers(), 1);
    const GameModeTarget* t = static_cast<GameModeTarget*>(static_cast<Spot247*>(dojo)->rcoTarget.p);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->i16Flags, 0x3B);
    EXPECT_EQ(t->i16SubLevelNumberTrigger, 13);
    EXPECT_EQ(t->i16TableIndex, 1);
    EXPECT_EQ(t->bForceOntoObject, 0);
    player->mat = TransMatrix(mark + VectorDir(3.1f, 0.0f, 0.0f));
    Ticks(38);
    ASSERT_EQ(markers(), 2);
    const GameModeTarget* r = static_cast<GameModeTarget*>(static_cast<Spot247*>(race)->rcoTarget.p);
    EXPECT_EQ(r->i16TableIndex, 3);
    EXPECT_EQ(r->bForceOntoObject, 1);
    // The spot's marker goes with it.
    dojo->Delete();
    EXPECT_TRUE(t->IsDead());
}

TEST_F(DriveIns, AMapTargetAtTheSpotSilencesItForGood)
{
    MapDisplay md{};
    gametest::Lend<MapDisplay> lent(g_pgcTest->pmd, &md);
    SlotFile file(kSlot, PlaceModel(268, true, false));
    player->Detach();
    player->mat = TransMatrix(VectorPos(50.0f, 0.0f, 50.0f));
    // An unused other target at the spot is passed over.
    md.flags = 0x10;
    md.rvOtherStaticTarget[0] = Vector(0.0f, 0.0f, 3.0f, 0.0f);
    Object* a = Place(file.mf());
    Ticks(20);
    EXPECT_NE(static_cast<Spot247*>(a)->rcoTarget.p, nullptr);
    // The static target 4 units across from the mark.
    md.flags = 1;
    md.vpStaticTarget = VectorPos(4.0f, -9.0f, 3.0f);
    Object* b = Place(file.mf());
    Ticks(200);
    EXPECT_EQ(static_cast<Spot247*>(b)->rcoTarget.p, nullptr);
    EXPECT_EQ(b->id, 0);
}

TEST_F(DriveIns, KindsOfTheSpotsAndLotsGetTheirHandlersOnlyWhileEnabled)
{
    const OBJMESSAGEHANDLER want[5] = {Race247_mh, FRange247_mh, Dojo247_mh, ImpoundLot_mh, ImpoundLot_mh};
    for (u16 kind = 266; kind <= 270; kind++) {
        SlotFile plain(kSlot, PlaceModel(kind));
        tools::P2BFile withRecord = PlaceModel(kind);
        withRecord.AddNode(0, tools::MakeNode(0xF000));
        SlotFile explosive(kSlot + 1, withRecord);
        Object a, b;
        a.mdlfile = plain.mf();
        b.mdlfile = explosive.mf();
        g_pgcTest->bEnableImpoundLots = true;
        EXPECT_EQ(GetGridMessageHandler(&a), want[kind - 266]) << kind;
        g_pgcTest->bEnableImpoundLots = false;
        EXPECT_EQ(GetGridMessageHandler(&a), nullptr) << kind;
        EXPECT_EQ(GetGridMessageHandler(&b), ExteriorDamageable::_mh) << kind;
    }
    SlotFile station(kSlot, PlaceModel(258));
    Object s;
    s.mdlfile = station.mf();
    EXPECT_EQ(GetGridMessageHandler(&s), GasStation_mh);
}
