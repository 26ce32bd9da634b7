#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "ZevEngine2/object_support.h"
#include "ZevEngine2/light.h"
#include "ZevEngine2/World.h"
#include "ZevEngine2/PS2/Model.h"

using objtest::HeapFree;

namespace {

// The part of a render context that light selection fills.
struct FakeRC
{
    int nlights = -1;
    Light lights[8] = {};
    std::vector<Vector> directional;   // d0, d1, d2, col1, col2, col3, amb

    void SetDirectionalLights(VectorDir d0, VectorDir d1, VectorDir d2, Vector c1, Vector c2, Vector c3, Vector amb)
    {
        directional = {Vector(d0, 0), Vector(d1, 0), Vector(d2, 0), c1, c2, c3, amb};
    }
};

Light Point(float r, float g, float b, VectorPos pos, float range, bool isStatic = false)
{
    Light l = {};
    l.SetColour(VectorXYZ(r, g, b));
    l.SetPos(pos);
    l.SetPointLight(range, isStatic);
    return l;
}

Light Dir(float r, float g, float b, VectorDir d)
{
    Light l = {};
    l.SetColour(VectorXYZ(r, g, b));
    l.SetDirLight(d);
    return l;
}

class Lights : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SetLightContext(&lc);
        ClearLights();
    }
    void TearDown() override { SetLightContext(nullptr); }

    LightContext lc;
};

// ---------------------------------------------------------------------------
// Light records

TEST(Light, PointAndSpotParameters)
{
    Light p = Point(1, 1, 1, VectorPos(1, 2, 3), 2.0f);
    EXPECT_EQ(p.params, Vector(2, 1, 19.0f / 4.0f, 1));
    EXPECT_EQ(p.GetType(), ZEVLIGHT_POS);
    EXPECT_EQ(p.dir, Vector(0, 0, 0, 0));
    EXPECT_EQ(Point(1, 1, 1, VectorPos(0, 0, 0), 2.0f, true).GetType(), ZEVLIGHT_POS_STATIC);

    // A cone of 60 degrees: cos² = 1/4, so 1 / (1 - cos²) = 4/3.
    Light s = {};
    s.SetSpotLight(float(M_PI / 3), 4.0f, VectorDir(0, 0, 1), false);
    EXPECT_EQ(s.GetType(), ZEVLIGHT_SPOT);
    EXPECT_FLOAT_EQ(s.params[0], 4.0f);
    EXPECT_FLOAT_EQ(s.params[2], 19.0f / 16.0f);
    EXPECT_NEAR(s.params[3], 1.0f - 4.0f / 3.0f, 1e-5f);
    EXPECT_NEAR(s.dir[2], std::sqrt(4.0f / 3.0f), 1e-5f);
    s.SetSpotLight(float(M_PI / 3), 4.0f, VectorDir(0, 0, 1), true);
    EXPECT_EQ(s.GetType(), ZEVLIGHT_SPOT_STATIC);
}

// ---------------------------------------------------------------------------
// The light context

TEST_F(Lights, AmbientLightsAddUp)
{
    Light a = {};
    a.SetColour(VectorXYZ(0.25f, 0.5f, 0));
    a.SetType(ZEVLIGHT_AMB);
    AddLight(a);
    AddLight(a);
    EXPECT_EQ(VectorXYZ(lc.ambient), VectorXYZ(0.5f, 1.0f, 0));
    EXPECT_EQ(lc.numTempLights, 0);
}

TEST_F(Lights, DirectionalLightsAreKeptBrightestFirst)
{
    AddLight(Dir(1, 0, 0, VectorDir(1, 0, 0)));   // brightness 1
    AddLight(Dir(2, 0, 0, VectorDir(0, 1, 0)));   // 4: goes first
    AddLight(Dir(0, 2, 0, VectorDir(0, 0, 1)));   // 4 again: no brighter, so second
    EXPECT_EQ(lc.dirLightDir[0], VectorDir(0, 1, 0));
    EXPECT_EQ(lc.dirLightDir[1], VectorDir(0, 0, 1));
    EXPECT_EQ(lc.dirLightDir[2], VectorDir(1, 0, 0));
    AddLight(Dir(0.5f, 0, 0, VectorDir(1, 1, 0)));   // dimmer than all three: dropped
    EXPECT_EQ(lc.dirLightDir[2], VectorDir(1, 0, 0));
    AddLight(Dir(3, 0, 0, VectorDir(0, -1, 0)));   // brightest: the dimmest falls out
    EXPECT_EQ(lc.dirLightDir[0], VectorDir(0, -1, 0));
    EXPECT_EQ(lc.dirLightDir[2], VectorDir(0, 0, 1));
    EXPECT_EQ(lc.numTempLights, 0);
}

TEST_F(Lights, AtMost64LocalLightsAreHeld)
{
    for (int i = 0; i < 70; i++)
        AddLight(Point(1, 1, 1, VectorPos(float(i), 0, 0), 1));
    EXPECT_EQ(lc.numTempLights, 64);
    EXPECT_EQ(lc.tempLights[63].GetPos(), VectorPos(63, 0, 0));
    ClearLights();
    EXPECT_EQ(lc.numTempLights, 0);
}

TEST_F(Lights, SetUpAfterClearSendsBlackLights)
{
    AddLight(Dir(1, 1, 1, VectorDir(0, 1, 0)));
    ClearLights();
    FakeRC rc;
    SetUpLights(rc);
    EXPECT_EQ(rc.nlights, 0);
    ASSERT_EQ(rc.directional.size(), 7u);
    EXPECT_EQ(rc.directional[3], Vector(0, 0, 0, 0));
    EXPECT_EQ(rc.directional[4], Vector(0, 0, 0, 0));
    EXPECT_EQ(rc.directional[5], Vector(0, 0, 0, 0));
    EXPECT_EQ(rc.directional[6], Vector(0, 0, 0, 1));
}

TEST_F(Lights, SetUpSendsTheHeldLights)
{
    Light a = {};
    a.SetColour(VectorXYZ(0.1f, 0.2f, 0.3f));
    AddLight(a);
    AddLight(Dir(0.5f, 0.5f, 0.5f, VectorDir(0, 1, 0)));
    FakeRC rc;
    SetUpLights(rc);
    EXPECT_EQ(rc.directional[0], Vector(0, 1, 0, 0));
    EXPECT_EQ(rc.directional[3], Vector(0.5f, 0.5f, 0.5f, 0));
    EXPECT_EQ(rc.directional[6], Vector(0.1f, 0.2f, 0.3f, 1));
}

TEST_F(Lights, BestLightsRankByColourTimesRangeOverDistanceSquared)
{
    AddLight(Point(1, 0, 0, VectorPos(2, 0, 0), 10));     // 1 * 10 / 4 = 2.5
    AddLight(Point(0, 0, 2, VectorPos(0, 1, 0), 3));      // 2 * 3 / 1 = 6
    AddLight(Point(0, 1, 0, VectorPos(0, 0, 3), 10));     // 10 / 9 = 1.11
    AddLight(Point(1, 1, 1, VectorPos(0, 0, 0), 10));     // at the object: skipped
    AddLight(Point(5, 5, 5, VectorPos(20, 0, 0), 10));    // beyond range + radius: skipped
    AddLight(Point(0, 0, 0, VectorPos(1, 0, 0), 10));     // black: scores 0
    FakeRC rc;
    FindBestLights(rc, VectorPos(0, 0, 0), 1.0f, false);
    ASSERT_EQ(rc.nlights, 3);
    EXPECT_EQ(rc.lights[0].GetPos(), VectorPos(0, 1, 0));
    EXPECT_EQ(rc.lights[1].GetPos(), VectorPos(2, 0, 0));
    EXPECT_EQ(rc.lights[2].GetPos(), VectorPos(0, 0, 3));
}

TEST_F(Lights, ReachIsRangePlusRadiusExclusive)
{
    AddLight(Point(1, 1, 1, VectorPos(5, 0, 0), 4));
    FakeRC rc;
    FindBestLights(rc, VectorPos(0, 0, 0), 1.0f, false);   // d = 5 = range + radius
    EXPECT_EQ(rc.nlights, 0);
    FindBestLights(rc, VectorPos(0, 0, 0), 1.5f, false);
    EXPECT_EQ(rc.nlights, 1);
}

TEST_F(Lights, FiveEqualScoresPickTheLastFourLatestFirst)
{
    for (int i = 0; i < 5; i++)
    {
        Light l = Point(1, 1, 1, VectorPos(0, 0, 0), 10);
        // Equal distance 2 in five directions; the id rides in colour w
        // above the kind byte.
        VectorPos at[5] = {VectorPos(2, 0, 0), VectorPos(-2, 0, 0), VectorPos(0, 2, 0), VectorPos(0, -2, 0),
                           VectorPos(0, 0, 2)};
        l.SetPos(at[i]);
        l.SetType(ZEVLIGHT_POS | (i + 1) << 8);
        AddLight(l);
    }
    FakeRC rc;
    FindBestLights(rc, VectorPos(0, 0, 0), 0.0f, false);
    ASSERT_EQ(rc.nlights, 4);
    EXPECT_EQ(rc.lights[0].GetType() >> 8, 5);
    EXPECT_EQ(rc.lights[1].GetType() >> 8, 4);
    EXPECT_EQ(rc.lights[2].GetType() >> 8, 3);
    EXPECT_EQ(rc.lights[3].GetType() >> 8, 2);
}

TEST_F(Lights, StaticLightsOnlyWhenAllAreAsked)
{
    AddLight(Point(1, 1, 1, VectorPos(1, 0, 0), 10, true));
    Light spot = {};
    spot.SetColour(VectorXYZ(1, 1, 1));
    spot.SetPos(VectorPos(0, 1, 0));
    spot.SetSpotLight(0.5f, 10, VectorDir(1, 0, 0), true);   // pointing away: cone not considered
    AddLight(spot);
    FakeRC rc;
    FindBestLights(rc, VectorPos(0, 0, 0), 1.0f, false);
    EXPECT_EQ(rc.nlights, 0);
    FindBestLights(rc, VectorPos(0, 0, 0), 1.0f, true);
    EXPECT_EQ(rc.nlights, 2);
}

TEST(LightsNoContext, SelectionWithoutAContextChoosesNothing)
{
    SetLightContext(nullptr);
    FakeRC rc;
    FindBestLights(rc, VectorPos(0, 0, 0), 1.0f, true);
    EXPECT_EQ(rc.nlights, 0);
    ClearLights();
    AddLight(Dir(1, 1, 1, VectorDir(0, 1, 0)));
}

// ---------------------------------------------------------------------------
// Light objects

NODE LightNode(int kind, Colour c, float intensity, u32 extra2, VectorPos pos, VectorXYZ ang)
{
    NODE n = {};
    n.model = u16(MDL_LIGHT + kind);
    n.collision = n.animation = n.sibling = n.child = 0xFFFF;
    n.pos = Vector(pos, 0.0f);
    n.pos.setwcomponent(int(c.Word()));
    n.ang = Vector(ang, intensity);
    n.extra2 = extra2;
    return n;
}

class LightObjects : public Lights
{
protected:
    void SetUp() override
    {
        Lights::SetUp();
        heapBefore = HeapFree();
    }
    void TearDown() override
    {
        EXPECT_EQ(HeapFree(), heapBefore);
        Lights::TearDown();
    }
    unsigned heapBefore = 0;
};

TEST_F(LightObjects, SetUpFromANodeReadsColourRangeConeAndMatrix)
{
    // Range 2.5 (10240 / 4096), cone 0.25 (8192 / 32768), intensity 64: half.
    NODE n = LightNode(ZEVLIGHT_SPOT, Colour(128, 64, 32, 200), 64.0f, 10240 | 8192u << 16, VectorPos(1, 2, 3),
                       VectorXYZ(0, 0.5f, 0));
    LightObject* l = new LightObject;
    l->SetUp(&n);
    EXPECT_EQ(l->type, OBJT_LIGHT);
    EXPECT_EQ(l->messagehandler, LightObject::LightObject_mh);
    EXPECT_EQ(l->flags & 0x410003u, 0x410003u);
    EXPECT_TRUE(l->setUp);
    EXPECT_EQ(l->lightType, u32(ZEVLIGHT_SPOT));
    EXPECT_EQ(VectorXYZ(l->colour), VectorXYZ(64, 32, 16));
    EXPECT_EQ(l->colour[3], 200.0f);
    EXPECT_FLOAT_EQ(l->range, 2.5f);
    EXPECT_FLOAT_EQ(l->angRange, 0.25f);
    EXPECT_EQ(l->mat.w, Vector(1, 2, 3, 1));
    EXPECT_EQ(l->mat.z, RotY(0.5f).z);
    l->Delete();
}

TEST_F(LightObjects, EachKindAddsItsLightFromTheWorldMatrix)
{
    Object parent;
    parent.mat = TransMatrix(10, 0, 0);

    PointLightObject* p = new PointLightObject(Colour(128, 0, 0, 0), VectorPos(0, 1, 0), 5.0f);
    parent.Attach(p);
    p->SendMessage(OM_FRAME, nullptr);
    ASSERT_EQ(lc.numTempLights, 1);
    EXPECT_EQ(lc.tempLights[0].GetPos(), VectorPos(10, 1, 0));
    EXPECT_EQ(lc.tempLights[0].GetType(), ZEVLIGHT_POS);
    EXPECT_EQ(lc.tempLights[0].Range(), 5.0f);
    EXPECT_EQ(lc.tempLights[0].GetColour(), VectorXYZ(0.5f, 0, 0));

    p->lightType = ZEVLIGHT_POS_STATIC;
    p->SendMessage(OM_FRAME, nullptr);
    EXPECT_EQ(lc.tempLights[1].GetType(), ZEVLIGHT_POS_STATIC);

    DirLightObject* d = new DirLightObject(Colour(64, 64, 64, 0), VectorDir(0, 1, 0));
    d->SendMessage(OM_FRAME, nullptr);
    EXPECT_EQ(lc.dirLightCol[0], VectorXYZ(0.25f, 0.25f, 0.25f));
    EXPECT_NEAR(lc.dirLightDir[0][1], 1.0f, 1e-6f);

    AmbLightObject* a = new AmbLightObject(Colour(32, 0, 0, 0));
    a->SendMessage(OM_FRAME, nullptr);
    EXPECT_EQ(VectorXYZ(lc.ambient), VectorXYZ(0.125f, 0, 0));

    SpotLightObject* s = new SpotLightObject(Colour(0, 128, 0, 0), VectorPos(0, 0, 0), VectorDir(0, 0, 1), 3, 0.5f);
    s->lightType = ZEVLIGHT_SPOT_STATIC;
    s->SendMessage(OM_FRAME, nullptr);
    ASSERT_EQ(lc.numTempLights, 3);
    EXPECT_EQ(lc.tempLights[2].GetType(), ZEVLIGHT_SPOT_STATIC);
    EXPECT_NEAR(lc.tempLights[2].GetDir()[2], 1.0f / std::sin(0.5f), 1e-4f);

    s->lightType = ZEVLIGHT_FOG;   // no light of its own here
    s->SendMessage(OM_FRAME, nullptr);
    EXPECT_EQ(lc.numTempLights, 3);

    p->Detach();
    for (Object* o : {(Object*)p, (Object*)d, (Object*)a, (Object*)s})
        EXPECT_EQ(o->SendMessage(OM_DIE, nullptr), -1);
}

TEST_F(LightObjects, CreatedByKindThenSetUpFromItsNodeOnInit)
{
    int made = LightObject::LightObject_mh(nullptr, OM_CREATE, nullptr);
    LightObject* l = (LightObject*)(intptr_t)made;
    ASSERT_NE(l, nullptr);
    EXPECT_FALSE(l->setUp);
    EXPECT_EQ(l->index, 0xFFFF);
    EXPECT_EQ(l->type, OBJT_LIGHT);

    NODE nodes[2] = {LightNode(ZEVLIGHT_POS, Colour(0, 0, 0, 0), 128, 0, VectorPos(0, 0, 0), VectorXYZ(0, 0, 0)),
                     LightNode(ZEVLIGHT_POS, Colour(128, 128, 128, 0), 128, 4096, VectorPos(4, 0, 0),
                               VectorXYZ(0, 0, 0))};
    MDLFILE mf = {};
    mf.nodes = nodes;
    mf.nNodes = 2;
    l->mdlfile = &mf;
    l->index = 1;
    {
        World w;
        ASSERT_TRUE(w.AddObject(l, nullptr));
        EXPECT_TRUE(l->setUp);
        EXPECT_EQ(l->range, 1.0f);
        EXPECT_TRUE(w.HasLights());
        w.Update();   // a frame call adds the light
        ASSERT_EQ(lc.numTempLights, 1);
        EXPECT_EQ(lc.tempLights[0].GetPos(), VectorPos(4, 0, 0));
        w.Clear();
    }
}

}  // namespace
