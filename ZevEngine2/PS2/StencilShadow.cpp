#include "ZevEngine2/PS2/StencilShadow.h"

#include "ZevEngine2/Object.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/modelfile.h"
#include "ZevEngine2/PS2/MC2/Microcode2.h"
#include "ZevEngine2/PS2/Model.h"
#include "ZevEngine2/PS2/Platform.h"
#include "ZevEngine2/PS2/Render.h"
#include "ZevEngine2/PS2/Render2D.h"
#include "ZevEngine2/PS2/RenderContext.h"

namespace {

// (Cd - Cs) x FIX / 128 + 0 with FIX 0x80: a buffer cleared to all ones
// becomes 0xFF - Cs in every byte, so a 24-bit depth Z becomes exactly
// 0xFFFFFF - Z.
constexpr ALPHA_MODE kAlphaReverse = ALPHA_MODE(1 | 0 << 2 | 2 << 4 | 2 << 6);
constexpr u32 kFixOne = 0x80;
// Z test on, GEQUAL.
constexpr u64 kTestGequal = 0x10000 | 2 << 17;
// TEXA while the stencil is read: TA0 = TA1 = 0x80 with AEM, so texels that
// lost every top bit (black) have alpha 0 and all others 0x80.
constexpr u64 kTexaStencil = 0x8000008080ull;
// The frame's own TEXA (TA0 0, TA1 0x80), put back afterwards.
constexpr u64 kTexaFrame = 0x8000000000ull;
// The stencil's write mask in ExitRender: bit 7 of each colour channel kept.
constexpr u32 kTopBits = 0x808080;
constexpr u32 kFrameAlpha = 0xFF000000u;
constexpr u32 kFarthest = 0xFFFFFF;
constexpr float kExtentMargin = 10.0f;
// The GIF tag of the volumes' vertices (upper word): PRE, PRIM triangle
// strip with alpha blending (0x44), NREG 3; registers ST, RGBAQ, XYZF2.
constexpr u32 kVolumeTag = 0x30224000;
constexpr u32 kVolumeRegs = 0x412;

bool SameBuffer(const Surface& a, const Surface& b) { return a.tex0 == b.tex0; }

// Fills a buffer, read as colour, with all ones; its depth is not touched.
void ClearToOnes(Render2D& r, Surface& s)
{
    r.SetDraw(s, false);
    r.SetZBuffer(s, false, false);
    r.SetZTest(ZTEST_ALWAYS);
    r.DrawRect(s.WholeRect(), Colour(0xFF, 0xFF, 0xFF, 0xFF), kFarthest);
}

// dst = 0xFFFFFF - src over dst's whole size (src stretched onto it, texel
// centres at +0.5), then src cleared to all ones when asked.  Context 1 is
// left drawing into the frame's draw buffer with dst as its depth.
void ReverseDepth(Surface& src, Surface& dst, bool clearsrc)
{
    if (SameBuffer(src, dst))
        return;
    Render2D r;
    r.Open(therenderer);
    r.SetRegister(GS_DTHE, 0);
    ClearToOnes(r, dst);
    r.SetTexture(&src, TEXMODE_DECAL);
    r.SetAlpha(kAlphaReverse, kFixOne);
    r.DrawSprite(dst.Extent(), src.Extent(), kFarthest);
    r.SetTextureOff();
    r.prim_reg &= ~PRIM_ABE;
    if (clearsrc)
        ClearToOnes(r, src);
    r.SetDraw(Platform::GetDrawBuffer(), false);
    r.SetZBuffer(dst, false, true);
    r.SetRegister(GS_DTHE, 1);
    r.Close(therenderer);
}

// True when a depth copied from zbuf into a separate zbuf2 and back comes
// back unchanged: zbuf2 is a whole multiple of zbuf's size either way, so
// each pixel of zbuf is read back from a texel that holds its own depth.
bool DepthComesBack(const Surface& zbuf, const Surface& zbuf2)
{
    return !SameBuffer(zbuf, zbuf2) && zbuf.width > 0 && zbuf.height > 0 && zbuf2.width % zbuf.width == 0 &&
           zbuf2.height % zbuf.height == 0;
}

// The number of models in the file's shadow table.
int ShadowCount(const MDLFILE* mf)
{
    if (mf == nullptr || mf->shadows == nullptr || mf->header == nullptr)
        return 0;
    for (u32 i = 0; i < mf->header->blockCount; i++)
    {
        const HeaderBlock& b = mf->header->block[i];
        if (b.type == EX5_BLOCK_SHADOW && b.Data() == mf->shadows)
            return b.count;
    }
    return 0;
}

// The shadow model of o's node, when it names one that the file has.
const MODEL* ShadowOf(const Object* o)
{
    const NODE* node = o->GetNode();
    if (node == nullptr)
        return nullptr;
    const int index = node->GetShadowIndex();
    if (index <= 0 || index > ShadowCount(o->mdlfile))
        return nullptr;
    return o->mdlfile->shadows[index - 1];
}

bool CastsShadows(const Object* o)
{
    return (o->flags & OBJF_SHADOW) && o->mdlfile != nullptr && o->mdlfile->shadows != nullptr;
}

}  // namespace

void FlipZBuffer(RenderContext&, Surface& zbuf, Surface& zbuf2)
{
    ReverseDepth(zbuf, zbuf2, true);
}

// ------------------------------------------------------------------ pass

StencilShadows::StencilShadows(RenderContext& _rc, Surface& _draw, Surface& _zbuf, int stencilwidth,
                               int stencilheight)
    : rc(_rc), draw(_draw), zbuf(_zbuf), zbuf2(), stencil(), inplace(stencilwidth == _zbuf.width)
{
    Renderer& r = therenderer;
    r.EndCommands();
    if (r.AllowFor(2))
        r.RefMpg(MC2_OVERLAY_IMM, mc2ExtrudeEE, MC2EXTRUDE_QWC);

    if (inplace)
    {
        zbuf2 = zbuf;
    }
    else
    {
        zbuf2.Set(STENCIL_ZFORMAT, stencilwidth, stencilheight);
        zbuf2.GetSurface();
    }
    stencil.Set(STENCIL_FORMAT, stencilwidth, stencilheight);
    stencil.GetSurface();
    if (!Active())
    {
        // Drawing into surfaces that have no place would overwrite whatever
        // lies at their (unset) addresses: the pass draws nothing instead.
        if (stencil.refcount)
            stencil.FreeSurface();
        if (!inplace && zbuf2.refcount)
            zbuf2.FreeSurface();
        return;
    }

    // A separate depth buffer (never as wide as zbuf) gets a resized,
    // reversed copy of the scene's depth.  When the copy can come back
    // exactly, zbuf is cleared and the destructor copies it back; from a
    // smaller buffer it could not (each stencil pixel stands for several
    // depths), so zbuf then keeps its own depth throughout.
    if (DepthComesBack(zbuf, zbuf2))
        FlipZBuffer(rc, zbuf, zbuf2);
    else if (!inplace)
        ReverseDepth(zbuf, zbuf2, false);

    const float hw = float(stencilwidth) * 0.5f, hh = float(stencilheight) * 0.5f;
    const float zs = inplace ? rc.viewport_scale[2] : -rc.viewport_scale[2];
    const float zt = inplace ? rc.viewport_trans[2] : -rc.viewport_trans[2];
    r.SetViewport(VectorXYZ(hw, hh, zs), VectorXYZ(2048.0f + hw, 2048.0f + hh, zt));
}

StencilShadows::~StencilShadows()
{
    if (Active())
    {
        if (DepthComesBack(zbuf, zbuf2))
            FlipZBuffer(rc, zbuf2, zbuf);
        Render2D r;
        r.Open(therenderer);
        r.SetDraw(draw, false);
        r.SetZBuffer(zbuf, false, true);
        r.SetRegister(GS_DTHE, 1);
        r.Close(therenderer);
        stencil.FreeSurface();
        if (!inplace)
            zbuf2.FreeSurface();
    }
    therenderer.SetViewport(rc.viewport_scale.xyz(), rc.viewport_trans.xyz());
}

bool StencilShadows::Active() const
{
    return stencil.refcount != 0 && (inplace || zbuf2.refcount != 0);
}

void StencilShadows::InitRender()
{
    if (!Active())
        return;
    Render2D r;
    r.Open(therenderer);
    r.SetDraw(stencil, false);
    // The volumes are tested against the depth but never write it.
    r.SetZBuffer(zbuf2, false, false);
    r.SetRegister(GS_DTHE, 0);
    r.SetZTest(ZTEST_ALWAYS);
    r.DrawRect(stencil.WholeRect(), Colour(STENCIL_CLEAR, STENCIL_CLEAR, STENCIL_CLEAR, 0), 0);
    r.SetRegister(GS_TEST_1, kTestGequal);
    r.SetRegister(GS_ALPHA_1, ALPHA_ADD);
    // Channels wrap, so that adding 248 takes one step back.
    r.SetRegister(GS_COLCLAMP, 0);
    r.SetRegister(GS_PABE, 0);
    r.SetRegister(GS_FBA_1, 0);
    r.Close(therenderer);
}

void StencilShadows::ExitRender(Colour colour)
{
    if (!Active())
        return;
    Render2D r;
    r.Open(therenderer);
    // Each channel keeps only its top bit: 0x80 where the volumes took it to
    // 128 or more, 0 elsewhere.
    r.SetMask(kTopBits);
    r.SetDraw(stencil, false);
    r.SetAlphaTest(ALPHATEST_NEVER, 0, ALPHAFAIL_FB_ONLY);
    r.SetZTest(ZTEST_ALWAYS);
    r.DrawRect(stencil.WholeRect(), Colour(0, 0, 0, 0), 0);

    // The frame blended towards the colour where the stencil has a bit; its
    // alpha, which the blend would replace by the stencil's, is kept.
    r.SetMask(kFrameAlpha);
    r.SetDraw(draw, false);
    r.SetAlphaTest(ALPHATEST_OFF);
    r.SetColourClamp(false);
    r.SetTexture(&stencil, TEXMODE_MODULATE);
    r.SetRegister(GS_TEXA, kTexaStencil);
    r.SetAlpha(ALPHA_BLEND);
    r.SetColour(colour);
    r.DrawSprite(draw.Extent(), stencil.Extent(), kFarthest);

    r.SetZBuffer(zbuf, true, true);
    r.SetZBuffer(zbuf, false, true);
    r.SetRegister(GS_TEXA, kTexaFrame);
    r.SetRegister(GS_DTHE, 1);
    // The scene goes on drawing after the shadows: its depth test again,
    // not the always-passing one the stencil's clear used.
    r.SetRegister(GS_TEST_1, kTestGequal);
    r.Close(therenderer);
}

// --------------------------------------------------------------- casters

void StencilShadows::Extrude(const MODEL* model, const Matrix& mat, const Vector& light, const Plane& plane)
{
    if (!Active() || model == nullptr)
        return;
    Renderer& r = therenderer;
    r.EndCommands();
    r._BeginCommands();
    r.SetLocal(mat, model->sphere);
    ::Extrude(model, light, plane);
    // A model without a usable material leaves its block open: closed here.
    r.EndCommands();
}

void StencilShadows::Extrude(const Object* obj, const Matrix& mat, const Vector& light, const Plane& plane)
{
    for (const Object* o = obj; o != nullptr; o = o->sibling)
    {
        if (!CastsShadows(o))
            continue;
        const Matrix world = o->mat * mat;
        if (const MODEL* model = ShadowOf(o))
            Extrude(model, world, light, plane);
        if (o->child != nullptr)
            Extrude(o->child, world, light, plane);
    }
}

void StencilShadows::Extrude(const Object* obj, const Vector& light, const Plane& plane)
{
    if (obj == nullptr || !CastsShadows(obj))
        return;
    const Matrix world = obj->GetWorldMatrix();
    if (const MODEL* model = ShadowOf(obj))
        Extrude(model, world, light, plane);
    if (obj->child != nullptr)
        Extrude(obj->child, world, light, plane);
}

void Extrude(const MODEL* model, const Vector& light, const Plane& plane)
{
    Renderer& r = therenderer;
    const bool skinned = (model->flags & MDL_SKINNED) != 0;
    int prevFormat = 0, prevSides = 0;
    for (int j = 0; j < model->NumMaterials(); j++)
    {
        const MATERIAL& m = model->mtls[j];
        if (m.dataNumQw == 0 || m.data == 0)
            continue;
        const int format = m.desc & 0x3F;
        const int stride = m.desc & 7;
        const int sides = (m.flags & 1) ? 2 : 1;
        if (stride < 3)
        {
            static bool reported;
            if (!reported)
                printf("Extrude: shadow material of %d quadwords a vertex skipped\n", stride);
            reported = true;
            continue;
        }
        if (format != prevFormat || sides != prevSides)
        {
            // The material's block: its program, and the kick that ends it.
            if (!r.AllowFor(16))
                return;
            r.BeginCommands();
            if (!r.unpack)
                return;
            r.call(mc2SetMaterial, stride, 4 + (skinned ? 1 : 0));
            if (skinned)
            {
                r.call(mc2Extrude, Vector(0.0f, 0.0f, 0.0f, 1.0f));
                r.call(mc2Skin, u32((m.desc >> 3) & 7), u32(MC2_NORMAL_SLOT), 0u);
            }
            else
            {
                const Vector& off = model->compressionOffset;
                r.call(mc2Extrude, Vector(off[0], off[1], off[2], -65536.0f));
            }
            r.AddN(reinterpret_cast<const u_long128*>(&light), 1);
            r.AddN(reinterpret_cast<const u_long128*>(&plane), 1);
            r.call(mc2KickClipHomo, u32(sides), kVolumeTag, kVolumeRegs);
            r.CloseUnpack();
            // The interpreter runs the block, then the data's batches follow.
            r._Ref(DMA_REF, m.Data(), m.dataNumQw, VIF_MSCAL, VIF_NOP, false);
            prevFormat = format;
            prevSides = sides;
        }
        else
        {
            if (!r.AllowFor(2))
                return;
            r._Ref(DMA_REF, m.Data(), m.dataNumQw, VIF_NOP, VIF_NOP, false);
        }
    }
}

// ------------------------------------------------------------------ extent

Cuboid ShadowExtent(RenderContext& rc, VectorDir light, float dist, float shadlen)
{
    // The inverse projection with its depth range running from nearz to
    // dist, then to world space: the points of the far cross-section.
    const float n = rc.nearz, f = dist;
    Matrix q(false);
    q.x = Vector(rc.cull_view.x[0], 0.0f, 0.0f, 0.0f);
    q.y = Vector(0.0f, rc.cull_view.y[1], 0.0f, 0.0f);
    if (rc.lastperspectivecall == PERSPECTIVECALL_PARALLEL)
    {
        const float s = 2.0f / (f - n), t = -(f + n) / (f - n);
        q.z = Vector(0.0f, 0.0f, 1.0f / s, 0.0f);
        q.w = Vector(0.0f, 0.0f, -t / s, 1.0f);
    }
    else
    {
        const float A = (f + n) / (f - n), B = -2.0f * f * n / (f - n);
        q.z = Vector(0.0f, 0.0f, 0.0f, 1.0f / B);
        q.w = Vector(0.0f, 0.0f, 1.0f, -A / B);
    }
    const Matrix cullWorld = q * rc.view_world;
    auto unproject = [&cullWorld](float x, float y) {
        const Vector h = cullWorld * Vector(x, y, 1.0f, 1.0f);
        return VectorPos(h[0] / h[3], h[1] / h[3], h[2] / h[3]);
    };
    const VectorPos c = unproject(0.0f, 0.0f);
    const VectorDir a = unproject(1.0f, 0.0f) - c;
    const VectorDir b = unproject(0.0f, 1.0f) - c;
    const VectorDir s = light * -shadlen;

    const VectorPos cam = rc.view_world.w.xyz();
    Cuboid box(cam, cam);
    box += cam + s;
    box += cam - s;
    for (int i = 0; i < 4; i++)
    {
        const VectorPos corner = c + a * ((i & 1) ? 1.0f : -1.0f) + b * ((i & 2) ? 1.0f : -1.0f);
        box += corner;
        box += corner + s;
        box += corner - s;
    }
    box.min -= kExtentMargin;
    box.max += kExtentMargin;
    return box;
}
