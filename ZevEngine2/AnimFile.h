// Animation group files (".ANI") and the key streams they hold, with the
// runtime cursors that find and interpolate the keys around a time.
//
// All keyframe animation is stored as key streams: per animated node one
// stream per animated quantity (position, rotation, scale, zoom, colour,
// blur, instant events ...), each a run of timed keys in ascending time
// order.  The streams of one node form an AnimBundle, the bundles of one
// named animation an AnimChar, the animations of one character set an
// AnimGroup: one disc file.  Model files carry the same AnimBundle records
// for their built-in node animations (AnimNode, modelfile.h).
//
// Times are unsigned 16-bit counts of animation frames.  A length word keeps
// the length in bits 0-14 and the looping flag in bit 15.
//
// The file is used in place: LoadAndFixUpAnimGroup loads it, checks every
// count and offset against its size, and turns the stored offsets into
// pointers.  Everything is little-endian; key records are packed (2-byte
// aligned, their floats stored as four raw bytes read through KeyConv32);
// offset tables are u32 and 4-byte aligned.
#pragma once

#include "ZevEngine2/Zev.h"
#include "ZevEngine2/PS2/Vector.h"

// The file's offsets become pointers in place: a pointer must be one word.
static_assert(sizeof(void*) == 4, "animation files hold 32-bit pointers after the fix-up");

enum AnimType
{
    ANIM_TYPE_POS = 0,          // AnimKeyPos, AnimRtStreamPos
    ANIM_TYPE_QUAT = 1,         // AnimKeyQuat, AnimRtStreamQuat
    ANIM_TYPE_COMP_QUAT = 2,    // AnimKeyCompQuat, AnimRtStreamCompQuat
    ANIM_TYPE_SCALE = 3,        // AnimKeyScale, AnimRtStreamVector3
    ANIM_TYPE_ZOOM = 4,         // AnimKeyZoom, AnimRtStreamFloat
    ANIM_TYPE_COLOUR = 5,       // AnimKeyColour, AnimRtStreamVector3
    ANIM_TYPE_BLUR = 6,         // AnimKeyBlur, AnimRtStreamBlur
    ANIM_TYPE_CAMFX = 7,        // AnimKeyCamFX; carried, never evaluated
    ANIM_TYPE_INSTANT = 8,      // AnimKeyInstant family, AnimRtStreamInstant (Anim.h)
    ANIM_TYPE_NEARZ = 9,        // AnimKeyNearZ, AnimRtStreamFloat
    ANIM_TYPE_TOTAL = 10,
};

// Instant key types (AnimKeyInstant::type).
enum AnimInstant
{
    ANIM_INSTANT_TEXTURE = 0,   // AnimKeyTexture
    ANIM_INSTANT_EVENT = 1,     // AnimKeyEvent
    ANIM_INSTANT_FLAG = 2,      // AnimKeyFlag
    ANIM_INSTANT_SOUND = 3,     // AnimKeySound
    ANIM_INSTANT_TOTAL = 4,
};

// Length word: bits 0-14 the length in frames, bit 15 looping.
constexpr unsigned short ANIM_LEN_MASK = 0x7FFF;
constexpr unsigned short ANIM_LEN_LOOP = 0x8000;

// Four raw key bytes as a word or a float.  Key floats need not be 4-byte
// aligned, so they are copied out byte by byte.
union KeyConv32
{
    char c[4];
    float f;
    uint32_t u32;

    KeyConv32(const char* p) { std::memcpy(c, p, 4); }
    KeyConv32(float v) : f(v) {}
    KeyConv32(unsigned int v) : u32(v) {}
};
static_assert(sizeof(KeyConv32) == 4);

inline float KeyFloat(const char* p) { return KeyConv32(p).f; }

// ---------------------------------------------------------------------------
// Key records (offsets from the start of the key in the comments).

struct AnimKey
{
    u16 time;   // +0
};

struct AnimKeyF
{
    u16 time;   // +0
    char x[4];  // +2
};

struct AnimKeyF2
{
    u16 time;
    char x[4];  // +2
    char y[4];  // +6
};

struct AnimKeyF3
{
    u16 time;
    char x[4];  // +2
    char y[4];  // +6
    char z[4];  // +10

    VectorXYZ Value() const { return VectorXYZ(KeyFloat(x), KeyFloat(y), KeyFloat(z)); }
};

struct AnimKeyF4
{
    u16 time;
    char x[4];  // +2  vector part
    char y[4];  // +6
    char z[4];  // +10
    char w[4];  // +14 scalar part

    Quaternion Value() const
    {
        return Quaternion(Vector(KeyFloat(x), KeyFloat(y), KeyFloat(z), KeyFloat(w)));
    }
};

typedef AnimKeyF3 AnimKeyPos;
typedef AnimKeyF3 AnimKeyScale;
typedef AnimKeyF3 AnimKeyColour;
typedef AnimKeyF4 AnimKeyQuat;
typedef AnimKeyF AnimKeyCompQuat;   // x holds the packed quaternion word
typedef AnimKeyF AnimKeyZoom;
typedef AnimKeyF AnimKeyNearZ;

struct AnimKeyBlur
{
    u16 time;
    u16 alpha;   // +2
    u16 scale;   // +4
};

struct AnimKeyCamFX
{
    u16 time;
    char focus[4];    // +2
    char radius[4];   // +6
    u16 alpha;        // +10
    u16 blur;         // +12
};

// The head of every instant key; the rest depends on type (Anim.h).
struct AnimKeyInstant
{
    u16 time;
    u16 type;   // +2 AnimInstant
};

static_assert(sizeof(AnimKey) == 2 && sizeof(AnimKeyF) == 6 && sizeof(AnimKeyF2) == 10);
static_assert(sizeof(AnimKeyF3) == 14 && sizeof(AnimKeyF4) == 18);
static_assert(sizeof(AnimKeyBlur) == 6 && sizeof(AnimKeyCamFX) == 14 && sizeof(AnimKeyInstant) == 4);
static_assert(offsetof(AnimKeyF4, w) == 14 && offsetof(AnimKeyCamFX, alpha) == 10 && offsetof(AnimKeyCamFX, blur) == 12);
static_assert(alignof(AnimKeyF4) == 2 && alignof(AnimKeyCamFX) == 2);

// Bytes of one key of a stream type; 0 for the instant stream (whose keys
// differ in size) and for unknown types.
u32 AnimKeySize(int type);
// Bytes of an instant key of an AnimInstant type; 0 for an unknown type
// (such a key is never stepped over).
u32 AnimInstantKeySize(int type);
// Bytes the stream at `stream` (head and keys) takes, when it fits in the
// avail bytes from its start and its type is known; else 0, with *badKey
// (when given) the first key that does not fit, or -1 for the head or the
// type.  Instant keys are walked one by one; the walk ends at a key of an
// unknown instant type, since the players read every later key there too.
// For loaders of files that carry streams (animation groups, model files).
u32 AnimStreamBytes(const void* stream, u32 avail, int* badKey = nullptr);

// ---------------------------------------------------------------------------
// File records.  Offsets are relative as noted, and pointers after the
// fix-up.

// One stream: its keys follow the head back to back.  2-byte aligned.
struct AnimStream
{
    u16 type;      // AnimType
    u16 numKeys;
    char pKeys[];  // numKeys key records of the type's layout

    const AnimKey* Key0() const { return (const AnimKey*)pKeys; }
};
static_assert(sizeof(AnimStream) == 4 && offsetof(AnimStream, pKeys) == 4);

// The streams of one node.  4-byte aligned.
struct AnimBundle
{
    u16 id;                 // the node animation id it drives
    u16 numStreams;
    AnimStream* pStreams[]; // offsets from this bundle

    void FixUp();
};
static_assert(sizeof(AnimBundle) == 4 && offsetof(AnimBundle, pStreams) == 4);

// One animation: the bundles of its bones in ascending id order (the object
// code and the overlay match them to a hierarchy in that order).
struct AnimChar
{
    u16 flags;               // bit 0: the animation loops
    u16 length;              // frames
    float deltaX, deltaY, deltaZ;   // for the character code
    u32 numBundles;
    AnimBundle* pBundles[];  // offsets from this AnimChar

    void FixUp();
    int GetCount() const { return (int)numBundles; }
    // The bundle's id as a signed 16-bit value, or -1 past the last bundle.
    int GetID(int i) const { return i >= 0 && (u32)i < numBundles ? (s16)pBundles[i]->id : -1; }
    AnimBundle* GetBundle(int i) const { return i >= 0 && (u32)i < numBundles ? pBundles[i] : nullptr; }
};
static_assert(sizeof(AnimChar) == 20 && offsetof(AnimChar, deltaX) == 4 && offsetof(AnimChar, pBundles) == 20);

// The file: a count and the offsets of the animations from the file's start.
struct AnimGroup
{
    int count;
    AnimChar* pChars[];

    void FixUp();

    // True when the size-byte file can be fixed up and played safely: every
    // offset and count lies inside it, records are aligned, stream types are
    // known, and no two records the fix-up writes (the offset tables) share a
    // byte with each other or with anything else the game reads.  Otherwise
    // why (256 bytes, when given) says what is wrong and where.  Changes
    // nothing.
    static bool Check(const void* file, u32 size, char* why);
};
static_assert(sizeof(AnimGroup) == 4 && offsetof(AnimGroup, pChars) == 4);

// Loads the whole file, checks it and fixes it up in place.  The caller owns
// the returned buffer (free it with free).  Null when the file cannot be
// loaded, or is refused by the check (reported, and the buffer freed); then
// `refused`, when given, tells which: true for a file refused.
AnimGroup* LoadAndFixUpAnimGroup(const char* name, bool* refused = nullptr);

// The packed quaternion word of a compressed rotation key: bits 31-30 the
// omitted (largest, stored non-negative) component, then the other three in
// x, y, z, w order as 10-bit values n standing for n * K - O.
Quaternion DecompressQuat(unsigned int w);
// The encoder (tools only).  Components outside the range of a unit
// quaternion are clamped to the 10-bit field instead of spilling into the
// neighbouring ones.
unsigned int CompressQuat(Quaternion q);

// ---------------------------------------------------------------------------
// Runtime cursors.  A cursor runs one stream of a file image (which must
// outlive it) and caches the two keys of the segment around the last time it
// was asked for.  Cursors come from the 16-byte pools in two sizes (64 bytes
// for the vector and quaternion kinds, 32 for the others) and are owned by
// an Animation.  A cursor with numKeys 0 is idle.
//
// Evaluate(t, length) gives the value at t (frames from the animation's
// start; length the length word).  Past the last key a looping stream runs
// a segment from the last key back to the first, ending one length after the
// first key, and restarts from the first key when t reaches the length; a
// stream that does not loop holds its last key.  A time before the current
// segment starts the search again from the first key.

class AnimRtStream
{
public:
    u16 type;      // the AnimType it is running
    u16 time[2];   // start and end time of the current segment
    u16 numKeys;   // 0: idle
    u16 curKey;    // index of the key at the segment end

    // From the 16-byte pools: 32 bytes for sizes up to 32, else 64.
    static void* operator new(size_t size) noexcept;
    static void operator delete(void* p, size_t size);

    // The pool size a cursor of a stream type takes; 0 for the camera-effect
    // stream (it gets no cursor) and unknown types.
    static u32 AllocSize(int type);
};
static_assert(sizeof(AnimRtStream) == 10);

class AnimRtStreamPos : public AnimRtStream
{
public:
    const AnimKeyPos* pBase;   // first key
    const AnimKeyPos* pData;   // key at the segment end
    VectorPos key[2];          // segment start and end values (w = 1)

    void Set(AnimStream* s);
    VectorPos Evaluate(float t, unsigned short length);
    int NextKey();

    // Parts of Evaluate's search (AnimFile.cpp).
    void Rewind() { Set((AnimStream*)((char*)pBase - 4)); }
    void Wrap(bool looping, unsigned L);
    void Restart();
    void HoldLast(unsigned L);
};

class AnimRtStreamQuat : public AnimRtStream
{
public:
    const char* pBase;
    const char* pData;
    Quaternion key[2];   // compressed keys are held decompressed

    void Set(AnimStream* s);
    Quaternion Evaluate(float t, unsigned short length);
    int NextKey();

    void Rewind() { Set((AnimStream*)(pBase - 4)); }
    void Wrap(bool looping, unsigned L);
    void Restart();
    void HoldLast(unsigned L);

protected:
    friend struct AnimQuatKeys;   // reads the keys for the cursor steps (AnimFile.cpp)

    // Size and value of a key of the kind this cursor runs.
    u32 Stride() const { return type == ANIM_TYPE_COMP_QUAT ? sizeof(AnimKeyCompQuat) : sizeof(AnimKeyQuat); }
    Quaternion Value(const char* k) const;
    u16 TimeOf(const char* k) const { return ((const AnimKey*)k)->time; }
};

// The same record running compressed keys (type ANIM_TYPE_COMP_QUAT); the
// quaternion cursor reads either kind by its type, so a cursor can switch
// between the two when another animation is set.
class AnimRtStreamCompQuat : public AnimRtStreamQuat
{
};

class AnimRtStreamVector3 : public AnimRtStream
{
public:
    const AnimKeyF3* pBase;
    const AnimKeyF3* pData;
    VectorDir key[2];   // w = 0

    void Set(AnimStream* s);
    VectorDir Evaluate(float t, unsigned short length);
    int NextKey();

    void Rewind() { Set((AnimStream*)((char*)pBase - 4)); }
    void Wrap(bool looping, unsigned L);
    void Restart();
    void HoldLast(unsigned L);
};

class AnimRtStreamFloat : public AnimRtStream
{
public:
    const AnimKeyF* pBase;
    const AnimKeyF* pData;
    float key[2];
    float curEval;   // last value produced

    void Set(AnimStream* s);
    float Evaluate(float t, unsigned short length);
    int NextKey();

    void Rewind() { Set((AnimStream*)((char*)pBase - 4)); }
    void Wrap(bool looping, unsigned L);
    void Restart();
    void HoldLast(unsigned L);
};

// Blur: the alpha is interpolated, the scale steps (it is the scale of the
// key that opened the current segment).
class AnimRtStreamBlur : public AnimRtStream
{
public:
    const AnimKeyBlur* pBase;
    const AnimKeyBlur* pData;
    u16 alpha[2];    // segment start and end alpha
    u16 curAlpha;    // last alpha produced
    u16 scale[2];    // scale in force, scale of the segment start key

    void Set(AnimStream* s);
    void Evaluate(float t, unsigned short length);
    int NextKey();
};

static_assert(sizeof(AnimRtStreamPos) == 64 && sizeof(AnimRtStreamQuat) == 64 && sizeof(AnimRtStreamVector3) == 64);
static_assert(sizeof(AnimRtStreamCompQuat) == 64);
static_assert(sizeof(AnimRtStreamFloat) == 32 && sizeof(AnimRtStreamBlur) == 32);
