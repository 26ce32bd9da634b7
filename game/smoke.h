// Smoke, fire and steam particles, and the emitters that feed them.
//
// Sixteen particle classes, one per look, each a manager class as described
// in game/TestPart.h (one instance in `manager`, made by the first spawn and
// bound to a node of a resident particle file): skid smoke; the smoke, fire
// and steam of a damaged engine; the fire and smoke of a mushroom cloud;
// shock-wave smoke and crackles; a burst hydrant's water, steam and mist (and
// their sewage colours); dust, fog and steam puffs.  Ages and rates are in
// logic ticks scaled by the world's playback speed.
//
// The emitters are world objects with no model that feed those classes every
// tick from their place or their parent's: Flamer, WhiteSmoker, BlackSmoker,
// MushroomCloud and Geyser.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/Object.h"
#include "ZevEngine2/particle.h"
#include "ZevEngine2/PS2/Vector.h"
#include "game/TestPart.h"

// Declares the hooks and handler every class has.
#define SMOKE_CLASS_HOOKS(NAME)                                          \
    int Init(GenericParticle_params* params);                           \
    static void MyInit(Particle* p, Variant a, Variant b, float scale); \
    static void MyUpdate(Particle* p);                                  \
    static int NAME##_mh(Object* obj, OBJMESSAGE msg, void* data);

class SkidSmoke : public GenericPartManager
{
public:
    static inline SkidSmoke* manager = nullptr;
    static inline float _timeOut = 60.0f;
    static inline float _drag = 0.001388889f;
    static inline float _float = 0.00034722226f;
    static inline float _random = 0.0052083334f;
    static inline float _expand = 1.04f;
    static inline float adjusted_expand = 1.0f;
    SMOKE_CLASS_HOOKS(SkidSmoke)
};

class EngineSmoke : public GenericPartManager
{
public:
    static inline EngineSmoke* manager = nullptr;
    static inline float _timeOut = 30.0f;
    static inline float _drag = 0.0020833334f;
    static inline float _float = 0.00004340278f;
    static inline float _randvel = 0.0234375f;
    static inline float _expand = 0.00625f;
    SMOKE_CLASS_HOOKS(EngineSmoke)
    static EngineSmoke* CreateManager();
};

class EngineFire : public GenericPartManager
{
public:
    static inline EngineFire* manager = nullptr;
    static inline float _timeOut = 30.0f;
    static inline float _drag = 0.0020833334f;
    static inline float _float = 0.00008680556f;
    static inline float _randvel = 0.015625f;
    static inline float _up = 0.0078125f;
    static inline float _smokeTime = 15.0f;
    static inline float _expand = 0.00625f;
    SMOKE_CLASS_HOOKS(EngineFire)
};

class EngineSteam : public GenericPartManager
{
public:
    static inline EngineSteam* manager = nullptr;
    static inline float _timeOut = 30.0f;
    static inline float _drag = 0.0020833334f;
    static inline float _float = 0.00004340278f;
    static inline float _randvel = 0.0234375f;
    static inline float _expand = 0.00625f;
    SMOKE_CLASS_HOOKS(EngineSteam)
};

// The smoke a mushroom cloud's fire leaves: engine smoke with its own
// settings.
class ShroomSmoke : public EngineSmoke
{
public:
    static inline ShroomSmoke* manager = nullptr;
    int Init(GenericParticle_params* params);
    static int ShroomSmoke_mh(Object* obj, OBJMESSAGE msg, void* data);
    static ShroomSmoke* CreateManager();
};

class ShroomFire : public GenericPartManager
{
public:
    static inline ShroomFire* manager = nullptr;
    static inline bool toggle = false;
    static inline float _timeOut = 42.0f;
    static inline float _randvel = 0.03125f;
    static inline float _up = 0.0026041667f;
    static inline float _smokeTime = 21.0f;
    static inline float _expand = 0.0078125f;
    static inline float _rotate = 0.10471976f;
    SMOKE_CLASS_HOOKS(ShroomFire)
};

class ShockSmoke : public GenericPartManager
{
public:
    static inline ShockSmoke* manager = nullptr;
    static inline float _timeOut = 60.0f;
    static inline float _drag = 0.0017361112f;
    static inline float _speed = 0.0625f;
    static inline float _up = 0.03125f;
    static inline float _expand = 1.0333334f;
    static inline float adjusted_expand = 1.0f;
    SMOKE_CLASS_HOOKS(ShockSmoke)
};

// An explosion's crackle: its image frames played once.
class Crackle : public GenericPartManager
{
public:
    static inline Crackle* manager = nullptr;
    static inline float _radius = 0.15625f;   // scatter and lift around a mushroom cloud
    static inline float _timeOut = 6.0f;
    SMOKE_CLASS_HOOKS(Crackle)
};

class GeyserWater : public GenericPartManager
{
public:
    static inline GeyserWater* manager = nullptr;
    static inline float _timeOut = 120.0f;
    static inline float _up = 0.046875f;
    static inline float _gravity = 0.00069444452f;
    static inline float _randvel = 0.0052083334f;
    SMOKE_CLASS_HOOKS(GeyserWater)
};

class GeyserSteam : public GenericPartManager
{
public:
    static inline GeyserSteam* manager = nullptr;
    static inline float _timeOut = 120.0f;
    static inline float _up = 0.046875f;
    static inline float _gravity = 0.00069444452f;
    static inline float _randvel = 0.0052083334f;
    SMOKE_CLASS_HOOKS(GeyserSteam)
};

class GeyserMist : public GenericPartManager
{
public:
    static inline GeyserMist* manager = nullptr;
    static inline float _timeOut = 72.0f;
    static inline float _up = 0.0052083334f;
    static inline float _gravity = 0.00030381948f;
    static inline float _randvel = 0.010416667f;
    static inline float _expand = 1.0333334f;
    static inline float adjusted_expand = 1.0f;
    SMOKE_CLASS_HOOKS(GeyserMist)
};

class PooGeyserWater : public GeyserWater
{
public:
    static inline PooGeyserWater* manager = nullptr;
    int Init(GenericParticle_params* params);
    static void MyInit(Particle* p, Variant a, Variant b, float scale);
    static int PooGeyserWater_mh(Object* obj, OBJMESSAGE msg, void* data);
};

class PooGeyserSteam : public GeyserSteam
{
public:
    static inline PooGeyserSteam* manager = nullptr;
    int Init(GenericParticle_params* params);
    static void MyInit(Particle* p, Variant a, Variant b, float scale);
    static int PooGeyserSteam_mh(Object* obj, OBJMESSAGE msg, void* data);
};

class DustPuff : public GenericPartManager
{
public:
    static inline DustPuff* manager = nullptr;
    static inline float _timeOut = 180.0f;
    static inline float _drag = 0.00004340278f;
    static inline float _randvel = 0.0015625f;
    static inline float _expand = 0.00078125f;
    SMOKE_CLASS_HOOKS(DustPuff)
};

class FogPuff : public DustPuff
{
public:
    static inline FogPuff* manager = nullptr;
    static inline float _randvel = 0.003125f;
    SMOKE_CLASS_HOOKS(FogPuff)
};

class SteamPuff : public GenericPartManager
{
public:
    static inline SteamPuff* manager = nullptr;
    static inline float _timeOut = 90.0f;
    static inline float _drag = 0.00017361113f;
    static inline float _randvel = 0.0052083334f;
    static inline float _expand = 0.0052083334f;
    static inline float _float = 0.00017361113f;
    SMOKE_CLASS_HOOKS(SteamPuff)
};

#undef SMOKE_CLASS_HOOKS

// Strength below 1 makes the smoke start older and fainter; 0.5 or less
// gives a particle already at its end.
Particle* SkidSmoke_Spawn(VectorPos pos, VectorDir dir, float strength);
Particle* EngineSmoke_Spawn(VectorPos pos, VectorDir dir, float f);
Particle* EngineFire_Spawn(VectorPos pos, VectorDir dir, float size);
Particle* EngineSteam_Spawn(VectorPos pos, VectorDir dir, float size);
void ShroomFire_SpawnCluster(int n, VectorPos pos, float size);
Particle* ShockSmoke_Spawn(VectorPos pos, float size);
void ShockSmoke_SpawnCluster(int n, VectorPos pos, float size);
Particle* Crackle_Spawn(VectorPos pos, float size);
void DustPuff_Cluster(int n, VectorPos pos, VectorDir dir, float size);
Particle* FogPuff_Spawn(VectorPos pos, VectorDir dir, float size);
Particle* SteamPuff_Spawn(VectorPos pos, VectorDir dir, float size);

// ---------------------------------------------------------------------------
// Emitters.  Each sets flags 0x410002 when it starts and feeds its particles
// every tick, two every three ticks at normal speed, from the translation of
// its matrix.

class Flamer : public Object
{
public:
    VectorPos offset;        // from the parent, or in the world without one
    VectorDir vel;           // how far the emission point moved last tick
    RCptr<Object> rcParent;
    float timer;             // age
    float nextTime;          // age of the next particle
    float timeOut;           // 0: none
    float size;
    bool makeSmoke;

    int Init();
    // False when the flamer deleted itself.
    bool StandardUpdate();
    int Update();
    static int Flamer_mh(Object* obj, OBJMESSAGE msg, void* data);
};

class WhiteSmoker : public Flamer
{
public:
    int Update();
    static int WhiteSmoker_mh(Object* obj, OBJMESSAGE msg, void* data);
};

class BlackSmoker : public Flamer
{
public:
    int Update();
    static int BlackSmoker_mh(Object* obj, OBJMESSAGE msg, void* data);
};

class MushroomCloud : public Object
{
public:
    VectorPos startPos;   // where its crackles go off
    float timer;
    float nextTime;       // the next crackle
    float size;
    static inline float _timeOut = 60.0f;
    static inline float _crackleTime = 24.0f;

    int Init();
    int Update();
    static int MushroomCloud_mh(Object* obj, OBJMESSAGE msg, void* data);
};

class Geyser : public Object
{
public:
    Matrix offset;        // from the parent, or in the world without one
    RCptr<Object> rcParent;
    float timer;
    float nextTime;
    float timeOut;
    float size;
    bool isPoo;           // the sewage colours

    int Init();
    // False when the geyser deleted itself.
    bool StandardUpdate();
    int Update();
    static int Geyser_mh(Object* obj, OBJMESSAGE msg, void* data);
};

void Flamer_Create(Object* parent, VectorPos offset, float timeOut, float size, bool makeSmoke);
void WhiteSmoker_Create(Object* parent, VectorPos offset, float timeOut, float size);
void BlackSmoker_Create(Object* parent, VectorPos offset, float timeOut, float size);
// Without a parent its crackles go off around pos.
MushroomCloud* MushroomCloud_Create(Object* parent, VectorPos pos, float size);
Geyser* Geyser_Create(Object* parent, Matrix* placement, float timeOut, float size);
Geyser* PooGeyser_Create(Object* parent, Matrix* placement, float timeOut, float size);
