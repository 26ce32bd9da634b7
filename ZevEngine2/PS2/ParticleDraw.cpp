// Particle drawing: one DIRECT block per manager with its register settings
// and a register-list record per visible particle (ParticleDraw.h).
#include "ZevEngine2/PS2/ParticleDraw.h"

#include "ZevEngine2/World.h"
#include "ZevEngine2/PS2/Render.h"
#include "ZevEngine2/PS2/RenderContext.h"

namespace {

// Particles per register-list record: keeps NLOOP (15 bits) and the DIRECT
// block's quadword count (16 bits) in range however long a manager's list
// grows; a longer list continues in another block.
constexpr u32 kRecordsPerBlock = 4096;

// A screen coordinate in 1/16 pixel, held to the 16 bits the GS takes (an
// undefined value gives 0).
u64 Fixed4(float v)
{
    const float f = v * 16.0f;
    if (!(f > 0.0f))
        return 0;
    return f >= 65535.0f ? 0xFFFFu : u64(f);
}

// The depth the microcode gives the same point, so that particles meet the
// scene's depth buffer the way its geometry does: the near plane maps to
// trans + scale, the far plane to trans - scale (nearer is larger), held to
// the viewport's range, 24 bits.
u64 Depth(const RenderContext& rc, VectorPos pos)
{
    return rc.ScreenDepth(rc.world_screen * Vector(pos));
}

u64 Xyz(float x, float y, u64 z)
{
    return Fixed4(x) | Fixed4(y) << 16 | z << 32;
}

u64 Rgbaq(Colour c)
{
    return c.Word();   // Q 0: texture coordinates are UV
}

u64 Uv(u32 u, u32 v)
{
    return (u & 0x3FFF) | u64(v & 0x3FFF) << 16;
}

// Texture coordinates of a particle's frame.
struct FrameUV
{
    u32 left, right, top, bottom;
};

FrameUV FrameOf(const Particle* p)
{
    const PS2Part* part = p->partMan != nullptr ? p->partMan->GetPart() : nullptr;
    const u32 w = part != nullptr ? part->texWidth : 0;
    const u32 h = part != nullptr ? part->texHeight : 0;
    const u32 f = u32(p->frame);
    return FrameUV{8, w * 16 + 8, f * h * 16 + 8, (f + 1) * h * 16 + 8};
}

// Culling and projection shared by sprites and flats.  False when nothing is
// to be drawn (onScreen then says why).
bool Project(Particle* p, const RenderContext& rc, Vector& s)
{
    if (rc.TestCull(p->pos, p->w * p->scale) != 0) {
        p->onScreen = false;
        return false;
    }
    s = rc.world_screen * Vector(p->pos);
    // Too near (or behind the eye): left out this frame, but not dropped.
    return s[3] > 0.5f;
}

}  // namespace

u64 ParticleClamp(const PS2Part* part)
{
    if (part == nullptr)
        return 0;
    const u64 maxu = u64(part->texWidth > 0 ? part->texWidth - 1 : 0) & 0x3FF;
    const u32 rows = u32(part->texHeight) * part->numFrames;
    const u64 maxv = u64(rows > 0 ? rows - 1 : 0) & 0x3FF;
    // WMS = WMT = 2 (region clamp), MINU = MINV = 0.
    return 2 | 2 << 2 | maxu << 14 | maxv << 34;
}

u64* ParticleDrawSprite(Particle* p, const RenderContext& rc, u64* out)
{
    Vector s;
    if (!Project(p, rc, s))
        return out;
    const float q = 1.0f / s[3];
    const float cx = s[0] * q, cy = s[1] * q;
    const float ex = p->w * p->scale * rc.view_scale[0] * q;
    const float ey = p->h * p->scale * rc.view_scale[1] * q;
    const u64 z = Depth(rc, p->pos);
    const FrameUV uv = FrameOf(p);
    *out++ = Rgbaq(p->colour);
    *out++ = Uv(uv.left, uv.top);
    *out++ = Xyz(cx - ex, cy - ey, z);
    *out++ = Uv(uv.right, uv.bottom);
    *out++ = Xyz(cx + ex, cy + ey, z);
    p->onScreen = true;
    return out;
}

u64* ParticleDrawFlat(Particle* p, const RenderContext& rc, u64* out)
{
    Vector s;
    if (!Project(p, rc, s))
        return out;
    const float q = 1.0f / s[3];
    const float cx = s[0] * q, cy = s[1] * q;
    // The effect code sets angles of a whole turn; the sine routine takes
    // [-pi, pi].
    const Vector cs = VU0CosSin(FixAng(p->rotZ));
    const float c = cs[0], sn = cs[1];
    const float k = p->scale * q;
    const float vx = rc.view_scale[0], vy = rc.view_scale[1];
    // A = (-w, h) and B = (w, h) turned by rotZ, scaled to the screen.
    const float w = p->w, h = p->h;
    const float ax = (c * -w - sn * h) * k * vx, ay = (sn * -w + c * h) * k * vy;
    const float bx = (c * w - sn * h) * k * vx, by = (sn * w + c * h) * k * vy;
    const u64 z = Depth(rc, p->pos);
    const FrameUV uv = FrameOf(p);
    *out++ = Rgbaq(p->colour);
    *out++ = Uv(uv.right, uv.top);
    *out++ = Xyz(cx - ax, cy - ay, z);
    *out++ = Uv(uv.left, uv.top);
    *out++ = Xyz(cx - bx, cy - by, z);
    *out++ = Uv(uv.right, uv.bottom);
    *out++ = Xyz(cx + bx, cy + by, z);
    *out++ = Uv(uv.left, uv.bottom);
    *out++ = Xyz(cx + ax, cy + ay, z);
    p->onScreen = true;
    return out;
}

u64* ParticleDrawLine(Particle* p, const RenderContext& rc, u64* out)
{
    if (rc.TestCull(p->pos) != 0) {
        p->onScreen = false;
        return out;
    }
    const Vector s1 = rc.world_screen * Vector(p->pos);
    const Vector s2 = rc.world_screen * Vector(p->pos2);
    const float q1 = 1.0f / s1[3], q2 = 1.0f / s2[3];
    *out++ = Rgbaq(p->colour);
    *out++ = Xyz(s1[0] * q1, s1[1] * q1, Depth(rc, p->pos));
    *out++ = Rgbaq(p->colour2);
    *out++ = Xyz(s2[0] * q2, s2[1] * q2, Depth(rc, p->pos2));
    p->onScreen = true;
    return out;
}

void PartManager::Draw(const RenderContext& rc)
{
    Renderer& r = therenderer;
    if (list.IsEmpty() || r.p == nullptr || r.bFull)
        return;
    auto room = [&r]() -> u32 {
        const u32* limit = r.Limit();
        if (limit == nullptr)
            return 0xFFFFFFFFu;
        return limit > r.p ? u32(limit - r.p) * 4 : 0;
    };
    if (room() < PARTDRAW_MIN_ROOM_BYTES)
        return;

    int type = partType;
    if (type < 0 || type >= PART_TYPE_TOTAL)
        type = PART_TYPE_SPRITE;
    static const u32 kRegs[PART_TYPE_TOTAL] = {PARTDRAW_SPRITE_REGS, PARTDRAW_FLAT_REGS, PARTDRAW_LINE_REGS};
    static const u64 kRegList[PART_TYPE_TOTAL] = {PARTDRAW_SPRITE_REGLIST, PARTDRAW_FLAT_REGLIST,
                                                  PARTDRAW_LINE_REGLIST};
    static const u32 kPrim[PART_TYPE_TOTAL] = {PARTDRAW_PRIM_SPRITE, PARTDRAW_PRIM_FLAT, PARTDRAW_PRIM_LINE};
    u64* (*const drawer)(Particle*, const RenderContext&, u64*) =
        type == PART_TYPE_SPRITE ? ParticleDrawSprite : type == PART_TYPE_FLAT ? ParticleDrawFlat : ParticleDrawLine;
    const u32 nregs = kRegs[type];

    u64 clamp = 0;
    if (type != PART_TYPE_LINE) {
        clamp = ParticleClamp(GetPart());
        Texture* tex = GetTexture();
        if (tex != nullptr)
            r.Use(tex, TEXMODE_MODULATE, clamp, 0);
        if (r.bFull)
            return;
    }

    // The pipeline flush lets earlier VU1 work reach the GS before the
    // registers change under it.
    r.EndCommands();
    r.Put(VIF_FLUSH);
    r.OpenDirect();
    u64* out = reinterpret_cast<u64*>(r.p);
    const sceGifTag head = MakeGifTag(5, false, 0, 1, GS_AD);
    std::memcpy(out, &head, 16);
    out += 2;
    const u64 regs[5][2] = {{PARTDRAW_TEST, GS_TEST_1},
                            {clamp, GS_CLAMP_1},
                            {u64(alpha), GS_ALPHA_1},
                            {u64(dither ? 1 : 0), GS_DTHE},
                            {kPrim[type], GS_PRIM}};
    for (const auto& reg : regs) {
        *out++ = reg[0];
        *out++ = reg[1];
    }

    // Room for a record, its padding and the tag and DIRECT code of a
    // following block.
    const u32 recordBytes = nregs * 8;
    Particle* p = list.Head();
    for (;;) {
        u64* const tag = out;
        out += 2;
        u64* const first = out;
        u32 written = 0;
        bool cut = false;
        for (; !p->IsEOList() && written < kRecordsPerBlock; p = p->Next()) {
            if (p->IsDead())
                continue;
            r.p = reinterpret_cast<u32*>(out);
            if (room() < recordBytes + 48) {
                cut = true;
                break;
            }
            u64* next = drawer(p, rc, out);
            if (next != out)
                ++written;
            out = next;
        }
        const u32 words = u32(out - first);
        if (words & 1)
            *out++ = 0;   // the GIF drops the upper half of an odd record's last quadword
        const sceGifTag t = MakeGifTag(words / nregs, true, 1, nregs & 0xF, kRegList[type]);
        std::memcpy(tag, &t, 16);
        r.p = reinterpret_cast<u32*>(out);
        r.CloseDirect();
        if (cut) {
            // The rest keep their last onScreen and are drawn next frame.
            r.NoteFull();
            return;
        }
        if (p->IsEOList())
            return;
        r.OpenDirect();
        out = reinterpret_cast<u64*>(r.p);
    }
}

// The world's managers: links of destroyed managers are dropped on the way.
void PartList::Draw(const RenderContext& rc)
{
    for (ObjectLink* l = Head(); !l->IsEOList();) {
        ObjectLink* next = l->Next();
        Object* obj = l->data;
        if (obj->IsDead())
            RemoveLink(l);
        else
            static_cast<PartManager*>(obj)->Draw(rc);
        l = next;
    }
}
