// The small particle effects and the registration every particle class goes
// through.
//
// A particle class is a PartManager with one instance, kept in the class's
// static `manager` and made by the first spawn: SetUpPartMan turns it into a
// world object (frame calls, also in cinema mode, no collision), binds it to
// a node of one of the resident particle model files and puts it on the
// world's particle-manager list, which the world draws.  When the world
// destroys the manager (a reset or a clean-up), `manager` goes back to null
// and the next spawn makes a new one.
//
// The classes here: sparks, sweat, blood and the finishing-blow spray (line
// particles with no image) and smoke puffs, with the Sparkler emitter and the
// bullet-impact helpers.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/Object.h"
#include "ZevEngine2/modelfile.h"
#include "ZevEngine2/particle.h"
#include "ZevEngine2/PS2/Vector.h"

// The parameter block of a particle model file's node: the entry of the
// file's particle table its manager draws.
struct GenericParticle_params
{
    PartRef part;
};
static_assert(sizeof(GenericParticle_params) == 4);

// ---------------------------------------------------------------------------
// The particle model files: slots of the game flow's model-file registry
// (g_GlobalMFI, game/GameFlow).  A node's parameter block is read only when
// it lies inside its file, whose size the registry keeps.

constexpr int PARTFILE_FIRST_SLOT = 212;   // "SKIDSMKE.P2B"
constexpr int PARTFILE_SEWAGE_SLOT = 218;  // the sewage images, not resident
constexpr int PARTFILE_SPLASH_SLOT = 219;  // "SPLASH.P2B"

// Loads the resident particle files (slots 212 to 217 and 219) into the
// registry from the disc, once, at start-up; the files that are missing are
// named in one line.
void LoadParticleFiles();

// ---------------------------------------------------------------------------
// Managers

// Makes manager a particle manager of the world: type OBJT_PARTICLE, flags
// 0x410002, then with slot >= 0 node `node` of the slot's file built into it
// and added to the world with the node's parameter block (null when the
// block does not lie inside the file), with slot < 0 added with none; then
// listed once on the world's partList.  False, with nothing done, when the
// slot has no file or the file no such node.
bool SetUpPartMan(Object* manager, int slot, int node);

// The settings of a newly made manager: no image, additive, sprites of size
// 0.078125, no time-out, 0.5 frames per tick, no wind, dithered, no hooks.
void SetPartManagerDefaults(PartManager* pm, OBJMESSAGEHANDLER mh);

// The class T's manager, made on first use with handler mh and bound to
// (slot, node); null when it cannot be made.
template <class T>
T* PartManagerFor(OBJMESSAGEHANDLER mh, int slot, int node)
{
    if (T::manager == nullptr) {
        T* m = new T;
        if (m == nullptr)
            return nullptr;
        SetPartManagerDefaults(m, mh);
        T::manager = m;
        // Its handler clears `manager` as it destroys the block.
        if (!SetUpPartMan(m, slot, node))
            m->Delete();
    }
    return T::manager;
}

// The world's logic step (its playback speed): the dt of every rate.
float PartDt();

// Takes obj off the world's partList (its reference there goes).
void RemoveFromPartList(Object* obj);

// OM_DIE of a manager class: forgets the class's instance, takes it off
// partList and destroys it with its particles (the storage waits for the
// last counted reference).  Replies -1.
template <class T>
int DestroyPartManager(T* self)
{
    if (T::manager == self)
        T::manager = nullptr;
    RemoveFromPartList(self);
    delete self;
    return -1;
}

// The message handling every manager class shares: OM_INIT runs Init (with
// the parameter block when the class takes one), OM_FRAME sets the class's
// per-tick growth factor when it has one and updates the particles, OM_DIE
// forgets the class's instance, takes it off partList and destroys it with
// its particles.
template <class T>
int PartManagerMessage(Object* obj, OBJMESSAGE msg, void* data)
{
    T* self = static_cast<T*>(obj);
    switch (msg) {
    case OM_INIT:
        if constexpr (requires(T* t) { t->Init(); })
            return self->Init();
        else
            return self->Init(static_cast<GenericParticle_params*>(data));
    case OM_FRAME: {
        const float dt = PartDt();
        if constexpr (requires { T::adjusted_expand; })
            T::adjusted_expand = powf(T::_expand, dt);
        return self->Update(dt);
    }
    case OM_DIE:
        return DestroyPartManager<T>(self);
    default:
        return 0;
    }
}

// A manager with a parameter block: the block it was made from.
class GenericPartManager : public PartManager
{
public:
    GenericParticle_params* data;

    // data and partRef from params (partRef -1 without a block), the hooks,
    // time-out, wind, drawing type and blending.
    void InitFrom(GenericParticle_params* params, PARTINITFCN init, PARTUPDATEFCN update, float _timeOut,
                  float _wind, PART_TYPE_ENUM type, ALPHA_MODE mode);
};

// Helpers of the particles' start and motion.
// A random vector of length r whose y points up (y <= 0).
VectorDir RandSphereUp(float r);
// Uniform in [-s, s].
float RandSpin(float s);
// Alpha byte from a value in 0x80 = full units: the low eight bits of its
// whole part.
u8 PartAlpha(float a);

// The messages of an effect object class T (an emitter, a flash) with
// members Init() and Update(): OM_CREATE makes a zero-filled one with
// handler mh and replies it; OM_INIT runs Init; OM_FRAME runs Update with the
// object held, so that deleting itself does not free it under the rest of
// its update; OM_DIE destroys it (its counted references go with it) and
// replies -1.
template <class T>
int EffectObjectMessage(Object* obj, OBJMESSAGE msg, OBJMESSAGEHANDLER mh)
{
    T* self = static_cast<T*>(obj);
    switch (msg) {
    case OM_CREATE: {
        T* n = new T;
        if (n != nullptr)
            n->messagehandler = mh;
        return int(reinterpret_cast<intptr_t>(n));
    }
    case OM_INIT:
        return self->Init();
    case OM_FRAME: {
        RCptr<Object> hold(self);
        self->Update();
        return 0;
    }
    case OM_DIE:
        delete self;
        return -1;
    default:
        return 0;
    }
}

// ---------------------------------------------------------------------------
// Line particles

class Spark : public PartManager
{
public:
    static inline Spark* manager = nullptr;
    static inline float _speed = 0.026041668f;
    static inline float _gravity = 0.00034722226f;
    static inline float _drag = 0.00017361113f;
    static inline float _timeOut = 30.0f;
    static inline float _defSpd = 0.015625f;

    int Init();
    static void MyInit(Particle* p, Variant a, Variant b, float);
    static void MyUpdate(Particle* p);
    static int Spark_mh(Object* obj, OBJMESSAGE msg, void* data);
};

class Sweat : public PartManager
{
public:
    static inline Sweat* manager = nullptr;
    static inline float _random = 0.015625f;
    static inline float _drag = 0.00052083336f;
    static inline float _speed = 0.0f;
    static inline float _gravity = 0.00060763897f;
    static inline float _timeOut = 30.0f;

    int Init();
    static void MyInit(Particle* p, Variant a, Variant b, float);
    static void MyUpdate(Particle* p);
    static int Sweat_mh(Object* obj, OBJMESSAGE msg, void* data);
};

class Blood : public PartManager
{
public:
    static inline Blood* manager = nullptr;
    static inline float _random = 0.0052083334f;
    static inline float _drag = 0.00026041668f;
    static inline float _speed = 0.015625f;
    static inline float _gravity = 0.00043402781f;
    static inline float _timeOut = 30.0f;

    int Init();
    static void MyInit(Particle* p, Variant a, Variant b, float);
    static void MyUpdate(Particle* p);
    static int Blood_mh(Object* obj, OBJMESSAGE msg, void* data);
};

class FinishSpray : public PartManager
{
public:
    static inline FinishSpray* manager = nullptr;
    static inline float _random = 0.03125f;
    static inline float _drag = 0.0017361112f;
    static inline float _gravity = 0.00060763897f;
    static inline float _timeOut = 30.0f;

    int Init();
    static void MyInit(Particle* p, Variant a, Variant b, float);
    static void MyUpdate(Particle* p);
    static int FinishSpray_mh(Object* obj, OBJMESSAGE msg, void* data);
};

// A puff of smoke (slot 214 node 0) that leaves one smaller, brighter puff
// half-way through its life.  extra: 0 first puff, 1 first puff that has
// made its second, 2 second puff.
class SmokePuff : public GenericPartManager
{
public:
    static inline SmokePuff* manager = nullptr;
    static inline float _timeOut = 15.0f;
    static inline float _expand = 1.1f;
    static inline float _subPuffTime = 7.8f;
    static inline float _offset = 1.0f;
    static inline float adjusted_expand = 1.0f;

    int Init(GenericParticle_params* params);
    static void MyInit(Particle* p, Variant a, Variant b, float);
    static void MyUpdate(Particle* p);
    static int SmokePuff_mh(Object* obj, OBJMESSAGE msg, void* data);
    static SmokePuff* CreateManager();
};

Particle* Spark_Spawn(VectorPos pos, float speed);
void Spark_SpawnCluster(int n, VectorPos pos, float speed);
// 3 to 6 sparks thrown along dir from a bullet's impact.
void BulletSparks(VectorPos pos, VectorDir dir);
Particle* Sweat_Spawn(VectorPos pos, VectorDir dir);
void Sweat_SpawnCluster(int n, VectorPos pos, VectorDir dir);
Particle* Blood_Spawn(VectorPos pos, VectorDir dir);
void Blood_SpawnCluster(int n, VectorPos pos, VectorDir dir);
// 3 to n + 2 drops thrown along dir at `speed` (3 for n <= 0).
void BulletBlood(VectorPos pos, VectorDir dir, int n, float speed);
Particle* FinishSpray_Spawn(VectorPos pos);
void FinishSpray_SpawnCluster(int n, VectorPos pos);
// A puff of width and height size; null when none could be made.
Particle* SmokePuff_Spawn(VectorPos pos, float size);

// ---------------------------------------------------------------------------
// Sparkler: after an optional delay one burst of size x 16 sparks, then 4
// sparks a tick until its time-out (0: none), its parent's death or the
// world's clean-up.  It follows its parent at offset.

class Sparkler : public Object
{
public:
    VectorPos offset;
    RCptr<Object> rcParent;
    float timer;
    float size;
    float timeOut;
    float delay;

    int Init();
    int Update();
    static int Sparkler_mh(Object* obj, OBJMESSAGE msg, void* data);

private:
    void FollowParent();
    void Burst();
};

void Sparkler_Create(Object* parent, VectorPos offset, float size, float timeOut, float delay);
