// Animation group file (".ANI") writer.  An AniGroup describes the file in
// memory: animations (AniChar) of bundles (AniBundle, one per animated node,
// in ascending id order) of key streams (AniStream).  WriteAni lays it out
// as the game's loader reads it, using the game's own records (AnimChar,
// AnimBundle, AnimStream and the key records), and checks the result with
// the loader's own check before handing it over.
//
// Layout: the count and the animation offsets, then each animation followed
// by its bundles, each bundle by its streams; animations and bundles start
// 4-byte aligned, streams 2-byte aligned, padding is zero: the same
// description always gives the same bytes.
#pragma once

#include <string>
#include <vector>

#include "ZevEngine2/Anim.h"
#include "ZevEngine2/AnimFile.h"

namespace tools {

// The values of a sound key: volumes and pitches in percent, distances as
// the game's scale takes them (it multiplies them by 0.8).
struct AniSound
{
    u16 sound = 0;
    float minVol = 0.0f;
    float minVolAt = 0.0f;
    float maxVol = 100.0f;
    float maxVolAt = 0.0f;
    float pitch = 100.0f;
    float randVol = 0.0f;
    float randPitch = 0.0f;
};

// One key stream.  Keys are appended with the appender of the stream's kind,
// in ascending time order (equal times allowed).  The first misuse (a key of
// another kind, a time before the previous key, a value that is not finite,
// a rotation that is not of unit length) is remembered and WriteAni reports
// it; the key is not added.
class AniStream
{
public:
    explicit AniStream(AnimType type) : type(type) {}

    AniStream& Vec(u16 time, VectorXYZ v);        // position, scale, colour
    AniStream& Rot(u16 time, Quaternion q);       // rotation; compressed for ANIM_TYPE_COMP_QUAT
    AniStream& Float(u16 time, float f);          // zoom, near z
    AniStream& Blur(u16 time, u16 alpha, u16 scale);
    AniStream& CamFX(u16 time, float focus, float radius, u16 alpha, u16 blur);
    // Instant keys.
    AniStream& Texture(u16 time, u16 index, u16 value);
    AniStream& Event(u16 time, u16 event);
    AniStream& Flag(u16 time, u16 nand, u16 xorMask);
    AniStream& Sound(u16 time, const AniSound& s);

    AnimType Type() const { return type; }
    size_t Count() const { return count; }
    // The packed key records, back to back (also what a model file's node
    // animation holds).
    const std::vector<u8>& Keys() const { return keys; }
    // Empty, or what was wrong with the first refused key.
    const std::string& Fault() const { return fault; }

private:
    bool Accept(u16 time, bool kindFits, const char* kind, bool valuesFit = true, const char* valueFault = "");
    template <class K>
    void Put(const K& key)
    {
        const u8* b = reinterpret_cast<const u8*>(&key);
        keys.insert(keys.end(), b, b + sizeof(K));
        count++;
    }

    AnimType type;
    std::vector<u8> keys;
    size_t count = 0;
    int lastTime = -1;
    std::string fault;
};

struct AniBundle
{
    u16 id = 0;   // the node animation id it drives
    std::vector<AniStream> streams;
};

struct AniChar
{
    u16 flags = 0;     // bit 0: the animation loops
    u16 length = 0;    // frames, at most 0x7FFF
    float deltaX = 0.0f, deltaY = 0.0f, deltaZ = 0.0f;
    std::vector<AniBundle> bundles;   // ascending, distinct ids
};

struct AniGroup
{
    std::vector<AniChar> chars;
};

// Writes the file.  False with a message naming the animation, bundle,
// stream and key that is wrong.
bool WriteAni(const AniGroup& group, std::vector<u8>& out, std::string& error);

}  // namespace tools
