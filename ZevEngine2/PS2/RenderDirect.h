// Direct drawing: geometry made at run time (road surfaces, water grids,
// skid marks, debug boxes and spheres) rather than loaded from model files.
// Its owner describes the vertices as vertex streams (one array per
// attribute, float or fixed point, optionally indexed) and the look as a
// material; this module turns both into vector-unit-1 work on the frame's
// chain (therenderer): a material command block the microcode interprets
// (register packet, set material, transform, post-transform stages, kick),
// then the vertex data in batches unpacked into the VU1 input double buffer
// (ZevEngine2/PS2/MC2/README.md has the contract).  Multi-pass materials run
// the same vertices through up to four sub-materials.
//
// Vertex data is referenced by DMA where it lies whenever its alignment
// allows, so it must stay valid until the frame has been drawn (copy mode
// copies it into the chain instead).
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/PS2/Extent.h"
#include "ZevEngine2/PS2/Image.h"
#include "ZevEngine2/PS2/Packet.h"
#include "ZevEngine2/PS2/Render.h"
#include "ZevEngine2/PS2/Render2D.h"
#include "ZevEngine2/PS2/Vector.h"

// The VU1 input slot (quadword of a vertex) a stream fills.
enum VS_ATTRIB {
    VSA_POS = 0,
    VSA_UV = 1,
    VSA_NORMAL = 2,
    VSA_COLOUR = 3,
    VSA_UV2 = 4,
    VSA_UV3 = 5,
    VSA_COLOURONLY = 1,   // the colour of a layout without texture coordinates
};

// What a stream holds (bits 8-9 of its VS_DESC).
enum VS_TYPE {
    VST_POS = 0,
    VST_TEXCOORD = 1,
    VST_NORMAL = 2,
    VST_COLOUR = 3,
};

// Element formats.  Bits 0-1 the element width (0 32-bit, 1 16-bit, 2
// 8-bit), bits 2-3 components - 1 (the VIF UNPACK vl and vn), 0x10 masked
// unpack (missing components from the row), 0x20 unsigned, 0x40 fixed point
// (unpacked in offset mode: the row is added), bits 8-9 the VS_TYPE.
enum VS_DESC {
    VSD_POSF_4 = 12,        // x, y, z, w floats; w bit 15 = no kick
    VSD_POSF_ADC = 12,
    VSD_POS16_ADC = 77,     // x, y, z fixed point, flag (1 = no kick)
    VSD_POS8_ADC = 78,
    VSD_POSF = 24,          // x, y, z floats; every vertex kicks
    VSD_POS16 = 89,
    VSD_POS8 = 90,
    VSD_UVF = 276,
    VSD_UV16 = 373,
    VSD_UV8 = 374,
    VSD_UVWF = 264,
    VSD_UVW16 = 361,
    VSD_UVW8 = 362,
    VSD_UV16S = 341,
    VSD_UV8S = 342,
    VSD_UVW16S = 329,
    VSD_UVW8S = 330,
    VSD_NORMALF_4 = 524,
    VSD_NORMALF = 520,
    VSD_NORMAL16 = 585,
    VSD_NORMAL8 = 586,
    VSD_GREYSCALE = 882,    // one byte for r, g and b; alpha 1.0
    VSD_RGB = 890,
    VSD_RGBA = 878,
};

// VS_DESC bits.
constexpr u32 VSD_WIDTH = 0x03;
constexpr u32 VSD_COMPONENTS = 0x0C;
constexpr u32 VSD_MASKED = 0x10;
constexpr u32 VSD_UNSIGNED = 0x20;
constexpr u32 VSD_FIXED = 0x40;

// The vertex layout word of a model material: bits 0-2 stride, 3-5 skinning
// weights, 6-8 texture-coordinate sets, 9-11 the vertex-colour slot (0 none),
// bit 13 compressed normals, bit 14 multi-pass (interleaved batches).
struct VS_DESCRIPTOR
{
    u16 desc;

    VS_DESCRIPTOR() = default;
    constexpr VS_DESCRIPTOR(u16 d) : desc(d) {}
    constexpr int GetStride() const { return desc & 7; }
    constexpr int GetWeight() const { return (desc >> 3) & 7; }
    constexpr int GetUV() const { return (desc >> 6) & 7; }
    constexpr int GetColour() const { return (desc >> 9) & 7; }
    constexpr bool CompressedNormals() const { return desc & 0x2000; }
    constexpr bool IsMultipass() const { return desc & 0x4000; }
};
static_assert(sizeof(VS_DESCRIPTOR) == 2);

// One stream (32 bytes).  `fill` is what the VIF row register holds while
// the stream is unpacked: the offset of a fixed-point format and the values
// of masked components.
struct VertexStream
{
    Vector fill;
    u8 mode;              // low byte of the VS_DESC
    u8 num;               // elements per vertex (1)
    u8 offset;            // VU1 slot (VS_ATTRIB)
    u8 type;              // VS_TYPE
    const void* data;
    const u16* indices;   // optional; bit 15 of an index = no kick
};
static_assert(sizeof(VertexStream) == 32);

// SendStreams flags: bit 0 copy the data into the chain, bit 1 interleaved
// multi-pass batches, bits 2 and up the vertices repeated between batches.
constexpr int VS_COPY = 1;
constexpr int VS_MULTIPASS = 2;
constexpr int VS_OVERLAP_SHIFT = 2;
// VU1 input quadwords one batch may fill.
constexpr int VS_BUFFER_QWC = 216;

// The stream set's head; the streams follow it at the next 16 bytes.
struct alignas(16) VertexStreamsHeader
{
    int count;       // vertices
    int stride;      // VU1 quadwords per vertex = highest slot + 1
    int nstreams;
    int capacity;    // streams the set has room for

    const VertexStream* Streams() const { return reinterpret_cast<const VertexStream*>(this + 1); }
    VertexStream* Streams() { return reinterpret_cast<VertexStream*>(this + 1); }
    const VertexStream& Stream(int i) const { return Streams()[i]; }
    VertexStream& Stream(int i) { return Streams()[i]; }

    // Sends every vertex as VU1 batches of at most `buffersize` (each an
    // UNPACK per stream, ITOP and MSCNT).  With VS_MULTIPASS the batches go
    // in pairs, one per input half, each pair followed by two MSCNTs per
    // further pass (`passes` in all).  Refuses (with a message) a set whose
    // streams or counts cannot be sent.
    void SendStreams(VIFpacket& vif, int buffersize, int flags, int passes = 2) const;
    // True when the set can be sent; else prints why.
    bool Check(const char* who) const;
};
static_assert(sizeof(VertexStreamsHeader) == 16);

class _VertexStreams : public VertexStreamsHeader
{
public:
    // Describes stream i: attribute slot a, format t; frac = fraction bits of
    // a fixed-point format (normals and colours always use width - 1).
    void SetType(int i, VS_ATTRIB a, VS_DESC t, u8 frac);
    void SetData(int i, const void* data);
    void SetIndices(int i, const u16* indices);

protected:
    _VertexStreams() = default;
};

// A stream set with room for N streams (count 0, stride 0, N streams).
template <int N>
class VertexStreams : public _VertexStreams
{
public:
    VertexStream stream[N];

    VertexStreams()
    {
        static_assert(N >= 1);
        count = 0;
        stride = 0;
        nstreams = N;
        capacity = N;
        std::memset(static_cast<void*>(stream), 0, sizeof stream);
    }
};
static_assert(sizeof(VertexStreams<1>) == 48, "the streams follow the 16-byte head");

// SubMaterial flags.
enum SM_FLAG : u16 {
    SM_TEXMODE0 = 1,        // texture function (TFX) in the low two bits
    SM_TEXMODE1 = 2,
    SM_TEXMODE = 3,
    SM_ALPHA = 4,           // send ALPHA_1
    SM_TEST = 8,            // send TEST_1
    SM_TEXTURE = 16,        // textured primitive (TME)
    SM_LIGHTING = 32,
    SM_BFCULL = 64,
    SM_FFCULL = 128,
    SM_CULL = 192,
    SM_CLAMP_U = 256,
    SM_CLAMP_V = 512,
    SM_CLAMP_UV = 768,
    SM_UVSOURCE = 7168,     // bits 10-12: the texture-coordinate source
    SM_BREAK = 32768,
};
constexpr int SM_UVSOURCE_O = 10;

// One pass of a material.
struct SubMaterial
{
    u16 flags;            // SM_FLAG
    u16 prim_reg;         // GS PRIM of the kick
    u16 texmat;           // VU1 address of a texture matrix, 0 = none
    u8 alpha_mode;        // ALPHA_MODE
    u8 alpha_fix;
    u32 test_reg;         // GS TEST
    u64 clamp_reg;
    u32 mip_reg;          // L and K of TEX1 from bit 19 up
    Colour colour;
    Texture* texture;
    u_long128* texaddr;   // where PutTextureRegs writes, in the last built block
    u16 texqwc;           // quadwords reserved there

    // Gouraud triangle strip, depth test greater-or-equal (not sent), unit
    // colour, no texture.
    SubMaterial();

    void SetPrimitive(PRIMITIVE_TYPE type) { prim_reg = u16((prim_reg & ~7u) | u32(type)); }
    void Enable(u32 f) { flags = u16(flags | f); }
    void Disable(u32 f) { flags = u16(flags & ~f); }
    void SetUV(int source) { flags = u16((flags & ~SM_UVSOURCE) | (u32(source) & 7) << SM_UVSOURCE_O); }
    // Mip level selection: L (0-3) and K (in mip levels, 1/16 steps).
    void SetMipKL(int l, float k) { mip_reg = (u32(l) & 3) | (u32(s32(k * 16.0f)) & 0xFFF) << 13; }
    // Blending through ALPHA_1, with the primitive's ABE bit.
    void SetAlpha(ALPHA_MODE mode, u8 fix = 0)
    {
        alpha_mode = u8(mode);
        alpha_fix = fix;
        Enable(SM_ALPHA);
        prim_reg = u16(mode == ALPHA_NONE ? prim_reg & ~PRIM_ABE : prim_reg | PRIM_ABE);
    }
    void SetAlphaTest(ALPHATEST test, u8 ref, ALPHAFAIL fail)
    {
        test_reg &= ~0x3FFFu;
        if (test != ALPHATEST_OFF)
            test_reg |= 1u | u32(test) << 1 | u32(ref) << 4 | u32(fail) << 12;
        Enable(SM_TEST);
    }
    void SetDestAlphaTest(DESTALPHATEST test)
    {
        test_reg &= ~0xC000u;
        if (test != DESTALPHATEST_OFF)
            test_reg |= 0x4000u | u32(test) << 15;
        Enable(SM_TEST);
    }
    void SetZTest(ZTEST z)
    {
        test_reg = (test_reg & 0x7FFF) | 0x10000 | u32(z) << 17;
        Enable(SM_TEST);
    }
    void SetAntiAlias(bool on) { prim_reg = u16(on ? prim_reg | PRIM_AA1 : prim_reg & ~PRIM_AA1); }
    void SetColour(Colour c) { colour = c; }
    // A texture with its function; null draws untextured.
    void SetTexture(Texture* t, TEXMODE mode = TEXMODE_MODULATE)
    {
        texture = t;
        flags = u16((flags & ~SM_TEXMODE) | (u32(mode) & SM_TEXMODE));
        if (t)
            Enable(SM_TEXTURE);
        else
            Disable(SM_TEXTURE);
    }

    // The register packet of this pass (TEST_1, ALPHA_1, room for the texture
    // registers) with mc2GiftagCopy (`copy`) or mc2Giftag; nothing when there
    // is nothing to set.  Returns the end.
    u_long128* BuildGS(u_long128* p, bool copy);
    // Texture-coordinate, culling and colour stages.  norm_comp: normals are
    // fixed point; uv_comp: the texture-coordinate offset; colours: the
    // vertex-colour slot (0 none).
    u_long128* BuildPostTransform(u_long128* p, bool norm_comp, float uv_comp, int colours) const;
    // The kick quadword {k, GIF tag upper word, register list, routine}.
    u_long128* BuildKick(u_long128* p, u32 k, u32 routine) const;
    // Writes TEX0_1, [MIPTBP1_1, MIPTBP2_1,] TEX1_1 and CLAMP_1 at texaddr
    // (the texture must be resident).
    void PutTextureRegs();
    // Quadwords of texture registers this pass needs.
    int TextureQuadwords() const;
};

// A single-pass material.
class Material : public SubMaterial
{
public:
    // Command blocks written at p; each returns its end.
    u_long128* Build(u_long128* p, int stride);
    u_long128* Build(u_long128* p, const _VertexStreams& vs);
    u_long128* Build(u_long128* p, VS_DESCRIPTOR desc, Vector compressionOffset);

    // Builds the block in the frame's chain, makes the texture resident for
    // the draw and sends the streams (copied when `copy`).
    void Draw(const _VertexStreams& vs, bool copy);
    // Builds the block and makes the texture current for vertex data the
    // caller sends itself.
    void Set(const _VertexStreams& vs);
    void Set(VS_DESCRIPTOR desc, Vector compressionOffset);

private:
    template <class B>
    bool BuildInChain(B build);
};

constexpr int MM_MAX_PASSES = 4;

// A multi-pass material: pass i is m[i].
class _MultiMaterial
{
public:
    SubMaterial m[MM_MAX_PASSES];

    u_long128* _Build(u_long128* p, int stride, int count);
    u_long128* _Build(u_long128* p, const _VertexStreams& vs, int count);
    u_long128* _Build(u_long128* p, VS_DESCRIPTOR desc, Vector compressionOffset, int count);

    // Draws the streams with the first `count` passes (1 to 4).
    void _Draw(const _VertexStreams& vs, int count, bool copy);
    // Builds the block and puts the passes' texture registers for vertex
    // data the caller sends itself.
    void _Set(const _VertexStreams& vs, int count);
    void _Set(VS_DESCRIPTOR desc, Vector compressionOffset, int count);

private:
    template <class B>
    bool BuildInChain(B build);
    void PutAllTextureRegs(int count);
};

template <int N>
class MultiMaterial : public _MultiMaterial
{
public:
    static_assert(N >= 1 && N <= MM_MAX_PASSES);
    void Draw(const _VertexStreams& vs, bool copy) { _Draw(vs, N, copy); }
    void Set(const _VertexStreams& vs) { _Set(vs, N); }
    void Set(VS_DESCRIPTOR desc, Vector compressionOffset) { _Set(desc, compressionOffset, N); }
};

// Copies qwc quadwords into the open VU1 command block (opening one).
void SendPreBuilt(const u_long128* data, int qwc);

// Debug shapes: the box c and the sphere s placed by m.
void DrawCuboid(Material& mat, const Matrix& m, const Cuboid& c);
void DrawSphere(Material& mat, const Matrix& m, const Sphere& s);

// The unit cube the box is drawn from (24 vertices, six strips of four).
extern VertexStreams<2> vs_cube;
