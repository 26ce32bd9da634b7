// The sky backdrop.
#include <cmath>

#include "game/Backdrop.h"

#include "ZevEngine2/Anim.h"
#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/PS2/Model.h"
#include "ZevEngine2/PS2/Platform.h"
#include "ZevEngine2/PS2/Render.h"
#include "ZevEngine2/PS2/Render2D.h"
#include "ZevEngine2/PS2/Transparency.h"
#include "game/ProgramImages.h"
#include "game/QuadTree.h"

Surface& LensFlare = ProgramImageRecord<Surface>(LensFlare_image);

namespace {

constexpr float kPi = 3.14159265f;
constexpr float kSunDistance = 750.0f;
constexpr float kDomeRadius = 800.0f;
constexpr float kSunTilt = 0.17453292f;   // ten degrees toward -z
// Dome heights at which the graded colours meet: sin 10 and sin 20 degrees.
constexpr float kSin10 = 0.17364818f;
constexpr float kSin20 = 0.34202015f;
// The flare's depth bias: the sun's own disc lies at its depth.
constexpr int kFlareFudgeZ = 16;

// Channels held to the display's range.  A direction below the horizon
// extrapolates the lowest blend and can go below 0, which is held there
// rather than wrapping into a bright byte.
Colour Blend(const float (&c)[4])
{
    const float top[4] = {255.0f, 255.0f, 255.0f, 128.0f};
    u8 out[4];
    for (int i = 0; i < 4; i++)
        out[i] = u8(int(std::max(0.0f, std::min(c[i], top[i]))));
    return Colour(out[0], out[1], out[2], out[3]);
}

const u8* Channels(const Colour& c)
{
    return &c.r;
}

// The world's time of day as a fraction of a day.
float DayFraction()
{
    return float(world.time_of_day % KVWorld::DAY_FRAMES) / float(KVWorld::DAY_FRAMES);
}

}  // namespace

const LensFlarePart Backdrop::lfp[NFLAREPARTS] = {
    {0, 0, 64, 64, 70.0f, 70.0f, 1.0f, 0.5f, 1},
    {0, 64, 64, 128, 50.0f, 50.0f, -1.0f, 0.4f, 1},
    {0, 64, 64, 128, 50.0f, 50.0f, 0.1549f, 1.0f, 1},
    {0, 128, 64, 192, 50.0f, 50.0f, 0.6801f, 0.1f, 1},
    {0, 192, 64, 256, 50.0f, 50.0f, 1.0574f, 0.35f, 1},
    {0, 128, 64, 192, 63.0f, 63.0f, 1.196f, 0.4f, 1},
    {0, 128, 64, 192, 50.0f, 50.0f, 1.6099f, 0.1f, 1},
    {0, 256, 64, 320, 50.0f, 50.0f, 1.8702f, 0.5f, 1},
    {0, 64, 64, 128, 89.0f, 89.0f, 2.2679f, 1.0f, 1},
    {0, 256, 64, 320, 81.0f, 81.0f, 2.4908f, 0.5f, 1},
    {0, 192, 64, 256, 115.0f, 115.0f, 2.587f, 0.3f, 1},
    {0, 128, 64, 192, 400.0f, 50.0f, 1.0f, 0.5f, 1},
    {0, 128, 64, 192, 400.0f, 50.0f, 1.0f, 1.0f, 0},
};

// ---------------------------------------------------------------------------
// The dome.

void Backdrop::SkyDome::Init(int num_div, int num_ring, float lat0, float lat1)
{
    count = 0;
    if (num_div < 1 || num_ring < 1 || num_ring * (2 * num_div + 2) > MAXVERTS) {
        printf("Sky: a dome of %d rings of %d divisions does not fit its %d points; no dome\n", num_ring, num_div,
               MAXVERTS);
        return;
    }
    int n = 0;
    for (int r = 0; r < num_ring; r++) {
        const float a = lat0 + float(r) * (lat1 - lat0) / float(num_ring);
        const float b = lat0 + float(r + 1) * (lat1 - lat0) / float(num_ring);
        const int first = n;
        for (int d = 0; d < num_div; d++) {
            const Matrix turn = RotY(FixAng(float(d) * 2.0f * kPi / float(num_div)));
            for (const float lat : {b, a}) {
                Vector p = turn * Vector(cosf(lat), sinf(lat), 0.0f, 0.0f);
                p.setw(0.0f);
                pts[n++] = p;
            }
        }
        pts[n++] = pts[first];
        pts[n++] = pts[first + 1];
        pts[first].setwcomponent(0x8000);
        pts[first + 1].setwcomponent(0x8000);
    }
    count = n;
}

Colour Backdrop::SkyDome::GetColour(VectorDir dir, VectorDir sun, Colour colsun, Colour col0, Colour col1,
                                    Colour col2, Colour col3)
{
    const float d = dir[0] * sun[0] + dir[1] * sun[1] + dir[2] * sun[2];
    float g = d > 0.0f ? d : 0.0f;
    g *= g;
    g *= g;
    g *= g;
    const float h = -dir[1];
    const u8 *c0 = Channels(col0), *c1 = Channels(col1), *c2 = Channels(col2), *c3 = Channels(col3);
    const u8* cs = Channels(colsun);
    // The band's two colours are weighted by where h lies between the
    // band's ends, each weight the distance to the other end over the band's
    // width.  Taken as a division the two weights at an end are exactly 1
    // and 0: multiplied by the width's rounded reciprocal they come out just
    // under 1, and a byte truncated from that lands one below the colour
    // given for the zenith or the horizon.
    const u8 *lo, *hi;
    float w0, w1;
    if (h < kSin10) {
        lo = c0, hi = c1, w0 = 0.0f, w1 = kSin10;
    } else if (h < kSin20) {
        lo = c1, hi = c2, w0 = kSin10, w1 = kSin20;
    } else {
        lo = c2, hi = c3, w0 = kSin20, w1 = 1.0f;
    }
    const float up = (h - w0) / (w1 - w0), down = (w1 - h) / (w1 - w0);
    float out[4];
    for (int i = 0; i < 4; i++) {
        const float c = float(hi[i]) * up + float(lo[i]) * down;
        out[i] = float(cs[i]) * g + c * (1.0f - g);
    }
    return Blend(out);
}

void Backdrop::SkyDome::SetColours(VectorDir sun, Colour colsun, Colour col0, Colour col1, Colour col2, Colour col3)
{
    for (int i = 0; i < count; i++)
        cols[i] = GetColour(VectorDir(pts[i][0], pts[i][1], pts[i][2]), sun, colsun, col0, col1, col2, col3);
}

// ---------------------------------------------------------------------------
// The sky.

Backdrop::Backdrop()
{
    skydome.SetType(0, VSA_POS, VSD_POSF_4, 0);
    skydome.SetType(1, VSA_COLOUR, VSD_RGBA, 8);
    skydome.SetData(0, skydome.pts);
    skydome.SetData(1, skydome.cols);
    skydome.count = 0;
}

void Backdrop::Init()
{
    unsigned size = 0;
    void* buffer = FileLoad(SKY_MODEL_PATH, &size);
    InitFrom(buffer, size);
}

void Backdrop::Free()
{
    if (stars != nullptr)
        stars->Delete();
    if (sky != nullptr)
        sky->Delete();
    sky = sun = moon = stars = nullptr;
    free(mdlfile.header);
    mdlfile = MDLFILE{};
}

void Backdrop::InitFrom(void* buffer, unsigned size)
{
    Free();
    const char* fault = nullptr;
    if (buffer == nullptr) {
        fault = "there is no sky model";
    } else {
        mdlfile = MDLFILE{};
        mdlfile.SetBuffer(buffer);
        if (!mdlfile.Init(size))
            fault = "the sky model cannot be used";
        else if ((sky = mdlfile.GetHierarchy(0, sizeof(Object), GH_ANIMATE)) == nullptr)
            fault = "the sky model has no hierarchy";
    }
    if (fault != nullptr) {
        printf("Sky: %s; the sky has no sun, moon or stars\n", fault);
        mdlfile = MDLFILE{};
        free(buffer);
    } else {
        sun = sky->FindSubObject(0);
        moon = sky->FindSubObject(1);
        stars = sky->FindSubObject(2);
        if (stars != nullptr)
            stars->Detach();
        sky->mat = Matrix(true);
    }
    skydome.Init(16, 16, -kPi / 2.0f, 0.0f);
}

VectorDir Backdrop::SunDirection() const
{
    if (sun == nullptr)
        return VectorDir(0.0f, 0.0f, 0.0f);
    return VectorDir(sun->mat.z[0], sun->mat.z[1], sun->mat.z[2]);
}

void Backdrop::SetColours(Colour colsun, Colour col0, Colour col1, Colour col2, Colour col3)
{
    skydome.SetColours(SunDirection(), colsun, col0, col1, col2, col3);
    coloured = true;
}

Colour Backdrop::GetColour(VectorDir dir, Colour colsun, Colour col0, Colour col1, Colour col2, Colour col3) const
{
    return SkyDome::GetColour(dir, SunDirection(), colsun, col0, col1, col2, col3);
}

void Backdrop::Draw(RenderContext& rc)
{
    // The lighting sets of the game flow give the sky its colours through
    // the world's lighting before it is drawn.  Until they exist a sky drawn
    // without them takes a clear daytime sky of its own, and says so once.
    if (!coloured) {
        printf("Sky: no lighting set has coloured the sky; it takes a daytime sky of its own\n");
        SetColours(Colour(255, 240, 200, 128), Colour(190, 200, 210, 128), Colour(150, 175, 205, 128),
                   Colour(105, 140, 195, 128), Colour(55, 90, 170, 128));
    }
    const float day = DayFraction();
    const bool night = day < 0.25f || day > 0.75f;
    const float camx = rc.view_world.w[0], camz = rc.view_world.w[2];
    const VectorXYZ around(camx, 0.0f, camz);

    if (sky != nullptr) {
        sky->mat.SetTrans(around);
        // Sun and moon stand opposite each other and turn once a day; the
        // sun's path leans ten degrees.
        const float A = FixAng(-2.0f * kPi * day);
        if (sun != nullptr) {
            sun->mat = RotY(kPi / 2.0f) * RotZ(FixAng(A + kPi / 2.0f)) * RotX(kSunTilt);
            sun->mat.SetTrans(VectorXYZ(sun->mat.z[0], sun->mat.z[1], sun->mat.z[2]) * kSunDistance);
        }
        if (moon != nullptr) {
            moon->mat = RotY(kPi / 2.0f) * RotZ(FixAng(A - kPi / 2.0f));
            moon->mat.SetTrans(VectorXYZ(moon->mat.z[0], moon->mat.z[1], moon->mat.z[2]) * kSunDistance);
        }
        SetFogTransparencies(0);
        rc.nlights = 0;
        ::Draw(rc, sky, sky->mat);

        if (stars != nullptr && (day < 0.125f || day > 0.875f)) {
            rc.light_colour.w.setw(fabsf(day - 0.5f) * 8.0f - 3.0f);
            stars->mat.SetTrans(around);
            ::Draw(rc, stars, stars->mat);
            rc.light_colour.w.setw(1.0f);
        }
        if (sky->child != nullptr)
            AnimateHierarchy1(sky->child, float(world.time), 0);
    }

    if (skydome.count > 0) {
        therenderer.BeginCommands();
        therenderer.SetLocal(ScaleMatrix(kDomeRadius, kDomeRadius, kDomeRadius) * TransMatrix(around),
                             Sphere(camx, 0.0f, camz, kDomeRadius));
        Material mat;
        mat.SetColour(Colour(0x80, 0x80, 0x80, 0x80));
        mat.Draw(skydome, false);
    }

    if (!night && sun != nullptr) {
        const VectorPos at = VectorPos(sun->mat.w[0] + camx, sun->mat.w[1], sun->mat.w[2] + camz);
        FixProgramImages();
        Render2D r2d;
        r2d.Open(therenderer);
        DoLensFlare(r2d, rc, Platform::GetDrawBuffer(), at, Colour(0x80, 0x80, 0x80, 0x80), kFlareFudgeZ, LensFlare,
                    lfp, NFLAREPARTS);
        r2d.Close(therenderer);
    }
}
