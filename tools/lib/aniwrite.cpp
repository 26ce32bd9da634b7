// The animation group file writer.
// Standard headers come before the game's, whose common header renames the
// C library's heap and printing functions for game code.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "tools/lib/aniwrite.h"

namespace tools {

// The records written here are the game's own; their sizes are the format.
static_assert(sizeof(AnimChar) == 20 && sizeof(AnimBundle) == 4 && sizeof(AnimStream) == 4 && sizeof(AnimGroup) == 4);
static_assert(sizeof(AnimKeyF) == 6 && sizeof(AnimKeyF3) == 14 && sizeof(AnimKeyF4) == 18);
static_assert(sizeof(AnimKeyBlur) == 6 && sizeof(AnimKeyCamFX) == 14);
static_assert(sizeof(AnimKeyTexture) == 8 && sizeof(AnimKeyEvent) == 6 && sizeof(AnimKeyFlag) == 8 &&
              sizeof(AnimKeySound) == 34);

namespace {

// A rotation key must be a unit quaternion to within this much of its
// squared length: the compressed form rebuilds one component from the others.
constexpr float kUnitSlack = 1e-3f;

void PutFloat(char* field, float f)
{
    std::memcpy(field, KeyConv32(f).c, 4);
}

bool Finite(VectorXYZ v)
{
    return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

const char* TypeName(AnimType t)
{
    static const char* const names[ANIM_TYPE_TOTAL] = {"position", "rotation", "compressed rotation", "scale",
                                                       "zoom", "colour", "blur", "camera effect", "instant",
                                                       "near z"};
    return t >= 0 && t < ANIM_TYPE_TOTAL ? names[t] : "unknown";
}

std::string Num(size_t v)
{
    return std::to_string(v);
}

class Out
{
public:
    size_t Align(size_t a)
    {
        bytes.resize((bytes.size() + a - 1) / a * a, 0);
        return bytes.size();
    }
    size_t Put(const void* p, size_t n)
    {
        size_t at = bytes.size();
        const u8* b = static_cast<const u8*>(p);
        bytes.insert(bytes.end(), b, b + n);
        return at;
    }
    size_t Reserve(size_t n)
    {
        size_t at = bytes.size();
        bytes.resize(at + n, 0);
        return at;
    }
    void Set32(size_t at, u32 v) { std::memcpy(bytes.data() + at, &v, 4); }

    std::vector<u8> bytes;
};

}  // namespace

bool AniStream::Accept(u16 time, bool kindFits, const char* kind, bool valuesFit, const char* valueFault)
{
    if (!fault.empty())
        return false;
    std::string where = "key " + Num(count) + " at time " + Num(time) + ": ";
    if (!kindFits)
        fault = where + "a " + kind + " key does not belong in a " + TypeName(type) + " stream";
    else if ((int)time < lastTime)
        fault = where + "time is before the previous key's " + Num(size_t(lastTime));
    else if (count >= 0xFFFF)
        fault = where + "a stream holds at most 65535 keys";
    else if (!valuesFit)
        fault = where + valueFault;
    else
    {
        lastTime = time;
        return true;
    }
    return false;
}

AniStream& AniStream::Vec(u16 time, VectorXYZ v)
{
    bool fits = type == ANIM_TYPE_POS || type == ANIM_TYPE_SCALE || type == ANIM_TYPE_COLOUR;
    if (Accept(time, fits, "vector", Finite(v), "the vector is not finite"))
    {
        AnimKeyF3 k{};
        k.time = time;
        PutFloat(k.x, v[0]);
        PutFloat(k.y, v[1]);
        PutFloat(k.z, v[2]);
        Put(k);
    }
    return *this;
}

AniStream& AniStream::Rot(u16 time, Quaternion q)
{
    bool fits = type == ANIM_TYPE_QUAT || type == ANIM_TYPE_COMP_QUAT;
    bool finite = Finite(q.xyz()) && std::isfinite(q[3]);
    bool unit = finite && std::fabs(Dot(q, q) - 1.0f) <= kUnitSlack;
    if (Accept(time, fits, "rotation", unit, finite ? "the quaternion is not of unit length" : "the quaternion is not finite"))
    {
        if (type == ANIM_TYPE_COMP_QUAT)
        {
            AnimKeyCompQuat k{};
            k.time = time;
            std::memcpy(k.x, KeyConv32(CompressQuat(q)).c, 4);
            Put(k);
        }
        else
        {
            AnimKeyQuat k{};
            k.time = time;
            PutFloat(k.x, q[0]);
            PutFloat(k.y, q[1]);
            PutFloat(k.z, q[2]);
            PutFloat(k.w, q[3]);
            Put(k);
        }
    }
    return *this;
}

AniStream& AniStream::Float(u16 time, float f)
{
    bool fits = type == ANIM_TYPE_ZOOM || type == ANIM_TYPE_NEARZ;
    if (Accept(time, fits, "float", std::isfinite(f), "the value is not finite"))
    {
        AnimKeyF k{};
        k.time = time;
        PutFloat(k.x, f);
        Put(k);
    }
    return *this;
}

AniStream& AniStream::Blur(u16 time, u16 alpha, u16 scale)
{
    if (Accept(time, type == ANIM_TYPE_BLUR, "blur"))
        Put(AnimKeyBlur{time, alpha, scale});
    return *this;
}

AniStream& AniStream::CamFX(u16 time, float focus, float radius, u16 alpha, u16 blur)
{
    if (Accept(time, type == ANIM_TYPE_CAMFX, "camera effect", std::isfinite(focus) && std::isfinite(radius),
               "focus or radius is not finite"))
    {
        AnimKeyCamFX k{};
        k.time = time;
        PutFloat(k.focus, focus);
        PutFloat(k.radius, radius);
        k.alpha = alpha;
        k.blur = blur;
        Put(k);
    }
    return *this;
}

AniStream& AniStream::Texture(u16 time, u16 index, u16 value)
{
    // The game's objects hold 14 texture choices.
    if (Accept(time, type == ANIM_TYPE_INSTANT, "texture", (index & 0x7FFF) < 14,
               "the texture choice index is not below 14"))
        Put(AnimKeyTexture{time, ANIM_INSTANT_TEXTURE, index, value});
    return *this;
}

AniStream& AniStream::Event(u16 time, u16 event)
{
    if (Accept(time, type == ANIM_TYPE_INSTANT, "event"))
        Put(AnimKeyEvent{time, ANIM_INSTANT_EVENT, event});
    return *this;
}

AniStream& AniStream::Flag(u16 time, u16 nand, u16 xorMask)
{
    if (Accept(time, type == ANIM_TYPE_INSTANT, "flag"))
        Put(AnimKeyFlag{time, ANIM_INSTANT_FLAG, nand, xorMask});
    return *this;
}

AniStream& AniStream::Sound(u16 time, const AniSound& s)
{
    bool finite = std::isfinite(s.minVol) && std::isfinite(s.minVolAt) && std::isfinite(s.maxVol) &&
                  std::isfinite(s.maxVolAt) && std::isfinite(s.pitch) && std::isfinite(s.randVol) &&
                  std::isfinite(s.randPitch);
    if (Accept(time, type == ANIM_TYPE_INSTANT, "sound", finite, "a volume, distance or pitch is not finite"))
    {
        AnimKeySound k{};
        k.time = time;
        k.type = ANIM_INSTANT_SOUND;
        k.sound = s.sound;
        PutFloat(k.minVol, s.minVol);
        PutFloat(k.minVolAt, s.minVolAt);
        PutFloat(k.maxVol, s.maxVol);
        PutFloat(k.maxVolAt, s.maxVolAt);
        PutFloat(k.pitch, s.pitch);
        PutFloat(k.randVol, s.randVol);
        PutFloat(k.randPitch, s.randPitch);
        Put(k);
    }
    return *this;
}

bool WriteAni(const AniGroup& group, std::vector<u8>& result, std::string& error)
{
    if (group.chars.size() > 0x7FFFFFFF)
    {
        error = "too many animations";
        return false;
    }
    Out out;
    s32 count = s32(group.chars.size());
    out.Put(&count, 4);
    size_t table = out.Reserve(4 * group.chars.size());

    for (size_t i = 0; i < group.chars.size(); ++i) {
        const AniChar& c = group.chars[i];
        std::string where = "animation " + Num(i);
        if (c.length > ANIM_LEN_MASK) {
            error = where + ": length " + Num(c.length) + " is above 32767 frames";
            return false;
        }
        if (!std::isfinite(c.deltaX) || !std::isfinite(c.deltaY) || !std::isfinite(c.deltaZ)) {
            error = where + ": its delta is not finite";
            return false;
        }
        for (size_t j = 1; j < c.bundles.size(); ++j) {
            if (c.bundles[j].id <= c.bundles[j - 1].id) {
                error = where + ", bundle " + Num(j) + ": id " + Num(c.bundles[j].id) +
                        " does not follow the previous bundle's " + Num(c.bundles[j - 1].id) +
                        " (ids must ascend)";
                return false;
            }
        }

        size_t at = out.Align(4);
        out.Set32(table + 4 * i, u32(at));
        AnimChar head{};
        head.flags = c.flags;
        head.length = c.length;
        head.deltaX = c.deltaX;
        head.deltaY = c.deltaY;
        head.deltaZ = c.deltaZ;
        head.numBundles = u32(c.bundles.size());
        out.Put(&head, sizeof(AnimChar));
        size_t bundles = out.Reserve(4 * c.bundles.size());

        for (size_t j = 0; j < c.bundles.size(); ++j) {
            const AniBundle& b = c.bundles[j];
            std::string bwhere = where + ", bundle " + Num(j) + " (id " + Num(b.id) + ")";
            if (b.streams.size() > 0xFFFF) {
                error = bwhere + ": more than 65535 streams";
                return false;
            }
            size_t bat = out.Align(4);
            out.Set32(bundles + 4 * j, u32(bat - at));
            AnimBundle bhead{};
            bhead.id = b.id;
            bhead.numStreams = u16(b.streams.size());
            out.Put(&bhead, sizeof(AnimBundle));
            size_t streams = out.Reserve(4 * b.streams.size());

            for (size_t k = 0; k < b.streams.size(); ++k) {
                const AniStream& s = b.streams[k];
                if (!s.Fault().empty()) {
                    error = bwhere + ", stream " + Num(k) + " (" + TypeName(s.Type()) + "), " + s.Fault();
                    return false;
                }
                size_t sat = out.Align(2);
                out.Set32(streams + 4 * k, u32(sat - bat));
                AnimStream shead{};
                shead.type = u16(s.Type());
                shead.numKeys = u16(s.Count());
                out.Put(&shead, sizeof(AnimStream));
                out.Put(s.Keys().data(), s.Keys().size());
            }
        }
    }

    char why[256];
    if (!AnimGroup::Check(out.bytes.data(), u32(out.bytes.size()), why)) {
        error = std::string("the written file would be refused: ") + why;
        return false;
    }
    result = std::move(out.bytes);
    return true;
}

}  // namespace tools
