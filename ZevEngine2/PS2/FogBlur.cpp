#include "ZevEngine2/PS2/FogBlur.h"

Fog gFog;
Blur gBlur;
MotionBlur gMotionBlur;

namespace {

// TEST: alpha test on and never passing, so every pixel takes the fail
// action; Z test on and always passing.  The fail action is in bits 12-13.
constexpr u32 kTestNeverFrameOnly = 0x31001;   // FB_ONLY: colour and alpha, no depth
constexpr u32 kTestNeverRgbOnly = 0x33001;     // RGB_ONLY: colour only
constexpr u32 kTestDestAlpha = 0x4000;         // DATE, kept from the caller
// Bits 0-13 of TEST: alpha test never, fail action FB_ONLY.
constexpr u32 kAlphaNeverFrameOnly = 0x1001;

// Blend (Cs - Cd) x FIX / 128 + Cd.
constexpr ALPHA_MODE kAlphaFixedBlend = ALPHA_MODE(100);

// Depths the fog palette and the fog sprite work with: index i stands for
// the depth 256 i + 128, the middle of the depths whose bits 8-15 are i.
constexpr u32 kFogDepth = 0x10000;
constexpr float kNearestIndexDepth = 65408.0f;   // 256 x 255 + 128
constexpr float kFarthestIndexDepth = 128.0f;
// The blurred copy covers pixels whose depth is at most this (far ones).
constexpr u32 kBlurDepth = 0x18000;
// The largest 24-bit depth: passes every GEQUAL test.
constexpr u32 kTopZ = 0xFFFFFF;
// A lens flare's visibility box reaches this far around the light, and a
// light this far outside the buffer is still tested.
constexpr int kFlareBox = 8;

// K of the depth mapping: screen depth = nearz x K / view distance.
float DepthScale(const RenderContext& rc)
{
    return rc.viewport_trans[2] - rc.viewport_scale[2];
}

void SetTest(Render2D& r2d, u32 bits)
{
    r2d.test_reg = (r2d.test_reg & kTestDestAlpha) | bits;
    r2d.update_flags |= u32(R2D_TEST) | u32(R2D_TEST) << R2D_CONTEXT2;
}

// UV units (1/16 texel) of a texel coordinate without the half-texel offset:
// the bilinear reductions sample between texels on purpose.
int Uv(int texels)
{
    return texels * 16;
}

}  // namespace

// ------------------------------------------------------------------ fog

Fog::Fog() : fogcolour(0, 0, 0, 0), fog_start(0.0f), fog_end(0.0f), fog_max(0.0f)
{
    std::memset(clut, 0, sizeof(clut));
    texClut.Set(PSMCT32, 16, 16, 0, clut);
}

void Fog::SetUp(Colour colour, float start, float end, float max)
{
    fogcolour = colour;
    fog_start = start;
    fog_end = end;
    fog_max = max;
}

void Fog::MakePalette(RenderContext& rc)
{
    const float k = DepthScale(rc);
    const float range = fog_end - fog_start;
    // A fog that starts and ends at one distance (or ends before it starts)
    // has no ramp to divide by: it becomes the ramp's limit, a step from no
    // fog to the full amount beyond fog_start.
    const bool ramp = range > 0.0f;
    for (int i = 0; i < 256; i++) {
        const float d = rc.nearz * k / float(256 * i + 128);
        int f;
        if (ramp)
            f = int((std::min(std::max(d, fog_start), fog_end) - fog_start) * 128.0f * fog_max / range);
        else
            f = d > fog_start ? int(128.0f * fog_max) : 0;
        fogcolour.a = u8(f);
        clut[Render2D_raw::ClutSwizzle(i)] = fogcolour;
    }
    // The palette's GS copy is stale: the next lock uploads it again.
    texClut.format |= TEXF_DIRTY;

    const float slope = ramp ? fog_max / range : 0.0f;
    const Vector v(0.0f, 0.0f, -slope, 1.0f + fog_start * slope);
    rc.SetFog(0, fogcolour, v, v, 0.99609375f, 0.0f);
}

void Fog::Draw(Surface& draw, Surface& zbuf)
{
    Renderer& vif = therenderer;
    // The palette upload request goes between command blocks.
    vif.EndCommands();
    if (!texClut.Hold())
        return;   // no room for the palette this frame: no fog
    Render2D r2d;
    r2d.Open(vif);
    r2d.SetAlpha(ALPHA_BLEND);
    // The depth-byte copy writes the top byte of each 16-bit view pixel, its
    // alpha bit included, so it runs with the frame-only fail action; the fog
    // sprite then writes colour only, leaving the frame's alpha alone.
    SetTest(r2d, kTestNeverFrameOnly);
    r2d.MakeZAlpha(zbuf);
    SetTest(r2d, kTestNeverRgbOnly);
    r2d.SetZTest(ZTEST_GEQUAL);

    // The Z buffer read as 8-bit indices (its top bytes) through the palette.
    Surface index;
    index.Set(PSMT8H, zbuf.width, zbuf.height);
    index.tex0 = (index.tex0 & ~(0x3Full << 14)) | u64(tex0::TBW(zbuf.tex0)) << 14;
    index.SetVRAM(zbuf.GetVRAM(), texClut.GetVRAM());
    r2d.SetTexture(&index, TEXMODE_DECAL);
    // Each pixel becomes (fog colour - frame) x alpha(depth) / 128 + frame
    // where its depth is at most kFogDepth; nearer pixels have no palette index.
    r2d.DrawSprite(PixelX(0.0f).v, PixelY(0.0f).v, PixelX(float(draw.width)).v, PixelY(float(draw.height)).v,
                   Texel(0.0f).v, Texel(0.0f).v, Texel(float(draw.width)).v, Texel(float(draw.height)).v, kFogDepth);
    r2d.Close(vif);
    texClut.Release();
}

float Fog::NearLimit(RenderContext* rc)
{
    return rc->nearz * DepthScale(*rc) / kNearestIndexDepth;
}

float Fog::FarLimit(RenderContext* rc)
{
    return rc->nearz * DepthScale(*rc) / kFarthestIndexDepth;
}

float OptimalNearZForFog(RenderContext* rc, float d)
{
    return d * kNearestIndexDepth / DepthScale(*rc);
}

// ----------------------------------------------------------------- blurs

void Blur::Draw(RenderContext&, Surface& s)
{
    const int w = s.width, h = s.height;
    Renderer& vif = therenderer;
    vif.EndCommands();
    Surface half;
    half.Set(PSMCT32, w / 2, h / 2);
    if (!half.GetSurface())
        return;   // no GS memory for the copy this frame
    Render2D r2d;
    r2d.Open(vif);
    // The reduction writes colour and alpha but no depth.
    SetTest(r2d, kTestNeverFrameOnly);
    r2d.SetTexture(&s, TEXMODE_DECAL);
    // Texel coordinates on texel edges: each bilinear sample is the mean of a
    // 2 x 2 block.
    r2d.DrawSprite2(half, PixelX(0.0f).v, PixelY(0.0f).v, PixelX(float(w / 2)).v, PixelY(float(h / 2)).v, Uv(1),
                    Uv(1), Uv(w + 1), Uv(h + 1), kTopZ);

    r2d.SetAlpha(kAlphaFixedBlend, u32(int(level * 64.0f) & 255));
    r2d.SetZTest(ZTEST_GEQUAL);
    r2d.SetTexture(&half, TEXMODE_DECAL);
    // Back to full size, texel centres on even pixels.
    r2d.DrawSprite(PixelX(0.0f).v, PixelY(0.0f).v, PixelX(float(w)).v, PixelY(float(h)).v, 8, 8, Uv(w / 2) + 8,
                   Uv(h / 2) + 8, kBlurDepth);
    half.FreeSurface();
    r2d.Close(vif);
}

void MotionBlur::Draw(Surface& s)
{
    if (reset_count > 0) {
        reset_count--;
        return;
    }
    const int a = int(level * 128.0f);
    if (a < 4)
        return;
    const int w = s.width, h = s.height;
    Render2D r2d;
    r2d.Open(therenderer);
    r2d.SetAlpha(kAlphaFixedBlend, u32(a & 255));
    // Frame only: the copy must not flatten the depths that later
    // transparencies test against.
    SetTest(r2d, kTestNeverFrameOnly);
    r2d.SetTexture(&s, TEXMODE_DECAL);
    const s16 dx = s16(int(float(w) * -scale));
    const s16 dy = s16(int(float(h) * -scale));
    r2d.DrawSprite(PixelX(0.0f).v, PixelY(0.0f).v, PixelX(float(w)).v, PixelY(float(h)).v, Texel(float(-dx)).v,
                   Texel(float(-dy)).v, Texel(float(w + dx)).v, Texel(float(h + dy)).v, 0);
    r2d.Close(therenderer);
}

// ------------------------------------------------------------ lens flare

void DoLensFlare(Render2D& r2d, RenderContext& rc, Surface& drawBuff, VectorPos pos, Colour col, int fudgez,
                 Surface& texture, const LensFlarePart* lfp, int nlfp)
{
    // 1. Project the light; nothing behind the eye or well off the buffer.
    const Vector p = rc.world_screen * Vector(pos);
    const float pw = p[3];
    if (!(pw > 0.0f))
        return;
    const float sx = p[0] / pw, sy = p[1] / pw, sz = p[2] / pw;
    if (!(sz >= 0.0f))
        return;
    const float fx = floorf(sx) - 2048.0f, fy = floorf(sy) - 2048.0f;
    if (!(fx >= -kFlareBox && fx <= float(drawBuff.width + kFlareBox) && fy >= -kFlareBox &&
          fy <= float(drawBuff.height + kFlareBox)))
        return;
    const int px = int(fx), py = int(fy);
    // The bulb is drawn a little nearer (larger Z) than the light's point.
    const u32 zlight = u32(std::clamp(s64(rc.ScreenDepth(p)) + fudgez, s64(0), s64(0xFFFFFF)));

    // 2. The palette must be page-aligned to be drawn into.  The extra
    // reference keeps the texture (and so its palette) placed while the draw
    // buffer is the current texture.
    texture.format |= TEXF_CLUTPAGE;
    r2d.SetTexture(&texture, TEXMODE_DECAL);
    if (r2d.texture != &texture)
        return;   // could not be placed this frame
    texture.Hold();

    // 3. The palette as a 16 x 16 32-bit target.
    Surface pal = texture.ClutSurface();

    // 4. Visibility marks in the frame's alpha: 0 over the box, then 0x80
    // where the light's depth passes the Z buffer.  Colours stay.
    r2d.test_reg = (r2d.test_reg & ~0x3FFFu) | kAlphaNeverFrameOnly;
    r2d.SetZTest(ZTEST_GEQUAL);
    r2d.SetAlpha(ALPHA_KEEP);
    const Rect box{s16(px - kFlareBox), s16(py - kFlareBox), s16(2 * kFlareBox), s16(2 * kFlareBox)};
    r2d.DrawRect(box, Colour(0, 0, 0, 0), kTopZ);
    r2d.DrawRect(box, Colour(0x80, 0, 0, 0x80), zlight);

    // 5. Average the box's alpha down: 16 x 16 -> 8 x 8 -> 4 x 4 -> 2 x 2 in the
    // buffer's top-left corner, then the last 2 x 2 into every palette entry.
    r2d.SetTexture(&drawBuff, TEXMODE_DECAL);
    r2d.DrawSprite2(drawBuff, PixelX(0.0f).v, PixelY(0.0f).v, PixelX(8.0f).v, PixelY(8.0f).v, Uv(px - 7), Uv(py - 7),
                    Uv(px + 9), Uv(py + 9), kTopZ);
    r2d.TexFlush();
    r2d.DrawSprite2(drawBuff, PixelX(8.0f).v, PixelY(0.0f).v, PixelX(12.0f).v, PixelY(4.0f).v, Uv(1), Uv(1), Uv(9),
                    Uv(9), kTopZ);
    r2d.TexFlush();
    r2d.DrawSprite2(drawBuff, PixelX(12.0f).v, PixelY(0.0f).v, PixelX(14.0f).v, PixelY(2.0f).v, Uv(9), Uv(1),
                    Uv(13), Uv(5), kTopZ);
    r2d.TexFlush();
    r2d.DrawSprite2(pal, PixelX(0.0f).v, PixelY(0.0f).v, PixelX(16.0f).v, PixelY(16.0f).v, Uv(13), Uv(1), Uv(13),
                    Uv(1), kTopZ);

    // 6. The flares: the texture again (its palette reloaded with the
    // visibility in every alpha), added to the frame.
    r2d.SetTexture(&texture, TEXMODE_MODULATE);
    r2d.SetAlpha(ALPHA_ADD);
    r2d.SetColour(Colour(0x80, 0x80, 0x80, 0x80));
    texture.Release();

    const float cx = float(drawBuff.width / 2), cy = float(drawBuff.height / 2);
    const float dx = sx - 2048.0f - cx, dy = sy - 2048.0f - cy;
    const float len = sqrtf(dx * dx + dy * dy);
    // A light at the very centre has no direction: rotated parts stay as
    // they are rather than turning by an undefined angle.
    const float nx = len > 0.0f ? dx / len : 1.0f;
    const float ny = len > 0.0f ? dy / len : 0.0f;

    // 7. One strip of four corners per part.
    for (int i = 0; i < nlfp; i++) {
        const LensFlarePart& part = lfp[i];
        const float xs = part.xsize, ys = part.ysize;
        Vertex2Dtex v[4] = {{{-xs, -ys}, float(part.u0), float(part.v0)},
                            {{xs, -ys}, float(part.u1), float(part.v0)},
                            {{-xs, ys}, float(part.u0), float(part.v1)},
                            {{xs, ys}, float(part.u1), float(part.v1)}};
        if (part.rotate) {
            for (Vertex2Dtex& c : v) {
                const float x = c.x, y = c.y;
                c.x = x * nx - y * ny;
                c.y = x * ny + y * nx;
            }
        }
        Colour c = col;
        c.a = u8(int(float(col.a) * part.opacity));
        r2d.DrawPrim(PRIM_TRISTRIP, cx + dx * part.offset, cy + dy * part.offset, kTopZ, c, v, 4);
    }
}
