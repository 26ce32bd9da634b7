// The random-crime controller: its life cycle (start, relay, end and
// self-deletion), the cast's model picks, points on a pavement and a
// carriageway, the suspects' escapes and reactions, the police call without
// officers and the outcome texts.  The crime's suspects here are plain
// enemies that record the orders they are given.
#include "game/gamemodes_support.h"
#include "game/enemy_support.h"

#include <cstring>
#include <string>
#include <vector>

#include "ZevEngine2/EntTypes.h"
#include "game/BadGuy.h"
#include "game/RandomCrimes.h"
#include "game/controller_support.h"
#include "ZevEngine2/heap_check.h"

namespace {

using namespace modetest;

struct Order
{
    Object* to;
    int code;
    Object* obj;
    int param0;
};
std::vector<Order> g_orders;

// A suspect: an enemy that notes every order.  Registered as the runner
// kind while a test runs, so that the crime takes it for an enemy.
int Suspect_mh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return int(reinterpret_cast<intptr_t>(new Enemy(Suspect_mh, nullptr, 0)));
    if (msg == OM_DIE) {
        delete static_cast<Enemy*>(o);
        return -1;
    }
    if (msg == OM_SPECIAL && data != nullptr) {
        auto* m = static_cast<SpecialMessage*>(data);
        g_orders.push_back({o, m->submsg, m->obj, int(m->param[0])});
    }
    return 0;
}

// A runner kind that makes nothing.
int Refusing_mh(Object*, OBJMESSAGE, void*)
{
    return 0;
}

int Orders(Object* to, int code)
{
    int n = 0;
    for (const Order& o : g_orders)
        n += (to == nullptr || o.to == to) && o.code == code;
    return n;
}

// The player as the crime sees him: he takes the event object of a mode
// start and drops it at the end of that mode, and notes both.
std::vector<std::pair<int, Object*>> g_playerHeard;
int Player_mh(Object* o, OBJMESSAGE msg, void* data)
{
    if (msg != OM_SPECIAL || data == nullptr)
        return 0;
    auto* m = static_cast<SpecialMessage*>(data);
    Dace* d = static_cast<Dace*>(o);
    g_playerHeard.push_back({m->submsg, m->obj});
    if (m->submsg == SMSG_MODE_START)
        d->gameeventobj = m->obj;
    else if (m->submsg == SMSG_MODE_END && d->gameeventobj == m->obj)
        d->gameeventobj = nullptr;
    return 0;
}

std::vector<int> g_commands;
int Commander(Object*, int entry)
{
    g_commands.push_back(entry);
    return 0;
}
int g_placements = 0;
void Placement(Object* crime)
{
    g_placements++;
    static_cast<RandomMissionController*>(crime)->matLoc = Matrix(true);
}

AssetLoadParams g_noAssets[1];

RandMissParams Row(int index, bool emergent)
{
    RandMissParams r{};
    r.iIndex = index;
    r.emergent = emergent;
    r.gunfight = 1;
    r.responsedist = 1.5625f;
    r.palp = g_noAssets;
    r.minwait = r.maxwait = 300;
    r.timetodo = 3000;
    r.startmsg = "PAROLE VIOLATOR";
    return r;
}

class Crime : public ModeWorld
{
protected:
    void SetUp() override
    {
        ModeWorld::SetUp();
        g_orders.clear();
        g_commands.clear();
        g_placements = 0;
        savedCommander = rprmchRandomMissionCommander[kIndex];
        savedPlacement = rprmchGetMissionPosition[kIndex];
        rprmchRandomMissionCommander[kIndex] = Commander;
        rprmchGetMissionPosition[kIndex] = Placement;
        for (Object*& t : gc->rvpSubMissionTargets)
            t = nullptr;
        gc->fGoodPoints = gc->fBadPoints = 0.0f;
        g_playerHeard.clear();
        player->messagehandler = Player_mh;
        for (int slot = 0; slot < MFI_NUMSLOTS; slot++)
            savedSlotFlags[slot] = g_GlobalMFI.rgmfi[slot].i16Flags;
    }
    void TearDown() override
    {
        rprmchRandomMissionCommander[kIndex] = savedCommander;
        rprmchGetMissionPosition[kIndex] = savedPlacement;
        // The crime first: it takes its suspects with it.
        if (hold != nullptr && !hold->IsDead())
            hold->Delete();
        for (Object* e : suspects)
            if (e != nullptr && !e->IsDead())
                e->Delete();
        suspects.clear();
        hold = nullptr;
        player->messagehandler = nullptr;
        ModeWorld::TearDown();
        if (Name::first == &runnerKind)
            Name::first = runnerKind.link;
        // A crime's end marks its cast's slots to be emptied once unused; the
        // marks must not reach the next test's files in those slots.
        for (int slot = 0; slot < MFI_NUMSLOTS; slot++)
            g_GlobalMFI.rgmfi[slot].i16Flags = savedSlotFlags[slot];
    }

    RandomMissionController* Make(RandMissParams& row)
    {
        RandomMissionController* c = NewRandomMissionController(recorder, &row);
        EXPECT_NE(c, nullptr);
        if (row.emergent)
            c->InitialiseMissionEmergentPointers();
        hold = c;
        return c;
    }
    // A suspect of a kind at (x, 0, z) with an id.
    Enemy* Suspect(int id, Enemy::EnemyType kind, float x, float z)
    {
        auto* e = reinterpret_cast<Enemy*>(intptr_t(Suspect_mh(nullptr, OM_CREATE, nullptr)));
        e->id = s16(id);
        e->type = OBJT_CHARACTER;
        e->enemytype = kind;
        e->mat = TransMatrix(VectorPos(x, 0.0f, z));
        e->reactiontime = 0x7FFFFFFF;
        e->gotincartime = 0x7FFFFFFF;
        e->iLastDrawnTime = -1000;
        suspects.push_back(e);
        return e;
    }
    // A generated suspect: a runner generator holding e.
    void Generated(RandomMissionController* c, Enemy* e)
    {
        auto* g = reinterpret_cast<EnemyGenRunner*>(intptr_t(EnemyGenRunner::staticmh(nullptr, OM_CREATE, nullptr)));
        g->enemy = e;
        c->regi[c->i16numegi++] = EnemyGenInfo{g, 0, false, false};
    }
    std::string CentreText() const
    {
        for (const ScreenText& t : md->screentext)
            if (t.stPos == STP_CENTER)
                return t.cText;
        return "";
    }

    static constexpr int kIndex = 1;
    RANDMISSIONCOMMANDERHANDLER savedCommander = nullptr;
    GETMISSIONPOSITIONHANDLER savedPlacement = nullptr;
    Name runnerKind{"RunnerEnemy", int(reinterpret_cast<intptr_t>(&Suspect_mh))};
    std::vector<RCptr<Object>> suspects;
    RCptr<Object> hold;
    s16 savedSlotFlags[MFI_NUMSLOTS] = {};
};

TEST_F(Crime, AnEmergentCrimeOrdersItsCastThenStartsRelaysEventsAndGivesTheRoleBack)
{
    RandMissParams row = Row(kIndex, true);
    RandomMissionController* c = Make(row);
    for (int k = 0; k < 8; k++)
        gc->i16RCrimeCharRemap[k] = gc->i16RCrimeVehRemap[k] = s16(80 + k);
    ASSERT_TRUE(world.AddObject(c, nullptr));
    EXPECT_EQ(c->mode, RCM_INACTIVE);
    const int created = world.time;
    // The first frame gives the cast its orders; its check of the start,
    // armed with no wait from inside that frame's timer sweep, comes with
    // the next frame's sweep.
    Ticks(1);
    EXPECT_EQ(c->mode, RCM_ACTIVE);
    EXPECT_EQ(g_commands, std::vector<int>{0});
    EXPECT_EQ(c->fightstyle, 5);
    EXPECT_EQ(CentreText(), "");
    EXPECT_NE(player->gameeventobj, c);
    Ticks(1);
    EXPECT_EQ(CentreText(), "PAROLE VIOLATOR");
    EXPECT_EQ(player->gameeventobj, c);
    EXPECT_EQ(g_commands, std::vector<int>{0});
    EXPECT_EQ(g_placements, 0);

    // 23049 answers the frames since the start and 23060 answers 1; neither
    // is passed on.  Every other game event is, the range's ends included.
    Ticks(8);
    SpecialMessage front(23049, nullptr);
    EXPECT_EQ(c->SendMessage(OM_SPECIAL, &front), world.time - created);
    SpecialMessage react(23060, nullptr);
    EXPECT_EQ(c->SendMessage(OM_SPECIAL, &react), 1);
    EXPECT_TRUE(g_heard.empty());
    g_pass = false;
    for (int code : {22999, 23000, 23012, 23100, 23101}) {
        SpecialMessage m(code, nullptr);
        c->SendMessage(OM_SPECIAL, &m);
    }
    ASSERT_EQ(g_heard.size(), 3u);
    EXPECT_EQ(g_heard[0].code, 23000);
    EXPECT_EQ(g_heard[2].code, 23100);

    // The player's doings reach the suspects: 23066 always, 23064 and 23065
    // only once the crime is engaged.
    Enemy* mugger = Suspect(-101, Enemy::ENEMYTYPE_RUNNER, 50.0f, 0.0f);
    c->emEnemy[0] = mugger;
    c->iNumEmergentEnemies = 1;
    for (int code : {23064, 23065, 23066}) {
        SpecialMessage m(code, nullptr);
        c->SendMessage(OM_SPECIAL, &m);
    }
    EXPECT_EQ(Orders(mugger, 104) + Orders(mugger, 105), 0);
    EXPECT_EQ(Orders(mugger, 106), 1);
    c->mode = RCM_ENGAGED;
    for (int code : {23064, 23065}) {
        SpecialMessage m(code, nullptr);
        c->SendMessage(OM_SPECIAL, &m);
    }
    EXPECT_EQ(Orders(mugger, 104), 1);
    EXPECT_EQ(Orders(mugger, 105), 1);

    // The end: the suspect goes at once, the crime 180 frames later; the
    // player's events go back to the controller of before.
    c->EndMission();
    EXPECT_TRUE(mugger->IsDead());
    EXPECT_EQ(world.GetPlaybackSpeed(), 1.2f);
    world.playbackSpeed = 1.0f;
    const int ended = world.time;
    while (!c->IsDead() && world.time < ended + 400)
        Ticks(1);
    EXPECT_EQ(world.time - ended, 180);
    ASSERT_GE(g_playerHeard.size(), 2u);
    EXPECT_EQ(g_playerHeard[g_playerHeard.size() - 2], std::make_pair(int(SMSG_MODE_END), static_cast<Object*>(c)));
    EXPECT_EQ(g_playerHeard.back(), std::make_pair(int(SMSG_MODE_START), recorder));
    EXPECT_EQ(player->gameeventobj, recorder);
    for (int k = 0; k < 8; k++) {
        EXPECT_EQ(gc->i16RCrimeCharRemap[k], -1);
        EXPECT_EQ(gc->i16RCrimeVehRemap[k], -1);
    }
}

TEST_F(Crime, AGeneratedCrimeWaitsCallsTheDispatcherAndATailWaitsForItsCar)
{
    RandMissParams row = Row(kIndex, false);
    RandomMissionController* c = Make(row);
    ASSERT_TRUE(world.AddObject(c, nullptr));
    const int created = world.time;
    DaceVO.votrack = -1;
    while (c->mode == RCM_INACTIVE && world.time < created + 1000)
        Ticks(1);
    // 300 frames of waiting and one asset check 60 frames later.
    EXPECT_EQ(world.time - created, 360);
    EXPECT_EQ(c->mode, RCM_ACTIVE);
    EXPECT_EQ(g_placements, 1);
    EXPECT_EQ(g_commands, std::vector<int>{0});
    const int track = DaceVO.GetCurrentTrack();
    EXPECT_TRUE(track == 12 + 2 * kIndex || track == 13 + 2 * kIndex) << track;
    EXPECT_EQ(CentreText(), "PAROLE VIOLATOR");
    EXPECT_EQ(player->gameeventobj, c);

    // Left alone, with no suspect near or seen, the crime lapses at its
    // check timetodo frames later, ends the next frame and goes 180 after.
    const int active = world.time;
    while (c->mode == RCM_ACTIVE && world.time < active + 4000)
        Ticks(1);
    EXPECT_EQ(world.time - active, 3000);
    EXPECT_EQ(c->mode, RCM_INACTIVE);
    world.playbackSpeed = 1.0f;
    Ticks(1);
    world.playbackSpeed = 1.0f;
    Ticks(180);
    EXPECT_TRUE(c->IsDead());

    // A tail crime: active in mode 2 with no check and no count until its
    // car stops; the car's driver is told where.
    world.Clear();
    world.playbackSpeed = 1.0f;
    RandMissParams tailRow = Row(kIndex, false);
    tailRow.tail = 1;
    tailRow.carchase = 1;
    // Near enough that the car's suspect is in reach: an unspooked tail
    // then waits.
    tailRow.responsedist = 500.0f;
    RandomMissionController* t = Make(tailRow);
    ASSERT_TRUE(world.AddObject(t, nullptr));
    Ticks(360);
    ASSERT_EQ(t->mode, RCM_ACTIVE_TAIL);
    // The tailed car with its suspect, both far from the player.
    Vehicle* car = new Vehicle;
    car->type = OBJT_VEHICLE;
    car->mat = TransMatrix(VectorPos(200.0f, 0.0f, 0.0f));
    Enemy* dealer = Suspect(-101, Enemy::ENEMYTYPE_RUNNER, 0.0f, 0.0f);
    car->Attach(dealer);
    Generated(t, dealer);
    t->iNumEnemiesLeft = 7;
    t->tailMatLoc = TransMatrix(VectorPos(1.0f, 2.0f, 3.0f));
    Ticks(4000);
    EXPECT_EQ(t->mode, RCM_ACTIVE_TAIL);
    EXPECT_EQ(t->iNumEnemiesLeft, 7);
    SpecialMessage arrived(SMSG_EV_ENEMY_OUT_OF_CAR, dealer);
    t->SendMessage(OM_SPECIAL, &arrived);
    EXPECT_EQ(t->mode, RCM_ACTIVE);
    EXPECT_FALSE(t->carchase);
    ASSERT_EQ(Orders(dealer, 107), 1);
    EXPECT_EQ(g_orders.back().obj, t);
    dealer->Detach();
    car->Delete();
}

// The crime's own list of its set-up objects may hold the last reference to
// one destroyed meanwhile (a prop blown up, a car wrecked): at the crime's
// end that one's storage is given back once and left alone, the live ones
// go with the crime.
TEST_F(Crime, AtItsEndAnObjectDestroyedMeanwhileIsFreedOnceAndTheLiveOnesGo)
{
    RandMissParams row = Row(kIndex, false);
    RandomMissionController* c = Make(row);
    // Live neighbours on both sides keep the destroyed one's block from
    // merging when it is freed, so its first words become the heap's links.
    RCptr<Object> below = new Object;
    Object* wrecked = new Object;
    RCptr<Object> above = new Object;
    RCptr<Object> standing = new Object;
    c->pobjectlist->AddTail(wrecked);
    c->pobjectlist->AddTail(standing);
    wrecked->Delete();
    ASSERT_TRUE(wrecked->IsDead());
    ASSERT_TRUE(mal.IsAllocated(wrecked));

    c->Delete();
    EXPECT_TRUE(c->IsDead());
    EXPECT_FALSE(mal.IsAllocated(wrecked));
    EXPECT_TRUE(standing->IsDead());
    EXPECT_FALSE(below->IsDead());
    EXPECT_FALSE(above->IsDead());
    heaptest::CheckHeap(mal);
    below->Delete();
    above->Delete();
}

TEST(CrimeCast, MaskedEntriesHeldSlotsAndPicksWithoutRepeats)
{
    GameController* gc = gametest::Controller();
    srand(3);
    auto* c = NewRandomMissionController(nullptr, nullptr);
    EXPECT_EQ(c, nullptr);
    RandMissParams row{};
    row.iDifficulty = 1;
    c = NewRandomMissionController(gc, &row);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->i16Level, 1);
    EXPECT_EQ(c->mode, RCM_INACTIVE);
    EXPECT_EQ(c->rgi16UsedList[0], -1);

    // A held vehicle slot: model 32 loaded in slot 3.
    playerrig::Rig rig;
    ASSERT_NE(rig.Model(3, enemyrig::EnemyFiles().enemy), nullptr);
    MdlFileInfo& m3 = g_GlobalMFI.GetMFI(3);
    m3.i16Id = 32;
    m3.i16Flags = 0;
    static const s16 group[] = {140, 141, 100, -1};
    const s16* savedGroup = rgpi16CharGroups[1];
    rgpi16CharGroups[1] = group;
    // Level 1 of: a level-2-only character, a vehicle model, a level-0-only
    // prop, the end.
    AssetLoadParams list[] = {AssetLoadParams(1025, AT_AMBCHAR, 4), AssetLoadParams(32, AT_AMBVEH, 0),
                              AssetLoadParams(7, AT_PROP, 1), AssetLoadParams()};
    c->InitAssets(3, list, 1);
    EXPECT_EQ(c->iNumAssets, 3);
    EXPECT_EQ(gc->i16RCrimeCharRemap[0], -1);   // masked out: its place kept
    EXPECT_EQ(gc->i16RCrimeCharRemap[1], -1);   // the end
    EXPECT_EQ(gc->i16RCrimeVehRemap[0], 3);
    EXPECT_EQ(gc->i16RCrimeVehRemap[1], -1);
    EXPECT_EQ(c->ralp[0].i16MFID, -1);
    EXPECT_EQ(c->ralp[0].i16Index, -1);
    EXPECT_EQ(c->ralp[1].i16Index, 3);
    EXPECT_EQ(c->ralp[2].i16Index, -1);
    EXPECT_NE(m3.i16Flags & 8, 0);
    c->fightstyle = 5;   // no fighting style's animations to wait for
    EXPECT_TRUE(c->CheckAssetsLoaded());
    c->UnHoldLoadedAssets();
    EXPECT_EQ(m3.i16Flags & 8, 0);
    m3.i16Flags = 0;
    m3.i16Id = -1;

    // Two assets not loaded: a check starts the first only (in two empty
    // slots, whatever an earlier run of the game left there).
    for (int slot : {150, 151}) {
        g_GlobalMFI.rgmfi[slot] = MdlFileInfo{};
        g_GlobalMFI.rgmfi[slot].i16Id = -1;
        g_GlobalMFI.rgmfi[slot].i16Mirror = -1;
    }
    c->iNumAssets = 2;
    c->ralp[0] = AssetLoadParams("RCRIMES\\NONE1.P2B", AT_PROP, 0);
    c->ralp[0].i16Index = 150;
    c->ralp[1] = AssetLoadParams("RCRIMES\\NONE2.P2B", AT_PROP, 0);
    c->ralp[1].i16Index = 151;
    c->ralp[0].i16MFID = 200;
    c->ralp[1].i16MFID = 201;
    EXPECT_FALSE(c->CheckAssetsLoaded());
    EXPECT_EQ(g_GlobalMFI.GetID(150), 200);
    EXPECT_NE(g_GlobalMFI.GetID(151), 201);
    c->iNumAssets = 0;

    // Three picks from three members are the three; a fourth takes what it
    // drew and stops.
    std::vector<int> picks;
    for (int k = 0; k < 3; k++)
        picks.push_back(c->PickFromGroup(1025, true));
    std::sort(picks.begin(), picks.end());
    EXPECT_EQ(picks, (std::vector<int>{100, 140, 141}));
    const int fourth = c->PickFromGroup(1025, true);
    EXPECT_TRUE(fourth == 100 || fourth == 140 || fourth == 141);
    // The used list holds 15 ids and its end mark.
    for (int id = 1; id <= 12; id++)
        EXPECT_TRUE(c->AddToUsedList(id)) << id;
    EXPECT_FALSE(c->AddToUsedList(13));
    EXPECT_FALSE(c->AddToUsedList(5));
    EXPECT_FALSE(c->InUsedList(13));
    EXPECT_EQ(c->rgi16UsedList[15], -1);
    rgpi16CharGroups[1] = savedGroup;
    for (int k = 0; k < 8; k++)
        gc->i16RCrimeCharRemap[k] = gc->i16RCrimeVehRemap[k] = -1;
    c->Delete();
}

// A straight road along +x: the curve's normal points to -z, so a point
// offset by d along the normal lies at z = -d.
struct Street
{
    alignas(16) u8 kindBytes[32 + 6 * 16] = {};
    RoadSeg seg{};
    Street()
    {
        auto* t = reinterpret_cast<RoadType*>(kindBytes);
        t->iNumXSectPts = 6;
        const float x[6] = {-9.0f, -7.0f, -5.0f, 4.0f, 6.0f, 8.0f};
        for (int k = 0; k < 6; k++)
            t->vXSect[k] = Vector(x[k], 0.0f, 0.0f, 0.0f);
        t->iJuncLeft = 2;
        t->iJunc = 3;
        t->iRightEdge = 5;
        seg.type = t;
        // The handles' w: a scale of 1 per 10 units of length keeps an offset
        // curve straight and evenly run.
        seg.bezier = Bezier(Vector(0, 0, 0, 0.1f), Vector(10, 0, 0, 0.1f), Vector(20, 0, 0, 0.1f), Vector(30, 0, 0, 0.2f));
    }
};

TEST(CrimePlacement, PavementAndCarriagewayPointsLieOnEitherSide)
{
    Street s;
    RandomMissionController c{};
    // Pavements: left 0.5 * (-5 + -9) = -7, right 0.5 * (4 + 8) = 6;
    // carriageways: left -2.5, right 2.
    bool sides[2] = {};
    for (int seed = 1; seed <= 16; seed++) {
        srand(seed);
        VectorPos across;
        const VectorPos p = c.GetRandCharacterSidewalkPosition(s.seg, 0.5f, &across);
        EXPECT_FLOAT_EQ(p[0], 15.0f);
        const bool left = p[2] > 0.0f;
        sides[left] = true;
        EXPECT_FLOAT_EQ(p[2], left ? 7.0f : -6.0f);
        EXPECT_FLOAT_EQ(across[2], left ? -6.0f : 7.0f);
        EXPECT_FLOAT_EQ(across[0], 15.0f);

        VectorPos width;
        const VectorPos r = c.GetRandInRoadPosition(s.seg, 0.5f, &width);
        const bool rl = r[2] > 0.0f;
        EXPECT_FLOAT_EQ(r[2], rl ? 2.5f : -2.0f);
        EXPECT_FLOAT_EQ(width[2], rl ? -4.5f : 4.5f);
        EXPECT_FLOAT_EQ(width[0], 0.0f);

        // A random place lies between the start junction's end and beyond.
        const VectorPos q = c.GetRandCharacterSidewalkPosition(s.seg, -1.0f, nullptr);
        EXPECT_GE(q[0], 30.0f * 0.1f - 1e-4f);
        EXPECT_LE(q[0], 30.0f * (0.1f + 0.9f) + 1e-4f);
    }
    EXPECT_TRUE(sides[0] && sides[1]);
}

TEST_F(Crime, SuspectsEscapeByTheirKindsDistancesAndHostagesNeverCount)
{
    RandMissParams row = Row(kIndex, false);
    RandomMissionController* c = Make(row);
    c->mode = RCM_ENGAGED;
    // Fighter 2.5 / 10, shooter 10 / 20, runner on foot 46.875 / 62.5.
    Enemy* fighter = Suspect(-101, Enemy::ENEMYTYPE_FIGHTER, 2.4f, 0.0f);
    Enemy* shooter = Suspect(-102, Enemy::ENEMYTYPE_SHOOTER, 0.0f, 9.9f);
    Enemy* runner = Suspect(-103, Enemy::ENEMYTYPE_RUNNER, -46.8f, 0.0f);
    Enemy* hostage = Suspect(-104, Enemy::ENEMYTYPE_RUNNER, 0.0f, -30.0f);
    hostage->ishostage = true;
    for (Enemy* e : {fighter, shooter, runner, hostage})
        Generated(c, e);
    float nearest = 0.0f;
    EXPECT_EQ(c->CheckAndUpdateEnemies(&nearest), 3);
    EXPECT_NEAR(nearest, 2.4f * 2.4f, 1e-4f);
    for (int k = 0; k < 4; k++)
        EXPECT_EQ(c->regi[k].iEGFlags, 0) << k;

    // Beyond the far distance at once: only the near mark is set.
    fighter->mat.SetTrans(VectorPos(10.5f, 0.0f, 0.0f));
    shooter->mat.SetTrans(VectorPos(0.0f, 0.0f, 10.5f));
    runner->mat.SetTrans(VectorPos(-62.6f, 0.0f, 0.0f));
    EXPECT_EQ(c->CheckAndUpdateEnemies(&nearest), 3);
    EXPECT_EQ(c->iNumEnemiesEscaped, 0);
    for (int k = 0; k < 3; k++)
        EXPECT_EQ(c->regi[k].iEGFlags, EGF_PASSEDNEAR) << k;
    // The shooter comes back inside 10 and loses its mark; the fighter and
    // the runner, still out, escape now.
    shooter->mat.SetTrans(VectorPos(0.0f, 0.0f, 9.0f));
    EXPECT_EQ(c->CheckAndUpdateEnemies(&nearest), 1);
    EXPECT_EQ(c->iNumEnemiesEscaped, 2);
    EXPECT_TRUE(fighter->IsDead());
    EXPECT_TRUE(runner->IsDead());
    EXPECT_FALSE(shooter->IsDead());
    ASSERT_EQ(c->i16numegi, 2);
    // The hostage, far out, is removed but never counted as escaped.
    hostage->mat.SetTrans(VectorPos(0.0f, 0.0f, -200.0f));
    shooter->mat.SetTrans(VectorPos(0.0f, 0.0f, 15.0f));
    EXPECT_EQ(c->CheckAndUpdateEnemies(&nearest), 1);
    EXPECT_EQ(c->iNumEnemiesEscaped, 2);
    shooter->mat.SetTrans(VectorPos(0.0f, 0.0f, 20.5f));
    EXPECT_EQ(c->CheckAndUpdateEnemies(&nearest), 0);
    EXPECT_EQ(c->iNumEnemiesEscaped, 3);
    EXPECT_EQ(c->i16numegi, 0);

    // Not engaged: nobody escapes however far.
    Enemy* far = Suspect(-105, Enemy::ENEMYTYPE_FIGHTER, 500.0f, 0.0f);
    Generated(c, far);
    c->mode = RCM_ACTIVE;
    for (int k = 0; k < 3; k++)
        EXPECT_EQ(c->CheckAndUpdateEnemies(&nearest), 1);
    EXPECT_EQ(c->iNumEnemiesEscaped, 3);
}

TEST_F(Crime, ACarEscapeLowersTheCountOnlyForSuspectsCounted)
{
    RandMissParams row = Row(kIndex, false);
    RandomMissionController* c = Make(row);
    c->mode = RCM_ENGAGED;
    // A counted driver, then a hostage passenger and a counted passenger
    // later in the list; and one more suspect on foot nearby.
    Vehicle* car = new Vehicle;
    car->type = OBJT_VEHICLE;
    car->mat = TransMatrix(VectorPos(50.0f, 0.0f, 0.0f));
    world.AddObject(car, nullptr);
    Enemy* driver = Suspect(-101, Enemy::ENEMYTYPE_RUNNER, 0, 0);
    Enemy* hostage = Suspect(-102, Enemy::ENEMYTYPE_RUNNER, 0, 0);
    Enemy* passenger = Suspect(-103, Enemy::ENEMYTYPE_RUNNER, 0, 0);
    Enemy* walker = Suspect(-104, Enemy::ENEMYTYPE_RUNNER, 5.0f, 0.0f);
    hostage->ishostage = true;
    for (Enemy* e : {driver, hostage, passenger})
        car->Attach(e);
    for (Enemy* e : {driver, hostage, passenger, walker})
        Generated(c, e);
    float nearest;
    EXPECT_EQ(c->CheckAndUpdateEnemies(&nearest), 3);   // marks set past 46.875
    EXPECT_EQ(c->regi[0].iEGFlags, EGF_PASSEDNEAR);
    car->mat.SetTrans(VectorPos(130.0f, 0.0f, 0.0f));
    // The driver escapes with both passengers: only he had been counted in
    // this frame, so the walker still counts.
    EXPECT_EQ(c->CheckAndUpdateEnemies(&nearest), 1);
    EXPECT_EQ(c->iNumEnemiesEscaped, 2);
    EXPECT_TRUE(car->IsDead());
    EXPECT_TRUE(passenger->IsDead() && hostage->IsDead());
    EXPECT_EQ(c->i16numegi, 1);
}

// A suspect the crime adds is counted once it is made, not when the runner
// kind is asked for it: a refused one leaves an entry without a runner and
// no count, so when the one suspect made gets away the crime is over there
// and then as wholly unresolved, without the police.
TEST_F(Crime, AnAddedSuspectCountsOnlyOnceMadeAndACrimeWhollyGotAwayIsSaidSo)
{
    RandMissParams row = Row(kIndex, false);
    RandomMissionController* c = Make(row);
    enemyrig::Kit kit{enemyrig::kEnemySlot};
    c->iNumAssets = 2;
    c->ralp[1].i16Index = enemyrig::kEnemySlot;
    c->iNumMissionEnemies = 0;
    Matrix at = TransMatrix(VectorPos(0.0f, 0.0f, 40.0f));
    {
        Name refusing{"RunnerEnemy", int(reinterpret_cast<intptr_t>(&Refusing_mh))};
        EXPECT_EQ(c->AddEnemy(at), nullptr);
        if (Name::first == &refusing)
            Name::first = refusing.link;
    }
    EXPECT_EQ(c->i16numegi, 1);
    EXPECT_TRUE(c->regi[0].added);
    EXPECT_EQ(c->regi[0].pegr, nullptr);
    EXPECT_EQ(c->iNumMissionEnemies, 0);

    Enemy* e = c->AddEnemy(at);
    ASSERT_NE(e, nullptr);
    suspects.push_back(e);
    EXPECT_EQ(c->iNumMissionEnemies, 1);
    ASSERT_EQ(c->i16numegi, 2);
    ASSERT_NE(c->regi[1].pegr, nullptr);
    EXPECT_EQ(c->regi[1].pegr->enemy, e);
    EXPECT_EQ(e->GetWorldPos(), VectorPos(0.0f, 0.0f, 40.0f));

    // On foot past 62.5 on two checks: away.
    c->mode = RCM_ENGAGED;
    e->enemytype = Enemy::ENEMYTYPE_RUNNER;
    e->iLastDrawnTime = -1000;
    e->mat.SetTrans(VectorPos(0.0f, 0.0f, 63.0f));
    float nearest;
    c->CheckAndUpdateEnemies(&nearest);
    c->iNumEnemiesLeft = c->CheckAndUpdateEnemies(&nearest);
    EXPECT_EQ(c->iNumEnemiesLeft, 0);
    EXPECT_EQ(c->iNumEnemiesEscaped, 1);
    c->RCFrameEngaged();
    EXPECT_EQ(c->mode, RCM_INACTIVE);
    EXPECT_EQ(CentreText(), "CRIME UNRESOLVED.\nSuspect escaped...\n");
}

TEST_F(Crime, ReactionsEngagementRadiiAndTheGetawayStop)
{
    RandMissParams row = Row(kIndex, false);
    RandomMissionController* c = Make(row);
    ASSERT_TRUE(world.AddObject(c, nullptr));
    Enemy* e = Suspect(-101, Enemy::ENEMYTYPE_RUNNER, 3.0f, 0.0f);
    Generated(c, e);
    // aggro 0 and points even: s = 0.05 x suspects left against 0.25 and
    // 0.5.
    e->aggro = 0.0f;
    auto react = [&](int left) {
        g_orders.clear();
        c->iNumEnemiesLeft = left;
        c->EnemyReactToDace(e);
        return g_orders.empty() ? -1 : g_orders.back().code;
    };
    EXPECT_EQ(react(4), 30);    // 0.2: gives up
    EXPECT_EQ(react(5), 54);    // 0.25: runs
    EXPECT_EQ(react(9), 54);    // 0.45
    EXPECT_EQ(react(10), 52);   // 0.5: shoots (a gun-fight crime)
    // More good points than bad (3 to 1): q = 0.125, both bounds 0.375.
    gc->fGoodPoints = 3.0f;
    gc->fBadPoints = 1.0f;
    EXPECT_EQ(react(7), 30);
    EXPECT_EQ(react(8), 52);
    gc->fGoodPoints = gc->fBadPoints = 0.0f;
    e->ishostage = true;
    EXPECT_EQ(react(0), -1);
    e->ishostage = false;

    // A warning engages an active crime within 3.125, shots within 6.25.
    c->mode = RCM_ACTIVE;
    e->mat.SetTrans(VectorPos(3.2f, 0.0f, 0.0f));
    SpecialMessage warn(SMSG_EV_PLAYER_WARNING, nullptr);
    c->SendMessage(OM_SPECIAL, &warn);
    EXPECT_EQ(c->mode, RCM_ACTIVE);
    e->mat.SetTrans(VectorPos(3.0f, 0.0f, 0.0f));
    c->SendMessage(OM_SPECIAL, &warn);
    EXPECT_EQ(c->mode, RCM_ENGAGED);
    EXPECT_LT(e->reactiontime, world.time + 60);
    c->mode = RCM_ACTIVE;
    e->mat.SetTrans(VectorPos(6.2f, 0.0f, 0.0f));
    SpecialMessage shots(SMSG_EV_PLAYER_SHOTS_A, nullptr);
    c->SendMessage(OM_SPECIAL, &shots);
    EXPECT_EQ(c->mode, RCM_ENGAGED);
    EXPECT_TRUE(c->dacepulledgun);
    // Engaged, the same messages change nothing.
    c->dacepulledgun = false;
    c->SendMessage(OM_SPECIAL, &shots);
    EXPECT_FALSE(c->dacepulledgun);

    // A getaway car standing with the player within 3.125 must stop on the
    // 121st count; one at less than 0.6 of its strength at once.
    Vehicle* car = new Vehicle;
    car->type = OBJT_VEHICLE;
    car->mat = TransMatrix(VectorPos(3.0f, 0.0f, 0.0f));
    car->strength = car->fBaseStrength = 100.0f;
    world.AddObject(car, nullptr);
    e->mat = Matrix(true);
    car->Attach(e);
    EXPECT_EQ(c->CheckEnemyGetawayStatus(e), 0);   // never got in
    e->gotincartime = world.time - 301;
    c->iCarStopSuccessCounter = 0;
    for (int k = 1; k < 121; k++)
        ASSERT_EQ(c->CheckEnemyGetawayStatus(e), 0) << k;
    EXPECT_EQ(c->CheckEnemyGetawayStatus(e), 1);
    EXPECT_TRUE(e->leavingcar);
    e->leavingcar = false;
    c->iCarStopSuccessCounter = 0;
    car->vel = Vector(0.0f, 0.0f, 0.5f, 0.0f);
    car->strength = 59.0f;
    EXPECT_EQ(c->CheckEnemyGetawayStatus(e), 1);
    EXPECT_EQ(c->iCarStopSuccessCounter, 0);
    e->Detach();
    EXPECT_EQ(c->CheckEnemyGetawayStatus(e), -1);
    car->Delete();
}

TEST_F(Crime, TheOutcomeTextsAndAPoliceCallWithoutOfficers)
{
    RandMissParams row = Row(kIndex, false);
    RandomMissionController* c = Make(row);
    auto stats = [&](int n, int escaped, int busted, int killed) {
        for (ScreenText& t : md->screentext)
            t.stPos = STP_NONE;
        c->iNumMissionEnemies = n;
        c->iNumEnemiesEscaped = escaped;
        c->iNumEnemiesBusted = busted;
        c->iNumEnemiesKilled = killed;
        c->ShowMissionStats();
        return CentreText();
    };
    EXPECT_EQ(stats(1, 0, 1, 0), "CRIME FULLY RESOLVED!\nSuspect in custody...\n");
    EXPECT_EQ(stats(2, 1, 1, 0), "CRIME PARTIALLY RESOLVED.\nOne suspect in custody...\nOne suspect escaped...\n");
    EXPECT_EQ(stats(3, 3, 0, 0), "CRIME UNRESOLVED.\nAll 3 suspects escaped...\n");
    EXPECT_EQ(stats(2, 0, 1, 1), "CRIME FULLY RESOLVED!\nOne suspect killed...\nOne suspect in custody...\n");
    EXPECT_EQ(stats(5, 1, 2, 2),
              "CRIME PARTIALLY RESOLVED.\n2 suspects killed...\n2 suspects in custody...\nOne suspect escaped...\n");
    c->iNumHostagesFreed = 2;
    c->iNumCopsKilled = 1;
    EXPECT_EQ(stats(4, 0, 4, 0), "CRIME FULLY RESOLVED!\nAll 4 suspects in custody...\n2 hostages freed...\nCop killed...\n");
    // Every count at its largest still fits the text's room.
    c->iNumHostagesFreed = c->iNumHostagesKilled = c->iNumCopsKilled = 2000000000;
    const std::string longest = stats(2000000000, 1000000000, 999999999, 1);
    EXPECT_LT(longest.size(), 256u);

    // No officer model loaded: no police and nothing made.
    const int before = world.time;
    for (int slot = 80; slot <= 127; slot++)
        ASSERT_LT(g_GlobalMFI.FindById(396, slot, slot) + g_GlobalMFI.FindById(397, slot, slot) +
                      g_GlobalMFI.FindById(356, slot, slot),
                  -2)
            << slot;
    EXPECT_EQ(c->CallTheCops(nullptr), 0);
    EXPECT_EQ(c->iCallTheCopsTime, before);
    EXPECT_EQ(c->lastcop[0], nullptr);
    EXPECT_EQ(c->lastcopcar, nullptr);
}

}  // namespace
