// The pedestrians: their tables, set-up, culling, the ends of their
// animations, thoughts, reactions, hits, encounters and changes of kind; and
// the ambient walker and car generators.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "tests/game/bystander_support.h"
#include "tests/game/vehicle_support.h"

#include "tools/lib/humanoid.h"
#include "tools/lib/mdlgroup.h"
#include "tools/lib/p2b.h"

#include "ZevEngine2/EntTypes.h"
#include "game/Bystander.h"
#include "game/GameEvents.h"
#include "game/GameFEnt.h"
#include "game/GameFlow.h"
#include "game/GameModes.h"
#include "game/MAIN.h"
#include "game/Vehicle.h"
#include "game/Weapons.h"
#include "ZevEngine2/PS2/RenderContext.h"
#include "ZevEngine2/Utilities/Occlusion.h"
#include "game/cardrivr.h"

namespace {

using enemyrig::kEnemySlot;
using B = Bystander;

// A spawner stand-in that records the crimes handed to it.
struct Spawner : Object
{
    std::vector<SpecialMessage> got;
    static int mh(Object* o, OBJMESSAGE msg, void* data)
    {
        if (msg == OM_SPECIAL && data != nullptr)
            static_cast<Spawner*>(o)->got.push_back(*static_cast<SpecialMessage*>(data));
        return 0;
    }
    Spawner() { messagehandler = mh; }
};

// The shooters' scene with the six pedestrian sets and a camera at the
// origin looking along +z.
class Peds : public ::testing::Test
{
protected:
    void SetUp() override
    {
        scene = new enemyrig::Scene;
        pedrig::AddPedGroups(*scene);
        world.time = 1000;
        world.timePrecise = 1000 * 256;
        savedView = rc.world_view;
        savedViewWorld = rc.view_world;
        rc.world_view = Matrix(true);
        rc.view_world = Matrix(true);
        gc = g_pgcTest;
        gc->prms = nullptr;
        gc->bRandomMissionActive = false;
        gc->stats = sPlayerStats{};
        gc->iNumPeds = gc->iNumVehs = 0;
        gc->pps = {nullptr, 0};
        gc->pvs = {nullptr, 0};
        gc->mode = 0;
        srand(4321);
    }
    void TearDown() override
    {
        world.Clear();
        world.pedlist.RemoveAll();
        pedrig::RemovePedGroups();
        gc->prms = nullptr;
        rc.world_view = savedView;
        rc.view_world = savedViewWorld;
        delete scene;
    }

    B* Ped(int charid, VectorPos pos, PedGen* gen = nullptr) { return pedrig::MakePed(charid, pos, gen); }
    void Advance(int frames)
    {
        world.time += frames;
        world.timePrecise += AnimTime(u32(frames) << 8);
    }

    enemyrig::Scene* scene = nullptr;
    GameController* gc = nullptr;
    Matrix savedView, savedViewWorld;
    const VectorPos origin{0.0f, 0.0f, 0.0f};
};

// ---------------------------------------------------------------------------

TEST(PedTables, SetsTempersAndVoicesFollowTheRows)
{
    srand(99);
    // A row without chances: always its first set; ids outside the table
    // read no row.
    for (int i = 0; i < 200; i++) {
        EXPECT_EQ(B::GetPedAnimBank(64), 17);
        EXPECT_EQ(B::GetPedAnimBank(-3), 17);
        EXPECT_EQ(B::GetPedAnimBank(200), 17);
    }
    // Every row without chances gives group 17 + its first set, every time.
    int plain = 0;
    for (int i = 0; i < kNumPedChars; i++) {
        const NPCPedAnimSet& r = NPCPedAnimSets[i];
        if (r.c1 != 0.0f || r.c2 != 0.0f)
            continue;
        plain++;
        for (int k = 0; k < 20; k++)
            EXPECT_EQ(B::GetPedAnimBank(64 + i), 17 + r.s0) << 64 + i;
    }
    EXPECT_GT(plain, 41);   // more than the rows of set 0 only
    EXPECT_EQ(B::GetPedAggression(-150), 0.5f);
    EXPECT_EQ(B::GetPedVOBank(167), 0);
    // Id 104: sets 0, 2, 1 with 0.15 and 0.01: set 0 with 0.84, else set 2.
    int def = 0, other = 0;
    for (int i = 0; i < 10000; i++) {
        const int g = B::GetPedAnimBank(104);
        def += g == 17;
        other += g == 19;
    }
    EXPECT_EQ(def + other, 10000);
    EXPECT_NEAR(def / 10000.0, 0.84, 0.01);
    // Voice type 32: each male bank a third of the time; type 0: bank 0.
    int id32 = -1, id0 = -1;
    for (int i = 0; i < kNumPedChars; i++) {
        if (NPCVOTypes[i] == 32 && id32 < 0)
            id32 = 64 + i;
        if (NPCVOTypes[i] == 0 && id0 < 0)
            id0 = 64 + i;
    }
    ASSERT_GE(id32, 0);
    ASSERT_GE(id0, 0);
    int banks[3] = {};
    for (int i = 0; i < 9000; i++) {
        const int b = B::GetPedVOBank(id32);
        ASSERT_LT(b, 3);
        banks[b]++;
        EXPECT_EQ(B::GetPedVOBank(id0), 0);
    }
    for (int b : banks)
        EXPECT_NEAR(b / 9000.0, 1.0 / 3.0, 0.02);
    // Aggression stays within 0..1 whatever the row.
    for (int id = 64; id <= 166; id++)
        for (int k = 0; k < 20; k++) {
            const float a = B::GetPedAggression(id);
            EXPECT_GE(a, 0.0f);
            EXPECT_LE(a, 1.0f);
        }
    // The table's counts of the telling kinds.
    int t0 = 0, t25 = 0, t29 = 0, none = 0;
    for (int i = 0; i < kNumPedChars; i++) {
        t0 += NPCVOTypes[i] == 0;
        t25 += NPCVOTypes[i] == 25;
        t29 += NPCVOTypes[i] == 29;
        const NPCPedAnimSet& r = NPCPedAnimSets[i];
        none += r.s0 == 0 && r.s1 == 0 && r.s2 == 0 && r.c1 == 0.0f && r.c2 == 0.0f;
    }
    EXPECT_EQ(t0, 21);
    EXPECT_EQ(t25, 12);
    EXPECT_EQ(t29, 11);
    EXPECT_EQ(none, 41);
}

TEST_F(Peds, EveryAnimationRowFindsAClipInEachOfTheSixSets)
{
    for (const B::AnimDef& d : B::AnimDefs) {
        if (d.group == 17) {
            for (int set = 17; set <= 22; set++) {
                const AnimGroup* g = g_GlobalAGI.GetAG(set);
                ASSERT_NE(g, nullptr) << set;
                ASSERT_LT(d.index, g->count) << d.id;
                EXPECT_NE(g->pChars[d.index], nullptr) << d.id << " in " << set;
            }
            continue;
        }
        const AnimGroup* g = g_GlobalAGI.GetAG(d.group);
        ASSERT_NE(g, nullptr) << d.group;
        ASSERT_LT(d.index, g->count) << d.id << " of group " << d.group;
        EXPECT_NE(g->pChars[d.index], nullptr) << d.id;
    }
    // 123 rows; 20, 73, 79 and 80 have none.
    int seen[BYSTANDER_NUM_ANIS] = {};
    for (const B::AnimDef& d : B::AnimDefs)
        seen[d.id]++;
    for (int id : {20, 73, 79, 80})
        EXPECT_EQ(seen[id], 0);
    for (int id = 1; id < BYSTANDER_NUM_ANIS; id++)
        if (id != 20 && id != 73 && id != 79 && id != 80)
            EXPECT_EQ(seen[id], 1) << id;
}

TEST_F(Peds, SetUpByItsGeneratorItGrowsInOnThePedestrianListWithItsBox)
{
    B* hobo = Ped(94, VectorPos(0.0f, 0.0f, 5.0f));
    B* senior = Ped(116, VectorPos(2.0f, 0.0f, 5.0f));
    EXPECT_EQ(hobo->charid, 94);
    EXPECT_EQ(hobo->fScale, 0.01f);
    EXPECT_EQ(hobo->iLastDrawnTime, 1000);
    EXPECT_NE(world.pedlist.Find(hobo), nullptr);
    EXPECT_NE(world.pedlist.Find(senior), nullptr);
    ASSERT_EQ(hobo->collision, hobo->cb.Chain());
    EXPECT_EQ(hobo->cb.box.id, 10009);
    EXPECT_EQ(hobo->cb.box.box.min, VectorPos(-0.0625f, -0.625f, -0.078125f));
    EXPECT_EQ(hobo->cb.box.box.max, VectorPos(0.0625f, 0.0f, 0.078125f));
    EXPECT_EQ(hobo->mode2, WALK_ANI);
    EXPECT_EQ(hobo->action, B::Action_WalkOnSidewalk);
    // The hobo walks the hobo set's walk, the senior the senior's.
    EXPECT_EQ(hobo->pedanimbank, 20);
    EXPECT_EQ(senior->pedanimbank, 21);
    EXPECT_NE(g_GlobalAGI.GetAG(20)->pChars[8]->length, g_GlobalAGI.GetAG(21)->pChars[8]->length);
}

TEST_F(Peds, CullingGoesByDistanceFromTheCameraAndByBeingDrawn)
{
    auto timer = [](B* b) { return b->SendMessage(OM_TIMER, nullptr); };
    // 30 ahead: stays while drawn within 21 frames.
    B* ahead = Ped(64, VectorPos(0.0f, 0.0f, 30.0f));
    ahead->iLastDrawnTime = world.time - 21;
    EXPECT_EQ(timer(ahead), 0);
    EXPECT_FALSE(ahead->IsDead());
    ahead->iLastDrawnTime = world.time - 22;
    // Culled, it wakes the pending generator (a recorder here).
    Spawner pending;
    gc->pps = {reinterpret_cast<PedGen*>(static_cast<Object*>(&pending)), 77};
    // Counted by no generator: nothing is handed on.
    EXPECT_EQ(timer(ahead), -2);
    EXPECT_TRUE(pending.got.empty());

    // 30 behind counts as 45: gone at once, drawn or not, and with a
    // generator behind it the pending one is told to spawn.
    PedGen* gen = ppgCreatePedGen(*new RoadSeg{}, 80, 4, 5, 9);
    ASSERT_NE(gen, nullptr);
    B* behind = Ped(64, VectorPos(0.0f, 0.0f, -30.0f), gen);
    gen->i16NumSpawned = 1;
    gc->iNumPeds = 1;
    behind->iLastDrawnTime = world.time;
    EXPECT_EQ(timer(behind), -2);
    ASSERT_EQ(pending.got.size(), 1u);
    EXPECT_EQ(pending.got[0].submsg, SMSG_GEN_SPAWN);
    EXPECT_EQ(gc->pps.ppg, nullptr);
    EXPECT_EQ(gen->i16NumSpawned, 0);
    EXPECT_EQ(gc->iNumPeds, 0);

    // Modes 2, 3 and a crime in progress are never culled.
    B* far = Ped(64, VectorPos(0.0f, 0.0f, 100.0f));
    far->iLastDrawnTime = 0;
    for (int m : {2, 3}) {
        far->mode = s8(m);
        EXPECT_EQ(timer(far), 0);
    }
    far->mode = 0;
    far->engagedincrime = true;
    EXPECT_EQ(timer(far), 0);
    EXPECT_FALSE(far->IsDead());
    delete gen->prs;
    gen->Delete();
}

TEST_F(Peds, ArrestsReleaseTheInnocentAndKeepTheCarriersAndKilledHostagesDie)
{
    B* b = Ped(64, VectorPos(0.0f, 0.0f, 5.0f));
    b->inpossession = false;
    b->mode = 4;
    b->SetAnim(ARRESTED_BUT_DOWN_ANI);
    b->AnimLoop();
    EXPECT_EQ(b->mode2, ARRESTED_RELEASE_ANI);
    b->AnimLoop();
    EXPECT_EQ(b->mode2, WALK_ANI);
    EXPECT_EQ(b->mode, 0);
    EXPECT_EQ(gc->stats.nPoints, 0u);

    B* c = Ped(64, VectorPos(1.0f, 0.0f, 5.0f));
    c->inpossession = true;
    gc->stats.nCivilUnrest = 0;
    c->SetAnim(ARRESTED_BUT_DOWN_ANI);
    c->AnimLoop();
    EXPECT_EQ(c->mode2, ARRESTED_ANI);
    EXPECT_TRUE(c->flags & 0x10000000u);
    EXPECT_EQ(gc->stats.nPoints, 5u);
    EXPECT_EQ(gc->stats.nGoodDisposals, 1u);
    EXPECT_EQ(gc->stats.nCivilUnrest, 0u);   // stops at 0
    c->AnimLoop();
    EXPECT_EQ(c->mode2, ARRESTED_ANI);

    // A hostage released after being killed plays the death.
    B* h = Ped(64, VectorPos(2.0f, 0.0f, 5.0f));
    h->flags |= 0x20000000u;
    h->SetAnim(HOSTAGE_RELEASE_ANI);
    h->AnimLoop();
    EXPECT_EQ(h->mode2, KILLED_ANI);
    B* g = Ped(64, VectorPos(3.0f, 0.0f, 5.0f));
    g->SetAnim(HOSTAGE_RELEASE_ANI);
    g->AnimLoop();
    EXPECT_EQ(g->mode2, GETUP_ANI);
}

TEST_F(Peds, GrabsAreTakenOnlyCloseByAndNotFromTheFallenAndReleasesEndByWhoHeld)
{
    // A holder whose hold point (sub-object 31) lies 0.1 behind the pedestrian.
    struct Holder : Guy
    {
        Object hold;
        Holder() : Guy(nullptr)
        {
            hold.id = 31;
            hold.mat = Matrix(true);
            Attach(&hold);
        }
        ~Holder() { hold.Detach(); }
    } holder;
    holder.mat = TransMatrix(0.0f, 0.0f, 5.1f);
    auto grab = [&](B* b, int anim) {
        SpecialMessage m(31, &holder, anim, 0, 0, 0);
        return b->SendMessage(OM_SPECIAL, &m);
    };
    B* b = Ped(64, VectorPos(0.0f, 0.0f, 5.0f));
    EXPECT_EQ(grab(b, 999), 0);   // no such grab
    b->SetAnim(LYING_DOWN_ANI);
    EXPECT_EQ(grab(b, 191), 0);   // not from the fallen
    b->SetAnim(WALK_ANI);
    holder.mat = TransMatrix(0.0f, 0.0f, 5.2f);
    EXPECT_EQ(grab(b, 191), 0);   // 0.2 is beyond the hostage grab's 0.15625
    holder.mat = TransMatrix(0.0f, 0.0f, 5.1f);
    ASSERT_EQ(grab(b, 191), 1);
    EXPECT_EQ(b->mode, 5);
    EXPECT_EQ(b->mode2, HOSTAGE_GRABBED_ANI);
    EXPECT_TRUE(b->flags & 0x100u);
    EXPECT_EQ(b->grappler.p, &holder);
    // The hostage walks as told.
    SpecialMessage fwd(35, &holder);
    b->SendMessage(OM_SPECIAL, &fwd);
    EXPECT_EQ(b->mode2, HOSTAGE_WALK_FWD_ANI);
    // Let go by a holder without strength: the hostage's release.
    holder.strength = 0.0f;
    SpecialMessage rel(32, &holder);
    b->SendMessage(OM_SPECIAL, &rel);
    EXPECT_EQ(b->mode2, HOSTAGE_RELEASE_ANI);
    EXPECT_EQ(b->grappler.p, nullptr);
    EXPECT_FALSE(b->flags & 0x100u);

    // The arrest grab reaches 0.234375; released, the arrested stands idle.
    B* c = Ped(64, VectorPos(3.0f, 0.0f, 5.0f));
    holder.mat = TransMatrix(3.0f, 0.0f, 5.2f);
    ASSERT_EQ(grab(c, 131), 1);
    EXPECT_EQ(c->mode, 4);
    EXPECT_EQ(c->mode2, ARRESTED_BUT_DOWN_ANI);
    SpecialMessage rel2(32, &holder);
    c->SetAnim(ARRESTED_ANI);
    c->SendMessage(OM_SPECIAL, &rel2);
    EXPECT_EQ(c->mode2, IDLE_ANI);
}

TEST_F(Peds, ThoughtsChainAsTheyRunOutAndCrimesGoToTheSpawner)
{
    B* b = Ped(64, VectorPos(0.0f, 0.0f, 5.0f));
    Object* scary = scene->player;
    ASSERT_TRUE(b->SetThought(B::Thought_Terrified, scary, origin, 600.0f));
    const struct
    {
        B::ThoughtType next;
        float lasts;
    } chain[] = {{B::Thought_Scared, 600.0f}, {B::Thought_Wary, 7200.0f}, {B::Thought_SlowDown, 180.0f},
                 {B::Thought_None, 0.0f}};
    float lasts = 600.0f;
    for (const auto& step : chain) {
        Advance(int(lasts));
        b->ProcessThought();
        EXPECT_NE(b->thought, step.next) << "not before its time";
        Advance(1);
        b->ProcessThought();
        EXPECT_EQ(b->thought, step.next);
        EXPECT_EQ(b->thoughttime, float(world.time) + step.lasts);
        lasts = step.lasts;
    }
    // Wary or scared: no terror.
    for (B::ThoughtType t : {B::Thought_Wary, B::Thought_Scared}) {
        ASSERT_TRUE(b->SetThought(t, scary, origin, 100.0f));
        EXPECT_FALSE(b->SetThought(B::Thought_Terrified, scary, origin, 100.0f));
        EXPECT_EQ(b->thought, t);
    }
    // No spawner: no crime.
    b->SetThought(B::Thought_None, nullptr, origin, 0.0f);
    EXPECT_FALSE(b->MugObject(scary));
    Spawner spawner;
    gc->prms = &spawner;
    B* other = Ped(65, VectorPos(5.0f, 0.0f, 5.0f));
    ASSERT_TRUE(b->MugObject(scary));
    EXPECT_EQ(b->action, B::Action_Rogue);
    EXPECT_FALSE(other->SetThought(B::Thought_Deal, scary, origin, 100.0f));
    // Within 0.625 of the player the mugger hands crime 6 over and does
    // nothing more that frame.
    b->mode = 0;
    b->mat = TransMatrix(0.0f, 0.0f, 0.5f);
    const Matrix before = b->mat;
    const float scale = b->fScale;
    b->Frame();
    ASSERT_EQ(spawner.got.size(), 1u);
    EXPECT_EQ(spawner.got[0].submsg, SMSG_EV_ENABLE_RANDOM_CRIME);
    EXPECT_EQ(spawner.got[0].obj, b);
    EXPECT_EQ(static_cast<Object*>(spawner.got[0].param[0]), scary);
    EXPECT_EQ(int(spawner.got[0].param[1]), 6);
    EXPECT_FALSE(B::CrimeBeingAttempted);
    EXPECT_EQ(b->mat.GetTrans(), before.GetTrans());
    EXPECT_EQ(b->fScale, scale);
    gc->prms = nullptr;
}

TEST_F(Peds, ShotsReachFartherThanWarningsAndDangerAheadFrightens)
{
    // Calm, 8 from the player, its back to him.
    B* b = Ped(64, VectorPos(0.0f, 0.0f, 8.0f));
    b->aggro = 0.3f;
    b->ReactToDaceNearbyCombatOrCopWarning(scene->player);
    EXPECT_EQ(b->thought, B::Thought_None);
    b->ReactToDaceShots(scene->player);
    EXPECT_EQ(b->thought, B::Thought_Terrified);
    EXPECT_EQ(b->reactionobj.p, scene->player);

    // Danger 10 behind: nothing; 10 ahead: scared or terrified.
    B* c = Ped(64, VectorPos(20.0f, 0.0f, 0.0f));
    c->aggro = 0.9f;
    EXPECT_EQ(c->ReactToDanger(nullptr, VectorPos(20.0f, 0.0f, -10.0f), 0.85f), 1);
    EXPECT_EQ(c->thought, B::Thought_None);
    c->ReactToDanger(nullptr, VectorPos(20.0f, 0.0f, 10.0f), 0.85f);
    EXPECT_EQ(c->thought, B::Thought_Scared);   // aggro 0.9 is not below 0.6
    B* d = Ped(64, VectorPos(40.0f, 0.0f, 0.0f));
    d->aggro = 0.2f;
    d->ReactToDanger(nullptr, VectorPos(40.0f, 0.0f, 10.0f), 0.85f);
    EXPECT_EQ(d->thought, B::Thought_Terrified);
}

TEST_F(Peds, OnlyThePlayersBulletCostsAndADeadPedestrianDiesOnce)
{
    B* b = Ped(64, VectorPos(0.0f, 0.0f, 10.0f));
    Bullet shot;
    shot.sourceid = -1;
    shot.sourcePos = VectorPos(0.0f, 0.0f, 2.0f);
    SpecialMessage hit(SMSG_BULLET_HIT, &shot);
    b->SendMessage(OM_SPECIAL, &hit);
    EXPECT_EQ(b->mode2, KILLED_ANI);
    EXPECT_TRUE(b->flags & 0x20000000u);
    EXPECT_TRUE(b->flags & 0x2u);
    EXPECT_EQ(int(gc->stats.nPoints), -20);
    EXPECT_EQ(gc->stats.nBadDisposals, 1u);
    EXPECT_EQ(gc->stats.nCivCasualties, 1u);
    EXPECT_EQ(gc->stats.nCivilUnrest, 2u);
    EXPECT_EQ(gc->stats.nFriendlyBulletHits, 1u);
    EXPECT_EQ(gc->stats.fMaxShotDistance, 8.0f);
    // A second bullet does nothing.
    b->SendMessage(OM_SPECIAL, &hit);
    EXPECT_EQ(gc->stats.nBadDisposals, 1u);
    // Another shooter's bullet changes no statistics.
    B* c = Ped(64, VectorPos(3.0f, 0.0f, 10.0f));
    c->SetAnim(DUCK_IDLE_ANI);
    Bullet theirs;
    theirs.sourceid = 7;
    SpecialMessage hit2(SMSG_BULLET_HIT, &theirs);
    c->SendMessage(OM_SPECIAL, &hit2);
    EXPECT_EQ(c->mode2, DUCK_KILLED_ANI);
    EXPECT_EQ(gc->stats.nBadDisposals, 1u);
    EXPECT_EQ(int(gc->stats.nPoints), -20);
}

TEST_F(Peds, ThePlayersCarKnocksAwayCostsPointsOrRollsByItsImpact)
{
    vehtest::CarFile file{0};
    Vehicle* car = CreateVehicle(&file.mf, -1, -1, VectorPos(0.0f, 0.0f, 12.0f), 0);
    ASSERT_NE(car, nullptr);
    car->rcoDriver = scene->player;   // the player drives
    struct Case
    {
        float speed;
        u16 anim;
        int points;
        u32 unrest;
    } cases[] = {{0.02f, KNOCKED_AWAY_ANI, 0, 0}, {0.05f, KNOCKED_AWAY_ANI, -20, 1}, {0.2f, ROLL_ANI, -20, 2}};
    float x = 0.0f;
    for (const Case& k : cases) {
        gc->stats = sPlayerStats{};
        B* b = Ped(64, VectorPos(x, 0.0f, 10.0f));
        x += 3.0f;
        car->vel = Vector(0.0f, 0.0f, -k.speed, 0.0f);
        CollisionRecord cr(b, car);
        EXPECT_EQ(b->BystanderCollision(&cr), 0);
        EXPECT_EQ(b->mode2, k.anim) << k.speed;
        EXPECT_EQ(int(gc->stats.nPoints), k.points) << k.speed;
        EXPECT_EQ(gc->stats.nCivilUnrest, k.unrest) << k.speed;
        EXPECT_GT(b->hitvel.LengthSq(), 0.0f);
        EXPECT_LT(b->hitvel[1], 0.0f);   // thrown up (y points down)
        // It turns to face the car.
        EXPECT_NEAR(b->mat.z[2], 1.0f, 1e-5f);
    }
    // A car keeps striking one pedestrian: its crash sounds come more than
    // 60 frames apart (61 to 70).
    auto started = [] {
        int n = 0;
        for (int i = 0; i < SOUND_VCHANNELS; i++) {
            const vchannel* c = sound.GetChannel(i);
            n += (c->flags & VCHAN_START) && c->curbank == sndbank_car && c->bankindex == 11 ? 1 : 0;
        }
        return n;
    };
    B* struck = Ped(64, VectorPos(30.0f, 0.0f, 10.0f));
    car->vel = Vector(0.0f, 0.0f, -0.02f, 0.0f);
    const int start = world.time;
    std::vector<int> heardAt;
    for (int f = 0; f <= 75; f++) {
        sound.StopAll();
        world.time = start + f;
        CollisionRecord hit(struck, car);
        struck->BystanderCollision(&hit);
        if (started() > 0)
            heardAt.push_back(f);
    }
    ASSERT_EQ(heardAt.size(), 2u);
    EXPECT_LE(heardAt[0], 1);
    EXPECT_GE(heardAt[1] - heardAt[0], 61);
    EXPECT_LE(heardAt[1] - heardAt[0], 70);
    sound.StopAll();

    // A slow touch only pushes, like a wall.
    B* slow = Ped(64, VectorPos(20.0f, 0.0f, 10.0f));
    car->vel = Vector(0.0f, 0.0f, -0.01f, 0.0f);
    CollisionRecord cr(slow, car);
    slow->BystanderCollision(&cr);
    EXPECT_EQ(slow->mode2, WALK_ANI);
    EXPECT_EQ(slow->hitvel.LengthSq(), 0.0f);
    car->rcoDriver = nullptr;
    car->Delete();
}

TEST_F(Peds, ACarjackerAtThePlayersCarOrdersHimOutOnce)
{
    Spawner spawner;
    gc->prms = &spawner;
    vehtest::CarFile file{0};
    Vehicle* car = CreateVehicle(&file.mf, -1, -1, VectorPos(1.0f, 0.0f, 5.0f), 0);
    ASSERT_NE(car, nullptr);
    Object driver;
    driver.id = -1;
    car->rcoDriver = &driver;
    B* b = Ped(64, VectorPos(0.0f, 0.0f, 5.0f));
    ASSERT_TRUE(b->CarjackObject(car));
    EXPECT_FALSE(b->tolddacetogetout);
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(b->ProcessThought(), 0);
    EXPECT_TRUE(b->tolddacetogetout);
    EXPECT_TRUE(spawner.got.empty());   // no crime handed over
    car->rcoDriver = nullptr;
    car->Delete();
    gc->prms = nullptr;
}

TEST_F(Peds, ALampPostAheadOnOneSideSteersToTheOther)
{
    auto steerFor = [&](float side) {
        B* b = Ped(64, VectorPos(50.0f, 0.0f, 0.0f));
        Object* post = new Object;
        post->type = OBJT_STATIC;
        post->mat = TransMatrix(50.0f + side, 0.0f, 0.25f);
        world.AddObject(post, nullptr);
        CollisionChecker probe;
        probe.numcollobjs = 1;
        probe.collobjs[0] = post;
        probe.collobjnormals[0] = VectorDir(-side, 0.0f, -1.0f);
        b->GetSteeringDirection(probe);
        EXPECT_TRUE(b->steering);
        return b->steervec;
    };
    const VectorDir right = steerFor(-0.1f), left = steerFor(0.1f);
    // Away from the post, and the mirrored post gives the mirror.
    EXPECT_GT(right[0], 0.9f);
    EXPECT_LT(left[0], -0.9f);
    EXPECT_NEAR(right[0], -left[0], 1e-6f);
    EXPECT_EQ(right[2], 0.0f);
}

TEST_F(Peds, ThePlayersTargetSurrendersWhenHeStandsAheadAndADealerOffersHalfTheTime)
{
    B* b = Ped(64, VectorPos(0.0f, 0.0f, 0.0f));
    scene->player->target = b;
    world.pedlist.AddTail(scene->player);
    scene->player->mat = TransMatrix(0.0f, 0.0f, -5.0f);   // behind it
    b->InteractWithPedestrians();
    EXPECT_NE(b->thought, B::Thought_Surrender);
    scene->player->mat = TransMatrix(0.0f, 0.0f, 5.0f);    // ahead
    b->InteractWithPedestrians();
    EXPECT_EQ(b->thought, B::Thought_Surrender);
    EXPECT_EQ(b->thoughtobj.p, scene->player);
    scene->player->target = nullptr;

    // A bored dealer face to face with the player at 1.
    Spawner spawner;
    gc->prms = &spawner;
    B* dealer = Ped(138, VectorPos(30.0f, 0.0f, 0.0f));
    scene->player->mat = LookAlong(VectorDir(0.0f, 0.0f, -1.0f));
    scene->player->mat.SetTrans(VectorPos(30.0f, 0.0f, 1.0f));
    int deals = 0;
    const int n = 2000;
    for (int i = 0; i < n; i++) {
        dealer->SetThought(B::Thought_None, nullptr, origin, 0.0f);
        B::CrimeBeingAttempted = false;
        dealer->bored = true;
        dealer->InteractWithPedestrians();
        deals += dealer->thought == B::Thought_Deal;
    }
    EXPECT_NEAR(double(deals) / n, 0.5, 0.04);
    world.pedlist.Remove(scene->player);
    gc->prms = nullptr;
}

TEST_F(Peds, FarFromItsCurveItHeadsStraightForItAndCloseToItFollowsTheTangent)
{
    const Bezier line(Vector(0.0f, 0.0f, 0.0f, 1.0f), Vector(10.0f / 3.0f, 0.0f, 0.0f, 1.0f),
                      Vector(20.0f / 3.0f, 0.0f, 0.0f, 1.0f), Vector(10.0f, 0.0f, 0.0f, 1.0f));
    const float sl = std::sin(B::maxturnspeed);   // the widest turn, 12 degrees a frame
    // 2 from the curve, facing along it: it turns straight for the curve.
    B* far = Ped(64, VectorPos(5.0f, 0.0f, 2.0f));
    far->mat = LookAlong(VectorDir(1.0f, 0.0f, 0.0f));
    far->mat.SetTrans(VectorPos(5.0f, 0.0f, 2.0f));
    far->SetAnim(IDLE_ANI);
    Bezier path = line;
    far->FollowPath(&path);
    const float n = std::sqrt(1.0f + sl * sl);
    EXPECT_NEAR(far->mat.z[0], 1.0f / n, 1e-5f);
    EXPECT_NEAR(far->mat.z[2], -sl / n, 1e-5f);
    EXPECT_NEAR(far->pivotmultiplier, (1.0f + sl / n) / 2.0f, 1e-5f);
    // 0.03 from it, facing 45 degrees off: it turns toward the tangent.
    B* near = Ped(64, VectorPos(5.0f, 0.0f, 0.03f));
    near->mat = LookAlong(VectorDir(0.70710678f, 0.0f, 0.70710678f));
    near->mat.SetTrans(VectorPos(5.0f, 0.0f, 0.03f));
    near->SetAnim(IDLE_ANI);
    near->FollowPath(&path);
    const float m = std::sqrt(2.0f + 2.0f * sl * sl);
    EXPECT_NEAR(near->mat.z[0], (1.0f + sl) / m, 1e-5f);
    EXPECT_NEAR(near->mat.z[2], (1.0f - sl) / m, 1e-5f);
    EXPECT_NEAR(near->pivotmultiplier, (1.0f + (1.0f + sl) / m) / 2.0f, 1e-5f);
}

// The head turns to the player standing close ahead, the look weighing in
// 0.05 a frame; with him behind it fades as fast.
TEST_F(Peds, TheHeadTurnsToThePlayerCloseAheadButNotBehind)
{
    B* b = Ped(64, VectorPos(0.0f, 0.0f, 0.0f));
    ASSERT_NE(b, nullptr);
    Object* j = b->neck.joint;
    ASSERT_NE(j, nullptr);
    ASSERT_NE(j->blendAnim, nullptr);
    ASSERT_EQ(b->thought, B::Thought_None);
    // The player a metre ahead and half a metre to the side, his looked-at
    // point (0.46875 above his feet) level with the neck's parent.
    const VectorPos base = (j->parent != nullptr ? j->parent : b)->GetWorldPos();
    scene->player->mat = TransMatrix(0.5f, base[1] + 0.46875f, base[2] + 1.0f);
    for (int f = 1; f <= 24; f++) {
        b->LookAtStuff();
        EXPECT_NEAR(j->blendAnim->GetPoseBlend(), std::min(1.0f, 0.05f * f), 1e-4f) << f;
    }
    scene->player->mat = TransMatrix(0.0f, base[1] + 0.46875f, base[2] - 1.0f);
    for (int f = 1; f <= 18; f++) {
        b->LookAtStuff();
        EXPECT_NEAR(j->blendAnim->GetPoseBlend(), 1.0f - 0.05f * f, 1e-4f) << f;
    }
    // The last step drops to nothing rather than to a sliver.
    b->LookAtStuff();
    b->LookAtStuff();
    EXPECT_EQ(j->blendAnim->GetPoseBlend(), 0.0f);
}

TEST_F(Peds, NewPedestriansGrowInWidthOverFiftyFramesAndInHeightOverSeventeen)
{
    B* b = Ped(64, VectorPos(0.0f, 0.0f, 5.0f));
    b->mode = 1;   // standing by request: only the scale changes here
    dace = nullptr;
    auto width = [b]() { return b->mat.x.xyz().Length(); };
    auto height = [b]() { return b->mat.y.xyz().Length(); };
    for (int f = 1; f <= 50; f++) {
        b->Frame();
        if (f == 16)
            EXPECT_LT(height(), 1.0f);
        if (f == 17)
            EXPECT_NEAR(height(), 1.0f, 1e-6f);
        if (f == 49)
            EXPECT_LT(width(), 0.999f);
    }
    EXPECT_EQ(b->fScale, 1.0f);
    EXPECT_NEAR(width(), 1.0f, 1e-6f);
    dace = scene->player;
}

// A runner kind for the morph: a plain enemy that records nothing.
int FakeRunner_mh(Object* o, OBJMESSAGE msg, void*)
{
    if (msg == OM_CREATE)
        return int(reinterpret_cast<intptr_t>(new Enemy(FakeRunner_mh, nullptr, 0)));
    if (msg == OM_DIE) {
        delete static_cast<Enemy*>(o);
        return -1;
    }
    return 0;
}

TEST_F(Peds, APedestrianBecomesARunnerAndARunnerAPedestrian)
{
    Name runner{"RunnerEnemy", int(reinterpret_cast<intptr_t>(&FakeRunner_mh))};
    // Every crime id taken: the new runner gets -150.
    std::vector<Object*> taken;
    for (int id = -150; id <= -101; id++) {
        Object* o = new Object;
        o->id = s16(id);
        world.objectlist.AddTail(o);
        taken.push_back(o);
    }
    B* b = Ped(64, VectorPos(0.0f, 0.0f, 5.0f));
    b->aggro = 0.1f;
    b->mode = 0;
    ASSERT_EQ(b->mode2, WALK_ANI);
    // The head turned aside by a look: the runner's looks straight ahead,
    // its neck back at the rest key's turn, no look weighed in.
    Object* neck = b->neck.joint;
    ASSERT_NE(neck, nullptr);
    ASSERT_NE(neck->blendAnim, nullptr);
    const VectorPos neckAt = neck->mat.GetTrans();
    neck->mat = RotY(0.7f) * RotX(0.2f);
    neck->mat.SetTrans(neckAt);
    neck->blendAnim->SetPoseBlend(0.6f);
    const Matrix rest = static_cast<Matrix>(neck->blendAnim->baseKey.ang);
    Enemy* e = b->MorphIntoRunner(-1, 0.0f, 0.0f, 1.0f, -1, scene->player, false);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(neck->blendAnim->GetPoseBlend(), 0.0f);
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 3; c++)
            EXPECT_NEAR(neck->mat[r][c], rest[r][c], 1e-6f) << r << c;
    EXPECT_EQ(neck->mat.GetTrans(), neckAt);
    EXPECT_TRUE(b->IsDead());
    EXPECT_EQ(e->id, -150);
    EXPECT_EQ(e->strength, 100.0f);
    EXPECT_EQ(e->initialstrength, 100.0f);
    EXPECT_EQ(e->mode, 4);   // a walker walks on
    EXPECT_EQ(e->movespeed, Enemy::MOVE_WALK);
    EXPECT_TRUE(e->oblivious);
    EXPECT_FALSE(e->caronly);
    EXPECT_EQ(e->BadGuy::aggro, 0.1f);
    EXPECT_EQ(e->fightingchance, 1.0f);
    if (Name::first == &runner)
        Name::first = runner.link;

    // Back into a pedestrian, scared of its scarer for 1200 frames.
    Enemy* f = new Enemy(FakeRunner_mh, nullptr, 0);
    f->charid = s16(0x100 | 94);
    f->tintset = -1;
    f->mat = TransMatrix(3.0f, 0.0f, 4.0f);
    world.AddObject(f, nullptr);
    B* back = MorphEnemyIntoBystander(f, scene->player);
    ASSERT_NE(back, nullptr);
    EXPECT_TRUE(f->IsDead());
    EXPECT_EQ(back->charid, 94);
    EXPECT_EQ(back->fScale, 1.0f);
    EXPECT_EQ(back->thought, B::Thought_Scared);
    EXPECT_EQ(back->thoughttime, float(world.time) + 1200.0f);
    EXPECT_FALSE(back->inpossession);
    EXPECT_EQ(back->mat.GetTrans(), VectorPos(3.0f, 0.0f, 4.0f));
    for (Object* o : taken)
        world.objectlist.Remove(o), delete o;
}

// ---------------------------------------------------------------------------
// The generators

// A road kind of the given cross-section x values (left edge, left kerb,
// right kerb, right edge) and lanes, and a straight segment of it.
struct Road
{
    alignas(16) u8 kindBytes[32 + 4 * 16] = {};
    float lanes[4] = {-0.5f, -0.2f, 0.2f, 0.5f};
    RoadSeg seg{};

    Road(float length, int nlanes, int nright, VectorPos from = VectorPos(-10.0f, 0.0f, 30.0f))
    {
        RoadType* t = kind();
        t->flags = 3;
        t->num_lanes = u8(nlanes);
        t->num_rightlanes = u8(nright);
        t->iNumXSectPts = 4;
        t->iJuncLeft = 1;
        t->iJunc = 2;
        t->iRightEdge = 3;
        t->lanes = lanes;
        const float xs[4] = {-2.0f, -1.0f, 1.0f, 2.0f};
        for (int i = 0; i < 4; i++)
            t->vXSect[i] = Vector(xs[i], 0.0f, 0.0f, 0.0f);
        for (int i = 0; i < 4; i++)
            seg.bezier[i] = Vector(from[0] + length * float(i) / 3.0f, 0.0f, from[2], 0.0f);
        seg.type = t;
    }
    RoadType* kind() { return reinterpret_cast<RoadType*>(kindBytes); }
};

TEST_F(Peds, AFullCrowdParksTheBestGeneratorAndTheNextLeaverMakesExactlyOne)
{
    // Walkers can be made: slot 80 holds a pedestrian.
    MdlFileInfo& slot = g_GlobalMFI.rgmfi[80];
    slot = g_GlobalMFI.rgmfi[kEnemySlot];
    slot.i16Id = s16(0x100 | 94);
    slot.i16Extra = 10;
    slot.i16Flags = 0;
    slot.i16Mirror = -1;
    Road road(30.0f, 2, 1);
    PedGen* gen = CreatePedGen(road.seg, 80, 4, 5, 9, false);
    ASSERT_NE(gen, nullptr);
    gc->iNumPeds = 10;
    // With 10 alive it does not spawn but becomes the pending spawn.
    gen->SendMessage(OM_TIMER, nullptr);
    EXPECT_EQ(gen->i16NumSpawned, 0);
    EXPECT_EQ(gc->pps.ppg, gen);
    // A leaver (here a standing figure) frees a place: exactly one walker.
    PedAmb* leaver = new PedAmb;
    leaver->messagehandler = PedAmb::staticmh;
    leaver->mat = TransMatrix(0.0f, 0.0f, -80.0f);
    world.AddObject(leaver, nullptr);
    PedGen other;
    other.i16NumSpawned = 1;
    leaver->ppg = &other;
    EXPECT_EQ(leaver->SendMessage(OM_TIMER, nullptr), -2);
    EXPECT_EQ(other.i16NumSpawned, 0);
    EXPECT_EQ(gen->i16NumSpawned, 1);
    EXPECT_EQ(gc->iNumPeds, 10);
    EXPECT_EQ(gc->pps.ppg, nullptr);
    int walkers = 0;
    for (ObjectIterator it = world.pedlist.Begin(); !it.IsEOList(); ++it)
        walkers += it->messagehandler == &B::Bystander_mh;
    EXPECT_EQ(walkers, 1);

    // Retired with a walker alive it lingers; at 0 it goes.
    SpecialMessage retire(SMSG_GEN_RETIRE, nullptr);
    gen->SendMessage(OM_SPECIAL, &retire);
    EXPECT_FALSE(gen->IsDead());
    EXPECT_EQ(gen->SendMessage(OM_TIMER, nullptr), 0);
    gen->i16NumSpawned = 0;
    EXPECT_EQ(gen->SendMessage(OM_TIMER, nullptr), -2);

    // A spot more than 5.859375 behind the camera plane is refused.
    rc.world_view = TransMatrix(0.0f, 0.0f, -38.0f);   // the pavements 6.5 to 9.5 behind
    PedGen* back = ppgCreatePedGen(road.seg, 80, 4, 5, 9);
    for (int i = 0; i < 20; i++)
        EXPECT_EQ(back->CreatePedAmb(true), nullptr);
    rc.world_view = TransMatrix(0.0f, 0.0f, -34.0f);   // 2.5 to 5.5 behind
    Object* w = back->CreatePedAmb(true);
    EXPECT_NE(w, nullptr);
    if (w != nullptr) {
        world.AddObject(w, nullptr);
        w->Delete();
    }
    back->Delete();
    slot = MdlFileInfo{};
    slot.i16Id = -1;
    slot.i16Mirror = -1;
}

TEST_F(Peds, TrafficCapsAndGeneratorSizesFollowTheRoad)
{
    gc->mode = 1;
    EXPECT_EQ(AmbientCarLimit(), 7);
    gc->mode = 0;
    EXPECT_EQ(AmbientCarLimit(), 10);
    Road longRoad(60.0f, 3, 2), shortRoad(10.0f, 1, 1), tiny(3.0f, 2, 1), oneWay(30.0f, 2, 0);
    VehGen* a = pvgCreateVehGen(longRoad.seg, 1, 0, 0, 9);
    VehGen* b = pvgCreateVehGen(shortRoad.seg, 1, 0, 0, 9);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(a->i16MaxToSpawn, 12);
    EXPECT_EQ(b->i16MaxToSpawn, 4);
    EXPECT_EQ(pvgCreateVehGen(tiny.seg, 1, 0, 0, 9), nullptr);
    EXPECT_EQ(pvgCreateVehGen(oneWay.seg, 1, 0, 0, 9), nullptr);
    // Lane 100 is the outermost of its direction; lanes against the road
    // come first in the table.
    EXPECT_EQ(GetLaneOffsetDist(longRoad.seg, 100, false), 0.2f);
    EXPECT_EQ(GetLaneOffsetDist(longRoad.seg, 0, false), -0.2f);
    EXPECT_EQ(GetLaneOffsetDist(longRoad.seg, 100, true), -0.5f);
    // Empty car slots: no car, nothing counted.
    EXPECT_EQ(a->CreateVehAmb(true), nullptr);
    EXPECT_EQ(gc->iNumVehs, 0);
    a->Delete();
    b->Delete();
}

// Car slot 1 the sample sedan, slot 80 its driver's figure, for as long as
// the object lives.
class AmbientCarSlots
{
public:
    explicit AmbientCarSlots(enemyrig::Scene& scene)
        : carslot(g_GlobalMFI.rgmfi[1]), pedslot(g_GlobalMFI.rgmfi[80]), savedCar(carslot)
    {
        std::string error;
        std::vector<u8> model;
        ok = tools::WriteP2B(tools::SampleVehicleFile(0), model, error);
        EXPECT_TRUE(ok) << error;
        if (!ok)
            return;
        static Texture shared[tools::kVehicleSharedTextures]{};
        carslot.smf.SetBuffer(scene.rig.Block(model));
        ok = carslot.smf.Init(u32(model.size()), shared, tools::kVehicleSharedTextures);
        EXPECT_TRUE(ok);
        carslot.i16Id = 0;
        carslot.i16Extra = 10;
        carslot.i16Flags = 0;
        carslot.i16Mirror = -1;
        pedslot = g_GlobalMFI.rgmfi[enemyrig::kEnemySlot];
        pedslot.i16Id = s16(0x100 | 94);
        pedslot.i16Extra = 10;
        pedslot.i16Flags = 0;
        pedslot.i16Mirror = -1;
    }
    ~AmbientCarSlots()
    {
        carslot = savedCar;
        pedslot = MdlFileInfo{};
        pedslot.i16Id = -1;
        pedslot.i16Mirror = -1;
    }
    AmbientCarSlots(const AmbientCarSlots&) = delete;
    AmbientCarSlots& operator=(const AmbientCarSlots&) = delete;

    bool ok = false;

private:
    MdlFileInfo& carslot;
    MdlFileInfo& pedslot;
    const MdlFileInfo savedCar;
};

TEST_F(Peds, CarsAreMadeOnlyFarOrHiddenAndNeverBehindTheCamera)
{
    AmbientCarSlots slots(scene[0]);
    ASSERT_TRUE(slots.ok);

    Road near(20.0f, 2, 2, VectorPos(-10.0f, 0.0f, 20.0f)), far(30.0f, 2, 2, VectorPos(-15.0f, 0.0f, 60.0f)),
        behind(30.0f, 2, 2, VectorPos(-15.0f, 0.0f, -60.0f));
    // Nothing hides anything: every spot is in plain view.
    const bool savedSkip = Occlusion::bSkipOcclusion;
    Occlusion::bSkipOcclusion = true;
    VehGen* gnear = pvgCreateVehGen(near.seg, 1, 0, 0, 100);
    VehGen* gfar = pvgCreateVehGen(far.seg, 1, 0, 0, 100);
    VehGen* gbehind = pvgCreateVehGen(behind.seg, 1, 0, 0, 100);
    ASSERT_TRUE(gnear != nullptr && gfar != nullptr && gbehind != nullptr);
    for (int i = 0; i < 10; i++) {
        EXPECT_EQ(gnear->CreateVehAmb(false), nullptr);     // in plain view within 32.8125
        EXPECT_EQ(gbehind->CreateVehAmb(false), nullptr);   // behind the camera plane
    }
    EXPECT_EQ(gc->iNumVehs, 0);
    CarDriver* d = gfar->CreateVehAmb(false);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(gc->iNumVehs, 1);
    EXPECT_EQ(gfar->i16NumSpawned, 1);
    EXPECT_EQ(d->pvg, gfar);
    EXPECT_EQ(d->iCDFlags & 0x18000, 0x18000);
    EXPECT_EQ(d->id, 100);
    Vehicle* car = d->pveh != nullptr ? d->pveh : static_cast<Vehicle*>(d->parent);
    ASSERT_NE(car, nullptr);
    EXPECT_EQ(car->rcoDriver.p, d);
    EXPECT_GT((rc.world_view * car->GetWorldPos())[2], 32.8125f);
    // Made in the spot itself a near car would not be: the skip of the
    // view test (a fill burst) puts one in plain view.
    EXPECT_NE(gnear->CreateVehAmb(true), nullptr);
    EXPECT_EQ(gc->iNumVehs, 2);
    // Its generator gone, the car leaves the count and keeps no pointer.
    gfar->Delete();
    EXPECT_EQ(d->pvg, nullptr);
    EXPECT_EQ(gc->iNumVehs, 1);
    world.Clear();
    EXPECT_EQ(gc->iNumVehs, 0);   // the near car leaves through its driver

    // Hidden: a wall across the view at 15, its top 5 above the road, hides
    // the near road, where a car is made after all (and nowhere it is seen).
    RenderContext view;
    view.SetViewport(2048, 2048 + 640, 2048, 2048 + 512, 1.0f, 16000000.0f);
    view.SetAspectRatio(1.0f, 1.0f);
    view.SetZRange(1.0f, 1000.0f);
    view.SetPerspective(1.0f);
    view.SetCameraMatrix(Matrix(true));
    Occlusion::Clear();
    Occlusion::Init(view);
    ASSERT_FALSE(Occlusion::bSkipOcclusion);
    const VectorPos corners[4] = {VectorPos(-40, -5, 15), VectorPos(-40, 2, 15), VectorPos(40, 2, 15),
                                  VectorPos(40, -5, 15)};
    Occluder wall[4];
    for (int i = 0; i < 4; i++) {
        wall[i].corner = corners[i];
        wall[i].corner.setwcomponent(i == 0 ? 4 : 0);
    }
    Occlusion::AddOccluder(wall[0]);
    CarDriver* hidden = gnear->CreateVehAmb(false);
    ASSERT_NE(hidden, nullptr);
    Vehicle* hiddenCar = hidden->pveh != nullptr ? hidden->pveh : static_cast<Vehicle*>(hidden->parent);
    EXPECT_LT((rc.world_view * hiddenCar->GetWorldPos())[2], 32.8125f);
    Occlusion::Clear();
    world.Clear();
    gnear->Delete();
    gbehind->Delete();
    Occlusion::bSkipOcclusion = savedSkip;
}

// The figure at a new car's wheel holds a reference on the walkers' slot it
// was drawn from until the car goes; a model with no seated figure makes a
// car without one and keeps no hold on the slot (a slot the crimes are
// promised must empty once its walkers and cars have gone).
TEST_F(Peds, OnlyAFigureAtTheWheelHoldsItsWalkersSlot)
{
    AmbientCarSlots slots(*scene);
    ASSERT_TRUE(slots.ok);
    const bool savedSkip = Occlusion::bSkipOcclusion;
    Occlusion::bSkipOcclusion = true;
    Road road(30.0f, 2, 2, VectorPos(-15.0f, 0.0f, 60.0f));
    VehGen* g = pvgCreateVehGen(road.seg, 1, 0, 0, 100);
    ASSERT_NE(g, nullptr);
    // A walker's figure with its seated copy for the wheel.
    MdlFileInfo& walkers = g_GlobalMFI.rgmfi[80];
    tools::HumanoidLook look = tools::EnemyLook();
    look.driverCopy = true;
    std::vector<u8> figure;
    std::string error;
    ASSERT_TRUE(tools::WriteP2B(tools::HumanoidFile(look), figure, error)) << error;
    walkers.smf.SetBuffer(scene->rig.Block(figure));
    ASSERT_TRUE(walkers.smf.Init(u32(figure.size())));
    const int before = walkers.smf.refs;
    auto carOf = [](CarDriver* d) { return d->pveh != nullptr ? d->pveh : static_cast<Vehicle*>(d->parent); };

    CarDriver* d = g->CreateVehAmb(true);
    ASSERT_NE(d, nullptr);
    EXPECT_NE(carOf(d)->FindMeshDriver(), nullptr);
    EXPECT_EQ(walkers.smf.refs, before + 1);
    world.Clear();
    EXPECT_EQ(walkers.smf.refs, before);

    // The car's own file in the walkers' slot: it has no seated figure.
    walkers.smf = g_GlobalMFI.rgmfi[1].smf;
    walkers.smf.refs = u16(before);
    d = g->CreateVehAmb(true);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(carOf(d)->FindMeshDriver(), nullptr);
    EXPECT_EQ(walkers.smf.refs, before);
    world.Clear();
    EXPECT_EQ(walkers.smf.refs, before);
    g->Delete();
    Occlusion::bSkipOcclusion = savedSkip;
}

// A new car is set down where no car of its lane is within 1.5625; nearer
// one, it goes to the middle of the gap round that point when the gap is
// wider than 3.125, and is not made otherwise.
TEST_F(Peds, ANewCarTakesTheMiddleOfAWideGapOrIsNotMade)
{
    AmbientCarSlots slots(*scene);
    ASSERT_TRUE(slots.ok);
    const bool savedSkip = Occlusion::bSkipOcclusion;
    Occlusion::bSkipOcclusion = true;
    // A 30-unit road straight along x: t runs 1/30 a unit.
    Road road(30.0f, 2, 2, VectorPos(-15.0f, 0.0f, 60.0f));
    VehGen* g = pvgCreateVehGen(road.seg, 1, 0, 0, 100);
    ASSERT_NE(g, nullptr);
    CarDriver* cars[2] = {g->CreateVehAmb(true), g->CreateVehAmb(true)};
    ASSERT_TRUE(cars[0] != nullptr && cars[1] != nullptr);
    auto place = [&](CarDriver* d, float t) {
        d->rs = &road.seg;
        d->rsdir = true;
        d->fT = t;
        Vehicle* car = d->pveh != nullptr ? d->pveh : static_cast<Vehicle*>(d->parent);
        car->mat.SetTrans(VectorPos(-15.0f + 30.0f * t, 0.0f, 60.0f));
    };
    VectorPos at;
    VectorDir dir;
    // Cars at t 0.2 and 0.6: 1.5 units past the first lies in a gap of 12.
    place(cars[0], 0.2f);
    place(cars[1], 0.6f);
    float t = 0.25f;
    ASSERT_TRUE(g->TryRoadSegFT(road.seg, &t, &at, &dir, false));
    EXPECT_FLOAT_EQ(t, 0.4f);
    EXPECT_NEAR(at[0], -3.0f, 1e-4f);
    // Two units clear of both: the spot stands.
    t = 0.2f + 2.0f / 30.0f;
    ASSERT_TRUE(g->TryRoadSegFT(road.seg, &t, &at, &dir, false));
    EXPECT_FLOAT_EQ(t, 0.2f + 2.0f / 30.0f);
    // Cars of the other direction do not count.
    t = 0.25f;
    EXPECT_TRUE(g->TryRoadSegFT(road.seg, &t, &at, &dir, true));
    EXPECT_FLOAT_EQ(t, 0.25f);
    // A gap of 3 (t 0.2 to 0.3) is too narrow: no car.
    place(cars[1], 0.3f);
    t = 0.25f;
    EXPECT_FALSE(g->TryRoadSegFT(road.seg, &t, &at, &dir, false));
    world.Clear();
    g->Delete();
    Occlusion::bSkipOcclusion = savedSkip;
}

}  // namespace
