// Model drawing: objects with a GEOMETRY become vector-unit work in the
// frame's chain.  Per object the level of detail is picked by view depth and
// skinned models get their matrix palette from their bone objects; per model
// a command block sets the object matrix, lights and texture matrices; per
// material the texture registers, the call list (the material's program for
// VU1, tokens patched to routine addresses at load) and the vertex data
// follow.  Call lists and vertex data are sent by reference from the model
// file; texture references are counted so only changes reach the texture
// manager.  Faded models and translucent materials are queued for the
// transparency pass (Transparency.h).
#include "ZevEngine2/PS2/Model.h"

#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/MC2/Microcode2.h"
#include "ZevEngine2/PS2/Render.h"
#include "ZevEngine2/PS2/RenderContext.h"
#include "ZevEngine2/PS2/Transparency.h"

namespace {

// A quadword from four words.
struct alignas(16) Quad
{
    u32 w[4];
};
static_assert(sizeof(Quad) == 16);

u32 Bits(float f)
{
    u32 b;
    std::memcpy(&b, &f, 4);
    return b;
}

// Call-list quadwords hold routine entries once patched.
u16 Entry(Tok tok)
{
    return MATERIAL::translate[tok - tokNop];
}

// UNPACK V4-32 of n quadwords to VU address addr relative to the double
// buffer.
u32 UnpackTo(u32 n, u32 addr)
{
    return VIF_UNPACK_V4_32 | (n & 0xFF) << 16 | VIF_UNPACK_TOPS | (addr & 0x3FF);
}

// Sends n quadwords lying at src into VU memory from addr on, by reference.
void RefUnpack(const u128* src, u32 n, u32 addr)
{
    while (n > 0) {
        const u32 k = std::min<u32>(n, 256);   // NUM 0 stands for 256
        therenderer._Ref(DMA_REF, src, k, RENDER_STCYCL, UnpackTo(k, addr), false);
        src += k;
        addr += k;
        n -= k;
    }
}

// Opens an UNPACK of n quadwords copied into the chain, to addr.
void OpenCopy(u32 n, u32 addr)
{
    Renderer& r = therenderer;
    r.Align(2, 2);
    r.Put(RENDER_STCYCL);
    r.Put(UnpackTo(n, addr));
}

void PutQuad(const Quad& q)
{
    for (u32 w : q.w)
        therenderer.Put(w);
}

// An A+D quadword.
Quad AD(u64 value, u32 reg)
{
    return Quad{{u32(value), u32(value >> 32), reg, 0}};
}

// The head of an mc2Giftag command carrying n A+D quadwords.
Quad GiftagHead(u32 n)
{
    return Quad{{n | 0x8000u, 0x10000000u, GS_AD, u32(mc2Giftag) / 8}};
}

// Writes a register packet as an mc2Giftag command into the open command
// block (one is opened when none is).
void RegisterCommand(const u64* pairs, int n)
{
    Renderer& r = therenderer;
    r.BeginCommands();
    if (!r.unpack || !r.AllowFor(u32(n) + 1))
        return;
    PutQuad(GiftagHead(u32(n)));
    for (int i = 0; i < n; ++i)
        PutQuad(AD(pairs[2 * i], u32(pairs[2 * i + 1])));
}

// The texture a material's texid names for an object: a texture of the file,
// a global texture, or the object's choice among the file's textures.  Null
// when it names none.
Texture* ResolveTexture(const MDLFILE* mf, u16 texid, const u8* params)
{
    if (texid == TEXID_NONE)
        return nullptr;
    const int index = texid & TEXID_INDEX;
    if ((texid & TEXID_INDIRECT) && (texid & TEXID_GLOBAL))
        return index < GTEX_TOTAL ? &gtex[index] : nullptr;
    if (mf == nullptr || mf->textures == nullptr)
        return nullptr;
    if (!(texid & TEXID_INDIRECT))
        return texid < mf->nTextures ? &mf->textures[texid] : nullptr;
    if (params == nullptr || 2 + index >= 16)
        return nullptr;
    const int choice = params[2 + index];
    return choice < mf->nTextures ? &mf->textures[choice] : nullptr;
}

// The base-block offsets of a texture's mip pointers: its TBP0 in each of the
// three address fields of MIPTBP1 / MIPTBP2.
u64 MipBase(const Texture* t)
{
    const u64 tbp = tex0::TBP0(t->tex0);
    return tbp + (tbp << 20) + (tbp << 40);
}

constexpr u64 kTfxMask = u64(3) << 35;

// The texture references a model's materials hold while it is drawn.
class HeldTextures
{
public:
    ~HeldTextures()
    {
        for (Texture*& t : slot)
            Set(t, nullptr);
    }
    // Holds t in slot i (releasing what it held when that differs); false
    // when t cannot be made resident.
    bool Hold(int i, Texture* t) { return Set(slot[i], t); }

private:
    static bool Set(Texture*& held, Texture* t)
    {
        if (held == t)
            return true;
        if (held != nullptr)
            held->Release();
        held = nullptr;
        if (t == nullptr || !t->Hold())
            return false;
        held = t;
        return true;
    }
    Texture* slot[MTL_MAX_TEXLIST] = {};
};

// One report per kind of bounded input.
void ReportOnce(bool& reported, const char* what)
{
    if (!reported)
        printf("Model: %s\n", what);
    reported = true;
}

bool g_longTexList;
bool g_paletteFull;
bool g_stackFull;
bool g_instancesTooMany;
bool g_badModel;

// A model switched to instanced drawing by RenderInstances, to be switched
// back after its materials.
bool g_instancing;

void EndInstancing()
{
    if (!g_instancing)
        return;
    g_instancing = false;
    therenderer.call(mc2Instances, u32(MC2_INSTANCES), u32(MC2_INSTANCES), u32(MC2_INSTANCES));
}

// The model a level of detail names, or null (reported once) when the file
// has no such model.
MODEL* ModelOf(const MDLFILE* mf, const GEOMETRY0* g)
{
    if (mf == nullptr || mf->models == nullptr || g->index < 0 || g->index >= mf->nModels) {
        ReportOnce(g_badModel, "an object names a model its file does not have; it is not drawn");
        return nullptr;
    }
    return mf->models[g->index];
}

// The view depth of a world position: its clip-space w.
float ViewDepth(const RenderContext& rc, const Matrix& mat)
{
    return (rc.world_clip * Vector(mat.w.xyz(), 1.0f))[3];
}

// ---------------------------------------------------------------------------
// Materials

// Texture registers and call list of a material with one texture: the
// register packet first, the call list right behind it.  Returns where the
// call list starts in VU memory, or -1 when the material is not drawn.
int SendTextured(const MDLFILE* mf, const MATERIAL& mt, const u8* params, HeldTextures& held)
{
    Texture* t = ResolveTexture(mf, mt.texid, params);
    if (t == nullptr || t->format == 0 || !held.Hold(0, t))
        return -1;
    Quad regs[4];
    int n = 0;
    regs[n++] = AD(t->tex0 | (mt.flags & MTL_DECAL ? u64(TEXMODE_DECAL) << 35 : 0), GS_TEX0_1);
    if (t->format & TEXF_MIPS) {
        regs[n++] = AD(t->miptbp1 + MipBase(t), GS_MIPTBP1_1);
        regs[n++] = AD(t->miptbp2 + MipBase(t), GS_MIPTBP2_1);
    }
    regs[n++] = AD(0, GS_TEXFLUSH);
    OpenCopy(u32(n) + 1, 0);
    PutQuad(GiftagHead(u32(n)));
    for (int i = 0; i < n; ++i)
        PutQuad(regs[i]);
    RefUnpack(mt.CallList(), mt.callListNumQw, u32(n) + 1);
    return n + 1;
}

// The texture list inside a material's call list: each entry gets the
// registers of its texture written over it in VU memory (the call list
// itself stays as it lies in the file).
void SendTextureList(const MDLFILE* mf, const MATERIAL& mt, const u8* params, HeldTextures& held)
{
    struct Write
    {
        u32 addr;
        int n;
        Quad q[3];
    } writes[MTL_MAX_TEXLIST];
    int nwrites = 0;
    int a = mt.texvuaddr & 0x7FFF;
    for (int entry = 0; a != 0 && a < mt.callListNumQw; ++entry) {
        if (entry == MTL_MAX_TEXLIST) {
            ReportOnce(g_longTexList, "a texture list longer than 3 entries is cut to 3");
            break;
        }
        const u16* w = mt.Words(a);
        const int next = w[6];
        Texture* t = ResolveTexture(mf, w[7], params);
        if (t != nullptr && t->format != 0 && held.Hold(entry, t)) {
            Write& wr = writes[nwrites++];
            const u128* q = mt.CallList() + a;
            wr.addr = u32(a);
            wr.n = 1;
            std::memcpy(&wr.q[0], q, 16);
            const u64 tex0 = (t->tex0 & ~kTfxMask) | (u64(wr.q[0].w[1]) << 32 & kTfxMask);
            wr.q[0].w[0] = u32(tex0);
            wr.q[0].w[1] = u32(tex0 >> 32);
            const u32 reg1 = a + 2 < mt.callListNumQw ? mt.Words(a + 1)[4] & 0xFF : 0;
            if ((t->format & TEXF_MIPS) && (reg1 == GS_MIPTBP1_1 || reg1 == GS_MIPTBP1_2)) {
                std::memcpy(&wr.q[1], q + 1, 32);
                const u64 m1 = t->miptbp1 + MipBase(t), m2 = t->miptbp2 + MipBase(t);
                wr.q[1].w[0] = u32(m1);
                wr.q[1].w[1] = u32(m1 >> 32);
                wr.q[2].w[0] = u32(m2);
                wr.q[2].w[1] = u32(m2 >> 32);
                wr.n = 3;
            }
        }
        a = next;
    }
    RefUnpack(mt.CallList(), mt.callListNumQw, 0);
    for (int i = 0; i < nwrites; ++i) {
        OpenCopy(u32(writes[i].n), writes[i].addr);
        for (int k = 0; k < writes[i].n; ++k)
            PutQuad(writes[i].q[k]);
    }
}

// The tint: the colour params[0] of the file's tint table, OR-ed into the
// call list's tint quadword (words 0, 1 and 3; word 2 becomes blue) in VU
// memory at base + auxvuaddr.
void SendTint(const MDLFILE* mf, const MATERIAL& mt, const u8* params, u32 base)
{
    if (mt.auxvuaddr >= mt.callListNumQw || mf == nullptr || mf->header == nullptr)
        return;
    Quad q;
    std::memcpy(&q, mt.CallList() + mt.auxvuaddr, 16);
    const u32* table = (const u32*)((const u8*)mf->header + q.w[2]);
    const u32 c = table[params != nullptr ? params[0] : 0];
    const float s = 1.0f / 128.0f;
    q.w[0] |= Bits(float(c & 0xFF) * s);
    q.w[1] |= Bits(float((c >> 8) & 0xFF) * s);
    q.w[2] = Bits(float((c >> 16) & 0xFF) * s);
    q.w[3] |= Bits(float(c >> 24) * s);
    OpenCopy(1, base + mt.auxvuaddr);
    PutQuad(q);
}

// What the depth-only pass takes from a material's call list: the vertex
// stride, the skinning step and the primitive of its first kick.
struct CallListFacts
{
    u32 stride = 0;
    bool skin = false;
    u32 skinSlot = 0;
    u32 prim = 4;   // triangle strip unless a kick says otherwise
};

CallListFacts ReadCallList(const MATERIAL& mt)
{
    CallListFacts f;
    for (int q = 0; q < mt.callListNumQw; ++q) {
        const u16* w = mt.Words(q);
        const u32* word = (const u32*)w;
        const u16 e = w[6];
        if (e == Entry(tokGiftag) || e == Entry(tokGiftagCopy)) {
            q += w[0] & 0x7FFF;
        } else if (e == Entry(tokSetMaterial) && f.stride == 0) {
            f.stride = word[0];
        } else if (e == Entry(tokSkin) && !f.skin) {
            f.skin = true;
            f.skinSlot = word[0];
        } else if (e == Entry(tokKick) || e == Entry(tokKickFlip)) {
            f.prim = (word[1] >> 15) & 7;
            break;
        }
    }
    return f;
}

}  // namespace

// ---------------------------------------------------------------------------
// Models

void MODEL::Setup(RenderContext& rc, const Matrix& m) const
{
    Renderer& r = therenderer;
    EndInstancing();
    r.BeginCommands();
    r.SetLocal(m, sphere);
    if (flags & MDL_LIT)
        rc.SetLights(m);
    if (flags & MDL_REFLECTION) {
        const Matrix t = (flags & MDL_SKINNED)
                             ? m * rc.world_view
                             : TransMatrix(-compressionOffset[0], -compressionOffset[1], -compressionOffset[2]) * m *
                                   rc.world_view;
        r.SetGlobals(MC2_TEXMATRIX0, 4, reinterpret_cast<const u64*>(t.Raw()));
    }
    if (flags & MDL_TEXMATRIX2) {
        const Matrix t = m * rc.world_view;
        Matrix t1;
        for (int i = 0; i < 3; ++i) {
            Vector row = t[i] * 0.5f;
            row.setz(0.0f);
            t1[i] = row;
        }
        Vector w = (t.w + Vector(1.0f, 1.0f, 1.0f, 1.0f)) * 0.5f;
        w.setz(1.0f);
        t1.w = w;
        r.SetGlobals(MC2_TEXMATRIX1, 4, reinterpret_cast<const u64*>(t1.Raw()));
    }
}

void MODEL::Render(const MDLFILE* mf, const u8* params, int first, int count) const
{
    Renderer& r = therenderer;
    r.EndCommands();
    const int end = std::min(first + count, NumMaterials());
    HeldTextures held;
    for (int i = std::max(first, 0); i < end; ++i) {
        const MATERIAL& mt = mtls[i];
        if (mt.callListNumQw == 0)
            continue;
        // Tags and copied quadwords of the heaviest material: texture
        // registers, call-list pieces, three list entries, the tint, the
        // vertex data.
        if (!r.AllowFor(32 + mt.callListNumQw / 256u))
            break;
        u32 base = 0;
        if (mt.texid == TEXID_NONE) {
            RefUnpack(mt.CallList(), mt.callListNumQw, 0);
        } else if (mt.texvuaddr == 0) {
            const int at = SendTextured(mf, mt, params, held);
            if (at < 0) {
                if (r.bFull)
                    break;
                continue;
            }
            base = u32(at);
        } else {
            SendTextureList(mf, mt, params, held);
        }
        if (mt.flags & MTL_TINT)
            SendTint(mf, mt, params, base);
        // The vertex data; the MSCAL before it runs the call list.
        if (mt.dataNumQw > 0) {
            r._Ref(DMA_REF, mt.Data(), mt.dataNumQw, VIF_MSCAL, VIF_NOP, false);
        } else {
            r.Put(VIF_MSCAL);
        }
    }
    EndInstancing();
}

void DrawToZBuff(const MODEL* model)
{
    Renderer& r = therenderer;
    // Alpha test never passing, failing pixels writing depth only, depth
    // test greater or equal: the shape fills the depth buffer, no colour.
    const u64 zonly[] = {0x52001, GS_TEST_1};
    RegisterCommand(zonly, 1);
    for (int i = 0; i < model->nOpaque; ++i) {
        const MATERIAL& mt = model->mtls[i];
        if (mt.dataNumQw == 0)
            continue;
        const CallListFacts f = ReadCallList(mt);
        const u32 stride = (mt.desc & 7) != 0 ? u32(mt.desc & 7) : f.stride;
        if (stride == 0)
            continue;
        const bool skinned = (model->flags & MDL_SKINNED) != 0;
        const u32 skinSlot = f.skin ? f.skinSlot : stride - 1;
        r.BeginCommands();
        if (!r.unpack || !r.AllowFor(6))
            break;
        const u32 prog = skinned ? 3 : 2;
        r.call(mc2SetMaterial, stride, prog + 1, 0u);
        if (skinned)
            r.call(mc2Skin, skinSlot, 0u, 0u);
        r.call(mc2TransformCompressed, model->compressionOffset[0], model->compressionOffset[1],
               model->compressionOffset[2]);
        // A multi-pass stream's extra runs only end (k = 2).
        const u32 k = (mt.desc & 0x4000) ? 2 : 1;
        r.call(mc2KickFlip, k, 0x30004000u | f.prim << 15, 0x412u);
        r._EndCommands();
        r._Ref(DMA_REF, mt.Data(), mt.dataNumQw, VIF_NOP, VIF_NOP, false);
    }
    // The scene's depth test again, without the alpha test, for the colour
    // drawing that follows.
    const u64 scene[] = {0x50000, GS_TEST_1};
    RegisterCommand(scene, 1);
}

void RenderInstances(int n)
{
    if (n < 0)
        n = 0;
    if (n > int(MC2_MAX_INSTANCES)) {
        ReportOnce(g_instancesTooMany, "more instance matrices than vector unit memory holds; the rest are dropped");
        n = MC2_MAX_INSTANCES;
    }
    const u32 end = MC2_INSTANCES + 4 * u32(n);
    therenderer.call(mc2Instances, end, end, end);
    g_instancing = n > 0;
}

void SendInstanceMatrices(const Matrix* mats, int n)
{
    if (mats == nullptr || n <= 0)
        return;
    if (n > int(MC2_MAX_INSTANCES)) {
        ReportOnce(g_instancesTooMany, "more instance matrices than vector unit memory holds; the rest are dropped");
        n = MC2_MAX_INSTANCES;
    }
    therenderer.SetGlobals(MC2_INSTANCES, 4 * u32(n), reinterpret_cast<const u64*>(mats[0].Raw()));
}

void Draw(RenderContext& rc, MDLFILE* mf, MODEL* model, const Matrix& mat, const u8* params)
{
    if (model == nullptr || therenderer.GetPtr() == nullptr)
        return;
    const Matrix m = (model->flags & MDL_FACECAMERA) ? FlattenWRT(mat, rc.view_world.x.xyz()) : mat;
    if (model->nOpaque > 0) {
        const float alpha = rc.GetGlobalTransparency();
        if (alpha == 0.0f)
            return;
        if (alpha != 1.0f) {
            theTransparencies.Add(rc, model, mf, params, m);
            return;
        }
        model->Setup(rc, m);
        model->Render(mf, params, 0, model->nOpaque);
    }
    if (model->nTranslucent > 0)
        theTransparencies.Add(rc, model, mf, params, m);
}

// ---------------------------------------------------------------------------
// Objects

namespace {

// The palette of a skinned model goes into the frame's chain, so that it
// lives as long as the transparency pass may need it.  False when the chain
// has no room for it (the model is then not drawn: its vertices would be
// skinned by whatever lies where the palette belongs).
bool SendPalette(const Matrix* palette, int n)
{
    Renderer& r = therenderer;
    r.EndCommands();
    if (!r.AllowFor(4 * u32(n) + 8))
        return false;
    u_long128* copy = r.Skip(4 * u32(n));
    std::memcpy(copy, palette, 64 * size_t(n));
    r.SetMatrixPalette(reinterpret_cast<const Matrix*>(copy), n, false);
    return r.nmats == n;
}

// A carried object of a skinned model (not a bone) at world matrix world.
void DrawCarried(RenderContext& rc, Object* o, const Matrix& world, float depth)
{
    if (o->geom != nullptr && o->mdlfile != nullptr) {
        GEOMETRY0* g = o->geom->GetLowRes(depth);
        MODEL* model = g != nullptr ? ModelOf(o->mdlfile, g) : nullptr;
        if (model != nullptr && (model->flags & MDL_SKINNED)) {
            DrawSkinned(rc, o, g, world, depth);
            return;
        }
        if (model != nullptr)
            Draw(rc, o->mdlfile, model, world, o->geom->params);
    }
    if (o->child != nullptr)
        DrawSubObj(rc, o->child, world, depth);
}

}  // namespace

void DrawSkinned(RenderContext& rc, Object* obj, GEOMETRY0* g, const Matrix& mat, float depth)
{
    MODEL* model = ModelOf(obj->mdlfile, g);
    if (model == nullptr)
        return;
    Matrix palette[MDL_MAX_PALETTE];
    palette[0] = Matrix(true);
    int count = 1;

    // Depth first over the descendants; the later siblings of a bone with
    // children wait on the stack with their parent's frame.
    struct Pending
    {
        Object* o;
        Matrix parent;
    };
    Pending stack[MDL_MAX_BONE_STACK];
    int sp = 0;
    Object* o = obj->child;
    Matrix parent(true);
    for (;;) {
        if (o == nullptr) {
            if (sp == 0)
                break;
            --sp;
            o = stack[sp].o;
            parent = stack[sp].parent;
            continue;
        }
        if (o->flags & OBJF_HIDDEN) {
            o = o->sibling;
            continue;
        }
        const Matrix frame = o->mat * parent;
        if (o->type != OBJT_BONE) {
            DrawCarried(rc, o, frame * mat, depth);
            o = o->sibling;
            continue;
        }
        if (count < MDL_MAX_PALETTE)
            palette[count++] = static_cast<BoneObject*>(o)->invinitmat * frame;
        else
            ReportOnce(g_paletteFull, "a skinned model has more bones than its palette of 128 matrices holds");
        if (o->child == nullptr) {
            o = o->sibling;
            continue;
        }
        if (o->sibling != nullptr) {
            if (sp < MDL_MAX_BONE_STACK) {
                stack[sp].o = o->sibling;
                stack[sp].parent = parent;
                ++sp;
            } else {
                ReportOnce(g_stackFull, "a skinned hierarchy nests deeper than 32 pending siblings; the rest is "
                                        "left out");
            }
        }
        parent = frame;
        o = o->child;
    }

    if (SendPalette(palette, count))
        Draw(rc, obj->mdlfile, model, mat, obj->geom != nullptr ? obj->geom->params : nullptr);
    therenderer.SetMatrixPalette(nullptr, 0, true);
}

void DrawSubObj(RenderContext& rc, Object* first, const Matrix& parent, float depth)
{
    for (Object* o = first; o != nullptr; o = o->sibling) {
        if (o->flags & OBJF_HIDDEN)
            continue;
        const Matrix world = o->mat * parent;
        if (rc.TestCull(world.GetTrans(), o->radius))
            continue;
        if ((o->flags & OBJF_DRAWSELF) && o->SendMessage(OM_RENDER, &rc) != 0)
            return;
        if (o->geom != nullptr && o->mdlfile != nullptr) {
            GEOMETRY0* g = o->geom->GetLowRes(depth);
            MODEL* model = g != nullptr ? ModelOf(o->mdlfile, g) : nullptr;
            if (model != nullptr && (model->flags & MDL_SKINNED)) {
                DrawSkinned(rc, o, g, world, depth);
                continue;
            }
            if (model != nullptr)
                Draw(rc, o->mdlfile, model, world, o->geom->pparams);
        }
        if (o->child != nullptr)
            DrawSubObj(rc, o->child, world, depth);
    }
}

void Draw(RenderContext& rc, Object* obj, const Matrix& mat)
{
    // Nothing can be drawn before the first frame's chain is opened.
    if (obj == nullptr || (obj->flags & OBJF_HIDDEN) || therenderer.GetPtr() == nullptr)
        return;
    if ((obj->flags & OBJF_DRAWSELF) && obj->SendMessage(OM_RENDER, &rc) != 0)
        return;
    const float depth = ViewDepth(rc, mat);
    if (obj->geom != nullptr && obj->mdlfile != nullptr) {
        GEOMETRY0* g = obj->geom->GetLowRes(depth);
        MODEL* model = g != nullptr ? ModelOf(obj->mdlfile, g) : nullptr;
        if (model != nullptr && (model->flags & MDL_SKINNED)) {
            DrawSkinned(rc, obj, g, mat, depth);
            return;
        }
        if (model != nullptr)
            Draw(rc, obj->mdlfile, model, mat, obj->geom->pparams);
    }
    if (obj->child != nullptr)
        DrawSubObj(rc, obj->child, mat, depth);
}
