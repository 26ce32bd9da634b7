#include "ZevEngine2/PS2/Render.h"

#include <ee/dma.h>

#include "ZevEngine2/Utilities.h"

u_long128 dmabuff[2][RENDER_CHAIN_QWC];
u_long128 gifbuff[2][RENDER_UPLOAD_QWC];

Renderer therenderer;

namespace {

// VU1 data memory left for the input double buffer and the two output
// buffers once a palette of n matrices sits at address 0.
constexpr int kVu1Free = 894;
// The layout without a palette.
constexpr int kOutBuf1 = 432, kOutBuf2 = 649, kInputOffset = 216;

}  // namespace

bool ChainAllowFor(VIFpacket& vif, u32 qwc)
{
    return &vif != &therenderer || therenderer.AllowFor(qwc);
}

Renderer::Renderer()
    : vifstart(nullptr), vifdraw(nullptr), texture(nullptr), newtexture(false), nmats(0), matpalette(nullptr),
      vifend(nullptr), bFull(false), nFullFrames(0)
{
}

// ------------------------------------------------------------------ frame

void Renderer::BeginScene(u_long128* vifbuff, u_long128* gifbuff, bool first, u32 vifqwc, u32 gifqwc)
{
    ClearTexture();
    vifstart = vifbuff;
    Open(vifbuff);
    direct = nullptr;
    unpack = nullptr;
    vifend = reinterpret_cast<u32*>(vifbuff + vifqwc);
    bFull = false;
    TexManBeginScene(*this, gifbuff, first, gifqwc);
}

void Renderer::EndScene()
{
    // A drawer that left a block open must not leave it unterminated.
    if (direct)
        CloseDirect();
    EndCommands();
    TexManEndScene(*this);
    _Close(DMA_END, false);
    FlushCache(0);
    vifdraw = vifstart;
}

void Renderer::DrawScene()
{
    if (!vifdraw)
        return;
    TexManDrawScene(*this);
    sceDmaChan* chan = sceDmaGetChan(SCE_DMA_VIF1);
    chan->chcr.TTE = 1;
    sceDmaSend(chan, EE_PHYS(vifdraw));
    vifdraw = nullptr;
}

u32* Renderer::Limit() const
{
    return vifend ? vifend - 4 * RENDER_CHAIN_RESERVE_QWC : nullptr;
}

bool Renderer::AllowFor(u32 qwc)
{
    if (!vifend)
        return true;
    if (!bFull && p <= Limit() && u32(Limit() - p) / 4 >= qwc)
        return true;
    NoteFull();
    return false;
}

void Renderer::NoteFull()
{
    if (bFull)
        return;
    bFull = true;
    ++nFullFrames;
    printf("Renderer: frame chain full, the rest of the frame is dropped\n");
}

// --------------------------------------------------------- command blocks

void Renderer::_BeginCommands()
{
    if (!AllowFor(2))
        return;
    Align(2, 2);
    Put(RENDER_STCYCL);
    OpenUnpack(RENDER_UNPACK_BLOCK);
}

void Renderer::_EndCommands()
{
    if (!unpack)
        return;
    // The end quadword and MSCAL come out of the reserve: a block that was
    // opened is always closed.
    Put(0u);
    Put(0u);
    Put(0u);
    Put(u32(mc2Stop) / 8);
    CloseUnpack();
    Put(VIF_MSCAL);
}

void Renderer::Command(u32 x, u32 y, u32 z, u32 w)
{
    BeginCommands();
    if (!unpack || !AllowFor(1))
        return;
    Put(x);
    Put(y);
    Put(z);
    Put(w);
}

void Renderer::PutQuad(const void* q)
{
    AddN(static_cast<const u_long128*>(q), 1);
}

void Renderer::SetGlobals(u32 vuaddr, u32 n, const u64* data)
{
    BeginCommands();
    if (!unpack || !AllowFor(n + 1))
        return;
    Put(vuaddr);
    Put(n);
    Put(0u);
    Put(u32(mc2SetGlobals) / 8);
    AddN(reinterpret_cast<const u_long128*>(data), int(n));
}

void Renderer::SetViewport(VectorXYZ scale, VectorXYZ trans)
{
    BeginCommands();
    if (!unpack || !AllowFor(2))
        return;
    call(mc2SetViewport, scale);
    Vector t(trans, 0.0f);
    PutQuad(&t);
}

void Renderer::SetLocal(const Matrix& mat, Sphere sphere)
{
    BeginCommands();
    if (!unpack || !AllowFor(5))
        return;
    call(mc2SetLocal, mat.x);
    PutQuad(&mat.y);
    PutQuad(&mat.z);
    PutQuad(&mat.w);
    PutQuad(&sphere);
}

void Renderer::SetClipping(bool on)
{
    call(mc2SetClipping, int(on), 0, 0);
}

void Renderer::SetInputBuffers(u32 base, u32 offset)
{
    EndCommands();
    if (!AllowFor(1))
        return;
    Put(VIF_BASE(base));
    Put(VIF_OFFSET(offset));
}

void Renderer::SetOutputBuffers(u32 buf1, u32 buf2)
{
    call(mc2SetBuffers, buf1, buf2, 0u);
}

// ---------------------------------------------------------------- textures

u64 Renderer::RequestTexture(Texture* _texture, TEXMODE tm)
{
    if (!_texture)
        return 0;
    EndCommands();
    if (_texture != texture) {
        ClearTexture();
        if (!_texture->Hold())
            return 0;
        texture = _texture;
        newtexture = true;
    }
    return texture->tex0 | u64(tm & 3) << 35;
}

void Renderer::ClearTexture()
{
    Texture* t = texture;
    texture = nullptr;
    if (t)
        t->Release();
}

u64* Renderer::TextureRegs(u64* q, int tfx, u64 clamp, int mipKL)
{
    const Texture* t = texture;
    if (!t)
        return q;
    auto ad = [&q](u64 value, u64 reg) {
        *q++ = value;
        *q++ = reg;
    };
    ad(0, GS_TEXFLUSH);
    // 24-bit textures have no alpha: TA0 gives them full opacity.
    ad(tex0::PSM(t->tex0) == PSMCT24 ? 0x8000000080ull : 0x8000000000ull, GS_TEXA);
    if (t->format & TEXF_MIPS) {
        // Mip bases are stored relative to the texture's own base.
        const u64 tbp = tex0::TBP0(t->tex0);
        const u64 b = tbp + (tbp << 20) + (tbp << 40);
        ad(t->miptbp1 + b, GS_MIPTBP1_1);
        ad(t->miptbp2 + b, GS_MIPTBP2_1);
    }
    ad(clamp, GS_CLAMP_1);
    ad(t->tex0 | u64(tfx & 3) << 35, GS_TEX0_1);
    ad(u64(mipKL & 7) << 2 | 0x160 | u64((mipKL >> 3) & 1) << 19 | u64((mipKL >> 4) & 0xFFF) << 32, GS_TEX1_1);
    return q;
}

void Renderer::Use(Texture* tex, int tfx, u64 clamp, int mipKL)
{
    if (!tex)
        return;
    // The FLUSH is a VIF code: it must not land inside a command block's data.
    EndCommands();
    if (!AllowFor(1))
        return;
    Put(VIF_FLUSH);
    RequestTexture(tex, TEXMODE_DECAL);
    if (texture != tex)
        return;
    // Five register pairs, seven with the mip bases: with the GIF tag a
    // DIRECT block of six or eight quadwords.
    const u32 pairs = (tex->format & TEXF_MIPS) ? 7 : 5;
    if (!AllowFor(pairs + 2))
        return;
    OpenDirect();
    u64* q = reinterpret_cast<u64*>(p);
    sceGifTag t = MakeGifTag(pairs, true, 0, 1, GS_AD);
    std::memcpy(q, &t, 16);
    q = TextureRegs(q + 2, tfx, clamp, mipKL);
    p = reinterpret_cast<u32*>(q);
    CloseDirect();
    newtexture = false;
}

// ----------------------------------------------------------- matrix palette

void Renderer::SetMatrixPalette(const Matrix* mats, int n, bool copy)
{
    if (n < 0 || (n > 0 && !mats))
        return;
    if (n == 0) {
        if (nmats == 0)
            return;
        if (!AllowFor(4))
            return;
        BeginCommands();
        call(mc2SetBuffers, kOutBuf1, kOutBuf2, 0);
        _EndCommands();
        Put(VIF_BASE(0));
        Put(VIF_OFFSET(kInputOffset));
        nmats = 0;
        return;
    }
    // The input double buffer (two halves of 4k) and the output buffers share
    // what the palette leaves of VU1 data memory.
    const int k = (kVu1Free - 4 * n) / 14;
    if (k < 1) {
        printf("SetMatrixPalette: %d matrices do not fit in vector unit memory\n", n);
        return;
    }
    const u32 qw = 4 * u32(n);
    const u32 upload = copy ? qw + 3 : u32(n + 63) / 64 + 1;
    if (!AllowFor(4 + upload))
        return;

    if (n != nmats) {
        BeginCommands();
        call(mc2SetBuffers, 8 * k + 4 * n, 11 * k + 4 * n + 1, 0);
        _EndCommands();
        Put(VIF_BASE(4 * n));
        Put(VIF_OFFSET(4 * k));
        nmats = n;
    } else {
        EndCommands();
    }
    Put(VIF_FLUSH);

    const u_long128* src = mats[0].Raw();
    if (copy && n < 64) {
        Align(2, 2);
        Put(RENDER_STCYCL);
        OpenUnpack(VIF_UNPACK_V4_32);
        AddN(src, int(qw));
        CloseUnpack();
        return;
    }
    if (copy) {
        u_long128* dst = Skip(qw);
        std::memcpy(dst, src, qw * 16);
        src = dst;
    }
    matpalette = const_cast<u_long128*>(src);
    u32 address = 0;
    int m = n;
    while (m > 64) {
        // NUM 0 stands for 256 quadwords.
        _Ref(DMA_REF, src, 256, RENDER_STCYCL, VIF_UNPACK_V4_32 | address, false);
        address += 256;
        src += 256;
        m -= 64;
    }
    _Ref(DMA_REF, src, 4 * u32(m), RENDER_STCYCL, VIF_UNPACK_V4_32 | ((4 * u32(m)) & 0xFF) << 16 | address, false);
}

// ---------------------------------------------------------- Bezier patches

void CalcBezierBlends(Vector* B, int n)
{
    if (n < 1)
        return;
    if (n >= 2) {
        const float h = 1.0f / float(n - 1);
        const float h2 = h * h, h3 = h2 * h;
        // Bernstein weights as cubics a u^3 + b u^2 + c u + d, lane by lane.
        const Vector a(-1.0f, 3.0f, -3.0f, 1.0f);
        const Vector b(3.0f, -6.0f, 3.0f, 0.0f);
        const Vector c(-3.0f, 3.0f, 0.0f, 0.0f);
        Vector f(1.0f, 0.0f, 0.0f, 0.0f);
        Vector d1 = a * h3 + b * h2 + c * h;
        Vector d2 = a * (6.0f * h3) + b * (2.0f * h2);
        const Vector d3 = a * (6.0f * h3);
        for (int i = 0; i < n; i++) {
            B[i] = f;
            f += d1;
            d1 += d2;
            d2 += d3;
        }
        // Their derivatives as quadratics q u^2 + r u + s.
        const Vector q(-3.0f, 9.0f, -9.0f, 3.0f);
        const Vector r(6.0f, -12.0f, 6.0f, 0.0f);
        Vector g(-3.0f, 3.0f, 0.0f, 0.0f);
        Vector e1 = q * h2 + r * h;
        const Vector e2 = q * (2.0f * h2);
        for (int i = 0; i < n; i++) {
            B[n + i] = g;
            g += e1;
            e1 += e2;
        }
    }
    B[n - 1] = Vector(0.0f, 0.0f, 0.0f, 1.0f);
    B[2 * n - 1] = Vector(0.0f, 0.0f, -3.0f, 3.0f);
}

void Renderer::SetBezierBlends(int tesselation)
{
    if (tesselation < 2 || tesselation > 127)
        return;
    EndCommands();
    if (!AllowFor(2 * u32(tesselation) + 1))
        return;
    Align(2, 1);
    Put(VIF_FLUSH);
    Put(RENDER_STCYCL);
    Put(VIF_UNPACK_V4_32 | u32(2 * tesselation) << 16);
    CalcBezierBlends(reinterpret_cast<Vector*>(p), tesselation);
    p += 8 * tesselation;
}

void Renderer::SendBezierPatches(const BezierPatch* patches, int n, int tesselation)
{
    if (!patches || n <= 0 || tesselation < 2 || tesselation > 127)
        return;
    EndCommands();
    if (!AllowFor(2 * u32(tesselation) + 2 + u32(n)))
        return;
    SetBezierBlends(tesselation);
    const u32 mscal = VIF_MSCALAT(mc2BezierPatch);
    for (int i = 0; i < n; i++) {
        // While VU1 tessellates one patch the next is unpacked into the other
        // slot (0x40 / 0x50).
        u32 op1 = i == 0 ? VIF_ITOP(u32(tesselation)) : i == 1 ? mscal : VIF_MSCNT;
        u32 op2 = (i & 1) ? 0x6C100050u : 0x6C100040u;
        _Ref(DMA_REF, &patches[i], 16, op1, op2, false);
    }
    Put(n == 1 ? mscal : VIF_MSCNT);
}
