#include "ZevEngine2/PS2/Render2D.h"

namespace {

// The widest sprite the GS fills fastest: one 32-pixel page column.
constexpr int kStripUnits = 512;
// Rectangles wider and higher than 64 pixels are cut into strips.
constexpr int kStripThreshold = 1024;
// Negative texel coordinates move by 512.5 texels and wrap (repeat).
constexpr int kTexelShift = 0x2008;
// Dither matrix of every drawing environment: rows -3 2 -3 3 / 0 -2 1 -1 /
// -3 3 -3 2 / 1 -1 0 -2.
constexpr u64 kDimx = 0x6071253571603525ull;
constexpr u64 kOffset2048 = 0x8000ull | 0x8000ull << 32;

u64 Xyz(int x, int y, u32 z)
{
    return u64(u32(x) & 0xFFFF) | u64(u32(y) & 0xFFFF) << 16 | u64(z) << 32;
}

u64 Uv(int u, int v)
{
    return u64(u32(u) & 0x3FFF) | u64(u32(v) & 0x3FFF) << 16;
}

int StripCount(int x0, int y0, int x1, int y1)
{
    if (x1 - x0 > kStripThreshold && y1 - y0 > kStripThreshold)
        return (x1 - x0 + kStripUnits - 1) / kStripUnits;
    return 1;
}

u64 FrameValue(const Surface& s, u32 mask)
{
    return u64(tex0::TBP0(s.tex0) / 32) | u64(tex0::TBW(s.tex0)) << 16 | u64(tex0::PSM(s.tex0)) << 24 |
           u64(mask) << 32;
}

u64 ScissorValue(const Surface& s)
{
    return u64(s.width ? s.width - 1 : 0) << 16 | u64(s.height ? s.height - 1 : 0) << 48;
}

// TEX1 of a 2-D texture: linear filtering unless point sampled, mip-mapped
// minification when it has levels.
u64 Tex1Value(const Texture& t)
{
    const bool point = t.format & TEXF_POINT;
    const u64 mips = u64(t.MipLevels());
    const u64 mmag = point ? 0 : 1;
    const u64 mmin = mips ? (point ? 2 : 5) : (point ? 0 : 1);
    return mips << 2 | mmag << 5 | mmin << 6;
}

// REGION_CLAMP to the texture on both axes.
u64 ClampValue(const Texture& t)
{
    return 10 | u64(t.width ? t.width - 1 : 0) << 14 | u64(t.height ? t.height - 1 : 0) << 34;
}

u32 Modulate(Colour v, Colour c)
{
    return ((v.r * c.r) >> 7 & 0xFF) | ((v.g * c.g) >> 7 & 0xFF) << 8 | ((v.b * c.b) >> 7 & 0xFF) << 16 |
           u32((v.a * c.a) >> 7 & 0xFF) << 24;
}

}  // namespace

Render2D_raw::Render2D_raw()
    : texture(nullptr), texmode(TEXMODE_MODULATE), alpha_reg(0), update_flags(0), prim_reg(PRIM_IIP),
      test_reg(0x31000), rgbaq_reg(0x80808080), mask_reg(0), misc_flags(0), tag(nullptr), p(nullptr), limit(nullptr)
{
}

void Render2D_raw::InitState(u64* at, u64* _limit)
{
    texture = nullptr;
    texmode = TEXMODE_MODULATE;
    update_flags = 0;
    prim_reg = PRIM_IIP;
    test_reg = 0x31000;   // Z test on, always passing; a failed alpha test writes the frame only
    mask_reg = 0;
    misc_flags = 0;
    tag = nullptr;
    p = at;
    limit = _limit;
}

bool Render2D_raw::Room(u32 qwc)
{
    if (!p)
        return false;
    if (!limit || (p <= limit && u32(limit - p) / 2 >= qwc))
        return true;
    // Nothing more goes into this block: the frame is over its room.
    limit = p;
    therenderer.NoteFull();
    return false;
}

u32 Render2D_raw::StateQuadwords(u32 flags)
{
    u32 f = flags & 0x3F;
    u32 n = 0;
    for (u32 g = 1; g <= R2D_COLCLAMP; g <<= 1)
        if (f & g)
            n += g == R2D_TEXTURE ? 4 : 1;
    return n;
}

void Render2D_raw::ClosePacket(bool pre, u32 prim)
{
    const u32 nloop = u32(p - tag) / 2 - 1;
    sceGifTag t = MakeGifTag(nloop, true, 0, 1, GS_AD, pre, prim & 0x7FF);
    std::memcpy(tag, &t, 16);
    tag = nullptr;
}

u64* Render2D_raw::_SetState(u64* q, u32 flags, bool context2)
{
    const u32 f = (flags | flags >> R2D_CONTEXT2) & 0x3F;
    const u32 c = context2 ? 1 : 0;
    auto ad = [&q](u32 reg, u64 value) {
        *q++ = value;
        *q++ = reg;
    };
    if (f & R2D_ALPHA)
        ad(GS_ALPHA_1 + c, alpha_reg);
    if (f & R2D_TEST)
        ad(GS_TEST_1 + c, test_reg);
    if (f & R2D_COLOUR)
        ad(GS_RGBAQ, rgbaq_reg);
    if ((f & R2D_TEXTURE) && texture) {
        ad(GS_TEXFLUSH, 0);
        ad(GS_TEX0_1 + c, texture->tex0 | u64(texmode & 3) << 35);
        ad(GS_TEX1_1 + c, Tex1Value(*texture));
        ad(GS_CLAMP_1 + c, ClampValue(*texture));
    }
    if (f & R2D_FLUSH)
        ad(GS_TEXFLUSH, 0);
    if (f & R2D_COLCLAMP)
        ad(GS_COLCLAMP, (misc_flags & 1) ? 0 : 1);
    return q;
}

// ------------------------------------------------------------ registers

void Render2D_raw::SetRegister(u32 reg, u64 value)
{
    const u32 fl = update_flags & 0xFFFF & ~u32(R2D_TEXTURE);
    if (!Room(2 + StateQuadwords(fl)))
        return;
    OpenPacket();
    p = _SetState(p, fl, false);
    update_flags &= ~fl;
    AD(reg, value);
    ClosePacket(false, 0);
}

void Render2D_raw::FrameRegs(Surface& surface, bool context2)
{
    const u32 c = context2 ? 1 : 0;
    AD(GS_FRAME_1 + c, FrameValue(surface, mask_reg));
    AD(GS_SCISSOR_1 + c, ScissorValue(surface));
    AD(GS_XYOFFSET_1 + c, kOffset2048);
    surface.MakeDirty();
}

void Render2D_raw::SetDraw(Surface& surface, bool context2)
{
    if (!Room(4))
        return;
    OpenPacket();
    FrameRegs(surface, context2);
    ClosePacket(false, 0);
}

void Render2D_raw::SetZBuffer(Surface& surface, bool context2, bool update)
{
    if (!Room(2))
        return;
    OpenPacket();
    AD(GS_ZBUF_1 + (context2 ? 1 : 0),
       u64(tex0::TBP0(surface.tex0) / 32) | u64(surface.Psm() & 0xF) << 24 | u64(update ? 0 : 1) << 32);
    ClosePacket(false, 0);
    surface.MakeDirty();
}

void Render2D_raw::SetDrawEnvironment(Surface& draw, Surface& zbuf, bool context2)
{
    if (!Room(11))
        return;
    const u32 c = context2 ? 1 : 0;
    OpenPacket();
    AD(GS_FRAME_1 + c, FrameValue(draw, mask_reg));
    AD(GS_XYOFFSET_1 + c, kOffset2048);
    AD(GS_SCISSOR_1 + c, ScissorValue(draw));
    AD(GS_ZBUF_1 + c, u64(tex0::TBP0(zbuf.tex0) / 32) | u64(zbuf.Psm() & 0xF) << 24);
    AD(GS_FBA_1 + c, 0);
    AD(GS_PRMODECONT, 1);
    AD(GS_COLCLAMP, 1);
    // 16-bit targets are dithered.
    AD(GS_DTHE, draw.SizeClass() >= 2 ? 1 : 0);
    AD(GS_DIMX, kDimx);
    AD(GS_PABE, 0);
    ClosePacket(false, 0);
    draw.MakeDirty();
    zbuf.MakeDirty();
}

// ---------------------------------------------------- rectangles, sprites

void Render2D_raw::RectPrim(bool context2, Surface* surface, int x0, int y0, int x1, int y1, Colour colour, u32 z)
{
    const u32 pending = context2 ? update_flags >> R2D_CONTEXT2 : update_flags;
    const u32 fl = pending & 0xFFFF & ~u32(R2D_TEXTURE);
    const int strips = StripCount(x0, y0, x1, y1);
    if (!Room(1 + (context2 ? 3 : 0) + StateQuadwords(fl) + 1 + 2 * u32(strips)))
        return;
    OpenPacket();
    if (context2)
        FrameRegs(*surface, true);
    p = _SetState(p, fl, context2);
    update_flags &= ~(context2 ? fl << R2D_CONTEXT2 : fl);
    AD(GS_RGBAQ, colour.Word());
    if (strips > 1) {
        for (int x = x0; x < x1; x += kStripUnits) {
            AD(GS_XYZ2, Xyz(x, y0, z));
            AD(GS_XYZ2, Xyz(std::min(x + kStripUnits, x1), y1, z));
        }
    } else {
        AD(GS_XYZ2, Xyz(x0, y0, z));
        AD(GS_XYZ2, Xyz(x1, y1, z));
    }
    ClosePacket(true, ((prim_reg & ~u32(PRIM_TME)) | PRIM_SPRITE) | (context2 ? PRIM_CTXT : 0));
}

void Render2D_raw::SpritePrim(bool context2, Surface* surface, int x0, int y0, int x1, int y1, int u0, int v0,
                              int u1, int v1, u32 z)
{
    // Without a texture (one that could not be placed) there is nothing to
    // sample: the sprite is left out rather than drawn from stale registers.
    if (!texture)
        return;
    const u32 pending = context2 ? update_flags >> R2D_CONTEXT2 : update_flags;
    const u32 fl = pending & 0xFFFF;
    const bool su = u0 < 0 || u1 < 0;
    const bool sv = v0 < 0 || v1 < 0;
    if (su) {
        u0 += kTexelShift;
        u1 += kTexelShift;
    }
    if (sv) {
        v0 += kTexelShift;
        v1 += kTexelShift;
    }
    const bool clamp = !context2 && (su || sv);
    const int strips = StripCount(x0, y0, x1, y1);
    if (!Room(1 + (context2 ? 3 : 0) + StateQuadwords(fl) + (clamp ? 1 : 0) + 4 * u32(strips)))
        return;
    OpenPacket();
    if (context2)
        FrameRegs(*surface, true);
    p = _SetState(p, fl, context2);
    update_flags &= ~(context2 ? fl << R2D_CONTEXT2 : fl);
    if (clamp) {
        // Repeat on the shifted axes, clamp on the other.
        AD(GS_CLAMP_1, u64(su ? 0 : 1) | u64(sv ? 0 : 1) << 2);
    }
    if (strips > 1) {
        const int du = ((u1 - u0) * kStripUnits) / (x1 - x0);
        int u = u0;
        for (int x = x0; x < x1; x += kStripUnits) {
            const int xe = std::min(x + kStripUnits, x1);
            const int ue = xe == x1 ? u1 : u + du;
            AD(GS_UV, Uv(u, v0));
            AD(GS_XYZ2, Xyz(x, y0, z));
            AD(GS_UV, Uv(ue, v1));
            AD(GS_XYZ2, Xyz(xe, y1, z));
            u = ue;
        }
    } else {
        AD(GS_UV, Uv(u0, v0));
        AD(GS_XYZ2, Xyz(x0, y0, z));
        AD(GS_UV, Uv(u1, v1));
        AD(GS_XYZ2, Xyz(x1, y1, z));
    }
    ClosePacket(true, prim_reg | PRIM_SPRITE | PRIM_TME | PRIM_FST | (context2 ? PRIM_CTXT : 0));
}

void Render2D_raw::DrawRect(int x0, int y0, int x1, int y1, Colour colour, u32 z)
{
    RectPrim(false, nullptr, x0, y0, x1, y1, colour, z);
}

void Render2D_raw::DrawRect(const ::Rect& r, Colour colour, u32 z)
{
    DrawRect(PixelX(r.x).v, PixelY(r.y).v, PixelX(r.x + r.w).v, PixelY(r.y + r.h).v, colour, z);
}

void Render2D_raw::DrawRect(const Rectf& r, Colour colour, u32 z)
{
    DrawRect(PixelX(r.x).v, PixelY(r.y).v, PixelX(r.x + r.w).v, PixelY(r.y + r.h).v, colour, z);
}

void Render2D_raw::DrawRect(const Rectp& r, Colour colour, u32 z)
{
    DrawRect(r.x.v, r.y.v, r.x.v + r.w.v, r.y.v + r.h.v, colour, z);
}

void Render2D_raw::DrawSprite(int x0, int y0, int x1, int y1, int u0, int v0, int u1, int v1, u32 z)
{
    SpritePrim(false, nullptr, x0, y0, x1, y1, u0, v0, u1, v1, z);
}

void Render2D_raw::DrawSprite(const ::Rect& dst, const ::Rect& src, u32 z)
{
    DrawSprite(PixelX(dst.x).v, PixelY(dst.y).v, PixelX(dst.x + dst.w).v, PixelY(dst.y + dst.h).v, Texel(src.x).v,
               Texel(src.y).v, Texel(src.x + src.w).v, Texel(src.y + src.h).v, z);
}

void Render2D_raw::DrawSprite(const Rectf& dst, const Rectf& src, u32 z)
{
    DrawSprite(PixelX(dst.x).v, PixelY(dst.y).v, PixelX(dst.x + dst.w).v, PixelY(dst.y + dst.h).v, Texel(src.x).v,
               Texel(src.y).v, Texel(src.x + src.w).v, Texel(src.y + src.h).v, z);
}

void Render2D_raw::DrawSprite(const Rectp& dst, const Rectp& src, u32 z)
{
    DrawSprite(dst.x.v, dst.y.v, dst.x.v + dst.w.v, dst.y.v + dst.h.v, src.x.v, src.y.v, src.x.v + src.w.v,
               src.y.v + src.h.v, z);
}

void Render2D_raw::DrawRect2(Surface& surface, int x0, int y0, int x1, int y1, Colour colour, u32 z)
{
    RectPrim(true, &surface, x0, y0, x1, y1, colour, z);
}

void Render2D_raw::DrawRect2(Surface& surface, const ::Rect& r, Colour colour, u32 z)
{
    DrawRect2(surface, PixelX(r.x).v, PixelY(r.y).v, PixelX(r.x + r.w).v, PixelY(r.y + r.h).v, colour, z);
}

void Render2D_raw::DrawRect2(Surface& surface, const Rectf& r, Colour colour, u32 z)
{
    DrawRect2(surface, PixelX(r.x).v, PixelY(r.y).v, PixelX(r.x + r.w).v, PixelY(r.y + r.h).v, colour, z);
}

void Render2D_raw::DrawSprite2(Surface& surface, int x0, int y0, int x1, int y1, int u0, int v0, int u1, int v1,
                               u32 z)
{
    SpritePrim(true, &surface, x0, y0, x1, y1, u0, v0, u1, v1, z);
}

void Render2D_raw::DrawSprite2(Surface& surface, const ::Rect& dst, const ::Rect& src, u32 z)
{
    DrawSprite2(surface, PixelX(dst.x).v, PixelY(dst.y).v, PixelX(dst.x + dst.w).v, PixelY(dst.y + dst.h).v,
                Texel(src.x).v, Texel(src.y).v, Texel(src.x + src.w).v, Texel(src.y + src.h).v, z);
}

void Render2D_raw::DrawSprite2(Surface& surface, const Rectf& dst, const Rectf& src, u32 z)
{
    DrawSprite2(surface, PixelX(dst.x).v, PixelY(dst.y).v, PixelX(dst.x + dst.w).v, PixelY(dst.y + dst.h).v,
                Texel(src.x).v, Texel(src.y).v, Texel(src.x + src.w).v, Texel(src.y + src.h).v, z);
}

// ---------------------------------------------------------- vertex lists

template <class V>
void Render2D_raw::Vertices(u32 prim, float x, float y, u32 z, Colour colour, const V* points, int n)
{
    constexpr bool textured = std::is_base_of_v<Vertex2Dtex, V>;
    constexpr bool coloured = std::is_same_v<V, Vertex2Dcol> || std::is_same_v<V, Vertex2Dtexcol>;
    if (!points || n <= 0)
        return;
    const u32 per = 1 + (textured ? 1 : 0) + (coloured ? 1 : 0);
    const u32 fl = update_flags & 0xFFFF;
    const u32 qwc = StateQuadwords(fl) + 1 + u32(n) * per;
    if (qwc > 0x7FFF)   // more than one GIF packet can count
        return;
    if (!Room(1 + qwc))
        return;
    OpenPacket();
    p = _SetState(p, fl, false);
    update_flags &= ~fl;
    AD(GS_RGBAQ, colour.Word());
    for (int i = 0; i < n; i++) {
        const V& v = points[i];
        if constexpr (coloured)
            AD(GS_RGBAQ, Modulate(v.colour, colour));
        if constexpr (textured)
            AD(GS_UV, Uv(int(v.u * 16.0f + 8.0f), int(v.v * 16.0f + 8.0f)));
        const int px = int((v.x + x + 2048.0f) * 16.0f);
        const int py = int((v.y + y + 2048.0f) * 16.0f);
        AD(GS_XYZ2, Xyz(px, py, z));
    }
    ClosePacket(true, prim);
}

void Render2D_raw::_Draw(u32 prim, float x, float y, u32 z, Colour colour, const Vertex2D* points, int n)
{
    Vertices(prim, x, y, z, colour, points, n);
}

void Render2D_raw::_Draw(u32 prim, float x, float y, u32 z, Colour colour, const Vertex2Dtex* points, int n)
{
    Vertices(prim, x, y, z, colour, points, n);
}

void Render2D_raw::_Draw(u32 prim, float x, float y, u32 z, Colour colour, const Vertex2Dcol* points, int n)
{
    Vertices(prim, x, y, z, colour, points, n);
}

void Render2D_raw::_Draw(u32 prim, float x, float y, u32 z, Colour colour, const Vertex2Dtexcol* points, int n)
{
    Vertices(prim, x, y, z, colour, points, n);
}

void Render2D_raw::Begin(PRIMITIVE_TYPE type)
{
    const u32 fl = update_flags & 0xFFFF;
    if (!Room(1 + StateQuadwords(fl)))
        return;
    OpenPacket();
    p = _SetState(p, fl, false);
    update_flags &= ~fl;
    // The primitive waits in the tag's place until End writes the tag.
    tag[0] = prim_reg | u32(type);
}

void Render2D_raw::SetVertex(float x, float y, u32 z)
{
    if (!tag || !Room(1))
        return;
    AD(GS_XYZ2, Xyz(int((x + 2048.0f) * 16.0f), int((y + 2048.0f) * 16.0f), z));
}

void Render2D_raw::End()
{
    if (!tag)
        return;
    ClosePacket(true, u32(tag[0]));
}

// ------------------------------------------------------------- Render2D

void Render2D::Open(Renderer& vif)
{
    vif.EndCommands();
    InitState(nullptr);
    if (!vif.AllowFor(2))
        return;
    vif.Put(VIF_FLUSH);
    vif.OpenDirect();
    InitState(reinterpret_cast<u64*>(vif.direct), reinterpret_cast<u64*>(vif.Limit()));
}

void Render2D::Close(Renderer& vif)
{
    const bool open = p && vif.direct;
    if (open) {
        vif.SetPtr(reinterpret_cast<u32*>(p));
        vif.CloseDirect();
    }
    Texture* t = texture;
    texture = nullptr;
    if (t)
        t->Release();
    if (open)
        vif.Put(VIF_FLUSH);
    p = nullptr;
    tag = nullptr;
}

void Render2D::SetTexture(Texture* t, TEXMODE m)
{
    if (t != texture) {
        Renderer& vif = therenderer;
        const bool open = p && vif.direct;
        if (open) {
            vif.SetPtr(reinterpret_cast<u32*>(p));
            vif.CloseDirect();
        }
        Texture* old = texture;
        texture = nullptr;
        if (old)
            old->Release();
        // Taking the texture may place its upload request in the chain, which
        // is why the block is broken around it.
        if (t && t->Hold())
            texture = t;
        if (open) {
            if (vif.AllowFor(2)) {
                vif.OpenDirect();
                p = reinterpret_cast<u64*>(vif.direct);
            } else {
                p = nullptr;
            }
        }
    }
    texmode = m;
    prim_reg |= PRIM_TME | PRIM_FST;
    Mark(R2D_TEXTURE);
}
