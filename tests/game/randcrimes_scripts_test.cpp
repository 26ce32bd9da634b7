// The crime groups' command scripts, told by what the cast hears: suspects,
// victims and cars are stand-ins that log every order with where they stood
// when it came.  The crime is a controller set up by hand around them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <tuple>
#include <vector>

#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/EntTypes.h"
#include "game/BadGuy.h"
#include "game/BadGuyRunnerShared.h"
#include "game/Bystander.h"
#include "game/controller_support.h"
#include "game/GameFEntChase.h"
#include "game/GameFlow.h"
#include "game/HUD.h"
#include "game/Player.h"
#include "game/QuadTree.h"
#include "game/RandCrimesGenerator.h"
#include "game/Vehicle.h"
#include "game/cardrivr.h"

namespace {

using namespace runner;

struct Order
{
    int to;       // receiver's id
    int code;
    int obj;      // the named object's id (0: none)
    int p0;
    float x;      // where the receiver stood
};

std::vector<Order> g_log;

int Logger_mh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_SPECIAL) {
        auto* m = static_cast<SpecialMessage*>(data);
        g_log.push_back({o->id, m->submsg, m->obj != nullptr ? m->obj->id : 0, int(m->param[0]), o->mat.w[0]});
    }
    return 0;
}

template <class T>
T* Fake(int id, float x = 0.0f)
{
    T* o = static_cast<T*>(Object::operator new(sizeof(T)));
    o->messagehandler = Logger_mh;
    o->id = s16(id);
    o->mat = TransMatrix(x, 0.0f, 0.0f);
    return o;
}

class CrimeScripts : public ::testing::Test
{
protected:
    void SetUp() override
    {
        world.Clear();
        g_log.clear();
        gc = gametest::Controller();
        std::fill(std::begin(gc->rvpSubMissionTargets), std::end(gc->rvpSubMissionTargets), nullptr);
        savedHud = gc->pmd;
        gc->pmd = nullptr;
        c = static_cast<RandomMissionController*>(Object::operator new(sizeof(RandomMissionController)));
        c->messagehandler = RandomMissionController::RandomMissionController_mh;
        c->pobjectlist = new ObjectList;
        c->mode = RCM_ACTIVE;
        c->matLoc = TransMatrix(0.0f, 0.0f, 0.0f);
        c->fightstyle = 3;
        c->rgi16UsedList[0] = -1;
        for (AssetLoadParams& a : c->ralp)
            a.i16MFID = a.i16Index = -1;
    }
    void TearDown() override
    {
        for (int k = 0; k < c->i16numegi; k++)
            c->regi[k] = {};
        c->i16numegi = 0;
        for (RCptr<Object>& e : c->emEnemy)
            e = nullptr;
        for (RCptr<Object>& e : c->emBystander)
            e = nullptr;
        for (RCptr<Object>& e : c->emCar)
            e = nullptr;
        c->lastcopcar = nullptr;
        c->pobjectlist->RemoveAll();
        std::fill(std::begin(gc->rvpSubMissionTargets), std::end(gc->rvpSubMissionTargets), nullptr);
        // A crime that ended set a timer on its controller; the world's clear
        // would delete the controller through it, before it is freed below.
        world.StopTimer(c);
        world.Clear();
        gc->pmd = savedHud;
        dace = nullptr;
        // The controller was never constructed: its list and storage go by
        // hand, as SetUp made them.
        delete c->pobjectlist;
        free(c);
        c = nullptr;
    }
    // A generated suspect with its runner generator.
    Enemy* Suspect(int id, float x = 0.0f)
    {
        Enemy* e = Fake<Enemy>(id, x);
        auto* r = static_cast<EnemyGenRunner*>(Object::operator new(sizeof(EnemyGenRunner)));
        r->enemy = e;
        c->regi[c->i16numegi++] = {r, 0, false, false};
        return e;
    }
    // The crime's car, a placed vehicle of its set-up.
    Vehicle* Car(int id = -200)
    {
        Vehicle* v = Fake<Vehicle>(id);
        v->type = OBJT_VEHICLE;
        c->pobjectlist->AddTail(v);
        return v;
    }
    bool Heard(int to, int code, int obj, int p0 = 0)
    {
        for (const Order& o : g_log)
            if (o.to == to && o.code == code && o.obj == obj && o.p0 == p0)
                return true;
        return false;
    }

    GameController* gc = nullptr;
    MapDisplay* savedHud = nullptr;
    RandomMissionController* c = nullptr;
};

TEST_F(CrimeScripts, BrawlsPairTheBandsSlotBySlotAndTheShootoutMovesOneBandAcrossAfterwards)
{
    Suspect(-101);
    Suspect(-126);
    Suspect(-102);
    Suspect(-127);
    MissionCommanderRMGenG113(c, 0);
    EXPECT_EQ(g_log.size(), 4u);
    EXPECT_TRUE(Heard(-101, SMSG_ATTACK_OBJECT, -126, 3));
    EXPECT_TRUE(Heard(-126, SMSG_ATTACK_OBJECT, -101, 3));
    EXPECT_TRUE(Heard(-102, SMSG_ATTACK_OBJECT, -127, 3));
    EXPECT_TRUE(Heard(-127, SMSG_ATTACK_OBJECT, -102, 3));

    // 122: the same pairing with guns; then -110..-101 cross to the far
    // pavement, the other band stays.
    g_log.clear();
    c->acrossstreetpos = VectorPos(0.0f, 0.0f, 6.0f);
    c->matLoc = TransMatrix(0.0f, 0.0f, 1.0f);
    MissionCommanderRMGenG122(c, 0);
    ASSERT_EQ(g_log.size(), 4u);
    for (const Order& o : g_log)
        EXPECT_EQ(o.code, SMSG_SHOOT_OBJECT_NODAMAGE);
    EXPECT_TRUE(Heard(-102, SMSG_SHOOT_OBJECT_NODAMAGE, -127, 3));
    for (int k = 0; k < 4; k++) {
        Enemy* e = c->regi[k].pegr->enemy;
        const bool crossed = e->id >= -110;
        EXPECT_FLOAT_EQ(e->mat.w[2], crossed ? 5.0f : 0.0f) << e->id;
    }
}

TEST_F(CrimeScripts, TheRecklessDriverGetsANewDriverAndThePursuitSendsThePoliceAfterIt)
{
    Enemy* driver = Suspect(-101);
    Enemy* passenger = Suspect(-102);
    Vehicle* car = Car();
    srand(9);
    MissionCommanderRMGenG124(c, 0);
    // Both suspects seated, a driver of the crime's own, asleep, driving off.
    EXPECT_TRUE(Heard(-101, SMSG_PUT_IN_VEHICLE, -200, 116));
    EXPECT_TRUE(Heard(-102, SMSG_PUT_IN_VEHICLE, -200, 117));
    auto* d = static_cast<CarDriver*>(car->rcoDriver.p);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->id, -201);
    EXPECT_EQ(d->parent, static_cast<Object*>(car));
    EXPECT_EQ(d->gameeventobj, static_cast<Object*>(c));
    EXPECT_NE(d->iCDFlags & CDF_ASLEEPORINACTIVE, 0);
    EXPECT_EQ(d->i16DriveMode, 8);
    EXPECT_EQ(c->mode, RCM_HIBERNATE);
    EXPECT_EQ(c->lastcopcar.p, nullptr);   // no police for the reckless driver
    (void)driver;
    (void)passenger;

    // The pursuit: the car drives off, and the police car chases it.
    Vehicle* police = Fake<Vehicle>(-226);
    police->type = OBJT_VEHICLE;
    // Its driver a plain object (not the traffic's driver) at the start of
    // storage as large as the traffic's driver, the rest marked: it is
    // ordered by message and none of the traffic driver's fields are
    // written into it.
    alignas(16) static u8 seat[sizeof(CarDriver)];
    std::memset(seat, 0xA5, sizeof seat);
    Object* copDriver = new (seat) Object(Logger_mh);
    copDriver->id = -201;
    police->rcoDriver = copDriver;
    c->lastcopcar = police;
    g_log.clear();
    MissionCommanderRMGenG124(c, 1);
    EXPECT_EQ(d->i16DriveMode, 4);
    EXPECT_EQ(d->iCDFlags & CDF_ASLEEPORINACTIVE, 0);
    EXPECT_TRUE(Heard(-201, SMSG_CD_SET_DRIVE, -200, 10));
    EXPECT_EQ(std::count(seat + sizeof(Object), seat + sizeof seat, u8(0xA5)), long(sizeof seat - sizeof(Object)));
    // Entries beyond the pursuit do nothing.
    g_log.clear();
    MissionCommanderRMGenG124(c, 2);
    EXPECT_TRUE(g_log.empty());
    police->rcoDriver = nullptr;
    c->lastcopcar = nullptr;
}

TEST_F(CrimeScripts, TheDriveByChasesThePlayerOnEveryCallWithoutThePolice)
{
    Object player;
    player.mat = Matrix(true);
    player.id = -1;
    dace = static_cast<Dace*>(&player);
    Suspect(-101);
    Vehicle* car = Car();
    const int callTime = c->iCallTheCopsTime = 1234;
    for (int entry : {0, 1}) {
        MissionCommanderRMGenG129(c, entry);
        auto* d = static_cast<CarDriver*>(car->rcoDriver.p);
        ASSERT_NE(d, nullptr) << entry;
        EXPECT_EQ(d->i16DriveMode, 9) << entry;
        EXPECT_EQ(d->pobjTarget, &player) << entry;
        EXPECT_EQ(c->mode, RCM_HIBERNATE);
        c->mode = RCM_ACTIVE;
    }
    EXPECT_EQ(c->lastcopcar.p, nullptr);
    EXPECT_EQ(c->iCallTheCopsTime, callTime);
}

// (The tail controller itself starts the tail's sound and meters; here a
// stand-in takes its place.)
TEST_F(CrimeScripts, TheTailDrivesToItsDestinationAndEndsWhenLostButNotWhenSpotted)
{
    MapDisplay hud;
    hud.flags = 1 | (1u << 25);
    gc->pmd = &hud;
    Vehicle* car = Car();
    c->tailMatLoc = TransMatrix(40.0f, 0.0f, 0.0f);
    // Without its dealer the crime still sets off: the car to the
    // destination, no tail to run.
    MissionCommanderRMGenG130(c, 0);
    auto* d = static_cast<CarDriver*>(car->rcoDriver.p);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->i16DriveMode, 8);
    EXPECT_FLOAT_EQ(d->vpTarget[0], 40.0f);
    EXPECT_EQ(c->pTailMissionController, nullptr);
    EXPECT_EQ(c->mode, RCM_HIBERNATE);

    Enemy* dealer = Suspect(-101);
    c->pTailMissionController = reinterpret_cast<TailMissionController*>(Fake<Object>(-300));
    // Spotted: the crime goes on without its tail, the dealer driving off.
    c->mode = RCM_ACTIVE_TAIL;
    world.time = 500;
    MissionCommanderRMGenG130(c, 2);
    EXPECT_TRUE(c->tailspooked);
    EXPECT_EQ(c->pTailMissionController, nullptr);
    EXPECT_EQ(d->i16DriveMode, 4);
    EXPECT_EQ(int(dealer->gotincartime), 500);
    EXPECT_EQ(hud.flags & (1u | (1u << 25)), 0u);
    EXPECT_EQ(c->mode, RCM_ACTIVE_TAIL);
    // Lost: the crime ends.
    MissionCommanderRMGenG130(c, 1);
    bool ending = false;
    for (Timer* t = world.timerlist.Head(); !t->IsEOList(); t = t->Next())
        ending |= t->obj.p == c && t->time == world.timePrecise + AnimTime(180 * 256);
    EXPECT_TRUE(ending);
    gc->pmd = nullptr;
}

// With its dealer the tail begins: the dealer seated in the car, three more
// suspects counted at the destination (unmade here: the crime has no
// character model), a tail controller on the crime's own tail values after
// the dealer towards the destination, and the HUD's tail meters shown.
TEST_F(CrimeScripts, TheTailFollowsTheDealerWithItsMetersShown)
{
    MapDisplay hud;
    hud.flags = 1;
    gc->pmd = &hud;
    // The tail controller's own start (its text and the player's voice) is
    // left out, as during a cinematic.
    const bool savedCinematic = gc->bCinematic;
    gc->bCinematic = true;
    Vehicle* car = Car();
    Enemy* dealer = Suspect(-101);
    c->tailMatLoc = TransMatrix(40.0f, 0.0f, -12.5f);
    MissionCommanderRMGenG130(c, 0);

    EXPECT_TRUE(Heard(-101, SMSG_PUT_IN_VEHICLE, -200, 116));
    auto* d = static_cast<CarDriver*>(car->rcoDriver.p);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->i16DriveMode, 8);
    EXPECT_EQ(c->i16numegi, 1 + 3);
    for (int k = 1; k < 4; k++) {
        EXPECT_TRUE(c->regi[k].added);
        EXPECT_EQ(c->regi[k].pegr, nullptr);
    }
    auto* t = c->pTailMissionController;
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->ptmp, &DefaultTailMissionParams);
    EXPECT_EQ(c->tailparams, &DefaultTailMissionParams);
    EXPECT_FLOAT_EQ(t->ptmp->tooclose, 9.375f);
    EXPECT_FLOAT_EQ(t->ptmp->toofar, 62.5f);
    EXPECT_FLOAT_EQ(t->vpTailDest[0], 40.0f);
    EXPECT_FLOAT_EQ(t->vpTailDest[2], -12.5f);
    EXPECT_TRUE(t->bRandomMission);
    EXPECT_TRUE(t->bStarted);
    EXPECT_EQ(t->target, dealer);
    EXPECT_EQ(t->gameeventobj, c);
    EXPECT_NE(world.objectlist.Find(reinterpret_cast<Object*>(t)), nullptr);
    EXPECT_EQ(hud.flags, 1u | 0x2000000u);
    EXPECT_EQ(c->mode, RCM_HIBERNATE);

    // Spotted: the tail controller goes and the meters with it.
    MissionCommanderRMGenG130(c, 2);
    EXPECT_EQ(c->pTailMissionController, nullptr);
    EXPECT_EQ(hud.flags & 0x2000000u, 0u);
    gc->bCinematic = savedCinematic;
    gc->pmd = nullptr;
}

// A placed runner generator of a set-up file: it answers the kind question
// (29001) with 13 and logs the rest.
int PlacedGen_mh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_SPECIAL && static_cast<SpecialMessage*>(data)->submsg == 29001)
        return 13;
    return Logger_mh(o, msg, data);
}

// The crime keeps 16 generators: a set-up with 18 gives it the first 16, in
// list order, each started by the crime; the other two are left alone, and
// no suspect can be added beyond them.
TEST_F(CrimeScripts, ASetUpsGeneratorsBeyondSixteenAreLeftAlone)
{
    std::vector<EnemyGenRunner*> gens;
    for (int k = 0; k < 18; k++) {
        auto* g = Fake<EnemyGenRunner>(-300 - k);
        g->messagehandler = PlacedGen_mh;
        c->pobjectlist->AddTail(g);
        gens.push_back(g);
    }
    Matrix at = TransMatrix(0.0f, 0.0f, 0.0f);
    c->SetupInfoTables(at, -1, 0);
    ASSERT_EQ(c->i16numegi, 16);
    for (int k = 0; k < 16; k++) {
        EXPECT_EQ(c->regi[k].pegr, gens[k]) << k;
        EXPECT_EQ(gens[k]->gameeventobj, c) << k;
        EXPECT_TRUE(Heard(-300 - k, SMSG_MODE_START, 0)) << k;
    }
    for (int k = 16; k < 18; k++) {
        EXPECT_EQ(gens[k]->gameeventobj, nullptr) << k;
        for (const Order& o : g_log)
            EXPECT_NE(o.to, -300 - k) << k;
    }
    EXPECT_EQ(c->AddEnemy(at), nullptr);
    EXPECT_EQ(c->i16numegi, 16);
    c->pobjectlist->RemoveAll();
}

TEST_F(CrimeScripts, HandedOverCrimesOrderTheirPairAndEveryScriptSurvivesMissingObjects)
{
    Object* jacker = Fake<Object>(-101);
    Object* car = Fake<Object>(-200);
    c->emEnemy[0] = jacker;
    c->emCar[0] = car;
    c->iNumEmergentEnemies = c->iNumEmergentCars = 1;
    MissionCommanderRMGenG108(c, 0);
    EXPECT_TRUE(Heard(-101, SMSG_GET_IN_CAR, -200));
    EXPECT_EQ(gc->rvpSubMissionTargets[0], jacker);

    // A purse snatching and a street fight.
    g_log.clear();
    Object* victim = Fake<Object>(100);
    c->emBystander[0] = victim;
    c->iNumEmergentBystanders = 1;
    MissionCommanderRMGenG138(c, 0);
    EXPECT_TRUE(Heard(-101, SMSG_RUN_AWAY_FROM, 100));
    EXPECT_TRUE(Heard(100, SMSG_CHASE_OBJECT, -101));
    g_log.clear();
    Object* other = Fake<Object>(-102);
    c->emEnemy[1] = other;
    c->iNumEmergentEnemies = 2;
    MissionCommanderRMGenG139(c, 0);
    EXPECT_TRUE(Heard(-101, SMSG_ATTACK_OBJECT, -102, 5));
    EXPECT_TRUE(Heard(-102, SMSG_ATTACK_OBJECT, -101, 5));

    // Nothing handed over, nothing generated, no car: every script and
    // entry runs through; the carjacking without its car still marks.
    for (RCptr<Object>& e : c->emEnemy)
        e = nullptr;
    c->emBystander[0] = nullptr;
    c->emCar[0] = nullptr;
    c->iNumEmergentEnemies = c->iNumEmergentBystanders = c->iNumEmergentCars = 0;
    std::fill(std::begin(gc->rvpSubMissionTargets), std::end(gc->rvpSubMissionTargets), nullptr);
    g_log.clear();
    for (int index = 0; index < RC_NUMINDEXES; index++)
        if (RANDMISSIONCOMMANDERHANDLER f = rprmchRandomMissionCommander[index])
            for (int entry = 0; entry < 4; entry++) {
                c->mode = RCM_ACTIVE;
                f(c, entry);
            }
    EXPECT_TRUE(g_log.empty());
    c->emEnemy[0] = jacker;
    c->iNumEmergentEnemies = 1;
    MissionCommanderRMGenG107(c, 0);
    EXPECT_TRUE(g_log.empty());
    EXPECT_EQ(gc->rvpSubMissionTargets[0], jacker);
}

}  // namespace
