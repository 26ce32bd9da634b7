// What shots leave behind: cases, flashes, laser beams, holes, splats and
// dropped guns.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "explode_support.h"

#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/PS2/MathsLocal.h"
#include "ZevEngine2/PS2/Platform.h"
#include "ZevEngine2/PS2/Sound.h"
#include "game/controller_support.h"
#include "game/GameFlow.h"
#include "game/ShotEffects.h"
#include "game/TestPart.h"
#include "game/explosn.h"

using namespace explodetest;

namespace {

constexpr int kCaseSlot = 246;
constexpr int kGunSlot = 247;
constexpr int kHoleSlot = 149;    // the slots bullets read holes and blood from
constexpr int kBloodSlot = 150;
constexpr int kWallSlot = 245;
constexpr float kTick = 1.2f;
constexpr float kGravityTick = 0.000851562f * kTick;

// One bare node 0 with a small box: cases, holes, blood.
tools::P2BFile SmallFile()
{
    tools::P2BFile f;
    f.models = {BareModel(0.05f)};
    tools::CollisionChain box;
    box.Box(0x0101, Cuboid(VectorPos(-0.02f, -0.02f, -0.06f), VectorPos(0.02f, 0.02f, 0.06f)));
    f.collisions.push_back(box);
    NODE n = tools::MakeNode(0);
    n.collision = 0;
    f.AddNode(-1, n);
    return f;
}

// Guns: node 0 a stock gun, node 1 gun id 5.
tools::P2BFile GunFile()
{
    tools::P2BFile f;
    f.models = {BareModel(0.1f)};
    f.AddNode(-1, tools::MakeNode(0, VectorPos(0, 0, 0), VectorXYZ(0, 0, 0), 0));
    f.AddNode(-1, tools::MakeNode(0, VectorPos(0, 0, 0), VectorXYZ(0, 0, 0), 5));
    return f;
}

// A static slab 2 x 2 x 0.1 whose front face is its z = 0 plane; code
// 0x0109 makes it a character's body part.
tools::P2BFile WallFile(u16 code = 0x0101)
{
    tools::P2BFile f;
    f.models = {BareModel(1.0f)};
    tools::CollisionChain slab;
    slab.Box(code, Cuboid(VectorPos(-1.0f, -1.0f, 0.0f), VectorPos(1.0f, 1.0f, 0.1f)));
    f.collisions.push_back(slab);
    NODE n = tools::MakeNode(0);
    n.collision = 0;
    f.AddNode(-1, n);
    return f;
}

class ShotEffects : public ::testing::Test
{
protected:
    void SetUp() override
    {
        world.Clear();
        world.SetPlaybackSpeed(kTick);
        gc = gametest::Controller();
        gc->bInterior = true;
        gc->fInteriorHeight = -1.0f;
        srand(1234);   // the same kicks and spins whatever ran before
    }
    void TearDown() override
    {
        world.Clear();
        gc->bInterior = false;
    }

    Object* Wall(const Matrix& m, OBJTYPE type = OBJT_STATIC, MDLFILE* mf = nullptr)
    {
        Object* w = (mf != nullptr ? mf : walls.mf())->GetHierarchy(0, sizeof(Object), 0);
        w->mat = m;
        w->type = u8(type);
        w->id = 40;
        EXPECT_TRUE(world.AddObject(w, nullptr));
        return w;
    }

    static Matrix At(float x, float y, float z)
    {
        Matrix m(true);
        m.SetTrans(VectorPos(x, y, z));
        return m;
    }

    GameController* gc = nullptr;
    SlotFile cases{kCaseSlot, SmallFile()};
    SlotFile guns{kGunSlot, GunFile()};
    SlotFile walls{kWallSlot, WallFile()};
};

TEST_F(ShotEffects, CaseRisesFallsBouncesAtThreeTenthsAndRestsOnTheFloor)
{
    ASSERT_TRUE(EjectCasing(At(0, -1.5f, 0), VectorDir(0, 0, 0), cases.mf(), 0, 500, 0xFFFF, 0xFFFF));
    Casing* c = static_cast<Casing*>(world.Find(OBJT_PARTICLE));
    ASSERT_NE(c, nullptr);
    EXPECT_GE(c->vel[1], -0.0130208f);
    EXPECT_LE(c->vel[1], -0.0052083f);
    EXPECT_EQ(c->vpGroundPos[1], -1.0f);

    bool bounced = false;
    for (int t = 0; t < 400 && !(c->flags & OBJF_NOCOLLISION); t++) {
        const float before = c->vel[1];
        world.Update();
        if (!bounced && c->vel[1] < 0.0f && before > 0.0f) {
            bounced = true;
            EXPECT_NEAR(c->vel[1], -0.3f * (before + kGravityTick), 1e-7f);
        }
        EXPECT_LE(c->Pos()[1], -1.0f);
    }
    EXPECT_TRUE(bounced);
    EXPECT_TRUE(c->flags & OBJF_NOCOLLISION);
    EXPECT_EQ(c->Pos()[1], -1.0f);
    EXPECT_EQ(c->vel[1], 0.0f);

    // Gone with its timer; nothing made without a model file.
    EXPECT_FALSE(EjectCasing(At(0, 0, 0), VectorDir(0, 0, 0), nullptr, 0, 500, 0xFFFF, 0xFFFF));
}

// Landing sounds waiting to start: bank 3, sound 19.
int PendingClinks()
{
    int n = 0;
    for (int i = 0; i < SOUND_VCHANNELS; i++) {
        const vchannel* v = sound.GetChannel(i);
        n += v->state == VCHAN_IDLE && (v->flags & VCHAN_START) && v->curbank == 3 && v->bankindex == 19;
    }
    return n;
}

TEST_F(ShotEffects, CasesClinkOncePerThirtyOneBlanksAndLandOnCrates)
{
    // Two cases falling side by side land on the same tick: one clink.
    Casing::lastsfxcount = Platform::Count() + 1;   // a count that wrapped: free to sound
    for (float x : {0.0f, 0.5f})
        ASSERT_TRUE(EjectCasing(At(x, -1.5f, 0), VectorDir(0, 0, 0), cases.mf(), 0, 500, 3, 19));
    std::vector<Casing*> cs;
    for (ObjectIterator it = world.objectlist.Begin(); !it.IsEOList(); ++it)
        cs.push_back(static_cast<Casing*>(static_cast<Object*>(*it)));
    ASSERT_EQ(cs.size(), 2u);
    cs[1]->vel = cs[0]->vel;
    cs[1]->SetPos(VectorPos(0.5f, cs[0]->Pos()[1], cs[0]->Pos()[2]));
    const int before = PendingClinks();
    while (cs[0]->vel[1] <= 0.0116417f || cs[0]->Pos()[1] < -1.0f - 0.05f)
        world.Update();
    while (cs[0]->vel[1] > 0.0f)
        world.Update();
    EXPECT_EQ(PendingClinks(), before + 1);
    EXPECT_EQ(Casing::lastsfxcount, Platform::Count());

    // Within 31 blanks of it a falling case is silent; from 31 on it sounds.
    const u32 saved = vbcallbacks.vsynccount;
    vbcallbacks.vsynccount = 1000;
    Casing* c = cs[0];
    c->flags &= ~OBJF_NOCOLLISION;
    c->vel = VectorDir(0.0f, 0.02f, 0.0f);
    Casing::lastsfxcount = Platform::Count() - 30;
    c->Collision(VectorDir(0.0f, 1.0f, 0.0f), 0.0f);
    EXPECT_EQ(PendingClinks(), before + 1);
    c->vel = VectorDir(0.0f, 0.02f, 0.0f);
    Casing::lastsfxcount = Platform::Count() - 31;
    c->Collision(VectorDir(0.0f, 1.0f, 0.0f), 0.0f);
    EXPECT_EQ(PendingClinks(), before + 2);
    EXPECT_EQ(Casing::lastsfxcount, 1000u);
    vbcallbacks.vsynccount = saved;
    world.Clear();

    // A crate's top (y -1.2) under a case: it stays up there.
    Matrix crate = At(0.0f, -1.1f, -0.05f);
    Wall(crate)->mat = RotX(-maths_local::kPi * 0.5f) * crate;   // the slab lies flat, its face up
    ASSERT_TRUE(EjectCasing(At(0, -1.5f, 0), VectorDir(0, 0, 0), cases.mf(), 0, 500, 0xFFFF, 0xFFFF));
    Casing* top = static_cast<Casing*>(world.Find(OBJT_PARTICLE));
    for (int t = 0; t < 400 && !(top->flags & OBJF_NOCOLLISION); t++) {
        world.Update();
        world.Collision();
    }
    EXPECT_TRUE(top->flags & OBJF_NOCOLLISION);
    EXPECT_NEAR(top->Pos()[1], -1.1f, 0.025f);
}

TEST_F(ShotEffects, FlashHangsUnderTheGunWithALightAndGoesWhenItsAnimationLoops)
{
    Object gun;
    Matrix m = At(0.1f, 0.0f, 0.3f);
    EXPECT_FALSE(MuzzleFlash(&gun, m, nullptr, 0));
    ASSERT_TRUE(MuzzleFlash(&gun, m, cases.mf(), 0));
    Object* f = gun.child;
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->mat.GetTrans()[2], 0.3f);
    EXPECT_TRUE(world.animlist.Find(f) != nullptr);
    LightFlash* light = nullptr;
    for (ObjectIterator it = world.objectlist.Begin(); !it.IsEOList(); ++it)
        if (it->messagehandler == LightFlash::LightFlash_mh)
            light = static_cast<LightFlash*>(static_cast<Object*>(*it));
    ASSERT_NE(light, nullptr);
    EXPECT_EQ(static_cast<Object*>(light->followObj), f);
    EXPECT_EQ(light->colour.r, 0xF0);
    EXPECT_EQ(light->colour.g, 0xF0);
    EXPECT_EQ(light->colour.b, 0x80);
    EXPECT_EQ(light->colour.a, 0x00);
    EXPECT_EQ(light->range, 2.5f);
    EXPECT_EQ(light->timeOut, 6.0f);
    RCptr<Object> hold(f);
    EXPECT_EQ(f->SendMessage(OM_ANIMLOOP, nullptr), -2);
    EXPECT_EQ(gun.child, nullptr);
    EXPECT_TRUE(f->IsDead());
}

TEST_F(ShotEffects, LaserSightStretchesToTheFirstWallWithinTwenty)
{
    Object gun;
    gun.mat = Matrix(true);
    const OBJMESSAGEHANDLER kind = reinterpret_cast<OBJMESSAGEHANDLER>(intptr_t(Name::Find("LaserSight")));
    ASSERT_NE(kind, nullptr);
    Object* sight = reinterpret_cast<Object*>(intptr_t(kind(nullptr, OM_CREATE, nullptr)));
    ASSERT_NE(sight, nullptr);
    sight->SendMessage(OM_INIT, nullptr);
    gun.Attach(sight);
    sight->SendMessage(OM_FRAME, &world);
    EXPECT_NEAR(Length(VectorDir(sight->mat.z.v)), 1.0f, 1e-6f);
    Wall(At(0, 0, 5.0f));
    sight->SendMessage(OM_FRAME, &world);
    EXPECT_NEAR(Length(VectorDir(sight->mat.z.v)), 0.25f, 1e-5f);
    EXPECT_NEAR(Length(VectorDir(sight->mat.x.v)), 1.0f, 1e-6f);
    sight->Detach();
    sight->Delete();
}

TEST_F(ShotEffects, IndoorHoleMovesWithTheStruckObjectAndOutdoorsThereIsNone)
{
    SlotFile holes{kHoleSlot, SmallFile()};
    SlotFile blood{kBloodSlot, SmallFile()};
    EXPECT_FALSE(CreateHole(nullptr, Matrix(true), holes.mf(), 0, 5000));

    Object* wall = Wall(At(0, 0, 3.0f), OBJT_DYNAMIC);
    Weapon w = gWeapons[WEAP_PISTOL_RUGER];
    ASSERT_TRUE(ShootBullet(Matrix(true), VectorDir(0, 0, 0), cases.mf(), 0, &w, 7, 77, false));
    for (int t = 0; t < 30; t++) {
        world.Update();
        world.Collision();
    }
    EXPECT_EQ(world.Find(OBJT_PROJECTILE), nullptr);
    Object* hole = wall->child;
    ASSERT_NE(hole, nullptr);
    // On the face, its z into the wall.
    EXPECT_NEAR(hole->GetWorldPos()[2], 3.0f, 1e-5f);
    EXPECT_NEAR(hole->GetWorldMatrix().z[2], 1.0f, 1e-5f);
    wall->mat.SetTrans(VectorPos(2.0f, 0.0f, 3.0f));
    EXPECT_NEAR(hole->GetWorldPos()[0], 2.0f, 1e-5f);

    // Outdoors: no hole.
    gc->bInterior = false;
    Object* other = Wall(At(0, 0, 3.0f));
    ASSERT_TRUE(ShootBullet(Matrix(true), VectorDir(0, 0, 0), cases.mf(), 0, &w, 7, 77, false));
    wall->mat.SetTrans(VectorPos(20.0f, 0.0f, 3.0f));
    for (int t = 0; t < 30; t++) {
        world.Update();
        world.Collision();
    }
    EXPECT_EQ(world.Find(OBJT_PROJECTILE), nullptr);
    EXPECT_EQ(other->child, nullptr);
}

// Outdoors a shot marks nothing: a wall struck throws 3 to 6 sparks and
// gets no hole, a character struck throws two sprays of blood drops (3 to
// 22 each) and no splat flies.
TEST_F(ShotEffects, OutdoorsHitsThrowSparksOffWallsAndBloodOffCharactersAndLeaveNoMarks)
{
    SlotFile holes{kHoleSlot, SmallFile()};
    SlotFile blood{kBloodSlot, SmallFile()};
    gc->bInterior = false;
    auto live = [](PartManager* m) { return m != nullptr ? m->list.Count() : 0; };
    auto shoot = [&] {
        Weapon w = gWeapons[WEAP_PISTOL_RUGER];
        ASSERT_TRUE(ShootBullet(Matrix(true), VectorDir(0, 0, 0), cases.mf(), 0, &w, 7, 77, false));
        for (int t = 0; t < 30; t++) {
            world.Update();
            world.Collision();
        }
        EXPECT_EQ(world.Find(OBJT_PROJECTILE), nullptr);   // neither the bullet nor a splat
    };

    Object* wall = Wall(At(0, 0, 3.0f));
    const int sparks = live(Spark::manager), drops = live(Blood::manager);
    shoot();
    EXPECT_GE(live(Spark::manager) - sparks, 3);
    EXPECT_LE(live(Spark::manager) - sparks, 6);
    EXPECT_EQ(live(Blood::manager), drops);
    EXPECT_EQ(wall->child, nullptr);
    world.Clear();

    SlotFile body{kWallSlot - 1, WallFile(0x0109)};
    Object* victim = Wall(At(0, 0, 3.0f), OBJT_CHARACTER, body.mf());
    const int sparks2 = live(Spark::manager), drops2 = live(Blood::manager);
    shoot();
    EXPECT_GE(live(Blood::manager) - drops2, 6);
    EXPECT_LE(live(Blood::manager) - drops2, 44);
    EXPECT_EQ(live(Spark::manager), sparks2);
    EXPECT_EQ(victim->child, nullptr);
}

// Every creator answers false or null and leaves no object in the world
// when its kind is not registered (a later entry of the same name with no
// handler shadows it) or when its model is missing.
TEST_F(ShotEffects, CreatorsMakeNothingWithoutTheirKindOrTheirModel)
{
    std::optional<SlotFile> blood;
    blood.emplace(kBloodSlot, SmallFile());
    Object* wall = Wall(At(0, 0, 3.0f));
    Weapon pistol = gWeapons[WEAP_PISTOL_RUGER];
    pistol.iGunMFIndex = kGunSlot;
    ASSERT_TRUE(ShootBullet(Matrix(true), VectorDir(0, 0, 0), cases.mf(), 0, &pistol, 7, 77, false));
    Bullet* src = static_cast<Bullet*>(world.Find(OBJT_PROJECTILE));
    src->flags |= OBJF_NOCOLLISION;
    src->flags &= ~OBJF_FRAMECALL;
    const int objects = world.objectlist.Count();
    const int children = wall->child == nullptr ? 0 : 1;

    struct Attempt
    {
        const char* kind;
        std::function<bool(MDLFILE*)> make;   // true when something was made
    };
    const Attempt attempts[] = {
        {"Bullet",
         [&](MDLFILE* mf) { return ShootBullet(Matrix(true), VectorDir(0, 0, 0), mf, 0, &pistol, 7, 77, false); }},
        {"Casing",
         [&](MDLFILE* mf) { return EjectCasing(At(0, -1.5f, 0), VectorDir(0, 0, 0), mf, 0, 500, 0xFFFF, 0xFFFF); }},
        {"BulletHole", [&](MDLFILE* mf) { return CreateHole(wall, At(0, 0, 3.0f), mf, 0, 5000); }},
        {"BloodSplat",
         [&](MDLFILE* mf) {
             // The splat takes its model from the registry's slot.
             if (mf == nullptr)
                 blood.reset();
             const bool made = CreateSplat(src, VectorPos(0, 0, 0.1f), 5000);
             if (mf == nullptr)
                 blood.emplace(kBloodSlot, SmallFile());
             return made;
         }},
        {"GunPickup",
         [&](MDLFILE* mf) {
             Weapon w = pistol;
             w.iGunMFIndex = mf != nullptr ? kGunSlot : -1;
             return CreateGunPickup(At(0, -1.5f, 0), VectorDir(0, 0, 0), &w, 0) != nullptr;
         }},
    };
    for (const Attempt& a : attempts) {
        MDLFILE* model = std::string(a.kind) == "GunPickup" ? guns.mf() : cases.mf();
        {
            Name shadow(a.kind, 0);
            EXPECT_FALSE(a.make(model)) << a.kind << " unregistered";
            Name::first = shadow.link;
        }
        EXPECT_FALSE(a.make(nullptr)) << a.kind << " without a model";
        EXPECT_EQ(world.objectlist.Count(), objects) << a.kind;
        EXPECT_EQ(wall->child == nullptr ? 0 : 1, children) << a.kind;
        // Registered again, with its model, it is made.
        EXPECT_TRUE(a.make(model)) << a.kind;
        world.Clear();
        wall = Wall(At(0, 0, 3.0f));
        ASSERT_TRUE(ShootBullet(Matrix(true), VectorDir(0, 0, 0), cases.mf(), 0, &pistol, 7, 77, false));
        src = static_cast<Bullet*>(world.Find(OBJT_PROJECTILE));
        src->flags |= OBJF_NOCOLLISION;
        src->flags &= ~OBJF_FRAMECALL;
    }
}

TEST_F(ShotEffects, SplatShrinksInFlightSticksFlatAndNeverToSlantsOrCharacters)
{
    SlotFile blood{kBloodSlot, SmallFile()};
    Weapon w = gWeapons[WEAP_PISTOL_RUGER];
    // The source bullet only lends its id and path; it is kept out of the
    // collision pass.
    ASSERT_TRUE(ShootBullet(Matrix(true), VectorDir(0, 0, 0), cases.mf(), 0, &w, 7, 77, false));
    Bullet* src = static_cast<Bullet*>(world.Find(OBJT_PROJECTILE));
    src->flags |= OBJF_NOCOLLISION;
    src->flags &= ~OBJF_FRAMECALL;

    auto splat = [&]() {
        for (ObjectIterator it = world.objectlist.Begin(); !it.IsEOList(); ++it)
            if (*it != src && it->type == OBJT_PROJECTILE && !it->IsDead())
                return static_cast<BloodSplat*>(static_cast<Object*>(*it));
        return static_cast<BloodSplat*>(nullptr);
    };

    // A character in the way, then a wall facing back down the path.
    Object* victim = Wall(At(0, 0, 1.0f), OBJT_CHARACTER);
    victim->id = 41;
    Wall(At(0, 0, 3.0f));
    ASSERT_TRUE(CreateSplat(src, VectorPos(0, 0, 0.1f), 5000));
    BloodSplat* b = splat();
    ASSERT_NE(b, nullptr);
    RCptr<Object> hold(b);
    int flown = 0;
    for (int t = 0; t < 60 && !(b->flags & OBJF_NOCOLLISION) && !b->IsDead(); t++) {
        const float z = b->Pos()[2];
        world.Update();
        world.Collision();
        flown += b->Pos()[2] != z && !(b->flags & OBJF_NOCOLLISION);
    }
    ASSERT_FALSE(b->IsDead());
    ASSERT_TRUE(b->flags & OBJF_NOCOLLISION);
    EXPECT_EQ(victim->child, nullptr);
    const float scale = std::max(10.0f - 0.4f * float(flown), 0.8f);
    EXPECT_NEAR(Length(VectorDir(b->mat.x.v)), scale, 1e-4f);
    EXPECT_NEAR(Length(VectorDir(b->mat.y.v)), scale, 1e-4f);
    EXPECT_NEAR(Length(VectorDir(b->mat.z.v)), 1.0f, 1e-5f);
    EXPECT_NEAR(b->Pos()[2], 3.0f, 1e-5f);
    world.Clear();

    // A slanted wall: (0.6, 0, 0.8) faces back along the path.
    ASSERT_TRUE(ShootBullet(Matrix(true), VectorDir(0, 0, 0), cases.mf(), 0, &w, 7, 77, false));
    src = static_cast<Bullet*>(world.Find(OBJT_PROJECTILE));
    src->flags |= OBJF_NOCOLLISION;
    src->flags &= ~OBJF_FRAMECALL;
    Matrix slant = RotY(std::atan2(0.6f, 0.8f));
    slant.SetTrans(VectorPos(0, 0, 2.0f));
    Wall(slant);
    ASSERT_TRUE(CreateSplat(src, VectorPos(0, 0, 0.1f), 5000));
    BloodSplat* s = splat();
    RCptr<Object> hold2(s);
    for (int t = 0; t < 60 && !s->IsDead(); t++) {
        world.Update();
        world.Collision();
    }
    EXPECT_TRUE(s->IsDead());
}

// The random look of a shot's marks: a hole is turned about its own z by a
// whole turn times one draw (randf), and so is a splat that sticks, after
// the draw of its tint set, which is the top two bits of the 31-bit rand.
// The program's rand steps seed x 1664525 + 1013904223 and returns the low
// 31 bits.
TEST_F(ShotEffects, HolesAndSplatsTurnByAWholeTurnTimesADrawAndTintByTheTopBits)
{
    SlotFile holes{kHoleSlot, SmallFile()};
    SlotFile blood{kBloodSlot, SmallFile()};
    const int seedBefore = randseed;   // the tests after this one draw on as before
    constexpr float kTwoPi = 6.2831853f;
    // The x row of a turn by a about z, its length s.
    auto expectTurn = [](const Matrix& m, float a, float s) {
        EXPECT_NEAR(m.x[0], std::cos(a) * s, 2e-3f * s);
        EXPECT_NEAR(m.x[1], std::sin(a) * s, 2e-3f * s);
        EXPECT_NEAR(m.x[2], 0.0f, 1e-5f);
    };
    // The draw randf makes from a seed, told by the program's own randf.
    auto drawAfter = [](unsigned seed, int skipRand) {
        srand(seed);
        for (int i = 0; i < skipRand; i++)
            rand();
        return randf();
    };

    Object* wall = Wall(At(0, 0, 3.0f), OBJT_DYNAMIC);
    for (unsigned seed : {7u, 1234u, 99991u}) {
        const float u = drawAfter(seed, 0);
        srand(seed);
        ASSERT_TRUE(CreateHole(wall, At(0.2f, 0.1f, 3.0f), holes.mf(), 0, 5000));
        Object* hole = wall->child;
        ASSERT_NE(hole, nullptr);
        expectTurn(hole->mat, kTwoPi * u, 1.0f);
        hole->Detach();
        hole->Delete();
    }

    // A splat on the face of a wall: the tint first, then its turn.
    Weapon w = gWeapons[WEAP_PISTOL_RUGER];
    ASSERT_TRUE(ShootBullet(Matrix(true), VectorDir(0, 0, 0), cases.mf(), 0, &w, 7, 77, false));
    Bullet* src = static_cast<Bullet*>(world.Find(OBJT_PROJECTILE));
    src->flags |= OBJF_NOCOLLISION;
    src->flags &= ~OBJF_FRAMECALL;
    for (unsigned seed : {5u, 2024u, 31337u}) {
        const u32 step = seed * 1664525u + 1013904223u;
        const int tint = int((step & 0x7FFFFFFFu) >> 29);
        ASSERT_TRUE(CreateSplat(src, VectorPos(0, 0, 2.9f), 5000));
        BloodSplat* b = nullptr;
        for (ObjectIterator it = world.objectlist.Begin(); !it.IsEOList(); ++it)
            if (*it != src && it->type == OBJT_PROJECTILE && !it->IsDead() && !(it->flags & OBJF_NOCOLLISION))
                b = static_cast<BloodSplat*>(static_cast<Object*>(*it));
        ASSERT_NE(b, nullptr);
        ASSERT_NE(b->geom, nullptr);
        b->impact.obj = wall;
        b->impact.pos = VectorPos(0.0f, 0.0f, 3.0f);
        b->impact.normal = VectorDir(0.0f, 0.0f, -1.0f);
        const float u = drawAfter(seed, 1);
        srand(seed);
        b->SendMessage(OM_FRAME, nullptr);
        EXPECT_EQ(int(b->geom->params[0]), tint) << seed;
        expectTurn(b->mat, kTwoPi * u, b->scaleFactor);
        b->Delete();
    }
    randseed = seedBefore;
}

TEST_F(ShotEffects, PickupsVanishEmptySettleAboveTheFloorStandTallAndTurn)
{
    Weapon w = gWeapons[WEAP_SMG_G36];   // gun id 5
    w.iGunMFIndex = kGunSlot;
    w.bulletsLeft = 1;
    GunPickup* g = CreateGunPickup(At(0, -1.5f, 0), VectorDir(0, 0, 0), &w, 0);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->type, OBJT_ICON);
    EXPECT_EQ(g->id, -999);
    EXPECT_EQ(g->index, 1);   // the node of gun id 5
    EXPECT_EQ(g->weapon.bulletsLeft, 1);
    for (int t = 0; t < 400 && !(g->flags & OBJF_NOCOLLISION); t++)
        world.Update();
    ASSERT_TRUE(g->flags & OBJF_NOCOLLISION);
    EXPECT_FLOAT_EQ(g->Pos()[1], -1.03f);
    EXPECT_NEAR(Length(VectorDir(g->mat.x.v)), 1.5f, 1e-5f);
    EXPECT_NEAR(Length(VectorDir(g->mat.y.v)), 1.5f, 1e-5f);
    EXPECT_NEAR(Length(VectorDir(g->mat.z.v)), 1.5f, 1e-5f);
    const VectorDir z0 = Normalise(VectorDir(g->mat.z.v));
    world.Update();
    const VectorDir z1 = Normalise(VectorDir(g->mat.z.v));
    EXPECT_NEAR(std::acos(std::min(1.0f, Dot(z0, z1))), 0.05f, 1e-3f);
    EXPECT_FLOAT_EQ(g->Pos()[1], -1.03f);
    // Lifetime 0: still there long after.
    for (int t = 0; t < 3000; t++)
        world.Update();
    EXPECT_FALSE(g->IsDead());

    // An empty gun goes at its first contact; a missing id gives node 0.
    w.bulletsLeft = 0;
    w.gunmdlindex = 12;
    GunPickup* e = CreateGunPickup(At(1, -1.5f, 0), VectorDir(0, 0, 0), &w, 0);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->index, 0);
    RCptr<Object> hold(e);
    int t = 0;
    while (!e->IsDead() && t < 400) {
        world.Update();
        t++;
    }
    EXPECT_TRUE(e->IsDead());
    EXPECT_LT(t, 400);

    // Dropped over a crate (its top at y -1.1) it settles 0.03 above where
    // it met the crate's top (the contact lies within one tick's fall of the
    // top), far above the floor, and stays there while it turns.
    world.Clear();
    w.bulletsLeft = 1;
    w.gunmdlindex = 5;
    Matrix crate = At(0.0f, -1.1f, -0.05f);
    Wall(crate)->mat = RotX(-maths_local::kPi * 0.5f) * crate;   // the slab lies flat, its face up
    GunPickup* top = CreateGunPickup(At(0, -1.5f, 0), VectorDir(0, 0, 0), &w, 0);
    ASSERT_NE(top, nullptr);
    for (int t = 0; t < 400 && !(top->flags & OBJF_NOCOLLISION); t++) {
        world.Update();
        world.Collision();
    }
    ASSERT_TRUE(top->flags & OBJF_NOCOLLISION);
    const float rest = top->Pos()[1];
    EXPECT_NEAR(rest, -1.13f, 0.005f);
    EXPECT_LT(rest, -1.1f - 0.025f);
    for (int t = 0; t < 50; t++) {
        world.Update();
        world.Collision();
    }
    EXPECT_FLOAT_EQ(top->Pos()[1], rest);

    Weapon none = gWeapons[WEAP_BLANK];
    EXPECT_EQ(CreateGunPickup(At(0, 0, 0), VectorDir(0, 0, 0), &none, 0), nullptr);
    EXPECT_EQ(CreateGunPickup(At(0, 0, 0), VectorDir(0, 0, 0), nullptr, 0), nullptr);
}

}  // namespace
