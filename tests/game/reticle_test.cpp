// Reticles: the indicator on its goal, the aiming reticle's spring and
// distance ramp, locking, size on screen, hiding, the precise reticle's
// body-part picks and its hand-back.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "explode_support.h"

#include "ZevEngine2/PS2/MathsLocal.h"
#include "game/Camera.h"
#include "game/controller_support.h"
#include "game/GameEvents.h"
#include "game/GameFlow.h"
#include "game/reticle.h"

using namespace explodetest;

namespace {

constexpr float kTick = 1.2f;

// Two bare hierarchies of radius 0.5.
tools::P2BFile ReticleFile()
{
    tools::P2BFile f;
    f.models = {BareModel(0.5f)};
    f.AddNode(-1, tools::MakeNode(0));
    f.AddNode(-1, tools::MakeNode(0));
    return f;
}

// A target that answers the reticle's question with `offset` and keeps the
// body-part codes it was asked for.
struct Target : Object
{
    VectorPos offset{0.0f, 0.0f, 0.0f};
    bool answers = false;
    std::vector<int> codes;
    const Object* asker = nullptr;   // when set, only its questions are kept

    static int mh(Object* o, OBJMESSAGE msg, void* data)
    {
        Target* t = static_cast<Target*>(o);
        if (msg == OM_SPECIAL) {
            SpecialMessage* m = static_cast<SpecialMessage*>(data);
            if (m->submsg == SMSG_Q_RETICLE_POS) {
                if (t->asker == nullptr || m->obj == t->asker)
                    t->codes.push_back(int(m->param[1]));
                if (t->answers)
                    *static_cast<VectorPos*>(m->param[0]) = t->offset;
                return t->answers ? 1 : 0;
            }
        }
        if (msg == OM_DIE) {
            t->~Target();
            Object::operator delete(o);
            return -1;
        }
        return 0;
    }
};

Target* NewTarget(VectorPos at, float yaw = 0.0f)
{
    Target* t = new Target;
    t->messagehandler = Target::mh;
    t->mat = RotY(yaw);
    t->mat.SetTrans(at);
    return t;
}

class Reticles : public ::testing::Test
{
protected:
    void SetUp() override
    {
        world.Clear();
        world.SetPlaybackSpeed(kTick);
        gc = gametest::Controller();
        gc->bReticleOn = true;
        gc->stats.fRecticleSpeed = 0.0f;
        parent.mat = Matrix(true);
        cam->mat = Matrix(true);
    }
    void TearDown() override
    {
        world.Clear();
        gc->bReticleOn = true;
    }

    static float RowLength(const Object* o, int row)
    {
        const Vector& v = row == 0 ? o->mat.x : row == 1 ? o->mat.y : o->mat.z;
        return Length(VectorDir(v.v));
    }

    GameController* gc = nullptr;
    Object parent;
    SlotFile aim{153, ReticleFile()};
    SlotFile ind{154, ReticleFile()};
    SlotFile prLocked{155, ReticleFile()};
    SlotFile prOn{156, ReticleFile()};
    SlotFile prOff{157, ReticleFile()};
};

TEST_F(Reticles, IndicatorSitsOnTheGoalTurnedOffsetOrBodyPart)
{
    // The answered offset is in the target's frame: a quarter turn about y
    // takes its z to world x.
    RCptr<Object> t(NewTarget(VectorPos(2.0f, 0.0f, 6.0f), maths_local::kPi * 0.5f));
    static_cast<Target*>(static_cast<Object*>(t))->answers = true;
    static_cast<Target*>(static_cast<Object*>(t))->offset = VectorPos(0.0f, -0.5f, 1.0f);
    Reticle* r = static_cast<Reticle*>(TargetIndicator::Create(&parent));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->retType, RETICLE_TYPE_TARGET);
    EXPECT_EQ(r->gain, 0.0f);
    r->Target(t);
    world.Update();
    const VectorPos expect(2.0f + std::sin(maths_local::kPi * 0.5f), -0.5f, 6.0f + std::cos(maths_local::kPi * 0.5f));
    EXPECT_NEAR(r->Pos()[0], expect[0], 1e-5f);
    EXPECT_NEAR(r->Pos()[1], expect[1], 1e-5f);
    EXPECT_NEAR(r->Pos()[2], expect[2], 1e-5f);

    // A target with a body part 20 is marked there, unasked.
    Object* body = new Object;
    body->id = 20;
    body->mat = Matrix(true);
    body->mat.SetTrans(VectorPos(0.0f, -1.25f, 0.0f));
    t->Attach(body);
    const size_t asked = static_cast<Target*>(static_cast<Object*>(t))->codes.size();
    world.Update();
    EXPECT_NEAR(r->Pos()[1], -1.25f, 1e-5f);
    EXPECT_NEAR(r->Pos()[2], 6.0f, 1e-5f);
    EXPECT_EQ(static_cast<Target*>(static_cast<Object*>(t))->codes.size(), asked);
    body->Detach();
    body->Delete();

    // No model file: nothing made; an aiming reticle then goes without its
    // indicator.
    const int before = world.objectlist.Count();
    g_GlobalMFI.rgmfi[154].smf.SetBuffer(nullptr);
    EXPECT_EQ(TargetIndicator::Create(&parent), nullptr);
    EXPECT_EQ(world.objectlist.Count(), before);
    AimingReticle* lone = static_cast<AimingReticle*>(AimingReticle::Create(&parent));
    ASSERT_NE(lone, nullptr);
    EXPECT_EQ(static_cast<Object*>(lone->rcTargetInd), nullptr);
    g_GlobalMFI.rgmfi[153].smf.SetBuffer(nullptr);
    EXPECT_EQ(AimingReticle::Create(&parent), nullptr);
}

TEST_F(Reticles, AimingReticleRampsItsDistanceLocksScalesHidesAndGoesWithItsTarget)
{
    Target* t = NewTarget(VectorPos(0.0f, 0.0f, 10.0f));
    RCptr<Object> hold(t);
    AimingReticle* r = static_cast<AimingReticle*>(AimingReticle::Create(&parent));
    ASSERT_NE(r, nullptr);
    Reticle* indicator = static_cast<Reticle*>(static_cast<Object*>(r->rcTargetInd));
    ASSERT_NE(indicator, nullptr);
    EXPECT_NEAR(r->Pos()[2], 0.9375f, 1e-6f);
    r->Target(t);
    EXPECT_EQ(static_cast<Object*>(indicator->rcTarget), t);
    // Their opening animations have played.
    EXPECT_EQ(r->SendMessage(OM_ANIMLOOP, nullptr), -1);
    EXPECT_EQ(indicator->SendMessage(OM_ANIMLOOP, nullptr), -1);
    EXPECT_FALSE(r->flags & OBJF_SELFANIMATING);

    // The distance slides from 0.9375 to 10 over 120 frames of playback.
    for (int n = 1; n <= 110; n++) {
        world.Update();
        const float lock = std::min(kTick * float(n), 120.0f);
        const float expect = n <= 100 ? 0.9375f + (10.0f - 0.9375f) * lock / 120.0f : 10.0f;
        ASSERT_NEAR(Length(VectorDir(r->Pos())), expect, 2e-4f) << "tick " << n;
        EXPECT_NEAR(r->Pos()[0], 0.0f, 1e-5f);
        if (n == 90)
            EXPECT_EQ(r->mode, TARGET_MODE_FREE);
    }
    EXPECT_EQ(r->mode, TARGET_MODE_LOCKED);
    EXPECT_EQ(indicator->mode, TARGET_MODE_LOCKED);
    // Both ten units from the camera: drawn at 10 x 0.32.
    for (int row = 0; row < 3; row++) {
        EXPECT_NEAR(RowLength(r, row), 3.2f, 1e-4f);
        EXPECT_NEAR(RowLength(indicator, row), 3.2f, 1e-4f);
    }

    // Reticles off: hidden, still following, the aiming one leading a
    // moving target by twenty ticks of its motion.
    gc->bReticleOn = false;
    t->mat.SetTrans(VectorPos(0.0f, 0.0f, 9.99f));
    world.Update();
    EXPECT_TRUE(r->flags & OBJF_HIDDEN);
    EXPECT_TRUE(indicator->flags & OBJF_HIDDEN);
    EXPECT_NEAR(indicator->Pos()[2], 9.99f, 1e-5f);
    EXPECT_NEAR(r->Pos()[2], 9.99f - 0.01f * kTick * 20.0f, 1e-4f);

    // The target dies: both go.
    RCptr<Object> keepR(r), keepI(indicator);
    t->Delete();
    world.Update();
    EXPECT_TRUE(r->IsDead());
    EXPECT_TRUE(indicator->IsDead());
}

TEST_F(Reticles, PreciseReticlePicksPartsEveryTwentyTicksSwappingSidesFromBehindAndHandsBack)
{
    // Facing the camera (its z toward it).
    Target* t = NewTarget(VectorPos(0.0f, 0.0f, 10.0f), maths_local::kPi);
    RCptr<Object> hold(t);
    t->answers = true;
    t->offset = VectorPos(0.0f, -1.0f, 0.0f);
    AimingReticle* a = static_cast<AimingReticle*>(AimingReticle::Create(&parent));
    RCptr<Object> keepA(a);
    Object* indicator = a->rcTargetInd;
    RCptr<Object> keepI(indicator);
    a->Target(t);
    world.Update();

    PreciseReticle* p = static_cast<PreciseReticle*>(a->EngagePrecision());
    ASSERT_NE(p, static_cast<Object*>(a));
    RCptr<Object> keepP(p);
    EXPECT_EQ(a->mode, TARGET_MODE_FADEOUT);
    EXPECT_TRUE(indicator->IsDead());
    EXPECT_EQ(p->EngagePrecision(), p);
    EXPECT_EQ(p->mode, TARGET_MODE_PRECISEFREE);
    EXPECT_FALSE(p->PrecisionFire());
    EXPECT_EQ(static_cast<Object*>(p->rcTarget), t);
    EXPECT_EQ(p->SendMessage(OM_ANIMLOOP, nullptr), -2);
    EXPECT_EQ(p->mode, TARGET_MODE_PRECISELOCKED);
    EXPECT_TRUE(p->PrecisionFire());
    t->asker = p;

    const int front[5] = {15, 1, 0, 7, 6};
    const int back[5] = {15, 0, 1, 6, 7};
    for (int side = 0; side < 2; side++) {
        t->mat = RotY(side == 0 ? maths_local::kPi : 0.0f);
        t->mat.SetTrans(VectorPos(0.0f, 0.0f, 10.0f));
        for (int part = 0; part < 5; part++) {
            p->iBodyTarget = part;
            t->codes.clear();
            for (int k = 0; k < 19; k++)
                world.Update();
            EXPECT_TRUE(t->codes.empty());
            world.Update();
            ASSERT_EQ(t->codes.size(), 1u);
            EXPECT_EQ(t->codes[0], (side == 0 ? front : back)[part]) << "side " << side << " part " << part;
        }
    }
    EXPECT_NEAR(p->vdTargetOffset[1], -1.0f, 1e-6f);

    // Ending: the fade hands the matrix back to the aiming reticle.
    p->EndPrecision();
    EXPECT_EQ(p->mode, TARGET_MODE_FADEOUT);
    a->flags |= OBJF_HIDDEN;
    EXPECT_EQ(p->SendMessage(OM_ANIMLOOP, nullptr), -2);
    EXPECT_FALSE(a->flags & OBJF_HIDDEN);
    EXPECT_EQ(a->mat.GetTrans()[2], p->mat.GetTrans()[2]);
    EXPECT_EQ(p->mode, TARGET_MODE_LOCKED);
    EXPECT_TRUE(p->flags & OBJF_HIDDEN);
    EXPECT_EQ(p->gain, 0.0f);
}

}  // namespace
