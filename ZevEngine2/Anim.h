// Animation playback: an Animation runs one AnimBundle on one object, and a
// BlendAnimation (the animation every animated object carries) blends two of
// them with a rest key, an extra pose and a timed cross-fade.
//
// Times are frames of the animation clock Animation::anim_time (24.8 fixed
// point); an animation's animoffset is the clock frame at which its time 0
// falls.  Cursors (AnimFile.h) are owned by the Animation that runs them and
// reused across the animations it is set to, so steady play allocates
// nothing.
//
// Events: instant keys fire at their times.  An event key sends
// OM_ANIMEVENT up the object's hierarchy; its handler may restart, clear or
// delete the animation (or the object) that fired it.  The players notice
// that and stop the pass at once, leaving everything they have not reached
// for the next pass.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/AnimFile.h"
#include "ZevEngine2/Object.h"
#include "ZevEngine2/World.h"
#include "ZevEngine2/PS2/Image.h"
#include "ZevEngine2/PS2/Vector.h"

class Animation;

// ---------------------------------------------------------------------------
// Instant keys after their common head (AnimKeyInstant): their floats are
// four raw bytes, as in every key.

struct AnimKeyTexture
{
    u16 time;
    u16 type;
    u16 index;   // +4 texture choice 2 + (index & 0x7FFF) of the object's geometry
    u16 value;   // +6 its new value (low 8 bits)
};

struct AnimKeyEvent
{
    u16 time;
    u16 type;
    u16 event;   // +4
};

struct AnimKeyFlag
{
    u16 time;
    u16 type;
    u16 nand;    // +4 object flags = (flags & ~nand) ^ xor
    u16 xor_;    // +6 (xor is a C++ keyword)
};

struct AnimKeySound
{
    u16 time;
    u16 type;
    u16 sound;          // +4
    char minVol[4];     // +6  percent
    char minVolAt[4];   // +10 distance
    char maxVol[4];     // +14 percent
    char maxVolAt[4];   // +18 distance
    char pitch[4];      // +22 percent
    char randVol[4];    // +26 percent
    char randPitch[4];  // +30 percent
};

static_assert(sizeof(AnimKeyTexture) == 8 && sizeof(AnimKeyEvent) == 6 && sizeof(AnimKeyFlag) == 8);
static_assert(sizeof(AnimKeySound) == 34 && offsetof(AnimKeySound, randPitch) == 30);

// The payload of OM_ANIMEVENT (an event key fired) and OM_ANIMLOOP (a slot
// looped or ended).
struct AnimEventMessage
{
    Object* obj;         // the animated object
    int slot;            // OM_ANIMEVENT: 0; OM_ANIMLOOP: the first slot that looped or ended
    int event;           // the key's event; 0 for OM_ANIMLOOP
    u16 loopTime;        // OM_ANIMLOOP: slot 0's animoffset after the pass
};
typedef AnimEventMessage AnimLoopMessage;

// The instant-event cursor: time[0] is the time of the next event.  A looping
// stream that has started its next cycle while its caller's time is still
// counting past the length remembers, in time[1], how many lengths the
// caller's time runs ahead of the stream; so each key fires once per cycle.
class AnimRtStreamInstant : public AnimRtStream
{
public:
    const char* pBase;
    const char* pData;

    void Set(AnimStream* s);
    // Fires the keys due by t.  False when an event's handler restarted,
    // cleared or deleted pAnim (the caller must then stop touching it).
    bool Evaluate(float t, unsigned short len, Animation* pAnim, Object* obj, int slot);
    // Fires the key at pData: 1, or 0 when none is left, or -1 when the
    // event's handler disturbed pAnim.
    int NextKey(Animation* pAnim, Object* obj, int slot);
};
static_assert(sizeof(AnimRtStreamInstant) <= 32);

// ---------------------------------------------------------------------------
// An evaluated pose.

enum : u16
{
    ANIMKEY_COLOUR = 0x01,
    ANIMKEY_POS = 0x02,
    ANIMKEY_POSW = 0x04,     // the w component of pos carries a value
    ANIMKEY_CAMFX = 0x08,    // focus, radius and the colour bytes
    ANIMKEY_SCALE = 0x20,
    ANIMKEY_ROT = 0x80,
    ANIMKEY_COLOUR0 = 0x800, // the first colour byte carries a value
};

class alignas(16) AnimRTKey
{
public:
    AnimRTKey()
        : time(0), flags(0), colour(0, 0, 0, 0), camFxFocus(0.0f), camFxRadius(0.0f), pos(0.0f, 0.0f, 0.0f, 1.0f),
          ang(true), scl(1.0f, 1.0f, 1.0f, 0.0f)
    {
    }

    // Writes the valid parts into mat: the rotation (row w reset), the scale
    // (on the rotation rows when there is one, else by SetScale), the
    // position.
    Matrix& Evaluate(Matrix& mat) const;
    // Position and rotation from mat, unit scale; flags 0x82.
    void Set(const Matrix& mat);
    // Moves toward key by amount: the rotation when both have one, the
    // position (all four components) when both have one.
    void Interpolate(AnimRTKey* key, float amount);

    u16 time;
    u16 flags;
    Colour colour;
    float camFxFocus;
    float camFxRadius;
    Vector pos;
    Quaternion ang;
    Vector scl;
};
static_assert(sizeof(AnimRTKey) == 64 && offsetof(AnimRTKey, pos) == 16 && offsetof(AnimRTKey, scl) == 48);

// key0 moved toward key1 by t, part by part as key1 has them.
AnimRTKey Interpolate(AnimRTKey& key0, AnimRTKey& key1, float t);

// ---------------------------------------------------------------------------
// One running animation.

enum : u16
{
    ANIMF_RELATIVE = 0x01,   // position and rotation move the object by the change since lastEval
    ANIMF_REBASE = 0x04,     // this pass takes the new value as the reference
    ANIMF_FROZEN = 0x08,     // streams are not evaluated; lastEval holds the pose
    ANIMF_XFADE = 0x10,      // slot 0: a cross-fade is running
    ANIMF_BASEKEY = 0x20,    // slot 0: absolute results are combined with baseKey
    ANIMF_NORELPOS = 0x40,   // slot 1: its relative position change is not blended in
    ANIMF_XFADEHOLD = 0x80,  // slot 0: animoffset follows the time during the cross-fade
};

class alignas(16) Animation
{
public:
    // An idle record: no bundle, no cursors, no next slot.
    Animation();
    // Frees the cursors.
    ~Animation();

    // From the 16-byte pools (112 bytes; 256 for a BlendAnimation).
    static void* operator new(size_t size) noexcept;
    static void operator delete(void* p, size_t size);

    // (Re)starts on a bundle with the length word's length, looping when bit
    // 0 of _animFlags is set, time 0 at clock frame _animoffset.  Cursors are
    // reused by kind and the slot array only grows.
    void Set(AnimBundle* _data, unsigned short _animLen, unsigned short _animFlags, unsigned short _animoffset);
    // Grows the cursor slot array to num slots (the new ones empty).
    void AllocStreamPtrs(int num);
    // Frees every cursor and the slot array.
    void FreeStreamPtrs();

    // Per frame of the first position cursor's current segment; zero without one.
    VectorDir Velocity() const;
    // The last value of the first running float cursor of that type, else def.
    float GetFloat(AnimType type, float def) const;
    // The first running blur cursor's alpha and scale (1), or 0 without one.
    int GetBlur(unsigned short* alpha, unsigned short* scale) const;
    float GetZoom(float def) const { return GetFloat(ANIM_TYPE_ZOOM, def); }
    float GetNearZ(float def) const { return GetFloat(ANIM_TYPE_NEARZ, def); }
    bool IsLooping() const { return (animLen & ANIM_LEN_LOOP) != 0; }
    // The animation clock, and frames into this animation at a clock time.
    static AnimTime Time() { return anim_time; }
    static void SetTime(AnimTime t) { anim_time = t; }
    float Frame(float time) const { return time - (float)animoffset; }
    float Frame() const { return Frame((float)anim_time); }

    // Tells a pass that fires this record's events that the record was
    // restarted, rearranged or freed (see AnimFireGuard).
    void Touch();

    AnimBundle* data;          // null: nothing plays
    AnimRtStream** pStream;    // cursor slots (may be null)
    u16 streamCnt;
    u16 animLen;               // length word
    u16 animoffset;            // clock frame of time 0
    u16 flags;                 // ANIMF_*
    s16 sndBank;               // sound bank of sound keys; negative: the model file's
    Animation* nextAnim;       // next slot of a BlendAnimation
    AnimRTKey lastEval;        // last pose produced
    float blendAmount;         // weight of this slot in a blend

    static AnimTime anim_time;   // the animation clock
};
static_assert(sizeof(Animation) == 112 && offsetof(Animation, lastEval) == 32 && offsetof(Animation, blendAmount) == 96);

// A pass that fires events keeps one of these on a stack while the event's
// handler runs; Touch marks every guard whose animation (or a record chained
// behind it) is touched, so the pass knows to stop.
struct AnimFireGuard
{
    explicit AnimFireGuard(Animation* a) : anim(a), disturbed(false), outer(top) { top = this; }
    ~AnimFireGuard() { top = outer; }
    AnimFireGuard(const AnimFireGuard&) = delete;
    AnimFireGuard& operator=(const AnimFireGuard&) = delete;

    Animation* anim;
    bool disturbed;
    AnimFireGuard* outer;

    static AnimFireGuard* top;
};

// Applies obj's animation (its slot 0 as a plain Animation) at clock time
// time; returns animstatus.
int AnimateObject(Object* obj, float time, int animstatus);
// AnimateObject over obj, its later siblings and their descendants, passing
// over self-animating objects; a status below -1 ends the walk.
int AnimateHierarchy1(Object* obj, float time, int animstatus);
// The forward speed (z per frame) of the root motion of an animation: the
// last position stream of its first bundle from its first key to its last.
float AnimFileGetSpeed(AnimChar* animHeader);

// The sound of a sound key, for obj and the animation that fired it: with
// the animation's sndBank when it is not negative (volumes and pitches from
// the key, stored in percent; distances scaled by 0.8), else from obj's
// model file's soundbank; the channel follows obj.  Defined with the sound
// system.
void PlayAnimSoundKey(Object* obj, const Animation* anim, const AnimKeySound* key);

// ---------------------------------------------------------------------------
// The two-slot blended animation.  Slot 0 is the base Animation; slot 1 is a
// separate record chained by nextAnim; a cleared slot's record stays chained
// as a spare for the next AddAnim.

class alignas(16) BlendAnimation : public Animation
{
public:
    BlendAnimation(Object* obj, AnimBundle* _data, unsigned int _flags, unsigned short _animLen,
                   unsigned short _animFlags, unsigned short _animoffset);
    ~BlendAnimation();

    // Plays a bundle in the next free slot with weight _blendAmount; false
    // when both slots are in use (or no record could be had).
    bool AddAnim(AnimBundle* _data, unsigned short _animoffset, float _blendAmount, unsigned short _length,
                 unsigned short _animFlags, short _sndBank);
    // Removes slot (1 .. animCnt - 1); other numbers are ignored.
    void ClearSlot(int slot);
    // Lowers slot 1's weight by deltaTime / xfadeSpeed and retires it at 0.
    void UpdateXFade(float deltaTime);
    // Freezes destslot on mat's pose.
    void Collapse(const Matrix& mat, float time, int slot1, int slot2, int destslot);
    // Slot 0's velocity blended toward each further slot's by its weight.
    VectorDir Velocity() const;

    // One pass: evaluates every slot at its time in timeList, blends them
    // with baseKey and the pose, writes obj's matrix, fires events, and
    // sends OM_ANIMLOOP for the first slot that looped or ended (unless
    // *pbSendLoop is 0; it is then cleared).  Returns the status: animstatus,
    // or the OM_ANIMLOOP reply.
    int Animate(Object* obj, float* timeList, int animstatus, float deltaTime, int* pbSendLoop);

    // Slot i's record (spares included), or null.
    Animation* GetAnim(int i)
    {
        Animation* a = this;
        for (; a != nullptr && i > 0; i--)
            a = a->nextAnim;
        return a;
    }
    void ClearAnimation()
    {
        sndBank = -1;
        animCnt = 0;
        Touch();
    }
    void ClearPose()
    {
        pose.flags = 0;
        poseBlend = 0.0f;
    }
    bool SetBlendAmount(unsigned short i, float amount)
    {
        if (i >= animCnt)
            return false;
        GetAnim(i)->blendAmount = amount;
        return true;
    }
    void SetPose(AnimRTKey* key, float amount)
    {
        pose = *key;
        poseBlend = amount;
    }
    AnimRTKey* GetPose() { return &pose; }
    void SetPoseBlend(float amount) { poseBlend = amount; }
    float GetPoseBlend() const { return poseBlend; }

    AnimRTKey baseKey;    // starting key of every blend: the rest pose
    AnimRTKey pose;       // mixed in after the slots (flags 0: none)
    float poseBlend;      // its weight
    u16 animCnt;          // slots in use, 0..2
    u16 xfadeSpeed;       // cross-fade length in frames

    // While false, face bones (node animation ids 10..28) are not animated.
    static bool animateFace;
};
static_assert(sizeof(BlendAnimation) == 256);

// The world's per-frame walk: BlendAnimateHierarchy with one time for both slots.
void AnimateHierarchy(Object* obj, float time, float deltaTime);
// Animates obj (not its siblings), then its descendants.  Face bones are
// animated for the walk unless obj is a character.  At most one OM_ANIMLOOP
// is sent per walk; a negative reply stops the walk from descending below
// that object, one below -1 ends it.  Returns the status.
int BlendAnimateHierarchy(Object* obj, float* timeList, float deltaTime);
// The walk below the top: obj, its later siblings and their descendants,
// passing over self-animating objects with their sub-trees.
int BlendAnimateHierarchy1(Object* obj, float* timeList, int animstatus, float deltaTime, int* pbSendLoop);

// Slot editors over obj, its later siblings and every descendant; a
// self-animating object is passed over but its children are visited.
// Out-of-range slot numbers are ignored.
void SetBlendFactorHierarchy(Object* obj, unsigned short index, float factor);
void SetBaseBlendAnimHierarchy(Object* obj, unsigned short _fromNdx);
void SwapBlendAnimHierarchy(Object* obj, unsigned short _toSlot, unsigned short _fromSlot);
void ClearBlendAnimSlotHierarchy(Object* obj, unsigned short _whichSlot);
void CollapseAnimSlotHierarchy(Object* obj, float time, int slot1, int slot2, int destslot);
// Freezes slot _whichSlot on the current matrices of obj (its siblings only
// when checkSiblings) and all descendants.
void FreezeAnimHierarchy(Object* obj, unsigned short _whichSlot, bool checkSiblings);
