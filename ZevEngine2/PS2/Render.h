// The renderer: the writer of one frame's VIF1 DMA chain.  The single global
// `therenderer` is the VIFpacket every drawer appends to between
// Platform::BeginScene and Platform::EndScene: GS register blocks (DIRECT),
// vector-unit-1 command blocks (UNPACK + MSCAL), microcode uploads and
// references to data that stays where it lies.  It also holds the current
// texture, sends the skinning matrix palette and the Bezier patches of roads.
//
// A frame's chain lives in one of two static buffers of 0x110000 bytes and its
// texture uploads in one of two 64 KB areas (buffer i is filled while the
// platform's fill index is i).  The renderer keeps every frame inside them:
// once an append would pass the end (less a small reserve that always lets
// the frame be closed), appending stops for the rest of the frame and the
// overflow is reported once.  Drawers that write directly at the packet's
// write position ask `AllowFor(quadwords)` first.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/PS2/Bezier.h"
#include "ZevEngine2/PS2/Extent.h"
#include "ZevEngine2/PS2/Image.h"
#include "ZevEngine2/PS2/MC2/Routines.h"
#include "ZevEngine2/PS2/Packet.h"
#include "ZevEngine2/PS2/TexMan.h"
#include "ZevEngine2/PS2/Vector.h"

// The GS texture function (TFX) a texture is applied with.
enum TEXMODE {
    TEXMODE_MODULATE = 0,
    TEXMODE_DECAL = 1,
    TEXMODE_MODULATE_PLUS_ALPHA = 2,
    TEXMODE_MODULATERGB_PLUS_ALPHA = 3,
};

constexpr u32 RENDER_CHAIN_QWC = 69632;               // 0x110000 bytes
constexpr u32 RENDER_UPLOAD_QWC = TEXMAN_UPLOAD_QWC;  // 64 KB
// Kept free for closing the frame (end of a command block, the end-of-frame
// request slot, the END tag) and for closing an open 2-D block.
constexpr u32 RENDER_CHAIN_RESERVE_QWC = 64;

// The two frames' chains and upload areas.
extern u_long128 dmabuff[2][RENDER_CHAIN_QWC];
extern u_long128 gifbuff[2][RENDER_UPLOAD_QWC];

constexpr u32 VIF_FLUSHE = 0x10000000;
inline constexpr u32 VIF_BASE(u32 v) { return 0x03000000 | (v & 0x3FF); }
inline constexpr u32 VIF_OFFSET(u32 v) { return 0x02000000 | (v & 0x3FF); }
// STCYCL CL 4 WL 4 and UNPACK V4-32 relative to the VU1 double buffer: how
// every command block starts.
constexpr u32 RENDER_STCYCL = 0x01000404;
constexpr u32 RENDER_UNPACK_BLOCK = 0x6C008000;

class Renderer : public VIFpacket
{
public:
    u_long128* vifstart;     // the chain's first tag
    u_long128* vifdraw;      // a closed chain ready to be sent, or null
    Texture* texture;        // whose registers are current (one reference held)
    bool newtexture;         // texture changed since its registers were last sent
    int nmats;               // matrices in the VU1 palette, 0 = none
    u_long128* matpalette;   // where the palette was last taken from
    // Capacity of the chain being filled.
    u32* vifend;             // end of the chain's buffer (null: unchecked)
    bool bFull;              // appending has stopped for this frame
    u32 nFullFrames;         // frames that ran out of room

    Renderer();

    // Opens the frame's chain at vifbuff (capacity vifqwc quadwords) with its
    // uploads in gifbuff; drops the current texture.  `first` empties the
    // texture cache.
    void BeginScene(u_long128* vifbuff, u_long128* gifbuff, bool first,
                    u32 vifqwc = RENDER_CHAIN_QWC, u32 gifqwc = RENDER_UPLOAD_QWC);
    // Closes any command block, ends the uploads and the chain (END tag) and
    // marks the chain ready to send.
    void EndScene();
    // Sends a closed chain on VIF1 at once (outside the frame flip).
    void DrawScene();

    // True when qwc more quadwords fit in this frame's chain.  The first
    // refusal of a frame stops all appending until the next BeginScene and
    // prints one report.
    bool AllowFor(u32 qwc);
    // The last address drawers may write up to (null: unchecked).
    u32* Limit() const;
    // Notes that a drawer found no room (reported once per frame).
    void NoteFull();

    // Command blocks: STCYCL, UNPACK into the VU1 input buffer, command
    // quadwords, the end quadword {0, 0, 0, mc2Stop / 8}, MSCAL 0.
    void _BeginCommands();
    void _EndCommands();
    void BeginCommands() { if (!unpack) _BeginCommands(); }
    void EndCommands() { if (unpack) _EndCommands(); }

    // One command quadword {x, y, z, routine / 8} in the open block (one is
    // opened when none is).
    void call(int routine) { Command(0u, 0u, 0u, u32(routine) / 8); }
    template <class X, class Y, class Z>
    void call(int routine, X x, Y y, Z z) { Command(Word(x), Word(y), Word(z), u32(routine) / 8); }
    void call(int routine, int x, int y) { Command(u32(x), u32(y), 0u, u32(routine) / 8); }
    void call(int routine, const VectorXYZ& v) { Command(Word(v[0]), Word(v[1]), Word(v[2]), u32(routine) / 8); }
    // A Vector keeps its w float with the routine in the low 16 bits.
    void call(int routine, const Vector& v) { Command(Word(v[0]), Word(v[1]), Word(v[2]), WithRoutine(Word(v[3]), routine)); }
    // A Vector's x, y, z and an integer in the high half of w.
    void callvi(int routine, const Vector& v, int i)
    {
        Command(Word(v[0]), Word(v[1]), Word(v[2]), u32(i) << 16 | (u32(routine) / 8 & 0xFFFF));
    }

    // mc2SetGlobals {vuaddr, n, 0} and the n quadwords of data (copied): VU1
    // stores them at vuaddr.
    void SetGlobals(u32 vuaddr, u32 n, const u64* data);
    void SetViewport(VectorXYZ scale, VectorXYZ trans);
    void SetLocal(const Matrix& mat, Sphere sphere);
    void SetClipping(bool on);
    // The VU1 input double buffer: VIF BASE and OFFSET (outside any block).
    void SetInputBuffers(u32 base, u32 offset);
    // The two VU1 output buffers (mc2SetBuffers).
    void SetOutputBuffers(u32 buf1, u32 buf2);

    // Makes _texture current (reference counted, resident through the texture
    // manager) and returns its TEX0 with TFX = tm.  A null texture, or one that
    // cannot be placed, returns 0 and leaves the current texture unchanged /
    // none.
    u64 RequestTexture(Texture* _texture, TEXMODE tm);
    void ClearTexture();
    // Writes the current texture's A+D register pairs at p: TEXFLUSH, TEXA,
    // [MIPTBP1_1, MIPTBP2_1 with mip levels], CLAMP_1, TEX0_1, TEX1_1.
    u64* TextureRegs(u64* p, int tfx, u64 clamp, int mipKL);
    // Makes tex current for the GS drawing that follows (a DIRECT block).
    void Use(Texture* tex, int tfx, u64 clamp, int mipKL);

    // Sends n skinning matrices to VU1 address 0 (copied into the chain when
    // `copy`, else referenced where they lie) and lays out the VU1 buffers
    // around them; n = 0 restores the layout without a palette.
    void SetMatrixPalette(const Matrix* mats, int n, bool copy);
    // Bezier blend weights for t tessellation steps at VU1 address 0.
    void SetBezierBlends(int tesselation);
    // Tessellates n patches (sent by reference, two alternating VU1 slots).
    void SendBezierPatches(const BezierPatch* patches, int n, int tesselation);

private:
    template <class T>
    static u32 Word(T v)
    {
        static_assert(sizeof(T) == 4);
        u32 w;
        std::memcpy(&w, &v, 4);
        return w;
    }
    static u32 WithRoutine(u32 w, int routine) { return (w & 0xFFFF0000u) | (u32(routine) / 8 & 0xFFFF); }
    void Command(u32 x, u32 y, u32 z, u32 w);
    void PutQuad(const void* q);
};

extern Renderer therenderer;

// Room check for writers that hold only the VIFpacket: the renderer's check
// when vif is the renderer, always true otherwise.
bool ChainAllowFor(VIFpacket& vif, u32 qwc);

// Cubic Bernstein weights B0..B3 at u = i / (n - 1) in B[0..n-1] and their
// derivatives in B[n..2n-1], by forward differencing; the last entries exact.
void CalcBezierBlends(Vector* B, int n);
