// Smoke, fire and steam particles and their emitters.
#include "game/smoke.h"

#include "game/GameFlow.h"

#include "ZevEngine2/Utilities.h"
#include "game/MAIN.h"
#include "game/QuadTree.h"

namespace {

constexpr float kTwoPi = 6.2831855f;
constexpr float kSpin3 = 0.05235988f;    // 3 degrees a tick
constexpr float kSpin1_5 = 0.02617994f;
constexpr float kSpin0_75 = 0.01308997f;

// Emission: one particle every 1.5 ticks of age.
constexpr float kEmitInterval = 1.5f;

// Model-file slots of the particle images.
constexpr int kSlotSkid = 212, kSlotEngine = 213, kSlotShroom = 215, kSlotGeyser = 216, kSlotDust = 217;

// The shared start of most looks: a size drawn separately for w and h, the
// position, a random screen angle and spin.
void StartPuff(Particle* p, Variant a, float base, float range, float spin)
{
    p->w = base + randf() * range;
    p->h = base + randf() * range;
    if (a.p != nullptr)
        p->pos = *static_cast<VectorPos*>(a.p);
    p->rotZ = randf() * kTwoPi;
    p->rotSpd = RandSpin(spin);
}

// The same with one size for both sides.
void StartSquare(Particle* p, Variant a, float base, float range, float spin)
{
    p->w = p->h = base + randf() * range;
    if (a.p != nullptr)
        p->pos = *static_cast<VectorPos*>(a.p);
    p->rotZ = randf() * kTwoPi;
    p->rotSpd = RandSpin(spin);
}

// The push of a direction: after the generic move by vel x scale it travels
// *b per tick whatever the particle's size.  A particle of size 0 does not
// move, so it gets none.
void AddPush(Particle* p, Variant b, float scale)
{
    if (b.p != nullptr && scale != 0.0f)
        p->vel.setxyz(p->vel + *static_cast<VectorDir*>(b.p) * (1.0f / scale));
}

// A velocity built in a geyser's frame, turned by the 3 x 3 part of *b.
VectorDir TurnBy(Variant b, VectorDir v)
{
    if (b.p == nullptr)
        return v;
    const Matrix& m = *static_cast<Matrix*>(b.p);
    return VectorDir(m * v);
}

void EngineSmokeMotion(Particle* p, float dt, float lift, float drag, float grow)
{
    p->vel.sety(p->vel[1] - dt * lift);
    p->vel = Drag2D(p->vel, drag * dt);
    p->w += dt * grow;
    p->h += dt * grow;
}

// Alpha of a puff that fades in until `peak` (inclusive) and out after it.
float FadeInOut(float t, float peak, float end, float k)
{
    return t <= peak ? t * k : (end - t) * k;
}

}  // namespace

// ---------------------------------------------------------------- skid smoke

int SkidSmoke::Init(GenericParticle_params* params)
{
    InitFrom(params, MyInit, MyUpdate, _timeOut, 0.3f, PART_TYPE_FLAT, ALPHA_ADD);
    return 0;
}

void SkidSmoke::MyInit(Particle* p, Variant a, Variant b, float)
{
    p->colour = Colour(128, 128, 128, 64);
    StartPuff(p, a, 0.03125f, 0.078125f, kSpin3);
    p->vel = RandSphereUp(_random);
    // The wheel's own motion, not divided by the size.
    if (b.p != nullptr)
        p->vel.setxyz(p->vel + *static_cast<VectorDir*>(b.p) * 0.8f);
}

void SkidSmoke::MyUpdate(Particle* p)
{
    const float t = p->timer, dt = PartDt();
    p->colour.a = PartAlpha((60.0f - t) * 1.0666667f);
    p->vel.sety(p->vel[1] - dt * _float);
    p->vel = Drag(p->vel, _drag * dt);
    p->w *= adjusted_expand;
    p->h *= adjusted_expand;
}

int SkidSmoke::SkidSmoke_mh(Object* obj, OBJMESSAGE msg, void* data)
{
    return PartManagerMessage<SkidSmoke>(obj, msg, data);
}

Particle* SkidSmoke_Spawn(VectorPos pos, VectorDir dir, float strength)
{
    Particle* p = SpawnParticle(PartManagerFor<SkidSmoke>(SkidSmoke::SkidSmoke_mh, kSlotSkid, 0), 1.0f, &pos, &dir);
    if (p != nullptr && strength < 1.0f) {
        const float u = std::min(std::max((strength - 0.5f) * 2.0f, 0.0f), 1.0f);
        p->timer = float(int((1.0f - u) * 60.0f));
        p->colour.a = PartAlpha((60.0f - p->timer) * 1.0666667f);
    }
    return p;
}

// ------------------------------------------------------- engine smoke, steam

int EngineSmoke::Init(GenericParticle_params* params)
{
    InitFrom(params, MyInit, MyUpdate, _timeOut, 0.5f, PART_TYPE_FLAT, ALPHA_SUB);
    // Kept off screen only when made for a cinematic.
    if (world.mode == WORLD_MODE_CINEMA)
        partFlags |= PART_KEEP;
    return 0;
}

EngineSmoke* EngineSmoke::CreateManager()
{
    return PartManagerFor<EngineSmoke>(EngineSmoke_mh, kSlotEngine, 1);
}

void EngineSmoke::MyInit(Particle* p, Variant a, Variant, float)
{
    p->colour = Colour(64, 64, 64, 0);
    // a: the fire particle this smoke takes over from.
    if (a.p != nullptr) {
        const Particle* src = static_cast<const Particle*>(a.p);
        p->pos = src->pos;
        p->vel = src->vel;
        p->w = src->w;
        p->h = src->h;
        p->scale = src->scale;
        p->rotZ = src->rotZ;
        p->rotSpd = src->rotSpd;
    }
}

void EngineSmoke::MyUpdate(Particle* p)
{
    const float t = p->timer, dt = PartDt();
    p->colour.a = PartAlpha((t < 15.0f ? t : 30.0f - t) * 2.1333334f);
    EngineSmokeMotion(p, dt, _float, _drag, _expand);
}

int EngineSmoke::EngineSmoke_mh(Object* obj, OBJMESSAGE msg, void* data)
{
    return PartManagerMessage<EngineSmoke>(obj, msg, data);
}

Particle* EngineSmoke_Spawn(VectorPos pos, VectorDir dir, float f)
{
    Particle* p = SpawnParticle(EngineSmoke::CreateManager(), 1.0f, nullptr, nullptr);
    if (p == nullptr)
        return nullptr;
    p->w = 0.03125f + randf() * 0.0625f;
    p->h = 0.03125f + randf() * 0.0625f;
    p->pos = pos;
    p->vel = RandSphereUp(EngineSmoke::_randvel);
    if (f != 0.0f)
        p->vel.setxyz(p->vel + dir * (1.0f / f));
    p->rotZ = randf() * kTwoPi;
    p->rotSpd = RandSpin(kSpin3);
    return p;
}

int EngineSteam::Init(GenericParticle_params* params)
{
    InitFrom(params, MyInit, MyUpdate, _timeOut, 0.5f, PART_TYPE_FLAT, ALPHA_ADD);
    return 0;
}

void EngineSteam::MyInit(Particle* p, Variant a, Variant b, float scale)
{
    p->colour = Colour(128, 128, 128, 0);
    StartPuff(p, a, 0.03125f, 0.0625f, kSpin3);
    p->vel = RandSphereUp(_randvel);
    AddPush(p, b, scale);
}

void EngineSteam::MyUpdate(Particle* p)
{
    EngineSmoke::MyUpdate(p);
}

int EngineSteam::EngineSteam_mh(Object* obj, OBJMESSAGE msg, void* data)
{
    return PartManagerMessage<EngineSteam>(obj, msg, data);
}

Particle* EngineSteam_Spawn(VectorPos pos, VectorDir dir, float size)
{
    return SpawnParticle(PartManagerFor<EngineSteam>(EngineSteam::EngineSteam_mh, kSlotEngine, 0), size, &pos,
                         &dir);
}

// --------------------------------------------------------------- engine fire

int EngineFire::Init(GenericParticle_params* params)
{
    InitFrom(params, MyInit, MyUpdate, _timeOut, 0.2f, PART_TYPE_FLAT, ALPHA_ADD);
    if (world.mode == WORLD_MODE_CINEMA)
        partFlags |= PART_KEEP;
    return 0;
}

void EngineFire::MyInit(Particle* p, Variant a, Variant b, float scale)
{
    p->colour = Colour(240, 240, 64, 64);
    StartPuff(p, a, 0.03125f, 0.0625f, kSpin3);
    p->vel = RandSphereUp(_randvel);
    p->vel.sety(p->vel[1] - _up);
    AddPush(p, b, scale);
    // Every other flame leaves smoke.
    p->extra = rand() & 1;
}

void EngineFire::MyUpdate(Particle* p)
{
    const float t = p->timer, dt = PartDt();
    p->colour.a = PartAlpha((30.0f - t) * 2.1333334f);
    p->colour.g = PartAlpha(240.0f - t * 5.8666668f);
    EngineSmokeMotion(p, dt, _float, _drag, _expand);
    if (p->extra.i == 0 && t >= _smokeTime) {
        SpawnParticle(EngineSmoke::CreateManager(), 1.0f, p, nullptr);
        p->extra = 1;
    }
}

int EngineFire::EngineFire_mh(Object* obj, OBJMESSAGE msg, void* data)
{
    return PartManagerMessage<EngineFire>(obj, msg, data);
}

Particle* EngineFire_Spawn(VectorPos pos, VectorDir dir, float size)
{
    return SpawnParticle(PartManagerFor<EngineFire>(EngineFire::EngineFire_mh, kSlotEngine, 2), size, &pos, &dir);
}

// ----------------------------------------------------- mushroom fire, smoke

int ShroomSmoke::Init(GenericParticle_params* params)
{
    InitFrom(params, EngineSmoke::MyInit, EngineSmoke::MyUpdate, EngineSmoke::_timeOut, 0.4f, PART_TYPE_FLAT,
             ALPHA_SUB);
    return 0;
}

ShroomSmoke* ShroomSmoke::CreateManager()
{
    return PartManagerFor<ShroomSmoke>(ShroomSmoke_mh, kSlotEngine, 1);
}

int ShroomSmoke::ShroomSmoke_mh(Object* obj, OBJMESSAGE msg, void* data)
{
    return PartManagerMessage<ShroomSmoke>(obj, msg, data);
}

int ShroomFire::Init(GenericParticle_params* params)
{
    InitFrom(params, MyInit, MyUpdate, _timeOut, 0.2f, PART_TYPE_FLAT, ALPHA_BLEND);
    return 0;
}

void ShroomFire::MyInit(Particle* p, Variant a, Variant, float)
{
    p->colour = Colour(170, 170, 170, 170);
    StartPuff(p, a, 0.03125f, 0.0625f, 0.0f);
    p->vel = RandSphereUp(_randvel);
    // Spin with the sideways motion on screen.
    const Vector s0 = rc.world_screen * Vector(p->pos, 1.0f);
    const Vector s1 = rc.world_screen * Vector(VectorPos(p->pos + p->vel), 1.0f);
    float d = 0.0f;
    if (s0[3] != 0.0f && s1[3] != 0.0f)
        d = s1[0] / s1[3] - s0[0] / s0[3];
    p->rotSpd = std::min(std::max(d * _rotate, -_rotate), _rotate);
    p->pos.setxyz(p->pos + p->vel);
    p->pos2.setxyz(p->vel);
    toggle = !toggle;
    p->extra = int(toggle);
}

void ShroomFire::MyUpdate(Particle* p)
{
    const float t = p->timer, dt = PartDt();
    // The start velocity dies away over a quarter cosine by _smokeTime.
    if (t < _smokeTime) {
        const float c = Cos(t * 0.07479983f);
        p->vel = VectorDir(p->pos2[0] * c - _up, p->pos2[1] * c - _up, p->pos2[2] * c - _up);
    }
    p->w += dt * _expand;
    p->h += dt * _expand;
    p->colour.r = PartAlpha(170.0f - t * 1.8571429f);
    p->colour.g = p->colour.b = PartAlpha(170.0f - t * 3.2857143f);
    p->colour.a = PartAlpha((42.0f - t) * 4.047619f);
    if (p->extra.i != 0 && t >= _smokeTime) {
        SpawnParticle(ShroomSmoke::CreateManager(), 1.0f, p, nullptr);
        p->extra = 0;
    }
}

int ShroomFire::ShroomFire_mh(Object* obj, OBJMESSAGE msg, void* data)
{
    return PartManagerMessage<ShroomFire>(obj, msg, data);
}

void ShroomFire_SpawnCluster(int n, VectorPos pos, float size)
{
    for (int i = 0; i < n; i++)
        SpawnParticle(PartManagerFor<ShroomFire>(ShroomFire::ShroomFire_mh, kSlotShroom, 0), size, &pos, nullptr);
}

// ------------------------------------------------------- shock smoke, crackle

int ShockSmoke::Init(GenericParticle_params* params)
{
    InitFrom(params, MyInit, MyUpdate, _timeOut, 0.2f, PART_TYPE_FLAT, ALPHA_ADD);
    return 0;
}

void ShockSmoke::MyInit(Particle* p, Variant a, Variant, float)
{
    p->colour = Colour(128, 110, 85, 24);
    StartPuff(p, a, 0.0625f, 0.078125f, kSpin3);
    p->vel = RandSphere(_speed);
    p->vel.sety(-0.5f * fabsf(p->vel[1]));
}

void ShockSmoke::MyUpdate(Particle* p)
{
    const float t = p->timer, dt = PartDt();
    p->colour.a = PartAlpha((60.0f - t) * 0.4f);
    p->vel = Drag(p->vel, _drag * dt);
    p->w *= adjusted_expand;
    p->h *= adjusted_expand;
}

int ShockSmoke::ShockSmoke_mh(Object* obj, OBJMESSAGE msg, void* data)
{
    return PartManagerMessage<ShockSmoke>(obj, msg, data);
}

Particle* ShockSmoke_Spawn(VectorPos pos, float size)
{
    return SpawnParticle(PartManagerFor<ShockSmoke>(ShockSmoke::ShockSmoke_mh, kSlotEngine, 1), size, &pos,
                         nullptr);
}

void ShockSmoke_SpawnCluster(int n, VectorPos pos, float size)
{
    for (int i = 0; i < n; i++)
        ShockSmoke_Spawn(pos, size);
}

int Crackle::Init(GenericParticle_params* params)
{
    InitFrom(params, MyInit, nullptr, 0.0f, 0.0f, PART_TYPE_FLAT, ALPHA_ADD);
    partFlags = PART_ANIMATED;
    rate = 0.5f;
    return 0;
}

void Crackle::MyInit(Particle* p, Variant a, Variant, float)
{
    p->colour = Colour(128, 128, 128, 128);
    p->w = p->h = 0.46875f;
    if (a.p != nullptr)
        p->pos = *static_cast<VectorPos*>(a.p);
    p->vel = VectorDir(0.0f, 0.0f, 0.0f);
    p->rotZ = 0.0f;
    p->rotSpd = 0.0f;
}

void Crackle::MyUpdate(Particle*)
{
}

int Crackle::Crackle_mh(Object* obj, OBJMESSAGE msg, void* data)
{
    return PartManagerMessage<Crackle>(obj, msg, data);
}

Particle* Crackle_Spawn(VectorPos pos, float size)
{
    return SpawnParticle(PartManagerFor<Crackle>(Crackle::Crackle_mh, kSlotShroom, 1), size, &pos, nullptr);
}

// ------------------------------------------------------------ geyser jets

int GeyserWater::Init(GenericParticle_params* params)
{
    InitFrom(params, MyInit, MyUpdate, _timeOut, 0.1f, PART_TYPE_SPRITE, ALPHA_BLEND);
    return 0;
}

void GeyserWater::MyInit(Particle* p, Variant a, Variant b, float)
{
    p->colour = Colour(128, 128, 128, 128);
    StartSquare(p, a, 0.03125f, 0.0625f, 0.0f);
    VectorDir v = RandSphere(_randvel);
    v.sety(-_up);
    p->vel = TurnBy(b, v);
    // A stream's particles start staggered in age.
    p->timer = float(int(randf() * 30.0f));
}

void GeyserWater::MyUpdate(Particle* p)
{
    const float t = p->timer;
    // 256 at age 0 is stored as 0: one transparent frame.
    p->colour.a = PartAlpha(t < 12.0f ? 256.0f - t * 10.666667f : 128.0f - (t - 12.0f) * 1.1851852f);
    p->vel.sety(p->vel[1] + PartDt() * _gravity);
}

int GeyserWater::GeyserWater_mh(Object* obj, OBJMESSAGE msg, void* data)
{
    return PartManagerMessage<GeyserWater>(obj, msg, data);
}

int GeyserSteam::Init(GenericParticle_params* params)
{
    InitFrom(params, MyInit, MyUpdate, _timeOut, 0.2f, PART_TYPE_FLAT, ALPHA_ADD);
    return 0;
}

void GeyserSteam::MyInit(Particle* p, Variant a, Variant b, float)
{
    p->colour = Colour(128, 128, 128, 48);
    StartSquare(p, a, 0.0625f, 0.125f, kSpin0_75);
    VectorDir v = RandSphere(_randvel);
    v.sety(-_up);
    p->vel = TurnBy(b, v);
    p->timer = float(int(randf() * 30.0f));
}

void GeyserSteam::MyUpdate(Particle* p)
{
    const float t = p->timer;
    if (t > 60.0f)
        p->colour.a = PartAlpha(96.0f - t * 0.8f);
    p->vel.sety(p->vel[1] + PartDt() * _gravity);
}

int GeyserSteam::GeyserSteam_mh(Object* obj, OBJMESSAGE msg, void* data)
{
    return PartManagerMessage<GeyserSteam>(obj, msg, data);
}

int GeyserMist::Init(GenericParticle_params* params)
{
    InitFrom(params, MyInit, MyUpdate, _timeOut, 0.5f, PART_TYPE_FLAT, ALPHA_ADD);
    return 0;
}

void GeyserMist::MyInit(Particle* p, Variant a, Variant b, float)
{
    p->colour = Colour(128, 128, 128, 32);
    StartSquare(p, a, 0.03125f, 0.0625f, kSpin0_75);
    VectorDir v = RandSphereUp(_randvel);
    v.sety(v[1] - _up);
    p->vel = TurnBy(b, v);
    p->timer = float(int(randf() * 18.0f));
}

void GeyserMist::MyUpdate(Particle* p)
{
    const float t = p->timer;
    p->colour.a = PartAlpha(t <= 36.0f ? t * 0.8888889f : 64.0f - t * 0.8888889f);
    p->vel.sety(p->vel[1] + PartDt() * _gravity);
    p->w *= adjusted_expand;
    p->h = p->w;
}

int GeyserMist::GeyserMist_mh(Object* obj, OBJMESSAGE msg, void* data)
{
    return PartManagerMessage<GeyserMist>(obj, msg, data);
}

int PooGeyserWater::Init(GenericParticle_params* params)
{
    GeyserWater::Init(params);
    InitFcn = MyInit;
    return 0;
}

void PooGeyserWater::MyInit(Particle* p, Variant a, Variant b, float scale)
{
    GeyserWater::MyInit(p, a, b, scale);
    p->colour = Colour(52, 28, 16, 128);
}

int PooGeyserWater::PooGeyserWater_mh(Object* obj, OBJMESSAGE msg, void* data)
{
    return PartManagerMessage<PooGeyserWater>(obj, msg, data);
}

int PooGeyserSteam::Init(GenericParticle_params* params)
{
    GeyserSteam::Init(params);
    InitFcn = MyInit;
    return 0;
}

void PooGeyserSteam::MyInit(Particle* p, Variant a, Variant b, float scale)
{
    GeyserSteam::MyInit(p, a, b, scale);
    p->colour = Colour(52, 30, 20, 48);
}

int PooGeyserSteam::PooGeyserSteam_mh(Object* obj, OBJMESSAGE msg, void* data)
{
    return PartManagerMessage<PooGeyserSteam>(obj, msg, data);
}

// ----------------------------------------------------- dust, fog, steam puffs

int DustPuff::Init(GenericParticle_params* params)
{
    InitFrom(params, MyInit, MyUpdate, _timeOut, 0.1f, PART_TYPE_FLAT, ALPHA_BLEND);
    return 0;
}

void DustPuff::MyInit(Particle* p, Variant a, Variant b, float scale)
{
    p->colour = Colour(128, 128, 128, 128);
    StartPuff(p, a, 0.015625f, 0.03125f, kSpin1_5);
    p->vel = RandSphere(_randvel);
    AddPush(p, b, scale);
}

void DustPuff::MyUpdate(Particle* p)
{
    const float t = p->timer, dt = PartDt();
    p->colour.a = PartAlpha((180.0f - t) * 0.7111111f);
    p->vel = Drag(p->vel, _drag * dt);
    p->w += dt * _expand;
    p->h += dt * _expand;
}

int DustPuff::DustPuff_mh(Object* obj, OBJMESSAGE msg, void* data)
{
    return PartManagerMessage<DustPuff>(obj, msg, data);
}

void DustPuff_Cluster(int n, VectorPos pos, VectorDir dir, float size)
{
    for (int i = 0; i < n; i++)
        SpawnParticle(PartManagerFor<DustPuff>(DustPuff::DustPuff_mh, kSlotDust, 0), size, &pos, &dir);
}

int FogPuff::Init(GenericParticle_params* params)
{
    InitFrom(params, MyInit, MyUpdate, _timeOut, 0.2f, PART_TYPE_FLAT, ALPHA_ADD);
    // Fog stands in the view's edges too: always kept off screen.
    partFlags |= PART_KEEP;
    return 0;
}

void FogPuff::MyInit(Particle* p, Variant a, Variant b, float scale)
{
    p->colour = Colour(128, 128, 128, 0);
    StartPuff(p, a, 0.03125f, 0.0625f, kSpin0_75);
    p->vel = RandSphere(_randvel);
    AddPush(p, b, scale);
}

void FogPuff::MyUpdate(Particle* p)
{
    const float t = p->timer, dt = PartDt();
    p->colour.a = PartAlpha(FadeInOut(t, 90.0f, 180.0f, 0.26666668f));
    p->vel = Drag(p->vel, _drag * dt);
    p->w += dt * _expand;
    p->h += dt * _expand;
}

int FogPuff::FogPuff_mh(Object* obj, OBJMESSAGE msg, void* data)
{
    return PartManagerMessage<FogPuff>(obj, msg, data);
}

Particle* FogPuff_Spawn(VectorPos pos, VectorDir dir, float size)
{
    return SpawnParticle(PartManagerFor<FogPuff>(FogPuff::FogPuff_mh, kSlotEngine, 0), size, &pos, &dir);
}

int SteamPuff::Init(GenericParticle_params* params)
{
    InitFrom(params, MyInit, MyUpdate, _timeOut, 0.1f, PART_TYPE_FLAT, ALPHA_ADD);
    return 0;
}

void SteamPuff::MyInit(Particle* p, Variant a, Variant b, float scale)
{
    p->colour = Colour(128, 128, 128, 0);
    StartPuff(p, a, 0.015625f, 0.03125f, kSpin1_5);
    p->vel = RandSphere(_randvel);
    AddPush(p, b, scale);
}

void SteamPuff::MyUpdate(Particle* p)
{
    const float t = p->timer, dt = PartDt();
    p->colour.a = PartAlpha(FadeInOut(t, 45.0f, 90.0f, 0.53333336f));
    p->vel = Drag(p->vel, _drag * dt);
    p->vel.sety(p->vel[1] - dt * _float);
    p->w += dt * _expand;
    p->h += dt * _expand;
}

int SteamPuff::SteamPuff_mh(Object* obj, OBJMESSAGE msg, void* data)
{
    return PartManagerMessage<SteamPuff>(obj, msg, data);
}

Particle* SteamPuff_Spawn(VectorPos pos, VectorDir dir, float size)
{
    return SpawnParticle(PartManagerFor<SteamPuff>(SteamPuff::SteamPuff_mh, kSlotEngine, 0), size, &pos, &dir);
}

// ===========================================================================
// Emitters

namespace {

constexpr unsigned kEmitterFlags = OBJF_CINEMAFRAME | OBJF_FRAMECALL | OBJF_NOCOLLISION;   // 0x410002

// The create step of Flamer and the two smokers.
template <class T>
T* CreateFlamer(OBJMESSAGEHANDLER mh, Object* parent, VectorPos offset, float timeOut, float size)
{
    T* f = new T;
    if (f == nullptr)
        return nullptr;
    f->messagehandler = mh;
    f->rcParent = parent;
    // On its parent from the start: the first update's motion is the
    // parent's in that tick, not the way from the world's origin to it.
    f->mat = parent != nullptr ? TransMatrix(offset) * parent->GetWorldMatrix() : TransMatrix(offset);
    f->offset = offset;
    f->timeOut = timeOut;
    f->size = size;
    return f;
}

template <class T>
void AddEmitter(T* e)
{
    if (e != nullptr && !world.AddObject(e, nullptr))
        e->Delete();
}

// One particle a 1.5 ticks of age: `spawn` at the emission point, moving
// with the emitter.
template <class F>
void Emit(Flamer* f, F spawn)
{
    while (f->nextTime <= f->timer) {
        spawn(f->mat.GetTrans(), f->vel, f->size);
        f->nextTime += kEmitInterval;
    }
}

}  // namespace

int Flamer::Init()
{
    flags |= kEmitterFlags;
    timer = 0.0f;
    nextTime = 0.0f;
    return 0;
}

bool Flamer::StandardUpdate()
{
    timer += PartDt();
    if (timeOut != 0.0f && timer >= timeOut) {
        Delete();
        return false;
    }
    if (rcParent != nullptr) {
        if (rcParent->IsDead()) {
            Delete();
            return false;
        }
        const VectorPos old = mat.GetTrans();
        mat = TransMatrix(offset) * rcParent->GetWorldMatrix();
        vel = mat.GetTrans() - old;
    } else {
        vel = VectorDir(0.0f, 0.0f, 0.0f);
    }
    return true;
}

int Flamer::Update()
{
    StandardUpdate();
    const bool smoke = makeSmoke;
    Emit(this, [smoke](VectorPos pos, VectorDir dir, float s) {
        Particle* p = EngineFire_Spawn(pos, dir, s);
        if (p != nullptr && !smoke)
            p->extra = 1;
    });
    return 0;
}

int Flamer::Flamer_mh(Object* obj, OBJMESSAGE msg, void*)
{
    return EffectObjectMessage<Flamer>(obj, msg, Flamer_mh);
}

int WhiteSmoker::Update()
{
    StandardUpdate();
    Emit(this, [](VectorPos pos, VectorDir dir, float s) { EngineSteam_Spawn(pos, dir, s); });
    return 0;
}

int WhiteSmoker::WhiteSmoker_mh(Object* obj, OBJMESSAGE msg, void*)
{
    return EffectObjectMessage<WhiteSmoker>(obj, msg, WhiteSmoker_mh);
}

int BlackSmoker::Update()
{
    StandardUpdate();
    Emit(this, [](VectorPos pos, VectorDir dir, float s) { EngineSmoke_Spawn(pos, dir, s); });
    return 0;
}

int BlackSmoker::BlackSmoker_mh(Object* obj, OBJMESSAGE msg, void*)
{
    return EffectObjectMessage<BlackSmoker>(obj, msg, BlackSmoker_mh);
}

void Flamer_Create(Object* parent, VectorPos offset, float timeOut, float size, bool makeSmoke)
{
    Flamer* f = CreateFlamer<Flamer>(Flamer::Flamer_mh, parent, offset, timeOut, size);
    if (f != nullptr)
        f->makeSmoke = makeSmoke;
    AddEmitter(f);
}

void WhiteSmoker_Create(Object* parent, VectorPos offset, float timeOut, float size)
{
    AddEmitter(CreateFlamer<WhiteSmoker>(WhiteSmoker::WhiteSmoker_mh, parent, offset, timeOut, size));
}

void BlackSmoker_Create(Object* parent, VectorPos offset, float timeOut, float size)
{
    AddEmitter(CreateFlamer<BlackSmoker>(BlackSmoker::BlackSmoker_mh, parent, offset, timeOut, size));
}

// ------------------------------------------------------------ mushroom cloud

MushroomCloud* MushroomCloud_Create(Object* parent, VectorPos pos, float size)
{
    MushroomCloud* c = new MushroomCloud;
    if (c == nullptr)
        return nullptr;
    c->messagehandler = MushroomCloud::MushroomCloud_mh;
    c->size = size;
    c->mat = TransMatrix(pos);
    if (parent != nullptr)
        c->mat = c->mat * parent->GetWorldMatrix();
    // Without a parent the crackles go off around the cloud's own start.
    c->startPos = c->mat.GetTrans();
    if (!world.AddObject(c, nullptr)) {
        c->Delete();
        return nullptr;
    }
    return c;
}

int MushroomCloud::Init()
{
    flags |= kEmitterFlags;
    timer = 0.0f;
    nextTime = 0.0f;
    ShroomFire_SpawnCluster(8, GetWorldPos(), size);
    return 0;
}

int MushroomCloud::Update()
{
    // A fixed rise per tick, whatever the playback speed.
    mat.w.sety(mat.w[1] - 0.015625f);
    ShroomFire_SpawnCluster(2, GetWorldPos(), size);
    if (timer <= _crackleTime && nextTime <= timer) {
        const VectorPos at = startPos + RandSphere(Crackle::_radius) + VectorDir(0.0f, -Crackle::_radius, 0.0f);
        Crackle_Spawn(at, size);
        nextTime += 1.2f + randf() * 6.6f;
    }
    timer += PartDt();
    if (timer >= _timeOut)
        Delete();
    return 0;
}

int MushroomCloud::MushroomCloud_mh(Object* obj, OBJMESSAGE msg, void*)
{
    return EffectObjectMessage<MushroomCloud>(obj, msg, MushroomCloud_mh);
}

// -------------------------------------------------------------------- geyser

namespace {

template <class T>
void GeyserSpawn(OBJMESSAGEHANDLER mh, int slot, int node, float s, VectorPos pos, Matrix* m)
{
    SpawnParticle(PartManagerFor<T>(mh, slot, node), s, &pos, m);
}

// size scaled down linearly over the last `part` of the geyser's life.
float Shrink(const Geyser* g, float part)
{
    const float left = g->timeOut - g->timer;
    if (g->timeOut != 0.0f && left < g->timeOut * part)
        return g->size * left / (g->timeOut * part);
    return g->size;
}

}  // namespace

Geyser* Geyser_Create(Object* parent, Matrix* placement, float timeOut, float size)
{
    Geyser* g = new Geyser;
    if (g == nullptr)
        return nullptr;
    g->messagehandler = Geyser::Geyser_mh;
    g->rcParent = parent;
    g->timeOut = timeOut;
    g->size = size;
    g->offset = placement != nullptr ? *placement : Matrix(true);
    g->mat = g->offset;
    if (!world.AddObject(g, nullptr)) {
        g->Delete();
        return nullptr;
    }
    return g;
}

Geyser* PooGeyser_Create(Object* parent, Matrix* placement, float timeOut, float size)
{
    Geyser* g = Geyser_Create(parent, placement, timeOut, size);
    if (g != nullptr)
        g->isPoo = true;
    return g;
}

int Geyser::Init()
{
    flags |= kEmitterFlags;
    isPoo = false;
    timer = 0.0f;
    nextTime = 0.0f;
    return 0;
}

bool Geyser::StandardUpdate()
{
    timer += PartDt();
    if (timeOut != 0.0f && timer >= timeOut) {
        Delete();
        return false;
    }
    if (rcParent != nullptr) {
        // A geyser outlives its parent where it stands.
        if (rcParent->IsDead())
            rcParent = nullptr;
        else
            mat = offset * rcParent->GetWorldMatrix();
    }
    return true;
}

int Geyser::Update()
{
    StandardUpdate();
    while (nextTime <= timer) {
        float s = Shrink(this, 0.5f);
        const VectorPos pos = mat.GetTrans();
        if (isPoo) {
            if (g_GlobalMFI.GetMF(PARTFILE_SEWAGE_SLOT, true) != nullptr)
                GeyserSpawn<PooGeyserWater>(PooGeyserWater::PooGeyserWater_mh, PARTFILE_SEWAGE_SLOT, 0, s, pos, &mat);
            if (g_GlobalMFI.GetMF(PARTFILE_SEWAGE_SLOT, true) != nullptr)
                GeyserSpawn<PooGeyserSteam>(PooGeyserSteam::PooGeyserSteam_mh, PARTFILE_SEWAGE_SLOT, 1, s, pos, &mat);
        } else {
            GeyserSpawn<GeyserWater>(GeyserWater::GeyserWater_mh, kSlotGeyser, 0, s, pos, &mat);
            GeyserSpawn<GeyserSteam>(GeyserSteam::GeyserSteam_mh, kSlotEngine, 0, s, pos, &mat);
            s = Shrink(this, 0.25f);
            GeyserSpawn<GeyserMist>(GeyserMist::GeyserMist_mh, kSlotEngine, 0, s, pos, &mat);
        }
        // A jet that has shrunk to nothing (its last tick, past its time-out)
        // has no next particle: the interval would not move forward.
        if (!(s > 0.0f))
            break;
        nextTime += kEmitInterval / s;
    }
    return 0;
}

int Geyser::Geyser_mh(Object* obj, OBJMESSAGE msg, void*)
{
    return EffectObjectMessage<Geyser>(obj, msg, Geyser_mh);
}
