// Animation group files: the check and fix-up of a loaded file, compressed
// quaternions, and the interpolating stream cursors.
#include "ZevEngine2/AnimFile.h"

#include "ZevEngine2/Allocator.h"
#include "ZevEngine2/EntTypes.h"
#include "ZevEngine2/Utilities.h"

#include <cmath>

u32 AnimKeySize(int type)
{
    switch (type)
    {
    case ANIM_TYPE_POS: case ANIM_TYPE_SCALE: case ANIM_TYPE_COLOUR:
        return sizeof(AnimKeyF3);
    case ANIM_TYPE_QUAT:
        return sizeof(AnimKeyF4);
    case ANIM_TYPE_COMP_QUAT: case ANIM_TYPE_ZOOM: case ANIM_TYPE_NEARZ:
        return sizeof(AnimKeyF);
    case ANIM_TYPE_BLUR:
        return sizeof(AnimKeyBlur);
    case ANIM_TYPE_CAMFX:
        return sizeof(AnimKeyCamFX);
    default:
        return 0;
    }
}

u32 AnimInstantKeySize(int type)
{
    switch (type)
    {
    case ANIM_INSTANT_TEXTURE: return 8;
    case ANIM_INSTANT_EVENT: return 6;
    case ANIM_INSTANT_FLAG: return 8;
    case ANIM_INSTANT_SOUND: return 34;
    default: return 0;
    }
}

u32 AnimStreamBytes(const void* stream, u32 avail, int* badKey)
{
    const u8* p = (const u8*)stream;
    if (badKey != nullptr)
        *badKey = -1;
    if (avail < sizeof(AnimStream))
        return 0;
    u16 type, n;
    memcpy(&type, p, 2);
    memcpy(&n, p + 2, 2);
    if (type >= ANIM_TYPE_TOTAL)
        return 0;
    u64 end = sizeof(AnimStream);
    if (type != ANIM_TYPE_INSTANT)
    {
        end += (u64)n * AnimKeySize(type);
        if (end <= avail)
            return (u32)end;
        if (badKey != nullptr)
            *badKey = (int)((avail - sizeof(AnimStream)) / AnimKeySize(type));
        return 0;
    }
    for (u32 key = 0; key < n; key++)
    {
        u16 ktype = 0xFFFF;
        if (end + sizeof(AnimKeyInstant) <= avail)
            memcpy(&ktype, p + end + 2, 2);
        u32 ks = AnimInstantKeySize(ktype);
        u64 need = ks != 0 ? ks : sizeof(AnimKeyInstant);
        if (end + need > avail)
        {
            if (badKey != nullptr)
                *badKey = (int)key;
            return 0;
        }
        end += need;
        if (ks == 0)
            break;
    }
    return (u32)end;
}

// The floats that follow the time of a key of the type (the camera effect's
// alpha and blur words and the compressed quaternion's word are none).
static u32 AnimKeyFloats(int type)
{
    switch (type)
    {
    case ANIM_TYPE_POS: case ANIM_TYPE_SCALE: case ANIM_TYPE_COLOUR: return 3;
    case ANIM_TYPE_QUAT: return 4;
    case ANIM_TYPE_ZOOM: case ANIM_TYPE_NEARZ: return 1;
    case ANIM_TYPE_CAMFX: return 2;
    default: return 0;
    }
}

// The first key of a stream of `bytes` bytes (its size as AnimStreamBytes
// found it) that comes before the key ahead of it in time, or whose value is
// not a finite number, or -1.  The cursors step forward through the keys and
// interpolate their values, so either is damage the structure cannot show.
static int AnimStreamKeyFault(const u8* stream, u32 bytes, char* what, u32 whatSize)
{
    u16 type, n;
    memcpy(&type, stream, 2);
    memcpy(&n, stream + 2, 2);
    const u32 floats = AnimKeyFloats(type);
    u32 at = sizeof(AnimStream);
    u16 last = 0;
    for (u32 key = 0; key < n && at + sizeof(AnimKeyInstant) <= bytes; key++)
    {
        u16 time, ktype;
        memcpy(&time, stream + at, 2);
        memcpy(&ktype, stream + at + 2, 2);
        if (key > 0 && time < last)
        {
            snprintf(what, whatSize, "at time %u comes before the key ahead of it (time %u)", time, last);
            return (int)key;
        }
        last = time;
        for (u32 f = 0; f < floats; f++)
        {
            float v;
            memcpy(&v, stream + at + 2 + 4 * f, 4);
            if (!std::isfinite(v))
            {
                snprintf(what, whatSize, "at time %u holds a value that is not a number", time);
                return (int)key;
            }
        }
        const u32 size = type == ANIM_TYPE_INSTANT ? AnimInstantKeySize(ktype) : AnimKeySize(type);
        if (size == 0)
            break;
        at += size;
    }
    return -1;
}

// ---------------------------------------------------------------------------
// The check.  One walk over the file validates every count, offset, type and
// alignment the fix-up and the players rely on and records the byte ranges
// it reads and the ones the fix-up writes (the three levels of offset
// tables); a second walk fills the list it sized.  A written range may share
// no byte with any other range: a table fixed up twice, or a record changed
// under a reader, would turn valid offsets into wild pointers.

namespace {

struct Span
{
    u32 start, end;
    bool written;
};

class AniCheck
{
public:
    AniCheck(const void* file, u32 n, char* why) : base((const u8*)file), size(n), why(why) {}
    ~AniCheck() { free(spans); }

    bool Run();

private:
    bool Fail(const char* fmt, ...) __attribute__((format(__printf__, 2, 3)));
    bool Inside(u64 off, u64 len) const { return off <= size && len <= size - off; }
    void Add(u64 off, u64 len, bool written);
    u16 U16(u32 off) const { u16 v; memcpy(&v, base + off, 2); return v; }
    u32 U32(u32 off) const { u32 v; memcpy(&v, base + off, 4); return v; }

    bool Walk();
    bool Char(int i, u32 off);
    bool Bundle(int i, u32 j, u32 off);
    bool Stream(int i, u32 j, u32 k, u32 off);
    bool Overlaps();

    const u8* base;
    u32 size;
    char* why;
    Span* spans = nullptr;   // null while counting
    u32 nSpans = 0;
};

bool AniCheck::Fail(const char* fmt, ...)
{
    if (why != nullptr)
    {
        char text[512];
        va_list ap;
        va_start(ap, fmt);
        vsprintf(text, fmt, ap);
        va_end(ap);
        text[255] = 0;
        strcpy(why, text);
    }
    return false;
}

void AniCheck::Add(u64 off, u64 len, bool written)
{
    if (len == 0)
        return;
    if (spans != nullptr)
        spans[nSpans] = Span{(u32)off, (u32)(off + len), written};
    nSpans++;
}

bool AniCheck::Run()
{
    if (!Walk())
        return false;
    if (nSpans == 0)
        return true;
    spans = (Span*)malloc(nSpans * sizeof(Span));
    if (spans == nullptr)
        return Fail("no memory to check %u records", nSpans);
    nSpans = 0;
    Walk();
    return Overlaps();
}

bool AniCheck::Walk()
{
    if (size < 4)
        return Fail("the file is %u bytes: too short for its animation count", size);
    int count = (int)U32(0);
    Add(0, 4, false);
    // A negative count counts nothing: the file is not a group (its first
    // word damaged), though the fix-up would take it for an empty one.
    if (count < 0)
        return Fail("its animation count %d is negative", count);
    if (count == 0)
        return true;
    if (!Inside(4, 4 * (u64)count))
        return Fail("the table of %d animations runs past the end of the file (%u bytes)", count, size);
    Add(4, 4 * (u64)count, true);
    for (int i = 0; i < count; i++)
    {
        if (!Char(i, U32(4 + 4 * i)))
            return false;
    }
    return true;
}

bool AniCheck::Char(int i, u32 off)
{
    if (off % 4 != 0)
        return Fail("animation %d at 0x%X is not 4-byte aligned", i, off);
    if (!Inside(off, sizeof(AnimChar)))
        return Fail("animation %d at 0x%X runs past the end of the file (%u bytes)", i, off, size);
    u32 nb = U32(off + offsetof(AnimChar, numBundles));
    if (!Inside((u64)off + sizeof(AnimChar), 4 * (u64)nb))
        return Fail("animation %d at 0x%X: its table of %u bundles runs past the end of the file", i, off, nb);
    Add(off, sizeof(AnimChar), false);
    Add((u64)off + sizeof(AnimChar), 4 * (u64)nb, true);
    for (u32 j = 0; j < nb; j++)
    {
        // Offsets are added to the record's address in 32 bits, as the
        // fix-up does.
        if (!Bundle(i, j, off + U32(off + sizeof(AnimChar) + 4 * j)))
            return false;
    }
    return true;
}

bool AniCheck::Bundle(int i, u32 j, u32 off)
{
    if (off % 4 != 0)
        return Fail("animation %d, bundle %u at 0x%X is not 4-byte aligned", i, j, off);
    if (!Inside(off, sizeof(AnimBundle)))
        return Fail("animation %d, bundle %u at 0x%X runs past the end of the file (%u bytes)", i, j, off, size);
    u32 ns = U16(off + 2);
    if (!Inside((u64)off + 4, 4 * (u64)ns))
        return Fail("animation %d, bundle %u at 0x%X: its table of %u streams runs past the end of the file", i, j,
                    off, ns);
    Add(off, 4, false);
    Add((u64)off + 4, 4 * (u64)ns, true);
    for (u32 k = 0; k < ns; k++)
    {
        if (!Stream(i, j, k, off + U32(off + 4 + 4 * k)))
            return false;
    }
    return true;
}

bool AniCheck::Stream(int i, u32 j, u32 k, u32 off)
{
    if (off % 2 != 0)
        return Fail("animation %d, bundle %u, stream %u at 0x%X is not 2-byte aligned", i, j, k, off);
    if (!Inside(off, sizeof(AnimStream)))
        return Fail("animation %d, bundle %u, stream %u at 0x%X runs past the end of the file (%u bytes)", i, j, k,
                    off, size);
    int type = U16(off);
    if (type >= ANIM_TYPE_TOTAL)
        return Fail("animation %d, bundle %u, stream %u at 0x%X has unknown type %d", i, j, k, off, type);
    int badKey;
    u32 bytes = AnimStreamBytes(base + off, size - off, &badKey);
    if (bytes == 0)
        return Fail("animation %d, bundle %u, stream %u at 0x%X: %s key %d runs past the end of the file (%u bytes)",
                    i, j, k, off, type == ANIM_TYPE_INSTANT ? "instant" : "its", badKey, size);
    char what[96];
    int key = AnimStreamKeyFault(base + off, bytes, what, sizeof what);
    if (key >= 0)
        return Fail("animation %d, bundle %u, stream %u at 0x%X: key %d %s", i, j, k, off, key, what);
    u64 end = (u64)off + bytes;
    Add(off, end - off, false);
    return true;
}

bool AniCheck::Overlaps()
{
    std::sort(spans, spans + nSpans, [](const Span& a, const Span& b) { return a.start < b.start; });
    u32 endAll = 0, endWritten = 0;
    u32 lastAll = 0, lastWritten = 0;   // the spans that reach those ends
    for (u32 n = 0; n < nSpans; n++)
    {
        const Span& s = spans[n];
        bool clash = s.written ? s.start < endAll : s.start < endWritten;
        if (clash)
        {
            const Span& other = spans[s.written ? lastAll : lastWritten];
            return Fail("the offset table at 0x%X..0x%X shares bytes with the %s at 0x%X..0x%X",
                        s.written ? s.start : other.start, s.written ? s.end : other.end,
                        s.written ? (other.written ? "offset table" : "record") : "record",
                        s.written ? other.start : s.start, s.written ? other.end : s.end);
        }
        if (s.end > endAll)
        {
            endAll = s.end;
            lastAll = n;
        }
        if (s.written && s.end > endWritten)
        {
            endWritten = s.end;
            lastWritten = n;
        }
    }
    return true;
}

}  // namespace

bool AnimGroup::Check(const void* file, u32 size, char* why)
{
    if (file == nullptr)
    {
        if (why != nullptr)
            strcpy(why, "no file");
        return false;
    }
    AniCheck check(file, size, why);
    return check.Run();
}

// ---------------------------------------------------------------------------
// The fix-up: each offset plus the address of the record it is relative to.
// Counters are 32-bit: a 16-bit one would never reach a count above 65535.

void AnimBundle::FixUp()
{
    for (u32 k = 0; k < numStreams; k++)
        pStreams[k] = (AnimStream*)((uintptr_t)this + (uintptr_t)pStreams[k]);
}

void AnimChar::FixUp()
{
    for (u32 j = 0; j < numBundles; j++)
    {
        pBundles[j] = (AnimBundle*)((uintptr_t)this + (uintptr_t)pBundles[j]);
        pBundles[j]->FixUp();
    }
}

void AnimGroup::FixUp()
{
    for (int i = 0; i < count; i++)
    {
        pChars[i] = (AnimChar*)((uintptr_t)this + (uintptr_t)pChars[i]);
        pChars[i]->FixUp();
    }
}

AnimGroup* LoadAndFixUpAnimGroup(const char* name, bool* refused)
{
    if (refused != nullptr)
        *refused = false;
    unsigned len = 0;
    void* buffer = FileLoad(name, &len);
    if (buffer == nullptr)
        return nullptr;
    char why[256];
    if (!AnimGroup::Check(buffer, len, why))
    {
        printf("Anim: %s refused: %s\n", name, why);
        free(buffer);
        if (refused != nullptr)
            *refused = true;
        return nullptr;
    }
    AnimGroup* group = (AnimGroup*)buffer;
    group->FixUp();
    return group;
}

// ---------------------------------------------------------------------------
// Compressed quaternions.  The three stored components of a unit quaternion
// lie within +-1/sqrt(2), which 10 bits cover in steps of K from -O.

namespace {

const float kQuatStep = KeyConv32(0x3AB53251u).f;     // K = 0.00138242
const float kQuatOffset = KeyConv32(0x3F3504F7u).f;   // O = 0.7071070, just below 1/sqrt(2)
const float kQuatScale = KeyConv32(0x4434D7AEu).f;    // 723.37, about 1/K

}  // namespace

Quaternion DecompressQuat(unsigned int w)
{
    float a = (float)((w >> 20) & 0x3FF) * kQuatStep - kQuatOffset;
    float b = (float)((w >> 10) & 0x3FF) * kQuatStep - kQuatOffset;
    float c = (float)(w & 0x3FF) * kQuatStep - kQuatOffset;
    float rest = 1.0f - (a * a + b * b + c * c);
    // A badly encoded word can leave a little below zero.
    float s = rest > 0.0f ? sqrtf(rest) : 0.0f;
    switch (w >> 30)
    {
    case 0: return Quaternion(Vector(s, a, b, c));
    case 1: return Quaternion(Vector(a, s, b, c));
    case 2: return Quaternion(Vector(a, b, s, c));
    default: return Quaternion(Vector(a, b, c, s));
    }
}

unsigned int CompressQuat(Quaternion q)
{
    float x = fabsf(q[0]), y = fabsf(q[1]), z = fabsf(q[2]), w = fabsf(q[3]);
    int omit;
    if (y < x)
    {
        if (z < x)
            omit = w < x ? 0 : 3;
        else
            omit = w < z ? 2 : 3;
    }
    else
    {
        if (z < y)
            omit = w < y ? 1 : 3;
        else
            omit = w < z ? 2 : 3;
    }
    if (q[omit] < 0.0f)
        q = -q;
    unsigned int word = (unsigned int)omit << 30;
    int shift = 20;
    for (int i = 0; i < 4; i++)
    {
        if (i == omit)
            continue;
        int n = (int)((q[i] + kQuatOffset) * kQuatScale - 0.5f);
        n = std::clamp(n, 0, 0x3FF);
        word |= (unsigned int)n << shift;
        shift -= 10;
    }
    return word;
}

// ---------------------------------------------------------------------------
// Cursors

void* AnimRtStream::operator new(size_t size) noexcept
{
    return SmallAllocator::Alloc16(size <= 32 ? 32 : 64);
}

void AnimRtStream::operator delete(void* p, size_t size)
{
    SmallAllocator::Free16(p, size <= 32 ? 32 : 64);
}

u32 AnimRtStream::AllocSize(int type)
{
    switch (type)
    {
    case ANIM_TYPE_POS: case ANIM_TYPE_QUAT: case ANIM_TYPE_COMP_QUAT: case ANIM_TYPE_SCALE: case ANIM_TYPE_COLOUR:
        return 64;
    case ANIM_TYPE_ZOOM: case ANIM_TYPE_BLUR: case ANIM_TYPE_INSTANT: case ANIM_TYPE_NEARZ:
        return 32;
    default:
        return 0;
    }
}

namespace {

// Finds the segment holding t for an interpolating cursor C.  Returns true
// with the fraction f of the way through it, or false when the cursor now
// holds a final value in key[0] (a stream that does not loop, at or past its
// length).  A looping stream at or past its length restarts from its first
// key with t taken modulo the length, and the search goes on from there.
// The search is forward only and bounded by the key count, so it ends for
// any keys, sorted or not.
template <class C>
bool Locate(C& c, float& t, unsigned short length, float& f)
{
    unsigned L = length & ANIM_LEN_MASK;
    bool looping = (length & ANIM_LEN_LOOP) != 0;
    if (t < (float)c.time[0])
        c.Rewind();   // a time before the current segment: search from the start
    for (int guard = c.numKeys + 4; t > (float)c.time[1] || t < (float)c.time[0];)
    {
        if (t < (float)c.time[0] || --guard < 0)
            break;   // before the first key: its value holds
        if (c.NextKey())
            continue;
        if (t < (float)L)
        {
            c.Wrap(looping, L);
            continue;
        }
        if (looping && L > 0)
        {
            c.Restart();
            t = fmodf(t, (float)L);
            continue;
        }
        c.HoldLast(L);
        return false;
    }
    float t0 = (float)c.time[0], t1 = (float)c.time[1];
    f = t1 != t0 ? (t - t0) / (t1 - t0) : 0.0f;
    f = std::clamp(f, 0.0f, 1.0f);
    return true;
}

VectorPos PosValue(const AnimKeyF3& k)
{
    return VectorPos(v128f{KeyFloat(k.x), KeyFloat(k.y), KeyFloat(k.z), 1.0f});
}

VectorDir DirValue(const AnimKeyF3& k)
{
    return VectorDir(v128f{KeyFloat(k.x), KeyFloat(k.y), KeyFloat(k.z), 0.0f});
}

float FloatValue(const AnimKeyF& k)
{
    return KeyFloat(k.x);
}

// value0 + (value1 - value0) * f on x, y and z; w is value0's.
template <class V>
V Lerp3(const V& a, const V& b, float f)
{
    V r = a + (b - a) * f;
    r.setw(a[3]);
    return r;
}

float Lerp1(const float& a, const float& b, float f)
{
    return a + (b - a) * f;
}

// How a cursor reads its keys: Next(k) is the key after k, At(k, i) the key
// i places after k, Time and Value a key's time and value.  Position, scale,
// colour and float keys are plain arrays of one record type; rotation keys
// are read by AnimQuatKeys.
template <class K, class V, V (*Read)(const K&)>
struct ArrayKeys
{
    const K* Next(const K* k) const { return k + 1; }
    const K* At(const K* k, int i) const { return k + i; }
    u16 Time(const K* k) const { return k->time; }
    V Value(const K* k) const { return Read(*k); }
};

using PosKeys = ArrayKeys<AnimKeyF3, VectorPos, PosValue>;
using DirKeys = ArrayKeys<AnimKeyF3, VectorDir, DirValue>;
using FloatKeys = ArrayKeys<AnimKeyF, float, FloatValue>;

// The steps shared by the interpolating cursors, for a cursor C (pBase, pData,
// key[2]) reading its keys through R.

// The first segment: from the first key to the second.
template <class C, class R>
void RestartCursor(C& c, const R& keys)
{
    c.pData = keys.Next(c.pBase);
    c.time[0] = keys.Time(c.pBase);
    c.time[1] = keys.Time(c.pData);
    c.key[0] = keys.Value(c.pBase);
    c.key[1] = keys.Value(c.pData);
    c.curKey = 1;
}

// Starts stream s; an empty stream holds `idle`.
template <class C, class R, class V>
void SetCursor(C& c, AnimStream* s, const R& keys, const V& idle)
{
    c.type = s->type;
    c.numKeys = s->numKeys;
    c.pBase = c.pData = (decltype(c.pBase))s->pKeys;
    c.curKey = 0;
    if (c.numKeys == 0)
    {
        c.time[0] = c.time[1] = 0;
        c.key[0] = c.key[1] = idle;
        return;
    }
    if (keys.Time(c.pBase) != 0 || c.numKeys < 2)
    {
        // A constant segment from 0 to the first key.
        c.time[0] = 0;
        c.time[1] = keys.Time(c.pBase);
        c.key[0] = c.key[1] = keys.Value(c.pBase);
        return;
    }
    RestartCursor(c, keys);
}

template <class C, class R>
int NextCursorKey(C& c, const R& keys)
{
    if ((int)c.curKey >= (int)c.numKeys - 1)
        return 0;
    c.time[0] = c.time[1];
    c.key[0] = c.key[1];
    c.pData = keys.Next(c.pData);
    c.time[1] = keys.Time(c.pData);
    c.key[1] = keys.Value(c.pData);
    c.curKey++;
    return 1;
}

template <class C, class R>
void WrapCursor(C& c, const R& keys, bool looping, unsigned L)
{
    c.time[0] = c.time[1];
    c.key[0] = c.key[1];
    if (looping)
    {
        c.time[1] = (u16)(L + keys.Time(c.pBase));
        c.key[1] = keys.Value(c.pBase);
    }
    else
    {
        c.time[1] = (u16)L;
    }
}

template <class C, class R>
void HoldCursorLast(C& c, const R& keys, unsigned L)
{
    c.pData = keys.Next(c.pBase);
    c.time[0] = keys.Time(c.pBase);
    c.time[1] = (u16)L;
    c.key[0] = c.key[1] = keys.Value(keys.At(c.pBase, c.numKeys - 1));
}

// The value at t, mixed from the segment's two keys by mix(value0, value1, f).
template <class C, class Mix>
auto Interpolate(C& c, float t, unsigned short length, Mix mix)
{
    if (c.numKeys < 2)
        return c.key[0];
    float f;
    if (!Locate(c, t, length, f))
        return c.key[0];
    return mix(c.key[0], c.key[1], f);
}

}  // namespace

// --- positions

void AnimRtStreamPos::Set(AnimStream* s)
{
    SetCursor(*this, s, PosKeys(), VectorPos(v128f{0.0f, 0.0f, 0.0f, 1.0f}));
}

int AnimRtStreamPos::NextKey()
{
    return NextCursorKey(*this, PosKeys());
}

void AnimRtStreamPos::Wrap(bool looping, unsigned L)
{
    WrapCursor(*this, PosKeys(), looping, L);
}

void AnimRtStreamPos::Restart()
{
    RestartCursor(*this, PosKeys());
}

void AnimRtStreamPos::HoldLast(unsigned L)
{
    HoldCursorLast(*this, PosKeys(), L);
}

VectorPos AnimRtStreamPos::Evaluate(float t, unsigned short length)
{
    return Interpolate(*this, t, length, Lerp3<VectorPos>);
}

// --- rotations

// Rotation keys are full or compressed quaternions, by the cursor's type.
struct AnimQuatKeys
{
    const AnimRtStreamQuat& c;

    const char* Next(const char* k) const { return k + c.Stride(); }
    const char* At(const char* k, int i) const { return k + c.Stride() * i; }
    u16 Time(const char* k) const { return c.TimeOf(k); }
    Quaternion Value(const char* k) const { return c.Value(k); }
};

Quaternion AnimRtStreamQuat::Value(const char* k) const
{
    if (type == ANIM_TYPE_COMP_QUAT)
        return DecompressQuat(KeyConv32(((const AnimKeyCompQuat*)k)->x).u32);
    return ((const AnimKeyQuat*)k)->Value();
}

void AnimRtStreamQuat::Set(AnimStream* s)
{
    SetCursor(*this, s, AnimQuatKeys{*this}, Quaternion(true));
}

int AnimRtStreamQuat::NextKey()
{
    return NextCursorKey(*this, AnimQuatKeys{*this});
}

void AnimRtStreamQuat::Wrap(bool looping, unsigned L)
{
    WrapCursor(*this, AnimQuatKeys{*this}, looping, L);
}

void AnimRtStreamQuat::Restart()
{
    RestartCursor(*this, AnimQuatKeys{*this});
}

void AnimRtStreamQuat::HoldLast(unsigned L)
{
    HoldCursorLast(*this, AnimQuatKeys{*this}, L);
}

Quaternion AnimRtStreamQuat::Evaluate(float t, unsigned short length)
{
    return Interpolate(*this, t, length, SLERP);
}

// --- scale and colour

void AnimRtStreamVector3::Set(AnimStream* s)
{
    SetCursor(*this, s, DirKeys(), VectorDir(v128f{0.0f, 0.0f, 0.0f, 0.0f}));
}

int AnimRtStreamVector3::NextKey()
{
    return NextCursorKey(*this, DirKeys());
}

void AnimRtStreamVector3::Wrap(bool looping, unsigned L)
{
    WrapCursor(*this, DirKeys(), looping, L);
}

void AnimRtStreamVector3::Restart()
{
    RestartCursor(*this, DirKeys());
}

void AnimRtStreamVector3::HoldLast(unsigned L)
{
    HoldCursorLast(*this, DirKeys(), L);
}

VectorDir AnimRtStreamVector3::Evaluate(float t, unsigned short length)
{
    return Interpolate(*this, t, length, Lerp3<VectorDir>);
}

// --- zoom and near z.  The first segment always runs from the first key.

void AnimRtStreamFloat::Set(AnimStream* s)
{
    type = s->type;
    numKeys = s->numKeys;
    pBase = pData = (const AnimKeyF*)s->pKeys;
    curKey = 0;
    if (numKeys == 0)
    {
        time[0] = time[1] = 0;
        key[0] = key[1] = curEval = 0.0f;
        return;
    }
    time[0] = time[1] = pBase[0].time;
    key[0] = key[1] = curEval = KeyFloat(pBase[0].x);
    if (numKeys < 2)
        return;
    RestartCursor(*this, FloatKeys());
}

int AnimRtStreamFloat::NextKey()
{
    return NextCursorKey(*this, FloatKeys());
}

void AnimRtStreamFloat::Wrap(bool looping, unsigned L)
{
    WrapCursor(*this, FloatKeys(), looping, L);
}

void AnimRtStreamFloat::Restart()
{
    RestartCursor(*this, FloatKeys());
}

void AnimRtStreamFloat::HoldLast(unsigned L)
{
    HoldCursorLast(*this, FloatKeys(), L);
}

float AnimRtStreamFloat::Evaluate(float t, unsigned short length)
{
    return curEval = Interpolate(*this, t, length, Lerp1);
}

// --- blur

void AnimRtStreamBlur::Set(AnimStream* s)
{
    type = s->type;
    numKeys = s->numKeys;
    pBase = pData = (const AnimKeyBlur*)s->pKeys;
    curKey = 0;
    if (numKeys == 0)
    {
        time[0] = time[1] = 0;
        alpha[0] = alpha[1] = curAlpha = 0;
        scale[0] = scale[1] = 0;
        return;
    }
    time[0] = time[1] = pBase[0].time;
    alpha[0] = alpha[1] = curAlpha = pBase[0].alpha;
    scale[0] = scale[1] = pBase[0].scale;
    if (numKeys < 2)
        return;
    pData = pBase + 1;
    time[1] = pBase[1].time;
    alpha[1] = pBase[1].alpha;
    curKey = 1;
}

int AnimRtStreamBlur::NextKey()
{
    if ((int)curKey >= (int)numKeys - 1)
        return 0;
    scale[1] = pData->scale;   // the key that opens the new segment
    time[0] = time[1];
    alpha[0] = alpha[1];
    pData++;
    time[1] = pData->time;
    alpha[1] = pData->alpha;
    curKey++;
    return 1;
}

void AnimRtStreamBlur::Evaluate(float t, unsigned short length)
{
    if (numKeys < 2)
        return;
    unsigned L = length & ANIM_LEN_MASK;
    bool looping = (length & ANIM_LEN_LOOP) != 0;
    for (int guard = numKeys + 4; t > (float)time[1] && --guard >= 0;)
    {
        if (NextKey())
            continue;
        if (t >= (float)L)
        {
            pData = pBase + 1;
            time[0] = pBase[0].time;
            if (looping)
            {
                time[1] = pBase[1].time;
                alpha[0] = pBase[0].alpha;
                alpha[1] = pBase[1].alpha;
                curAlpha = 0;
                scale[0] = 0;
                scale[1] = pBase[0].scale;
            }
            else
            {
                time[1] = (u16)L;
            }
            curKey = 1;
            t -= (float)L;
            break;
        }
        scale[1] = pBase[numKeys - 1].scale;
        time[0] = time[1];
        alpha[0] = alpha[1];
        time[1] = (u16)L;
        if (looping)
            alpha[1] = pBase[0].alpha;
    }
    float t0 = (float)time[0], t1 = (float)time[1];
    if (t0 <= t && t <= t1)
    {
        float f = t1 != t0 ? (t - t0) / (t1 - t0) : 0.0f;
        scale[0] = scale[1];
        curAlpha = (u16)(int)((float)alpha[0] + ((float)alpha[1] - (float)alpha[0]) * f);
    }
}
