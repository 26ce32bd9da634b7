// The per-draw state: every register that shapes how a primitive's pixels
// are produced, decoded once when it changes rather than per pixel, plus a
// key that packs the choices the pixel loop branches on (formats, tests,
// blend selectors, filter) into one integer.  Equal keys take the same path
// through the pipeline, which is what later fast paths select on.
#pragma once

#include <ee/types.h>

#include "gs/gsmem.h"
#include "gs/regs.h"

namespace console::gs {

// The primitive's attributes, from PRIM or PRMODE as PRMODECONT says.
struct PrimAttributes {
    bool iip = false;
    bool tme = false;
    bool fge = false;
    bool abe = false;
    bool aa1 = false;
    bool fst = false;
    u32 ctxt = 0;
    bool fix = false;

    bool operator==(const PrimAttributes&) const = default;
};

struct FrameTarget {
    Psm psm = Psm::kCT32;
    u32 bp = 0;  // blocks
    u32 bw = 0;  // 64-pixel units
    u32 fbmsk = 0;
    bool is16 = false;      // CT16, CT16S, Z16, Z16S
    bool has_alpha = true;  // false for the 24-bit modes

    bool operator==(const FrameTarget&) const = default;
};

struct DepthTarget {
    Psm psm = Psm::kZ32;
    u32 bp = 0;
    u32 max = 0xFFFFFFFF;  // the largest Z the format stores
    bool test = false;     // ZTE with a method other than ALWAYS
    DepthTest method = DepthTest::kAlways;
    bool write = false;  // ZTE on and ZMSK off
    bool used = false;   // read or written at all

    bool operator==(const DepthTarget&) const = default;
};

// How the filter reads texels: WMS/WMT per axis, CLAMP's bounds.
struct TextureEnv {
    Psm psm = Psm::kCT32;
    u32 tbp = 0;
    u32 tbw = 0;
    u32 tw = 0;  // log2 of the width
    u32 th = 0;
    bool tcc = false;
    u32 tfx = 0;
    u32 cpsm = 0;
    u32 csa = 0;
    bool indexed = false;
    int index_bits = 8;
    u32 wms = 0, wmt = 0;
    u32 minu = 0, maxu = 0, minv = 0, maxv = 0;
    u32 ta0 = 0, ta1 = 0;
    bool aem = false;
    // TEX1
    bool lcm = false;
    u32 mxl = 0;
    bool mag_linear = false;
    u32 mmin = 0;
    u32 l = 0;
    s32 k = 0;  // 7.4 fixed point
    // Base block and buffer width of each mip level: level 0 from TEX0,
    // levels 1-3 from MIPTBP1, 4-6 from MIPTBP2.
    u32 level_tbp[7] = {};
    u32 level_tbw[7] = {};
    // True when the level of detail can change the filter or the level, so
    // that it must be worked out from Q (per pixel where Q varies).
    bool lod_matters = false;

    bool operator==(const TextureEnv&) const = default;
};

enum class TextureFunction : u8 { kModulate, kDecal, kHighlight, kHighlight2 };

struct DrawEnv {
    u64 key = 0;
    // A number no other state BuildDrawEnv made has (0 for a state made
    // otherwise): what is worked out from a state may be kept under it.
    u64 serial = 0;
    bool drawable = false;  // false when a register holds something undrawable (reported)

    PrimAttributes prim;
    FrameTarget frame;
    DepthTarget depth;

    // Window: XYOFFSET in 1/16 pixel, SCISSOR in whole pixels (inclusive).
    u32 ofx = 0, ofy = 0;
    s32 scax0 = 0, scax1 = 0, scay0 = 0, scay1 = 0;
    u32 scanmsk = 0;

    // TEST
    bool ate = false;
    AlphaTest atst = AlphaTest::kAlways;
    u32 aref = 0;
    AlphaFail afail = AlphaFail::kKeep;
    bool date = false;
    u32 datm = 0;

    // ALPHA, PABE, COLCLAMP, FBA, dithering
    bool blend = false;  // ABE
    u32 sel_a = 0, sel_b = 0, sel_c = 0, sel_d = 0;
    u32 fix = 0;
    bool pabe = false;
    bool colclamp = false;
    bool fba = false;
    bool dither = false;  // DTHE with a 16-bit frame buffer
    s32 dimx[4][4] = {};

    // Texture and fog
    TextureEnv tex;
    u32 fogcol = 0;  // FCR | FCG << 8 | FCB << 16

    // Field by field, the serial too.
    bool operator==(const DrawEnv&) const = default;
};

// Decodes the state for a primitive with attributes `prim` from the register
// file.  Anything undrawable (a frame or Z format the GS cannot draw into, a
// texture format it cannot read) is reported and leaves `drawable` false.
DrawEnv BuildDrawEnv(const RegisterFile& regs, const PrimAttributes& prim);

// The attributes in effect for the next primitive.
PrimAttributes EffectiveAttributes(const RegisterFile& regs);

}  // namespace console::gs
