// The model-file writer.
// Standard headers come before the game's, whose common header renames the
// C library's heap and printing functions for game code.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "tools/lib/p2b.h"

#include "ZevEngine2/PS2/Packet.h"

namespace tools {

// The records written here are the game's own; their sizes are the format.
static_assert(sizeof(HeaderBlock) == 8 && sizeof(NODE) == 48 && sizeof(MODEL) == 80 && sizeof(MATERIAL) == 24);
static_assert(sizeof(Texture) == 40 && sizeof(PS2Part) == 8);
static_assert(sizeof(CollBox) == 48 && sizeof(CollSphere) == 32 && sizeof(CollPlanes) == 16 && sizeof(SoupFace) == 8);

namespace {

// The file being laid out.
class Out
{
public:
    size_t Align(size_t a = 16)
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
    void Set(size_t at, const void* p, size_t n) { std::memcpy(bytes.data() + at, p, n); }
    void Set32(size_t at, u32 v) { Set(at, &v, 4); }
    u32 Here() const { return u32(bytes.size()); }

    std::vector<u8> bytes;
};

std::string Num(size_t v)
{
    return std::to_string(v);
}

struct Block
{
    u16 type;
    u16 count;
    u32 data;
};

bool CheckCount(size_t n, size_t max, const char* what, std::string& error)
{
    if (n <= max)
        return true;
    error = std::string("too many ") + what + ": " + Num(n) + " (at most " + Num(max) + ")";
    return false;
}

// A model table and its models; returns false with a message.
bool WriteModels(Out& out, const std::vector<P2BModel>& models, bool shadow, u32& table, std::string& error)
{
    const char* what = shadow ? "shadow model" : "model";
    table = u32(out.Align());
    out.Reserve(4 * models.size());
    for (size_t i = 0; i < models.size(); ++i) {
        const P2BModel& pm = models[i];
        if (pm.opaque.size() > 255 || pm.translucent.size() > 255) {
            error = std::string(what) + " " + Num(i) + " has more than 255 opaque or translucent materials";
            return false;
        }
        alignas(16) u8 head[sizeof(MODEL)] = {};
        MODEL* m = reinterpret_cast<MODEL*>(head);
        m->flags = pm.flags;
        m->nAnimtex = pm.nAnimtex;
        m->nMaterials = u8(pm.opaque.size() + pm.translucent.size());
        m->sphere = pm.sphere;
        m->boxextent = pm.boxextent;
        m->compressionOffset = pm.compressionOffset;
        m->nOpaque = u8(pm.opaque.size());
        m->nTranslucent = u8(pm.translucent.size());
        u32 at = u32(out.Align());
        out.Set32(table + 4 * i, at - table);
        out.Put(head, sizeof head);
        size_t mtlAt = out.Reserve(sizeof(MATERIAL) * m->NumMaterials());

        std::vector<const P2BMaterial*> mats;
        for (const P2BMaterial& pmt : pm.opaque)
            mats.push_back(&pmt);
        for (const P2BMaterial& pmt : pm.translucent)
            mats.push_back(&pmt);
        for (size_t j = 0; j < mats.size(); ++j) {
            const P2BMaterial& src = *mats[j];
            std::string where = std::string(what) + " " + Num(i) + " material " + Num(j);
            if (src.callList.size() > 0xFFFF || src.data.size() > 0xFFFF) {
                error = where + ": call list or vertex data longer than 65535 quadwords";
                return false;
            }
            MATERIAL mt = {};
            mt.desc = src.desc;
            mt.flags = src.flags;
            mt.dataNumQw = u16(src.data.size());
            mt.auxvuaddr = src.auxvuaddr;
            mt.texid = src.texid;
            mt.texvuaddr = src.texvuaddr;
            mt.mipmapk = src.mipmapk;
            if (!shadow) {
                mt.callListNumQw = u16(src.callList.size());
                mt.callList = u32(out.Align());
                out.Put(src.callList.data(), 16 * src.callList.size());
            }
            mt.data = u32(out.Align());
            out.Put(src.data.data(), 16 * src.data.size());
            if (!shadow && (src.flags & MTL_TINT)) {
                if (src.tints.empty() || src.auxvuaddr >= src.callList.size()) {
                    error = where + ": a tinted material needs tint colours and its tint quadword in the call list";
                    return false;
                }
                u32 tintAt = u32(out.Align());
                out.Put(src.tints.data(), 4 * src.tints.size());
                out.Set32(mt.callList + 16 * src.auxvuaddr + 8, tintAt);
            }
            out.Set(mtlAt + sizeof(MATERIAL) * j, &mt, sizeof mt);
        }
    }
    return true;
}

bool WriteTextures(Out& out, const std::vector<P2BTexture>& textures, u32& array, std::string& error)
{
    array = u32(out.Align());
    out.Reserve(sizeof(Texture) * textures.size());
    for (size_t i = 0; i < textures.size(); ++i) {
        const P2BTexture& t = textures[i];
        Texture rec = t.texture.record;
        rec.refcount = 0;
        s32 data;
        if (t.shared >= 0) {
            if (!t.texture.image.empty()) {
                error = "texture " + Num(i) + " names shared texture " + Num(size_t(t.shared)) + " and has an image";
                return false;
            }
            data = -t.shared - 1;
        } else {
            data = s32(out.Align() - array);
            out.Put(t.texture.image.data(), t.texture.image.size());
        }
        rec.data = reinterpret_cast<void*>(intptr_t(data));
        out.Set(array + sizeof(Texture) * i, &rec, sizeof rec);
    }
    return true;
}

bool WriteCollisions(Out& out, const std::vector<CollisionChain>& chains, u32& table, std::string& error)
{
    table = u32(out.Align());
    out.Reserve(4 * chains.size());
    for (size_t i = 0; i < chains.size(); ++i) {
        std::vector<u8> bytes;
        if (!chains[i].Bytes(bytes, error)) {
            error = "collision " + Num(i) + ": " + error;
            return false;
        }
        u32 at = u32(out.Align());
        out.Set32(table + 4 * i, at - table);
        out.Put(bytes.data(), bytes.size());
    }
    return true;
}

bool WriteAnims(Out& out, const std::vector<P2BAnimNode>& anims, u32& table, std::string& error)
{
    table = u32(out.Align());
    out.Reserve(4 * anims.size());
    for (size_t i = 0; i < anims.size(); ++i) {
        const P2BAnimNode& a = anims[i];
        if (a.streams.size() > 0xFFFF) {
            error = "animation " + Num(i) + " has more than 65535 streams";
            return false;
        }
        u32 at = u32(out.Align());
        out.Set32(table + 4 * i, at - table);
        u16 head[4] = {a.flags, a.length, a.id, u16(a.streams.size())};
        out.Put(head, sizeof head);
        size_t offsets = out.Reserve(4 * a.streams.size());
        for (size_t s = 0; s < a.streams.size(); ++s) {
            const P2BAnimStream& st = a.streams[s];
            u32 streamAt = u32(out.Align(4));
            out.Set32(offsets + 4 * s, streamAt - (at + 4));   // from the bundle
            u16 sh[2] = {st.type, st.numKeys};
            out.Put(sh, sizeof sh);
            out.Put(st.keys.data(), st.keys.size());
        }
    }
    return true;
}

void WriteOccluders(Out& out, const std::vector<std::vector<VectorPos>>& polygons, u32& at)
{
    at = u32(out.Align());
    for (const std::vector<VectorPos>& poly : polygons) {
        for (size_t c = 0; c < poly.size(); ++c) {
            float corner[4] = {poly[c][0], poly[c][1], poly[c][2], 0.0f};
            // The first corner's w word holds the polygon's corner count.
            u32 n = c == 0 ? u32(poly.size()) : 0;
            std::memcpy(&corner[3], &n, 4);
            out.Put(corner, sizeof corner);
        }
    }
}

void Append(std::vector<u8>& out, const void* p, size_t n)
{
    const u8* b = static_cast<const u8*>(p);
    out.insert(out.end(), b, b + n);
}

void Pad16(std::vector<u8>& out)
{
    out.resize((out.size() + 15) & ~size_t(15), 0);
}

}  // namespace

// ---------------------------------------------------------------------------
// Call lists and small records

u128 Quad(u32 x, u32 y, u32 z, u32 w)
{
    u128 q;
    u32 words[4] = {x, y, z, w};
    std::memcpy(&q, words, 16);
    return q;
}

CallList& CallList::Cmd(Tok tok, u32 x, u32 y, u32 z)
{
    qw.push_back(Quad(x, y, z, u32(tok)));
    return *this;
}

CallList& CallList::Giftag(const std::vector<u128>& data, bool copy)
{
    Cmd(copy ? tokGiftagCopy : tokGiftag, u32(data.size()));
    qw.insert(qw.end(), data.begin(), data.end());
    return *this;
}

CallList& CallList::Registers(const GsRegs& regs)
{
    constexpr u32 kEop = 0x8000, kOneReg = 0x10000000;
    qw.push_back(Quad(u32(regs.size()) | kEop, kOneReg, GS_AD, u32(tokGiftag)));
    for (const auto& [value, reg] : regs)
        qw.push_back(Quad(u32(value), u32(value >> 32), reg, 0));
    return *this;
}

namespace {

// Calls f(quadword) for every register write of the call list's register
// packets.
template <class List, class F>
void ForEachRegister(List& callList, F f)
{
    for (size_t i = 0; i < callList.size(); ++i) {
        u32 w[4];
        std::memcpy(w, &callList[i], sizeof w);
        const u32 tok = w[3] & 0xFFFF;
        if (tok != u32(tokGiftag) && tok != u32(tokGiftagCopy))
            continue;
        const size_t n = w[0] & 0x7FFF;
        for (size_t k = 1; k <= n && i + k < callList.size(); ++k)
            f(callList[i + k]);
        i += n;
    }
}

}  // namespace

std::optional<u64> RegisterIn(const std::vector<u128>& callList, u32 reg)
{
    std::optional<u64> found;
    ForEachRegister(callList, [&](const u128& q) {
        u32 w[4];
        std::memcpy(w, &q, sizeof w);
        if (w[2] == reg)
            found = u64(w[0]) | u64(w[1]) << 32;
    });
    return found;
}

bool SetRegisterIn(std::vector<u128>& callList, u32 reg, u64 value)
{
    bool set = false;
    ForEachRegister(callList, [&](u128& q) {
        u32 w[4];
        std::memcpy(w, &q, sizeof w);
        if (w[2] != reg)
            return;
        q = Quad(u32(value), u32(value >> 32), reg, 0);
        set = true;
    });
    return set;
}

CallList& CallList::Raw(const u128& q)
{
    qw.push_back(q);
    return *this;
}

NODE MakeNode(u16 model, VectorPos pos, VectorXYZ ang, u16 extra)
{
    NODE n{};
    n.model = model;
    n.collision = 0xFFFF;
    n.animation = 0xFFFF;
    n.sibling = 0xFFFF;
    n.child = 0xFFFF;
    n.extra = extra;
    n.pos = Vector(pos, 0.0f);
    n.ang = Vector(ang, 0.0f);
    return n;
}

NODE MakeLodNode(u16 model, u16 dist)
{
    return MakeNode(u16((model & MDL_MODELMASK) | NODETYPE_LOD << 12), VectorPos(0, 0, 0), VectorXYZ(0, 0, 0), dist);
}

bool MakeLightNode(int kind, Colour colour, float intensity, float range, float cone, VectorPos pos,
                   VectorXYZ ang, NODE& out, std::string& error)
{
    if (kind < 0 || MDL_LIGHT + kind > MDL_LIGHT_LAST) {
        error = "light kind " + std::to_string(kind) + " has no light node";
        return false;
    }
    float r = range * 4096.0f + 0.5f;
    float c = cone * 32768.0f + 0.5f;
    if (!(r >= 0.0f && r < 65536.0f) || !(c >= 0.0f && c < 65536.0f)) {
        error = "light range " + std::to_string(range) + " or cone " + std::to_string(cone) +
                " does not fit a light node (range below 16, cone below 2 radians)";
        return false;
    }
    out = MakeNode(u16(MDL_LIGHT + kind), pos, ang);
    out.pos.setwcomponent(int(colour.Word()));
    out.ang.setw(intensity);
    out.extra2 = u32(r) | u32(c) << 16;
    return true;
}

int P2BFile::AddNode(int parent, const NODE& node)
{
    int index = int(nodes.size());
    nodes.push_back(node);
    nodes.back().sibling = 0xFFFF;
    nodes.back().child = 0xFFFF;
    int last;
    if (parent >= 0) {
        if (nodes[size_t(parent)].child == 0xFFFF) {
            nodes[size_t(parent)].child = u16(index);
            return index;
        }
        last = nodes[size_t(parent)].child;
    } else {
        if (index == 0)
            return index;
        last = 0;
    }
    while (nodes[size_t(last)].sibling != 0xFFFF)
        last = nodes[size_t(last)].sibling;
    nodes[size_t(last)].sibling = u16(index);
    return index;
}

// ---------------------------------------------------------------------------
// Collision chains

CollisionChain& CollisionChain::Box(u16 id, const Cuboid& box, const CollisionChain* child)
{
    CollBox b;
    std::memset(&b, 0, sizeof b);
    b.type = COLL_BOX;
    b.id = id;
    b.box = box;
    Entry e;
    Append(e.bytes, &b, sizeof b);
    if (child != nullptr)
        e.child.push_back(*child);
    entries.push_back(std::move(e));
    return *this;
}

CollisionChain& CollisionChain::Ball(u16 id, const Sphere& sphere, const CollisionChain* child)
{
    CollSphere s;
    std::memset(&s, 0, sizeof s);
    s.type = COLL_SPHERE;
    s.id = id;
    s.sphere = sphere;
    Entry e;
    Append(e.bytes, &s, sizeof s);
    if (child != nullptr)
        e.child.push_back(*child);
    entries.push_back(std::move(e));
    return *this;
}

CollisionChain& CollisionChain::Planes(const std::vector<Plane>& planes)
{
    CollPlanes p;
    std::memset(&p, 0, sizeof p);
    p.type = COLL_PLANES;
    p.count = u16(planes.size());
    Entry e;
    Append(e.bytes, &p, sizeof p);
    for (const Plane& pl : planes)
        Append(e.bytes, &pl, sizeof pl);
    entries.push_back(std::move(e));
    return *this;
}

CollisionChain& CollisionChain::Soup(u16 faceId, const std::vector<VectorPos>& verts,
                                     const std::vector<std::array<u16, 3>>& faces)
{
    if (faces.size() > 0x3FFF || verts.size() > 0xFFFF) {
        fault = "a soup of " + Num(faces.size()) + " faces and " + Num(verts.size()) + " vertices is too large";
        return *this;
    }
    for (const std::array<u16, 3>& f : faces) {
        if (f[0] >= verts.size() || f[1] >= verts.size() || f[2] >= verts.size()) {
            fault = "a soup face names a vertex beyond its " + Num(verts.size());
            return *this;
        }
    }
    Entry e;
    // Head, then the tree: one leaf naming every face.
    e.bytes.assign(12, 0);
    u16 leaf = u16(faces.size() << 2);
    Append(e.bytes, &leaf, 2);
    for (size_t f = 0; f < faces.size(); ++f) {
        u16 idx = u16(f);
        Append(e.bytes, &idx, 2);
    }
    Pad16(e.bytes);
    u32 faceOffset = u32(e.bytes.size());
    for (const std::array<u16, 3>& f : faces) {
        SoupFace sf = {faceId, {f[0], f[1], f[2]}};
        Append(e.bytes, &sf, sizeof sf);
    }
    Pad16(e.bytes);
    u32 vertOffset = u32(e.bytes.size());
    for (const VectorPos& v : verts) {
        float p[4] = {v[0], v[1], v[2], 1.0f};
        Append(e.bytes, p, sizeof p);
    }
    u16 head[2] = {COLL_SOUP, u16(verts.size())};
    std::memcpy(e.bytes.data(), head, 4);
    std::memcpy(e.bytes.data() + 4, &faceOffset, 4);
    std::memcpy(e.bytes.data() + 8, &vertOffset, 4);
    entries.push_back(std::move(e));
    return *this;
}

bool CollisionChain::Bytes(std::vector<u8>& out, std::string& error) const
{
    if (!fault.empty()) {
        error = fault;
        return false;
    }
    out.clear();
    std::vector<size_t> at(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        Pad16(out);
        at[i] = out.size();
        Append(out, entries[i].bytes.data(), entries[i].bytes.size());
    }
    Pad16(out);
    u16 end = COLL_END;
    Append(out, &end, 2);
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].child.empty())
            continue;
        std::vector<u8> child;
        if (!entries[i].child[0].Bytes(child, error))
            return false;
        Pad16(out);
        u32 offset = u32(out.size() - at[i]);
        std::memcpy(out.data() + at[i] + 4, &offset, 4);
        Append(out, child.data(), child.size());
    }
    Pad16(out);
    return true;
}

// ---------------------------------------------------------------------------
// The file

bool WriteP2B(const P2BFile& file, std::vector<u8>& result, std::string& error)
{
    if (!CheckCount(file.nodes.size(), 0x7FFF, "nodes", error) ||
        !CheckCount(file.models.size(), 0x7FFF, "models", error) ||
        !CheckCount(file.textures.size(), 0x7FFF, "textures", error) ||
        !CheckCount(file.occluders.size(), 0x7FFF, "occluders", error) ||
        !CheckCount(file.collisions.size(), 0xFFFF, "collisions", error) ||
        !CheckCount(file.anims.size(), 0xFFFF, "animations", error) ||
        !CheckCount(file.parts.size(), 0xFFFF, "particle entries", error) ||
        !CheckCount(file.shadows.size(), 0xFFFF, "shadow models", error))
        return false;
    for (size_t i = 0; i < file.occluders.size(); ++i) {
        if (file.occluders[i].empty()) {
            error = "occluder " + Num(i) + " has no corners";
            return false;
        }
    }

    // Which blocks there are, in the order they are written.
    std::vector<Block> blocks;
    auto want = [&](bool present, u16 type, size_t count) {
        if (present)
            blocks.push_back(Block{type, u16(count), 0});
    };
    want(file.version.has_value(), EX5_BLOCK_VERSION, 1);
    want(!file.nodes.empty(), EX5_BLOCK_NODE, file.nodes.size());
    want(!file.models.empty(), EX5_BLOCK_MODEL, file.models.size());
    want(!file.textures.empty(), EX5_BLOCK_TEXTURE, file.textures.size());
    want(!file.collisions.empty(), EX5_BLOCK_COLLISION, file.collisions.size());
    want(!file.anims.empty(), EX5_BLOCK_ANIM, file.anims.size());
    want(!file.parts.empty(), EX5_BLOCK_PARTICLE, file.parts.size());
    want(!file.shadows.empty(), EX5_BLOCK_SHADOW, file.shadows.size());
    want(!file.occluders.empty(), EX5_BLOCK_OCCLUDER, file.occluders.size());

    Out out;
    u32 count = u32(blocks.size());
    out.Put(&count, 4);
    out.Reserve(sizeof(HeaderBlock) * blocks.size());
    for (Block& b : blocks) {
        switch (b.type) {
        case EX5_BLOCK_VERSION:
            b.data = u32(out.Align());
            out.Put(&*file.version, 4);
            break;
        case EX5_BLOCK_NODE:
            b.data = u32(out.Align());
            out.Put(file.nodes.data(), sizeof(NODE) * file.nodes.size());
            break;
        case EX5_BLOCK_MODEL:
            if (!WriteModels(out, file.models, false, b.data, error))
                return false;
            break;
        case EX5_BLOCK_TEXTURE:
            if (!WriteTextures(out, file.textures, b.data, error))
                return false;
            break;
        case EX5_BLOCK_COLLISION:
            if (!WriteCollisions(out, file.collisions, b.data, error))
                return false;
            break;
        case EX5_BLOCK_ANIM:
            if (!WriteAnims(out, file.anims, b.data, error))
                return false;
            break;
        case EX5_BLOCK_PARTICLE:
            b.data = u32(out.Align());
            out.Put(file.parts.data(), sizeof(PS2Part) * file.parts.size());
            break;
        case EX5_BLOCK_SHADOW:
            if (!WriteModels(out, file.shadows, true, b.data, error))
                return false;
            break;
        case EX5_BLOCK_OCCLUDER:
            WriteOccluders(out, file.occluders, b.data);
            break;
        default:
            break;
        }
    }
    out.Align();
    for (size_t i = 0; i < blocks.size(); ++i) {
        HeaderBlock hb = {blocks[i].type, blocks[i].count, blocks[i].data};
        out.Set(4 + sizeof(HeaderBlock) * i, &hb, sizeof hb);
    }

    // The loader's own check, on a 16-byte aligned copy.
    std::vector<u128> copy((out.bytes.size() + 15) / 16);
    std::memcpy(copy.data(), out.bytes.data(), out.bytes.size());
    char why[256] = {};
    if (!MDLFILE::Check(reinterpret_cast<const ModelHeader*>(copy.data()), u32(out.bytes.size()), why)) {
        error = std::string("the file would be refused by the loader: ") + why;
        return false;
    }
    result = std::move(out.bytes);
    return true;
}

}  // namespace tools
