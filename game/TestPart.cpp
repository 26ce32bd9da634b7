// Particle-manager registration, the resident particle files, and the small
// particle effects: sparks, sweat, blood, finishing spray and smoke puffs.
#include "game/TestPart.h"

#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/Utilities.h"
#include "ZevEngine2/PS2/Model.h"
#include "game/GameFlow.h"
#include "game/QuadTree.h"

namespace {

constexpr float kTwoPi = 6.2831855f;

// The files of the resident slots 212 to 217 and 219, in slot order.
constexpr struct
{
    int slot;
    const char* name;
} kResidentPartFiles[] = {
    {212, "SKIDSMKE.P2B"}, {213, "ENGFIRE.P2B"}, {214, "SMKPUFF.P2B"}, {215, "SHROOM.P2B"},
    {216, "GEYSER.P2B"},   {217, "DUSTPUFF.P2B"}, {219, "SPLASH.P2B"},
};

}  // namespace

void LoadParticleFiles()
{
    // The transfers run side by side: all are started, then waited for.
    char path[64];
    for (const auto& f : kResidentPartFiles) {
        sprintf(path, "KORVALIS\\DemoData\\Misc\\%s", f.name);
        g_GlobalMFI.CheckAssetLoaded(f.slot, 0, path);
    }
    for (bool busy = true; busy;) {
        busy = false;
        for (const auto& f : kResidentPartFiles)
            busy |= !g_GlobalMFI.GetMFI(f.slot).smf.IsIdle();
        if (busy)
            g_GlobalMFI.Update();
    }
    char missing[128] = "";
    for (const auto& f : kResidentPartFiles) {
        if (g_GlobalMFI.GetMF(f.slot, false) != nullptr)
            continue;
        const size_t used = strlen(missing);
        // Seven short names fit the line.
        sprintf(missing + used, "%s%s", used != 0 ? ", " : "", f.name);
    }
    if (missing[0] != 0)
        printf("Particles: no usable %s on the disc; their effects spawn nothing\n", missing);
}

// ------------------------------------------------------------ registration

bool SetUpPartMan(Object* manager, int slot, int node)
{
    manager->type = OBJT_PARTICLE;
    manager->flags |= OBJF_CINEMAFRAME | OBJF_FRAMECALL | OBJF_NOCOLLISION;
    void* params = nullptr;
    if (slot >= 0) {
        MDLFILE* mf = g_GlobalMFI.GetMF(slot, false);
        if (mf == nullptr || mf->header == nullptr) {
            printf("Particles: no model file in slot %d for a particle manager\n", slot);
            return false;
        }
        if (mf->nodes == nullptr || node < 0 || node >= mf->nNodes) {
            printf("Particles: the model file in slot %d has no node %d\n", slot, node);
            return false;
        }
        g_GlobalMFI.GetMF(slot, true);
        mf->GetHierarchyTo(manager, u16(node), GH_NODEMATRIX);
        // The block is read only where the file has it: a node pointing
        // past the file's end has none.
        const u32 at = mf->nodes[node].extra2;
        const u32 size = g_GlobalMFI.GetMFSize(slot);
        if (at != 0 && u64(at) + sizeof(GenericParticle_params) <= size)
            params = reinterpret_cast<u8*>(mf->header) + at;
    }
    if (!world.AddObject(manager, params))
        return false;
    world.partList.AddTail(manager);
    return true;
}

void SetPartManagerDefaults(PartManager* pm, OBJMESSAGEHANDLER mh)
{
    pm->messagehandler = mh;
    pm->partRef.index = -1;
    pm->alpha = ALPHA_ADD;
    pm->partFlags = 0;
    pm->partType = PART_TYPE_SPRITE;
    pm->w = pm->h = 0.078125f;
    pm->timeOut = 0.0f;
    pm->rate = 0.5f;
    pm->wind = 0.0f;
    pm->dither = true;
    pm->UpdateFcn = nullptr;
    pm->InitFcn = nullptr;
}

void RemoveFromPartList(Object* obj)
{
    world.partList.Remove(obj);
}

float PartDt()
{
    return world.playbackSpeed;
}

void GenericPartManager::InitFrom(GenericParticle_params* params, PARTINITFCN init, PARTUPDATEFCN update,
                                  float _timeOut, float _wind, PART_TYPE_ENUM type, ALPHA_MODE mode)
{
    data = params;
    partRef.index = params != nullptr ? params->part.index : -1;
    InitFcn = init;
    UpdateFcn = update;
    timeOut = _timeOut;
    wind = _wind;
    partType = type;
    alpha = mode;
}

VectorDir RandSphereUp(float r)
{
    VectorDir v = RandSphere(r);
    v.sety(-fabsf(v[1]));
    return v;
}

float RandSpin(float s)
{
    return (randf() * 2.0f - 1.0f) * s;
}

u8 PartAlpha(float a)
{
    return u8(int(a));
}

// ------------------------------------------------------------ line particles

namespace {

// The streak of a line particle: it starts two steps out from its spawn
// point and is one step long.
void LayStreak(Particle* p)
{
    p->pos2.setxyz(p->pos + p->vel * 2.0f);
    p->pos.setxyz(p->pos2 + p->vel);
}

// A line particle of the given speed at *a (when given).
void LineStart(Particle* p, Variant a, float r)
{
    p->vel = RandSphere(r);
    if (a.p != nullptr)
        p->pos = *static_cast<VectorPos*>(a.p);
}

// One tick of a falling drop: fixed drag and gravity steps, not scaled by
// the world's speed, so drops keep their arc in slow motion.
void LineFall(Particle* p, float drag, float gravity)
{
    p->vel = Drag(p->vel, drag);
    p->pos2.setxyz(p->pos - p->vel);
    p->vel.sety(p->vel[1] + gravity);
}

// The fraction of a 30-tick life still to come.
float LineLife(const Particle* p)
{
    return (30.0f - p->timer) / 30.0f;
}

// A drop thrown at `r` plus *b x speed (when b is given), in two colours.
void DropStart(Particle* p, Variant a, Variant b, float r, float speed, Colour near, Colour far)
{
    LineStart(p, a, r);
    if (b.p != nullptr)
        p->vel.setxyz(p->vel + *static_cast<VectorDir*>(b.p) * speed);
    LayStreak(p);
    p->colour = near;
    p->colour2 = far;
}

// A drop's tick: both ends fade from `opacity` over its life as it falls.
void DropFall(Particle* p, float opacity, float drag, float gravity)
{
    p->colour.a = p->colour2.a = PartAlpha(LineLife(p) * opacity);
    LineFall(p, drag, gravity);
}

void InitLineManager(PartManager* pm, PARTINITFCN init, PARTUPDATEFCN update)
{
    pm->timeOut = 30.0f;
    pm->partType = PART_TYPE_LINE;
    pm->InitFcn = init;
    pm->UpdateFcn = update;
}

}  // namespace

int Spark::Init()
{
    InitLineManager(this, MyInit, MyUpdate);
    return 0;
}

void Spark::MyInit(Particle* p, Variant a, Variant b, float)
{
    LineStart(p, a, b.i != 0 ? b.f : _defSpd);
    p->vel.sety(-fabsf(p->vel[1]));
    LayStreak(p);
    p->colour = Colour(255, 255, 0, 255);
    p->colour2 = Colour(128, 80, 0, 128);
    p->timer = float(int(randf() * 15.0f));
}

void Spark::MyUpdate(Particle* p)
{
    const float f = LineLife(p);
    p->colour.g = p->colour.a = PartAlpha(f * 255.0f);
    p->colour2.a = PartAlpha(f * 128.0f);
    LineFall(p, _drag, _gravity);
}

int Spark::Spark_mh(Object* obj, OBJMESSAGE msg, void* data)
{
    return PartManagerMessage<Spark>(obj, msg, data);
}

int Sweat::Init()
{
    InitLineManager(this, MyInit, MyUpdate);
    return 0;
}

void Sweat::MyInit(Particle* p, Variant a, Variant b, float)
{
    DropStart(p, a, b, _random, _speed, Colour(32, 32, 48, 128), Colour(16, 16, 16, 128));
}

void Sweat::MyUpdate(Particle* p)
{
    DropFall(p, 128.0f, _drag, _gravity);
}

int Sweat::Sweat_mh(Object* obj, OBJMESSAGE msg, void* data)
{
    return PartManagerMessage<Sweat>(obj, msg, data);
}

int Blood::Init()
{
    InitLineManager(this, MyInit, MyUpdate);
    alpha = ALPHA_BLEND;
    return 0;
}

void Blood::MyInit(Particle* p, Variant a, Variant b, float)
{
    DropStart(p, a, b, _random, _speed, Colour(240, 0, 0, 128), Colour(128, 0, 0, 128));
}

void Blood::MyUpdate(Particle* p)
{
    DropFall(p, 128.0f, _drag, _gravity);
}

int Blood::Blood_mh(Object* obj, OBJMESSAGE msg, void* data)
{
    return PartManagerMessage<Blood>(obj, msg, data);
}

int FinishSpray::Init()
{
    InitLineManager(this, MyInit, MyUpdate);
    return 0;
}

void FinishSpray::MyInit(Particle* p, Variant a, Variant, float)
{
    DropStart(p, a, nullptr, _random, 0.0f, Colour(32, 32, 48, 200), Colour(16, 16, 16, 200));
}

void FinishSpray::MyUpdate(Particle* p)
{
    DropFall(p, 200.0f, _drag, _gravity);
}

int FinishSpray::FinishSpray_mh(Object* obj, OBJMESSAGE msg, void* data)
{
    return PartManagerMessage<FinishSpray>(obj, msg, data);
}

Particle* Spark_Spawn(VectorPos pos, float speed)
{
    return SpawnParticle(PartManagerFor<Spark>(Spark::Spark_mh, -1, -1), 1.0f, &pos, Variant(speed));
}

void Spark_SpawnCluster(int n, VectorPos pos, float speed)
{
    for (int i = 0; i < n; i++)
        Spark_Spawn(pos, speed);
}

void BulletSparks(VectorPos pos, VectorDir dir)
{
    const int n = 3 + (rand() >> 29);
    for (int i = 0; i < n; i++) {
        Particle* p = Spark_Spawn(pos, 0.0f);
        if (p != nullptr)
            p->vel = RandSphere(0.0015625f) + dir * 0.010416667f;
    }
}

Particle* Sweat_Spawn(VectorPos pos, VectorDir dir)
{
    return SpawnParticle(PartManagerFor<Sweat>(Sweat::Sweat_mh, -1, -1), 1.0f, &pos, &dir);
}

void Sweat_SpawnCluster(int n, VectorPos pos, VectorDir dir)
{
    for (int i = 0; i < n; i++)
        Sweat_Spawn(pos, dir);
}

Particle* Blood_Spawn(VectorPos pos, VectorDir dir)
{
    return SpawnParticle(PartManagerFor<Blood>(Blood::Blood_mh, -1, -1), 1.0f, &pos, &dir);
}

void Blood_SpawnCluster(int n, VectorPos pos, VectorDir dir)
{
    for (int i = 0; i < n; i++)
        Blood_Spawn(pos, dir);
}

void BulletBlood(VectorPos pos, VectorDir dir, int n, float speed)
{
    // rand() x n / 2^31 in 64 bits: 0 .. n - 1.  A negative count of extra
    // drops means none.
    const s64 extra = (s64(rand()) * s64(std::max(n, 0))) >> 31;
    const int count = 3 + int(extra);
    for (int i = 0; i < count; i++) {
        Particle* p = Blood_Spawn(pos, dir);
        if (p != nullptr)
            p->vel = RandSphere(0.0026041667f) + dir * speed;
    }
}

Particle* FinishSpray_Spawn(VectorPos pos)
{
    return SpawnParticle(PartManagerFor<FinishSpray>(FinishSpray::FinishSpray_mh, -1, -1), 1.0f, &pos, nullptr);
}

void FinishSpray_SpawnCluster(int n, VectorPos pos)
{
    for (int i = 0; i < n; i++)
        FinishSpray_Spawn(pos);
}

// --------------------------------------------------------------- smoke puffs

int SmokePuff::Init(GenericParticle_params* params)
{
    InitFrom(params, MyInit, MyUpdate, _timeOut, 0.0f, PART_TYPE_FLAT, ALPHA_ADD);
    return 0;
}

SmokePuff* SmokePuff::CreateManager()
{
    return PartManagerFor<SmokePuff>(SmokePuff_mh, 214, 0);
}

void SmokePuff::MyInit(Particle* p, Variant a, Variant, float)
{
    p->colour = Colour(128, 128, 128, 38);
    if (a.p != nullptr)
        p->pos = *static_cast<VectorPos*>(a.p);
    p->vel = VectorDir(0.0f, 0.0f, 0.0f);
    p->rotZ = randf() * kTwoPi;
    p->rotSpd = 0.0f;
    p->extra = 0;
}

void SmokePuff::MyUpdate(Particle* p)
{
    const float t = p->timer;
    p->colour.a = PartAlpha((15.0f - t) * (p->extra.i == 2 ? 8.5333338f : 2.56f));
    p->w *= adjusted_expand;
    p->h = p->w;
    if (p->extra.i == 0 && t >= _subPuffTime) {
        Particle* q = SpawnParticle(p->partMan, 1.0f, nullptr, nullptr);
        if (q != nullptr) {
            q->colour = Colour(128, 128, 128, 128);
            q->pos = p->pos;
            q->vel = p->vel;
            q->extra = 2;
            q->w = q->h = p->w * 0.46728969f;
            q->pos.setxyz(q->pos + RandSphere(q->w));
        }
        p->extra = 1;
    }
}

int SmokePuff::SmokePuff_mh(Object* obj, OBJMESSAGE msg, void* data)
{
    return PartManagerMessage<SmokePuff>(obj, msg, data);
}

Particle* SmokePuff_Spawn(VectorPos pos, float size)
{
    Particle* p = SpawnParticle(SmokePuff::CreateManager(), 1.0f, &pos, nullptr);
    if (p != nullptr)
        p->w = p->h = size;
    return p;
}

// ------------------------------------------------------------------ sparkler

void Sparkler_Create(Object* parent, VectorPos offset, float size, float timeOut, float delay)
{
    Sparkler* s = new Sparkler;
    if (s == nullptr)
        return;
    s->messagehandler = Sparkler::Sparkler_mh;
    s->rcParent = parent;
    s->mat = TransMatrix(offset);
    s->size = size;
    s->timeOut = timeOut;
    s->delay = delay;
    s->offset = offset;
    if (parent != nullptr)
        s->mat = s->mat * parent->GetWorldMatrix();
    if (!world.AddObject(s, nullptr))
        s->Delete();
}

void Sparkler::FollowParent()
{
    if (rcParent != nullptr)
        mat = TransMatrix(offset) * rcParent->GetWorldMatrix();
}

void Sparkler::Burst()
{
    Spark_SpawnCluster(int(size * 16.0f), mat.GetTrans(), size * Spark::_defSpd);
}

int Sparkler::Init()
{
    flags |= OBJF_FRAMECALL | OBJF_NOCOLLISION;
    if (delay == timer)
        Burst();
    return 0;
}

int Sparkler::Update()
{
    timer += PartDt();
    if (delay != 0.0f) {
        if (timer >= delay) {
            FollowParent();
            Burst();
            timer = 0.0f;
            delay = 0.0f;
        }
        return 0;
    }
    if (timeOut != 0.0f && timer >= timeOut) {
        Delete();
        return 0;
    }
    if (rcParent != nullptr) {
        if (rcParent->IsDead())
            Delete();
        else
            FollowParent();
    }
    Spark_SpawnCluster(4, mat.GetTrans(), size * Spark::_defSpd);
    return 0;
}

int Sparkler::Sparkler_mh(Object* obj, OBJMESSAGE msg, void*)
{
    return EffectObjectMessage<Sparkler>(obj, msg, Sparkler_mh);
}
