// Traffic lights and street lights: binding to a junction, the lamp shown
// for the signal, polling by distance, glows and the night light's fade.
#include <gtest/gtest.h>

#include "game/city_support.h"
#include "game/explode_support.h"

#include "ZevEngine2/PS2/Model.h"
#include "game/CityLights.h"
#include "game/MAIN.h"

using namespace explodetest;

namespace {

constexpr int kSlot = 253;
const VectorPos kRed(0.1f, -0.5f, 0.0f), kAmber(0.1f, -0.4f, 0.0f), kGreen(0.1f, -0.3f, 0.0f);

// A prop of kind 14 with exttype `ext`; lamps on two faces, the street
// light's lamp the first red node.
tools::P2BFile LightModel()
{
    tools::P2BFile f;
    f.models = {BareModel(0.5f)};
    f.AddNode(-1, tools::MakeNode(0, VectorPos(0, 0, 0), VectorXYZ(0, 0, 0), 14));
    for (int face = 0; face < 2; face++) {
        const float s = face == 0 ? 1.0f : -1.0f;
        f.AddNode(0, tools::MakeNode(MDL_NOGEOM, VectorPos(kRed[0] * s, kRed[1], 0), VectorXYZ(0, 0, 0), 0x8001));
        f.AddNode(0, tools::MakeNode(MDL_NOGEOM, VectorPos(kAmber[0] * s, kAmber[1], 0), VectorXYZ(0, 0, 0), 0x8002));
        f.AddNode(0, tools::MakeNode(MDL_NOGEOM, VectorPos(kGreen[0] * s, kGreen[1], 0), VectorXYZ(0, 0, 0), 0x8003));
    }
    return f;
}

std::vector<u8> Block(u16 exttype, u32 colourWord = 0, float radius = 0.0f, u16 strength = 0x5555)
{
    ExteriorSpecific_params p{};
    p.exttype = exttype;
    std::memcpy(p.color, &colourWord, 4);
    p.radius = radius;
    p.strength = strength;
    std::vector<u8> b(sizeof p);
    std::memcpy(b.data(), &p, sizeof p);
    return b;
}

// A real prop at `at`, its x axis along xdir, made by its handler with the
// block of its model file.
Object* MakeProp(MDLFILE* mf, VectorPos at, VectorDir xdir = VectorDir(1, 0, 0))
{
    Object t;
    t.mdlfile = mf;
    OBJMESSAGEHANDLER h = GetGridMessageHandler(&t);
    EXPECT_NE(h, nullptr);
    if (h == nullptr)
        return nullptr;
    Object* o = reinterpret_cast<Object*>(intptr_t(h(nullptr, OM_CREATE, nullptr)));
    mf->GetHierarchyTo(o, 0, 0);
    o->mat = RotY(std::atan2(-xdir[2], xdir[0]));
    o->mat.SetTrans(at);
    world.AddObject(o, const_cast<ExteriorSpecific_params*>(PropParams(mf, 0)));
    return o;
}

Colour GlowColour(const Glow& g) { return g.GetColour(); }
int GlowsListed()
{
    int n = 0;
    for (Glow* g = gGlows.Head(); !g->IsEOList(); g = g->Next())
        n++;
    return n;
}

class Lights : public citytest::CityWorld
{
protected:
    void SetUp() override
    {
        world.Clear();
        gGlows.Clear();
        SetLightContext(&lc);
        ClearLights();
        rc.SetCameraMatrix(Matrix(true));
    }
    void TearDown() override
    {
        world.Clear();
        gGlows.Clear();
        ClearLights();
        streetLight = 0;
        rc.SetCameraMatrix(Matrix(true));
        citytest::CityWorld::TearDown();
    }
    static u32 NextTimerIn()
    {
        return world.timerlist.IsEmpty() ? 0 : (world.timerlist.Head()->time.t - world.timePrecise.t) >> 8;
    }
};

}  // namespace

TEST_F(Lights, ATrafficLightWithoutAJunctionStaysDarkAndIsNotAskedAgain)
{
    SlotFile f(kSlot, LightModel(), {{0, Block(1)}});
    Object* light = MakeProp(f.mf(), VectorPos(0, -2, 0));
    ASSERT_NE(light, nullptr);
    EXPECT_EQ(light->messagehandler, StopLight::_mh);
    EXPECT_TRUE(light->flags & 0x100000);
    light->SendMessage(OM_WASDRAWN, nullptr);
    EXPECT_FALSE(light->flags & 0x100000);
    EXPECT_EQ(GlowsListed(), 0);
    EXPECT_EQ(static_cast<StopLight*>(light)->u16Flags, 0);
}

TEST_F(Lights, ALightTakesTheGroupOfTheRoadItIsAlignedWith)
{
    const float m = 128.0f;
    Load(tools::TestCity(tools::TestCityKind::kTJunction));
    ASSERT_TRUE(SyncTo(VectorPos(m, -1.0f, m)));
    SlotFile f(kSlot, LightModel(), {{0, Block(1)}});
    Junction* j = FindJunction(VectorPos(m, -1.0f, m));
    ASSERT_NE(j, nullptr);
    ASSERT_EQ(j->nRoadsegs, 3);
    EXPECT_NE(j->u8Flags & 3, 2);
    // Along the through road (slots 0/1): the first group.
    Object* a = MakeProp(f.mf(), VectorPos(m + 6, -1.5f, m + 6), VectorDir(1, 0, 0));
    a->SendMessage(OM_WASDRAWN, nullptr);
    EXPECT_EQ(j->u8Flags & 3, 2);
    const u16 want = u16(j->u8Flags | 0x8000);
    EXPECT_EQ(static_cast<StopLight*>(a)->u16Flags, want);
    EXPECT_EQ(GlowsListed(), 2);
    // At time 0 the first group has green (command 1): green glows.
    EXPECT_EQ(static_cast<StopLight*>(a)->iLastCmd, 0);
    Colour g = GlowColour(static_cast<StopLight*>(a)->glow[0]);
    EXPECT_EQ(g.g, 0x40);
    EXPECT_EQ(g.r, 0x00);
    EXPECT_EQ(g.a, 0x80);
    EXPECT_NEAR(static_cast<StopLight*>(a)->glow[0].v0[1], -1.5f + kGreen[1], 1e-5f);
    // Along the stem (the third slot): the second group, red at time 0.
    ASSERT_GT(std::fabs(Dot(Normalise(VectorDir(VectorXYZ(j->roadsegs[2]->bezier.c3.v) -
                                                VectorXYZ(j->roadsegs[2]->bezier.c0.v))),
                            VectorDir(0, 0, 1))),
              0.99f);
    Object* b = MakeProp(f.mf(), VectorPos(m + 6, -1.5f, m + 6), VectorDir(0, 0, 1));
    b->SendMessage(OM_WASDRAWN, nullptr);
    EXPECT_EQ(static_cast<StopLight*>(b)->u16Flags, u16(j->u8Flags));
    EXPECT_EQ(static_cast<StopLight*>(b)->iLastCmd, 12);
    EXPECT_EQ(GlowColour(static_cast<StopLight*>(b)->glow[0]).r, 0x40);
}

TEST_F(Lights, OnAFourWayCrossingSlotOneIsTheSecondGroup)
{
    const float m = 128.0f;
    Load(tools::TestCity(tools::TestCityKind::kCrossing));
    ASSERT_TRUE(SyncTo(VectorPos(m, -1.0f, m)));
    SlotFile f(kSlot, LightModel(), {{0, Block(1)}});
    Junction* j = FindJunction(VectorPos(m, -1.0f, m));
    ASSERT_EQ(j->nRoadsegs, 4);
    // The light lies along the road in slot 1.
    const Bezier& b1 = j->roadsegs[1]->bezier;
    const VectorDir along = Normalise(VectorDir(VectorXYZ(b1.c3.v) - VectorXYZ(b1.c0.v)));
    ASSERT_GT(std::fabs(Dot(along, VectorDir(0, 0, 1))) + std::fabs(Dot(along, VectorDir(1, 0, 0))), 0.99f);
    Object* a = MakeProp(f.mf(), VectorPos(m + 6, -1.5f, m + 6), along);
    a->SendMessage(OM_WASDRAWN, nullptr);
    EXPECT_EQ(static_cast<StopLight*>(a)->u16Flags, u16(j->u8Flags));
    EXPECT_EQ(static_cast<StopLight*>(a)->u16Flags & 0x8000, 0);
}

TEST_F(Lights, RedCommandsDoNotReposeAndFarLightsPollLessOften)
{
    SlotFile f(kSlot, LightModel(), {{0, Block(1)}});
    Object* light = MakeProp(f.mf(), VectorPos(0, -2, 0));
    StopLight* s = static_cast<StopLight*>(light);
    // Signal kind 0, first group: 13, 14, 12 by phase of 480 ticks.
    s->u16Flags = 0x8000;
    rc.SetCameraMatrix(TransMatrix(VectorPos(10.0f, -2.0f, 0.0f)));
    s->Timer(light);
    EXPECT_EQ(s->iLastCmd, 12);
    EXPECT_EQ(GlowColour(s->glow[0]).r, 0x40);
    EXPECT_EQ(NextTimerIn(), 48u);
    s->glow[0].v0 = Vector(1.0f, 2.0f, 3.0f, 4.0f);
    for (int t : {480, 960, 1440, 1920}) {
        world.time = t;
        s->Timer(light);
    }
    EXPECT_EQ(s->glow[0].v0[0], 1.0f);   // not placed again
    world.StopTimer(light);
    rc.SetCameraMatrix(TransMatrix(VectorPos(0.9f, -2.0f, 0.0f)));
    s->Timer(light);
    EXPECT_EQ(NextTimerIn(), 8u);
    world.time = 0;
}

TEST_F(Lights, StreetLightsGlowAndLightOnlyAtNightFadingWithDistance)
{
    // The block's colour bytes are stored last to first: r 0x80, g 0x40, b 0x20.
    SlotFile f(kSlot, LightModel(), {{0, Block(2, 0x80402000u, 6.0f)}});
    Object* lamp = MakeProp(f.mf(), VectorPos(0, -2, 0));
    ASSERT_EQ(lamp->messagehandler, StreetLight::_mh);
    StreetLight* s = static_cast<StreetLight*>(lamp);
    EXPECT_EQ(s->colour.r, 0x80);
    EXPECT_EQ(s->colour.g, 0x40);
    EXPECT_EQ(s->colour.b, 0x20);
    lamp->SendMessage(OM_WASDRAWN, nullptr);
    EXPECT_EQ(GlowsListed(), 0);
    EXPECT_EQ(lc.numTempLights, 0);
    streetLight = 1;
    rc.SetCameraMatrix(TransMatrix(VectorPos(0.0f, -2.5f, -5.0f)));
    lamp->SendMessage(OM_WASDRAWN, nullptr);
    EXPECT_EQ(GlowsListed(), 1);
    ASSERT_EQ(lc.numTempLights, 1);
    EXPECT_FLOAT_EQ(lc.tempLights[0].GetColour()[0], 0.5f);
    EXPECT_EQ(lc.tempLights[0].Range(), 6.0f);
    // 12.5 deep: half way through the fade.
    gGlows.Clear();
    ClearLights();
    rc.SetCameraMatrix(TransMatrix(VectorPos(0.0f, -2.5f, -12.5f)));
    lamp->SendMessage(OM_WASDRAWN, nullptr);
    ASSERT_EQ(lc.numTempLights, 1);
    EXPECT_NEAR(lc.tempLights[0].GetColour()[0], 0.25f, 1e-5f);
    EXPECT_NEAR(lc.tempLights[0].GetColour()[1], 0.125f, 1e-5f);
}

TEST_F(Lights, KindsByExttypeAndNoneBeyondTheTable)
{
    for (u16 e = 0; e < 8; e++) {
        SlotFile f(kSlot, LightModel(), {{0, Block(e)}});
        Object t;
        t.mdlfile = f.mf();
        EXPECT_EQ(GetGridMessageHandler(&t), mhExteriorSpecific[e]) << e;
    }
    SlotFile f(kSlot, LightModel(), {{0, Block(8)}});
    Object t;
    t.mdlfile = f.mf();
    EXPECT_EQ(GetGridMessageHandler(&t), nullptr);
    EXPECT_EQ(mhExteriorSpecific[7], StopLightStreetLightStreetSign::_mh);
}

TEST_F(Lights, AFreewaySignReadsItsTextFromItsFileAndLeavesTheBlockAsItIs)
{
    tools::P2BFile model = LightModel();
    model.nodes[0].extra = 34;
    const char text[] = "EXIT 12";
    SlotFile f(kSlot, model, {{1, std::vector<u8>(text, text + sizeof text)}});
    Object t;
    t.mdlfile = f.mf();
    ASSERT_EQ(GetGridMessageHandler(&t), FreewaySign::_mh);
    FreewaySign_params block{f.mf()->nodes[1].extra2};
    for (int i = 0; i < 2; i++) {
        Object* o = reinterpret_cast<Object*>(intptr_t(FreewaySign::_mh(nullptr, OM_CREATE, nullptr)));
        f.mf()->GetHierarchyTo(o, 0, 0);
        world.AddObject(o, &block);
        FreewaySign* s = static_cast<FreewaySign*>(o);
        ASSERT_NE(s->text, nullptr);
        EXPECT_STREQ(s->text, "EXIT 12");
        EXPECT_TRUE(o->flags & 0x40);
        EXPECT_EQ(block.text, f.mf()->nodes[1].extra2);
        // It takes no damage.
        EXPECT_EQ(o->SendMessage(OM_DAMAGE, reinterpret_cast<void*>(intptr_t(100))), 0);
    }
    FreewaySign_params outside{0x7FFFFFF0u};
    Object* o = reinterpret_cast<Object*>(intptr_t(FreewaySign::_mh(nullptr, OM_CREATE, nullptr)));
    f.mf()->GetHierarchyTo(o, 0, 0);
    world.AddObject(o, &outside);
    EXPECT_EQ(static_cast<FreewaySign*>(o)->text, nullptr);
    EXPECT_FALSE(o->flags & 0x40);
}
