// Car lamps (see Headlights.h): finding them, queueing the lit ones, the
// glowing rows and the light cones.
#include "game/Headlights.h"

#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/MathsLocal.h"
#include "ZevEngine2/PS2/Model.h"
#include "ZevEngine2/PS2/Render2D.h"
#include "ZevEngine2/PS2/RenderContext.h"
#include "ZevEngine2/modelfile.h"
#include "game/GameFlow.h"
#include "game/MAIN.h"
#include "game/ProgramImages.h"
#include "game/QuadTree.h"
#include "game/Vehicle.h"
#include "game/fbfx.h"

HeadLightPosition Headlights[MAX_HEADLIGHTS];
int nHeadlightNow = 0;

// The rows are filled by this unit's initialiser (FillSegments).
HeadlightSegment aSegmentsFront[10];
HeadlightSegment aSegmentsBreak[3];
HeadlightSegment aSegmentsReverse[3];

namespace {

constexpr u8 kLampAlpha = 19;

bool FillSegments()
{
    static const float front[10][2] = {
        {-0.0f, 0.0865625f},       {-0.0734375f, 0.08875f},   {-0.1275f, 0.11875f},
        {-0.2334375f, 0.136875f},  {-0.3359375f, 0.1521875f}, {-0.4475f, 0.17625f},
        {-0.5503125f, 0.1884375f}, {-0.6590625f, 0.2125f},    {-0.77375f, 0.224375f},
        {-0.8734375f, 0.245625f},
    };
    static const Colour frontCol[10] = {
        {95, 95, 80, 19},  {95, 95, 80, 17}, {95, 95, 80, 15},  {95, 95, 80, 14},  {95, 95, 80, 12},
        {95, 95, 80, 7},   {95, 95, 80, 6},  {80, 93, 117, 3},  {127, 86, 84, 1},  {123, 92, 58, 1},
    };
    for (int i = 0; i < 10; i++)
        aSegmentsFront[i] = HeadlightSegment{front[i][0], front[i][1], frontCol[i]};
    static const float rear[3][2] = {{0.0f, 0.0865625f}, {0.015625f, 0.113125f}, {0.040625f, 0.128125f}};
    for (int i = 0; i < 3; i++) {
        aSegmentsBreak[i] = HeadlightSegment{rear[i][0], rear[i][1], Colour(127, 0, 0, kLampAlpha)};
        aSegmentsReverse[i] = HeadlightSegment{rear[i][0], rear[i][1], Colour(127, 127, 127, kLampAlpha)};
    }
    return true;
}
const bool segmentsFilled = FillSegments();

// The hour the lamps read from the time of day, counted from 5 o'clock: 13
// and more is evening and night.
constexpr u32 kHourFrames = 216000;
bool LampsTime()
{
    return (world.time_of_day / kHourFrames + 19) % 24 >= 13;
}

// The model-file slot of the light cones.
constexpr int kConeSlot = 162;

// A rear lamp shows this many frames after the brake was last on.
constexpr int kBrakeLightFrames = 18;

// The projected size: world size times this over the view depth.
constexpr float kSpriteScale = 2000.0f;
// Rows at or behind this depth are not drawn.
constexpr float kNearW = 0.5f;
// Front lamps flare within this view depth.
constexpr float kFlareDepth = 15.625f;

bool ShowsLights(Object* v)
{
    return v->type == OBJT_VEHICLE && static_cast<Vehicle*>(v)->enginesndchan[0] >= 0;
}

void DrawCone(Object* v, RenderContext& rc)
{
    static_cast<Vehicle*>(v)->DrawLightCone(&rc);
}

void Queue(const Matrix& lamp, HeadLightType type)
{
    HeadLightPosition* h = GetNewHeadlightPos();
    if (h == nullptr)
        return;
    h->vPos = lamp.GetTrans();
    h->vDir = VectorDir(lamp.z.xyz());
    h->Type = type;
}

}  // namespace

HeadLightPosition* GetNewHeadlightPos()
{
    if (nHeadlightNow >= MAX_HEADLIGHTS)
        return nullptr;
    return &Headlights[nHeadlightNow++];
}

int LightConeNode(int lamp, bool computerDriver)
{
    if (computerDriver)
        return lamp == 0 ? 3 : 0;
    return lamp == 0 ? 1 : 2;
}

void InstallVehicleLights()
{
    vehiclelights.ShowsLights = ShowsLights;
    vehiclelights.DrawLightCone = DrawCone;
    vehiclelights.DrawHeadlights = DrawHeadlights;
}

void Vehicle::FindLights()
{
    for (int i = 0; i < 4; i++) {
        NODE* node = nullptr;
        Object* o = FindNodeHierarchy(0x8000 | ((124 + i) & 0x7FF), node);
        lights[i] = ObjectNode{o != nullptr && node != nullptr ? o : nullptr, o != nullptr ? node : nullptr};
    }
}

void Vehicle::QueueLights()
{
    auto lamp = [&](int i) { return lights[i].node->GetMatrix() * lights[i].obj->GetWorldMatrix(); };
    if (LampsTime()) {
        for (int i = 0; i < 2; i++)
            if (lights[i].node != nullptr)
                Queue(lamp(i), HEADLIGHT_FRONT);
    }
    HeadLightType rear;
    if (gear == -1)
        rear = HEADLIGHT_REVERSE;
    else if (gear >= 0 && world.time - iLastBrakeLightTime < kBrakeLightFrames)
        rear = HEADLIGHT_BREAK;
    else
        return;
    for (int i = 2; i < 4; i++)
        if (lights[i].node != nullptr)
            Queue(lamp(i), rear);
}

bool HeadlightRowOnScreen(const Matrix& world_screen, const HeadLightPosition& h, const HeadlightSegment& row,
                          float out[4])
{
    const VectorPos p = h.vPos + h.vDir * row.vDistance;
    const Vector s = world_screen * Vector(p);
    const float w = s[3];
    if (w <= kNearW)
        return false;
    out[0] = s[0] / w;
    out[1] = s[1] / w;
    out[2] = s[2] / w;
    out[3] = row.vSize * kSpriteScale / w;
    return true;
}

void DrawHeadlights()
{
    if (nHeadlightNow == 0)
        return;
    FixProgramImages();
    // The glow image is held for the whole queue.
    glow.Hold();
    Render2D r2d;
    r2d.Open(therenderer);
    r2d.SetTexture(&glow, TEXMODE_MODULATE);
    r2d.SetAlpha(ALPHA_ADD);
    r2d.SetZTest(ZTEST_GEQUAL);
    const int u1 = glow.width * 16, v1 = glow.height * 16;
    for (int k = 0; k < nHeadlightNow; k++) {
        const HeadLightPosition& h = Headlights[k];
        const HeadlightSegment* rows = aSegmentsFront;
        int n = 10;
        if (h.Type == HEADLIGHT_BREAK) {
            rows = aSegmentsBreak;
            n = 3;
        } else if (h.Type == HEADLIGHT_REVERSE) {
            rows = aSegmentsReverse;
            n = 3;
        }
        for (int j = 0; j < n; j++) {
            float at[4];
            if (!HeadlightRowOnScreen(rc.world_screen, h, rows[j], at))
                continue;
            const float x = at[0], y = at[1], z = at[2], half = at[3];
            r2d.SetColour(rows[j].Col);
            r2d.DrawSprite(int((x - half) * 16.0f), int((y - half) * 16.0f), int((x + half) * 16.0f),
                           int((y + half) * 16.0f), 0, 0, u1, v1, rc.ScreenDepth(Vector(x, y, z, 1.0f)));
        }
        if (h.Type == HEADLIGHT_FRONT) {
            const VectorDir d = rc.world_view * h.vDir;
            const VectorPos p = rc.world_view * h.vPos;
            if (d[2] > 0.0f && p[2] < kFlareDepth) {
                const Colour c0 = aSegmentsFront[0].Col;
                const int a = int(d[2] * 128.0f * (kFlareDepth - p[2]) * 0.064f);
                LampLensFlare(rc, r2d, h.vPos, Colour(c0.r, c0.g, c0.b, u8(std::clamp(a, 0, 255))));
                r2d.SetTexture(&glow, TEXMODE_MODULATE);
                r2d.SetAlpha(ALPHA_ADD);
                r2d.SetZTest(ZTEST_GEQUAL);
            }
        }
    }
    r2d.Close(therenderer);
    nHeadlightNow = 0;
    glow.Release();
}

void Vehicle::DrawLightCone(RenderContext* rcx)
{
    if (rcx == nullptr)
        return;
    const bool computer = HasDriver() && DriverId() != -1;
    MDLFILE* cones = g_GlobalMFI.GetMF(kConeSlot, false);
    for (int i = 0; i < 4; i++) {
        if (lights[i].node == nullptr)
            continue;
        MDLFILE* mf = cones;
        int node = LightConeNode(i, computer);
        // A lamp node that carries a model of its own lights with it.
        const NODE* ln = lights[i].node;
        if (lights[i].obj->mdlfile != nullptr && (ln->model & MDL_NOTOBJECT) == 0 && ln->Model() < MDL_NOGEOM) {
            mf = lights[i].obj->mdlfile;
            node = int(ln - mf->nodes);
        }
        if (mf == nullptr || mf->nodes == nullptr || node >= mf->nNodes)
            continue;
        const NODE& cn = mf->nodes[node];
        if (cn.Model() >= MDL_NOGEOM || (cn.model & MDL_NOTOBJECT))
            continue;
        Matrix local = ln->GetMatrix();
        local.w[0] -= vdCOGOffset[0];
        local.w[1] -= vdCOGOffset[1];
        local.w[2] -= vdCOGOffset[2];
        const Matrix m = cn.GetMatrix() * RotX(maths_local::kPi) * local * lights[i].obj->GetWorldMatrix();
        Draw(*rcx, mf, mf->models[cn.Model()], m, nullptr);
    }
}
