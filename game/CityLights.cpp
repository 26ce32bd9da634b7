// Traffic lights, street lights and street signs.
#include "game/CityLights.h"

#include <bit>
#include <cmath>
#include <cstring>

#include "ZevEngine2/modelfile.h"
#include "ZevEngine2/Anim.h"
#include "ZevEngine2/World.h"
#include "ZevEngine2/PS2/Font.h"
#include "ZevEngine2/PS2/Model.h"
#include "ZevEngine2/PS2/Platform.h"
#include "ZevEngine2/PS2/Render2D.h"
#include "ZevEngine2/PS2/RenderContext.h"
#include "game/MAIN.h"
#include "game/QuadTree.h"
#include "game/explosn.h"

int streetLight = 0;

namespace {

constexpr unsigned OBJF_WASDRAWN = 0x100000;   // told OM_WASDRAWN after it was drawn

Colour ColourWord(u32 w) { return Colour(u8(w), u8(w >> 8), u8(w >> 16), u8(w >> 24)); }
u32 GlowWord(const Glow& g) { return LaneWord(g.v0[3]); }

// The world position of a node under the prop's node.
VectorPos NodeWorldPos(Object* obj, const NODE* n)
{
    return obj->GetWorldMatrix() * n->GetMatrix().GetTrans();
}

// The six lamp nodes of the prop's model, found once per model file.
NODE** LampNodes(Object* obj)
{
    MDLFILE* mf = obj->mdlfile;
    if (mf == nullptr)
        return nullptr;
    if (mf->user == nullptr) {
        NODE** lamps = static_cast<NODE**>(mf->CreateUser(sizeof(NODE*) * LAMP_NODES));
        if (lamps == nullptr)
            return nullptr;
        for (int i = 0; i < LAMP_NODES; i++)
            lamps[i] = nullptr;
        NODE* node = obj->GetNode();
        for (int k = 1; k <= 3 && node != nullptr; k++) {
            NODE* first = mf->FindNodeById1(node->child, u16(0x8000 | k));
            lamps[k - 1] = first;
            if (first != nullptr)
                lamps[k + 2] = mf->FindNodeById1(first->sibling, u16(0x8000 | k));
        }
    }
    return static_cast<NODE**>(mf->user);
}

// The road leaving j in slot i, as a unit direction.
VectorDir Leaving(const Junction* j, int i)
{
    const RoadSeg* rs = j->roadsegs[i];
    const Bezier& b = rs->bezier;
    const VectorXYZ d = rs->jtn[1] == j ? VectorXYZ(b.c2.v) - VectorXYZ(b.c3.v) : VectorXYZ(b.c1.v) - VectorXYZ(b.c0.v);
    return Normalise(VectorDir(d));
}

}  // namespace

// ---------------------------------------------------------------------------
// Traffic lights

void StopLightPart::Init(Object* obj)
{
    iLastCmd = -1;
    obj->flags = (obj->flags & ~OBJF_SELFANIMATING) | OBJF_WASDRAWN;
    LampNodes(obj);
}

void StopLightPart::WasDrawn(Object* obj, bool)
{
    if (u16Flags == 0) {
        const Matrix w = obj->GetWorldMatrix();
        const VectorDir x(w.x[0], w.x[1], w.x[2]);
        Junction* j = FindJunction(w.GetTrans(), -x);
        if (j == nullptr) {
            obj->flags &= ~OBJF_WASDRAWN;   // dark for good
            return;
        }
        int slot = 0;
        float best = 0.0f;
        for (int i = 0; i < j->nRoadsegs; i++) {
            if (j->roadsegs[i] == nullptr)
                continue;
            const float d = std::fabs(Dot(Leaving(j, i), x));
            if (d > best) {
                best = d;
                slot = i;
            }
        }
        j->u8Flags = u8((j->u8Flags & 0xFC) | 2);   // its signals run from now on
        const bool first = j->nRoadsegs == 3 ? slot <= 1 : (slot & 1) == 0;
        u16Flags = u16(j->u8Flags + (first ? SIGNAL_FIRSTGROUP : 0));
        u16TimeOffset = j->u16TimeOffset;
        // Dim red glows on both faces first; the first Timer then shows the
        // lamp that is lit.
        NODE** lamps = LampNodes(obj);
        for (int f = 0; f < 2; f++) {
            const NODE* n = lamps != nullptr ? lamps[3 * f] : nullptr;
            if (n != nullptr)
                glow[f].Set(NodeWorldPos(obj, n), ColourWord(0x20000040));
            else
                glow[f].v0 = Vector(0.0f, 0.0f, 0.0f, 0.0f);
        }
        Timer(obj);
    }
    if (GlowWord(glow[0]) != 0) {
        gGlows.AddTail(&glow[0]);
        if (GlowWord(glow[1]) != 0)
            gGlows.AddTail(&glow[1]);
    }
}

void StopLightPart::Timer(Object* obj)
{
    const int lamp = GetGeneralSignalCommand(u16Flags, u16TimeOffset, world.time) & 0xC;
    if (lamp != iLastCmd) {
        iLastCmd = lamp;
        // The model's animation frames are the lamp states.
        const int frame = lamp == 0 ? 2 : lamp == 12 ? 0 : 4;
        const int index = lamp == 0 ? 2 : lamp == 12 ? 0 : 1;
        const u32 colour = lamp == 0 ? 0x80004000 : lamp == 12 ? 0x80000040 : 0x80002040;
        // The lamps carry the animation, the prop's own node need not: the
        // hierarchy is set and posed whatever the root holds.
        // Within the clock's first frames after it wraps the start would
        // wrap too, and the player, reading a wrapped start a frame short of
        // the clock's period, would pose the frame before: pose from start 0.
        int now = int((AnimationClock().t >> 8) & 0xFFFF);
        if (now < frame)
            now = frame;
        obj->SetAnimHierarchy(0, now - frame);
        AnimateHierarchy(obj, float(now), 0.0f);
        NODE** lamps = LampNodes(obj);
        if (lamps != nullptr && lamps[index] != nullptr) {
            glow[0].Set(NodeWorldPos(obj, lamps[index]), ColourWord(colour));
            if (lamps[index + 3] != nullptr)
                glow[1].Set(NodeWorldPos(obj, lamps[index + 3]), ColourWord(colour));
        }
    }
    // Far lights are polled less often.
    const VectorPos cam = rc.view_world.GetTrans();
    const VectorPos p = obj->GetWorldPos();
    const float dx = p[0] - cam[0], dz = p[2] - cam[2];
    const int d = int(std::sqrt(dx * dx + dz * dz));
    world.SetTimer(obj, AnimTime(u32(8 + 4 * d) << 8), nullptr);
}

// ---------------------------------------------------------------------------
// Street lights

void StreetLightPart::Init(Object* obj, const ExteriorSpecific_params* params)
{
    // The block holds the lamp's bytes last to first.
    colour = params != nullptr ? Colour(params->color[3], params->color[2], params->color[1], params->color[0])
                               : Colour(0x80, 0x80, 0x80, 0x80);
    NODE* lamp = obj->FindNodeById(LAMP_RED_ID);
    const VectorPos at = lamp != nullptr ? NodeWorldPos(obj, lamp) : obj->GetWorldPos();
    glow.Set(at, ColourWord(0x80408080));
    light.SetColour(VectorXYZ(float(colour.r) / 256.0f, float(colour.g) / 256.0f, float(colour.b) / 256.0f));
    light.SetPos(at);
    light.SetPointLight(params != nullptr ? params->radius : 0.0f, true);
    obj->flags |= OBJF_WASDRAWN;
}

void StreetLightPart::WasDrawn(Object*)
{
    if (streetLight == 0)
        return;
    gGlows.AddTail(&glow);
    // Full up to 9.375 away, fading out evenly to nothing at 15.625.
    const float z = (rc.world_view * light.GetPos())[2];
    if (z < 15.625f) {
        const float f = z <= 9.375f ? 1.0f : (15.625f - z) / 6.25f;
        light.SetColour(VectorXYZ(float(colour.r) * f / 256.0f, float(colour.g) * f / 256.0f,
                                  float(colour.b) * f / 256.0f));
    }
    AddLight(light);
}

// ---------------------------------------------------------------------------
// Street signs

void StreetSignPart::Init(Object* obj)
{
    ri.Invalidate();
    obj->flags |= OBJF_DRAWSELF;
}

int StreetSignPart::Render(Object* obj, RenderContext* rcx)
{
    MDLFILE* mf = obj->mdlfile;
    if (mf == nullptr || obj->geom == nullptr || mf->nTextures <= 0 || rcx == nullptr)
        return 0;
    // Far enough that a smaller mip level would be used: no text is written.
    const MODEL* model = mf->GetModel(obj->geom->index);
    const Matrix world = obj->GetWorldMatrix();
    const float w = (rcx->world_cull * Vector(world.GetTrans()))[3] - obj->radius;
    int level = int((std::bit_cast<u32>(w) >> 19) & 0xFFF) - 0x7F0;
    if (model != nullptr && model->NumMaterials() > 0)
        level += model->mtls[0].mipmapk;
    if (level >= 16)
        return 0;
    if (ri.id < 0) {
        RoadSeg* seg = FindRoadSeg(world.GetTrans(), VectorDir(world.z[0], world.z[1], world.z[2]));
        if (seg == nullptr) {
            obj->flags &= ~OBJF_DRAWSELF;   // no street here: never asked again
            return 0;
        }
        ri = seg;
    }
    char name[256];
    GetRoadName(name, ri);
    return DrawSignWithText(obj, rcx, name, true);
}

namespace {

// The scene's test: depth greater or equal, no alpha test.
constexpr u64 kSceneTest = 0x50000;

}  // namespace

int DrawSignWithText(Object* obj, RenderContext* rcx, const char* text, bool fit)
{
    MDLFILE* mf = obj->mdlfile;
    if (mf == nullptr || mf->nTextures <= 0 || rcx == nullptr)
        return 0;
    Texture* tex = mf->GetTexture(0);
    if (!tex->Hold())
        return 0;
    // The text goes into the model's first texture, which every sign of the
    // model shares: each writes its own just before it is drawn.
    Font& font = StreetSignFont();
    Render2D r;
    r.Open(therenderer);
    r.SetDraw(static_cast<Surface&>(*tex), false);
    r.SetZBuffer(Platform::GetZBuffer(), false, false);
    const SignText place = fit ? FitSignText(font.Len2(text), tex->width) : SignText{0, 1.0f};
    if (place.scale < 1.0f)
        font.SetMat(Matrix2{place.scale, 0.0f, 0.0f, 1.0f});
    else
        font.ClearMat();
    r.SetColour(Colour(0x80, 0x80, 0x80, 0x80));
    font.Print(r, float(place.x), 0.0f, 16777215.0f, text, -1);
    r.SetDraw(Platform::GetDrawBuffer(), false);
    r.SetZBuffer(Platform::GetZBuffer(), false, true);
    // The glyphs leave their own test in force (alpha above 0, depth always
    // passing), while the models drawn after them, the sign first, take the
    // scene's as they find it: depth greater or equal, no alpha test.
    r.SetRegister(GS_TEST_1, kSceneTest);
    r.Close(therenderer);
    obj->flags &= ~OBJF_DRAWSELF;
    Draw(*rcx, obj, obj->GetWorldMatrix());
    obj->flags |= OBJF_DRAWSELF;
    tex->Release();
    therenderer.ClearTexture();
    return 1;
}

// ---------------------------------------------------------------------------
// Freeway signs

int FreewaySign::_mh(Object* obj, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return CreateProp<FreewaySign>(_mh);
    FreewaySign* self = static_cast<FreewaySign*>(obj);
    switch (msg) {
    case OM_INIT: {
        if (obj->type == OBJT_PLACEHOLDER) {
            obj->SendMessage(OM_CREATE, data);
            return 0;
        }
        self->params = static_cast<FreewaySign_params*>(data);
        // The block holds the text's offset in the model file: it is read
        // here, and the block is left as it is for the model's other signs.
        self->text = nullptr;
        MDLFILE* mf = obj->mdlfile;
        const u32 size = ModelFileSize(mf);
        const u8* base = mf != nullptr ? reinterpret_cast<const u8*>(mf->header) : nullptr;
        if (self->params != nullptr && base != nullptr) {
            const u32 at = self->params->text;
            if (at != 0 && at < size && std::memchr(base + at, 0, size - at) != nullptr)
                self->text = reinterpret_cast<const char*>(base + at);
        }
        if (self->text != nullptr)
            obj->flags |= OBJF_DRAWSELF;
        return 0;
    }
    case OM_RENDER:
        return self->text != nullptr ? DrawSignWithText(obj, static_cast<RenderContext*>(data), self->text, false) : 0;
    case OM_DIE:
        delete self;
        return -1;
    default:
        return 0;
    }
}

// ---------------------------------------------------------------------------
// The handlers

namespace {

enum : int
{
    PART_STOPLIGHT = 1,
    PART_STREETLIGHT = 2,
    PART_SIGN = 4,
    PART_FREEWAY = 8,
};

template <class T, int PARTS>
int PropMessage(Object* obj, OBJMESSAGE msg, void* data)
{
    if (msg == OM_CREATE)
        return CreateProp<T>(T::_mh);
    T* self = static_cast<T*>(obj);
    switch (msg) {
    case OM_INIT: {
        if (obj->type == OBJT_PLACEHOLDER) {
            obj->SendMessage(OM_CREATE, data);
            return 0;
        }
        const ExteriorSpecific_params* params = static_cast<const ExteriorSpecific_params*>(data);
        if constexpr ((PARTS & PART_STOPLIGHT) != 0)
            static_cast<StopLightPart*>(self)->Init(obj);
        if constexpr ((PARTS & PART_STREETLIGHT) != 0)
            static_cast<StreetLightPart*>(self)->Init(obj, params);
        if constexpr ((PARTS & PART_SIGN) != 0)
            static_cast<StreetSignPart*>(self)->Init(obj);
        self->strength = PropStrength(params != nullptr ? &params->strength : nullptr);
        return 0;
    }
    case OM_TIMER:
        if constexpr ((PARTS & PART_STOPLIGHT) != 0)
            static_cast<StopLightPart*>(self)->Timer(obj);
        return 0;
    case OM_COLLISION:
        self->DamageableObject::Damage(GetHitPoints(obj, static_cast<CollisionRecord*>(data)));
        return 0;
    case OM_DAMAGE:
        return self->DamageableObject::Damage(int(reinterpret_cast<intptr_t>(data))) ? 1 : 0;
    case OM_WASDRAWN:
        if constexpr ((PARTS & PART_STOPLIGHT) != 0)
            static_cast<StopLightPart*>(self)->WasDrawn(obj, (PARTS & PART_FREEWAY) != 0);
        if constexpr ((PARTS & PART_STREETLIGHT) != 0)
            static_cast<StreetLightPart*>(self)->WasDrawn(obj);
        return 0;
    case OM_RENDER:
        if constexpr ((PARTS & PART_SIGN) != 0)
            return static_cast<StreetSignPart*>(self)->Render(obj, static_cast<RenderContext*>(data));
        return 0;
    case OM_DIE:
        if constexpr ((PARTS & PART_STOPLIGHT) != 0)
            world.StopTimer(obj);
        delete self;
        return -1;
    default:
        return 0;
    }
}

}  // namespace

int FreewayStopLight::_mh(Object* o, OBJMESSAGE m, void* d)
{
    return PropMessage<FreewayStopLight, PART_STOPLIGHT | PART_FREEWAY>(o, m, d);
}
int StopLight::_mh(Object* o, OBJMESSAGE m, void* d) { return PropMessage<StopLight, PART_STOPLIGHT>(o, m, d); }
int StreetLight::_mh(Object* o, OBJMESSAGE m, void* d) { return PropMessage<StreetLight, PART_STREETLIGHT>(o, m, d); }
int StopLightStreetLight::_mh(Object* o, OBJMESSAGE m, void* d)
{
    return PropMessage<StopLightStreetLight, PART_STOPLIGHT | PART_STREETLIGHT>(o, m, d);
}
int StreetSign::_mh(Object* o, OBJMESSAGE m, void* d) { return PropMessage<StreetSign, PART_SIGN>(o, m, d); }
int StopLightStreetSign::_mh(Object* o, OBJMESSAGE m, void* d)
{
    return PropMessage<StopLightStreetSign, PART_STOPLIGHT | PART_SIGN>(o, m, d);
}
int StreetLightStreetSign::_mh(Object* o, OBJMESSAGE m, void* d)
{
    return PropMessage<StreetLightStreetSign, PART_STREETLIGHT | PART_SIGN>(o, m, d);
}
int StopLightStreetLightStreetSign::_mh(Object* o, OBJMESSAGE m, void* d)
{
    return PropMessage<StopLightStreetLightStreetSign, PART_STOPLIGHT | PART_STREETLIGHT | PART_SIGN>(o, m, d);
}

const OBJMESSAGEHANDLER mhExteriorSpecific[EXTTYPES] = {
    FreewayStopLight::_mh,     StopLight::_mh,           StreetLight::_mh,           StopLightStreetLight::_mh,
    StreetSign::_mh,           StopLightStreetSign::_mh, StreetLightStreetSign::_mh, StopLightStreetLightStreetSign::_mh,
};

// ---------------------------------------------------------------------------
// Text

Font* g_pfontStreetSign = nullptr;

Font& StreetSignFont()
{
    if (g_pfontStreetSign == nullptr) {
        static Font font(Font_StreetSign);
        g_pfontStreetSign = &font;
    }
    return *g_pfontStreetSign;
}

SignText FitSignText(int w, int W)
{
    if (w > W - 8)
        return SignText{4, float(W - 8) / float(w)};
    return SignText{(W - w) / 2, 1.0f};
}

void GetRoadName(char* out, const RoadInfo& road)
{
    int len = 0;
    const char* name = world.GetRoadName(len, road.id);
    if (name != nullptr)
        std::memcpy(out, name, size_t(len));
    else
        len = 0;
    if (road.type != nullptr) {
        int slen = 0;
        const char* suffix = world.GetRoadName(slen, road.type->abbrev);
        if (suffix != nullptr) {
            out[len++] = ' ';
            std::memcpy(out + len, suffix, size_t(slen));
            len += slen;
        }
    }
    out[len] = 0;
}

namespace {


constexpr u64 GIF_AD = 0xE;

u64 UV(int u, int v) { return u64(u32(16 * u + 8) & 0xFFFF) | (u64(u32(16 * v + 8) & 0xFFFF) << 16); }

u64 XYZ2(const Vector& P)
{
    const float iw = 1.0f / P[3];
    const u32 X = u32(int((P[0] * iw + 2048.0f) * 16.0f)) & 0xFFFF;
    const u32 Y = u32(int((P[1] * iw + 2048.0f) * 16.0f)) & 0xFFFF;
    const u32 Z = u32(s32(P[2] * iw));
    return u64(X) | (u64(Y) << 16) | (u64(Z) << 32);
}

}  // namespace

void FontPrint3D(Font& font, Render2D& r, const Matrix& m, const char* str, int n)
{
    FONTFILE* ff = font.ff;
    if (r.texture != ff)
        r.SetTexture(ff, TEXMODE_MODULATE);
    r.texture = ff;
    r.texmode = TEXMODE_MODULATE;
    r.prim_reg |= PRIM_TME | PRIM_FST;
    r.update_flags |= 0x80008;
    const float h = float(ff->fontheight);
    const Vector B = m.w + m.y * h;   // the start of the text's bottom edge
    float pen = 0.0f;
    for (int taken = 0; (n < 0 || taken < n) && str[taken] != 0; taken++) {
        const int c = static_cast<signed char>(str[taken]);
        if (c < ff->fChar || c >= ff->fChar + ff->nChars)
            continue;   // no glyph: no quad, the pen stays
        const UVCHAR& g = ff->Glyph(c - ff->fChar);
        if (r.p == nullptr)
            return;
        r.prim_reg |= PRIM_TRISTRIP;
        r.tag = r.p;
        u64* q = r.p + 2;
        if (r.update_flags & 0xFFFF) {
            q = r._SetState(q, r.update_flags & 0xFFFF, false);
            r.update_flags &= 0xFFFF0000;
        }
        const float x0 = pen + float(g.k), x1 = x0 + float(g.w);
        const int fh = ff->fontheight;
        const struct
        {
            float x;
            bool bottom;
            int u, v;
        } corners[4] = {{x0, false, g.u, g.v}, {x0, true, g.u, g.v + fh}, {x1, false, g.u + g.w, g.v},
                        {x1, true, g.u + g.w, g.v + fh}};
        for (const auto& k : corners) {
            const Vector P = (k.bottom ? B : m.w) + m.x * k.x;
            q[0] = UV(k.u, k.v);
            q[1] = GS_UV;
            q[2] = XYZ2(P);
            q[3] = GS_XYZ2;
            q += 4;
        }
        const u64 nloop = u64((q - r.tag) / 2 - 1);
        r.tag[0] = nloop | (1ull << 15) | (1ull << 46) | (u64(r.prim_reg) << 47) | (1ull << 60);
        r.tag[1] = GIF_AD;
        r.prim_reg &= ~7u;
        r.p = q;
        pen += float(g.s);
    }
}
