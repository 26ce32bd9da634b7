// Particles: smoke, fire, steam, sparks, blood, dust, splashes and the like.
//
// A PartManager is an engine object that owns one kind of particle: their look
// (texture frames from its model file's particle table, size, blending), their
// lifetime and animation rate, how strongly the wind moves them, and two
// behaviour hooks (InitFcn when a particle is made, UpdateFcn every update).
// The effect code derives its managers from PartManager, spawns particles with
// SpawnParticle and calls PartManager::Update from its handler's frame
// message.  The world keeps its managers in World::partList, which the
// particle drawer walks each frame (ZevEngine2/PS2/ParticleDraw.h).
//
// A particle lives from CreatePart until it is marked dead (PART_DEAD: by a
// hook, by time-out, by running out of frames, or by having been off screen
// at the last draw) and is freed by the next Update.  A new particle counts as
// on screen until it is first drawn.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/List.h"
#include "ZevEngine2/Object.h"
#include "ZevEngine2/modelfile.h"
#include "ZevEngine2/PS2/Image.h"
#include "ZevEngine2/PS2/Render2D.h"
#include "ZevEngine2/PS2/Vector.h"

class PartManager;
class RenderContext;

// Particle::flags bits (the low 16 bits come from the manager's partFlags).
enum : int
{
    PART_ANIMATED = 0x1,    // frame follows rate x timer
    PART_LOOP = 0x2,        // frames wrap instead of ending the particle
    PART_KEEP = 0x4,        // kept when the last draw found it off screen
    PART_DEAD = 0x8000,     // freed by the next Update
};

enum PART_TYPE_ENUM
{
    PART_TYPE_SPRITE = 0,   // camera-facing rectangle
    PART_TYPE_FLAT = 1,     // rectangle turned by rotZ on the screen
    PART_TYPE_LINE = 2,     // line from pos (colour) to pos2 (colour2)
    PART_TYPE_TOTAL = 3,
};

// An entry of the owner's model-file particle table; negative: none.
struct PartRef
{
    int index;
};
static_assert(sizeof(PartRef) == 4);

// One particle: a 128-byte block of the small-block pools.
class Particle : public Small<ELink<Particle>>
{
public:
    // Owner pm; timer and frame 0, flags = pm's partFlags, w and h = pm's,
    // scale 1, on screen, extra 0.  Other fields are the creator's.
    explicit Particle(PartManager* pm);

    bool IsDead() const { return (flags & PART_DEAD) != 0; }
    void Kill() { flags |= PART_DEAD; }

    VectorPos pos;         // position (world)
    VectorPos pos2;        // the far end of a line particle
    VectorDir vel;         // velocity per time unit (scaled by `scale`)
    PartManager* partMan;  // owner
    int flags;             // PART_*
    float w, h;            // half width and half height
    float scale;           // size and speed factor
    float rotZ, rotSpd;    // screen rotation (radians) and its speed (flat particles)
    Colour colour;         // colour (0x80 = full), the near end of a line
    Colour colour2;        // the far end of a line
    float timer;           // age
    int frame;             // current animation frame
    bool onScreen;         // whether the last draw found it on screen
    Variant extra;         // free for the behaviour hooks
};
static_assert(sizeof(Particle) == 128, "particles are 128-byte pool blocks");

typedef void (*PARTUPDATEFCN)(Particle*);
typedef void (*PARTINITFCN)(Particle*, Variant, Variant, float);

// The owner of one kind of particle.  Created zero-filled on the game heap
// like every object; the constructor leaves it with no particle-table entry
// (partRef -1), no hooks, no wind, no time-out and sprite drawing.
class PartManager : public Object
{
public:
    PartManager();
    explicit PartManager(OBJMESSAGEHANDLER mh);
    // Frees every particle.
    ~PartManager();

    // The default handler: OM_DIE destroys the manager with its particles
    // (reply -1).  Effect classes install their own.
    static int PartManager_mh(Object* obj, OBJMESSAGE msg, void* data);

    // A new particle at the end of the list, of size factor scale, passed to
    // InitFcn(p, a, b, scale) when set.  Null (nothing spawned) when the pool
    // has no 128-byte block.
    Particle* CreatePart(float scale, Variant a, Variant b);

    // Runs the hooks, frees dead particles, ages, animates and moves the
    // rest, in list order.  Particles made during the walk (by a hook) are
    // first updated by the next call.  Returns 0.
    int Update(float dt);

    // Appends this manager's particles to the frame's command chain
    // (ZevEngine2/PS2/ParticleDraw.cpp).
    void Draw(const RenderContext& rc);

    // The particle-table entry of partRef in the model file, or null when
    // there is none (negative index, no model file or table, or an index
    // beyond the table).
    PS2Part* GetPart() const;
    // The texture of that entry, or null.
    Texture* GetTexture() const;

    PartRef partRef;          // entry of the model file's particle table
    ALPHA_MODE alpha;         // GS ALPHA register value used when drawing
    u16 partFlags;            // initial flags of new particles
    PART_TYPE_ENUM partType;  // how the particles are drawn
    float w, h;               // initial half size of new particles
    float timeOut;            // lifetime; 0 = unlimited
    float rate;               // animation frames per time unit
    float wind;               // how strongly the wind moves the particles; 0 = not at all
    bool dither;              // GS dithering while drawing
    PARTUPDATEFCN UpdateFcn;  // may be null
    PARTINITFCN InitFcn;      // may be null
    EList<Particle> list;     // the particles, oldest first

private:
    void Setup();
};

// CreatePart on manager; null when manager is null or has been destroyed.
Particle* SpawnParticle(Object* manager, float scale, Variant a, Variant b);

// r times the z axis of RotX(pitch) x RotY(yaw), pitch = pi/2 - randf() x pi
// (drawn first), yaw = FixAng(randf() x 2pi): random in the two angles, not
// uniform over the sphere's area.
VectorDir RandSphere(float r);
// v shortened by d (its length held at 0 or above, its direction kept); a
// zero vector is returned as it is.
VectorDir Drag(VectorDir v, float d);
// The same on (x, z) only; y is kept.
VectorDir Drag2D(VectorDir v, float d);

// The current wind (zero at start); the game's wind update sets it every tick.
extern VectorDir windDir;
VectorDir WindGet();
void WindSet(VectorDir wind);
