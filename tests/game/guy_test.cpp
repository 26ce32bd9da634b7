// The character body: predicates, animation clock and blur, push-out,
// hit boxes, car entry at the sample car's doors and the street queries,
// against answers worked out from the rules.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "ZevEngine2/anim_support.h"
#include "tools/lib/mdlgroup.h"
#include "tools/lib/p2b.h"

#include "game/GameFlow.h"
#include "game/Guy.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"
#include "game/cardrivr.h"
#include "game/objblur.h"

namespace {

constexpr float kPi = 3.1415927f;

void ExpectNear(VectorXYZ a, VectorXYZ b, float tol)
{
    for (int i = 0; i < 3; i++)
        EXPECT_NEAR(a[i], b[i], tol) << "component " << i;
}

// A body with one limb, ready to animate.
Guy* NewGuy()
{
    Guy* g = new Guy;
    g->mat = Matrix(true);
    Object* limb = new Object;
    limb->mat = Matrix(true);
    g->Attach(limb);
    g->AllocBlendAnimHierarchy(0);
    g->ClearPopOut();
    return g;
}

}  // namespace

TEST(GuyIds, PredicatesFollowTheirTables)
{
    EXPECT_TRUE(Guy::IsFemaleChar(115) && Guy::IsHottieChar(115) && Guy::IsHookerChar(115));
    EXPECT_FALSE(Guy::IsShabbyChar(115) || Guy::IsDealerChar(115));
    EXPECT_TRUE(Guy::IsShabbyChar(138) && Guy::IsDealerChar(138));
    EXPECT_FALSE(Guy::IsFemaleChar(138) || Guy::IsHottieChar(138) || Guy::IsHookerChar(138));
    EXPECT_FALSE(Guy::IsFemaleChar(64) || Guy::IsHottieChar(64) || Guy::IsShabbyChar(64) ||
                 Guy::IsDealerChar(64) || Guy::IsHookerChar(64));
    // Female but not hottie: 72, 73, 164, 165; the tables' ends.
    for (int id : {72, 73, 164, 165})
        EXPECT_TRUE(Guy::IsFemaleChar(id) && !Guy::IsHottieChar(id)) << id;
    int female = 0, hot = 0;
    for (int id = 0; id < 300; id++) {
        female += Guy::IsFemaleChar(id);
        hot += Guy::IsHottieChar(id);
    }
    EXPECT_EQ(female, 22);
    EXPECT_EQ(hot, 18);
}

// ---------------------------------------------------------------------------

TEST(GuyAnimation, ClockSwitchingAndMissingClips)
{
    using namespace animtest;
    AniGroup g = OneBundle({PosStream({{0, VectorXYZ(0, 0, 0)}, {30, VectorXYZ(0, 0, 3)}})}, 30, true);
    LoadedGroup grp(g);
    Guy* guy = NewGuy();
    world.playbackSpeed = 1.2f;
    guy->AdvanceFrame(10.0f);
    EXPECT_FLOAT_EQ(guy->frame, 12.0f);
    guy->SetAnim(7, grp.Char(0), 0);
    EXPECT_EQ(guy->mode2, 7);
    EXPECT_EQ(guy->blendmode2, 7);
    EXPECT_EQ(guy->firstanimframe, 12.0f);
    EXPECT_EQ(guy->blendAnim->animoffset, 12);
    // Without blending, BlendToAnim leaves blendmode2 alone.
    guy->BlendToAnim(9, grp.Char(0), 0, 0, false);
    EXPECT_EQ(guy->mode2, 9);
    EXPECT_EQ(guy->blendmode2, 7);
    // A null record keeps the current animation.
    guy->SetAnim(11, nullptr, 0);
    EXPECT_EQ(guy->mode2, 9);
    EXPECT_EQ(guy->blendmode2, 7);
    // AnimateHierarchy(0) keeps the clock and still poses the body at it.
    guy->frame = 22.0f;   // 10 frames into the clip: z = 1
    guy->AnimateHierarchy(0.0f);
    EXPECT_EQ(guy->frame, 22.0f);
    EXPECT_NEAR(guy->mat.w[2], 1.0f, 1e-4f);
    // On the world's list the world animates it, not the body.
    guy->flags |= OBJF_SELFANIMATING;
    guy->frame = 32.0f;
    guy->AnimateHierarchy(0.0f);
    EXPECT_NEAR(guy->mat.w[2], 1.0f, 1e-4f);
    guy->Delete();
}

namespace {

// One clip of 40 frames whose blur key (alpha, scale) is given.
struct BlurClip
{
    std::unique_ptr<animtest::LoadedGroup> grp;
    BlurClip(u16 alpha, u16 scale)
    {
        tools::AniStream b(ANIM_TYPE_BLUR);
        b.Blur(0, alpha, scale).Blur(40, alpha, scale);
        grp = std::make_unique<animtest::LoadedGroup>(animtest::OneBundle({b}, 40, true));
    }
    AnimChar* Char() const { return grp->Char(0); }
};

u16 Alpha(float opacity) { return u16(opacity * 128.0f) << 8; }

}  // namespace

TEST(GuyAnimation, BlurTrailsFollowTheClipsBlurKeys)
{
    world.Clear();
    Guy* guy = NewGuy();
    // The trail's next frame: an ended trail dies there.
    auto tick = [](ObjectBlur* b) { b->SendMessage(OM_FRAME, &world); };
    // Scale 17 is no trail.
    BlurClip none(Alpha(1.0f), 17);
    guy->SetAnim(1, none.Char(), 0);
    guy->AnimateHierarchy(1.0f);
    EXPECT_EQ(guy->blur, nullptr);
    // Opacity 0.078125 is too faint to start one.
    BlurClip faint(Alpha(0.078125f), 4);
    guy->SetAnim(1, faint.Char(), 0);
    guy->AnimateHierarchy(1.0f);
    EXPECT_EQ(guy->blur, nullptr);
    // Opacity 0.5 over 4 poses: a trail of the body's hierarchy, transparent
    // until the next step gives it its opacity.
    BlurClip trail(Alpha(0.5f), 4);
    guy->SetAnim(1, trail.Char(), 0);
    guy->AnimateHierarchy(1.0f);
    ObjectBlur* first = guy->blur;
    ASSERT_NE(first, nullptr);
    RCptr<Object> heldFirst(first);
    EXPECT_EQ(first->pBlurObj, guy);
    EXPECT_EQ(first->nNumBlurs, 4);
    EXPECT_EQ(first->vOpacity, 0.0f);
    guy->AnimateHierarchy(1.0f);
    EXPECT_EQ(guy->blur, first);
    EXPECT_EQ(first->nNumBlurs, 4);
    EXPECT_EQ(first->vOpacity, 0.5f);
    // Opacity above 1.5 keeps the trail's object with count 0 (and its last
    // opacity) until its next frame, which ends it; the body lets go of it.
    BlurClip bright(Alpha(1.75f), 4);
    guy->SetAnim(1, bright.Char(), 0);
    guy->AnimateHierarchy(1.0f);
    EXPECT_EQ(guy->blur, nullptr);
    EXPECT_FALSE(first->IsDead());
    EXPECT_EQ(first->nNumBlurs, 0);
    EXPECT_EQ(first->vOpacity, 0.5f);
    tick(first);
    EXPECT_TRUE(first->IsDead());

    // On the world's list: not animated here, but the trail still follows.
    guy->SetAnim(1, trail.Char(), 0);
    guy->flags |= OBJF_SELFANIMATING;
    ::AnimateHierarchy(guy, guy->frame, 0.0f);   // the world's own pass
    Matrix posed = guy->mat;
    guy->mat = Matrix(false);
    guy->AnimateHierarchy(0.0f);
    EXPECT_EQ(guy->mat.x, Vector(0, 0, 0, 0));   // not animated a second time
    guy->mat = posed;
    ObjectBlur* second = guy->blur;
    ASSERT_NE(second, nullptr);
    RCptr<Object> heldSecond(second);
    EXPECT_EQ(second->nNumBlurs, 4);
    guy->AnimateHierarchy(0.0f);
    EXPECT_EQ(guy->blur, second);
    EXPECT_EQ(second->vOpacity, 0.5f);
    // Off the list again, a clip of 6 poses at 0.25 grows the ring.
    guy->flags &= ~OBJF_SELFANIMATING;
    BlurClip longer(Alpha(0.25f), 6);
    guy->SetAnim(1, longer.Char(), 0);
    guy->AnimateHierarchy(1.0f);
    EXPECT_EQ(guy->blur, second);
    EXPECT_EQ(second->nNumBlurs, 6);
    EXPECT_EQ(second->nAllocBlurs, 6);
    EXPECT_EQ(second->vOpacity, 0.25f);
    // A clip without blur data fades the trail out.
    animtest::LoadedGroup plain(animtest::OneBundle({animtest::PosStream({{0, VectorXYZ(0, 0, 0)}})}, 10, true));
    guy->SetAnim(1, plain.Char(0), 0);
    guy->AnimateHierarchy(1.0f);
    EXPECT_EQ(guy->blur, nullptr);
    EXPECT_EQ(second->nNumBlurs, 0);
    tick(second);
    EXPECT_TRUE(second->IsDead());

    // A body destroyed with a running trail (as a derived class's handler
    // does on OM_DIE) ends it too.
    guy->SetAnim(1, trail.Char(), 0);
    guy->AnimateHierarchy(1.0f);
    ObjectBlur* third = guy->blur;
    ASSERT_NE(third, nullptr);
    RCptr<Object> heldThird(third);
    delete guy;
    EXPECT_EQ(third->nNumBlurs, 0);
    tick(third);
    EXPECT_TRUE(third->IsDead());
    world.Clear();
}

TEST(GuyAnimation, SoundBankComesFromTheGroupRegistry)
{
    using namespace animtest;
    LoadedGroup grp(OneBundle({PosStream({{0, VectorXYZ(0, 0, 0)}})}, 10, true));
    Guy* guy = NewGuy();
    s16 saved = g_GlobalAGI.rgagi[3].sndbank;
    g_GlobalAGI.rgagi[3].sndbank = 42;
    guy->SetAnim(2, grp.Char(0), 3);
    EXPECT_EQ(guy->blendAnim->sndBank, 42);
    guy->BlendToAnim(4, grp.Char(0), 3, 0, false);
    EXPECT_EQ(guy->blendAnim->sndBank, 42);
    g_GlobalAGI.rgagi[3].sndbank = saved;
    guy->Delete();
}

// ---------------------------------------------------------------------------

TEST(GuyPushOut, HardAxesMeetHalfwayAndFold)
{
    Guy* g = NewGuy();
    g->AddToPopOut(VectorDir(0.0f, -0.3f, 0.0f), true);
    g->AddToPopOut(VectorDir(0.2f, 0.0f, 0.0f), true);
    g->AddToPopOut(VectorDir(0.0f, 0.1f, 0.0f), true);
    ExpectNear(g->GetPopOut(), VectorXYZ(0.2f, -0.1f, 0.0f), 1e-6f);
    EXPECT_EQ(g->hardpopmask, 1u | 4u);
    g->ClearPopOut();

    // Against the only axis: one upward axis, extent capped at 0.15625.
    g->AddToPopOut(VectorDir(0.0f, -0.3f, 0.0f), true);
    g->AddToPopOut(VectorDir(0.0f, 0.1f, 0.0f), true);
    EXPECT_EQ(g->hardpopout.y, Vector(0, 0, 0, 0));
    ExpectNear(VectorXYZ(g->hardpopout.x.v), VectorXYZ(0.0f, -1.0f, 0.0f), 1e-6f);
    EXPECT_EQ(g->hardpopout.x[3], 0.15625f);
    ExpectNear(g->GetPopOut(), VectorXYZ(0.0f, -0.15625f, 0.0f), 1e-6f);
    g->ClearPopOut();

    // Same direction twice: the larger, not the sum.
    g->AddToPopOut(VectorDir(0.0f, -0.2f, 0.0f), true);
    g->AddToPopOut(VectorDir(0.0f, -0.3f, 0.0f), true);
    ExpectNear(g->GetPopOut(), VectorXYZ(0.0f, -0.3f, 0.0f), 1e-6f);
    g->ClearPopOut();

    // Tiny pushes are ignored except by the general soft sum.
    g->AddToPopOut(VectorDir(0.002f, 0.0f, 0.0f), true);
    g->AddToPopOut(VectorDir(0.002f, 0.0f, 0.0f), false);
    g->AddToSoftPopOut(VectorDir(0.002f, 0.0f, 0.0f), g->child);
    ExpectNear(g->GetPopOut(), VectorXYZ(0.0f, 0.0f, 0.0f), 0.0f);
    g->AddToGeneralSoftPopOut(VectorDir(0.002f, 0.0f, 0.0f));
    ExpectNear(g->GetPopOut(), VectorXYZ(0.002f, 0.0f, 0.0f), 0.0f);
    g->Delete();
}

TEST(GuyPushOut, DegenerateFoldsKeepAxisZero)
{
    Guy* g = NewGuy();
    // Extents +0.1 and -0.1 on axis 0 (the second recorded once axis 1
    // exists), then axis 1 cleared so a push against axis 0 meets a zero
    // midpoint: it is recorded on axis 0, which keeps its direction.
    g->hardpopout.x = Vector(1.0f, 0.0f, 0.0f, 0.1f);
    g->hardpopout.w = Vector(-0.1f, 0.0f, 0.0f, 0.0f);
    g->AddToPopOut(VectorDir(-0.05f, 0.0f, 0.0f), true);
    ExpectNear(VectorXYZ(g->hardpopout.x.v), VectorXYZ(1.0f, 0.0f, 0.0f), 0.0f);
    EXPECT_EQ(g->hardpopout.y, Vector(0, 0, 0, 0));
    for (int i = 0; i < 4; i++)
        EXPECT_FALSE(std::isnan(g->hardpopout.x[i]) || std::isnan(g->hardpopout.w[i]));
    g->ClearPopOut();
    // A push that exactly cancels the only axis has no part across it: no
    // second axis, the push kept as axis 0's negative extent.
    g->AddToPopOut(VectorDir(0.0f, -0.3f, 0.0f), true);
    g->AddToPopOut(VectorDir(0.0f, 0.3f, 0.0f), true);
    ExpectNear(VectorXYZ(g->hardpopout.x.v), VectorXYZ(0.0f, -1.0f, 0.0f), 0.0f);
    EXPECT_EQ(g->hardpopout.x[3], 0.3f);
    EXPECT_EQ(g->hardpopout.w[0], -0.3f);
    EXPECT_EQ(g->hardpopout.y, Vector(0, 0, 0, 0));
    ExpectNear(g->GetPopOut(), VectorXYZ(0.0f, 0.0f, 0.0f), 1e-7f);
    g->Delete();
}

TEST(GuyPushOut, SoftPushesShareSlotsAndLoseWhatDrivesIntoWalls)
{
    world.time = 100;
    Guy* g = NewGuy();
    Object others[5];
    for (int k = 0; k < 5; k++)
        g->AddToSoftPopOut(VectorDir(0.01f * (k + 1), 0.0f, 0.0f), &others[k]);
    EXPECT_EQ(g->objsoftpops[3].obj, &others[3]);
    EXPECT_FLOAT_EQ(g->generalsoftpop[0], 0.01f * 5);   // the fifth
    // The same object again: component by component the larger magnitude.
    g->AddToSoftPopOut(VectorDir(-0.005f, 0.0f, -0.2f), &others[0]);
    ExpectNear(g->objsoftpops[0].pop, VectorXYZ(0.01f, 0.0f, -0.2f), 0.0f);
    g->ClearPopOut();

    // A wall pushing +x this frame: a soft push (-0.3, 0, 0.2) keeps only z.
    world.time = 500;
    g->ClearPopOut();
    g->AddToPopOut(VectorDir(0.1f, 0.0f, 0.0f), true);
    g->AddToSoftPopOut(VectorDir(-0.3f, 0.0f, 0.2f), &others[0]);
    ExpectNear(g->GetPopOut(), VectorXYZ(0.1f, 0.0f, 0.2f), 1e-6f);
    // Next frame the wall is only in the snapshot, and still trims.
    world.time = 531;
    g->ClearPopOut();
    EXPECT_EQ(g->prevhardsettime, 531);
    g->AddToSoftPopOut(VectorDir(-0.3f, 0.0f, 0.2f), &others[0]);
    ExpectNear(g->GetPopOut(), VectorXYZ(0.0f, 0.0f, 0.2f), 1e-6f);
    EXPECT_EQ(g->prevhardpopmask, 1u);
    // Two clears in one frame take at most one snapshot.
    world.time = 600;
    g->AddToPopOut(VectorDir(0.0f, 0.0f, 0.3f), true);
    g->ClearPopOut();
    EXPECT_EQ(g->prevhardsettime, 600);
    EXPECT_EQ(g->prevhardpopout.x[2], 1.0f);
    g->AddToPopOut(VectorDir(0.3f, 0.0f, 0.0f), true);
    g->SetPos(VectorPos(5.0f, 0.0f, 0.0f));   // moved far: a snapshot would be due
    g->ClearPopOut();
    EXPECT_EQ(g->prevhardpopout.x[2], 1.0f);
    g->Delete();
}

TEST(GuyPushOut, CharactersPushApartByTheirBoxes)
{
    // Boxes 0.6 x 0.8 (radius 0.5) and 1.2 x 1.6 (radius 1.0): S = 1.5.
    CollBoxEnd boxA(0, Cuboid(VectorPos(-0.3f, -1.0f, -0.4f), VectorPos(0.3f, 0.0f, 0.4f)));
    CollBoxEnd boxB(0, Cuboid(VectorPos(-0.6f, -1.0f, -0.8f), VectorPos(0.6f, 0.0f, 0.8f)));
    Object a, b;
    a.mat = b.mat = Matrix(true);
    a.collision = boxA.Chain();
    b.collision = boxB.Chain();
    a.SetPos(VectorPos(1.0f, -3.0f, 0.0f));
    VectorDir outA(9, 9, 9), outB(9, 9, 9);
    EXPECT_TRUE(PushOutCharacter(&a, &b, &outA, &outB, 1.0f, 1.0f));
    ExpectNear(outA, VectorXYZ(0.5f, 0.0f, 0.0f), 1e-6f);
    ExpectNear(outB, VectorXYZ(0.5f, 0.0f, 0.0f), 1e-6f);
    // fb < fa: outA filled, false, outB untouched.
    outB = VectorDir(9, 9, 9);
    EXPECT_FALSE(PushOutCharacter(&a, &b, &outA, &outB, 1.0f, 0.6f));
    ExpectNear(outA, VectorXYZ(0.5f, 0.0f, 0.0f), 1e-6f);
    EXPECT_EQ(outB[0], 9.0f);
    // On one spot: nothing to part them by.
    a.SetPos(VectorPos(0.0f, -2.0f, 0.0f));
    EXPECT_FALSE(PushOutCharacter(&a, &b, &outA, &outB, 1.0f, 1.0f));
    ExpectNear(outA, VectorXYZ(0.0f, 0.0f, 0.0f), 0.0f);
    EXPECT_FALSE(PushOutCharacter(&a, nullptr, &outA, &outB, 1.0f, 1.0f));
    a.collision = b.collision = nullptr;
}

// ---------------------------------------------------------------------------

TEST(HitBox, QueuedBindsHappenInUpdateOnAcceptableLimbs)
{
    Object* body = new Object;
    Object* limb = new Object;
    body->mat = limb->mat = Matrix(true);
    body->Attach(limb);
    limb->id = 6;
    limb->radius = 0.25f;
    limb->mat = RotY(0.3f);
    limb->mat.SetTrans(VectorPos(0.1f, 0.2f, 0.3f));
    OffensiveCollision* box = new OffensiveCollision;
    EXPECT_EQ(box->flags, 0x1009u);
    EXPECT_EQ(box->index, 0xFFFF);

    Object loose;   // no parent
    Object* dead = new Object;
    body->Attach(dead);
    dead->flags |= OBJF_DEAD;
    for (Object* bad : {static_cast<Object*>(nullptr), static_cast<Object*>(box), &loose, dead}) {
        box->QueueBind(bad, 3);
        EXPECT_EQ(box->boundobj, nullptr);
        EXPECT_EQ(box->isbindactive, 0);
    }

    box->QueueBind(limb, 3);
    EXPECT_FALSE(box->IsBound());
    EXPECT_FALSE(body->flags & OBJF_CHILDCOLLISION);
    box->Update();
    ASSERT_TRUE(box->IsBound());
    EXPECT_EQ(box->parent, body);
    // The collision walk goes down to the box: the body it hangs from is
    // marked as having collisions below it.
    EXPECT_TRUE(body->flags & OBJF_CHILDCOLLISION);
    EXPECT_EQ(box->id, 6);
    EXPECT_EQ(box->radius, 0.25f);
    EXPECT_EQ(box->collbox.box.id, 3);
    EXPECT_EQ(box->GetCollision(), box->collbox.Chain());
    // A second Update only copies the matrix: no second attach.
    limb->mat.SetTrans(VectorPos(0.5f, 0.5f, 0.5f));
    box->Update();
    int children = 0;
    for (Object* c = body->child; c != nullptr; c = c->sibling)
        children += c == box;
    EXPECT_EQ(children, 1);
    EXPECT_EQ(box->mat.w, limb->mat.w);
    EXPECT_EQ(box->mat.x, limb->mat.x);
    // A limb that dies is let go at the next Update.
    limb->flags |= OBJF_DEAD;
    box->Update();
    EXPECT_FALSE(box->IsBound());
    EXPECT_EQ(box->parent, nullptr);
    limb->flags &= ~OBJF_DEAD;
    // Unbind queued on an idle box: stays idle.
    box->QueueUnbind();
    box->Update();
    EXPECT_EQ(box->isbindactive, 0);
    EXPECT_EQ(box->boundobj, nullptr);
    dead->flags &= ~OBJF_DEAD;
    box->Delete();
    body->Delete();
}

// ---------------------------------------------------------------------------
// Streets: a junction at the origin with segments leaving along +x, +z, -x
// (slot order), each a straight curve of length 10 starting at the junction
// (c0.w = 0.1: it leaves the junction at t = 0.1).

namespace {

struct Streets
{
    RoadSeg segs[3]{};
    alignas(16) u8 store[JunctionFile::Size(3)]{};
    Junction* j;

    explicit Streets(int n)
    {
        j = reinterpret_cast<Junction*>(store);
        j->nRoadsegs = u8(n);
        const VectorXYZ dirs[3] = {VectorXYZ(1, 0, 0), VectorXYZ(0, 0, 1), VectorXYZ(-1, 0, 0)};
        for (int k = 0; k < n; k++) {
            Bezier& b = segs[k].bezier;
            b.c0 = Vector(dirs[k] * 0.0f, 0.1f);
            b.c1 = Vector(dirs[k] * 3.0f, 0.0f);
            b.c2 = Vector(dirs[k] * 6.0f, 0.0f);
            b.c3 = Vector(dirs[k] * 10.0f, 0.0f);
            segs[k].jtn[0] = j;
            segs[k].jtn[1] = nullptr;
            j->roadsegs[k] = &segs[k];
        }
    }
};

}  // namespace

TEST(Streets, GroundTypesFromTheCache)
{
    Streets s(3), two(2);
    GHCache c;
    c.Clear();
    c.obj = nullptr;
    EXPECT_EQ(GetGroundType(c), GroundType_Offroad);
    c.prs = &s.segs[0];
    c.SetIndex(0x8000);
    EXPECT_EQ(GetGroundType(c), GroundType_OnStreetSidewalk_R);
    for (int low : {1, 2, 3}) {
        c.SetIndex(0x8000 | low);
        EXPECT_EQ(GetGroundType(c), GroundType_OnStreetSidewalk_L);
    }
    c.SetIndex(0);
    EXPECT_EQ(GetGroundType(c), GroundType_InStreet);
    // At a junction of three the segment wins; of two the junction does.
    c.pjunc = s.j;
    EXPECT_EQ(GetGroundType(c), GroundType_InStreet);
    c.pjunc = two.j;
    EXPECT_EQ(GetGroundType(c), GroundType_InIntersection);
    c.SetIndex(0x8002);
    EXPECT_EQ(GetGroundType(c), GroundType_OnCornerSidewalk_UR);
    c.prs = nullptr;
    c.SetIndex(0x8003);
    EXPECT_EQ(GetGroundType(c), GroundType_OnCornerSidewalk_UL);
}

TEST(Streets, DirectionsSideStreetsAndCorners)
{
    Streets s(3);
    bool ends = true;
    EXPECT_EQ(GetRoadSegmentInDirection(s.j, VectorDir(0.1f, 0.0f, 1.0f), &ends), &s.segs[1]);
    EXPECT_FALSE(ends);
    // Every segment points away from -z: the least bad (first of the equal
    // +x and -x) wins.
    EXPECT_EQ(GetRoadSegmentInDirection(s.j, VectorDir(0.0f, 0.0f, -1.0f), nullptr), &s.segs[0]);

    // Segment 0 (+x) has its normal (0,1,0) x (1,0,0) = (0,0,-1): segment 1
    // (+z) leaves away from it, segment 2 (-x) across it.
    EXPECT_EQ(GetSideStreet(s.j, &s.segs[0], false), &s.segs[1]);
    EXPECT_EQ(GetSideStreet(s.j, &s.segs[0], true), &s.segs[2]);
    RoadPos around, across;
    SetAroundCornerPos(around, s.j, &s.segs[0], false);
    SetAcrossStreetPos(across, s.j, &s.segs[0], false);
    EXPECT_EQ(around.rs, &s.segs[1]);
    EXPECT_EQ(across.rs, &s.segs[2]);
    EXPECT_NE(around.rs, across.rs);
    EXPECT_FLOAT_EQ(around.t, 0.1f);
    // Segment 0 runs into the junction along -x; segment 1's normal is +x.
    EXPECT_TRUE(around.positiveoff);

    Streets two(2);
    EXPECT_EQ(GetSideStreet(two.j, &two.segs[0], true), &two.segs[1]);
    EXPECT_EQ(GetSideStreet(two.j, &two.segs[0], false), &two.segs[1]);
    // Not at the junction, or a junction with nothing: no answer.
    EXPECT_EQ(GetSideStreet(two.j, &s.segs[0], true), nullptr);
    Streets none(0);
    EXPECT_EQ(GetRoadSegmentInDirection(none.j, VectorDir(1, 0, 0), nullptr), nullptr);
    EXPECT_EQ(GetSideStreet(none.j, &s.segs[0], true), nullptr);
}

TEST(Streets, PathSplinesTurnCornersAndRunStraight)
{
    Bezier b;
    GetPathSpline(&b, VectorPos(0, 0, 0), VectorDir(1, 0, 0), VectorPos(1, 0, 1), VectorDir(0, 0, 1));
    EXPECT_EQ(b.c0, Vector(0, 0, 0, 1));
    EXPECT_EQ(b.c1, Vector(0.5f, 0, 0, 0));
    EXPECT_EQ(b.c2, Vector(1, 0, 0.5f, 0));
    EXPECT_EQ(b.c3, Vector(1, 0, 1, 1));
    // Equal headings: untouched.
    Bezier keep(Vector(7, 7, 7, 7), Vector(7, 7, 7, 7), Vector(7, 7, 7, 7), Vector(7, 7, 7, 7));
    GetPathSpline(&keep, VectorPos(0, 0, 0), VectorDir(0, 0, 2), VectorPos(3, 0, 3), VectorDir(0, 5, 1));
    EXPECT_EQ(keep.c1, Vector(7, 7, 7, 7));
    // Opposite headings never cross: the straight curve, thirds of the chord.
    GetPathSpline(&b, VectorPos(0, 0, 0), VectorDir(1, 0, 0), VectorPos(0, 0, 3), VectorDir(-1, 0, 0));
    ExpectNear(VectorXYZ(b.c1.v), VectorXYZ(0.99999f, 0.0f, 0.0f), 1e-5f);
    ExpectNear(VectorXYZ(b.c2.v), VectorXYZ(0.99999f, 0.0f, 3.0f), 1e-5f);
    EXPECT_EQ(b.c3[3], 1.0f);
}

// ---------------------------------------------------------------------------
// Car entry at the sample car.

namespace {

struct SampleCar
{
    MDLFILE mf{};
    void* block = nullptr;
    Texture shared[tools::kVehicleSharedTextures]{};
    Vehicle* car = nullptr;

    explicit SampleCar(bool doors, int type = 0)
    {
        tools::P2BFile f = tools::SampleVehicleFile(type);
        std::vector<u8> bytes;
        std::string error;
        EXPECT_TRUE(tools::WriteP2B(f, bytes, error)) << error;
        block = malloc_align(u32(bytes.size()), 64);
        std::memcpy(block, bytes.data(), bytes.size());
        mf.SetBuffer(block);
        EXPECT_TRUE(mf.Init(u32(bytes.size()), shared, tools::kVehicleSharedTextures));
        car = new Vehicle;
        car->mdlfile = &mf;
        car->index = tools::kVehBodyNode;
        car->mat = RotY(0.5f);
        car->SetPos(VectorPos(10.0f, 0.0f, 20.0f));
        if (doors) {
            for (int id : {tools::kVehDoorLeftId, tools::kVehDoorRightId}) {
                Object* d = new Object;
                d->mat = Matrix(true);
                d->id = s16(id);
                car->Attach(d);
            }
        }
    }
    ~SampleCar()
    {
        car->Delete();
        free(block);
    }
    Object* Door(int id) { return car->FindSubObject(id); }
};

// Listens for special messages.
struct Listener : public Object
{
    static int mh(Object* o, OBJMESSAGE msg, void* data)
    {
        if (msg == OM_SPECIAL)
            static_cast<Listener*>(o)->heard.push_back(static_cast<SpecialMessage*>(data)->submsg);
        return 0;
    }
    Listener() : Object(mh) {}
    std::vector<int> heard;
};

struct Body
{
    Guy* guy;
    AnimChar* clips[80];
    u8 groups[80]{};
    std::unique_ptr<animtest::LoadedGroup> grp;

    Body()
    {
        grp = std::make_unique<animtest::LoadedGroup>(
            animtest::OneBundle({animtest::PosStream({{0, VectorXYZ(0, 0, 0)}})}, 60, true));
        guy = NewGuy();
        for (AnimChar*& c : clips)
            c = grp->Char(0);
        guy->anims = clips;
        guy->animbanks = groups;
    }
    ~Body()
    {
        if (guy->parent == nullptr)
            guy->Delete();
    }
};

}  // namespace

TEST(CarEntry, DoorSwingCurveHoldsItsEnds)
{
    const float deg = kPi / 180.0f;
    const DoorSwing& open = Guy::door_getinopen;
    EXPECT_EQ(open.Angle(0.0f), 0.0f);
    EXPECT_EQ(open.Angle(11.9f), 0.0f);
    EXPECT_FLOAT_EQ(open.Angle(35.0f), 70.0f * deg);
    EXPECT_FLOAT_EQ(open.Angle(50.0f), 70.0f * deg);
    // Kept: plain products without a Bezier's factors of 3, one eighth of
    // the four values' sum half way.
    EXPECT_NEAR(open.Angle(23.5f), 24.375f * deg, 1e-5f);
    EXPECT_NEAR(Guy::door_getoutclose.Angle(22.5f), (70.0f + 65.0f + 30.0f) / 8.0f * deg, 1e-5f);
}

TEST(CarEntry, CloseToTheGetInPointTheBodyIsPutOnIt)
{
    SampleCar sc(true);
    Body b;
    world.playbackSpeed = 1.2f;
    // The left get-in point in the world.
    VectorXYZ T = sc.car->mat * VectorPos(-tools::kVehGetInX, 0.0f, tools::kVehGetInZ);
    b.guy->SetPos(VectorPos(T[0] + 0.09f, -1.0f, T[2]));   // 0.0081 squared
    b.guy->SetAnim(CARTRANS_TURNENTRY_L);
    b.guy->UpdateCarTransitionFront(sc.car);
    EXPECT_EQ(b.guy->mode2, CARTRANS_STARTMOVE_L);
    ExpectNear(b.guy->Pos(), VectorXYZ(T[0], -1.0f, T[2]), 1e-5f);
    // Farther off it turns first and stays in its phase until facing.
    b.guy->SetPos(VectorPos(T[0] + 0.1f, -1.0f, T[2] - 3.0f));
    b.guy->mat.x = Vector(-1, 0, 0, 0);
    b.guy->mat.z = Vector(0, 0, -1, 0);
    b.guy->SetAnim(CARTRANS_TURNENTRY_L);
    b.guy->UpdateCarTransitionFront(sc.car);
    EXPECT_EQ(b.guy->mode2, CARTRANS_TURNENTRY_L);
}

TEST(CarEntry, GettingInAnnouncesItselfToTheDriverAndPicksTheDoorClip)
{
    Body b;
    {
        SampleCar noDoors(false);
        b.guy->id = -1;
        b.guy->GetInCar(noDoors.car, true);
        EXPECT_EQ(b.guy->mode2, CARTRANS_GETIN_L);
        EXPECT_EQ(b.guy->parent, noDoors.car);
        ExpectNear(b.guy->Pos(), VectorXYZ(-tools::kVehGetInX, 0.0f, tools::kVehGetInZ), 1e-6f);
        b.guy->DetachW();
    }
    SampleCar sc(true);
    Listener driver;
    sc.car->rcoDriver = &driver;
    b.guy->id = -1;
    b.guy->GetInCar(sc.car, false);
    EXPECT_EQ(b.guy->mode2, CARTRANS_OPENIN_R);
    b.guy->id = 12;
    b.guy->GetInCar(sc.car, true);
    EXPECT_EQ(b.guy->mode2, CARTRANS_OPENIN_L);
    EXPECT_EQ(driver.heard, (std::vector<int>{SMSG_CD_SEAT_TAKEN, SMSG_CD_LOCK}));
    // The body keeps its world heading: identity in the world is RotY(-0.5)
    // in the car's frame.
    ExpectNear(VectorXYZ(b.guy->GetWorldMatrix().z.v), VectorXYZ(0.0f, 0.0f, 1.0f), 1e-4f);
    // A driverless car hears nothing (and nothing breaks).
    sc.car->rcoDriver = nullptr;
    b.guy->GetInCar(sc.car, true);
    EXPECT_EQ(driver.heard.size(), 2u);
    b.guy->Detach();

    // The opening swing of the left door while 69 plays.
    b.guy->GetInCar(sc.car, true);
    b.guy->frame = b.guy->firstanimframe + 23.5f;
    b.guy->UpdateCarTransitionFront(sc.car);
    Object* door = sc.Door(tools::kVehDoorLeftId);
    EXPECT_NEAR(ArcTan2(door->mat.z[0], door->mat.z[2]), 24.375f * kPi / 180.0f, 2e-3f);
    b.guy->Detach();
}

// Walking up to the sample motorbike from its left: the body stops beside
// the bike, turns to its seat and gets on from that side.
TEST(CarEntry, TheSampleBikeIsWalkedUpToAndMountedFromItsSide)
{
    SampleCar bike(false, 14);
    bike.car->bCycle = true;
    Body b;
    world.playbackSpeed = 1.2f;
    // Half a unit out on the bike's left, level with the middle of its body,
    // facing along the bike.
    const Matrix bw = bike.car->GetWorldMatrix();
    b.guy->mat = bw;
    b.guy->SetPos(VectorPos(bw * VectorPos(-0.5f, 0.0f, 0.0f)));
    b.guy->SetAnim(CARTRANS_TURNENTRY_L);
    int frames = 0;
    while (b.guy->mode2 != CARTRANS_GETON_L && frames < 60) {
        b.guy->frame += 1.0f;
        b.guy->UpdateCarTransitionFront(bike.car);
        frames++;
    }
    ASSERT_EQ(b.guy->mode2, CARTRANS_GETON_L) << "stalled in " << b.guy->mode2;
    EXPECT_EQ(b.guy->parent, bike.car);
    // On the ground beside the bike's left, clear of its narrow body, and
    // alongside it rather than ahead or behind.
    const VectorXYZ at = b.guy->Pos();
    EXPECT_LT(at[0], -0.2f);
    EXPECT_NEAR(at[1], 0.0f, 1e-5f);
    EXPECT_LT(std::fabs(at[2]), tools::SampleVehicleHalfLength(14));
    // Facing across the bike toward its seat.
    EXPECT_GT(b.guy->mat.z[0], 0.9f);
    b.guy->Detach();
}

TEST(CarEntry, SeatingPushesTheBodyOnlyOnFrames20To30)
{
    SampleCar sc(true);
    Body b;
    world.playbackSpeed = 1.2f;
    b.guy->GetInCar(sc.car, false);
    b.guy->SetAnim(CARTRANS_GETIN_R);
    b.guy->SetPos(VectorPos(tools::kVehGetInX, 0.0f, tools::kVehGetInZ));
    std::vector<int> pushed;
    for (int t = 0; t < 40 && b.guy->mode2 == CARTRANS_GETIN_R; t++) {
        b.guy->frame = b.guy->firstanimframe + float(t);
        sc.car->vel = Vector(0, 0, 0, 0);
        sc.car->angvel = Vector(0, 0, 0, 0);
        b.guy->UpdateCarTransitionFront(sc.car);
        if (sc.car->vel[1] != 0.0f || sc.car->angvel[0] != 0.0f || sc.car->angvel[2] != 0.0f)
            pushed.push_back(t);
    }
    EXPECT_EQ(pushed, (std::vector<int>{20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30}));
    b.guy->Detach();
}
