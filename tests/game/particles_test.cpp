// The particle classes: registration, the small effects, and the smoke, fire
// and steam looks, run through the world's ticks.
#include "game/particle_support.h"

#include <cmath>
#include <set>

#include "ZevEngine2/fresh_run.h"
#include "game/smoke.h"

using namespace parttest;

namespace {

using Particles = ParticleWorld;

const VectorPos kAt(1.0f, -2.0f, 3.0f);
const VectorDir kNoDir(0.0f, 0.0f, 0.0f);

// The velocity a line particle has after one update: the fixed drag step,
// then the fixed gravity step.
VectorDir AfterFall(VectorDir v, float drag, float gravity)
{
    const float len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    const float k = std::max(len - drag, 0.0f) / len;
    return VectorDir(v[0] * k, v[1] * k + gravity, v[2] * k);
}

}  // namespace

// ------------------------------------------------------------- registration

TEST_F(Particles, ManagersAreListedOnceWithOneReferenceAndBoundToTheirNodesBlock)
{
    ASSERT_NE(Spark_Spawn(kAt, 0.0f), nullptr);
    ASSERT_NE(SmokePuff_Spawn(kAt, 0.5f), nullptr);
    ASSERT_NE(EngineFire_Spawn(kAt, kNoDir, 1.0f), nullptr);

    // Without a slot: no model, no image.
    Spark* spark = Spark::manager;
    EXPECT_EQ(spark->partRef.index, -1);
    EXPECT_EQ(spark->mdlfile, nullptr);
    // With a slot: the node's block names its own table entry (node 2 of
    // the engine file draws entry 2).
    ASSERT_NE(SmokePuff::manager->data, nullptr);
    EXPECT_EQ(SmokePuff::manager->partRef.index, 0);
    EXPECT_EQ(SmokePuff::manager->mdlfile, g_GlobalMFI.GetMF(214, false));
    EXPECT_EQ(EngineFire::manager->partRef.index, 2);
    EXPECT_EQ(EngineFire::manager->mdlfile, g_GlobalMFI.GetMF(213, false));

    for (PartManager* pm : {static_cast<PartManager*>(spark), static_cast<PartManager*>(SmokePuff::manager),
                            static_cast<PartManager*>(EngineFire::manager)}) {
        EXPECT_EQ(pm->type, OBJT_PARTICLE);
        EXPECT_EQ(pm->flags & 0x410002u, 0x410002u);
        EXPECT_EQ(LinksTo(world.partList, pm), 1);
        // The object list, the frame calls and partList each hold one.
        EXPECT_EQ(pm->refcount, 3);
    }
}

TEST_F(Particles, AWorldResetDropsEveryManagerAndTheNextSpawnBindsTheSameNodeAgain)
{
    ASSERT_NE(EngineFire_Spawn(kAt, kNoDir, 1.0f), nullptr);
    world.Clear();
    EXPECT_EQ(EngineFire::manager, nullptr);
    EXPECT_TRUE(world.partList.IsEmpty());
    ASSERT_NE(EngineFire_Spawn(kAt, kNoDir, 1.0f), nullptr);
    EXPECT_EQ(EngineFire::manager->mdlfile, g_GlobalMFI.GetMF(213, false));
    EXPECT_EQ(EngineFire::manager->index, 2);
    EXPECT_EQ(EngineFire::manager->partRef.index, 2);
    EXPECT_EQ(Count(EngineFire::manager), 1);
}

TEST_F(Particles, AnEmptySlotMakesNoManagerAndSpawnsNothing)
{
    PutPartFile(212, nullptr, 0);
    EXPECT_EQ(SkidSmoke_Spawn(kAt, kNoDir, 1.0f), nullptr);
    EXPECT_EQ(SkidSmoke::manager, nullptr);
    EXPECT_TRUE(world.partList.IsEmpty());
    EXPECT_TRUE(world.objectlist.IsEmpty());
}

TEST_F(Particles, AParameterBlockOutsideTheFileIsNotRead)
{
    MDLFILE* mf = g_GlobalMFI.GetMF(214, false);
    const u32 saved = mf->nodes[0].extra2;
    mf->nodes[0].extra2 = g_GlobalMFI.GetMFSize(214) - 2;   // the block would run past the end
    Particle* p = SmokePuff_Spawn(kAt, 0.5f);
    mf->nodes[0].extra2 = saved;
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(SmokePuff::manager->data, nullptr);
    EXPECT_EQ(SmokePuff::manager->partRef.index, -1);
}

// The files come from the game flow's registry: each manager holds one
// counted reference to its slot, and no stand-in table answers any more.
TEST_F(Particles, ManagersTakeTheirFilesFromTheRegistryWithOneReferenceEach)
{
    SmokePuff_Spawn(kAt, 0.5f);
    SmokePuff_Spawn(kAt, 0.5f);
    EngineFire_Spawn(kAt, kNoDir, 1.0f);
    EngineSmoke_Spawn(kAt, kNoDir, 1.0f);
    EXPECT_EQ(g_GlobalMFI.GetMFI(214).smf.refs, 1);
    EXPECT_EQ(g_GlobalMFI.GetMFI(213).smf.refs, 2);
    EXPECT_EQ(g_GlobalMFI.GetMFI(212).smf.refs, 0);
    EXPECT_PRINTED_IN_FRESH_RUN("model files come from the particles' own slot table", 0);
}

// -------------------------------------------------------------- small effects

TEST_F(Particles, BulletBloodMakesThreeDropsForOneAndThreeToSixForFour)
{
    BulletBlood(kAt, kNoDir, 1, 0.01f);
    EXPECT_EQ(Count(Blood::manager), 3);
    std::set<int> seen;
    for (int i = 0; i < 200; i++) {
        const int before = Count(Blood::manager);
        BulletBlood(kAt, kNoDir, 4, 0.01f);
        seen.insert(Count(Blood::manager) - before);
    }
    EXPECT_EQ(seen, (std::set<int>{3, 4, 5, 6}));
    seen.clear();
    for (int i = 0; i < 200; i++) {
        const int before = Count(Spark::manager);
        BulletSparks(kAt, kNoDir);
        seen.insert(Count(Spark::manager) - before);
    }
    EXPECT_EQ(seen, (std::set<int>{3, 4, 5, 6}));
}

TEST_F(Particles, ASmokePuffLeavesOneBrightSecondPuffAtAge8ThatLives15Ticks)
{
    Particle* first = SmokePuff_Spawn(kAt, 0.5f);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->colour.a, 38);
    float w = 0.5f;
    // Updates at ages 0 .. 7: 7.8 not reached.
    for (int t = 0; t < 8; t++) {
        Ticks(1);
        w *= 1.1f;
        ASSERT_EQ(Count(SmokePuff::manager), 1) << "age " << t;
    }
    // The update at age 8 makes it, from the width grown in that update.
    Ticks(1);
    w *= 1.1f;
    ASSERT_EQ(Count(SmokePuff::manager), 2);
    Particle* second = SmokePuff::manager->list.Tail();
    EXPECT_EQ(first->extra.i, 1);
    EXPECT_EQ(second->extra.i, 2);
    EXPECT_FLOAT_EQ(first->w, w);
    EXPECT_FLOAT_EQ(second->w, w * 0.46728969f);
    EXPECT_EQ(second->h, second->w);
    EXPECT_EQ(second->colour, Colour(128, 128, 128, 128));
    EXPECT_EQ(second->timer, 0.0f);
    // Moved off the first by a random vector of its own width.
    const VectorDir off(second->pos - first->pos);
    EXPECT_NEAR(std::sqrt(off.LengthSq()), second->w, 1e-5);
    // Its first update: alpha 15 x 8.5333338; it dies at age 15.
    Ticks(1);
    EXPECT_EQ(second->colour.a, 128);
    Ticks(14);
    EXPECT_TRUE(second->IsDead());
    EXPECT_EQ(second->timer, 15.0f);
}

TEST_F(Particles, SparksInSlowMotionFallAndSlowByTheWholeStepWhileAgeingByHalf)
{
    world.playbackSpeed = 0.5f;
    Particle* p = Spark_Spawn(kAt, 0.0f);
    ASSERT_NE(p, nullptr);
    // The streak: pos is three steps out, pos2 one step behind it.
    const float age = p->timer;
    EXPECT_EQ(age, float(int(age)));
    EXPECT_LT(age, 15.0f);
    const VectorDir v0 = p->vel;
    EXPECT_NEAR(std::sqrt(v0.LengthSq()), Spark::_defSpd, 1e-6);
    EXPECT_LE(v0[1], 0.0f);
    const VectorPos start = p->pos;
    Ticks(1);
    const VectorDir want = AfterFall(v0, 0.00017361113f, 0.00034722226f);
    EXPECT_FLOAT_EQ(p->vel[0], want[0]);
    EXPECT_FLOAT_EQ(p->vel[1], want[1]);
    EXPECT_FLOAT_EQ(p->vel[2], want[2]);
    EXPECT_EQ(p->timer, age + 0.5f);
    // The alphas from the age before the update.
    const float f = (30.0f - age) / 30.0f;
    EXPECT_EQ(p->colour.a, u8(int(f * 255.0f)));
    EXPECT_EQ(p->colour2.a, u8(int(f * 128.0f)));
    // Moved by the new velocity for half a step.
    EXPECT_NEAR(p->pos[1], start[1] + want[1] * 0.5f, 1e-6);
}

TEST_F(Particles, SweatClusterSpreadsAlikeWhateverTheDirection)
{
    Sweat_Spawn(kAt, kNoDir);   // the manager exists before both runs
    auto spread = [](VectorDir dir) {
        srand(77);
        const int before = Count(Sweat::manager);
        Sweat_SpawnCluster(5, kAt, dir);
        std::vector<float> v;
        int i = 0;
        for (Particle* p = Sweat::manager->list.Head(); !p->IsEOList(); p = p->Next(), i++)
            if (i >= before)
                v.insert(v.end(), {p->vel[0], p->vel[1], p->vel[2], p->pos[0], p->pos[1], p->pos[2]});
        return v;
    };
    const std::vector<float> a = spread(VectorDir(1.0f, 0.0f, 0.0f));
    const std::vector<float> b = spread(VectorDir(0.0f, -5.0f, 2.0f));
    ASSERT_EQ(a.size(), 30u);
    EXPECT_EQ(a, b);
}

TEST_F(Particles, ASparklerWithoutDelayBurstsInItsInitAndOneWithADelayThenCountsFromZero)
{
    Sparkler_Create(nullptr, kAt, 1.0f, 0.0f, 0.0f);
    EXPECT_EQ(Count(Spark::manager), 16);   // size 1 x 16, before any tick
    world.Clear();

    Sparkler_Create(nullptr, kAt, 1.0f, 3.0f, 2.0f);
    Sparkler* s = static_cast<Sparkler*>(world.objectlist.Tail()->data.p);
    EXPECT_EQ(Count(Spark::manager), 0);
    Ticks(1);
    EXPECT_EQ(Count(Spark::manager), 0);
    Ticks(1);   // age 2: the burst, and the clock starts again
    EXPECT_EQ(Count(Spark::manager), 16);
    EXPECT_EQ(s->timer, 0.0f);
    Ticks(2);   // ages 1 and 2 of the running phase: 4 sparks each
    EXPECT_EQ(Count(Spark::manager), 24);
    EXPECT_FALSE(s->IsDead());
    Ticks(1);   // age 3: its time-out
    EXPECT_TRUE(s->IsDead());
    EXPECT_EQ(Count(Spark::manager), 24);
}

// --------------------------------------------------------- smoke, fire, steam

TEST_F(Particles, SkidSmokeStrengthSetsItsStartAgeAndAlpha)
{
    Particle* full = SkidSmoke_Spawn(kAt, kNoDir, 1.0f);
    Particle* half = SkidSmoke_Spawn(kAt, kNoDir, 0.75f);
    Particle* none = SkidSmoke_Spawn(kAt, kNoDir, 0.5f);
    ASSERT_TRUE(full && half && none);
    EXPECT_EQ(full->timer, 0.0f);
    EXPECT_EQ(full->colour.a, 64);
    EXPECT_EQ(half->timer, 30.0f);
    EXPECT_EQ(half->colour.a, 32);
    EXPECT_EQ(none->timer, 60.0f);
    Ticks(1);
    EXPECT_TRUE(none->IsDead());
    EXPECT_FALSE(half->IsDead());
    Ticks(1);
    EXPECT_EQ(Count(SkidSmoke::manager), 2);
}

TEST_F(Particles, FireWithExtra0LeavesOneSmokeParticleAtAge15AndWithExtra1None)
{
    Particle* fire = EngineFire_Spawn(kAt, VectorDir(0.01f, 0.0f, 0.0f), 2.0f);
    Particle* clean = EngineFire_Spawn(kAt, kNoDir, 2.0f);
    ASSERT_TRUE(fire && clean);
    fire->extra = 0;
    clean->extra = 1;
    EngineFire* fm = EngineFire::manager;
    for (int t = 0; t < 15; t++)
        fm->Update(1.0f);
    EXPECT_EQ(EngineSmoke::manager, nullptr);
    fm->Update(1.0f);   // the update at age 15
    ASSERT_NE(EngineSmoke::manager, nullptr);
    ASSERT_EQ(Count(EngineSmoke::manager), 1);
    const Particle* smoke = EngineSmoke::manager->list.Head();
    EXPECT_EQ(smoke->colour, Colour(64, 64, 64, 0));
    EXPECT_EQ(smoke->vel[0], fire->vel[0]);
    EXPECT_EQ(smoke->vel[1], fire->vel[1]);
    EXPECT_EQ(smoke->w, fire->w);
    EXPECT_EQ(smoke->h, fire->h);
    EXPECT_EQ(smoke->scale, 2.0f);
    EXPECT_EQ(smoke->rotSpd, fire->rotSpd);
    // The copy was taken before the fire's move of this update.
    EXPECT_NEAR(smoke->pos[0] + fire->vel[0] * 2.0f, fire->pos[0], 1e-6);
    EXPECT_NEAR(FixAng(smoke->rotZ + fire->rotSpd), fire->rotZ, 1e-5);
    EXPECT_EQ(fire->extra.i, 1);
    for (int t = 0; t < 14; t++)
        fm->Update(1.0f);
    EXPECT_EQ(Count(EngineSmoke::manager), 1);
}

TEST_F(Particles, SuccessiveMushroomFireParticlesAlternateInLeavingSmoke)
{
    ShroomFire_SpawnCluster(2, kAt, 1.0f);
    ASSERT_EQ(Count(ShroomFire::manager), 2);
    const Particle* a = ShroomFire::manager->list.Head();
    const Particle* b = a->Next();
    EXPECT_NE(a->extra.i, b->extra.i);
    // Colours at the first update (age 0): 170, alpha 42 x 4.047619.
    Ticks(1);
    EXPECT_EQ(a->colour, Colour(170, 170, 170, u8(int(42.0f * 4.047619f))));
    Ticks(21);   // the update at age 21
    EXPECT_EQ(Count(ShroomSmoke::manager), 1);
}

TEST_F(Particles, ACrackleShowsItsFramesOnceAndHasNoTimeOut)
{
    Particle* p = Crackle_Spawn(kAt, 1.0f);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(Crackle::manager->timeOut, 0.0f);
    // Four frames at 0.5 a tick: frames 0, 1, 1, 2, 2, 3, 3, then gone.
    const int want[7] = {0, 1, 1, 2, 2, 3, 3};
    for (int i = 0; i < 7; i++) {
        Ticks(1);
        ASSERT_FALSE(p->IsDead()) << i;
        EXPECT_EQ(p->frame, want[i]);
    }
    Ticks(1);
    EXPECT_TRUE(p->IsDead());
}

TEST_F(Particles, EngineSmokeAndFireKeepOffScreenParticlesOnlyWhenMadeInCinemaModeFogAlways)
{
    ASSERT_NE(EngineFire_Spawn(kAt, kNoDir, 1.0f), nullptr);
    ASSERT_NE(FogPuff_Spawn(kAt, kNoDir, 1.0f), nullptr);
    EXPECT_EQ(EngineFire::manager->partFlags & PART_KEEP, 0);
    EXPECT_EQ(FogPuff::manager->partFlags & PART_KEEP, PART_KEEP);
    world.Clear();
    world.mode = WORLD_MODE_CINEMA;
    ASSERT_NE(EngineFire_Spawn(kAt, kNoDir, 1.0f), nullptr);
    ASSERT_NE(EngineSmoke_Spawn(kAt, kNoDir, 1.0f), nullptr);
    EXPECT_EQ(EngineFire::manager->partFlags & PART_KEEP, PART_KEEP);
    EXPECT_EQ(EngineSmoke::manager->partFlags & PART_KEEP, PART_KEEP);
    // Off screen at the last draw: kept.
    Particle* p = EngineFire::manager->list.Head();
    p->onScreen = false;
    Ticks(1);   // frame calls reach managers in cinema mode too
    EXPECT_FALSE(p->IsDead());
    EXPECT_EQ(p->timer, 1.0f);
}

TEST_F(Particles, GeyserWaterFadesFrom256StoredAsZeroThenFromFull)
{
    Matrix up(true);
    Geyser_Create(nullptr, &up, 0.0f, 1.0f);
    Ticks(1);
    ASSERT_GT(Count(GeyserWater::manager), 0);
    Particle* p = GeyserWater::manager->list.Head();
    // Known ages: 0 gives 256 (stored as 0), 6 gives 192, 12 gives 128, 42 gives 92.
    const struct
    {
        float t;
        u8 a;
    } cases[] = {{0, 0}, {6, 192}, {12, 128}, {42, 92}};
    for (const auto& c : cases) {
        p->timer = c.t;
        GeyserWater::MyUpdate(p);
        EXPECT_EQ(p->colour.a, c.a) << "age " << c.t;
    }
}
