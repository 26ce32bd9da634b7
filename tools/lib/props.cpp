// Writers of the city's props.
#include "tools/lib/props.h"

#include <cmath>
#include <cstring>

#include "tools/lib/aniwrite.h"
#include "tools/lib/p2b_sample.h"

#include "game/CityObjects.h"

namespace tools {

bool WriteP2BWithParams(P2BFile file, const std::vector<NodeParams>& params, std::vector<u8>& out,
                        std::string& error)
{
    // The blocks go after the file as written without them; the nodes'
    // offsets do not change its size.
    std::vector<u8> plain;
    if (!WriteP2B(file, plain, error))
        return false;
    size_t at = (plain.size() + 15) & ~size_t(15);
    std::vector<size_t> where;
    for (const NodeParams& p : params) {
        if (p.node < 0 || size_t(p.node) >= file.nodes.size()) {
            error = "a parameter block for node " + std::to_string(p.node) + ", which the file does not have";
            return false;
        }
        file.nodes[size_t(p.node)].extra2 = u32(at);
        where.push_back(at);
        at = (at + p.bytes.size() + 15) & ~size_t(15);
    }
    if (!WriteP2B(file, out, error))
        return false;
    out.resize(at, 0);
    for (size_t i = 0; i < params.size(); i++)
        std::memcpy(out.data() + where[i], params[i].bytes.data(), params[i].bytes.size());
    return true;
}

std::vector<u8> EntityParamBytes(u8 type, s32 delay, float force, u16 persist, u8 persistas)
{
    FX_Debris_params p{};
    p.type = type;
    p.delay = delay;
    p.force = force;
    p.persist = persist;
    p.persistas = persistas;
    std::vector<u8> bytes(sizeof p);
    std::memcpy(bytes.data(), &p, sizeof p);
    return bytes;
}

std::vector<u8> ExteriorParamBytes(u16 exttype, u32 colourWord, float radius, u16 strength)
{
    ExteriorSpecific_params p{};
    p.exttype = exttype;
    std::memcpy(p.color, &colourWord, 4);
    p.radius = radius;
    p.strength = strength;
    std::vector<u8> bytes(sizeof p);
    std::memcpy(bytes.data(), &p, sizeof p);
    return bytes;
}

namespace {

constexpr u16 KIND_LIGHTS_AND_SIGNS = 14, KIND_BENCH = 42, KIND_TREE = 271;
constexpr u16 EXT_TRAFFIC = 1, EXT_STREETLIGHT = 2, EXT_SIGN = 4;
constexpr u16 LAMP_RED = 0x8001, LAMP_AMBER = 0x8002, LAMP_GREEN = 0x8003;
// A lamp's lens: out of the housing while lit, inside it while dark.
constexpr float kLensOut = 0.15f, kLensIn = 0.05f;
// The animation times of the lamp states, and the animation's length.
constexpr u16 kLampFrameRed = 0, kLampFrameGreen = 2, kLampFrameAmber = 4, kLampFrames = 6;
constexpr u16 RECORD = 0xF000;        // an explosion record naming its destroyed model
constexpr u16 GEYSER = 0x8462;        // a water geyser effect
constexpr u16 BURST_SOUND = 0x9210;   // a destruction sound
constexpr u16 ENTITY_DEBRIS = 3;      // an entity node's kind: a flying piece

// A street light's lamp: warm white, reaching 12 units.
constexpr u32 kLampColour = 0x80A0C0E0;
constexpr float kLampRange = 12.0f;

NODE Node(u16 model, VectorPos pos = VectorPos(0, 0, 0), u16 extra = 0)
{
    return MakeNode(model, pos, VectorXYZ(0, 0, 0), extra);
}

Colour Grey(u8 v) { return Colour(v, v, v, 128); }

// The pole of lights and signs: half height 2.5, its head at the top.
constexpr float kPoleHalf = 2.5f;

// Lamp nodes red, amber, green on the +x and -x faces of a head at `top`,
// each a lens that stands out of the housing (half width 0.12) while its
// lamp is lit and sinks inside it while dark.  The model's animation frames
// are the lamp states: red lit at time 0, green at 2, amber at 4; the light
// poses its lamps at one of these times and holds them there.
void AddLamps(P2BFile& f, float top)
{
    struct Lamp
    {
        u16 id;
        float dy;
        Colour lens;
        u16 litAt;
    };
    const Lamp lamps[3] = {{LAMP_RED, 0.0f, Colour(255, 40, 30, 128), kLampFrameRed},
                           {LAMP_AMBER, 0.2f, Colour(255, 170, 20, 128), kLampFrameAmber},
                           {LAMP_GREEN, 0.4f, Colour(40, 255, 90, 128), kLampFrameGreen}};
    // Unlit models: a lens shows its full colour at any hour.
    for (const Lamp& l : lamps)
        f.models.push_back(BoxModel(0.05f, 0.07f, 0.07f, TEXID_NONE, false, l.lens));
    const u16 firstLens = u16(f.models.size() - 3);
    for (float s : {1.0f, -1.0f}) {
        for (int k = 0; k < 3; k++) {
            const Lamp& l = lamps[k];
            const VectorXYZ lit(kLensOut * s, top + l.dy, 0.0f), dark(kLensIn * s, top + l.dy, 0.0f);
            AniStream pos(ANIM_TYPE_POS);
            for (u16 t : {kLampFrameRed, kLampFrameGreen, kLampFrameAmber})
                pos.Vec(t, t == l.litAt ? lit : dark);
            NODE n = Node(u16(firstLens + k), VectorPos(lit[0], lit[1], lit[2]), l.id);
            n.animation = u16(f.anims.size());
            f.anims.push_back(P2BAnimNode{0, kLampFrames, n.animation, {{ANIM_TYPE_POS, u16(pos.Count()), pos.Keys()}}});
            f.AddNode(0, n);
        }
    }
}

// The name board: the file's first texture, which the game writes the
// street's name into.  A lone sign's board, 32 texels high for the sign
// font's 32-pixel line, hangs beside the pole (half width 0.08) so that the
// pole hides none of it; a traffic light's smaller one is centred on its
// pole.
void AddSignBoard(P2BFile& f, float y, bool lone)
{
    // 16-bit: the game draws the name into it, and models draw it (a 32-bit
    // record reads as "no texture" to the model drawer).
    const int w = lone ? 128 : 64, h = lone ? 32 : 16;
    const float halfW = 0.6f, halfH = lone ? halfW * float(h) / float(w) : 0.12f;
    RgbaImage board;
    board.width = w;
    board.height = h;
    for (int i = 0; i < w * h; i++)
        board.rgba.insert(board.rgba.end(), {20, 90, 45, 255});
    P2BTexture t;
    std::string error;
    ConvertTexture(board, TexFormat::kCT16, t.texture, error);   // a plain board always converts
    f.textures.insert(f.textures.begin(), t);
    f.models.push_back(BoxModel(halfW, halfH, 0.02f, 0, true));
    f.AddNode(0, Node(u16(f.models.size() - 1), VectorPos(lone ? 0.08f + halfW : 0.0f, y, 0.0f)));
}

PropFile LightsAndSigns(u16 exttype)
{
    PropFile p;
    P2BFile& f = p.file;
    f.version = MDL_SHADOW_VERSION;
    f.models.push_back(BoxModel(0.08f, kPoleHalf, 0.08f, TEXID_NONE, true, Grey(70)));
    f.AddNode(-1, Node(0, VectorPos(0, 0, 0), KIND_LIGHTS_AND_SIGNS));
    if (exttype & EXT_TRAFFIC) {
        f.models.push_back(BoxModel(0.12f, 0.35f, 0.12f, TEXID_NONE, true, Grey(30)));
        f.AddNode(0, Node(1, VectorPos(0.0f, -kPoleHalf + 0.9f, 0.0f)));
        AddLamps(f, -kPoleHalf + 0.65f);
    } else if (exttype & EXT_STREETLIGHT) {
        // A lone street light's lamp hangs from the top of its pole.
        f.AddNode(0, Node(MDL_NOGEOM, VectorPos(0.0f, -kPoleHalf - 0.1f, 0.0f), LAMP_RED));
    }
    if (exttype & EXT_SIGN)
        AddSignBoard(f, (exttype & EXT_TRAFFIC) ? -kPoleHalf + 1.5f : -kPoleHalf + 0.2f, !(exttype & EXT_TRAFFIC));
    const bool lamp = (exttype & EXT_STREETLIGHT) != 0;
    p.params.push_back({0, ExteriorParamBytes(exttype, lamp ? kLampColour : 0, lamp ? kLampRange : 0.0f)});
    return p;
}

// A prop (model 0) whose explosion record leaves model 1; the record is node 1.
PropFile Breakable(P2BModel whole, P2BModel wreck)
{
    PropFile p;
    P2BFile& f = p.file;
    f.version = MDL_SHADOW_VERSION;
    f.models = {std::move(whole), std::move(wreck)};
    f.AddNode(-1, Node(0));
    f.AddNode(0, Node(RECORD | 1));
    return p;
}

// Flying pieces (model 2) under the record, launched up and out.
void AddPieces(PropFile& p, int n, float force)
{
    for (int i = 0; i < n; i++) {
        const float a = 6.2831855f * float(i) / float(n);
        const int node = p.file.AddNode(1, Node(2, VectorPos(0.2f * std::cos(a), -0.3f, 0.2f * std::sin(a)),
                                               ENTITY_DEBRIS));
        p.params.push_back({node, EntityParamBytes(0, 0, force, 3)});
    }
}

// A box the prop's root collides with.
void AddCollision(P2BFile& f, float hx, float hy, float hz)
{
    CollisionChain box;
    box.Box(MakeCollisionID(1, 1), Cuboid(VectorPos(-hx, -hy, -hz), VectorPos(hx, hy, hz)));
    f.collisions.push_back(box);
    f.nodes[0].collision = u16(f.collisions.size() - 1);
}

PropFile MakePropOnly(PropKind kind);

}  // namespace

float PropHalfHeight(PropKind kind)
{
    switch (kind) {
    case PropKind::kTrafficLight:
    case PropKind::kStreetLight:
    case PropKind::kStreetSign: return kPoleHalf;
    case PropKind::kHydrant: return 0.35f;
    case PropKind::kBin: return 0.5f;
    case PropKind::kMailbox: return 0.6f;
    case PropKind::kBench: return 0.4f;
    case PropKind::kTree: return 3.0f;
    }
    return 0.0f;
}

PropFile MakeProp(PropKind kind)
{
    PropFile p = MakePropOnly(kind);
    const float h = PropHalfHeight(kind);
    switch (kind) {
    case PropKind::kBench: AddCollision(p.file, 1.0f, h, 0.3f); break;
    case PropKind::kTree: AddCollision(p.file, 0.15f, h, 0.15f); break;
    case PropKind::kBin: AddCollision(p.file, 0.3f, h, 0.3f); break;
    default: AddCollision(p.file, 0.15f, h, 0.15f); break;
    }
    return p;
}

namespace {

PropFile MakePropOnly(PropKind kind)
{
    const float h = PropHalfHeight(kind);
    switch (kind) {
    case PropKind::kTrafficLight: return LightsAndSigns(EXT_TRAFFIC | EXT_STREETLIGHT | EXT_SIGN);
    case PropKind::kStreetLight: return LightsAndSigns(EXT_STREETLIGHT);
    case PropKind::kStreetSign: return LightsAndSigns(EXT_SIGN);
    case PropKind::kHydrant: {
        PropFile p = Breakable(BoxModel(0.15f, h, 0.15f, TEXID_NONE, true, Colour(170, 30, 25, 128)),
                               BoxModel(0.1f, h, 0.1f, TEXID_NONE, true, Colour(60, 20, 20, 128)));
        p.file.AddNode(1, Node(GEYSER, VectorPos(0.0f, -h, 0.0f)));
        p.file.AddNode(1, Node(BURST_SOUND));
        return p;
    }
    case PropKind::kBin:
    case PropKind::kMailbox: {
        const bool bin = kind == PropKind::kBin;
        const Colour c = bin ? Colour(40, 70, 40, 128) : Colour(30, 50, 130, 128);
        const float w = bin ? 0.3f : 0.25f;
        PropFile p = Breakable(BoxModel(w, h, w, TEXID_NONE, true, c), BoxModel(w, 0.15f * h, w, TEXID_NONE, true, c));
        p.file.models.push_back(BoxModel(0.08f, 0.08f, 0.08f, TEXID_NONE, true, c));
        AddPieces(p, bin ? 4 : 3, bin ? 1.0f : 0.8f);
        return p;
    }
    case PropKind::kBench: {
        PropFile p;
        p.file.version = MDL_SHADOW_VERSION;
        p.file.models.push_back(BoxModel(1.0f, h, 0.3f, TEXID_NONE, true, Colour(110, 75, 40, 128)));
        p.file.AddNode(-1, Node(0, VectorPos(0, 0, 0), KIND_BENCH));
        p.params.push_back({0, ExteriorParamBytes(0)});
        return p;
    }
    case PropKind::kTree: {
        PropFile p;
        p.file.version = MDL_SHADOW_VERSION;
        p.file.models.push_back(BoxModel(0.15f, h, 0.15f, TEXID_NONE, true, Colour(80, 55, 30, 128)));
        p.file.models.push_back(BoxModel(1.2f, 1.2f, 1.2f, TEXID_NONE, true, Colour(40, 100, 35, 128)));
        p.file.AddNode(-1, Node(0, VectorPos(0, 0, 0), KIND_TREE));
        p.file.AddNode(0, Node(1, VectorPos(0.0f, -h - 0.6f, 0.0f)));
        return p;
    }
    }
    return {};
}

}  // namespace

P2BFile ExplosionShapesFile(bool mushroom)
{
    P2BFile f;
    f.version = MDL_SHADOW_VERSION;
    const Colour c = mushroom ? Colour(150, 90, 40, 128) : Colour(160, 160, 150, 128);
    for (int i = 0; i < 4; i++) {
        const float s = 0.25f * float(1 << i);
        f.models.push_back(mushroom ? BoxModel(s, 0.6f * s, s, TEXID_NONE, false, c)
                                    : CubeModel(s, TEXID_NONE, false, c));
        f.AddNode(-1, Node(u16(i)));
    }
    return f;
}

namespace {

// A flat glowing band (half width hx, half height hy, facing z) of one
// colour: its light (the colour times its alpha) added to what lies behind
// it, tested against the depth drawn without writing it, both faces seen.
P2BModel GlowSheet(float hx, float hy, Colour c)
{
    return AddedLight(BoxModel(hx, hy, 0.002f, TEXID_NONE, false, c));
}

// How many bands a glow is stacked of, and the alpha of band b (0 at the
// foot): full at the foot, falling away upwards.
constexpr int kGlowBands = 6;
u8 GlowAlpha(int b)
{
    const double up = double(b) / kGlowBands;
    return u8(std::lround(110.0 * (1.0 - up) * (1.0 - up)));
}

}  // namespace

P2BFile AttentionGlowFile()
{
    P2BFile f;
    f.version = MDL_SHADOW_VERSION;
    // The looks glow: light added to the picture, brightest where they meet
    // the ground and fading upwards to nothing, in bands stacked from the
    // foot.  Each band is two sheets crossed at right angles, so that the
    // look reads as a column of light from any side.
    struct Look
    {
        float hx, hy;
        Colour c;
    };
    // 0: the plain marker; then the door glow (8), the floor pad (10), the
    // map arrow (14) and the drive-to column (24).
    const Colour warm(255, 200, 60, 128), cool(90, 220, 250, 128);
    const Look looks[5] = {{0.3f, 0.6f, warm}, {0.5f, 0.9f, warm}, {0.6f, 0.3f, cool}, {0.2f, 0.4f, warm},
                           {0.7f, 2.5f, warm}};
    // Model (look l, band b) = l * kGlowBands + b.
    for (const Look& l : looks)
        for (int b = 0; b < kGlowBands; b++)
            f.models.push_back(GlowSheet(l.hx, l.hy / kGlowBands, Colour(l.c.r, l.c.g, l.c.b, GlowAlpha(b))));
    // Node i is look i's foot band (the nodes between are empty), standing
    // on its origin (y down); the bands above it and the crossing sheets,
    // turned a quarter round, are its children, after all the roots.
    int lookOf[25];
    for (int i = 0; i <= 24; i++) {
        lookOf[i] = i == 0 ? 0 : i == 8 ? 1 : i == 10 ? 2 : i == 14 ? 3 : i == 24 ? 4 : -1;
        const float band = lookOf[i] < 0 ? 0.0f : 2.0f * looks[lookOf[i]].hy / kGlowBands;
        f.AddNode(-1, lookOf[i] < 0 ? Node(MDL_NOGEOM)
                                    : Node(u16(lookOf[i] * kGlowBands), VectorPos(0.0f, -0.5f * band, 0.0f)));
    }
    const VectorXYZ quarter(0.0f, 1.5707964f, 0.0f);
    for (int i = 0; i <= 24; i++) {
        if (lookOf[i] < 0)
            continue;
        const float band = 2.0f * looks[lookOf[i]].hy / kGlowBands;
        for (int b = 0; b < kGlowBands; b++) {
            const u16 model = u16(lookOf[i] * kGlowBands + b);
            const VectorPos up(0.0f, -band * float(b), 0.0f);
            if (b > 0)
                f.AddNode(i, MakeNode(model, up));
            f.AddNode(i, MakeNode(model, up, quarter));
        }
    }
    return f;
}

}  // namespace tools
