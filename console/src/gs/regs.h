// The GS general registers: their A+D addresses, typed views of their fields
// (named by the hardware's own field names), the register file with the two drawing
// contexts, and the vertex queue with the drawing-kick rules of every
// primitive type.
#pragma once

#include <ee/types.h>

namespace console::gs {

// A+D addresses of the general registers.
enum class GsReg : u32 {
    PRIM = 0x00,
    RGBAQ = 0x01,
    ST = 0x02,
    UV = 0x03,
    XYZF2 = 0x04,
    XYZ2 = 0x05,
    TEX0_1 = 0x06,
    TEX0_2 = 0x07,
    CLAMP_1 = 0x08,
    CLAMP_2 = 0x09,
    FOG = 0x0A,
    XYZF3 = 0x0C,
    XYZ3 = 0x0D,
    TEX1_1 = 0x14,
    TEX1_2 = 0x15,
    TEX2_1 = 0x16,
    TEX2_2 = 0x17,
    XYOFFSET_1 = 0x18,
    XYOFFSET_2 = 0x19,
    PRMODECONT = 0x1A,
    PRMODE = 0x1B,
    TEXCLUT = 0x1C,
    SCANMSK = 0x22,
    MIPTBP1_1 = 0x34,
    MIPTBP1_2 = 0x35,
    MIPTBP2_1 = 0x36,
    MIPTBP2_2 = 0x37,
    TEXA = 0x3B,
    FOGCOL = 0x3D,
    TEXFLUSH = 0x3F,
    SCISSOR_1 = 0x40,
    SCISSOR_2 = 0x41,
    ALPHA_1 = 0x42,
    ALPHA_2 = 0x43,
    DIMX = 0x44,
    DTHE = 0x45,
    COLCLAMP = 0x46,
    TEST_1 = 0x47,
    TEST_2 = 0x48,
    PABE = 0x49,
    FBA_1 = 0x4A,
    FBA_2 = 0x4B,
    FRAME_1 = 0x4C,
    FRAME_2 = 0x4D,
    ZBUF_1 = 0x4E,
    ZBUF_2 = 0x4F,
    BITBLTBUF = 0x50,
    TRXPOS = 0x51,
    TRXREG = 0x52,
    TRXDIR = 0x53,
    HWREG = 0x54,
    SIGNAL = 0x60,
    FINISH = 0x61,
    LABEL = 0x62,
    NOP = 0x7F,  // A+D padding: written and ignored
};

inline constexpr u32 kRegisterCount = 0x80;

constexpr u32 Addr(GsReg r)
{
    return static_cast<u32>(r);
}

// "TEX0_1", "XYZF2"; null for an address with no register.
const char* RegisterName(u32 address);

// Bits [lo, lo + n) of a register value.
constexpr u32 Field(u64 value, int lo, int n)
{
    return static_cast<u32>((value >> lo) & ((u64{1} << n) - 1));
}

// Primitive types of PRIM bits 0-2.
enum class PrimType : u8 {
    kPoint = 0,
    kLine = 1,
    kLineStrip = 2,
    kTriangle = 3,
    kTriangleStrip = 4,
    kTriangleFan = 5,
    kSprite = 6,
    kReserved = 7,
};

const char* PrimTypeName(PrimType type);

// ---------------------------------------------------------------------------
// Register views.  Each wraps the 64-bit value as written.

struct GsPrim {
    u64 v;
    PrimType PRIM() const { return static_cast<PrimType>(Field(v, 0, 3)); }
    bool IIP() const { return Field(v, 3, 1); }
    bool TME() const { return Field(v, 4, 1); }
    bool FGE() const { return Field(v, 5, 1); }
    bool ABE() const { return Field(v, 6, 1); }
    bool AA1() const { return Field(v, 7, 1); }
    bool FST() const { return Field(v, 8, 1); }
    u32 CTXT() const { return Field(v, 9, 1); }
    bool FIX() const { return Field(v, 10, 1); }
};

// PRMODE holds the same attribute bits as PRIM (bits 3-10) without a type.
using GsPrmode = GsPrim;

struct GsPrmodecont {
    u64 v;
    bool AC() const { return Field(v, 0, 1); }  // 1: attributes from PRIM, 0: from PRMODE
};

struct GsRgbaq {
    u64 v;
    u32 R() const { return Field(v, 0, 8); }
    u32 G() const { return Field(v, 8, 8); }
    u32 B() const { return Field(v, 16, 8); }
    u32 A() const { return Field(v, 24, 8); }
    u32 RGBA() const { return Field(v, 0, 32); }
    float Q() const;
};

struct GsSt {
    u64 v;
    float S() const;
    float T() const;
};

struct GsUv {
    u64 v;
    u32 U() const { return Field(v, 0, 14); }  // texels in 10.4 fixed point
    u32 V() const { return Field(v, 16, 14); }
};

// XYZ2 / XYZ3: X, Y in 12.4 fixed point, a 32-bit Z.
struct GsXyz {
    u64 v;
    u32 X() const { return Field(v, 0, 16); }
    u32 Y() const { return Field(v, 16, 16); }
    u32 Z() const { return Field(v, 32, 32); }
};

// XYZF2 / XYZF3: a 24-bit Z and the vertex's fog coefficient.
struct GsXyzf {
    u64 v;
    u32 X() const { return Field(v, 0, 16); }
    u32 Y() const { return Field(v, 16, 16); }
    u32 Z() const { return Field(v, 32, 24); }
    u32 F() const { return Field(v, 56, 8); }
};

struct GsFog {
    u64 v;
    u32 F() const { return Field(v, 56, 8); }
};

struct GsTex0 {
    u64 v;
    u32 TBP0() const { return Field(v, 0, 14); }
    u32 TBW() const { return Field(v, 14, 6); }
    u32 PSM() const { return Field(v, 20, 6); }
    u32 TW() const { return Field(v, 26, 4); }
    u32 TH() const { return Field(v, 30, 4); }
    bool TCC() const { return Field(v, 34, 1); }
    u32 TFX() const { return Field(v, 35, 2); }
    u32 CBP() const { return Field(v, 37, 14); }
    u32 CPSM() const { return Field(v, 51, 4); }
    u32 CSM() const { return Field(v, 55, 1); }
    u32 CSA() const { return Field(v, 56, 5); }
    u32 CLD() const { return Field(v, 61, 3); }
};

// TEX2 carries TEX0's palette fields at the same bit positions.
inline constexpr u64 kTex2Mask = (u64{0x3F} << 20) | (~u64{0} << 37);

struct GsTex1 {
    u64 v;
    u32 LCM() const { return Field(v, 0, 1); }
    u32 MXL() const { return Field(v, 2, 3); }
    u32 MMAG() const { return Field(v, 5, 1); }
    u32 MMIN() const { return Field(v, 6, 3); }
    u32 MTBA() const { return Field(v, 9, 1); }
    u32 L() const { return Field(v, 19, 2); }
    // K: signed, 7.4 fixed point.
    s32 K() const { return static_cast<s32>(Field(v, 32, 12) << 20) >> 20; }
};

struct GsClamp {
    u64 v;
    u32 WMS() const { return Field(v, 0, 2); }
    u32 WMT() const { return Field(v, 2, 2); }
    u32 MINU() const { return Field(v, 4, 10); }
    u32 MAXU() const { return Field(v, 14, 10); }
    u32 MINV() const { return Field(v, 24, 10); }
    u32 MAXV() const { return Field(v, 34, 10); }
};

struct GsXyoffset {
    u64 v;
    u32 OFX() const { return Field(v, 0, 16); }
    u32 OFY() const { return Field(v, 32, 16); }
};

struct GsMiptbp {
    u64 v;
    // Level 1..3 (MIPTBP1) or 4..6 (MIPTBP2), as index 0..2.
    u32 TBP(int i) const { return Field(v, 20 * i, 14); }
    u32 TBW(int i) const { return Field(v, 20 * i + 14, 6); }
};

struct GsTexa {
    u64 v;
    u32 TA0() const { return Field(v, 0, 8); }
    bool AEM() const { return Field(v, 15, 1); }
    u32 TA1() const { return Field(v, 32, 8); }
};

struct GsFogcol {
    u64 v;
    u32 FCR() const { return Field(v, 0, 8); }
    u32 FCG() const { return Field(v, 8, 8); }
    u32 FCB() const { return Field(v, 16, 8); }
};

struct GsScissor {
    u64 v;
    u32 SCAX0() const { return Field(v, 0, 11); }
    u32 SCAX1() const { return Field(v, 16, 11); }
    u32 SCAY0() const { return Field(v, 32, 11); }
    u32 SCAY1() const { return Field(v, 48, 11); }
};

struct GsAlpha {
    u64 v;
    u32 A() const { return Field(v, 0, 2); }  // 0 Cs, 1 Cd, 2 zero
    u32 B() const { return Field(v, 2, 2); }
    u32 C() const { return Field(v, 4, 2); }  // 0 As, 1 Ad, 2 FIX
    u32 D() const { return Field(v, 6, 2); }
    u32 FIX() const { return Field(v, 32, 8); }
};

struct GsDimx {
    u64 v;
    // The dither offset for pixel row `y` & 3 and column `x` & 3: a 3-bit
    // signed value, -4..3.
    s32 DM(u32 y, u32 x) const { return static_cast<s32>(Field(v, (y & 3) * 16 + (x & 3) * 4, 3) << 29) >> 29; }
};

struct GsTest {
    u64 v;
    bool ATE() const { return Field(v, 0, 1); }
    u32 ATST() const { return Field(v, 1, 3); }
    u32 AREF() const { return Field(v, 4, 8); }
    u32 AFAIL() const { return Field(v, 12, 2); }
    bool DATE() const { return Field(v, 14, 1); }
    u32 DATM() const { return Field(v, 15, 1); }
    bool ZTE() const { return Field(v, 16, 1); }
    u32 ZTST() const { return Field(v, 17, 2); }
};

// Alpha test methods (ATST) and fail actions (AFAIL).
enum class AlphaTest : u8 { kNever, kAlways, kLess, kLequal, kEqual, kGequal, kGreater, kNotequal };
enum class AlphaFail : u8 { kKeep, kFbOnly, kZbOnly, kRgbOnly };
// Depth test methods (ZTST).
enum class DepthTest : u8 { kNever, kAlways, kGequal, kGreater };

struct GsFrame {
    u64 v;
    u32 FBP() const { return Field(v, 0, 9); }  // in pages of 32 blocks
    u32 FBW() const { return Field(v, 16, 6); }
    u32 PSM() const { return Field(v, 24, 6); }
    u32 FBMSK() const { return Field(v, 32, 32); }
};

struct GsZbuf {
    u64 v;
    u32 ZBP() const { return Field(v, 0, 9); }  // in pages of 32 blocks
    // The field holds the low four bits of the Z mode's code (0x30 + PSM).
    u32 PSM() const { return Field(v, 24, 4); }
    bool ZMSK() const { return Field(v, 32, 1); }
};

struct GsBitbltbuf {
    u64 v;
    u32 SBP() const { return Field(v, 0, 14); }
    u32 SBW() const { return Field(v, 16, 6); }
    u32 SPSM() const { return Field(v, 24, 6); }
    u32 DBP() const { return Field(v, 32, 14); }
    u32 DBW() const { return Field(v, 48, 6); }
    u32 DPSM() const { return Field(v, 56, 6); }
};

struct GsTrxpos {
    u64 v;
    u32 SSAX() const { return Field(v, 0, 11); }
    u32 SSAY() const { return Field(v, 16, 11); }
    u32 DSAX() const { return Field(v, 32, 11); }
    u32 DSAY() const { return Field(v, 48, 11); }
    u32 DIR() const { return Field(v, 59, 2); }
};

struct GsTrxreg {
    u64 v;
    u32 RRW() const { return Field(v, 0, 12); }
    u32 RRH() const { return Field(v, 32, 12); }
};

struct GsTrxdir {
    u64 v;
    u32 XDIR() const { return Field(v, 0, 2); }  // 0 host->local, 1 local->host, 2 local->local, 3 off
};

struct GsScanmsk {
    u64 v;
    u32 MSK() const { return Field(v, 0, 2); }  // 2: even rows not drawn, 3: odd rows not drawn
};

// ---------------------------------------------------------------------------
// The register file: the last value written at every address.  The two
// drawing contexts are the _1 and _2 registers, one address apart.

class RegisterFile {
public:
    u64 Get(GsReg r) const { return raw_[Addr(r)]; }
    u64 Get(u32 address) const { return raw_[address & (kRegisterCount - 1)]; }
    void Set(u32 address, u64 value) { raw_[address & (kRegisterCount - 1)] = value; }
    // Context register `r` (given as its _1 address) of context `ctxt` (0 or 1).
    u64 Ctx(GsReg r, u32 ctxt) const { return raw_[Addr(r) + (ctxt & 1)]; }

    void Reset();

private:
    u64 raw_[kRegisterCount] = {};
};

// ---------------------------------------------------------------------------
// Vertices and the queue.

struct Vertex {
    u32 x = 0;  // 12.4 fixed point, primitive coordinates (before XYOFFSET)
    u32 y = 0;
    u32 z = 0;
    u32 f = 0;     // fog coefficient
    u32 rgba = 0;  // RGBAQ's colour when the vertex was written
    float q = 1.0f;
    float s = 0.0f;
    float t = 0.0f;
    u32 u = 0;  // UV, 10.4 fixed point texels
    u32 v = 0;
};

// Holds the vertices of the primitive being assembled.  Writing PRIM resets
// it.  Push returns how many vertices the primitive drawn now has (0 when
// nothing is drawn) and leaves them in Drawn()[0..n).  A vertex pushed
// without a kick enters the queue like any other, so the next one may
// complete a strip or fan member with it, but never draws itself.
class VertexQueue {
public:
    void Reset(PrimType type)
    {
        type_ = type;
        count_ = 0;
        next_ = 0;
    }
    PrimType Type() const { return type_; }
    int Count() const { return count_; }

    int Push(const Vertex& v, bool kick);
    // Push, the vertex written to each slot it takes by put(Vertex&).
    template <typename Put>
    int PushWith(Put put, bool kick);
    const Vertex* Drawn() const { return ring_ + drawn_; }

private:
    PrimType type_ = PrimType::kPoint;
    int count_ = 0;
    // Strips keep each vertex twice, at i and i + n (n the vertices a
    // primitive needs), so that the last n always lie in order at
    // ring_[next_], with no copying; next_ counts the vertices pushed,
    // modulo n.
    u32 next_ = 0;
    Vertex ring_[6];
    u32 drawn_ = 0;
};

// Vertices each primitive type needs before its first drawing kick.
int VerticesPerPrimitive(PrimType type);

}  // namespace console::gs
