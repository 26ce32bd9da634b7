#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "ee/console_out.h"

#include "ZevEngine2/object_support.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/particle.h"

using objtest::HeapFree;

namespace {

// A model file handle with a particle table of `n` entries and no other data:
// the block directory names the table so that its length is known.
struct PartFile
{
    alignas(16) u32 header[3];
    PS2Part parts[4];
    MDLFILE mf{};

    explicit PartFile(int n)
    {
        header[0] = 1;
        header[1] = u32(EX5_BLOCK_PARTICLE) | u32(n) << 16;
        header[2] = u32(reinterpret_cast<uintptr_t>(parts));
        for (PS2Part& p : parts)
            p = PS2Part{0, 16, 16, 4};
        mf.header = reinterpret_cast<ModelHeader*>(header);
        mf.parts = parts;
    }
};

// Hooks record what they were given.
struct InitCall
{
    Particle* p;
    int a, b;
    float scale;
};
std::vector<InitCall> g_inits;
std::vector<Particle*> g_updated;

void RecordInit(Particle* p, Variant a, Variant b, float scale)
{
    g_inits.push_back({p, a.i, b.i, scale});
}

class Particles : public ::testing::Test
{
protected:
    void SetUp() override
    {
        g_inits.clear();
        g_updated.clear();
        heapBefore = HeapFree();
        pm = new PartManager;
        ASSERT_NE(pm, nullptr);
    }
    void TearDown() override
    {
        if (pm)
            pm->Delete();
        EXPECT_EQ(HeapFree(), heapBefore) << "particles or the manager were not freed";
    }

    int Count() const { return pm->list.Count(); }

    unsigned heapBefore = 0;
    PartManager* pm = nullptr;
};

}  // namespace

// ------------------------------------------------------------------ creation

TEST_F(Particles, NewParticleTakesTheManagersLookAndCountsAsOnScreen)
{
    pm->partFlags = PART_ANIMATED | PART_KEEP;
    pm->w = 0.25f;
    pm->h = 0.5f;
    Particle* p = pm->CreatePart(2.0f, 0, 0);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->partMan, pm);
    EXPECT_EQ(p->flags, PART_ANIMATED | PART_KEEP);
    EXPECT_EQ(p->w, 0.25f);
    EXPECT_EQ(p->h, 0.5f);
    EXPECT_EQ(p->scale, 2.0f);
    EXPECT_EQ(p->timer, 0.0f);
    EXPECT_EQ(p->frame, 0);
    EXPECT_TRUE(p->onScreen);
    EXPECT_EQ(p->extra.i, 0);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u) << "positions need 16-byte alignment";
}

TEST_F(Particles, CreatePartAppendsThenCallsTheInitHook)
{
    pm->InitFcn = RecordInit;
    Particle* a = pm->CreatePart(1.0f, 11, 12);
    Particle* b = pm->CreatePart(0.5f, 21, 22);
    ASSERT_EQ(Count(), 2);
    EXPECT_EQ(pm->list.Head(), a);
    EXPECT_EQ(pm->list.Tail(), b);
    ASSERT_EQ(g_inits.size(), 2u);
    EXPECT_EQ(g_inits[1].p, b);
    EXPECT_EQ(g_inits[1].a, 21);
    EXPECT_EQ(g_inits[1].b, 22);
    EXPECT_EQ(g_inits[1].scale, 0.5f);
}

TEST_F(Particles, SpawnParticleCreatesOnlyOnALiveManager)
{
    EXPECT_EQ(SpawnParticle(nullptr, 1.0f, 0, 0), nullptr);
    Particle* p = SpawnParticle(pm, 3.0f, 0, 0);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->scale, 3.0f);
    EXPECT_EQ(pm->list.Head(), p);

    // A destroyed manager kept readable by a counted reference spawns nothing.
    RCptr<Object> ref(pm);
    pm->Delete();
    EXPECT_EQ(SpawnParticle(pm, 1.0f, 0, 0), nullptr);
    pm = nullptr;
}

// With the heap used up, no particle block can be had: nothing is spawned and
// the hook is not called.
TEST_F(Particles, EmptyPoolSpawnsNothing)
{
    pm->InitFcn = RecordInit;
    std::vector<void*> hog;
    for (size_t size = size_t{1} << 26; size >= 16;) {
        void* q = malloc(size);
        if (q)
            hog.push_back(q);
        else
            size /= 2;
    }
    std::vector<Particle*> made;
    Particle* p;
    while ((p = pm->CreatePart(1.0f, 0, 0)) != nullptr && made.size() < 100000)
        made.push_back(p);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(Count(), int(made.size()));
    EXPECT_EQ(g_inits.size(), made.size());
    for (void* q : hog)
        free(q);
}

TEST_F(Particles, DestroyingTheManagerFreesItsParticles)
{
    for (int i = 0; i < 300; i++)   // more than one pool chunk
        ASSERT_NE(pm->CreatePart(1.0f, 0, 0), nullptr);
    pm->Delete();
    pm = nullptr;
    // TearDown checks that the heap got everything back.
}

// ------------------------------------------------------------------- update

TEST_F(Particles, TimeOutMarksDeadThenTheNextUpdateFrees)
{
    pm->timeOut = 2.0f;
    Particle* p = pm->CreatePart(1.0f, 0, 0);
    pm->Update(1.0f);
    EXPECT_FALSE(p->IsDead());
    pm->Update(1.0f);
    ASSERT_EQ(Count(), 1);
    EXPECT_TRUE(p->IsDead());
    pm->Update(1.0f);
    EXPECT_EQ(Count(), 0);
}

TEST_F(Particles, NonLoopingAnimationEndsAfterItsLastFrame)
{
    PartFile file(1);
    pm->mdlfile = &file.mf;
    pm->partRef.index = 0;
    pm->partFlags = PART_ANIMATED;
    pm->rate = 0.5f;
    Particle* p = pm->CreatePart(1.0f, 0, 0);
    const int want[7] = {0, 1, 1, 2, 2, 3, 3};
    for (int i = 0; i < 7; i++) {
        pm->Update(1.0f);
        ASSERT_FALSE(p->IsDead()) << "update " << i + 1;
        EXPECT_EQ(p->frame, want[i]) << "update " << i + 1;
    }
    pm->Update(1.0f);
    EXPECT_TRUE(p->IsDead());
    pm->mdlfile = nullptr;
}

TEST_F(Particles, LoopingAnimationWrapsItsFrames)
{
    PartFile file(1);
    pm->mdlfile = &file.mf;
    pm->partRef.index = 0;
    pm->partFlags = PART_ANIMATED | PART_LOOP;
    pm->rate = 1.0f;
    Particle* p = pm->CreatePart(1.0f, 0, 0);
    for (int i = 1; i <= 10; i++) {
        pm->Update(1.0f);
        EXPECT_EQ(p->frame, i % 4);
    }
    EXPECT_FALSE(p->IsDead());
    pm->mdlfile = nullptr;
}

TEST_F(Particles, AnimationWithoutATableEntryCountsFramesForever)
{
    PartFile file(1);
    pm->mdlfile = &file.mf;
    pm->partRef.index = 1;   // beyond the one-entry table
    pm->partFlags = PART_ANIMATED;
    pm->rate = 2.0f;
    EXPECT_EQ(pm->GetPart(), nullptr);
    Particle* p = pm->CreatePart(1.0f, 0, 0);
    for (int i = 0; i < 10; i++)
        pm->Update(1.0f);
    EXPECT_FALSE(p->IsDead());
    EXPECT_EQ(p->frame, 20);
    pm->mdlfile = nullptr;
}

TEST_F(Particles, UndefinedFrameProductGivesFrameZero)
{
    pm->partFlags = PART_ANIMATED;
    pm->rate = std::nanf("");
    Particle* p = pm->CreatePart(1.0f, 0, 0);
    pm->Update(1.0f);
    EXPECT_EQ(p->frame, 0);
    pm->rate = 1e30f;
    pm->Update(1.0f);
    EXPECT_EQ(p->frame, std::numeric_limits<int>::max());
}

TEST_F(Particles, OffScreenParticleIsDroppedUnlessKept)
{
    Particle* gone = pm->CreatePart(1.0f, 0, 0);
    Particle* kept = pm->CreatePart(1.0f, 0, 0);
    Particle* fresh = pm->CreatePart(1.0f, 0, 0);   // never drawn
    kept->flags |= PART_KEEP;
    gone->onScreen = false;
    kept->onScreen = false;

    pm->Update(1.0f);
    EXPECT_TRUE(gone->IsDead());
    EXPECT_EQ(gone->timer, 0.0f) << "a particle dropped off screen is not aged";
    EXPECT_FALSE(kept->IsDead());
    EXPECT_FALSE(fresh->IsDead());
    pm->Update(1.0f);
    ASSERT_EQ(Count(), 2);
    EXPECT_EQ(pm->list.Head(), kept);
    EXPECT_EQ(pm->list.Tail(), fresh);
}

TEST_F(Particles, HookRunsOnLiveParticlesAndMayKillThem)
{
    pm->UpdateFcn = [](Particle* p) {
        g_updated.push_back(p);
        if (p->extra.i == 1)
            p->Kill();
    };
    Particle* a = pm->CreatePart(1.0f, 0, 0);
    Particle* b = pm->CreatePart(1.0f, 0, 0);
    Particle* c = pm->CreatePart(1.0f, 0, 0);
    b->extra = 1;
    c->Kill();
    pm->Update(1.0f);
    // c was dead already: no hook; b was killed by it: both freed at once.
    ASSERT_EQ(g_updated.size(), 2u);
    EXPECT_EQ(g_updated[0], a);
    EXPECT_EQ(g_updated[1], b);
    ASSERT_EQ(Count(), 1);
    EXPECT_EQ(pm->list.Head(), a);
}

TEST_F(Particles, ParticlesSpawnedByAHookWaitForTheNextUpdate)
{
    static PartManager* self;
    self = pm;
    pm->UpdateFcn = [](Particle* p) {
        g_updated.push_back(p);
        if (p->extra.i == 0) {
            p->extra = 1;
            self->CreatePart(1.0f, 0, 0);
        }
    };
    pm->CreatePart(1.0f, 0, 0);
    pm->CreatePart(1.0f, 0, 0);
    pm->Update(1.0f);
    EXPECT_EQ(g_updated.size(), 2u);
    ASSERT_EQ(Count(), 4);
    EXPECT_EQ(pm->list.Tail()->timer, 0.0f);
    pm->Update(1.0f);
    EXPECT_EQ(Count(), 6) << "each new particle spawns one of its own at its first update";
}

TEST_F(Particles, MotionScalesVelocityAndWind)
{
    const VectorDir oldWind = WindGet();
    WindSet(VectorDir(0.0f, 0.0f, 4.0f));
    Particle* p = pm->CreatePart(2.0f, 0, 0);
    p->pos = VectorPos(1.0f, 2.0f, 3.0f);
    p->vel = VectorDir(0.5f, -1.0f, 0.0f);
    pm->Update(0.5f);
    EXPECT_EQ(p->pos, VectorPos(1.5f, 1.0f, 3.0f)) << "no wind factor: the wind does not move it";

    pm->wind = 0.25f;
    pm->Update(0.5f);
    // vel x scale x dt = (0.5, -1, 0); wind x 0.25 x scale x dt = (0, 0, 1).
    EXPECT_EQ(p->pos, VectorPos(2.0f, 0.0f, 4.0f));
    WindSet(oldWind);
}

TEST_F(Particles, OnlyFlatParticlesTurnAndTheirAngleWraps)
{
    Particle* p = pm->CreatePart(1.0f, 0, 0);
    p->rotZ = 3.0f;
    p->rotSpd = 0.5f;
    pm->Update(1.0f);
    EXPECT_EQ(p->rotZ, 3.0f);

    pm->partType = PART_TYPE_FLAT;
    pm->Update(1.0f);
    EXPECT_NEAR(p->rotZ, 3.5f - 2.0f * 3.14159265f, 1e-5f);
}

// ------------------------------------------------------------------ helpers

TEST(ParticleHelpers, DragShortensAndStopsAtZero)
{
    EXPECT_EQ(Drag(VectorDir(0.0f, 1.0f, 0.0f), 2.0f), VectorDir(0.0f, 0.0f, 0.0f));
    EXPECT_EQ(Drag(VectorDir(0.0f, 0.0f, 0.0f), 2.0f), VectorDir(0.0f, 0.0f, 0.0f));
    const VectorDir d = Drag(VectorDir(3.0f, 0.0f, 4.0f), 2.0f);   // length 5 -> 3
    EXPECT_NEAR(d[0], 1.8f, 1e-6f);
    EXPECT_NEAR(d[2], 2.4f, 1e-6f);
    EXPECT_EQ(d[1], 0.0f);
}

TEST(ParticleHelpers, Drag2DKeepsTheVerticalSpeed)
{
    const VectorDir d = Drag2D(VectorDir(3.0f, -7.0f, 4.0f), 2.0f);
    EXPECT_NEAR(d[0], 1.8f, 1e-6f);
    EXPECT_EQ(d[1], -7.0f);
    EXPECT_NEAR(d[2], 2.4f, 1e-6f);
    EXPECT_EQ(Drag2D(VectorDir(0.0f, 5.0f, 0.0f), 1.0f), VectorDir(0.0f, 5.0f, 0.0f));
    EXPECT_EQ(Drag2D(VectorDir(1.0f, 5.0f, 0.0f), 3.0f), VectorDir(0.0f, 5.0f, 0.0f));
}

// The first random number picks the pitch, the second the yaw; the result is
// r (cos p sin y, -sin p, cos p cos y), within the accuracy of the game's
// sine and cosine.
TEST(ParticleHelpers, RandSphereTakesPitchThenYaw)
{
    srand(77);
    int distinct = 0;
    for (int i = 0; i < 20; i++) {
        const int state = randseed;
        const float a = randf(), b = randf();
        randseed = state;
        const VectorDir v = RandSphere(2.0f);
        EXPECT_NE(randseed, state);
        const double pitch = M_PI / 2 - a * M_PI;
        double yaw = b * 2 * M_PI;
        if (yaw > M_PI)
            yaw -= 2 * M_PI;
        EXPECT_NEAR(v[0], 2 * std::cos(pitch) * std::sin(yaw), 0.01);
        EXPECT_NEAR(v[1], -2 * std::sin(pitch), 0.01);
        EXPECT_NEAR(v[2], 2 * std::cos(pitch) * std::cos(yaw), 0.01);
        EXPECT_NEAR(v.Length(), 2.0f, 0.01f);
        distinct += std::fabs(a - b) > 0.2f;
    }
    EXPECT_GT(distinct, 5) << "too few draws tell the pitch from the yaw";
}
