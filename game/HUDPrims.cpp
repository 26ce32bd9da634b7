// The HUD's drawing primitives and its fades, flashes and gauges.  Each
// primitive is one packet written straight into the open 2-D block; only the
// render state a primitive changes is marked to be sent again.
#include <cmath>

#include "game/HUD.h"

#include "game/QuadTree.h"
#include "game/MAIN.h"

namespace {

constexpr u32 kFarZ = 0xFFFFFF;

Colour CurrentColour(const Render2D& r2d)
{
    const u32 w = r2d.rgbaq_reg;
    return Colour(u8(w), u8(w >> 8), u8(w >> 16), u8(w >> 24));
}

// Additive blending, untextured: the state of the flat primitives.
void FlatState(Render2D& r2d, const Colour& colour, bool textureOff)
{
    r2d.SetAlpha(ALPHA_ADD);
    if (textureOff)
        r2d.prim_reg &= ~PRIM_TME;
    r2d.SetColour(colour);
}

void FlatPrim(Render2D& r2d, PRIMITIVE_TYPE type, const float (*xy)[2], int n)
{
    r2d.Begin(type);
    for (int i = 0; i < n; i++)
        r2d.SetVertex(xy[i][0], xy[i][1], kFarZ);
    r2d.End();
}

// Textured vertices in the caller's texture, colour and blending.
void TexPrim(Render2D& r2d, PRIMITIVE_TYPE type, const Vertex2Dtex* v, int n)
{
    r2d._Draw(r2d.prim_reg | PRIM_TME | PRIM_FST | u32(type), 0.0f, 0.0f, kFarZ, CurrentColour(r2d), v, n);
}

Vertex2Dtex TV(float x, float y, float u, float v)
{
    Vertex2Dtex t;
    t.x = x;
    t.y = y;
    t.u = u;
    t.v = v;
    return t;
}

}  // namespace

// ---------------------------------------------------------------- primitives

void DrawDot(Render2D& r2d, const Rect& drect, const Colour& colour)
{
    FlatState(r2d, colour, false);
    r2d.DrawRect(PixelX(drect.x).v, PixelY(drect.y).v, PixelX(drect.x + drect.w).v, PixelY(drect.y + drect.h).v,
                 colour, kFarZ);
}

void DrawTri(Render2D& r2d, Vector* rv, const Colour& colour)
{
    FlatState(r2d, colour, true);
    const float xy[3][2] = {{rv[0][0], rv[0][1]}, {rv[1][0], rv[1][1]}, {rv[2][0], rv[2][1]}};
    FlatPrim(r2d, PRIM_TRI, xy, 3);
}

void DrawEdgedTri(Render2D& r2d, Vector* rv, const Colour& colour)
{
    DrawTri(r2d, rv, colour);
}

void DrawHollowTri(Render2D& r2d, VectorXY* rvxy, const Colour& colour)
{
    FlatState(r2d, colour, true);
    float xy[4][2];
    for (int i = 0; i < 4; i++) {
        xy[i][0] = rvxy[i % 3][0];
        xy[i][1] = rvxy[i % 3][1];
    }
    FlatPrim(r2d, PRIM_LINESTRIP, xy, 4);
}

void DrawArrow(Render2D& r2d, VectorXY* rvxy, const Colour& colour)
{
    FlatState(r2d, colour, false);
    float xy[8][2];
    for (int i = 0; i < 8; i++) {
        xy[i][0] = rvxy[i][0];
        xy[i][1] = rvxy[i][1];
    }
    FlatPrim(r2d, PRIM_LINESTRIP, xy, 8);
}

void DrawRectTopLeft(Render2D& r2d, const Rect& drect, const Rect& srect)
{
    const float dx0 = drect.x, dx1 = drect.x + drect.w / 2, dx2 = drect.x + drect.w;
    const float dy0 = drect.y, dy1 = drect.y + drect.h / 2, dy2 = drect.y + drect.h;
    const float sx0 = srect.x, sx1 = srect.x + srect.w, sy0 = srect.y, sy1 = srect.y + srect.h;
    // The centre takes the quarter's inner corner, every corner of drect the
    // quarter's outer corner, so each quadrant mirrors the one beside it.
    const Vertex2Dtex fan[10] = {
        TV(dx1, dy1, sx1, sy1), TV(dx0, dy0, sx0, sy0), TV(dx1, dy0, sx1, sy0), TV(dx2, dy0, sx0, sy0),
        TV(dx2, dy1, sx0, sy1), TV(dx2, dy2, sx0, sy0), TV(dx1, dy2, sx1, sy0), TV(dx0, dy2, sx0, sy0),
        TV(dx0, dy1, sx0, sy1), TV(dx0, dy0, sx0, sy0),
    };
    TexPrim(r2d, PRIM_TRIFAN, fan, 10);
    // The phone panel hangs under the map frame.
    r2d.DrawSprite(hudlayout::srectPhonePanel.MapRect(), hudlayout::rectPhonePanelTI, kFarZ);
}

void DrawRectLeft(Render2D& r2d, const Rect& drect, const Rect& srect)
{
    const float dx0 = drect.x, dx1 = drect.x + drect.w / 2, dx2 = drect.x + drect.w;
    const float dy0 = drect.y, dy2 = drect.y + drect.h;
    const float sx0 = srect.x, sx1 = srect.x + srect.w, sy0 = srect.y, sy1 = srect.y + srect.h;
    const Vertex2Dtex fan[7] = {
        TV(dx1, dy0, sx1, sy0), TV(dx0, dy0, sx0, sy0), TV(dx0, dy2, sx0, sy1), TV(dx1, dy2, sx1, sy1),
        TV(dx2, dy2, sx0, sy1), TV(dx2, dy0, sx0, sy0), TV(dx1, dy0, sx1, sy0),
    };
    TexPrim(r2d, PRIM_TRIFAN, fan, 7);
}

void DrawSpriteRot90CCW(Render2D& r2d, const Rect& drect, const Rect& srect)
{
    const float dx0 = drect.x, dx1 = drect.x + drect.w, dy0 = drect.y, dy1 = drect.y + drect.h;
    const float sx0 = srect.x, sx1 = srect.x + srect.w, sy0 = srect.y, sy1 = srect.y + srect.h;
    const Vertex2Dtex strip[4] = {
        TV(dx0, dy0, sx1, sy0), TV(dx1, dy0, sx1, sy1), TV(dx0, dy1, sx0, sy0), TV(dx1, dy1, sx0, sy1),
    };
    TexPrim(r2d, PRIM_TRISTRIP, strip, 4);
}

void DrawCarArrow(Render2D& r2d, const Matrix2& mat2, const VectorXY& vxyTrans, const Rect& drect,
                  const Rect& srect)
{
    const float hw = float(drect.w / 2), hh = float(drect.h / 2);
    const float corner[4][2] = {{-hw, -hh}, {hw, -hh}, {-hw, hh}, {hw, hh}};
    const float sx0 = srect.x, sx1 = srect.x + srect.w, sy0 = srect.y, sy1 = srect.y + srect.h;
    const float tex[4][2] = {{sx0, sy0}, {sx1, sy0}, {sx0, sy1}, {sx1, sy1}};
    Vertex2Dtex strip[4];
    for (int i = 0; i < 4; i++) {
        const float x = corner[i][0], y = corner[i][1];
        strip[i] = TV(x * mat2.a + y * mat2.c + vxyTrans[0], x * mat2.b + y * mat2.d + vxyTrans[1], tex[i][0],
                      tex[i][1]);
    }
    TexPrim(r2d, PRIM_TRISTRIP, strip, 4);
}

// ----------------------------------------------------------------- fades

int FadeAlpha(FadeDispInfo& fdi)
{
    const int t = world.time - fdi.iFadeTime;
    if (fdi.flags & FDI_RISING) {
        if (t >= 15) {
            fdi.flags = FDI_STEADY;
            return 128;
        }
        return t * 128 / 15;
    }
    if (fdi.flags & FDI_FALLING) {
        if (t >= 15) {
            fdi.flags = 0;
            return 0;
        }
        return (15 - t) * 128 / 15;
    }
    return 128;
}

int FadeAlphaF(FadeDispInfo& fdi)
{
    const int t = world.time - fdi.iFadeTime;
    if (fdi.flags & FDI_RISING) {
        if (t >= 15) {
            fdi.flags = FDI_STEADY;
            return 128;
        }
        return int(float(t) * 128.0f * 0.06666667f);
    }
    if (fdi.flags & FDI_FALLING) {
        if (t >= 15) {
            fdi.flags = 0;
            return 0;
        }
        return int(float(15 - t) * 8.533334f);
    }
    return 128;
}

int BlinkAlpha(FadeDispInfo& fdi)
{
    const float t = float(world.time - fdi.iFadeTime);
    if (fdi.flags & FDI_RISING) {
        if (t >= 7.5f) {
            fdi.flags = (fdi.flags & ~FDI_RISING) | FDI_FALLING;
            fdi.iFadeTime = world.time;
            return 128;
        }
        return int(t * 128.0f * 0.13333334f);
    }
    if (fdi.flags & FDI_FALLING) {
        if (t >= 7.5f) {
            fdi.flags = (fdi.flags & ~FDI_FALLING) | FDI_RISING;
            fdi.iFadeTime = world.time;
            return 0;
        }
        return int((7.5f - t) * 17.066668f);
    }
    return 0;
}

void SetHUDSpriteState(Render2D& r2d, Texture& t, int alpha)
{
    if (r2d.texture != &t)
        r2d.SetTexture(&t, TEXMODE_MODULATE);
    r2d.prim_reg |= PRIM_TME | PRIM_FST;
    r2d.SetAlpha(ALPHA_BLEND);
    r2d.SetZTest(ZTEST_ALWAYS);
    r2d.SetColour(Colour(128, 128, 128, u8(alpha)));
}

void DrawHUDSprite(Render2D& r2d, const Rect& S, const Rect& T)
{
    r2d.DrawSprite(S, T, kFarZ);
}

namespace {

void SpriteAt(Render2D& r2d, const Rect& scrn, const Rect& tex, int alpha)
{
    r2d.SetAlpha(ALPHA_BLEND);
    r2d.SetColour(Colour(128, 128, 128, u8(alpha)));
    DrawHUDSprite(r2d, scrn, tex);
}

}  // namespace

void FlashSprite(Render2D& r2d, float halfDuration, const Rect& scrn, const Rect& start, const Rect& end,
                 const Rect& flash, FadeDispInfo& fdi)
{
    float t = float(world.time - fdi.iFadeTime);
    if (fdi.flags & FDI_RISING) {
        if (halfDuration < t) {
            fdi.iFadeTime += int(halfDuration);
            fdi.flags = (fdi.flags & ~FDI_RISING) | FDI_FALLING;
            t = float(world.time - fdi.iFadeTime);
        } else {
            SpriteAt(r2d, scrn, start, 128);
            SpriteAt(r2d, scrn, flash, int(t / halfDuration * 128.0f));
        }
    }
    if (fdi.flags & FDI_FALLING) {
        SpriteAt(r2d, scrn, end, 128);
        if (halfDuration < t)
            fdi.flags &= ~FDI_FALLING;
        else
            SpriteAt(r2d, scrn, flash, int((1.0f - t / halfDuration) * 128.0f));
    }
}

Rect blend(const Rect& a, const Rect& b, float w)
{
    auto mix = [w](s16 x, s16 y) { return s16(float(x) * (1.0f - w) + float(y) * w); };
    return Rect{mix(a.x, b.x), mix(a.y, b.y), mix(a.w, b.w), mix(a.h, b.h)};
}

// ----------------------------------------------------------------- gauges

namespace {

// The slanted fill line of value v across rectangle R: its depth at the
// left and the right edge.
struct FillLine
{
    float left, right;
};

FillLine LineOf(const Rect& R, bool isRight, float v)
{
    const float f = 1.0f - v;
    const float A = float(int(float(R.y) + float(R.h) * (0.225f + 0.55f * f)));
    const float L = float(int(float(R.y) + float(R.h) * f));
    return isRight ? FillLine{L, A} : FillLine{A, L};
}

FillLine TopOf(const Rect& R)
{
    return FillLine{float(R.y), float(R.y)};
}
FillLine BottomOf(const Rect& R)
{
    return FillLine{float(R.y + R.h), float(R.y + R.h)};
}

// One part of a gauge between two lines, textured between the same lines of
// the texture rectangle.
void GaugePart(Render2D& r2d, const Rect& d, FillLine dTop, FillLine dBottom, const Rect& s, FillLine sTop,
               FillLine sBottom)
{
    const float dx0 = d.x, dx1 = d.x + d.w, sx0 = s.x, sx1 = s.x + s.w;
    const Vertex2Dtex strip[4] = {
        TV(dx0, dTop.left, sx0, sTop.left), TV(dx1, dTop.right, sx1, sTop.right),
        TV(dx0, dBottom.left, sx0, sBottom.left), TV(dx1, dBottom.right, sx1, sBottom.right),
    };
    TexPrim(r2d, PRIM_TRISTRIP, strip, 4);
}

}  // namespace

void DrawGauge2(Render2D& r2d, bool isRight, float value1, const Rect& drect, const Rect& srect1,
                const Rect& srect2, const Rect& srect3, int alpha)
{
    const FillLine d1 = LineOf(drect, isRight, value1);
    GaugePart(r2d, drect, TopOf(drect), d1, srect1, TopOf(srect1), LineOf(srect1, isRight, value1));
    GaugePart(r2d, drect, d1, BottomOf(drect), srect2, LineOf(srect2, isRight, value1), BottomOf(srect2));
    if (alpha != 0) {
        r2d.SetAlpha(ALPHA_BLEND);
        r2d.SetColour(Colour(128, 128, 128, u8(alpha)));
        GaugePart(r2d, drect, d1, BottomOf(drect), srect3, LineOf(srect3, isRight, value1), BottomOf(srect3));
    }
}

void DrawGauge3(Render2D& r2d, bool isRight, float value1, float value2, const Rect& drect, const Rect& srect1,
                const Rect& srect2, const Rect& srect3, const Rect& srect4, int alpha)
{
    const FillLine d1 = LineOf(drect, isRight, value1), d2 = LineOf(drect, isRight, value2);
    GaugePart(r2d, drect, TopOf(drect), d1, srect1, TopOf(srect1), LineOf(srect1, isRight, value1));
    GaugePart(r2d, drect, d1, d2, srect2, LineOf(srect2, isRight, value1), LineOf(srect2, isRight, value2));
    GaugePart(r2d, drect, d2, BottomOf(drect), srect3, LineOf(srect3, isRight, value2), BottomOf(srect3));
    if (alpha != 0) {
        r2d.SetAlpha(ALPHA_BLEND);
        r2d.SetColour(Colour(128, 128, 128, u8(alpha)));
        GaugePart(r2d, drect, d2, BottomOf(drect), srect4, LineOf(srect4, isRight, value2), BottomOf(srect4));
    }
}
