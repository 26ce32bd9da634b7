// The character body: animation clock and switching, blur trail, map icon,
// character-id predicates and the push-out record (see Guy.h).
#include "game/Guy.h"

#include "ZevEngine2/Anim.h"
#include "ZevEngine2/AnimFile.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/Model.h"
#include "ZevEngine2/modelfile.h"
#include "game/GameFlow.h"
#include "game/QuadTree.h"
#include "game/objblur.h"

// ---------------------------------------------------------------------------
// Construction.

Guy::Guy() : Guy(nullptr) {}

Guy::Guy(OBJMESSAGEHANDLER mh) : Object(mh)
{
    type = OBJT_CHARACTER;
    mode2 = blendmode2 = 0;
    blendspeed = blendamt = 0.0f;
    firstanimframe = frame = 0.0f;
    tintset = 0;
    prevhardsettime = prevhardchecktime = -1;
    hardpopmask = prevhardpopmask = 0;
    prevhardpoppos = VectorPos(0.0f, 0.0f, 0.0f);
    prevhardpopout = Matrix(false);
    hardpopout = Matrix(false);
    for (CollPopObject& s : objsoftpops) {
        s.pop = VectorDir(0.0f, 0.0f, 0.0f);
        s.obj = nullptr;
    }
    generalsoftpop = VectorDir(0.0f, 0.0f, 0.0f);
    anims = nullptr;
    animbanks = nullptr;
    gameeventobj = nullptr;
    initialstrength = strength = 100.0f;
    biproot = nullptr;
    ptexIcon = nullptr;
    blur = nullptr;
    victimdata = nullptr;
    passenger = false;
}

Guy::~Guy()
{
    // Told there is nothing to draw, the trail ends at its next frame; it is
    // not drawn again, so it never reads this body once the body is gone.
    if (blur != nullptr)
        blur = ChangeObjectBlur(blur, 0, 0.0f);
}

// ---------------------------------------------------------------------------
// Character-id predicates: ids 64..191, one bit each.

namespace {

constexpr u32 gender[4] = {0x07080310u, 0x330C0400u, 0xF0600000u, 0x00000030u};
constexpr u32 hotornot[4] = {0x07080010u, 0x330C0400u, 0xF0600000u, 0x00000000u};

bool TableBit(const u32* table, int id)
{
    int b = id - 64;
    if (b < 0 || b >= 128)
        return false;
    return (table[b >> 5] >> (b & 31)) & 1;
}

template <size_t N>
bool InList(const int (&list)[N], int id)
{
    for (int v : list)
        if (v == id)
            return true;
    return false;
}

}  // namespace

bool Guy::IsFemaleChar(int id) { return TableBit(gender, id); }
bool Guy::IsHottieChar(int id) { return TableBit(hotornot, id); }

bool Guy::IsShabbyChar(int id)
{
    static const int shabby[] = {84, 85, 93, 94, 138, 139, 151, 153};
    return InList(shabby, id);
}

bool Guy::IsDealerChar(int id)
{
    static const int dealers[] = {138, 151, 153, 154, 155, 162, 163};
    return InList(dealers, id);
}

bool Guy::IsHookerChar(int id)
{
    static const int hookers[] = {115, 120, 121};
    return InList(hookers, id);
}

// ---------------------------------------------------------------------------
// Animation.

bool Guy::missingClipSaid = false;

void Guy::StartAnim(u16 id, AnimChar* anim, u8 group, int nframes, bool morph, bool blend)
{
    if (anim == nullptr) {
        // A missing clip in the character's table: the body keeps what it
        // plays rather than freezing on an empty animation.
        if (!missingClipSaid)
            printf("Guy: animation %d has no clip; the current one goes on\n", id);
        missingClipSaid = true;
        return;
    }
    short bank = short(g_GlobalAGI.GetSoundBank(group));
    int start = int(frame);
    if (nframes == 0)
        SetAnimFileHierarchy(anim, start, true, 1.0f, bank);
    else
        XFadeAnimFileHierarchy(anim, nframes, start, bank, morph);
    mode2 = id;
    if (!blend)
        blendmode2 = id;
    firstanimframe = frame;
}

void Guy::SetAnim(u16 id, AnimChar* anim, u8 group) { StartAnim(id, anim, group, 0, false, false); }

void Guy::BlendToAnim(u16 id, AnimChar* anim, u8 group, int nframes, bool morph)
{
    StartAnim(id, anim, group, nframes, morph, true);
}

void Guy::SetAnim(u16 id)
{
    if (anims == nullptr || animbanks == nullptr) {
        StartAnim(id, nullptr, 0, 0, false, false);
        return;
    }
    SetAnim(id, anims[id], animbanks[id]);
}

void Guy::BlendToAnim(u16 id, int nframes)
{
    if (anims == nullptr || animbanks == nullptr) {
        StartAnim(id, nullptr, 0, nframes, false, true);
        return;
    }
    BlendToAnim(id, anims[id], animbanks[id], nframes, false);
}

void Guy::AdvanceFrame(float dt) { frame += dt * world.playbackSpeed; }

void Guy::AnimateHierarchy(float dt)
{
    u16 was = mode2;
    if (dt != 0.0f)
        AdvanceFrame(dt);
    float times[2] = {frame, frame};
    if (blendAnim != nullptr && !(flags & OBJF_SELFANIMATING)) {
        if (BlendAnimateHierarchy(this, times, dt) < 0 && mode2 != was) {
            // A handler started another animation inside the step: show it
            // from its first frame now.
            times[0] = times[1] = frame;
            BlendAnimateHierarchy(this, times, dt);
        }
    }
    unsigned short alpha = 0, scale = 0;
    if (blendAnim != nullptr && blendAnim->GetBlur(&alpha, &scale)) {
        float opacity = float(alpha >> 8) / 128.0f;
        int count = scale <= 16 ? scale : 0;
        // Above 1.5 the trail is told count 0: it stays in the world until
        // its next frame and ends there, so the body takes the null it
        // answers and lets go of it.  A new trail starts transparent; the
        // next step gives it its opacity.
        if (blur != nullptr)
            blur = ChangeObjectBlur(blur, opacity <= 1.5f ? count : 0, opacity);
        else if (count >= 1 && opacity > 0.08f)
            blur = MakeObjectBlur(this, count, opacity);
    } else if (blur != nullptr) {
        blur = ChangeObjectBlur(blur, 0, 0.0f);
    }
}

bool Guy::IsBlending() const { return blendAnim != nullptr && (blendAnim->flags & ANIMF_XFADE) != 0; }

void Guy::Face(VectorDir dir)
{
    VectorXYZ d(dir[0], 0.0f, dir[2]);
    if (d.LengthSq() <= 0.0f)
        return;
    Matrix m = LookAlong(VectorDir(d));
    if (parent != nullptr) {
        Matrix inv = parent->GetWorldMatrix().Inverse();
        inv.w = Vector(0.0f, 0.0f, 0.0f, 1.0f);
        m = m * inv;
    }
    mat.x = m.x;
    mat.y = m.y;
    mat.z = m.z;
}

void Guy::Face(Object* obj)
{
    if (obj != nullptr)
        Face(VectorDir(obj->GetWorldPos() - GetWorldPos()));
}

Object* Guy::GetEye()
{
    Object* eye = FindSubObject(14);
    return eye != nullptr ? eye : FindSubObject(15);
}

Object* Guy::GetMouth() { return FindSubObject(15); }

const char* Guy::FirstMissing(std::initializer_list<std::pair<const Object*, const char*>> parts) const
{
    for (const auto& [part, name] : parts)
        if (part == nullptr)
            return name;
    return biproot == nullptr ? "body root" : nullptr;
}

int BodyPartKind(const Object* part)
{
    const NODE* node = part != nullptr ? part->GetNode() : nullptr;
    if (node == nullptr)
        return 0;
    switch (node->extra2) {
    case 9:
    case 30:
    case 31:
    case 49:
    case 50:
    case 62:
    case 63:
    case 67:
    case 68: return int(node->extra2);
    default: return 0;
    }
}

// ---------------------------------------------------------------------------
// Map icon.

NODE* Guy::FindIcon()
{
    NODE* node = GetNode();
    if (node == nullptr)
        return nullptr;
    for (u16 i = node->child; i != 0xFFFF && i < u16(mdlfile->nNodes); i = mdlfile->nodes[i].sibling) {
        if (mdlfile->nodes[i].Type() == 11)
            return &mdlfile->nodes[i];
    }
    return nullptr;
}

Texture* Guy::GetIcon()
{
    NODE* icon = FindIcon();
    if (icon == nullptr || icon->extra == 0xAAAA)
        return nullptr;
    // An index past the file's textures is a broken file: no icon.
    if (mdlfile->textures == nullptr || icon->extra >= u16(mdlfile->nTextures))
        return nullptr;
    return &mdlfile->textures[icon->extra];
}

// ---------------------------------------------------------------------------
// Push-out.  hardpopout rows 0..2: axis direction and positive extent (w);
// row 3: the negative extents of axes 0..2.

namespace {

constexpr float kTiny = 1e-5f;
constexpr float kFoldLimit = 0.15625f;

VectorXYZ Axis(const Matrix& m, int k) { return VectorXYZ(m[k][0], m[k][1], m[k][2]); }
bool AxisEmpty(const Matrix& m, int k) { return m[k][0] == 0.0f && m[k][1] == 0.0f && m[k][2] == 0.0f && m[k][3] == 0.0f; }

// The hard push of an axis set, and its direction bits.
VectorXYZ HardPush(const Matrix& m, u32& mask)
{
    static const u32 neg[3] = {0, 2, 8};
    static const u32 pos[3] = {1, 4, 16};
    VectorXYZ h(0.0f, 0.0f, 0.0f);
    mask = 0;
    for (int k = 0; k < 3; k++) {
        float w = m[k][3], n = m[3][k];
        if (w * n != 0.0f) {
            h += Axis(m, k) * ((w + n) * 0.5f);
            mask |= pos[k] | neg[k];
        } else {
            h += Axis(m, k) * (w + n);
            if (w != 0.0f)
                mask |= pos[k];
            if (n != 0.0f)
                mask |= neg[k];
        }
    }
    return h;
}

// The part of push that drives back against the axes of one set.
VectorXYZ AgainstAxes(const Matrix& m, u32 mask, VectorXYZ push)
{
    VectorXYZ c(0.0f, 0.0f, 0.0f);
    float d = Dot(Axis(m, 0), push);
    if ((mask & 1) && d < -kTiny)
        c += Axis(m, 0) * d;
    d = Dot(Axis(m, 1), push);
    if ((d > kTiny && (mask & 2)) || (d < -kTiny && (mask & 4)))
        c += Axis(m, 1) * d;
    d = Dot(Axis(m, 2), push);
    if ((d > kTiny && (mask & 8)) || (d < -kTiny && (mask & 16)))
        c += Axis(m, 2) * d;
    return c;
}

}  // namespace

void Guy::AddToGeneralSoftPopOut(VectorDir push)
{
    generalsoftpop = VectorDir(generalsoftpop[0] + push[0], generalsoftpop[1] + push[1], generalsoftpop[2] + push[2]);
}

void Guy::AddToPopOut(VectorDir push, bool hard)
{
    VectorXYZ p(push[0], push[1], push[2]);
    if (p.LengthSq() < kTiny)
        return;
    if (!hard) {
        AddToGeneralSoftPopOut(push);
        return;
    }
    Matrix& h = hardpopout;
    float L = p.Length();
    VectorXYZ D = p / L;
    if (AxisEmpty(h, 0)) {
        h.x = Vector(D, L);
        return;
    }
    VectorXYZ dir0 = Axis(h, 0);
    if (Dot(dir0, D) > 0.95f) {
        float along = Dot(dir0, p);
        if (along > h[0][3])
            h[0][3] = along;
        return;
    }
    float p0 = Dot(dir0, p);
    if (p0 < 0.0f && AxisEmpty(h, 1)) {
        // A push against the only axis: the two fold into one axis that
        // settles between them.  A midpoint of exactly zero gives no
        // direction to fold along; the push is then recorded against axis 0.
        float m = h[0][3] + h[3][0];
        if (h[0][3] != 0.0f && h[3][0] != 0.0f)
            m *= 0.5f;
        VectorXYZ C = dir0 * m;
        float cl = C.Length();
        VectorXYZ V = p + C;
        float vl = V.Length();
        if (cl > 0.0f && vl > 1e-6f) {
            float denom = 1.0f - fabsf(Dot(D, C / cl));
            if (denom < 1e-4f)
                denom = 1e-4f;
            float ext = vl / denom;
            h.x = Vector(V / vl, ext < kFoldLimit ? ext : kFoldLimit);
            h[3][0] = 0.0f;
            return;
        }
    }
    if (AxisEmpty(h, 1)) {
        // A push straight along axis 0 has no part across it: no second
        // axis is made and it is recorded on axis 0 alone.
        VectorXYZ across = dir0 ^ D;
        if (across.LengthSq() > 0.0f) {
            VectorXYZ dir1 = Normalise(Normalise(across) ^ dir0);
            VectorXYZ dir2 = Normalise(dir0 ^ dir1);
            h.y = Vector(dir1, 0.0f);
            h.z = Vector(dir2, 0.0f);
            h[3][1] = h[3][2] = 0.0f;
        }
    }
    for (int k = 0; k < 3; k++) {
        if (k > 0 && AxisEmpty(h, k))
            continue;
        float pk = Dot(Axis(h, k), p);
        if (pk > 0.0f) {
            if (pk > h[k][3])
                h[k][3] = pk;
        } else if (pk < h[3][k]) {
            h[3][k] = pk;
        }
    }
}

void Guy::AddToSoftPopOut(VectorDir push, Object* from)
{
    if (VectorXYZ(push).LengthSq() < kTiny)
        return;
    CollPopObject* slot = nullptr;
    if (from != nullptr) {
        for (CollPopObject& s : objsoftpops) {
            if (s.obj == nullptr || s.obj == from) {
                slot = &s;
                break;
            }
        }
    }
    if (slot == nullptr) {
        AddToGeneralSoftPopOut(push);
        return;
    }
    slot->obj = from;
    for (int i = 0; i < 3; i++)
        if (fabsf(slot->pop[i]) < fabsf(push[i]))
            slot->pop[i] = push[i];
}

VectorDir Guy::TrimSoft(VectorDir push) const
{
    VectorXYZ p(push[0], push[1], push[2]);
    if ((hardpopmask == 0 && prevhardpopmask == 0) || p.LengthSq() < kTiny)
        return push;
    VectorXYZ c = AgainstAxes(hardpopout, hardpopmask, p);
    c += AgainstAxes(prevhardpopout, prevhardpopmask, p - c);
    return VectorDir(p - c);
}

VectorDir Guy::GetPopOut()
{
    VectorXYZ H = HardPush(hardpopout, hardpopmask);
    HardPush(prevhardpopout, prevhardpopmask);
    for (CollPopObject& s : objsoftpops) {
        if (s.obj == nullptr)
            continue;
        s.pop = TrimSoft(s.pop);
        H += VectorXYZ(s.pop[0], s.pop[1], s.pop[2]);
    }
    generalsoftpop = TrimSoft(generalsoftpop);
    H += VectorXYZ(generalsoftpop[0], generalsoftpop[1], generalsoftpop[2]);
    return VectorDir(H);
}

void Guy::ClearPopOut()
{
    if (world.time != prevhardchecktime) {
        VectorPos here = GetWorldPos();
        VectorXYZ moved = VectorXYZ(here) - VectorXYZ(prevhardpoppos);
        if (moved.LengthSq() > 0.006103515625f || world.time - prevhardsettime >= 31) {
            prevhardpoppos = here;
            prevhardpopout = hardpopout;
            prevhardsettime = world.time;
        }
        prevhardchecktime = world.time;
    }
    hardpopout = Matrix(false);
    for (CollPopObject& s : objsoftpops) {
        s.pop = VectorDir(0.0f, 0.0f, 0.0f);
        s.obj = nullptr;
    }
    generalsoftpop = VectorDir(0.0f, 0.0f, 0.0f);
}

namespace {

// Half the horizontal diagonal of an object's collision box.
float FootprintRadius(Object* o)
{
    COLLISION* c = o->GetCollision();
    Cuboid box = c->type == COLL_BOX ? reinterpret_cast<CollBox*>(c)->box : o->GetRawBox();
    float sx = box.max[0] - box.min[0], sz = box.max[2] - box.min[2];
    return 0.5f * sqrtf(sx * sx + sz * sz);
}

}  // namespace

bool PushOutCharacter(Object* a, Object* b, VectorDir* outA, VectorDir* outB, float fa, float fb)
{
    if (a == nullptr || b == nullptr || a->GetCollision() == nullptr || b->GetCollision() == nullptr)
        return false;
    VectorXYZ pa = a->GetWorldPos(), pb = b->GetWorldPos();
    pa[1] = pb[1] = 0.0f;
    float S = FootprintRadius(a) + FootprintRadius(b);
    VectorXYZ ab = pa - pb;
    float dist = ab.Length();
    // Two characters on one spot give no direction to part them: no push.
    if (dist <= 0.0f) {
        if (outA != nullptr)
            *outA = VectorDir(0.0f, 0.0f, 0.0f);
        return false;
    }
    VectorXYZ u = ab / dist;
    if (outA != nullptr)
        *outA = dist < S * fa ? VectorDir(u * (S * fa - dist)) : VectorDir(0.0f, 0.0f, 0.0f);
    if (!(dist < S * fb))
        return false;
    if (outB != nullptr)
        *outB = VectorDir(u * (S * fb - dist));
    return true;
}
