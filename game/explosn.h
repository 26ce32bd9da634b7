// Explosions and what they leave behind.  For now: the light flash, a short
// coloured point light that rides on an object (an explosion's fireball, a
// muzzle) and fades to black over its time-out.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/Object.h"
#include "ZevEngine2/PS2/Image.h"

class LightFlash : public Object
{
public:
    RCptr<Object> followObj;   // where the light is
    float range;
    float timer;               // frames shown
    float timeOut;             // frames until gone; 0 or less: no fading, no end
    Colour colour;             // bytes, 0x40 = 1.0 of light

    int Init();
    int Update();
    static int LightFlash_mh(Object* obj, OBJMESSAGE msg, void* data);
};

// A flash of `_colour` and `_range` on _followObj for _timeOut frames, added
// to the world; null when it cannot be made.  Without an object to follow it
// never lights anything.
Object* LightFlash_Create(Colour _colour, float _range, Object* _followObj, float _timeOut);

// ---------------------------------------------------------------------------
// Blowing things up.  What an object does when it blows up is authored in
// its model file: the first type-15 child of its node (the explosion record)
// heads a hierarchy of effect, sound, debris, toppling-part, scenery and
// entity nodes, and names the destroyed model the object takes at the end.

#include <array>

#include "ZevEngine2/Physics.h"
#include "game/Road.h"

struct MDLFILE;
struct COLLISION;

// An explosion entity's parameter block, at `extra2` bytes from the start of
// the model file.
struct FX_Debris_params
{
    u8 type;        // effect or sound type; the debris kind of a flying piece
    u8 pad0[3];
    s32 delay;      // frames before it happens; 0 at once
    float force;    // launch strength of a flying piece
    u16 persist;    // seconds a flying piece stays (0: four)
    u8 persistas;
    u8 pad1;
};
static_assert(sizeof(FX_Debris_params) == 16);

// Entity types to effect and sound variants, and sound variants (from 0x200)
// to sounds of the destruction bank (0xFFFF: none).
constexpr int EXPL_ENT_TYPES = 53;
constexpr int EXPL_SOUND_ENT_TYPES = 43;
constexpr int EXPL_SOUND_VARIANTS = 152;
extern const u32 rgiExplEntToCode[EXPL_ENT_TYPES];
extern const u32 rgiExplSoundEntToCode[EXPL_SOUND_ENT_TYPES];
extern const std::array<u16, EXPL_SOUND_VARIANTS> rgiExplSoundTable;

// A falling piece cut from a type-13 node: flies, bounces on the ground a
// few times by its size, and goes.
class Debris : public Object
{
public:
    Vector angvel;      // radians per frame about x, y, z
    Vector vel;         // units per frame
    s8 delay;
    s8 nBounces;        // ground contacts left
    s8 i8TimeOffset;    // which of every 8 frames the ground is sampled
    float fLastH;       // last ground height
    GHCache ghc;

    int mh(OBJMESSAGE msg, void* data);
};
static_assert(sizeof(Debris) == 224);
int Debris_mh(Object* obj, OBJMESSAGE msg, void* data);
// Bounces a piece of this radius makes before it goes: 3, 2 or 1.
int DebrisBounces(float radius);

// A part that tips over about its base, blows up where it meets the ground
// and is cleared away once the camera is far from it.
class Toppling : public Object
{
public:
    Vector angvel;       // x: this frame's turn; y: growth of x; z: growth of y
    float fOrigHeight;   // its y when made: the ground where none is found
    GHCache ghc;

    int mh(OBJMESSAGE msg, void* data);
};
static_assert(sizeof(Toppling) == 208);
int Toppling_mh(Object* obj, OBJMESSAGE msg, void* data);

// A rigid piece thrown by an explosion entity: tumbles, bounces off the
// ground and things it hits, rests, and fades out at the end of its life.
class FXDebris : public DynamicObject
{
public:
    FXDebris(MDLFILE* mf, int index, Matrix const& mat, VectorDir vel, FX_Debris_params* params);

    Vector ground;       // the last ground sample: normal, height in w
    GHCache ghc;
    u8 type;
    u8 fade;             // frames of fading left
    u8 timeoffset;
    u8 stopped;          // at rest
    float cR;            // 1 + restitution
    float cA;            // damping per frame

    static constexpr float cF = 0.1f;
    static constexpr float penalty = 0.0078125f;
    static const float cRs[7];
    static const float cAs[7];

    static int _mh(Object* obj, OBJMESSAGE msg, void* data);
    void Update();
    void Collision(struct CollisionRecord* rec);
    bool CheckPoint(VectorPos pt, const Matrix& velmat);
    bool GroundCheck(float radius);
    bool GroundCheck(COLLISION* coll);
};
static_assert(sizeof(FXDebris) == 256);

// A pending piece of an explosion, held only by its world timer.
class DelayedObject : public Object
{
public:
    RCptr<Object> rcobjDelayed;   // the exploding object
    int bEntExplosion;            // the piece is an explosion entity
    int iTintSet;

    int mh1(OBJMESSAGE msg, void* data);
    int mh2(OBJMESSAGE msg, void* data);
};
int DelayedObject_mh1(Object* obj, OBJMESSAGE msg, void* data);
int DelayedObject_mh2(Object* obj, OBJMESSAGE msg, void* data);

// Blows obj up by its explosion record; false (nothing done) without one.
bool Explode2(Object* obj);
// The damaged look at build time: scenery and entities of the record and the
// destroyed model at once, no effects; false without a record.
bool PreDamage(Object* obj);
// obj takes the destroyed model, animation and collision of record `index`.
void DelayedExplode(Object* obj, MDLFILE* mdlfile, unsigned short index);
// Node index and its siblings under frame mat; the last scenery built.
Object* ExplodeNode(Object* parent, unsigned short index, Matrix* mat, int iTintSet, bool bPreDamageOnly);
Object* CreateExplosionEntity(Object* parent, unsigned short index, Matrix& mat, int iTintSet, bool bSkipDelayCheck);
void CreateExplosionType(Object* parent, unsigned short index, Matrix* mat);
// Runs effect code iModelCode (class << 12 | variant) at row w of mat.
void CreateExplosionTypeSub(Object* parent, unsigned short index, Matrix* mat, int iModelCode);
// Hurts, knocks back and (bCatchFire) sets alight the characters within
// fRadius across of vpPos, and not more than fRadius + 0.3125 below it.
void DamageCharacters(VectorPos vpPos, float fRadius, float fDamageAmt, bool bCatchFire);
// A vehicle's fireball at pos in its frame.
void CarExplosion(Object* car, VectorPos pos, float size);
// A one-shot explosion model (slot 196 + index's high byte, node of its low
// byte) at vec; null when the slot is empty.
Object* CreateExplosionAt(VectorDir vec, int index);
Object* CreateExplosionAtSize(VectorDir vec, int index, COLLISION* coll);
int NoAnimLoopProc(Object* obj, OBJMESSAGE msg, void* data);
int StopAnimProc(Object* obj, OBJMESSAGE msg, void* data);

// The size of the loaded model file mf (a registry slot or a city model);
// 0 when it is neither.
u32 ModelFileSize(const MDLFILE* mf);
// The parameter block of an entity node, null unless it lies inside its file.
FX_Debris_params* EntityParams(MDLFILE* mf, const NODE& node);

// ---------------------------------------------------------------------------
// Car doors: a hinged part of a car (door, hood, trunk, flap) that stays
// shut while its body section is healthy, swings with the car's motion once
// the section is damaged, may slam shut and stick, and falls off as debris
// when the section's strength is gone.

class Vehicle;

enum DOOR_AXIS_ENUM
{
    DOOR_AXIS_X,
    DOOR_AXIS_Y,
    DOOR_AXIS_Z,
};

class CarDoor : public Debris
{
public:
    CarDoor();

    VectorDir oldCarVel;   // the car's velocity at the hinge last frame
    float angSpd;          // radians per frame
    float curAng;
    float gain;            // response to the hinge's acceleration along z
    float damp;
    float bounce;          // speed kept (reversed) at a stop
    float grav;            // constant opening or closing bias
    float latGain;         // response along x
    float vertGain;        // response along y
    float minAng, maxAng;  // the stops
    int section;           // body section 0-3 whose strength drives it
    DOOR_AXIS_ENUM axis;   // hinge axis in the part's frame

    static int CarDoor_mh(Object* obj, OBJMESSAGE msg, void* data);
    void Init();
    int Update();
    void Swing(Vehicle* car);
    void Bounce();
    void MightGetStuck();
    void BreakOff(Vehicle* car);
    float DamageLevel(Vehicle* car);
    void GetCurAng();
    int DoorBit();
    Vehicle* RootCar();
    void GetSection();
};

// Puts a door in replaceObj's place in the car (replaceObj is deleted) and
// adds it to the world; the door.
Object* CarDoor_Create(Object* replaceObj);
