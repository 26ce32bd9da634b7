// The effect emitters: flamers and smokers, the mushroom cloud and the
// geyser, run through the world's ticks.
#include "game/particle_support.h"

#include <cmath>
#include <vector>

#include "game/smoke.h"

using namespace parttest;

namespace {

using Emitters = ParticleWorld;

// What an init hook was given: wraps a class's MyInit and records the size.
struct Spawned
{
    int tick;
    float scale;
    VectorPos pos;
};
std::vector<Spawned> g_spawned;
int g_tick = 0;
PARTINITFCN g_wrapped = nullptr;

void RecordingInit(Particle* p, Variant a, Variant b, float scale)
{
    g_wrapped(p, a, b, scale);
    g_spawned.push_back({g_tick, scale, p->pos});
}

// Makes the class's manager (one throw-away particle) and records every
// later spawn of it.
template <class T>
void Record(T* manager)
{
    ASSERT_NE(manager, nullptr);
    manager->list.DeleteAll();
    g_wrapped = manager->InitFcn;
    manager->InitFcn = RecordingInit;
    g_spawned.clear();
}

// A plain object in the world to ride on.
Object* NewParent(VectorPos at)
{
    Object* o = new Object;
    o->mat = TransMatrix(at);
    world.AddObject(o, nullptr);
    return o;
}

// The ticks (1-based) at which a spawn was recorded.
std::vector<int> TicksOf(const std::vector<Spawned>& s)
{
    std::vector<int> t;
    for (const Spawned& x : s)
        t.push_back(x.tick);
    return t;
}

}  // namespace

TEST_F(Emitters, AFlamerEmitsOnTheTicksItsAgeReachesEachDueTimeAndDiesAfterItsParent)
{
    Object* parent = NewParent(VectorPos(0.0f, 0.0f, 0.0f));
    Record(PartManagerFor<EngineFire>(EngineFire::EngineFire_mh, 213, 2));
    Flamer_Create(parent, VectorPos(0.0f, -1.0f, 0.0f), 0.0f, 1.0f, false);
    Flamer* f = static_cast<Flamer*>(world.objectlist.Tail()->data.p);
    EXPECT_EQ(f->flags & 0x410002u, 0x410002u);
    for (g_tick = 1; g_tick <= 10; g_tick++) {
        // The parent walks along x: the particles take its motion.
        parent->mat.w.setx(float(g_tick) * 0.1f);
        Ticks(1);
    }
    EXPECT_EQ(TicksOf(g_spawned), (std::vector<int>{1, 2, 3, 5, 6, 8, 9}));
    for (Particle* p = EngineFire::manager->list.Head(); !p->IsEOList(); p = p->Next())
        EXPECT_EQ(p->extra.i, 1) << "made without smoke";
    EXPECT_NEAR(f->vel[0], 0.1f, 1e-6);
    EXPECT_NEAR(f->mat.GetTrans()[1], -1.0f, 1e-6);

    parent->Delete();
    EXPECT_FALSE(f->IsDead());
    Ticks(1);
    EXPECT_TRUE(f->IsDead());
}

// A flamer made on a parent far from the world's origin starts on it: its
// first flame moves with the parent's step, not with the whole way there.
TEST_F(Emitters, AFlamersFirstFlameTakesOnlyItsParentsStep)
{
    Object* parent = NewParent(VectorPos(100.0f, 0.0f, 50.0f));
    Record(PartManagerFor<EngineFire>(EngineFire::EngineFire_mh, 213, 2));
    Flamer_Create(parent, VectorPos(0.0f, -1.0f, 0.0f), 0.0f, 1.0f, false);
    Flamer* f = static_cast<Flamer*>(world.objectlist.Tail()->data.p);
    parent->mat.w.setx(100.25f);
    g_tick = 1;
    Ticks(1);
    EXPECT_NEAR(f->vel[0], 0.25f, 1e-5);
    EXPECT_NEAR(f->vel[1], 0.0f, 1e-6);
    EXPECT_NEAR(f->vel[2], 0.0f, 1e-6);
    ASSERT_EQ(g_spawned.size(), 1u);
    EXPECT_NEAR(g_spawned[0].pos[0], 100.25f, 1e-4);
    EXPECT_NEAR(g_spawned[0].pos[1], -1.0f, 1e-5);
    // Its speed is the fire's own drift and the parent's step: well under a
    // unit a tick.
    const Particle* p = EngineFire::manager->list.Head();
    EXPECT_LT(std::fabs(p->vel[0]), 0.3f);
    EXPECT_LT(std::fabs(p->vel[2]), 0.05f);
}

TEST_F(Emitters, AFlamerWithATimeOutStillEmitsInItsLastTick)
{
    Record(PartManagerFor<EngineFire>(EngineFire::EngineFire_mh, 213, 2));
    Flamer_Create(nullptr, VectorPos(2.0f, 0.0f, 0.0f), 3.0f, 0.5f, true);
    Flamer* f = static_cast<Flamer*>(world.objectlist.Tail()->data.p);
    for (g_tick = 1; g_tick <= 3; g_tick++)
        Ticks(1);
    EXPECT_TRUE(f->IsDead());
    EXPECT_EQ(TicksOf(g_spawned), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(g_spawned[0].scale, 0.5f);
    EXPECT_EQ(g_spawned[0].pos[0], 2.0f);
}

TEST_F(Emitters, SmokersFeedSteamAndBlackSmoke)
{
    WhiteSmoker_Create(nullptr, VectorPos(0.0f, 0.0f, 0.0f), 0.0f, 1.0f);
    BlackSmoker_Create(nullptr, VectorPos(0.0f, 0.0f, 0.0f), 0.0f, 1.0f);
    Ticks(3);   // ages 1, 2, 3: due times 0, 1.5, 3
    EXPECT_EQ(Count(EngineSteam::manager), 3);
    EXPECT_EQ(Count(EngineSmoke::manager), 3);
    const Colour c = EngineSmoke::manager->list.Head()->colour;
    EXPECT_EQ(Colour(c.r, c.g, c.b, 0), Colour(64, 64, 64, 0));
}

TEST_F(Emitters, AMushroomCloudRisesWithFireAndCracklesAroundItsStartForItsFirst24Ticks)
{
    Record(PartManagerFor<Crackle>(Crackle::Crackle_mh, 215, 1));
    const VectorPos start(4.0f, -1.0f, 2.0f);
    MushroomCloud* c = MushroomCloud_Create(nullptr, start, 1.0f);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(Count(ShroomFire::manager), 8);
    for (g_tick = 1; g_tick <= 20; g_tick++) {
        Ticks(1);
        ASSERT_EQ(Count(ShroomFire::manager), 8 + 2 * g_tick);
        EXPECT_NEAR(c->mat.GetTrans()[1], -1.0f - 0.015625f * float(g_tick), 1e-5);
    }
    for (; g_tick < 60; g_tick++)
        Ticks(1);
    EXPECT_FALSE(c->IsDead());
    Ticks(1);   // the update that takes its age to 60
    EXPECT_TRUE(c->IsDead());

    // The first at age 0, the last at age 24 or before (tick = age + 1), due
    // 1.2 to 7.8 ticks apart (so never more than 8 whole ticks), all round
    // the start raised by the crackle radius.
    ASSERT_GE(g_spawned.size(), 4u);
    EXPECT_EQ(g_spawned.front().tick, 1);
    EXPECT_LE(g_spawned.back().tick, 25);
    for (size_t i = 1; i < g_spawned.size(); i++) {
        const int gap = g_spawned[i].tick - g_spawned[i - 1].tick;
        EXPECT_GE(gap, 1);
        EXPECT_LE(gap, 8);
    }
    for (const Spawned& s : g_spawned) {
        const VectorDir d(s.pos - (start + VectorDir(0.0f, -0.15625f, 0.0f)));
        EXPECT_NEAR(std::sqrt(d.LengthSq()), 0.15625f, 1e-5);
    }
}

TEST_F(Emitters, AMushroomCloudWithoutAParentCracklesAroundItsOwnPlace)
{
    MushroomCloud* c = MushroomCloud_Create(nullptr, VectorPos(9.0f, 0.0f, 0.0f), 1.0f);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->startPos[0], 9.0f);
    Object* parent = NewParent(VectorPos(0.0f, 0.0f, 5.0f));
    MushroomCloud* d = MushroomCloud_Create(parent, VectorPos(1.0f, 0.0f, 0.0f), 1.0f);
    EXPECT_EQ(d->startPos[0], 1.0f);
    EXPECT_EQ(d->startPos[2], 5.0f);
}

TEST_F(Emitters, AGeyserShrinksItsJetOverTheSecondHalfAndItsMistOverTheLastQuarter)
{
    Record(PartManagerFor<GeyserWater>(GeyserWater::GeyserWater_mh, 216, 0));
    std::vector<Spawned> water;
    Matrix at(true);
    Geyser* g = Geyser_Create(nullptr, &at, 200.0f, 1.0f);
    ASSERT_NE(g, nullptr);
    // Mist sizes: recorded through their own manager once it exists.
    for (g_tick = 1; g_tick <= 160; g_tick++)
        Ticks(1);
    water = g_spawned;
    for (const Spawned& s : water) {
        const float age = float(s.tick);   // the age after the tick's step
        if (age <= 100.0f)
            EXPECT_EQ(s.scale, 1.0f) << "tick " << s.tick;
        else
            EXPECT_NEAR(s.scale, (200.0f - age) / 100.0f, 1e-5) << "tick " << s.tick;
    }
    // Up to age 150 the mist keeps size 1, so the interval stays 1.5.
    int upTo150 = 0;
    for (const Spawned& s : water)
        upTo150 += s.tick <= 150 ? 1 : 0;
    EXPECT_EQ(upTo150, 101);   // due at 0, 1.5, ..., 150
    ASSERT_NE(GeyserMist::manager, nullptr);
    GeyserWater::manager->InitFcn = GeyserWater::MyInit;
    Record(GeyserMist::manager);
    for (; g_tick <= 170; g_tick++)
        Ticks(1);
    ASSERT_FALSE(g_spawned.empty());
    for (const Spawned& s : g_spawned)
        EXPECT_NEAR(s.scale, (200.0f - float(s.tick)) / 50.0f, 1e-5);
}

TEST_F(Emitters, AGeyserWhoseParentDiesGoesOnWhereItStands)
{
    Object* parent = NewParent(VectorPos(0.0f, 0.0f, 0.0f));
    Matrix up(true);
    up.SetTrans(VectorPos(0.0f, -0.5f, 0.0f));
    Geyser* g = Geyser_Create(parent, &up, 0.0f, 1.0f);
    parent->mat.w.setx(3.0f);
    Ticks(1);
    EXPECT_EQ(g->mat.GetTrans()[0], 3.0f);
    parent->Delete();
    Ticks(1);
    const int before = Count(GeyserWater::manager);
    Ticks(3);
    EXPECT_FALSE(g->IsDead());
    EXPECT_EQ(g->mat.GetTrans()[0], 3.0f);
    EXPECT_EQ(g->rcParent, nullptr);
    EXPECT_EQ(Count(GeyserWater::manager), before + 2);
}

TEST_F(Emitters, ASewageGeyserSpawnsNothingWhileItsSlotIsEmpty)
{
    Matrix at(true);
    Geyser* g = PooGeyser_Create(nullptr, &at, 0.0f, 1.0f);
    ASSERT_NE(g, nullptr);
    EXPECT_TRUE(g->isPoo);
    Ticks(5);
    EXPECT_EQ(PooGeyserWater::manager, nullptr);
    EXPECT_EQ(GeyserWater::manager, nullptr);
    EXPECT_FALSE(g->IsDead());
}

TEST_F(Emitters, AGeyserPastItsTimeOutStopsEmittingInsteadOfLooping)
{
    Matrix at(true);
    // A time-out the step passes without landing on it: the last tick's
    // size is below zero.
    Geyser* g = Geyser_Create(nullptr, &at, 2.5f, 1.0f);
    Ticks(3);
    EXPECT_TRUE(g->IsDead());
}
