// Explosions: the light flash.
#include "game/explosn.h"

#include "ZevEngine2/light.h"
#include "game/QuadTree.h"
#include "game/TestPart.h"

Object* LightFlash_Create(Colour _colour, float _range, Object* _followObj, float _timeOut)
{
    LightFlash* f = new LightFlash;
    if (f == nullptr)
        return nullptr;
    f->messagehandler = LightFlash::LightFlash_mh;
    f->colour = _colour;
    f->range = _range;
    f->followObj = _followObj;
    f->timeOut = _timeOut;
    if (!world.AddObject(f, nullptr)) {
        f->Delete();
        return nullptr;
    }
    return f;
}

int LightFlash::Init()
{
    // Nothing to follow: nowhere to light, so no frame calls.
    if (followObj != nullptr)
        flags |= OBJF_FRAMECALL;
    timer = 0.0f;
    return 0;
}

int LightFlash::Update()
{
    if (followObj == nullptr || followObj->IsDead()) {
        followObj = nullptr;
        Delete();
        return 0;
    }
    // A byte of 0x40 is a light of 1.0: 0x80 lights at twice full strength.
    VectorXYZ c(float(colour.r) * 0.015625f, float(colour.g) * 0.015625f, float(colour.b) * 0.015625f);
    if (timeOut > 0.0f) {
        timer += 1.0f;
        if (timer >= timeOut) {
            followObj = nullptr;
            Delete();
            return 0;
        }
        c = c * ((timeOut - timer) / timeOut);
    }
    Light light;
    light.SetColour(c);
    light.SetPos(followObj->GetWorldPos());
    light.SetPointLight(range, false);
    AddLight(light);
    return 0;
}

int LightFlash::LightFlash_mh(Object* obj, OBJMESSAGE msg, void*)
{
    return EffectObjectMessage<LightFlash>(obj, msg, LightFlash_mh);
}

// ---------------------------------------------------------------------------
// Explosions: the walk of an object's explosion record, the effect codes,
// pending pieces, damage around a blast, and what is left flying.

#include <array>
#include <bit>
#include <cfloat>

#include "ZevEngine2/Collision.h"
#include "ZevEngine2/modelfile.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/World.h"
#include "ZevEngine2/PS2/Model.h"
#include "ZevEngine2/PS2/RenderContext.h"
#include "ZevEngine2/PS2/Sound.h"
#include "game/GameEvents.h"
#include "game/GameFlow.h"
#include "game/MAIN.h"
#include "game/smoke.h"

const u32 rgiExplEntToCode[EXPL_ENT_TYPES] = {
    0x400, 0x401, 0x402, 0x403, 0x408, 0x409, 0x40A, 0x40B, 0x410, 0x411, 0x412, 0x413, 0x420, 0x421,
    0x422, 0x428, 0x429, 0x42A, 0x430, 0x431, 0x432, 0x433, 0x434, 0x440, 0x441, 0x442, 0x443, 0x444,
    0x448, 0x449, 0x44A, 0x44B, 0x44C, 0x44D, 0x450, 0x451, 0x452, 0x458, 0x459, 0x45A, 0x463, 0x462,
    0x460, 0x461, 0x470, 0x471, 0x472, 0x500, 0x501, 0x502, 0x503, 0x504, 0x505,
};

const u32 rgiExplSoundEntToCode[EXPL_SOUND_ENT_TYPES] = {
    0x200, 0x201, 0x202, 0x208, 0x209, 0x20A, 0x20B, 0x210, 0x211, 0x212, 0x218, 0x219, 0x21A, 0x228, 0x229,
    0x229, 0x22A, 0x230, 0x231, 0x232, 0x233, 0x234, 0x235, 0x236, 0x237, 0x240, 0x241, 0x242, 0x248, 0x249,
    0x24A, 0x250, 0x251, 0x252, 0x258, 0x259, 0x280, 0x281, 0x282, 0x288, 0x289, 0x290, 0x291,
};

namespace {

// The destruction bank's sounds by variant: runs of variants from `first`
// take consecutive sounds from `sound`.
constexpr u16 NO_SOUND = 0xFFFF;
struct SoundRun
{
    u16 first, last, sound;
};
constexpr SoundRun soundRuns[] = {
    {0x200, 0x202, 0},  {0x208, 0x20B, 3},  {0x210, 0x212, 7},  {0x218, 0x21A, 10},
    {0x228, 0x22B, 13}, {0x230, 0x236, 17}, {0x240, 0x242, 24}, {0x248, 0x24A, 27},
    {0x250, 0x252, 30}, {0x280, 0x282, 30}, {0x288, 0x289, 33}, {0x290, 0x291, 35},
};

constexpr std::array<u16, EXPL_SOUND_VARIANTS> MakeSoundTable()
{
    std::array<u16, EXPL_SOUND_VARIANTS> t{};
    for (u16& s : t)
        s = NO_SOUND;
    for (const SoundRun& r : soundRuns)
        for (int v = r.first; v <= r.last; v++)
            t[size_t(v - 0x200)] = u16(r.sound + (v - r.first));
    return t;
}

constexpr u16 DELAY_NOW = 0xAAAA;     // a delay word meaning "at once", as 0
constexpr u16 DELAY_NEVER = 999;      // the record's: the model is never swapped
constexpr float GRAVITY = 0.000851562f;

bool AtOnce(u16 delay) { return delay == 0 || delay == DELAY_NOW; }

AnimTime Frames(u32 n) { return AnimTime(n << 8); }

// A colour word as the game writes it: red in the low byte.
Colour ColourWord(u32 w) { return Colour(u8(w), u8(w >> 8), u8(w >> 16), u8(w >> 24)); }

// d turned into the frame whose axes are m's rows (the transpose of m's
// rotation applied to d).
VectorDir IntoFrame(const Matrix& m, VectorXYZ d)
{
    return VectorDir(Dot(d, VectorXYZ(m.x.v)), Dot(d, VectorXYZ(m.y.v)), Dot(d, VectorXYZ(m.z.v)));
}

VectorDir Dir(const Vector& v) { return VectorDir(v[0], v[1], v[2]); }

bool IsEntity(const NODE& n) { return n.extra < 0x1000 && n.extra2 != 0; }

DelayedObject* NewDelayed(OBJMESSAGEHANDLER mh, MDLFILE* mf, unsigned short index, Object* target)
{
    DelayedObject* d = new DelayedObject;
    if (d == nullptr)
        return nullptr;
    d->messagehandler = mh;
    d->mdlfile = mf;
    d->index = index;
    d->rcobjDelayed = target;
    return d;
}

}  // namespace

const std::array<u16, EXPL_SOUND_VARIANTS> rgiExplSoundTable = MakeSoundTable();

u32 ModelFileSize(const MDLFILE* mf)
{
    if (mf == nullptr)
        return 0;
    const int slot = g_GlobalMFI.GetIndex(mf);
    if (slot >= 0)
        return g_GlobalMFI.rgmfi[slot].smf.length;
    QuadTree* qt = world.quadtree;
    if (qt != nullptr && qt->mdlfiles != nullptr) {
        const uintptr_t d = uintptr_t(mf) - uintptr_t(static_cast<const MDLFILE*>(&qt->mdlfiles[0]));
        if (d % sizeof(MdlfileCache) == 0 && d / sizeof(MdlfileCache) < u32(qt->nMdlfiles))
            return qt->mdlfiles[d / sizeof(MdlfileCache)].length;
    }
    return 0;
}

FX_Debris_params* EntityParams(MDLFILE* mf, const NODE& node)
{
    const u32 size = ModelFileSize(mf);
    if (node.extra2 == 0 || u64(node.extra2) + sizeof(FX_Debris_params) > size) {
        printf("Explosions: an entity's parameter block at 0x%X lies outside its file of %u bytes\n", node.extra2, size);
        return nullptr;
    }
    return reinterpret_cast<FX_Debris_params*>(reinterpret_cast<u8*>(mf->header) + node.extra2);
}

int DebrisBounces(float radius)
{
    return radius < 0.15625f ? 3 : radius < 0.46875f ? 2 : 1;
}

// ---------------------------------------------------------------------------
// The walk

namespace {

// The common start of a blow-up: the record's index (0: none, nothing
// done), the object told, and the record's hierarchy walked from its frame.
int WalkRecord(Object* obj, bool bPreDamageOnly)
{
    MDLFILE* mf = obj->mdlfile;
    if (mf == nullptr || mf->nodes == nullptr)
        return 0;
    const int index = mf->FindSpecialIndex(obj->index, 15);
    if (index == 0)
        return 0;
    const NODE& rec = mf->nodes[index];
    const int iTintSet = obj->geom != nullptr ? obj->geom->params[0] : 0;
    obj->SendMessage(OM_EXPLODED, nullptr);
    Matrix frame = rec.GetMatrix() * obj->GetWorldMatrix();
    if (rec.child != 0xFFFF)
        ExplodeNode(obj, rec.child, &frame, iTintSet, bPreDamageOnly);
    return index;
}

}  // namespace

bool Explode2(Object* obj)
{
    RCptr<Object> hold(obj);
    const int index = WalkRecord(obj, false);
    if (index == 0)
        return false;
    MDLFILE* mf = obj->mdlfile;
    const NODE& rec = mf->nodes[index];
    obj->flags &= ~OBJF_DRAWSELF;
    if (obj->flags & OBJF_FRAMECALL)
        obj->flags |= OBJF_CINEMAFRAME;
    if (AtOnce(rec.extra)) {
        DelayedExplode(obj, mf, u16(index));
    } else if (rec.extra != DELAY_NEVER) {
        DelayedObject* d = NewDelayed(DelayedObject_mh1, mf, u16(index), obj);
        if (d != nullptr) {
            obj->index = u16(index);
            world.SetTimer(d, Frames(rec.extra), nullptr);
        }
    }
    return true;
}

bool PreDamage(Object* obj)
{
    RCptr<Object> hold(obj);
    const int index = WalkRecord(obj, true);
    if (index == 0)
        return false;
    if (obj->mdlfile->nodes[index].extra != DELAY_NEVER)
        DelayedExplode(obj, obj->mdlfile, u16(index));
    return true;
}

void DelayedExplode(Object* obj, MDLFILE* mdlfile, unsigned short index)
{
    if (obj->geom != nullptr) {
        DeleteGeometry(obj->geom);
        obj->geom = nullptr;
    }
    const NODE& rec = mdlfile->nodes[index];
    obj->mat = rec.GetMatrix() * obj->mat;
    // 0x700 and above: no geometry (0x7F0 on are lights and bones, none of
    // which a destroyed model can be).
    const int m = mdlfile->NodeGeometry(rec);
    if (m >= 0)
        obj->geom = new GEOMETRY(mdlfile, m);
    if (rec.GetAnimIndex() >= 0 && mdlfile->anmfile != nullptr) {
        AnimNode* an = mdlfile->anmfile[rec.GetAnimIndex()];
        if (obj->blendAnim != nullptr)
            DeleteBlendAnimation(obj->blendAnim);
        obj->blendAnim =
            NewBlendAnimation(obj, an->Bundle(), 0, an->length, an->flags, (AnimationClock().t >> 8) & 0xFFFF);
    }
    obj->index = index;
    obj->collision = rec.collision != 0xFFFF ? (COLLISION*)(uintptr_t)(rec.collision + 1) : nullptr;
    if (obj->InitialiseChildCollisions())
        obj->flags &= ~OBJF_NOCOLLISION;
    else
        obj->flags |= OBJF_NOCOLLISION;
    Object* root = obj->GetRoot();
    if (root != obj && root->geom != nullptr && root->geom->lowresgeom != nullptr)
        obj->SetLowresGeomHierarchy(root->geom->lowresdist);
    else
        obj->SetLowresGeomHierarchy(false);
    obj->CalcRadius();
    obj->SendMessage(OM_EXPLODED, reinterpret_cast<void*>(1));
    if (obj->flags & 0x80000)
        world.bRebuildDynBSP = true;
}

Object* ExplodeNode(Object* parent, unsigned short index, Matrix* mat, int iTintSet, bool bPreDamageOnly)
{
    MDLFILE* mf = parent != nullptr ? parent->mdlfile : nullptr;
    Object* result = nullptr;
    for (u16 i = index; mf != nullptr && i != 0xFFFF && i < mf->nNodes; i = mf->nodes[i].sibling) {
        NODE& node = mf->nodes[i];
        Matrix frame = node.GetMatrix() * *mat;
        if (IsEntity(node)) {
            Object* e = CreateExplosionEntity(parent, i, *mat, iTintSet, false);
            if (node.child != 0xFFFF)
                ExplodeNode(e != nullptr ? e : parent, node.child, &frame, iTintSet, false);
            continue;
        }
        switch (node.Type()) {
        case 0: {
            if ((node.model & MDL_MODELMASK) == 0x7FF) {
                if (node.child != 0xFFFF)
                    ExplodeNode(parent, node.child, &frame, iTintSet, false);
                break;
            }
            Object* h = mf->GetHierarchy(i, sizeof(Object), GH_ANIMATE);
            if (h == nullptr)
                break;
            if (node.extra == 0 && h->blendAnim != nullptr) {
                // It plays once and stays in its last pose.
                world.StartAnimating(h);
                h->messagehandler = StopAnimProc;
            }
            parent->Attach(h);
            result = h;
            break;
        }
        case 8:
        case 9:
            if (bPreDamageOnly)
                break;
            if (AtOnce(node.extra)) {
                CreateExplosionType(parent, i, &frame);
            } else if (DelayedObject* d = NewDelayed(DelayedObject_mh2, mf, i, parent)) {
                d->mat = node.GetMatrix();
                world.SetTimer(d, Frames(node.extra), nullptr);
            }
            break;
        case 13: {
            if (bPreDamageOnly)
                break;
            Debris* d = static_cast<Debris*>(mf->ObjectFromNode(&node, sizeof(Debris)));
            if (d == nullptr)
                break;
            if (node.extra != 0)
                d->angvel = Vector(0.125f * randf(), 0.125f * randf(), 0.125f * randf(), 0.0f);
            d->flags |= 0x490000;
            if (d->HasAnimation())
                d->flags |= OBJF_SELFANIMATING;
            if (!d->HasCollision())
                d->flags |= OBJF_NOCOLLISION;
            d->type = OBJT_DEBRIS;
            d->index = i;
            d->messagehandler = Debris_mh;
            d->vel = Vector(*mat * VectorDir(node.Pos() * 0.0625f), 0.0f);
            d->mat = frame;
            d->ghc.Clear();
            SetTintSet(d, iTintSet, true);
            d->nBounces = s8(DebrisBounces(d->radius));
            world.AddObject(d, nullptr);
            if (node.child != 0xFFFF)
                ExplodeNode(d, node.child, &frame, iTintSet, false);
            break;
        }
        case 14: {
            if (bPreDamageOnly)
                break;
            // The node is built as a plain model: its type bits are taken off
            // for the build and put back.
            const u16 saved = node.model;
            node.model = u16(saved & 0x0FFF);
            Object* t = mf->GetHierarchy(i, sizeof(Toppling), 0);
            node.model = saved;
            if (t == nullptr)
                break;
            Toppling* tp = static_cast<Toppling*>(t);
            tp->messagehandler = Toppling_mh;
            tp->mat = frame;
            tp->angvel = Vector(tp->angvel[0], 0.0f, 5.2359879e-05f, 0.0f);
            world.AddObject(tp, nullptr);
            break;
        }
        default:
            break;
        }
    }
    return result;
}

Object* CreateExplosionEntity(Object* parent, unsigned short index, Matrix& mat, int iTintSet, bool bSkipDelayCheck)
{
    MDLFILE* mf = parent->mdlfile;
    const NODE& node = mf->nodes[index];
    Matrix frame = node.GetMatrix() * mat;
    FX_Debris_params* params = EntityParams(mf, node);
    if (params == nullptr)
        return nullptr;
    switch (node.extra) {
    case 0:
    case 1:
    case 2: {
        const bool sound = node.extra == 2;
        const int n = sound ? EXPL_SOUND_ENT_TYPES : EXPL_ENT_TYPES;
        if (params->type >= n)
            return nullptr;   // no such effect: nothing happens
        if (params->delay == 0 || bSkipDelayCheck) {
            const u32 code = sound ? (rgiExplSoundEntToCode[params->type] | 0x9000)
                                   : (rgiExplEntToCode[params->type] | 0x8000);
            CreateExplosionTypeSub(parent, index, &mat, int(code));
        } else if (DelayedObject* d = NewDelayed(DelayedObject_mh2, mf, index, parent)) {
            d->bEntExplosion = 1;
            d->iTintSet = iTintSet;
            d->mat = node.GetMatrix();
            world.SetTimer(d, Frames(u32(params->delay)), nullptr);
        }
        return nullptr;
    }
    case 3: {
        FXDebris* debris = new FXDebris(mf, index, frame, mat * VectorDir(node.Pos()), params);
        if (debris == nullptr)
            return nullptr;
        SetTintSet(debris, iTintSet, true);
        if (params->delay != 0)
            world.SetTimer(debris, Frames(u32(params->delay)), params);
        else if (!world.AddObject(debris, params))
            return nullptr;
        return debris;
    }
    default:
        return nullptr;
    }
}

void CreateExplosionType(Object* parent, unsigned short index, Matrix* mat)
{
    MDLFILE* mf = parent->mdlfile;
    const NODE& node = mf->nodes[index];
    CreateExplosionTypeSub(parent, index, mat, node.model);
    if (node.child != 0xFFFF)
        ExplodeNode(parent, node.child, mat, 0, false);
}

void CreateExplosionTypeSub(Object* parent, unsigned short, Matrix* mat, int iModelCode)
{
    const VectorPos pos = mat->GetTrans();
    const int cls = (iModelCode >> 12) & 0xF;
    const int v = iModelCode & 0xFFF;
    if (cls == 9) {
        if (v < 0x200 || v >= 0x200 + EXPL_SOUND_VARIANTS || rgiExplSoundTable[size_t(v - 0x200)] == NO_SOUND)
            return;
        if (sndbank_dest == 0xFFFF)
            return;   // the bank is not loaded
        const int chan = sound.AllocChannel(false);
        if (chan < 0)
            return;
        sound.Play(chan, sndbank_dest, rgiExplSoundTable[size_t(v - 0x200)]);
        if (sound.ChannelValid(chan))
            sound.SetPosition(chan, pos);
        return;
    }
    if (cls != 8)
        return;
    // The effect's place in the parent's frame (or in the world).
    VectorPos local = pos;
    Matrix localMat = *mat;
    if (parent != nullptr) {
        const Matrix pw = parent->GetWorldMatrix();
        local = VectorPos(IntoFrame(pw, pos - pw.GetTrans()));
        localMat = *mat / pw;
    }
    auto in = [v](int first, int last) { return v >= first && v <= last; };
    auto sz = [v](float base, int first) { return base * float(1 << (v - first)); };
    const VectorDir dir = Dir(mat->z) * 0.0026041667f;
    if (in(0x400, 0x403)) {
        SmokePuff_Spawn(pos, sz(0.01875f, 0x400));
    } else if (v == 0x408) {
        DustPuff_Cluster(4, pos, dir, 0.5f);
    } else if (in(0x409, 0x40B)) {
        const int k = v - 0x408;
        DustPuff_Cluster(4 + 2 * k, pos, dir, float(k));
    } else if (in(0x410, 0x413)) {
        Crackle_Spawn(pos, sz(0.375f, 0x410));
    } else if (in(0x420, 0x422)) {
        const float s = sz(0.5f, 0x420);
        if (MushroomCloud* cloud = MushroomCloud_Create(parent, local, s))
            LightFlash_Create(ColourWord(0x000080F0), 1.5625f * s, cloud, 120.0f);
        DamageCharacters(pos, 0.625f, 20.0f, true);
    } else if (in(0x428, 0x42A)) {
        const float s = sz(0.5f, 0x428);
        ShockSmoke_SpawnCluster(int(48.0f * s), pos, s);
    } else if (in(0x430, 0x434)) {
        Flamer_Create(parent, local, 0.0f, sz(0.25f, 0x430), true);
    } else if (in(0x440, 0x444)) {
        const float s = sz(0.25f, 0x440);
        Flamer_Create(parent, local, 360.0f * s, s, true);
    } else if (in(0x448, 0x44A)) {
        const float s = sz(0.25f, 0x448);
        WhiteSmoker_Create(parent, local, 360.0f * s, s);
    } else if (in(0x44B, 0x44D)) {
        const float s = sz(0.25f, 0x44B);
        BlackSmoker_Create(parent, local, 360.0f * s, s);
    } else if (in(0x450, 0x452)) {
        Sparkler_Create(parent, local, sz(0.5f, 0x450), 12.0f, 0.0f);
    } else if (in(0x458, 0x45A)) {
        Sparkler_Create(parent, local, sz(0.5f, 0x458), 0.0f, 0.0f);
    } else if (v == 0x460) {
        Geyser_Create(parent, &localMat, 600.0f, 1.0f);
    } else if (v == 0x461) {
        PooGeyser_Create(parent, &localMat, 300.0f, 0.7f);
    } else if (v == 0x462) {
        Geyser_Create(parent, &localMat, 300.0f, 0.7f);
    } else if (v == 0x463) {
        Geyser_Create(parent, &localMat, 180.0f, 0.5f);
    } else if (in(0x500, 0x505)) {
        static const u32 colours[3] = {0x80808080, 0x80004080, 0x80000080};
        if (g_pgcTest != nullptr && rc.TestCull(pos, 0.0f) == 0)
            g_pgcTest->ScreenFlash((v & 1) ? 90.0f : 18.0f, ColourWord(colours[(v - 0x500) >> 1]));
    }
}

// ---------------------------------------------------------------------------
// Pending pieces

int DelayedObject::mh1(OBJMESSAGE msg, void*)
{
    if (msg != OM_TIMER && msg != OM_DIE)
        return 0;
    if (msg == OM_TIMER) {
        Object* target = rcobjDelayed;
        if (target != nullptr && !target->IsDead()) {
            if (child != nullptr) {
                Object* c = child;
                child = nullptr;
                while (c != nullptr) {
                    Object* next = c->sibling;
                    c->sibling = nullptr;
                    c->parent = nullptr;
                    target->Attach(c);
                    c = next;
                }
            }
            DelayedExplode(target, mdlfile, index);
        }
    }
    rcobjDelayed = nullptr;
    delete this;
    return -1;
}

int DelayedObject::mh2(OBJMESSAGE msg, void*)
{
    if (msg != OM_TIMER && msg != OM_DIE)
        return 0;
    if (msg == OM_TIMER) {
        Object* target = rcobjDelayed;
        if (target != nullptr && !target->IsDead()) {
            Matrix frame = mat * target->GetWorldMatrix();
            if (bEntExplosion)
                CreateExplosionEntity(target, index, frame, iTintSet, true);
            else
                CreateExplosionType(target, index, &frame);
        }
    }
    rcobjDelayed = nullptr;
    delete this;
    return -1;
}

int DelayedObject_mh1(Object* obj, OBJMESSAGE msg, void* data)
{
    return static_cast<DelayedObject*>(obj)->mh1(msg, data);
}

int DelayedObject_mh2(Object* obj, OBJMESSAGE msg, void* data)
{
    return static_cast<DelayedObject*>(obj)->mh2(msg, data);
}

// ---------------------------------------------------------------------------
// Damage, cars, one-shot models

void DamageCharacters(VectorPos vpPos, float fRadius, float fDamageAmt, bool bCatchFire)
{
    for (ObjectIterator it = world.pedlist.Begin(); !it.IsEOList(); ++it) {
        Object* ped = *it;
        if (ped == nullptr || ped->IsDead())
            continue;
        const VectorDir d(ped->GetWorldPos() - vpPos);
        if (d[0] * d[0] + d[2] * d[2] >= fRadius * fRadius || d[1] - 0.3125f >= fRadius)
            continue;
        RCptr<Object> hold(ped);
        SpecialMessage damage(SMSG_DAMAGE, nullptr, int(fDamageAmt));
        ped->SendMessage(OM_SPECIAL, &damage);
        const VectorDir push = Normalise(d) * std::bit_cast<float>(0x3D3EBCB1u);
        SpecialMessage knock(SMSG_KNOCKBACK, nullptr, push[0], push[1], push[2]);
        ped->SendMessage(OM_SPECIAL, &knock);
        if (bCatchFire) {
            SpecialMessage fire(SMSG_SET_ON_FIRE, nullptr);
            ped->SendMessage(OM_SPECIAL, &fire);
        }
    }
}

void CarExplosion(Object* car, VectorPos pos, float size)
{
    if (car == nullptr)
        return;
    MushroomCloud_Create(car, pos, size);
    ShockSmoke_SpawnCluster(int(48.0f * size), car->mat * pos, size);
    if (g_pgcTest != nullptr && rc.TestCull(car->mat.GetTrans(), car->radius) == 0)
        g_pgcTest->ScreenFlash(90.0f, ColourWord(0x80F0F0F0));
}

Object* CreateExplosionAtSize(VectorDir vec, int index, COLLISION* coll)
{
    MDLFILE* mf = g_GlobalMFI.GetMF(196 + ((index >> 8) & 0xFF), true);
    if (mf == nullptr || !mf->HasData())
        return nullptr;
    Object* obj = mf->GetHierarchy(u16(index & 0xFF), sizeof(Object), GH_ANIMATE);
    if (obj == nullptr)
        return nullptr;
    obj->mat.SetTrans(vec);
    obj->flags |= OBJF_SELFANIMATING | OBJF_NOCOLLISION;
    obj->type = OBJT_DEBRIS;
    obj->messagehandler = NoAnimLoopProc;
    if (coll != nullptr && coll->type == COLL_BOX) {
        COLLISION* own = obj->GetCollision();
        if (own != nullptr && own->type == COLL_BOX) {
            const Cuboid& a = reinterpret_cast<CollBox*>(coll)->box;
            const Cuboid& b = reinterpret_cast<CollBox*>(own)->box;
            const float wb = b.max[0] - b.min[0];
            if (wb > 0.0f) {
                const float s = std::min((a.max[0] - a.min[0]) / wb, 1.0f);
                obj->mat.PreScale(VectorXYZ(s, s, s));
            }
        }
    }
    obj->CalcRadius();
    world.AddObject(obj, nullptr);
    return obj;
}

Object* CreateExplosionAt(VectorDir vec, int index)
{
    return CreateExplosionAtSize(vec, index, nullptr);
}

int NoAnimLoopProc(Object* obj, OBJMESSAGE msg, void*)
{
    switch (msg) {
    case OM_DIE:
        delete obj;
        return -1;
    case OM_ANIMLOOP:
        obj->Detach();
        world.RemoveObject(obj);
        return -2;
    default:
        return 0;
    }
}

int StopAnimProc(Object* obj, OBJMESSAGE msg, void*)
{
    switch (msg) {
    case OM_DIE:
        delete obj;
        return -1;
    case OM_ANIMLOOP:
        world.StopAnimating(obj);
        obj->messagehandler = nullptr;
        obj->blendAnim = nullptr;
        return -2;
    default:
        return 0;
    }
}

// ---------------------------------------------------------------------------
// Falling pieces

int Debris::mh(OBJMESSAGE msg, void*)
{
    switch (msg) {
    case OM_FRAME: {
        const float dt = world.playbackSpeed;
        mat.w = Vector(mat.GetTrans() + Dir(vel) * dt, 1.0f);
        mat.RotateBy(Dir(angvel) * dt);
        mat.Normalise();
        vel = Vector(vel[0], vel[1] + GRAVITY * dt, vel[2], vel[3]);
        VectorPos p = mat.GetTrans();
        if ((world.time & 7) == i8TimeOffset)
            fLastH = world.GroundHeight(p - VectorDir(0.0f, 0.15625f, 0.0f), nullptr, &ghc);
        if (vel[1] > 0.0f && p[1] > fLastH) {
            vel = Vector(vel[0], -0.5f * vel[1], vel[2], vel[3]);
            mat.w = Vector(p[0], fLastH, p[2], 1.0f);
            if (--nBounces <= 0) {
                Delete();
                return -1;
            }
        }
        return 0;
    }
    case OM_DIE:
        delete this;
        return -1;
    default:
        return 0;
    }
}

int Debris_mh(Object* obj, OBJMESSAGE msg, void* data)
{
    return static_cast<Debris*>(obj)->mh(msg, data);
}

int Toppling::mh(OBJMESSAGE msg, void*)
{
    switch (msg) {
    case OM_INIT:
        flags |= 0x410000;
        fOrigHeight = mat.w[1];
        ghc.Clear();
        ModifyCollisionMaskHierarchy(0x508, 0);
        return 0;
    case OM_FRAME: {
        // The tip: the top of its box (y points down), else radius above
        // its origin.
        VectorPos tip(0.0f, -radius, 0.0f);
        COLLISION* c = GetCollision();
        if (c != nullptr && c->type == COLL_BOX) {
            const Cuboid& b = reinterpret_cast<CollBox*>(c)->box;
            tip = VectorPos((b.min[0] + b.max[0]) * 0.5f, b.min[1], (b.min[2] + b.max[2]) * 0.5f);
        }
        mat = RotX(angvel[0]) * mat;
        angvel = Vector(angvel[0] + angvel[1] + angvel[2], angvel[1] + angvel[2], angvel[2], 0.0f);
        const VectorPos w = mat * tip;
        float h = world.GroundHeight(w, nullptr, &ghc);
        if (h >= 0.0f)
            h = fOrigHeight;   // no ground found there
        if (w[1] < h)
            return 0;
        RCptr<Object> hold(this);
        world.StopFrameCall(this);
        Explode2(this);
        if (geom != nullptr) {
            if (mode == 0)
                world.SetTimer(this, Frames(60), nullptr);
            mode = 1;
        } else {
            Delete();
        }
        return 0;
    }
    case OM_TIMER: {
        const VectorPos cam = rc.view_world.GetTrans();
        const float dx = mat.w[0] - cam[0], dz = mat.w[2] - cam[2];
        if (dx * dx + dz * dz < 1525.8789f)
            world.SetTimer(this, Frames(60), nullptr);
        else
            Delete();
        return 0;
    }
    case OM_DIE:
        delete this;
        return -1;
    default:
        return 0;
    }
}

int Toppling_mh(Object* obj, OBJMESSAGE msg, void* data)
{
    return static_cast<Toppling*>(obj)->mh(msg, data);
}

// ---------------------------------------------------------------------------
// Flying pieces

const float FXDebris::cRs[7] = {1.9f, 1.5f, 1.0f, 1.1f, 1.1f, 1.1f, 1.1f};
const float FXDebris::cAs[7] = {0.99f, 0.98f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f};

FXDebris::FXDebris(MDLFILE* mf, int index, Matrix const& m, VectorDir launch, FX_Debris_params* params)
    : DynamicObject(_mh)
{
    ghc.Clear();
    // No ground known until the first sample.
    ground = Vector(0.0f, -1.0f, 0.0f, FLT_MAX);
    mf->GetHierarchyTo(this, u16(index), GH_ANIMATE);
    mat = m;
    const Cuboid box = GetRawBox();
    const VectorDir e(box.max - box.min);
    auto inv = [](float a, float b) { return a + b > 0.0f ? 4.0f / (a + b) : 0.0f; };
    rI = Vector(inv(e[1] * e[1], e[2] * e[2]), inv(e[0] * e[0], e[2] * e[2]), inv(e[0] * e[0], e[1] * e[1]), 0.0f);
    // Kinds past the last are thrown as the last.
    type = std::min<u8>(params->type, 6);
    cR = cRs[type];
    cA = cAs[type];
    timeoffset = u8(rand());
    if (type >= 5)
        return;
    const VectorDir L = Normalise(launch) * params->force;
    vel = Vector(L * (1.0f / 1024.0f), 0.0f);
    const VectorDir spinAxis(0.0f, 0.0f, 0.015625f);
    switch (type) {
    case 0:
        angvel = Vector(VectorXYZ(IntoFrame(mat, L)) ^ spinAxis, 0.0f);
        break;
    case 1:
        angvel = Vector(VectorXYZ(IntoFrame(mat, Dir(vel))) ^ spinAxis, 0.0f);
        break;
    case 3:
        angvel = Vector(0.0f, 0.1f, 0.0f, 0.0f);
        break;
    case 4:
        angvel = Vector(0.0f, 0.0f, 0.025f, 0.0f);
        break;
    default:
        break;
    }
}

bool FXDebris::CheckPoint(VectorPos pt, const Matrix& velmat)
{
    const VectorPos w = mat * pt;
    VectorDir n;
    const float h = world.GroundHeight(w, &n, &ghc);
    const float depth = w[1] - h;
    if (depth <= 0.0f)
        return false;
    const VectorDir v = Dir(velmat * Vector(pt));
    const float vn = std::min(Dot(v, n), 0.0f);
    const VectorDir vt = v - n * vn;
    const VectorXYZ c = VectorXYZ(pt) ^ VectorXYZ(IntoFrame(mat, n));
    const float k = 1.0f / (1.0f + rI[0] * c[0] * c[0] + rI[1] * c[1] * c[1] + rI[2] * c[2] * c[2]);
    const VectorDir F = n * (penalty * depth) - vt * cF - n * (k * cR * vn);
    ApplyWorldForce(F, w);
    return true;
}

bool FXDebris::GroundCheck(float r)
{
    const VectorPos p = mat.GetTrans() + VectorDir(0.0f, r, 0.0f);
    if (((world.time + timeoffset) & 7) == 0) {
        VectorDir n;
        const float h = world.GroundHeight(p, &n, &ghc);
        ground = Vector(n, h);
    }
    const float depth = p[1] - ground[3];
    if (depth <= 0.0f)
        return false;
    const VectorDir n = Dir(ground);
    const VectorDir v = Dir(vel);
    const float vn = std::min(Dot(v, n), 0.0f);
    vel = Vector(v - (v - n * vn) * cF - n * (cR * vn), 0.0f);
    return true;
}

bool FXDebris::GroundCheck(COLLISION* coll)
{
    bool touched = false;
    Matrix velmat = WorldVelocityMatrix();
    // Boxes and spheres; the walk ends at the end record or at any other
    // kind of record, which a flying piece does not use.
    for (COLLISION* c = coll; c != nullptr && !c->IsEnd(); c = c->Next()) {
        if (c->type == COLL_BOX) {
            const Cuboid& b = reinterpret_cast<CollBox*>(c)->box;
            for (int i = 0; i < 8; i++) {
                const float sx = (i & 1) ? 1.0f : -1.0f, sz = (i & 2) ? 1.0f : -1.0f, sy = (i & 4) ? 1.0f : -1.0f;
                if (sx * mat.x[1] + sy * mat.y[1] + sz * mat.z[1] <= 0.0f)
                    continue;
                const VectorPos corner((i & 1) ? b.max[0] : b.min[0], (i & 4) ? b.max[1] : b.min[1],
                                       (i & 2) ? b.max[2] : b.min[2]);
                if (CheckPoint(corner, velmat)) {
                    touched = true;
                    velmat = WorldVelocityMatrix();
                }
            }
        } else if (c->type == COLL_SPHERE) {
            const Sphere& s = reinterpret_cast<CollSphere*>(c)->sphere;
            const VectorPos low = VectorPos(s[0], s[1], s[2]) + VectorDir(mat.x[1], mat.y[1], mat.z[1]) * s[3];
            if (CheckPoint(low, velmat)) {
                touched = true;
                velmat = WorldVelocityMatrix();
            }
        } else {
            break;
        }
    }
    return touched;
}

void FXDebris::Collision(CollisionRecord* rec)
{
    if (!rec->GetInfo())
        return;
    const VectorPos p = rec->Point();
    const VectorDir n = rec->Normal();
    const float depth = rec->Dist();
    VectorDir v = LinearVelocityAtWorldPt(p);
    Object* other = rec->HitObj();
    if (other != nullptr && other->type == OBJT_VEHICLE)
        v = v - static_cast<DynamicObject*>(other)->LinearVelocityAtWorldPt(p);
    const VectorDir pb = IntoFrame(mat, p - mat.GetTrans());
    const float vn = std::min(Dot(v, n), 0.0f);
    const VectorDir vt = v - n * vn;
    const VectorXYZ c = VectorXYZ(pb) ^ VectorXYZ(IntoFrame(mat, n));
    const float k = 1.0f / (1.0f + rI[0] * c[0] * c[0] + rI[1] * c[1] * c[1] + rI[2] * c[2] * c[2]);
    ApplyWorldForce(n * (penalty * depth) - vt * cF - n * (k * cR * vn), p);
    stopped = 0;
    if (!(flags & OBJF_FRAMECALL))
        world.StartFrameCall(this);
}

int FXDebris::_mh(Object* obj, OBJMESSAGE msg, void* data)
{
    FXDebris* self = static_cast<FXDebris*>(obj);
    switch (msg) {
    case OM_INIT: {
        self->ModifyCollisionMask(0x100, 1);
        self->flags |= OBJF_FRAMECALL;
        const FX_Debris_params* params = static_cast<const FX_Debris_params*>(data);
        const u32 persist = params != nullptr ? params->persist : 0;
        world.SetTimer(self, Frames(persist != 0 ? persist * 60 : 240), nullptr);
        return 0;
    }
    case OM_TIMER:
        if (data != nullptr) {
            world.AddObject(self, data);   // its delayed arrival
            return 0;
        }
        self->fade = 60;
        self->flags |= OBJF_DRAWSELF;
        if (!(self->flags & OBJF_FRAMECALL))
            world.StartFrameCall(self);
        return 0;
    case OM_FRAME: {
        RCptr<Object> hold(self);
        self->Update();
        return 0;
    }
    case OM_RENDER: {
        // A piece that is not fading is drawn whole.
        RenderContext* r = static_cast<RenderContext*>(data);
        r->light_colour.w = Vector(r->light_colour.w[0], r->light_colour.w[1], r->light_colour.w[2],
                                   self->fade != 0 ? float(self->fade) * 0.0166667f : 1.0f);
        return 0;
    }
    case OM_COLLISION:
        self->Collision(static_cast<CollisionRecord*>(data));
        return 0;
    case OM_DIE:
        delete self;
        return -1;
    default:
        return 0;
    }
}

void FXDebris::Update()
{
    if (!stopped) {
        COLLISION* coll = GetCollision();
        const bool touched = coll != nullptr ? GroundCheck(coll) : GroundCheck(radius);
        MoveDynamicObject();
        vel = Vector(vel[0], vel[1] + GRAVITY, vel[2], vel[3]);
        if (type != 3)
            angvel = angvel * cA;
        if (type == 4) {
            // A flat piece: a quarter of its speed across its face turns
            // into spin.
            const VectorDir up = Dir(mat.y);
            const VectorDir across = up * Dot(Dir(vel), up) * 0.25f;
            vel = Vector(Dir(vel) - across, 0.0f);
            angvel = angvel + Vector(VectorXYZ(up) ^ VectorXYZ(Dir(vel)), 0.0f) * 0.25f;
        } else {
            vel = vel * cA;
        }
        auto slow = [](const Vector& a) {
            return std::fabs(a[0]) < 0.001f && std::fabs(a[1]) < 0.001f && std::fabs(a[2]) < 0.001f;
        };
        if ((type == 3 || type == 4) ? touched : (slow(vel) && slow(angvel)))
            stopped = 1;
    }
    if (stopped && fade == 0)
        world.StopFrameCall(this);
    if (fade != 0 && --fade == 0)
        Delete();
}

// ---------------------------------------------------------------------------
// Car doors

#include <bit>

#include "game/Vehicle.h"

namespace {

constexpr float DOOR_SWING = 0.20944f;   // 12 degrees a frame
constexpr float DEG5 = 0.0872665f, DEG60 = 1.0472f, DEG10 = 0.174533f;

}  // namespace

CarDoor::CarDoor()
{
    messagehandler = Debris_mh;
    ghc.Clear();
    i8TimeOffset = s8((rand() & 0x7FFFFFFF) >> 28);
}

Object* CarDoor_Create(Object* replaceObj)
{
    CarDoor* door = new CarDoor;
    if (door == nullptr)
        return nullptr;
    // The part's whole object header, but the door's own reference count.
    const u16 refs = door->refcount;
    std::memcpy(static_cast<void*>(static_cast<Object*>(door)), static_cast<const void*>(replaceObj), sizeof(Object));
    door->refcount = refs;
    door->messagehandler = CarDoor::CarDoor_mh;
    if (Object* p = door->parent) {
        if (p->child == replaceObj) {
            p->child = door;
        } else {
            for (Object* s = p->child; s != nullptr; s = s->sibling)
                if (s->sibling == replaceObj) {
                    s->sibling = door;
                    break;
                }
        }
    }
    for (Object* c = door->child; c != nullptr; c = c->sibling)
        c->parent = door;
    replaceObj->child = replaceObj->sibling = replaceObj->parent = nullptr;
    replaceObj->geom = nullptr;
    replaceObj->blendAnim = nullptr;
    replaceObj->Delete();
    world.AddObject(door, nullptr);
    return door;
}

int CarDoor::DoorBit()
{
    switch (id) {
    case 16: return 0x01;
    case 17: return 0x02;
    case 18: return 0x04;
    case 19: return 0x08;
    case 40: return 0x10;
    case 41: return 0x20;
    default: return 0;
    }
}

Vehicle* CarDoor::RootCar()
{
    // Only a car has doors to count: a part under anything else has none.
    for (Object* p = parent; p != nullptr; p = p->parent)
        if (p->type == OBJT_VEHICLE)
            return static_cast<Vehicle*>(p);
    return nullptr;
}

void CarDoor::GetSection()
{
    for (Object* p = parent; p != nullptr; p = p->parent)
        if (p->id >= 24 && p->id <= 27) {
            section = p->id - 24;
            return;
        }
}

float CarDoor::DamageLevel(Vehicle* car)
{
    return car->rgpartstrength[section] * 4.0f / car->fBaseStrength;
}

void CarDoor::Init()
{
    Vehicle* car = RootCar();
    if (car != nullptr)
        car->doors = u8(car->doors | DoorBit());
    curAng = 0.0f;
    flags |= OBJF_FRAMECALL;
    oldCarVel = VectorDir(0.0f, 0.0f, 0.0f);
    mode = 0;
    auto swingDoor = [&](float dir, int sect) {
        angSpd = dir * DOOR_SWING;
        gain = -dir * (1.2f + 1.2f * randf());
        damp = 0.06f + 0.06f * randf();
        bounce = 0.75f + 0.2f * randf();
        grav = -dir * 0.001f;
        latGain = 1.0f;
        vertGain = 0.0f;
        minAng = dir > 0.0f ? DEG5 : -DEG60;
        maxAng = dir > 0.0f ? DEG60 : -DEG5;
        section = sect;
        axis = DOOR_AXIS_Y;
    };
    auto lid = [&](float dir, float g, int sect) {
        angSpd = dir * DOOR_SWING;
        gain = 1.2f + 1.2f * randf();
        damp = 0.04f + 0.04f * randf();
        bounce = 0.75f + 0.2f * randf();
        grav = g;
        latGain = 0.0f;
        vertGain = -2.0f;
        minAng = dir > 0.0f ? 0.0f : -DEG60;
        maxAng = dir > 0.0f ? DEG60 : 0.0f;
        section = sect;
        axis = DOOR_AXIS_X;
    };
    switch (id) {
    case 16: case 18: case 20:
        swingDoor(1.0f, 1);
        break;
    case 17: case 19: case 21:
        swingDoor(-1.0f, 2);
        break;
    case 40:
        if (car != nullptr && car->i16VehType == 2)
            lid(-1.0f, 0.002f, 0);
        else
            lid(1.0f, -0.002f, 0);
        break;
    case 41:
        lid(-1.0f, 0.001f, 3);
        break;
    case 42: case 43: case 44: case 45:
        angSpd = -DOOR_SWING;
        gain = 0.0f;
        damp = 0.01f + 0.01f * randf();
        bounce = 0.0f;
        grav = 0.001f;
        latGain = 0.0f;
        vertGain = -(2.0f + 2.0f * randf());
        minAng = -DEG10;
        maxAng = DEG10;
        GetSection();
        axis = DOOR_AXIS_X;
        break;
    default:
        break;
    }
}

int CarDoor::Update()
{
    Vehicle* car = RootCar();
    if (car == nullptr)
        return 1;
    const float level = DamageLevel(car);
    if (level <= 0.0f)
        BreakOff(car);
    else if (mode == 0 && level < 0.9f)
        Swing(car);
    return 1;
}

void CarDoor::Swing(Vehicle* car)
{
    const float dt = world.playbackSpeed;
    const VectorPos at = car->GetWorldMatrix().Inverse() * GetWorldPos();
    const VectorDir v = Dir(car->WorldVelocityMatrix() * Vector(at));
    const VectorDir a = IntoFrame(GetWorldMatrix(), (v - oldCarVel) * (1.0f / dt));
    angSpd += dt * (gain * a[2] + latGain * a[0] + vertGain * a[1] - damp * angSpd + grav);
    curAng = FixAng(curAng + angSpd * dt);
    Bounce();
    const Vector w = mat.w;
    mat = axis == DOOR_AXIS_X ? RotX(curAng) : axis == DOOR_AXIS_Y ? RotY(curAng) : RotZ(curAng);
    mat.w = w;
    oldCarVel = v;
}

void CarDoor::Bounce()
{
    if (curAng < minAng) {
        if (angSpd < 0.0f) {
            angSpd = -bounce * angSpd;
            MightGetStuck();
        }
        curAng = minAng;
    } else if (curAng > maxAng) {
        if (angSpd > 0.0f) {
            angSpd = -bounce * angSpd;
            MightGetStuck();
        }
        curAng = maxAng;
    }
}

void CarDoor::MightGetStuck()
{
    if (id >= 41 || std::fabs(curAng) >= 0.17453294f || std::fabs(angSpd) <= 0.013089971f)
        return;
    Vehicle* car = RootCar();
    if (car == nullptr)
        return;
    // The more parts are still free, the likelier this one jams.
    const int others = std::popcount(unsigned(car->doors & ~DoorBit()));
    if (100.0f * randf() < float(5 * others)) {
        mode = 1;
        car->doors = u8(car->doors & ~DoorBit());
    }
}

void CarDoor::BreakOff(Vehicle* car)
{
    car->doors = u8(car->doors & ~DoorBit());
    mat = GetWorldMatrix();
    Detach();
    float spin[3] = {0.06f * randf(), 0.06f * randf(), 0.06f * randf()};
    spin[axis] = angSpd;
    angvel = Vector(spin[0], spin[1], spin[2], 0.0f);
    flags |= HasAnimation() ? 0xB0000 : 0x90000;
    if (!HasCollision())
        flags |= OBJF_NOCOLLISION;
    type = OBJT_DEBRIS;
    vel = car->vel;
    nBounces = s8(DebrisBounces(radius));
    messagehandler = Debris_mh;
    // Listed once: the door joined the world's list when it was made.
    if (world.objectlist.Find(static_cast<Object*>(this)) == nullptr)
        world.objectlist.AddTail(this);
}

void CarDoor::GetCurAng()
{
    curAng = mat.GetEuler()[axis];
}

int CarDoor::CarDoor_mh(Object* obj, OBJMESSAGE msg, void*)
{
    CarDoor* self = static_cast<CarDoor*>(obj);
    switch (msg) {
    case OM_INIT:
        self->Init();
        return 0;
    case OM_FRAME:
        return self->Update();
    case OM_DIE:
        delete self;
        return -1;
    case OM_CREATE:
        return int(reinterpret_cast<intptr_t>(new CarDoor));
    default:
        return 0;
    }
}
