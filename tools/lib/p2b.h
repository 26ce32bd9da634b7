// Model-file (".P2B") writer.  A P2BFile describes a model file in memory:
// nodes, models with their materials (call lists and vertex data), textures
// with their images, collision chains, node animations, the particle table,
// the format version, shadow models and occluders.  WriteP2B lays it out as
// the game's loader reads it, using the game's own records (NODE, MODEL,
// MATERIAL, Texture, the collision entries, HeaderBlock), and checks the
// result with the loader's own check before handing it over.
//
// Layout: the block directory, then the version word, nodes, models,
// textures, collisions, animations, particles, shadows and occluders, each
// block and every record that is read as quadwords starting on a 16-byte
// boundary; all padding is zero, so the same description always gives the
// same bytes.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tools/lib/texconv.h"

#include "ZevEngine2/Collision.h"
#include "ZevEngine2/modelfile.h"
#include "ZevEngine2/PS2/Model.h"

namespace tools {

// The GS TEST value a material's call list sets before its vertices.  A
// frame begins with the depth test always passing, so every material says
// how it meets the depth already drawn: nearer pixels carry larger Z, and
// the scene passes what is nearer or as near (greater or equal).  Opaque
// materials write their depth; translucent ones are tested against it but
// leave it alone (an alpha test that never passes and lets failing pixels
// write the colour only), so what lies behind them still shows after them.
constexpr u64 kTestOpaque = 0x50000;
constexpr u64 kTestTranslucent = 0x51001;

// GS register writes (value, register) for a register packet.
using GsRegs = std::vector<std::pair<u64, u32>>;

// A material's call list: command quadwords (arguments in words 0..2, the
// token in the low half of word 3) and raw data quadwords.
class CallList
{
public:
    CallList& Cmd(Tok tok, u32 x = 0, u32 y = 0, u32 z = 0);
    // A GIF-tag command and its data quadwords (the count goes in word 0).
    CallList& Giftag(const std::vector<u128>& data, bool copy = false);
    // A register packet the vector unit sends to the GS as it reaches it:
    // a GIF tag (EOP, one A+D register per loop) and its register writes.
    CallList& Registers(const GsRegs& regs);
    CallList& Raw(const u128& q);
    // Words w0..w7 of quadword i.
    u16* Words(int i) { return reinterpret_cast<u16*>(&qw[size_t(i)]); }
    int Size() const { return int(qw.size()); }

    std::vector<u128> qw;
};

struct P2BMaterial
{
    u16 desc = 0;
    u16 flags = 0;
    std::vector<u128> callList;
    std::vector<u128> data;        // vertex data: the VIF stream the drawer sends
    u16 auxvuaddr = 0;
    u16 texid = TEXID_NONE;
    u16 texvuaddr = 0;
    s16 mipmapk = 0;
    // With MTL_TINT: the tint colours; the writer puts the table in the file
    // and its offset in word 2 of call-list quadword auxvuaddr.
    std::vector<u32> tints;
};

struct P2BModel
{
    u16 flags = 0;
    u8 nAnimtex = 0;
    Sphere sphere{0.0f, 0.0f, 0.0f, 0.0f};
    Vector boxextent{0.0f, 0.0f, 0.0f, 0.0f};
    Vector compressionOffset{0.0f, 0.0f, 0.0f, 0.0f};
    std::vector<P2BMaterial> opaque;
    std::vector<P2BMaterial> translucent;
};

// A texture of the file: its record and image, or a reference to the owner's
// shared texture number `shared` (then the image is empty).
struct P2BTexture
{
    TextureImage texture;
    int shared = -1;
};

struct P2BAnimStream
{
    u16 type = 0;
    u16 numKeys = 0;
    std::vector<u8> keys;   // numKeys packed key records
};

struct P2BAnimNode
{
    u16 flags = 0;
    u16 length = 0;
    u16 id = 0;
    std::vector<P2BAnimStream> streams;
};

// A collision chain being written.  Entries follow one another 16-byte
// aligned and end with COLL_END; nested chains are placed after the chain and
// linked by their offset.
class CollisionChain
{
public:
    CollisionChain& Box(u16 id, const Cuboid& box, const CollisionChain* child = nullptr);
    CollisionChain& Ball(u16 id, const Sphere& sphere, const CollisionChain* child = nullptr);
    CollisionChain& Planes(const std::vector<Plane>& planes);
    // A triangle soup whose search tree is one leaf holding every face.
    CollisionChain& Soup(u16 faceId, const std::vector<VectorPos>& verts, const std::vector<std::array<u16, 3>>& faces);

    // The chain's bytes; offsets inside are relative to its first byte.
    // False with a message for a soup with more than 16383 faces or a face
    // naming a vertex it does not have.
    bool Bytes(std::vector<u8>& out, std::string& error) const;

private:
    struct Entry
    {
        std::vector<u8> bytes;
        std::vector<CollisionChain> child;   // the nested chain of a box or sphere (0 or 1)
    };
    std::vector<Entry> entries;
    std::string fault;   // what Bytes reports
};

struct P2BFile
{
    std::vector<NODE> nodes;
    std::vector<P2BModel> models;
    std::vector<P2BTexture> textures;
    std::vector<CollisionChain> collisions;
    std::vector<P2BAnimNode> anims;
    std::vector<PS2Part> parts;
    std::optional<u32> version;
    std::vector<P2BModel> shadows;             // only their vertex data is used
    std::vector<std::vector<VectorPos>> occluders;   // polygons

    // Appends node as the last child of parent, or as the last of the roots
    // (node 0 and its siblings) when parent < 0.  Its own links are reset.
    // Returns its index.
    int AddNode(int parent, const NODE& node);
};

// A node with the given model word at pos, turned by ang, with no links,
// collision or animation.
NODE MakeNode(u16 model, VectorPos pos = VectorPos(0, 0, 0), VectorXYZ ang = VectorXYZ(0, 0, 0), u16 extra = 0);
// A level-of-detail node (type 12) for model, switching at dist (0: default).
NODE MakeLodNode(u16 model, u16 dist = 0);
// A light node of kind (ZEVLIGHT_TYPE): colour bytes, intensity (128: the
// colour as given), range below 16 and cone angle below 2 radians.  False
// with a message when they do not fit the node's fields.
bool MakeLightNode(int kind, Colour colour, float intensity, float range, float cone, VectorPos pos,
                   VectorXYZ ang, NODE& out, std::string& error);

// A quadword from four 32-bit words.
u128 Quad(u32 x, u32 y, u32 z, u32 w);

// The last value the register packets of a call list write to GS register
// reg, or nothing when none does.
std::optional<u64> RegisterIn(const std::vector<u128>& callList, u32 reg);
// Changes every write to reg in the call list's register packets to value;
// false when there is none.
bool SetRegisterIn(std::vector<u128>& callList, u32 reg, u64 value);

// Writes the file.  False with a message naming what is wrong (and, for a
// file the loader would refuse, the loader's reason).
bool WriteP2B(const P2BFile& file, std::vector<u8>& out, std::string& error);

}  // namespace tools
