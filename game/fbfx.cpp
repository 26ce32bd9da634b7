// Full-frame blur and brighten.
#include "game/fbfx.h"

#include <algorithm>

#include "game/Backdrop.h"
#include "game/ProgramImages.h"
#include "game/QuadTree.h"

#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/Packet.h"
#include "ZevEngine2/PS2/Platform.h"
#include "ZevEngine2/PS2/Render.h"
#include "ZevEngine2/PS2/Render2D.h"

MotionBlurSmoothBrighten gMotionBlurSmoothBrighten;

namespace {

// TEST: alpha test never passing with the frame-only fail action (colour
// and alpha written, never depth), depth test on and always passing: the
// passes neither test nor disturb the Z buffer.
constexpr u32 kTestNeverFrameOnly = 0x31001;
// Blend (Cs - Cd) x FIX / 128 + Cd.  The table's source alpha is given as
// the fixed alpha, so the blend does not depend on what alpha the scene left
// in the frame (with the frame's usual 0x80 it is the same blend).
constexpr ALPHA_MODE kAlphaFixedBlend = ALPHA_MODE(100);
constexpr u32 kTopZ = 0xFFFFFF;

// What a pass samples or draws to.
enum BlurImage
{
    IMG_NONE,
    IMG_PICTURE,        // the frame being blurred, whole
    IMG_FRAME,          // the full-size accumulation image
    IMG_FRAME2,         // the half-size image, whole
    IMG_FRAME2_QUARTER, // its quarter-size rectangle
};

struct BlurPass
{
    BlurImage src, dst;
    u32 argb;        // modulation, A R G B with 0x80 = 1.0
    bool blend;
    s8 dx, dy;       // source shift in texels
};

// frame2 becomes the average of four one-pixel-shifted half-size copies (a
// 2 x 2 box blur, brightened by 0x87 and 0xA0 against 0x80); frame gathers
// it, a quarter-size copy, a fresh half-size copy and a little of the sharp
// picture, a faint white wash, and goes over the picture at the strength.
// The sharp share is the whole picture at its own size: taken from its
// top-left quarter and enlarged, it laid a doubled ghost of that corner (the
// HUD's, or a figure standing there) over the frame.
constexpr BlurPass kPasses[] = {
    {IMG_PICTURE, IMG_FRAME2, 0x80878787, false, 0, 0},
    {IMG_PICTURE, IMG_FRAME2, 0x40A0A0A0, true, 1, 0},
    {IMG_PICTURE, IMG_FRAME2, 0x2AA0A0A0, true, 1, 1},
    {IMG_PICTURE, IMG_FRAME2, 0x20A0A0A0, true, 0, 1},
    {IMG_FRAME2, IMG_FRAME, 0x80B0B0B0, false, 0, 0},
    {IMG_PICTURE, IMG_FRAME2_QUARTER, 0x80878787, false, 0, 0},
    {IMG_FRAME2_QUARTER, IMG_FRAME, 0x38A0A0A0, true, 0, 0},
    {IMG_PICTURE, IMG_FRAME2, 0x80878787, false, 0, 0},
    {IMG_FRAME2, IMG_FRAME, 0x20858585, true, 0, 0},
    {IMG_PICTURE, IMG_FRAME, 0x18909090, true, 0, 0},
    {IMG_NONE, IMG_FRAME, 0x02FFFFFF, true, 0, 0},
};

Colour FromArgb(u32 argb)
{
    return Colour(u8(argb >> 16), u8(argb >> 8), u8(argb), u8(argb >> 24));
}

}  // namespace

void MotionBlurSmoothBrighten::Draw(bool HQ)
{
    DrawOver(Platform::GetDrawBuffer(), HQ);
}

void MotionBlurSmoothBrighten::DrawOver(Surface& picture, bool HQ)
{
    level = std::min(std::max(level, 0.0f), 1.0f);
    const int blur = int(level * 128.0f);
    if (blur < 3)
        return;

    Renderer& vif = therenderer;
    vif.ClearTexture();
    const int w = picture.width, h = picture.height;
    const int psm = HQ && !UIUsesVRAM() ? PSMCT32 : PSMCT16;
    Surface frame, frame2;
    frame.Set(psm, w, h);
    frame2.Set(psm, w / 2, h / 2);
    if (!frame.GetSurface())
        return;
    if (!frame2.GetSurface()) {
        frame.FreeSurface();
        return;
    }

    // The pixel rectangle of an image as a destination or a source.
    struct Area
    {
        Surface* s;
        int w, h;
    };
    auto area = [&](BlurImage i) -> Area {
        switch (i) {
        case IMG_PICTURE: return {&picture, w, h};
        case IMG_FRAME: return {&frame, w, h};
        case IMG_FRAME2: return {&frame2, w / 2, h / 2};
        case IMG_FRAME2_QUARTER: return {&frame2, w / 4, h / 4};
        default: return {nullptr, 0, 0};
        }
    };

    Render2D r2d;
    r2d.Open(vif);   // ends an open command block and flushes first
    r2d.test_reg = kTestNeverFrameOnly;
    r2d.update_flags |= u32(R2D_TEST) | u32(R2D_TEST) << R2D_CONTEXT2;
    for (const BlurPass& pass : kPasses) {
        const Area d = area(pass.dst);
        const Colour c = FromArgb(pass.argb);
        if (pass.blend)
            r2d.SetAlpha(kAlphaFixedBlend, c.a);
        else
            r2d.prim_reg &= ~u32(PRIM_ABE);
        if (pass.src == IMG_NONE) {
            r2d.SetTextureOff();
            r2d.DrawRect2(*d.s, PixelX(0.0f).v, PixelY(0.0f).v, PixelX(float(d.w)).v, PixelY(float(d.h)).v, c,
                          kTopZ);
            continue;
        }
        const Area s = area(pass.src);
        r2d.SetTexture(s.s, TEXMODE_MODULATE);
        r2d.SetColour(c);
        // Texel centres: + 8 in 1/16 texel.
        r2d.DrawSprite2(*d.s, PixelX(0.0f).v, PixelY(0.0f).v, PixelX(float(d.w)).v, PixelY(float(d.h)).v,
                        (pass.dx * 16) + 8, (pass.dy * 16) + 8, (s.w + pass.dx) * 16 + 8, (s.h + pass.dy) * 16 + 8,
                        kTopZ);
    }
    // The result over the picture at the strength, texels at pixel corners.
    r2d.SetAlpha(kAlphaFixedBlend, u32(blur));
    r2d.SetTexture(&frame, TEXMODE_MODULATE);
    r2d.SetColour(Colour(0x80, 0x80, 0x80, 0x80));
    r2d.DrawSprite2(picture, PixelX(0.0f).v, PixelY(0.0f).v, PixelX(float(w)).v, PixelY(float(h)).v, 0, 0, w * 16,
                    h * 16, kTopZ);
    r2d.Close(vif);   // releases the texture in use and flushes

    frame2.FreeSurface();
    frame.FreeSurface();
}

// ---------------------------------------------------------------- glows

Glows gGlows;
Texture& glow = ProgramImageRecord(glow_image);

const LensFlarePart lfpLamp[NLAMPFLAREPARTS] = {
    {0, 0, 64, 64, 70.0f, 70.0f, 0.99999994f, 0.5f, 1},
    {0, 128, 64, 192, 400.0f, 50.0f, 0.99999994f, 0.5f, 1},
    {0, 128, 64, 192, 400.0f, 50.0f, 0.99999994f, 1.0f, 0},
};

namespace {

// Lamps nearer than this (in view depth) flare; the flare's alpha rises
// from 0 there to 128 at the eye.
constexpr float kFlareDistance = 15.625f;
constexpr float kFlareAlphaScale = 128.0f / kFlareDistance;
// Reflections farther than this are not drawn.
constexpr float kReflDistance = 31.25f;
// A glow sprite's half-size at view depth 1, as a share of the view scale.
constexpr float kGlowSize = 0.3125f;
// The flare's depth bias: the lamp's bulb is inside its fitting.
constexpr int kLampFudgeZ = 16;
// Glow sprites: depth test on and always passing, and an alpha test that
// never passes with failing pixels writing the frame only.  A glow is light
// added to the picture, not a surface: were its sprite to write its depth,
// a reflection (whose point lies below the street) would cut its rectangle
// into the depth the street left, and what lies under the street (the sea)
// or figures drawn afterwards would be judged against that instead.
constexpr u32 kGlowTest = 0x31001;

// The glow sprites' drawing state: their picture added to the frame.
void GlowState(Render2D& r2d)
{
    FixProgramImages();
    r2d.SetTexture(&glow, TEXMODE_MODULATE);
    r2d.SetAlpha(ALPHA_ADD);
    r2d.test_reg = kGlowTest & ~0x30000u;
    r2d.SetZTest(ZTEST_ALWAYS);
}

// The models drawn after the glows test depth greater or equal: once a
// sprite has set its own test, the scene's is put back.
constexpr u64 kSceneTest = 0x50000;
void RestoreSceneTest(Render2D& r2d)
{
    if (r2d.texture != nullptr)
        r2d.SetRegister(GS_TEST_1, kSceneTest);
}

// A sprite of the glow picture centred on screen point (sx, sy) (GS pixels)
// with half-size (hx, hy) pixels, in 12.4 fixed point, at GS depth z.
void GlowSprite(Render2D& r2d, float sx, float sy, u32 z, float hx, float hy, Colour col)
{
    r2d.SetColour(col);
    const int u1 = glow.width * 16, v1 = glow.height * 16;
    r2d.DrawSprite(int((sx - hx) * 16.0f), int((sy - hy) * 16.0f), int((sx + hx) * 16.0f), int((sy + hy) * 16.0f),
                   0, 0, u1, v1, z);
}

}  // namespace

Colour Glow::GetColour() const
{
    const u32 w = u32(v0.wcomponent());
    return Colour(u8(w), u8(w >> 8), u8(w >> 16), u8(w >> 24));
}

void Glow::Set(VectorPos pos, Colour col)
{
    VectorDir n;
    const float gy = world.GroundHeight(pos, &n, nullptr);
    const VectorPos g(pos[0], gy, pos[2]);
    const VectorPos foot = pos + n * Dot(g - pos, n);
    v0 = Vector(pos[0], pos[1], pos[2], 0.0f);
    v0.setwcomponent(int(col.Word()));
    v1 = Vector(n[0], n[1], n[2], (pos - foot).Length());
}

void Glow::DrawReal(RenderContext& rc, Render2D& r2d)
{
    const VectorPos pos = Position();
    if (rc.TestCull(pos, 0.5f) != 0)
        return;
    const Vector p = rc.world_screen * Vector(pos);
    const float pw = p[3];
    if (pw < 0.1f)
        return;
    GlowState(r2d);
    Colour col = GetColour();
    GlowSprite(r2d, p[0] / pw, p[1] / pw, rc.ScreenDepth(p), rc.view_scale[0] * kGlowSize / pw,
               rc.view_scale[1] * kGlowSize / pw, col);
    if (pw < kFlareDistance) {
        col.a = u8(int((kFlareDistance - pw) * kFlareAlphaScale));
        LampLensFlare(rc, r2d, pos, col);
    }
}

void Glow::DrawRefl(RenderContext& rc, Render2D& r2d, VectorXY scale)
{
    const VectorDir n(v1[0], v1[1], v1[2]);
    const VectorPos r = Position() - n * (2.0f * v1[3]);
    if (rc.TestCull(r, 1.0f) != 0)
        return;
    const Vector p = rc.world_screen * Vector(r);
    const float pw = p[3];
    if (!(pw > 0.0f) || pw > kReflDistance)
        return;
    GlowState(r2d);
    GlowSprite(r2d, p[0] / pw, p[1] / pw, rc.ScreenDepth(p), scale[0] * kGlowSize * rc.view_scale[0] / pw,
               scale[1] * kGlowSize * rc.view_scale[1] / pw, GetColour());
}

Glows::Glows() : refl_scale(8.0f, 10.0f) {}

void Glows::DrawReal(RenderContext& rc)
{
    Render2D r2d;
    r2d.Open(therenderer);
    for (Glow* g = Head(); !g->IsEOList(); g = g->Next())
        g->DrawReal(rc, r2d);
    RestoreSceneTest(r2d);
    r2d.Close(therenderer);
}

void Glows::DrawRefl(RenderContext& rc)
{
    Render2D r2d;
    r2d.Open(therenderer);
    for (Glow* g = Head(); !g->IsEOList(); g = g->Next())
        g->DrawRefl(rc, r2d, refl_scale);
    RestoreSceneTest(r2d);
    r2d.Close(therenderer);
}

void LampLensFlare(RenderContext& rc, Render2D& r2d, VectorPos pos, Colour col)
{
    FixProgramImages();
    DoLensFlare(r2d, rc, Platform::GetDrawBuffer(), pos, col, kLampFudgeZ, LensFlare, lfpLamp, NLAMPFLAREPARTS);
}
