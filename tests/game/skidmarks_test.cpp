// Skid marks: the strip a mark builds point by point, its fade and removal
// through the world's post-draw list, the limits on live marks, and a fresh
// mark drawn on the stand-in's GS against a golden picture.
#include "vehicle_support.h"

#include <cmath>

#include "ZevEngine2/PS2/Render.h"
#include "ZevEngine2/PS2/RenderContext.h"
#include "ZevEngine2/PS2/golden_support.h"
#include "ZevEngine2/PS2/gsframe_support.h"

namespace {

using namespace vehtest;

constexpr int kW = 256, kH = 128;
const VectorDir kUp(0.0f, -1.0f, 0.0f);

class SkidMarks : public VehicleWorld
{
protected:
    RenderContext view;

    void SetUp() override
    {
        VehicleWorld::SetUp();
        gsframe::ResetForFrames(1024, 2048);
        gsframe::SetFrameView(view, kW, kH);
        // From 2 above the ground, 1 behind the marks, looking ahead and
        // down at them.
        view.SetCameraMatrix(LookatMatrix(VectorPos(0.0f, -2.0f, -1.0f), VectorPos(0.0f, 0.0f, 1.5f)));
    }
    void TearDown() override
    {
        TexManOff();
        VehicleWorld::TearDown();
    }
    // A frame's pre-draw into a chain that is not sent.
    void DrawUnsent()
    {
        therenderer.BeginScene(dmabuff[0], gifbuff[0], false);
        view.Begin();
        world.DrawPreTransRaw(view, 1);
    }
    static int PostListed()
    {
        int n = 0;
        for (auto* l = world.rawobjPostList.Head(); !l->IsEOList(); l = l->Next())
            n++;
        return n;
    }
};

TEST_F(SkidMarks, StripOf64VerticesFadesInAndOutOverALengthOfOne)
{
    SkidDraw* s = SkidDraw::Create();
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(SkidDraw::total, 1);
    EXPECT_EQ(PostListed(), 1);
    // Points 0.1 apart along z on the ground; the strip is lifted 1/32.
    EXPECT_EQ(s->AddPos(VectorPos(0.0f, 0.0f, 0.0f), kUp, false), 0);
    EXPECT_EQ(s->iNumVerts, 2);
    for (int i = 1; i <= 30; i++)
        ASSERT_EQ(s->AddPos(VectorPos(0.0f, 0.0f, 0.1f * float(i)), kUp, false), 0) << i;
    EXPECT_EQ(s->AddPos(VectorPos(0.0f, 0.0f, 3.1f), kUp, false), 1);
    EXPECT_EQ(s->iNumVerts, 64);
    EXPECT_EQ(s->iFadeCount, 600);
    // Pairs across the strip: 0.125 wide, square to the travel, 1/32 up.
    for (int k = 0; k < 64; k += 2) {
        EXPECT_NEAR(s->rgpos[k + 1][0] - s->rgpos[k][0], 0.125f, 1e-6f) << k;
        EXPECT_EQ(s->rgpos[k][1], -0.03125f);
        EXPECT_EQ(s->rgpos[k][2], s->rgpos[k + 1][2]);
        EXPECT_EQ(s->rguvs[k][0], 0.0f);
        EXPECT_EQ(s->rguvs[k + 1][0], 1.0f);
        EXPECT_EQ(s->rguvs[k][1], s->rguvs[k + 1][1]);
    }
    // v: 0 at both ends, rising 0.1 a pair over the first and last unit,
    // 1 between.
    for (int p = 0; p < 32; p++) {
        const float want = std::min({1.0f, 0.1f * float(p), 0.1f * float(31 - p)});
        EXPECT_NEAR(s->rguvs[2 * p][1], want, 1e-5f) << p;
    }
    // Its box.
    EXPECT_FLOAT_EQ(s->vpMaxext[2], 3.1f);
    EXPECT_EQ(s->vpMinext[2], 0.1f);   // from the second point on

    // A short mark never reaches 1; a repeated point gives a zero-width pair.
    SkidDraw* t = SkidDraw::Create();
    ASSERT_NE(t, nullptr);
    t->AddPos(VectorPos(1.0f, 0.0f, 0.0f), kUp, false);
    t->AddPos(VectorPos(1.0f, 0.0f, 0.2f), kUp, false);
    t->AddPos(VectorPos(1.0f, 0.0f, 0.2f), kUp, false);
    t->AddPos(VectorPos(1.0f, 0.0f, 0.4f), kUp, false);
    EXPECT_EQ(t->AddPos(VectorPos(1.0f, 0.0f, 0.6f), kUp, true), 1);
    EXPECT_EQ(t->rgpos[4][0], t->rgpos[5][0]);
    for (int k = 0; k < t->iNumVerts; k++) {
        EXPECT_LT(t->rguvs[k][1], 1.0f) << k;
        EXPECT_FALSE(std::isnan(t->rgpos[k][0])) << k;
    }
    EXPECT_EQ(SkidDraw::total, 2);
}

TEST_F(SkidMarks, FinishedMarkIsDrawn596TimesThenRemovesItself)
{
    SkidDraw* s = SkidDraw::Create();
    ASSERT_NE(s, nullptr);
    for (int i = 0; i < 4; i++)
        s->AddPos(VectorPos(0.0f, 0.0f, 0.3f * float(i)), kUp, i == 3);
    s->flags |= SKID_FINISHED;
    for (int f = 0; f < 596; f++)
        DrawUnsent();
    EXPECT_EQ(SkidDraw::total, 1);
    EXPECT_EQ(PostListed(), 1);
    EXPECT_EQ(s->iFadeCount, 4);   // a level of 0 from here
    DrawUnsent();
    EXPECT_EQ(SkidDraw::total, 0);
    EXPECT_EQ(PostListed(), 0);

    // A mark being laid stays however often it is drawn; the world's
    // destroy request takes it.
    SkidDraw* laid = SkidDraw::Create();
    laid->AddPos(VectorPos(0.0f, 0.0f, 0.0f), kUp, false);
    laid->AddPos(VectorPos(0.0f, 0.0f, 0.5f), kUp, false);
    for (int f = 0; f < 700; f++)
        DrawUnsent();
    EXPECT_EQ(SkidDraw::total, 1);
    world.RequestDestroyPostRaw();
    EXPECT_EQ(SkidDraw::total, 0);
    EXPECT_EQ(PostListed(), 0);
}

TEST_F(SkidMarks, SlidingWheelsMarkUntilTheLiveMarksReachTheLimit)
{
    CarFile f(0);
    Driver ai(5), player(-1);
    Vehicle* v = Make(f, 0);
    v->iLastCollTime = -1000;
    for (int t = 0; t < 400; t++) {
        Tick();
        v->MoveVehicle();
    }
    v->fBrake = v->fHandBrake = 0.0f;
    auto slide = [&](Object* driver) {
        v->rcoDriver = driver;
        v->vel = Vector(0.08f, 0.0f, 0.0f, 0.0f);
        Tick();
        v->MoveVehicle();
    };
    // Driverless: no marks.
    slide(nullptr);
    EXPECT_EQ(SkidDraw::total, 0);
    slide(&ai);
    EXPECT_EQ(SkidDraw::total, 4);
    for (Wheel* w : v->wheel) {
        ASSERT_NE(w->pskdr, nullptr);
        EXPECT_EQ(w->pskdr->iFadeCount, 2);
        EXPECT_EQ(w->pskdr->iNumVerts, 2);
    }
    std::vector<SkidDraw*> laid;
    for (Wheel* w : v->wheel)
        laid.push_back(w->pskdr);
    v->ClearFX();
    for (Wheel* w : v->wheel)
        EXPECT_EQ(w->pskdr, nullptr);
    for (SkidDraw* s : laid)
        EXPECT_TRUE(s->flags & SKID_FINISHED);
    // At 64 live marks an AI car starts none; the player's car up to 80.
    const int live = SkidDraw::total;
    SkidDraw::total = 64;
    slide(&ai);
    EXPECT_EQ(SkidDraw::total, 64);
    SkidDraw::total = 78;
    slide(&player);
    EXPECT_EQ(SkidDraw::total, 80);
    SkidDraw::total = live + 2;
    // A car that goes lets its marks fade.
    std::vector<SkidDraw*> held;
    for (Wheel* w : v->wheel)
        if (w->pskdr != nullptr)
            held.push_back(w->pskdr);
    ASSERT_FALSE(held.empty());
    v->rcoDriver = nullptr;
    cars.clear();
    v->Delete();
    for (SkidDraw* s : held)
        EXPECT_TRUE(s->flags & SKID_FINISHED);
}

TEST_F(SkidMarks, FreshMarkMatchesTheGoldenPicture)
{
    // Two marks curving to the right ahead of the camera, on a light road.
    for (float x0 : {-0.35f, 0.35f}) {
        SkidDraw* s = SkidDraw::Create();
        ASSERT_NE(s, nullptr);
        for (int i = 0; i < 24; i++) {
            const float a = 0.06f * float(i);
            s->AddPos(VectorPos(x0 + 1.2f * (1.0f - std::cos(a * 0.5f)), 0.0f, 0.2f + 2.0f * std::sin(a * 0.5f)), kUp,
                      false);
        }
    }
    Surface draw, zbuf;
    gsframe::PlaceBuffers(draw, zbuf, kW, kH);
    gsframe::BeginDepthFrame(draw, zbuf, kW, kH, Colour(150, 150, 145, 128));
    view.Begin();
    world.DrawPreTransRaw(view, 1);
    gsframe::SendFrame();
    // The marks darken the road where they lie; the far corners keep it.
    int dark = 0;
    for (int y = 0; y < kH; y++)
        for (int x = 0; x < kW; x++)
            dark += (golden::FramePixel(x, y, kW) & 0xFF) < 110;
    EXPECT_GT(dark, 300);
    EXPECT_EQ(golden::FramePixel(2, 2, kW) & 0xFFFFFF, Colour(150, 150, 145, 0).Word());
    golden::ExpectFrameBuffer("skid_marks_fresh", kW, kH);
}

}  // namespace
