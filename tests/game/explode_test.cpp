// Explosions: the walk of an explosion record, its delays, the effect codes,
// damage around a blast, and the pieces left flying, falling and toppling.
#include <gtest/gtest.h>

#include "game/explode_support.h"
#include "game/particle_support.h"

#include "ZevEngine2/PS2/Model.h"
#include "ZevEngine2/PS2/Sound.h"
#include "game/controller_support.h"
#include "game/MAIN.h"
#include "game/explosn.h"
#include "game/GameFEnt.h"
#include "game/GameFlow.h"
#include "game/smoke.h"
#include "ZevEngine2/PS2/RenderContext.h"

using namespace explodetest;

namespace {

constexpr int kSlot = 250;

// Models: 0 the whole prop (radius 0.3), 1 its wreck, 2 a small piece.
tools::P2BFile PropFile()
{
    tools::P2BFile f;
    f.models = {BareModel(0.3f), BareModel(0.25f), BareModel(0.1f)};
    return f;
}

NODE Node(u16 model, u16 extra = 0, VectorPos pos = VectorPos(0, 0, 0))
{
    return tools::MakeNode(model, pos, VectorXYZ(0, 0, 0), extra);
}

class Explosions : public parttest::ParticleWorld
{
protected:
    void TearDown() override
    {
        world.pedlist.RemoveAll();
        parttest::ParticleWorld::TearDown();
        sndbank_dest = 0xFFFF;
    }

    // The prop (node 0) built and placed in the world.
    Object* Prop(MDLFILE* mf, VectorPos at = VectorPos(0.0f, -1.0f, 0.0f))
    {
        Object* o = mf->GetHierarchy(0, sizeof(Object), 0);
        o->mat = TransMatrix(at);
        world.AddObject(o, nullptr);
        return o;
    }

    // Live objects of the world whose handler is mh.
    static int Live(OBJMESSAGEHANDLER mh)
    {
        int n = 0;
        for (ObjectIterator it = world.objectlist.Begin(); !it.IsEOList(); ++it)
            n += (!it->IsDead() && it->messagehandler == mh) ? 1 : 0;
        return n;
    }
    static Object* First(OBJMESSAGEHANDLER mh)
    {
        for (ObjectIterator it = world.objectlist.Begin(); !it.IsEOList(); ++it)
            if (!it->IsDead() && it->messagehandler == mh)
                return *it;
        return nullptr;
    }
    static int Puffs() { return parttest::Count(DustPuff::manager); }
};

// Root 0 (model 0) with its record 1 (wreck model 1, delay word `delay`),
// under which: a dust effect (0x8409) and a plain scenery node (model 2).
tools::P2BFile RecordFile(u16 delay)
{
    tools::P2BFile f = PropFile();
    f.AddNode(-1, Node(0));
    const int rec = f.AddNode(0, Node(0xF001, delay));
    f.AddNode(rec, Node(0x8409));
    f.AddNode(rec, Node(2));
    return f;
}

}  // namespace

TEST_F(Explosions, TheRecordsDelayWordSwapsTheModelAtOnceNeverOrFramesLater)
{
    for (u16 delay : {u16(0), u16(0xAAAA)}) {
        SlotFile file(kSlot, RecordFile(delay));
        Object* o = Prop(file.mf());
        ASSERT_TRUE(Explode2(o));
        ASSERT_NE(o->geom, nullptr);
        EXPECT_EQ(o->geom->index, 1) << delay;
        EXPECT_EQ(o->index, 1);
        world.Clear();
    }
    {
        // 999: the hierarchy runs (dust, scenery) but the model stays.
        SlotFile file(kSlot, RecordFile(999));
        Object* o = Prop(file.mf());
        const int before = Puffs();
        ASSERT_TRUE(Explode2(o));
        EXPECT_EQ(o->geom->index, 0);
        EXPECT_EQ(Puffs() - before, 6);
        ASSERT_NE(o->child, nullptr);
        EXPECT_EQ(o->child->geom->index, 2);
        EXPECT_TRUE(world.timerlist.IsEmpty());
        world.Clear();
    }
    {
        // 30: a timer 30 frames (7680) on; the model changes on the 30th tick.
        SlotFile file(kSlot, RecordFile(30));
        Object* o = Prop(file.mf());
        const u32 now = world.timePrecise.t;
        ASSERT_TRUE(Explode2(o));
        ASSERT_FALSE(world.timerlist.IsEmpty());
        EXPECT_EQ(world.timerlist.Head()->time.t - now, 7680u);
        Ticks(29);
        EXPECT_EQ(o->geom->index, 0);
        Ticks(1);
        EXPECT_EQ(o->geom->index, 1);
        EXPECT_TRUE(world.timerlist.IsEmpty());
    }
}

TEST_F(Explosions, AnEffectNodeWithDelay999FiresAfter999Frames)
{
    tools::P2BFile f = PropFile();
    f.AddNode(-1, Node(0));
    const int rec = f.AddNode(0, Node(0xF001, 999));
    f.AddNode(rec, Node(0x8409, 999));
    SlotFile file(kSlot, f);
    Object* o = Prop(file.mf());
    const int before = Puffs();
    ASSERT_TRUE(Explode2(o));
    Ticks(998);
    EXPECT_EQ(Puffs(), before);
    Ticks(1);
    EXPECT_EQ(Puffs() - before, 6);
}

TEST_F(Explosions, PreDamageBuildsSceneryAndEntitiesAndSwapsAtOnceWithoutEffects)
{
    tools::P2BFile f = PropFile();
    f.AddNode(-1, Node(0));
    const int rec = f.AddNode(0, Node(0xF001, 30));
    f.AddNode(rec, Node(0x8409));                 // effect
    f.AddNode(rec, Node(0x9200));                 // sound
    f.AddNode(rec, Node(0xD002));                 // debris
    f.AddNode(rec, Node(0xE002));                 // toppling part
    f.AddNode(rec, Node(2));                      // scenery
    const int ent = f.AddNode(rec, Node(2, 3));   // a flying piece
    SlotFile file(kSlot, f, {{ent, tools::EntityParamBytes(2, 0, 1.0f)}});
    sndbank_dest = 0;
    const int channels = sound.NumFreeChannels();
    Object* o = Prop(file.mf());
    const int before = Puffs();
    ASSERT_TRUE(PreDamage(o));
    EXPECT_EQ(o->geom->index, 1);
    EXPECT_EQ(Puffs(), before);
    EXPECT_EQ(sound.NumFreeChannels(), channels);
    EXPECT_EQ(Live(Debris_mh), 0);
    EXPECT_EQ(Live(Toppling_mh), 0);
    EXPECT_EQ(Live(FXDebris::_mh), 1);
    ASSERT_NE(o->child, nullptr);
    EXPECT_EQ(o->child->geom->index, 2);
    EXPECT_TRUE(world.timerlist.Head() == nullptr || world.timerlist.Head()->obj != o);

    // The full blow-up of the same record makes all of them.
    world.Clear();
    o = Prop(file.mf());
    ASSERT_TRUE(Explode2(o));
    EXPECT_EQ(Puffs() - before, 6);
    EXPECT_EQ(sound.NumFreeChannels(), channels - 1);
    EXPECT_EQ(Live(Debris_mh), 1);
    EXPECT_EQ(Live(Toppling_mh), 1);
    // The toppling node's type is back once the walk is over.
    EXPECT_EQ(file.mf()->nodes[5].model, 0xE002);
    EXPECT_EQ(o->geom->index, 0);   // delay 30
}

TEST_F(Explosions, WithoutARecordNothingHappens)
{
    tools::P2BFile f = PropFile();
    f.AddNode(-1, Node(0));
    f.AddNode(0, Node(2));
    SlotFile file(kSlot, f);
    Object* o = Prop(file.mf());
    const int objects = world.objectlist.Count();
    EXPECT_FALSE(Explode2(o));
    EXPECT_FALSE(PreDamage(o));
    EXPECT_EQ(o->geom->index, 0);
    EXPECT_EQ(world.objectlist.Count(), objects);
    EXPECT_TRUE(world.timerlist.IsEmpty());
}

TEST_F(Explosions, DustSoundsMushroomCloudAndDamageByCode)
{
    Matrix at = TransMatrix(VectorPos(0.0f, 0.0f, 0.0f));
    const int before = Puffs();
    CreateExplosionTypeSub(nullptr, 0, &at, 0x8409);
    ASSERT_EQ(Puffs() - before, 6);
    for (Particle* p = DustPuff::manager->list.Head(); !p->IsEOList(); p = p->Next())
        EXPECT_EQ(p->scale, 1.0f);
    CreateExplosionTypeSub(nullptr, 0, &at, 0x840B);
    ASSERT_EQ(Puffs() - before, 16);
    int size3 = 0;
    for (Particle* p = DustPuff::manager->list.Head(); !p->IsEOList(); p = p->Next())
        size3 += p->scale == 3.0f ? 1 : 0;
    EXPECT_EQ(size3, 10);

    // Sound entity types 24, 34 and 35 have no sound; 23 has.
    sndbank_dest = 0;
    const int channels = sound.NumFreeChannels();
    for (int t : {24, 34, 35})
        CreateExplosionTypeSub(nullptr, 0, &at, int(rgiExplSoundEntToCode[t] | 0x9000));
    EXPECT_EQ(sound.NumFreeChannels(), channels);
    CreateExplosionTypeSub(nullptr, 0, &at, int(rgiExplSoundEntToCode[23] | 0x9000));
    EXPECT_EQ(sound.NumFreeChannels(), channels - 1);

    // 0x8420: a cloud, a flash on it, and damage around it.
    Listener* near = AddPedestrian(VectorPos(0.3f, 0.8f, 0.0f));
    Listener* far = AddPedestrian(VectorPos(0.7f, 0.7f, 0.0f));
    Listener* high = AddPedestrian(VectorPos(0.0f, -40.0f, 0.2f));
    CreateExplosionTypeSub(nullptr, 0, &at, 0x8420);
    Object* cloud = First(MushroomCloud::MushroomCloud_mh);
    ASSERT_NE(cloud, nullptr);
    LightFlash* flash = static_cast<LightFlash*>(First(LightFlash::LightFlash_mh));
    ASSERT_NE(flash, nullptr);
    EXPECT_EQ(flash->followObj.p, cloud);
    EXPECT_EQ(flash->range, 0.78125f);
    EXPECT_EQ(flash->timeOut, 120.0f);
    EXPECT_EQ(flash->colour.r, 0xF0);
    EXPECT_EQ(flash->colour.g, 0x80);
    EXPECT_EQ(flash->colour.b, 0);
    EXPECT_EQ(flash->colour.a, 0);
    ASSERT_EQ(near->got.size(), 3u);
    EXPECT_EQ(near->got[0].submsg, 27);
    EXPECT_EQ(int(near->got[0].param[0]), 20);
    EXPECT_EQ(near->got[1].submsg, 80);
    // The unit vector toward the character, (0.3, 0.8, 0) / |..|, times 0.0465667.
    const float len = std::sqrt(0.3f * 0.3f + 0.8f * 0.8f);
    EXPECT_NEAR(float(near->got[1].param[0]), 0.3f / len * 0.0465667f, 1e-6f);
    EXPECT_NEAR(float(near->got[1].param[1]), 0.8f / len * 0.0465667f, 1e-6f);
    EXPECT_EQ(float(near->got[1].param[2]), 0.0f);
    EXPECT_EQ(near->got[2].submsg, 39);
    EXPECT_TRUE(far->got.empty());
    EXPECT_EQ(high->got.size(), 3u);
}

TEST_F(Explosions, EntityTypesPastTheirTablesAndEmptySlotsMakeNothing)
{
    tools::P2BFile f = PropFile();
    f.AddNode(-1, Node(0));
    const int rec = f.AddNode(0, Node(0xF001, 999));
    const int a = f.AddNode(rec, Node(0x7FF, 0));   // effect entity type 53
    const int b = f.AddNode(rec, Node(0x7FF, 2));   // sound entity type 43
    const int c = f.AddNode(rec, Node(0x7FF, 1));   // effect type 5: dust
    SlotFile file(kSlot, f,
                  {{a, tools::EntityParamBytes(53, 0)}, {b, tools::EntityParamBytes(43, 0)},
                   {c, tools::EntityParamBytes(5, 0)}});
    sndbank_dest = 0;
    const int channels = sound.NumFreeChannels();
    const int before = Puffs();
    ASSERT_TRUE(Explode2(Prop(file.mf())));
    EXPECT_EQ(sound.NumFreeChannels(), channels);
    EXPECT_EQ(Puffs() - before, 6);
    EXPECT_EQ(CreateExplosionAt(VectorDir(0, 0, 0), 0), nullptr);
}

TEST_F(Explosions, DebrisOfTwoBouncesGoesAtItsSecondGroundContact)
{
    tools::P2BFile f = PropFile();
    f.AddNode(-1, Node(0));
    const int rec = f.AddNode(0, Node(0xF001, 999));
    f.AddNode(rec, Node(0xD000));   // radius 0.3: two bounces
    SlotFile file(kSlot, f);
    ASSERT_TRUE(Explode2(Prop(file.mf(), VectorPos(0.0f, -0.5f, 0.0f))));
    Debris* d = static_cast<Debris*>(First(Debris_mh));
    ASSERT_NE(d, nullptr);
    RCptr<Object> hold(d);
    EXPECT_EQ(d->nBounces, 2);
    int contacts = 0;
    float lastVy = 0.0f;
    for (int i = 0; i < 2000 && !d->IsDead(); i++) {
        Ticks(1);
        if (!d->IsDead() && lastVy > 0.0f && d->vel[1] < 0.0f) {
            contacts++;
            EXPECT_EQ(d->mat.w[1], 0.0f);   // set on the ground
        }
        lastVy = d->vel[1];
    }
    EXPECT_EQ(contacts, 1);
    EXPECT_TRUE(d->IsDead());
}

TEST_F(Explosions, FlyingPiecesLiveByTheirPersistAndFlatOnesFreezeAtFirstContact)
{
    tools::P2BFile f = PropFile();
    f.AddNode(-1, Node(0));
    const int rec = f.AddNode(0, Node(0xF001, 999));
    const int p0 = f.AddNode(rec, Node(2, 3, VectorPos(1, 0, 0)));    // persist 0, type 5 (no launch)
    const int p3 = f.AddNode(rec, Node(2, 3, VectorPos(1, 0, 0)));    // persist 3, type 6
    const int t3 = f.AddNode(rec, Node(2, 3, VectorPos(1, 0, 0)));    // type 3, fast
    const int t4 = f.AddNode(rec, Node(2, 3, VectorPos(1, 0, 0)));    // type 4, fast
    SlotFile file(kSlot, f,
                  {{p0, tools::EntityParamBytes(5, 0, 0.0f, 0)}, {p3, tools::EntityParamBytes(6, 0, 0.0f, 3)},
                   {t3, tools::EntityParamBytes(3, 0, 40.0f, 100)}, {t4, tools::EntityParamBytes(4, 0, 40.0f, 100)}});
    // Just above the ground: the fast pieces touch it within a few frames.
    ASSERT_TRUE(Explode2(Prop(file.mf(), VectorPos(0.0f, -0.05f, 0.0f))));
    std::vector<RCptr<Object>> pieces;
    for (ObjectIterator it = world.objectlist.Begin(); !it.IsEOList(); ++it)
        if (it->messagehandler == FXDebris::_mh)
            pieces.push_back(RCptr<Object>(*it));
    ASSERT_EQ(pieces.size(), 4u);
    auto piece = [&](int i) { return static_cast<FXDebris*>(pieces[size_t(i)].p); };
    EXPECT_EQ(piece(2)->type, 3);
    EXPECT_EQ(piece(3)->type, 4);
    bool froze[2] = {false, false};
    for (int tick = 1; tick <= 300; tick++) {
        Ticks(1);
        for (int k = 0; k < 2; k++) {
            FXDebris* p = piece(2 + k);
            if (!froze[k] && p->stopped) {
                froze[k] = true;
                // Still moving when it froze.
                EXPECT_GT(std::fabs(p->vel[0]), 0.001f) << "type " << 3 + k;
            }
        }
        if (tick == 179)
            EXPECT_EQ(piece(1)->fade, 0);
        if (tick == 180)
            EXPECT_EQ(piece(1)->fade, 60);
        if (tick == 239) {
            EXPECT_FALSE(piece(1)->IsDead());
            EXPECT_EQ(piece(0)->fade, 0);
        }
        if (tick == 240) {
            EXPECT_TRUE(piece(1)->IsDead());
            EXPECT_EQ(piece(0)->fade, 60);
        }
        if (tick == 299)
            EXPECT_FALSE(piece(0)->IsDead());
    }
    EXPECT_TRUE(piece(0)->IsDead());
    EXPECT_TRUE(froze[0]);
    EXPECT_TRUE(froze[1]);
}

TEST_F(Explosions, AToppingPartBlowsUpOnTheGroundAndGoesWhenTheCameraIsFar)
{
    tools::P2BFile f = PropFile();
    f.AddNode(-1, Node(0));
    const int rec = f.AddNode(0, Node(0xF001, 999));
    const int top = f.AddNode(rec, Node(0xE000));
    f.AddNode(top, Node(0xF001, 0));   // the part's own record: its wreck
    SlotFile file(kSlot, f);
    rc.SetCameraMatrix(TransMatrix(VectorPos(0.0f, -2.0f, -5.0f)));
    ASSERT_TRUE(Explode2(Prop(file.mf(), VectorPos(0.0f, -0.5f, 0.0f))));
    Toppling* t = static_cast<Toppling*>(First(Toppling_mh));
    ASSERT_NE(t, nullptr);
    RCptr<Object> hold(t);
    EXPECT_EQ(t->fOrigHeight, -0.5f);
    // No ground under it: it falls until its tip reaches its own base height
    // (a quarter turn).
    int ticks = 0;
    while (t->geom->index == 0 && ticks < 1000) {
        Ticks(1);
        ticks++;
    }
    ASSERT_EQ(t->geom->index, 1);
    // Turned by about a quarter turn about x: its y axis lies nearly flat.
    EXPECT_LT(std::fabs(t->mat.y[1]), 0.1f);
    EXPECT_EQ(t->mode, 1);
    // Near the camera it stays at its checks; beyond 39.0625 it goes.
    Ticks(120);
    EXPECT_FALSE(t->IsDead());
    rc.SetCameraMatrix(TransMatrix(VectorPos(39.1f, -2.0f, 0.0f)));
    Ticks(60);
    EXPECT_TRUE(t->IsDead());
    rc.SetCameraMatrix(Matrix(true));
}

TEST_F(Explosions, FlashCodesAndTheCarFireballFlashTheScreenWhenOnScreen)
{
    // The controller's screen fade shows the flashes: each one restarts it
    // with its own time and colour.
    GameController* gc = gametest::Controller();
    FadeScreen fade;
    fade.mode = FADE_MODE_OFF;
    gametest::Lend<FadeScreen> lent(gc->pfs, &fade);
    auto flashed = [&] {
        const bool was = fade.mode == FADE_MODE_FLASH;
        fade.mode = FADE_MODE_OFF;
        return was;
    };
    rc.SetViewport(2048.0f, 2048.0f + 256, 2048.0f, 2048.0f + 128, 1.0f, 16000000.0f);
    rc.SetPerspective(1.0f);
    rc.SetCameraMatrix(Matrix(true));
    Matrix ahead = TransMatrix(VectorPos(0.0f, 0.0f, 10.0f));
    Matrix behind = TransMatrix(VectorPos(0.0f, 0.0f, -10.0f));
    CreateExplosionTypeSub(nullptr, 0, &behind, 0x8501);
    EXPECT_FALSE(flashed());
    CreateExplosionTypeSub(nullptr, 0, &ahead, 0x8500);
    EXPECT_TRUE(flashed());
    EXPECT_EQ(fade.u16DeltaTime, 18);
    CreateExplosionTypeSub(nullptr, 0, &ahead, 0x8503);
    EXPECT_TRUE(flashed());
    EXPECT_EQ(fade.u16DeltaTime, 90);
    EXPECT_EQ(fade.colFade.r, 0x80);
    EXPECT_EQ(fade.colFade.g, 0x40);
    EXPECT_EQ(fade.colFade.b, 0x00);
    // A car's fireball: a cloud on the car, shock smoke, and a flash.
    Object* car = new Object;
    car->mat = ahead;
    car->radius = 1.0f;
    world.AddObject(car, nullptr);
    CarExplosion(car, VectorPos(0.0f, 0.0f, 0.0f), 0.5f);
    EXPECT_EQ(Live(MushroomCloud::MushroomCloud_mh), 1);
    EXPECT_TRUE(flashed());
    EXPECT_EQ(fade.colFade.g, 0xF0);
    CarExplosion(nullptr, VectorPos(0.0f, 0.0f, 0.0f), 0.5f);
    EXPECT_FALSE(flashed());
    fade.Disable();
    rc.SetCameraMatrix(Matrix(true));
}
