#include "gs/drawenv.h"

#include <atomic>

#include "core/diag.h"
#include "gs/clut.h"
#include "gs/texsample.h"

namespace console::gs {
namespace {

// Appends `bits` bits of `value` to the key.
class KeyPacker {
public:
    void Put(u32 value, int bits)
    {
        key_ |= (static_cast<u64>(value) & ((u64{1} << bits) - 1)) << shift_;
        shift_ += bits;
    }
    u64 Key() const { return key_; }

private:
    u64 key_ = 0;
    int shift_ = 0;
};

bool Is16Bit(Psm psm)
{
    return psm == Psm::kCT16 || psm == Psm::kCT16S || psm == Psm::kZ16 || psm == Psm::kZ16S;
}

bool DecodeFrame(const GsFrame& reg, FrameTarget& frame)
{
    const auto psm = PsmFromCode(reg.PSM());
    switch (psm.value_or(Psm::kT8)) {
    case Psm::kCT32:
    case Psm::kCT24:
    case Psm::kCT16:
    case Psm::kCT16S:
    case Psm::kZ32:
    case Psm::kZ24:
    case Psm::kZ16:
    case Psm::kZ16S: break;
    default: Diag(Level::kError, "gs", "FRAME PSM 0x%02X is not a format the GS draws into", reg.PSM()); return false;
    }
    frame.psm = *psm;
    frame.bp = reg.FBP() * kPageBlocks;
    frame.bw = reg.FBW();
    frame.fbmsk = reg.FBMSK();
    frame.is16 = Is16Bit(*psm);
    frame.has_alpha = *psm != Psm::kCT24 && *psm != Psm::kZ24;
    return true;
}

bool DecodeDepth(const GsZbuf& zbuf, const GsTest& test, DepthTarget& depth)
{
    depth.used = test.ZTE();
    if (!depth.used)
        return true;
    const auto psm = PsmFromCode(0x30 | zbuf.PSM());
    switch (psm.value_or(Psm::kT8)) {
    case Psm::kZ32: depth.max = 0xFFFFFFFFu; break;
    case Psm::kZ24: depth.max = 0xFFFFFFu; break;
    case Psm::kZ16:
    case Psm::kZ16S: depth.max = 0xFFFFu; break;
    default: Diag(Level::kError, "gs", "ZBUF PSM 0x%X is not a Z format", zbuf.PSM()); return false;
    }
    depth.psm = *psm;
    depth.bp = zbuf.ZBP() * kPageBlocks;
    depth.method = static_cast<DepthTest>(test.ZTST());
    depth.test = depth.method != DepthTest::kAlways;
    depth.write = !zbuf.ZMSK();
    return true;
}

bool DecodeTexture(const RegisterFile& regs, u32 ctxt, TextureEnv& tex)
{
    const GsTex0 tex0{regs.Ctx(GsReg::TEX0_1, ctxt)};
    const GsTex1 tex1{regs.Ctx(GsReg::TEX1_1, ctxt)};
    const GsClamp clamp{regs.Ctx(GsReg::CLAMP_1, ctxt)};
    const GsTexa texa{regs.Get(GsReg::TEXA)};
    const auto psm = PsmFromCode(tex0.PSM());
    if (!psm) {
        Diag(Level::kError, "gs", "TEX0 PSM 0x%02X is not a texture format", tex0.PSM());
        return false;
    }
    if (tex0.TW() > 10 || tex0.TH() > 10) {
        Diag(Level::kError, "gs", "TEX0 texture size 2^%u x 2^%u exceeds 1024 x 1024", tex0.TW(), tex0.TH());
        return false;
    }
    tex.psm = *psm;
    tex.tbp = tex0.TBP0();
    tex.tbw = tex0.TBW();
    tex.tw = tex0.TW();
    tex.th = tex0.TH();
    tex.tcc = tex0.TCC();
    tex.tfx = tex0.TFX();
    tex.indexed = IsIndexed(*psm);
    tex.index_bits = IndexBits(*psm);
    tex.cpsm = tex0.CPSM();
    tex.csa = tex0.CSA();
    if (tex.indexed && tex.cpsm != kCpsmCT32 && tex.cpsm != kCpsmCT16 && tex.cpsm != kCpsmCT16S) {
        Diag(Level::kError, "gs", "TEX0 CPSM 0x%X is not a CLUT format", tex.cpsm);
        return false;
    }
    tex.wms = clamp.WMS();
    tex.wmt = clamp.WMT();
    tex.minu = clamp.MINU();
    tex.maxu = clamp.MAXU();
    tex.minv = clamp.MINV();
    tex.maxv = clamp.MAXV();
    tex.ta0 = texa.TA0();
    tex.ta1 = texa.TA1();
    tex.aem = texa.AEM();
    tex.lcm = tex1.LCM();
    tex.mxl = tex1.MXL();
    tex.mag_linear = tex1.MMAG();
    tex.mmin = tex1.MMIN();
    tex.l = tex1.L();
    tex.k = tex1.K();
    if (tex.mmin > 5) {
        Diag(Level::kError, "gs", "TEX1 MMIN %u is not a filter", tex.mmin);
        return false;
    }
    if (tex.mxl > 6) {
        // MXL 7 names a level the GS does not have; the sampler stops at 6.
        ReportMxlBeyondLevels(tex.mxl);
        tex.mxl = 6;
    }
    if (tex1.MTBA() && tex.mxl > 0)
        ReportAutomaticMipBases();
    tex.level_tbp[0] = tex.tbp;
    tex.level_tbw[0] = tex.tbw;
    const GsMiptbp mip1{regs.Ctx(GsReg::MIPTBP1_1, ctxt)};
    const GsMiptbp mip2{regs.Ctx(GsReg::MIPTBP2_1, ctxt)};
    for (int i = 0; i < 3; ++i) {
        tex.level_tbp[1 + i] = mip1.TBP(i);
        tex.level_tbw[1 + i] = mip1.TBW(i);
        tex.level_tbp[4 + i] = mip2.TBP(i);
        tex.level_tbw[4 + i] = mip2.TBW(i);
    }
    // The filter choice depends on the LOD only when the magnifying and
    // minifying filters differ or the minifying one walks mip levels.
    const bool min_linear = tex.mmin == 1 || tex.mmin == 4 || tex.mmin == 5;
    tex.lod_matters = (tex.mmin >= 2 && tex.mxl > 0) || min_linear != tex.mag_linear;
    return true;
}

u64 PackKey(const DrawEnv& e)
{
    KeyPacker k;
    k.Put(static_cast<u32>(e.frame.psm), 6);
    k.Put(e.depth.used ? static_cast<u32>(e.depth.psm) & 0xF : 0, 4);
    k.Put(e.depth.test, 1);
    k.Put(static_cast<u32>(e.depth.method), 2);
    k.Put(e.depth.used && e.depth.write, 1);
    k.Put(e.ate, 1);
    k.Put(static_cast<u32>(e.atst), 3);
    k.Put(static_cast<u32>(e.afail), 2);
    k.Put(e.date, 1);
    k.Put(e.datm, 1);
    k.Put(e.blend, 1);
    k.Put(e.sel_a, 2);
    k.Put(e.sel_b, 2);
    k.Put(e.sel_c, 2);
    k.Put(e.sel_d, 2);
    k.Put(e.pabe, 1);
    k.Put(e.colclamp, 1);
    k.Put(e.fba, 1);
    k.Put(e.dither, 1);
    k.Put(e.frame.fbmsk != 0, 1);
    k.Put(e.prim.tme, 1);
    k.Put(e.prim.fst, 1);
    k.Put(e.prim.tme ? static_cast<u32>(e.tex.psm) : 0, 6);
    k.Put(e.tex.tfx, 2);
    k.Put(e.tex.tcc, 1);
    k.Put(e.tex.mag_linear, 1);
    k.Put(e.tex.mmin, 3);
    k.Put(e.tex.wms, 2);
    k.Put(e.tex.wmt, 2);
    k.Put(e.tex.cpsm == kCpsmCT32, 1);
    k.Put(e.prim.fge, 1);
    k.Put(e.prim.iip, 1);
    k.Put(e.scanmsk >= 2, 1);
    k.Put(e.prim.tme && e.tex.lod_matters, 1);
    return k.Key();
}

}  // namespace

PrimAttributes EffectiveAttributes(const RegisterFile& regs)
{
    const GsPrmodecont cont{regs.Get(GsReg::PRMODECONT)};
    const GsPrim p{cont.AC() ? regs.Get(GsReg::PRIM) : regs.Get(GsReg::PRMODE)};
    PrimAttributes a;
    a.iip = p.IIP();
    a.tme = p.TME();
    a.fge = p.FGE();
    a.abe = p.ABE();
    a.aa1 = p.AA1();
    a.fst = p.FST();
    a.ctxt = p.CTXT();
    a.fix = p.FIX();
    return a;
}

DrawEnv BuildDrawEnv(const RegisterFile& regs, const PrimAttributes& prim)
{
    DrawEnv e;
    e.prim = prim;
    const u32 c = prim.ctxt;
    const GsTest test{regs.Ctx(GsReg::TEST_1, c)};
    bool ok = DecodeFrame(GsFrame{regs.Ctx(GsReg::FRAME_1, c)}, e.frame);
    ok = DecodeDepth(GsZbuf{regs.Ctx(GsReg::ZBUF_1, c)}, test, e.depth) && ok;

    const GsXyoffset offset{regs.Ctx(GsReg::XYOFFSET_1, c)};
    e.ofx = offset.OFX();
    e.ofy = offset.OFY();
    const GsScissor scissor{regs.Ctx(GsReg::SCISSOR_1, c)};
    e.scax0 = static_cast<s32>(scissor.SCAX0());
    e.scax1 = static_cast<s32>(scissor.SCAX1());
    e.scay0 = static_cast<s32>(scissor.SCAY0());
    e.scay1 = static_cast<s32>(scissor.SCAY1());
    e.scanmsk = GsScanmsk{regs.Get(GsReg::SCANMSK)}.MSK();

    e.ate = test.ATE();
    e.atst = static_cast<AlphaTest>(test.ATST());
    e.aref = test.AREF();
    e.afail = static_cast<AlphaFail>(test.AFAIL());
    e.date = test.DATE();
    e.datm = test.DATM();
    // A depth test that always passes beside an alpha test that always fails
    // and keeps Z (KEEP, FB_ONLY, RGB_ONLY) leaves the Z buffer alone: the
    // primitive is one without it, and nothing need wait for its Z blocks.
    if (e.depth.used && !e.depth.test && e.ate && e.atst == AlphaTest::kNever && e.afail != AlphaFail::kZbOnly)
        e.depth.used = false;

    e.blend = prim.abe;
    const GsAlpha alpha{regs.Ctx(GsReg::ALPHA_1, c)};
    e.sel_a = alpha.A();
    e.sel_b = alpha.B();
    e.sel_c = alpha.C();
    e.sel_d = alpha.D();
    e.fix = alpha.FIX();
    if (e.blend && (e.sel_a == 3 || e.sel_b == 3 || e.sel_c == 3 || e.sel_d == 3)) {
        Diag(Level::kError, "gs", "ALPHA selector value 3 is reserved (A %u, B %u, C %u, D %u)", e.sel_a, e.sel_b,
             e.sel_c, e.sel_d);
        ok = false;
    }
    e.pabe = regs.Get(GsReg::PABE) & 1;
    e.colclamp = regs.Get(GsReg::COLCLAMP) & 1;
    e.fba = regs.Ctx(GsReg::FBA_1, c) & 1;
    e.dither = (regs.Get(GsReg::DTHE) & 1) && e.frame.is16;
    const GsDimx dimx{regs.Get(GsReg::DIMX)};
    for (u32 y = 0; y < 4; ++y)
        for (u32 x = 0; x < 4; ++x)
            e.dimx[y][x] = dimx.DM(y, x);

    if (prim.tme)
        ok = DecodeTexture(regs, c, e.tex) && ok;
    const GsFogcol fog{regs.Get(GsReg::FOGCOL)};
    e.fogcol = fog.FCR() | (fog.FCG() << 8) | (fog.FCB() << 16);

    e.drawable = ok;
    e.key = PackKey(e);
    static std::atomic<u64> serials{0};
    e.serial = ++serials;
    return e;
}

}  // namespace console::gs
