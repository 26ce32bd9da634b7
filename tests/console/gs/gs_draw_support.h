// Register images and a small drawing set-up for the GS tests: every value
// is packed here from the hardware's field positions, independently of the
// stand-in's own register views.
#pragma once

#include <cstring>

#include "gs/gs.h"
#include "gs/regs.h"

namespace gstest {

using console::gs::GsReg;
// Names nearly every drawing test uses.
using console::gs::Psm;
using console::gs::ResetGs;
using console::gs::Vram;

inline u64 Put(u64 value, int lo, int n)
{
    return (value & ((u64{1} << n) - 1)) << lo;
}

inline void Write(GsReg reg, u64 value)
{
    console::gs::WriteRegister(static_cast<u32>(reg), value);
}

// PRIM: type, then the attribute bits by name.
struct PrimBits {
    u32 type = 6;  // sprite
    bool iip = false, tme = false, fge = false, abe = false, aa1 = false, fst = true;
    u32 ctxt = 0;
};
inline u64 Prim(const PrimBits& p)
{
    return Put(p.type, 0, 3) | Put(p.iip, 3, 1) | Put(p.tme, 4, 1) | Put(p.fge, 5, 1) | Put(p.abe, 6, 1) |
           Put(p.aa1, 7, 1) | Put(p.fst, 8, 1) | Put(p.ctxt, 9, 1);
}

inline u64 Rgbaq(u32 r, u32 g, u32 b, u32 a, float q = 1.0f)
{
    u32 qbits;
    std::memcpy(&qbits, &q, 4);
    return Put(r, 0, 8) | Put(g, 8, 8) | Put(b, 16, 8) | Put(a, 24, 8) | Put(qbits, 32, 32);
}

inline u64 St(float s, float t)
{
    u32 sb, tb;
    std::memcpy(&sb, &s, 4);
    std::memcpy(&tb, &t, 4);
    return Put(sb, 0, 32) | Put(tb, 32, 32);
}

// U, V in 1/16 texel.
inline u64 Uv(u32 u16, u32 v16)
{
    return Put(u16, 0, 14) | Put(v16, 16, 14);
}

// X, Y in 1/16 pixel.
inline u64 Xyz(u32 x16, u32 y16, u32 z)
{
    return Put(x16, 0, 16) | Put(y16, 16, 16) | Put(z, 32, 32);
}

inline u64 Xyzf(u32 x16, u32 y16, u32 z, u32 f)
{
    return Put(x16, 0, 16) | Put(y16, 16, 16) | Put(z, 32, 24) | Put(f, 56, 8);
}

inline u64 Frame(u32 fbp, u32 fbw, u32 psm, u32 fbmsk = 0)
{
    return Put(fbp, 0, 9) | Put(fbw, 16, 6) | Put(psm, 24, 6) | Put(fbmsk, 32, 32);
}

// `psm` is the Z format's full code (0x30, 0x31, 0x32, 0x3A).
inline u64 Zbuf(u32 zbp, u32 psm, bool zmsk = false)
{
    return Put(zbp, 0, 9) | Put(psm & 0xF, 24, 4) | Put(zmsk, 32, 1);
}

struct TestBits {
    bool ate = false;
    u32 atst = 1, aref = 0, afail = 0;
    bool date = false;
    u32 datm = 0;
    bool zte = false;
    u32 ztst = 1;
};
inline u64 TestReg(const TestBits& t)
{
    return Put(t.ate, 0, 1) | Put(t.atst, 1, 3) | Put(t.aref, 4, 8) | Put(t.afail, 12, 2) | Put(t.date, 14, 1) |
           Put(t.datm, 15, 1) | Put(t.zte, 16, 1) | Put(t.ztst, 17, 2);
}

inline u64 Alpha(u32 a, u32 b, u32 c, u32 d, u32 fix = 0)
{
    return Put(a, 0, 2) | Put(b, 2, 2) | Put(c, 4, 2) | Put(d, 6, 2) | Put(fix, 32, 8);
}

inline u64 Scissor(u32 x0, u32 x1, u32 y0, u32 y1)
{
    return Put(x0, 0, 11) | Put(x1, 16, 11) | Put(y0, 32, 11) | Put(y1, 48, 11);
}

inline u64 Xyoffset(u32 ofx16, u32 ofy16)
{
    return Put(ofx16, 0, 16) | Put(ofy16, 32, 16);
}

struct Tex0Bits {
    u32 tbp = 0, tbw = 1, psm = 0, tw = 6, th = 6;
    bool tcc = true;
    u32 tfx = 1;  // decal
    u32 cbp = 0, cpsm = 0, csm = 0, csa = 0, cld = 0;
};
inline u64 Tex0(const Tex0Bits& t)
{
    return Put(t.tbp, 0, 14) | Put(t.tbw, 14, 6) | Put(t.psm, 20, 6) | Put(t.tw, 26, 4) | Put(t.th, 30, 4) |
           Put(t.tcc, 34, 1) | Put(t.tfx, 35, 2) | Put(t.cbp, 37, 14) | Put(t.cpsm, 51, 4) | Put(t.csm, 55, 1) |
           Put(t.csa, 56, 5) | Put(t.cld, 61, 3);
}

inline u64 Tex1(bool mag_linear, u32 mmin, bool lcm = true)
{
    return Put(lcm, 0, 1) | Put(mag_linear, 5, 1) | Put(mmin, 6, 3);
}

// TEX1 with every field: K in 1/16 (7.4 fixed point, signed).
struct Tex1Bits {
    bool lcm = false;
    u32 mxl = 0;
    bool mmag = false;
    u32 mmin = 0;
    bool mtba = false;
    u32 l = 0;
    s32 k16 = 0;
};
inline u64 Tex1Full(const Tex1Bits& t)
{
    return Put(t.lcm, 0, 1) | Put(t.mxl, 2, 3) | Put(t.mmag, 5, 1) | Put(t.mmin, 6, 3) | Put(t.mtba, 9, 1) |
           Put(t.l, 19, 2) | Put(static_cast<u32>(t.k16), 32, 12);
}

// MIPTBP1 (levels 1-3) or MIPTBP2 (levels 4-6): three base blocks and widths.
inline u64 Miptbp(u32 tbp_a, u32 tbw_a, u32 tbp_b, u32 tbw_b, u32 tbp_c, u32 tbw_c)
{
    return Put(tbp_a, 0, 14) | Put(tbw_a, 14, 6) | Put(tbp_b, 20, 14) | Put(tbw_b, 34, 6) | Put(tbp_c, 40, 14) |
           Put(tbw_c, 54, 6);
}

inline u64 FogReg(u32 f)
{
    return Put(f, 56, 8);
}

inline u64 Fogcol(u32 r, u32 g, u32 b)
{
    return Put(r, 0, 8) | Put(g, 8, 8) | Put(b, 16, 8);
}

inline u64 Clamp(u32 wms, u32 wmt, u32 minu = 0, u32 maxu = 0, u32 minv = 0, u32 maxv = 0)
{
    return Put(wms, 0, 2) | Put(wmt, 2, 2) | Put(minu, 4, 10) | Put(maxu, 14, 10) | Put(minv, 24, 10) |
           Put(maxv, 34, 10);
}

inline u64 Texa(u32 ta0, bool aem, u32 ta1)
{
    return Put(ta0, 0, 8) | Put(aem, 15, 1) | Put(ta1, 32, 8);
}

inline u64 BitBltBuf(u32 sbp, u32 sbw, u32 spsm, u32 dbp, u32 dbw, u32 dpsm)
{
    return Put(sbp, 0, 14) | Put(sbw, 16, 6) | Put(spsm, 24, 6) | Put(dbp, 32, 14) | Put(dbw, 48, 6) |
           Put(dpsm, 56, 6);
}

inline u64 TrxPos(u32 ssax, u32 ssay, u32 dsax, u32 dsay, u32 dir = 0)
{
    return Put(ssax, 0, 11) | Put(ssay, 16, 11) | Put(dsax, 32, 11) | Put(dsay, 48, 11) | Put(dir, 59, 2);
}

inline u64 TrxReg(u32 w, u32 h)
{
    return Put(w, 0, 12) | Put(h, 32, 12);
}

// Drawing context `ctxt` over a frame buffer at page `fbp`, `fbw` 64-pixel
// units wide, no offset, a scissor covering 2048 x 2048, no tests, no
// blending, no Z.
inline void SetUpContext(u32 ctxt, u32 fbp, u32 fbw, u32 psm, u32 fbmsk = 0)
{
    const u32 c = ctxt & 1;
    Write(static_cast<GsReg>(static_cast<u32>(GsReg::FRAME_1) + c), Frame(fbp, fbw, psm, fbmsk));
    Write(static_cast<GsReg>(static_cast<u32>(GsReg::XYOFFSET_1) + c), Xyoffset(0, 0));
    Write(static_cast<GsReg>(static_cast<u32>(GsReg::SCISSOR_1) + c), Scissor(0, 2047, 0, 2047));
    Write(static_cast<GsReg>(static_cast<u32>(GsReg::TEST_1) + c), TestReg({}));
    Write(static_cast<GsReg>(static_cast<u32>(GsReg::ZBUF_1) + c), Zbuf(0, 0x30, true));
}

// A flat sprite covering pixels [x0, x1) x [y0, y1) with colour `rgba`.
inline void FlatSprite(u32 x0, u32 y0, u32 x1, u32 y1, u64 rgbaq, u32 z = 0, PrimBits prim = {})
{
    prim.type = 6;
    Write(GsReg::PRIM, Prim(prim));
    Write(GsReg::RGBAQ, rgbaq);
    Write(GsReg::XYZ2, Xyz(x0 * 16, y0 * 16, z));
    Write(GsReg::XYZ2, Xyz(x1 * 16, y1 * 16, z));
}

}  // namespace gstest
