// The frame's transparent models, drawn after the opaque scene by depth
// bucket, far to near.
#include "ZevEngine2/PS2/Transparency.h"

#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/MC2/Microcode2.h"
#include "ZevEngine2/PS2/Model.h"
#include "ZevEngine2/PS2/Render.h"
#include "ZevEngine2/PS2/RenderContext.h"

Transparencies theTransparencies;

namespace {

bool g_tableFull;
bool g_tooFar;

// The bucket before it is held to the table: may be 256 and more.
u32 RawBucket(float z, float farz)
{
    if (z < 0.0f)
        return 0;
    const float q = z / farz;
    u32 bits;
    std::memcpy(&bits, &q, 4);
    return bits >> 22;
}

}  // namespace

int Transparencies::Bucket(float z, float farz)
{
    return int(std::min<u32>(RawBucket(z, farz), TRANSPARENCY_BUCKETS - 1));
}

void Transparencies::Init(RenderContext& rc)
{
    fog_mode = rc.fog_mode;
    rc.mode = 16;
    num = 0;
    dropped = 0;
    clamped = 0;
    for (Transparency*& b : buckets)
        b = nullptr;
}

void Transparencies::Add(RenderContext& rc, const MODEL* model, const MDLFILE* mf, const u8* params,
                         const Matrix& mat)
{
    if (num >= TRANSPARENCY_MAX) {
        ++dropped;
        if (!g_tableFull)
            printf("Transparencies: more than %d in a frame; the rest are not drawn\n", TRANSPARENCY_MAX);
        g_tableFull = true;
        return;
    }
    Transparency& t = table[num++];
    t.model = model;
    t.mf = mf;
    t.params = params;
    t.mat = mat;
    t.ambient_alpha = rc.GetGlobalTransparency();
    t.nmats = therenderer.nmats;
    t.matpalette = therenderer.nmats != 0 ? therenderer.matpalette : nullptr;
    t.fog_mode = fog_mode;
    const float z = (rc.world_view * Vector(mat.w.xyz(), 1.0f))[2];
    const u32 raw = RawBucket(z, rc.farz);
    if (raw >= TRANSPARENCY_BUCKETS) {
        ++clamped;
        if (!g_tooFar)
            printf("Transparencies: a model at or beyond twice the far plane is drawn with the farthest\n");
        g_tooFar = true;
    }
    const int b = int(std::min<u32>(raw, TRANSPARENCY_BUCKETS - 1));
    t.next = buckets[b];
    buckets[b] = &t;
}

void Transparencies::Draw(RenderContext& rc)
{
    Renderer& r = therenderer;
    r.EndCommands();
    // Dithering on, colours clamped, the fog colour of this view; sent as a
    // register packet through VU1 so that it follows the opaque scene's
    // drawing.  Clamped (COLCLAMP 1), not masked: what is blended from here
    // to the frame's end (these models, the particles, the glows, a flash
    // over the screen) would otherwise wrap where it passes full brightness,
    // an added white puff coming out black and a red wash over the HUD's
    // white turning it cyan.
    r.BeginCommands();
    if (r.unpack && r.AllowFor(4)) {
        const u32 head[4] = {3u | 0x8000u, 0x10000000u, GS_AD, u32(mc2Giftag) / 8};
        const u64 regs[6] = {1, GS_DTHE, 1, GS_COLCLAMP, rc.fog_colour.Word() & 0xFFFFFFu, GS_FOGCOL};
        for (u32 w : head)
            r.Put(w);
        for (int i = 0; i < 3; ++i) {
            r.Put(regs[2 * i]);
            r.Put(u32(regs[2 * i + 1]));
            r.Put(0u);
        }
    }
    rc.mode = 32;
    bool faded = false;
    for (int b = TRANSPARENCY_BUCKETS - 1; b >= 0; --b) {
        for (Transparency* t = buckets[b]; t != nullptr; t = t->next) {
            const MODEL* model = t->model;
            rc.SetGlobalTransparency(t->ambient_alpha);
            r.SetMatrixPalette(t->nmats != 0 ? reinterpret_cast<const Matrix*>(t->matpalette) : nullptr, t->nmats,
                               false);
            r.SetGlobals(MC2_LIGHTCOLOURS + 3, 1, reinterpret_cast<const u64*>(&rc.light_colour.w));
            rc.fog_mode = t->fog_mode;
            model->Setup(rc, t->mat);
            if (t->ambient_alpha != 1.0f) {
                faded = true;
                DrawToZBuff(model);
                model->Render(t->mf, t->params, 0, model->nOpaque + model->nTranslucent);
            } else {
                model->Render(t->mf, t->params, model->nOpaque, model->nTranslucent);
            }
        }
    }
    rc.SetGlobalTransparency(1.0f);
    if (faded) {
        // What is drawn after this pass is not faded.
        r.SetGlobals(MC2_LIGHTCOLOURS + 3, 1, reinterpret_cast<const u64*>(&rc.light_colour.w));
    }
    r.SetMatrixPalette(nullptr, 0, true);
    rc.fog_mode = 0;
}

void InitTransparencies(RenderContext& rc)
{
    theTransparencies.Init(rc);
}

void AddTransparency(RenderContext& rc, const MODEL* model, const MDLFILE* mf, const u8* params, const Matrix& mat)
{
    theTransparencies.Add(rc, model, mf, params, mat);
}

void DrawTransparencies(RenderContext& rc)
{
    theTransparencies.Draw(rc);
}

void SetFogTransparencies(int mode)
{
    theTransparencies.fog_mode = mode;
}
